// A thread owned by an object: started once, stopped by its owner, joined.
#pragma once

#include <atomic>
#include <memory>
#include <stdexcept>
#include <string>

#include <taplatform/tathread.h>

namespace Harlune {
namespace Web {

// Failures of the thread primitives.
class SystemException : public std::runtime_error {
public:
  explicit SystemException(const std::string& message) : std::runtime_error(message) {}
};

class Worker {
public:
  Worker();
  // Neither stops nor joins: the owner does that first.
  virtual ~Worker();
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  virtual bool isDone() const = 0;
  virtual void run() = 0;
  virtual void stop() = 0;

  // Throws SystemException when the thread cannot be spawned or joined.
  void start();
  void join();

  bool started() const { return _started; }

private:
  static void* threadMain(void* self);

  bool _started = false;
  bool _joinable = false;  // spawned and not yet joined
  std::unique_ptr<ta_thread_t> _thread;
};

}  // namespace Web
}  // namespace Harlune
