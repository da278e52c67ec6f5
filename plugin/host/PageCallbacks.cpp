#include "host/PageCallbacks.h"

#include <desktop/RunLoop.h>
#include <taplatform/talog.h>

#include "common/Constants.h"
#include "core/PlugIn.h"
#include "dialogs/FileDialog.h"
#include "host/BrowserFuncs.h"
#include "host/taUtility.h"
#include "link/HttpResponse.h"
#include "text/Json.h"
#include "work/OneShotManager.h"

namespace Harlune {
namespace Web {

namespace {
struct RegisterDiscard {
  RegisterDiscard() {
    OneShotManager::registerDiscard(&callbackBrowser, &discardCallbackMessage);
    OneShotManager::registerDiscard(&discardCallbackMessage, &discardCallbackMessage);
  }
};
}  // namespace

StringCallbackMessage::StringCallbackMessage(NPP npp_, NPObject* function_,
                                             const std::string& message_)
    : function(function_), message(message_), npp(npp_) {
  static RegisterDiscard once;
  NPN_RetainObject(function);
}

StringCallbackMessage::~StringCallbackMessage() { NPN_ReleaseObject(function); }

void callbackBrowser(void* argument) {
  StringCallbackMessage* message = static_cast<StringCallbackMessage*>(argument);
  TA_LOG(5, "callbackBrowser - msg=%s", message->message.c_str());
  NPVariant arg;
  TW_CharPtrToNPStringVariant(message->message.c_str(), &arg);
  NPVariant result;
  VOID_TO_NPVARIANT(result);
  if (NPN_InvokeDefault(message->npp, message->function, &arg, 1, &result)) {
    NPN_ReleaseVariantValue(&result);
  }
  NPN_ReleaseVariantValue(&arg);
  delete message;
}

void discardCallbackMessage(void* argument) {
  delete static_cast<StringCallbackMessage*>(argument);
}

RequestCallback::RequestCallback(NPP npp, NPObject* function)
    : _message(new StringCallbackMessage(npp, function, "")), _function(function), _npp(npp) {}

// A message never handed over (the request was dropped unanswered) is freed
// on the main thread, where the page function may be released: the worker
// deletes a request whose answer arrived after the instance began to go.
RequestCallback::~RequestCallback() {
  if (!_message) return;
  if (Desktop::RunLoop::main().isLoopThread()) {
    delete _message;
  } else {
    NPN_PluginThreadAsyncCall(_npp, &discardCallbackMessage, _message);
  }
}

void RequestCallback::handleCallback(void* data) {
  const HttpResponse* response = static_cast<const HttpResponse*>(data);
  returnMessage(response ? response->data() : Json::createError(kErrorHarluneRequest));
}

void RequestCallback::returnMessage(std::string text) {
  TA_LOG(5, "RequestCallback::returnMessage() - response=%s", text.c_str());
  if (!_message) return;  // told twice: the page function is called once only
  _message->message = std::move(text);
  StringCallbackMessage* message = _message;
  _message = nullptr;
  NPN_PluginThreadAsyncCall(_npp, &callbackBrowser, message);
}

DialogCallback::DialogCallback(NPP npp, NPObject* function, DialogKind kind, PlugIn* plugIn)
    : _function(function), _npp(npp), _kind(kind), _plugIn(plugIn) {}

DialogCallback::~DialogCallback() { NPN_ReleaseObject(_function); }

void DialogCallback::handleCallback(void* data) {
  Runnable* dialog = static_cast<Runnable*>(data);
  const uint64_t result = dialog->result();
  const std::string text = dialog->resultStr();
  TA_LOG(5, "DialogCallback::handleCallback() - result=%lu resultStr=%s",
         static_cast<unsigned long>(result), text.c_str());
  if (result == 0) return;
  const FileDialog* fileDialog = dynamic_cast<const FileDialog*>(dialog);
  const std::vector<std::string> paths = fileDialog ? fileDialog->paths() : std::vector<std::string>();
  if (!paths.empty()) {
    switch (_kind) {
      case kDialogOpenFile:
        PlugIn::addToApprovedFileList(paths, _plugIn->pageHostname());
        break;
      case kDialogOpenFolder:
        PlugIn::addToApprovedFileList(paths, _plugIn->pageHostname());
        _plugIn->setLastSelectedPath(paths.front());
        break;
      case kDialogSaveFile:
        _plugIn->setLastSelectedPath(paths.front());
        break;
    }
  }
  returnMessage(text);
}

void DialogCallback::returnMessage(std::string text) {
  if (!_function) return;
  callbackBrowser(new StringCallbackMessage(_npp, _function, text));
}

}  // namespace Web
}  // namespace Harlune
