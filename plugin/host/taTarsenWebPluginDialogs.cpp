// The six dialog methods. Only one panel may show at a time in the whole
// process, so each first refuses while any panel is up, before it looks at
// its arguments. The synchronous forms show the panel inside the script call;
// the asynchronous ones schedule the dialog for a later turn of the main run
// loop and answer the page function through a DialogCallback.
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include <taplatform/talog.h>

#include "common/Constants.h"
#include "common/Utils.h"
#include "core/PlugIn.h"
#include "dialogs/OpenFileDialog.h"
#include "dialogs/OpenFolderDialog.h"
#include "dialogs/SaveFileDialog.h"
#include "host/Arguments.h"
#include "host/BrowserFuncs.h"
#include "host/PageCallbacks.h"
#include "host/taTarsenWebPlugin.h"
#include "host/taUtility.h"
#include "text/Json.h"
#include "text/PathEscaper.h"
#include "work/RunnableScheduler.h"

namespace Harlune {
namespace Web {

namespace {

bool answerText(const std::string& text, NPVariant* result) {
  TW_CharPtrToNPStringVariant(text.c_str(), result);
  return true;
}

bool refusedSync(NPVariant* result) { return answerText("", result); }

bool refusedAsync(NPVariant* result) {
  return answerText(Json::createError(kErrorDialogAlreadyOpen), result);
}

bool optionalBool(const NPVariant* args, uint32_t argCount, uint32_t index) {
  return argCount > index && npvariantToBoolean(args[index]);
}

// Hands the dialog and a callback holding its own reference to the page
// function to the main-thread queue; the page receives null now and the
// result text later.
void scheduleDialog(taTarsenWebPlugin& instance, std::unique_ptr<FileDialog> dialog,
                    NPObject* function, DialogKind kind) {
  std::unique_ptr<DialogCallback> callback(
      new DialogCallback(instance.npp(), NPN_RetainObject(function), kind, instance.plugIn()));
  RunnableScheduler::scheduleRunnable(instance.oneShotManager(), dialog.release(),
                                      callback.release());
}

}  // namespace

bool taTarsenWebPlugin::runOpenFileDialog(const NPVariant* args, uint32_t argCount,
                                          NPVariant* result) {
  TA_LOG(5, "runOpenFileDialog(): argCount=%u", static_cast<unsigned>(argCount));
  if (Utils::isSaveDialogOpen()) return refusedSync(result);
  if (!argumentsFit(args, argCount, "BB", 2, 2)) return false;
  std::string answer;
  try {
    OpenFileDialog dialog(getBrowserWindow(), std::string(), npvariantToBoolean(args[0]),
                          npvariantToBoolean(args[1]), std::string(), false);
    dialog.init(_plugIn->hostBrowser(), _plugIn->pageHostname());
    const std::vector<std::string> paths = dialog.show();
    PlugIn::addToApprovedFileList(paths, _plugIn->pageHostname());
    answer = PathEscaper::toColonSeparatedStr(paths);
  } catch (const std::exception& e) {
    TA_LOG(1, "%s: %s", kErrorUnexpectedFileDialog, e.what());
    answer.clear();
  }
  return answerText(answer, result);
}

bool taTarsenWebPlugin::runOpenFolderDialog(const NPVariant* args, uint32_t argCount,
                                            NPVariant* result) {
  TA_LOG(5, "runOpenFolderDialog(): argCount=%u", static_cast<unsigned>(argCount));
  if (Utils::isSaveDialogOpen()) return refusedSync(result);
  if (!argumentsFit(args, argCount, "B", 1, 1)) return false;
  std::string answer;
  try {
    OpenFolderDialog dialog(getBrowserWindow(), std::string(), npvariantToBoolean(args[0]), false);
    dialog.init(_plugIn->hostBrowser(), _plugIn->pageHostname());
    const std::vector<std::string> paths = dialog.show();
    // A folder chosen synchronously becomes the download destination only;
    // its files are not approved for reading.
    if (!paths.empty()) _plugIn->setLastSelectedPath(paths.front());
    answer = PathEscaper::toColonSeparatedStr(paths);
  } catch (const std::exception& e) {
    TA_LOG(1, "%s: %s", kErrorUnexpectedFolderDialog, e.what());
    answer.clear();
  }
  return answerText(answer, result);
}

bool taTarsenWebPlugin::runSaveFileDialog(const NPVariant* args, uint32_t argCount,
                                          NPVariant* result) {
  TA_LOG(5, "runSaveFileDialog(): argCount=%u", static_cast<unsigned>(argCount));
  if (Utils::isSaveDialogOpen()) return refusedSync(result);
  if (!argumentsFit(args, argCount, "S", 1, 1)) return false;
  std::string answer;
  try {
    SaveFileDialog dialog(getBrowserWindow(), std::string(), stringArgument(args[0]),
                          std::string());
    dialog.init(_plugIn->hostBrowser());
    const std::vector<std::string> paths = dialog.show();
    if (!paths.empty()) {
      answer = paths.front();
      _plugIn->setLastSelectedPath(answer);
    }
  } catch (const std::exception& e) {
    TA_LOG(1, "%s: %s", kErrorUnexpectedSaveDialog, e.what());
    answer.clear();
  }
  return answerText(answer, result);
}

bool taTarsenWebPlugin::runOpenFileDialogAsync(const NPVariant* args, uint32_t argCount,
                                               NPVariant* result) {
  TA_LOG(5, "runOpenFileDialogAsync(): argCount=%u", static_cast<unsigned>(argCount));
  if (Utils::isSaveDialogOpen()) return refusedAsync(result);
  if (!argumentsFit(args, argCount, "SBSOB", 4, 5)) {
    TA_LOG(1, "runOpenFileDialogAsync() - invalid arguments");
    return false;
  }
  try {
    std::unique_ptr<OpenFileDialog> dialog(new OpenFileDialog(
        getBrowserWindow(), stringArgument(args[0]), false, npvariantToBoolean(args[1]),
        stringArgument(args[2]), optionalBool(args, argCount, 4)));
    dialog->init(_plugIn->hostBrowser(), _plugIn->pageHostname());
    scheduleDialog(*this, std::move(dialog), NPVARIANT_TO_OBJECT(args[3]), kDialogOpenFile);
    NULL_TO_NPVARIANT(*result);
    return true;
  } catch (const std::exception& e) {
    return answerText(Json::createErrorAndLog(e, kErrorUnexpectedFileDialog), result);
  }
}

bool taTarsenWebPlugin::runOpenFolderDialogAsync(const NPVariant* args, uint32_t argCount,
                                                 NPVariant* result) {
  TA_LOG(5, "runOpenFolderDialogAsync(): argCount=%u", static_cast<unsigned>(argCount));
  if (Utils::isSaveDialogOpen()) return refusedAsync(result);
  if (!argumentsFit(args, argCount, "SBOB", 3, 4)) {
    TA_LOG(1, "runOpenFolderDialogAsync() - invalid arguments");
    return false;
  }
  try {
    std::unique_ptr<OpenFolderDialog> dialog(
        new OpenFolderDialog(getBrowserWindow(), stringArgument(args[0]),
                             npvariantToBoolean(args[1]), optionalBool(args, argCount, 3)));
    dialog->init(_plugIn->hostBrowser(), _plugIn->pageHostname());
    scheduleDialog(*this, std::move(dialog), NPVARIANT_TO_OBJECT(args[2]), kDialogOpenFolder);
    NULL_TO_NPVARIANT(*result);
    return true;
  } catch (const std::exception& e) {
    return answerText(Json::createErrorAndLog(e, kErrorUnexpectedFolderDialog), result);
  }
}

bool taTarsenWebPlugin::runSaveFileDialogAsync(const NPVariant* args, uint32_t argCount,
                                               NPVariant* result) {
  TA_LOG(5, "runSaveFileDialogAsync(): argCount=%u", static_cast<unsigned>(argCount));
  if (Utils::isSaveDialogOpen()) return refusedAsync(result);
  if (!argumentsFit(args, argCount, "SSSO", 4, 4)) {
    TA_LOG(1, "runSaveFileDialogAsync() - invalid arguments");
    return false;
  }
  try {
    std::unique_ptr<SaveFileDialog> dialog(
        new SaveFileDialog(getBrowserWindow(), stringArgument(args[0]), stringArgument(args[1]),
                           stringArgument(args[2])));
    dialog->init(_plugIn->hostBrowser());
    scheduleDialog(*this, std::move(dialog), NPVARIANT_TO_OBJECT(args[3]), kDialogSaveFile);
    NULL_TO_NPVARIANT(*result);
    return true;
  } catch (const std::exception& e) {
    return answerText(Json::createErrorAndLog(e, kErrorUnexpectedSaveDialog), result);
  }
}

}  // namespace Web
}  // namespace Harlune
