// The six dialog methods. Their argument checks and the one-panel-at-a-time
// refusal are final; the dialogs themselves come with the dialogs module, and
// until then a checked call answers that dialogs are not available.
#include <taplatform/talog.h>

#include "core/Constants.h"
#include "host/Arguments.h"
#include "host/taTarsenWebPlugin.h"
#include "host/taUtility.h"
#include "text/Json.h"

namespace Harlune {
namespace Web {

namespace {
const char kDialogsUnavailable[] = "File dialogs are not available in this build";

bool dialogsUnavailable(NPVariant* result) {
  TW_CharPtrToNPStringVariant(Json::createError(kDialogsUnavailable).c_str(), result);
  return true;
}
}  // namespace

bool taTarsenWebPlugin::runOpenFileDialog(const NPVariant* args, uint32_t argCount,
                                          NPVariant* result) {
  TA_LOG(5, "runOpenFileDialog(): argCount=%u", static_cast<unsigned>(argCount));
  if (!argumentsFit(args, argCount, "BB", 2, 2)) return false;
  return dialogsUnavailable(result);
}

bool taTarsenWebPlugin::runOpenFolderDialog(const NPVariant* args, uint32_t argCount,
                                            NPVariant* result) {
  TA_LOG(5, "runOpenFolderDialog(): argCount=%u", static_cast<unsigned>(argCount));
  if (!argumentsFit(args, argCount, "B", 1, 1)) return false;
  return dialogsUnavailable(result);
}

bool taTarsenWebPlugin::runSaveFileDialog(const NPVariant* args, uint32_t argCount,
                                          NPVariant* result) {
  TA_LOG(5, "runSaveFileDialog(): argCount=%u", static_cast<unsigned>(argCount));
  if (!argumentsFit(args, argCount, "S", 1, 1)) return false;
  return dialogsUnavailable(result);
}

bool taTarsenWebPlugin::runOpenFileDialogAsync(const NPVariant* args, uint32_t argCount,
                                               NPVariant* result) {
  TA_LOG(5, "runOpenFileDialogAsync(): argCount=%u", static_cast<unsigned>(argCount));
  if (!argumentsFit(args, argCount, "SBSOB", 4, 5)) {
    TA_LOG(1, "runOpenFileDialogAsync() - invalid arguments");
    return false;
  }
  return dialogsUnavailable(result);
}

bool taTarsenWebPlugin::runOpenFolderDialogAsync(const NPVariant* args, uint32_t argCount,
                                                 NPVariant* result) {
  TA_LOG(5, "runOpenFolderDialogAsync(): argCount=%u", static_cast<unsigned>(argCount));
  if (!argumentsFit(args, argCount, "SBOB", 3, 4)) {
    TA_LOG(1, "runOpenFolderDialogAsync() - invalid arguments");
    return false;
  }
  return dialogsUnavailable(result);
}

bool taTarsenWebPlugin::runSaveFileDialogAsync(const NPVariant* args, uint32_t argCount,
                                               NPVariant* result) {
  TA_LOG(5, "runSaveFileDialogAsync(): argCount=%u", static_cast<unsigned>(argCount));
  if (!argumentsFit(args, argCount, "SSSO", 4, 4)) {
    TA_LOG(1, "runSaveFileDialogAsync() - invalid arguments");
    return false;
  }
  return dialogsUnavailable(result);
}

}  // namespace Web
}  // namespace Harlune
