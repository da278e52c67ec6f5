#include "work/RunnableScheduler.h"

#include <taplatform/talog.h>

#include "common/Callback.h"
#include "common/Runnable.h"
#include "work/OneShotManager.h"

namespace Harlune {
namespace Web {

struct RunnableScheduler::Pair {
  Runnable* runnable;
  Callback* callback;
};

bool RunnableScheduler::kInitialized = false;
ta_mutex_t RunnableScheduler::kRunnablesMutex;
std::multimap<Runnable*, OneShotManager*> RunnableScheduler::kRunnables;

void RunnableScheduler::init() {
  TA_LOG(5, "RunnableScheduler::init()");
  if (kInitialized) return;
  kInitialized = true;
  ta_mutex_init(&kRunnablesMutex);
  OneShotManager::registerDiscard(&RunnableScheduler::handleRunnablePair,
                                  &RunnableScheduler::discardRunnablePair);
}

void RunnableScheduler::cleanup() {
  TA_LOG(5, "RunnableScheduler::cleanup()");
  if (!kInitialized) return;
  kInitialized = false;
  ta_mutex_destroy(&kRunnablesMutex);
}

void RunnableScheduler::scheduleRunnable(OneShotManager* queue, Runnable* runnable,
                                         Callback* callback) {
  TA_LOG(5, "RunnableScheduler::scheduleRunnable()");
  ta_mutex_acquire(&kRunnablesMutex);
  kRunnables.emplace(runnable, queue);
  ta_mutex_release(&kRunnablesMutex);
  queue->scheduleAsyncCallback(&RunnableScheduler::handleRunnablePair,
                               new Pair{runnable, callback});
}

void RunnableScheduler::handleRunnablePair(void* argument) {
  TA_LOG(5, "RunnableScheduler - handleRunnablePair()");
  Pair* pair = static_cast<Pair*>(argument);
  pair->runnable->run();
  if (pair->callback) {
    if (!pair->runnable->isInterrupted()) pair->callback->handleCallback(pair->runnable);
    delete pair->callback;
  }
  unregister(pair->runnable);
  delete pair->runnable;
  delete pair;
}

// A pair dropped with its destroyed queue: never run, its callback never
// told, both freed.
void RunnableScheduler::discardRunnablePair(void* argument) {
  Pair* pair = static_cast<Pair*>(argument);
  unregister(pair->runnable);
  delete pair->callback;
  delete pair->runnable;
  delete pair;
}

void RunnableScheduler::unregister(Runnable* runnable) {
  ta_mutex_acquire(&kRunnablesMutex);
  kRunnables.erase(runnable);
  ta_mutex_release(&kRunnablesMutex);
}

void RunnableScheduler::stopRunnables(OneShotManager* queue) {
  ta_mutex_acquire(&kRunnablesMutex);
  TA_LOG(5, "RunnableScheduler::stopRunnables() - osm=%p; size=%i", static_cast<void*>(queue),
         static_cast<int>(kRunnables.size()));
  for (const auto& entry : kRunnables) {
    if (entry.second != queue) continue;
    TA_LOG(5, "RunnableScheduler::stopRunnables() - stopping %p",
           static_cast<void*>(entry.first));
    entry.first->stop();
  }
  ta_mutex_release(&kRunnablesMutex);
}

size_t RunnableScheduler::registeredForTesting() {
  ta_mutex_acquire(&kRunnablesMutex);
  const size_t size = kRunnables.size();
  ta_mutex_release(&kRunnablesMutex);
  return size;
}

}  // namespace Web
}  // namespace Harlune
