// Process-wide registry of runnables scheduled on instances' main-thread
// queues, so that an instance being destroyed can stop its own.
#pragma once

#include <map>

#include <taplatform/tasynchron.h>

namespace Harlune {
namespace Web {

class Callback;
class OneShotManager;
class Runnable;

class RunnableScheduler {
public:
  static void init();
  static void cleanup();
  // Takes ownership of both. The runnable runs on a later turn of the main
  // run loop, never inside the call that scheduled it.
  static void scheduleRunnable(OneShotManager* queue, Runnable* runnable, Callback* callback);
  // Stops every runnable registered for the queue (they stay registered until
  // the queue is destroyed, which frees them without running them).
  static void stopRunnables(OneShotManager* queue);

  static size_t registeredForTesting();

private:
  struct Pair;
  static void handleRunnablePair(void* pair);
  static void discardRunnablePair(void* pair);
  static void unregister(Runnable* runnable);

  static bool kInitialized;
  static ta_mutex_t kRunnablesMutex;
  static std::multimap<Runnable*, OneShotManager*> kRunnables;
};

}  // namespace Web
}  // namespace Harlune
