#include "work/OneShotManager.h"

#include <map>
#include <mutex>

#include <desktop/RunLoop.h>
#include <taplatform/talog.h>

namespace Harlune {
namespace Web {

// The object the run loop delivers to. Each pending delivery holds a
// reference, so the helper outlives its manager while deliveries are pending;
// it is touched only on the main thread.
struct OneShotManager::Helper {
  OneShotManager* manager = nullptr;

  void shoot() {
    if (manager) {
      manager->asyncCallback();
    } else {
      TA_LOG(5, "OneShotManagerHelper::shoot() - aborting callback");
    }
  }
};

namespace {
std::mutex gDiscardMutex;
// An object, not a heap pointer: the plug-in can be unloaded, and nothing of
// it may outlive the unload.
std::map<OneShotManager::Function, OneShotManager::Function>& discards() {
  static std::map<OneShotManager::Function, OneShotManager::Function> table;
  return table;
}
}  // namespace

OneShotManager::OneShotManager() : OneShotManager(Desktop::RunLoop::main()) {}

OneShotManager::OneShotManager(Desktop::RunLoop& loop)
    : _helper(std::make_shared<Helper>()), _loop(loop) {
  TA_LOG(5, "OneShotManager() [%p]", static_cast<void*>(this));
  _helper->manager = this;
  ta_mutex_init(&_mutex);
}

OneShotManager::~OneShotManager() {
  TA_LOG(5, "~OneShotManager() [%p] - queue=%i", static_cast<void*>(this),
         static_cast<int>(_callbackQueue.size()));
  // No lock: the instance has joined every thread that could queue here.
  for (const auto& pair : _callbackQueue) {
    Function discard = nullptr;
    {
      std::lock_guard<std::mutex> lock(gDiscardMutex);
      auto it = discards().find(pair.first);
      if (it != discards().end()) discard = it->second;
    }
    if (discard) discard(pair.second);
  }
  _callbackQueue.clear();
  _helper->manager = nullptr;
  _helper.reset();
  ta_mutex_destroy(&_mutex);
}

void OneShotManager::registerDiscard(Function function, Function discard) {
  std::lock_guard<std::mutex> lock(gDiscardMutex);
  discards()[function] = discard;
}

void OneShotManager::discardOnMainThread(Function function, void* argument) {
  Function discard = nullptr;
  {
    std::lock_guard<std::mutex> lock(gDiscardMutex);
    auto it = discards().find(function);
    if (it != discards().end()) discard = it->second;
  }
  if (!discard) {
    TA_LOG(1, "OneShotManager: a call without a queue or a discard was dropped");
    return;
  }
  Desktop::RunLoop::main().performOnMainThread([discard, argument] { discard(argument); });
}

int OneShotManager::scheduleAsyncCallback(Function function, void* argument) {
  ta_mutex_acquire(&_mutex);
  TA_LOG(5, "OneShotManager::scheduleAsyncCallback() - size=%i",
         static_cast<int>(_callbackQueue.size()));
  _callbackQueue.emplace_back(function, argument);
  std::shared_ptr<Helper> helper = _helper;
  _loop.performOnMainThread([helper] { helper->shoot(); });
  ta_mutex_release(&_mutex);
  return 0;
}

void OneShotManager::asyncCallback() {
  TA_LOG(5, "OneShotManager::asyncCallback()");
  ta_mutex_acquire(&_mutex);
  const std::pair<Function, void*> pair = _callbackQueue.front();
  _callbackQueue.pop_front();
  ta_mutex_release(&_mutex);
  pair.first(pair.second);
  TA_LOG(5, "OneShotManager::asyncCallback() - done");
}

size_t OneShotManager::waiting() {
  ta_mutex_acquire(&_mutex);
  const size_t size = _callbackQueue.size();
  ta_mutex_release(&_mutex);
  return size;
}

}  // namespace Web
}  // namespace Harlune
