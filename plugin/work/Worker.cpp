#include "work/Worker.h"

#include <cstdio>

#include <taplatform/talog.h>

#include "common/Utils.h"
#include "work/TAAutoreleasePool.h"

namespace Harlune {
namespace Web {

Worker::Worker() : _thread(std::make_unique<ta_thread_t>()) {}

Worker::~Worker() = default;

void* Worker::threadMain(void* self) {
  TAAutoreleasePool pool;
  static_cast<Worker*>(self)->run();
  return nullptr;
}

void Worker::start() {
  _started = true;
  const int err = ta_thread_spawn(_thread.get(), &Worker::threadMain, this);
  _joinable = err == 0;
  if (err != 0) {
    throw SystemException("Failed to spawn thread: " + Utils::errorCodeToStr(err) + " (" +
                          std::to_string(err) + ")");
  }
}

void Worker::join() {
  TA_LOG(5, "Worker::join() - started?=%u done?=%u", static_cast<unsigned>(_started),
         static_cast<unsigned>(isDone()));
  // A thread whose run has already finished is joined too (at no cost), so
  // that no thread is ever left behind; only the wait of a running one logs.
  if (!_started || !_joinable) return;
  const bool running = !isDone();
  const int err = ta_thread_join(*_thread);
  _joinable = false;
  if (running) TA_LOG(5, "Worker::join() - done");
  if (err != 0) {
    char handle[32];
    std::snprintf(handle, sizeof handle, "%p", reinterpret_cast<void*>(*_thread));
    const std::string message = "Failed to join thread: " + Utils::errorCodeToStr(err) + " (" +
                                std::to_string(err) + ")" + handle;
    TA_LOG(1, "%s", message.c_str());
    throw SystemException(message);
  }
}

}  // namespace Web
}  // namespace Harlune
