#include "desktop/RunLoop.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>

namespace Desktop {

namespace {

std::int64_t steadyNanos() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

RunLoop& RunLoop::main() {
  // Never destroyed: worker threads may still post while the process exits.
  static RunLoop* loop = new RunLoop;
  return *loop;
}

RunLoop::RunLoop() : realStart_(steadyNanos()) {}

RunLoop::~RunLoop() = default;

void RunLoop::bindToCurrentThread() {
  std::lock_guard<std::mutex> lock(mutex_);
  thread_ = std::this_thread::get_id();
  threadBound_ = true;
}

bool RunLoop::isLoopThread() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return threadBound_ && thread_ == std::this_thread::get_id();
}

void RunLoop::claimThread_() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!threadBound_) {
    thread_ = std::this_thread::get_id();
    threadBound_ = true;
  } else if (thread_ != std::this_thread::get_id()) {
    throw std::logic_error("the run loop runs on another thread");
  }
}

void RunLoop::performOnMainThread(std::function<void()> fn) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    work_.push_back(std::move(fn));
  }
  wake_.notify_all();
}

TimerId RunLoop::addTimer(double interval, ModeSet modes, std::function<void()> fn) {
  TimerId id;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    id = nextTimerId_++;
    // Negative or NaN intervals fire at the next chance.
    const double delay = interval > 0 ? interval : 0.0;
    timers_.emplace(id, Timer{nowLocked_() + delay, modes, std::move(fn)});
  }
  wake_.notify_all();
  return id;
}

bool RunLoop::invalidateTimer(TimerId id) {
  std::function<void()> dropped;  // destroyed outside the lock
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = timers_.find(id);
  if (it == timers_.end()) return false;
  dropped = std::move(it->second.fn);
  timers_.erase(it);
  return true;
}

bool RunLoop::isTimerValid(TimerId id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return timers_.count(id) != 0;
}

std::size_t RunLoop::pendingTimerCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return timers_.size();
}

std::size_t RunLoop::pendingWorkCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return work_.size();
}

// One turn: the earliest due timer of `mode`, else the oldest posted function.
// When there is nothing to do, waits (or, under the virtual clock, jumps) until
// something is due, `waitUntil` passes, the modal `frame` ends or wakeUp().
bool RunLoop::turn_(ModeSet mode, double waitUntil, const ModalFrame* frame) {
  std::unique_lock<std::mutex> lock(mutex_);
  const std::uint64_t wakeUpsAtStart = wakeUps_;
  for (;;) {
    if (frame != nullptr && frame->ended) return false;
    const double now = nowLocked_();
    auto due = timers_.end();
    double nextFire = kDistantFuture;
    for (auto it = timers_.begin(); it != timers_.end(); ++it) {
      if ((it->second.modes & mode) == 0) continue;
      if (it->second.fireAt < nextFire) {  // strict: equal times fire in id order
        nextFire = it->second.fireAt;
        due = it;
      }
    }
    if (due != timers_.end() && nextFire <= now) {
      std::function<void()> fn = std::move(due->second.fn);
      timers_.erase(due);  // gone before it runs, so it may invalidate itself
      lock.unlock();
      if (fn) fn();
      return true;
    }
    if (!work_.empty()) {
      std::function<void()> fn = std::move(work_.front());
      work_.pop_front();
      lock.unlock();
      if (fn) fn();
      return true;
    }
    if (now >= waitUntil || wakeUps_ != wakeUpsAtStart) return false;
    const double target = std::min(nextFire, waitUntil);
    if (virtual_) {
      if (holds_ == 0 && target != kDistantFuture) {
        virtualNow_ = std::max(virtualNow_, target);
        continue;
      }
      // Held, or nothing will ever fall due: only another thread can help.
      wake_.wait(lock);
    } else if (target == kDistantFuture) {
      wake_.wait(lock);
    } else {
      // Capped so that a far-off timer cannot overflow the clock's ticks;
      // the loop simply waits again.
      const double wait = std::min(target - now, 86400.0);
      wake_.wait_for(lock, std::chrono::duration<double>(wait));
    }
  }
}

bool RunLoop::runUntil(const std::function<bool()>& done, double deadline, Mode mode) {
  claimThread_();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    modes_.push_back(mode);
  }
  bool finished = false;
  try {
    for (;;) {
      if (done && done()) {
        finished = true;
        break;
      }
      if (now() >= deadline) break;
      turn_(static_cast<ModeSet>(mode), deadline, nullptr);
    }
  } catch (...) {
    std::lock_guard<std::mutex> lock(mutex_);
    modes_.pop_back();
    throw;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  modes_.pop_back();
  return finished;
}

std::size_t RunLoop::runFor(double seconds, Mode mode) {
  std::size_t turns = 0;
  const double deadline = now() + seconds;
  claimThread_();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    modes_.push_back(mode);
  }
  try {
    while (now() < deadline) {
      if (turn_(static_cast<ModeSet>(mode), deadline, nullptr)) ++turns;
    }
  } catch (...) {
    std::lock_guard<std::mutex> lock(mutex_);
    modes_.pop_back();
    throw;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  modes_.pop_back();
  return turns;
}

bool RunLoop::runOnce(double maxWait, Mode mode) {
  claimThread_();
  const double deadline = now() + std::max(maxWait, 0.0);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    modes_.push_back(mode);
  }
  bool ran;
  try {
    ran = turn_(static_cast<ModeSet>(mode), deadline, nullptr);
  } catch (...) {
    std::lock_guard<std::mutex> lock(mutex_);
    modes_.pop_back();
    throw;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  modes_.pop_back();
  return ran;
}

void RunLoop::wakeUp() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++wakeUps_;
  }
  wake_.notify_all();
}

int RunLoop::runModal() {
  claimThread_();
  ModalFrame frame;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    modes_.push_back(Mode::ModalPanel);
    modalFrames_.push_back(&frame);
  }
  auto leave = [this, &frame] {
    std::lock_guard<std::mutex> lock(mutex_);
    modes_.pop_back();
    modalFrames_.erase(std::find(modalFrames_.begin(), modalFrames_.end(), &frame));
  };
  try {
    for (;;) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (frame.ended) break;
      }
      turn_(kModeModalPanel, kDistantFuture, &frame);
    }
  } catch (...) {
    leave();
    throw;
  }
  leave();
  std::lock_guard<std::mutex> lock(mutex_);
  return frame.code;
}

Status RunLoop::endModal_(int code) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    // The innermost run that has not been ended yet.
    auto it = std::find_if(modalFrames_.rbegin(), modalFrames_.rend(),
                           [](const ModalFrame* f) { return !f->ended; });
    if (it == modalFrames_.rend()) return Status::NoModalRun;
    (*it)->ended = true;
    (*it)->code = code;
  }
  wake_.notify_all();
  return Status::Ok;
}

Status RunLoop::stopModal() { return endModal_(kModalResponseStop); }
Status RunLoop::abortModal() { return endModal_(kModalResponseAbort); }
Status RunLoop::stopModalWithCode(int code) { return endModal_(code); }

bool RunLoop::isInModalRun() const { return modalDepth() > 0; }

int RunLoop::modalDepth() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(modalFrames_.size());
}

Mode RunLoop::currentMode() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return modes_.empty() ? Mode::Default : modes_.back();
}

double RunLoop::realSeconds_() const {
  return static_cast<double>(steadyNanos() - realStart_) / 1e9;
}

double RunLoop::nowLocked_() const {
  return virtual_ ? virtualNow_ : realSeconds_() + realOffset_;
}

double RunLoop::now() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return nowLocked_();
}

void RunLoop::setVirtualClock(bool on) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (on == virtual_) return;
    if (on) {
      virtualNow_ = realSeconds_() + realOffset_;
    } else {
      // Real time resumes from where virtual time stood, never going back.
      realOffset_ = virtualNow_ - realSeconds_();
    }
    virtual_ = on;
  }
  wake_.notify_all();
}

bool RunLoop::isVirtualClock() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return virtual_;
}

void RunLoop::holdClock() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++holds_;
}

void RunLoop::releaseClock() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (holds_ > 0) --holds_;
  }
  wake_.notify_all();
}

}  // namespace Desktop
