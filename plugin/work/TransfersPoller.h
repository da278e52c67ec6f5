// Asks the desktop application once a second what changed in its transfers
// and hands each answer to the registered listeners, on its own thread. It
// never launches the application; in the guarded policy a failed poll makes
// the next one read the URL file again, so polls follow a restart.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include <taplatform/tasynchron.h>

#include "work/Worker.h"

namespace Harlune {
namespace Web {

class TransferEventListener {
public:
  virtual void transferEventOccurred(const std::string& answer) = 0;

protected:
  ~TransferEventListener() = default;  // never deleted through this interface
};

class TransfersPoller : public Worker {
public:
  TransfersPoller();
  ~TransfersPoller() override;

  // Set once, before start().
  void setAppId(const std::string& appId) { _appId = appId; }
  // Listeners are not owned; the same one may be added twice.
  void addListener(TransferEventListener* l);
  void removeListener(TransferEventListener* l);
  void notifyListeners(const std::string& answer);
  std::string createRequestData() const;

  bool isDone() const override { return _done; }
  void run() override;
  void stop() override;

  // Poll interval; tests shorten it, the plug-in keeps one second.
  void setIntervalForTesting(int ms) { _interval = ms; }

private:
  std::string _appId;
  std::atomic<bool> _done{false};
  std::string _iterationToken;
  std::vector<TransferEventListener*> _listeners;
  ta_mutex_t _mutex;
  int _interval = 1000;
  std::atomic<bool> _stop{false};
  // stop() wakes the wait between polls through these.
  std::mutex _wakeMutex;
  std::condition_variable _wake;
};

}  // namespace Web
}  // namespace Harlune
