// One instance's road back to the main thread: (function, argument) pairs
// queued from any thread run once each, in order, on later turns of the main
// run loop.
#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <utility>

#include <taplatform/tasynchron.h>

namespace Desktop {
class RunLoop;
}

namespace Harlune {
namespace Web {

class OneShotManager {
public:
  using Function = void (*)(void*);

  explicit OneShotManager(Desktop::RunLoop& loop);
  OneShotManager();  // on the main run loop
  // Drops the pairs still waiting; see registerDiscard.
  ~OneShotManager();
  OneShotManager(const OneShotManager&) = delete;
  OneShotManager& operator=(const OneShotManager&) = delete;

  // Any thread; returns 0.
  int scheduleAsyncCallback(Function function, void* argument);
  // Runs the oldest pair; main thread, called by the delivery only.
  void asyncCallback();

  // The functions queued here consume their argument. When a manager is
  // destroyed with pairs still waiting, the argument of each dropped pair
  // whose function has a registered discard is handed to that discard, so
  // that nothing queued is leaked.
  static void registerDiscard(Function function, Function discard);
  // For a pair that has no queue to go to (its instance is gone): the
  // argument goes to its discard on a later turn of the main run loop, since
  // discards release page objects. Any thread.
  static void discardOnMainThread(Function function, void* argument);

  size_t waiting();

private:
  struct Helper;

  std::deque<std::pair<Function, void*>> _callbackQueue;
  ta_mutex_t _mutex;
  std::shared_ptr<Helper> _helper;
  Desktop::RunLoop& _loop;
};

}  // namespace Web
}  // namespace Harlune
