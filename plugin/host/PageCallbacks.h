// Calls of page functions with one string, always on the main thread: the
// answers of queued requests and of asynchronous dialogs.
#pragma once

#include <string>

#include <npapi/npapi.h>
#include <npapi/npruntime.h>

#include "common/Callback.h"

namespace Harlune {
namespace Web {

class PlugIn;

// One pending call; holds its own reference to the page function.
class StringCallbackMessage {
public:
  StringCallbackMessage(NPP npp, NPObject* function, const std::string& message);
  virtual ~StringCallbackMessage();
  StringCallbackMessage(const StringCallbackMessage&) = delete;
  StringCallbackMessage& operator=(const StringCallbackMessage&) = delete;

  NPObject* function;
  std::string message;
  NPP npp;
};

// Main thread: calls the page function with the message's text, then deletes
// the message.
void callbackBrowser(void* message);
// Deletes a message whose call will never be made.
void discardCallbackMessage(void* message);

// The callback of a queued request: told on the request worker's thread,
// calls the page function on the main thread with the body or an error object.
class RequestCallback : public Callback {
public:
  RequestCallback(NPP npp, NPObject* function);
  ~RequestCallback() override;
  void handleCallback(void* response) override;
  void returnMessage(std::string message) override;

private:
  StringCallbackMessage* _message;  // owned until handed to the main thread
  NPObject* _function;
  NPP _npp;
};

enum DialogKind { kDialogOpenFile = 0, kDialogOpenFolder = 1, kDialogSaveFile = 2 };

// The callback of an asynchronous dialog: approves or remembers what was
// chosen, then calls the page function, on the main thread. The page function
// is retained by whoever creates the callback and released here.
class DialogCallback : public Callback {
public:
  DialogCallback(NPP npp, NPObject* function, DialogKind kind, PlugIn* plugIn);
  ~DialogCallback() override;
  void handleCallback(void* runnable) override;
  void returnMessage(std::string message) override;

private:
  NPObject* _function;
  NPP _npp;
  DialogKind _kind;
  PlugIn* _plugIn;
};

}  // namespace Web
}  // namespace Harlune
