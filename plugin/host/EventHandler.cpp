#include "host/EventHandler.h"

#include <cstdlib>
#include <cstring>

#include <taplatform/talog.h>

#include "host/BrowserFuncs.h"
#include "host/taUtility.h"
#include "work/OneShotManager.h"

namespace Harlune {
namespace Web {

const char* const kEventTypeDescriptions[5] = {"drop", "dropex", "transfer", "dragleave",
                                               "dragover"};

namespace {

// Three words on the C heap: the handler, the type, a copy of the data.
struct EventRecord {
  EventHandler* handler;
  intptr_t type;
  char* data;
};

void freeRecord(EventRecord* record) {
  std::free(record->data);
  std::free(record);
}

// The page function and both string arguments are released after the call;
// the call's result too, whatever its kind.
void invokeWithStrings(NPP npp, NPObject* function, const char* first, const char* second) {
  NPVariant args[2];
  TW_CharPtrToNPStringVariant(first, &args[0]);
  TW_CharPtrToNPStringVariant(second, &args[1]);
  NPVariant result;
  VOID_TO_NPVARIANT(result);
  if (NPN_InvokeDefault(npp, function, args, 2, &result)) NPN_ReleaseVariantValue(&result);
  NPN_ReleaseVariantValue(&args[0]);
  NPN_ReleaseVariantValue(&args[1]);
}

}  // namespace

void EventHandler::handleEvent(NPP npp, NPObject* function, int type, const std::string& data) {
  if (!function) return;
  invokeWithStrings(npp, function, kEventTypeDescriptions[type], data.c_str());
}

void EventHandler::handleEvent(void* argument) {
  EventRecord* record = static_cast<EventRecord*>(argument);
  EventHandler* handler = record->handler;
  handleEvent(handler->_npp, handler->_function, static_cast<int>(record->type),
              record->data ? record->data : "");
  freeRecord(record);
}

void EventHandler::discardEvent(void* argument) { freeRecord(static_cast<EventRecord*>(argument)); }

TransferEventHandler::TransferEventHandler(NPP npp, NPObject* function)
    : EventHandler(npp, function) {
  TA_LOG(5, "TransferEventHandler() [%p]", static_cast<void*>(this));
  OneShotManager::registerDiscard(
      static_cast<OneShotManager::Function>(&EventHandler::handleEvent), &EventHandler::discardEvent);
}

TransferEventHandler::~TransferEventHandler() {
  TA_LOG(5, "~TransferEventHandler() [%p]", static_cast<void*>(this));
}

void TransferEventHandler::transferEventOccurred(const std::string& data) {
  if (!_function) return;
  EventRecord* record = static_cast<EventRecord*>(std::malloc(sizeof(EventRecord)));
  if (!record) return;
  record->handler = this;
  record->type = kEventTransfer;
  record->data = strdup(data.c_str());
  NPN_PluginThreadAsyncCall(_npp, static_cast<void (*)(void*)>(&EventHandler::handleEvent),
                            record);
}

}  // namespace Web
}  // namespace Harlune
