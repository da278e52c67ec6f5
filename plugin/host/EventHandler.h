// Calls of the page's event handler function with an event name and data.
#pragma once

#include <atomic>
#include <string>

#include <npapi/npapi.h>
#include <npapi/npruntime.h>

#include "work/TransfersPoller.h"

namespace Harlune {
namespace Web {

enum EventType { kEventDrop = 0, kEventDropex = 1, kEventTransfer = 2, kEventDragLeave = 3,
                 kEventDragOver = 4 };
extern const char* const kEventTypeDescriptions[5];

class EventHandler {
public:
  EventHandler(NPP npp, NPObject* function) : _npp(npp), _function(function) {}
  virtual ~EventHandler() = default;

  // Main thread: calls the page function at once (nothing without one).
  static void handleEvent(NPP npp, NPObject* function, int type, const std::string& data);
  // Main thread: delivers and frees a deferred event record.
  static void handleEvent(void* record);
  // Frees a deferred record that will never be delivered.
  static void discardEvent(void* record);

  // Not retained here: the instance holds the page function.
  void setFunction(NPObject* function) { _function = function; }
  NPObject* function() const { return _function; }

protected:
  NPP _npp;
  // Set on the main thread, read by the poller thread before it queues work.
  std::atomic<NPObject*> _function;
};

// Transfer activity from the poller thread, delivered to the page's event
// handler on the main thread.
class TransferEventHandler : public EventHandler, public TransferEventListener {
public:
  TransferEventHandler(NPP npp, NPObject* function);
  ~TransferEventHandler() override;
  void transferEventOccurred(const std::string& data) override;
};

}  // namespace Web
}  // namespace Harlune
