// The main thread's run loop: posted work, timers in modes, modal runs and a
// virtual clock for tests.
//
// A turn of the loop runs exactly one thing: the earliest due timer of the
// current mode, else the oldest posted function. Work posted while a turn runs
// therefore always runs on a later turn. Posted work runs in every mode; a
// timer fires only while the loop runs in one of the modes it was added for.
//
// Clock: now() is in seconds on a monotonic scale. Under the virtual clock
// time stands still while there is work to do, and an idle loop jumps at once
// to the next due timer (or to the deadline of runUntil), so long time-outs
// take no real time. Hosts that know that another thread will post work hold
// the clock (ClockHold): while held, an idle loop blocks for that work instead
// of jumping.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <limits>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "desktop/Status.h"

namespace Desktop {

enum class Mode : unsigned { Default = 1, EventTracking = 2, ModalPanel = 4 };

// A set of modes, e.g. kModeDefault | kModeModalPanel.
using ModeSet = unsigned;
constexpr ModeSet kModeDefault = static_cast<ModeSet>(Mode::Default);
constexpr ModeSet kModeEventTracking = static_cast<ModeSet>(Mode::EventTracking);
constexpr ModeSet kModeModalPanel = static_cast<ModeSet>(Mode::ModalPanel);
constexpr ModeSet kAllModes = kModeDefault | kModeEventTracking | kModeModalPanel;

// Results of a modal run (runModal and the panels' runModal).
constexpr int kModalResponseCancel = 0;
constexpr int kModalResponseOK = 1;
constexpr int kModalResponseStop = -1000;
constexpr int kModalResponseAbort = -1001;

using TimerId = std::uint64_t;  // 0 is never a valid id

constexpr double kDistantFuture = std::numeric_limits<double>::infinity();

class RunLoop {
 public:
  // The process's main run loop (lives for the whole process). Separate
  // instances can be made for tests; they share nothing with main().
  static RunLoop& main();

  RunLoop();
  ~RunLoop();
  RunLoop(const RunLoop&) = delete;
  RunLoop& operator=(const RunLoop&) = delete;

  // The calling thread becomes the loop's thread. Without this call the first
  // thread that runs the loop is bound. Running from another thread is refused.
  void bindToCurrentThread();
  // True on the bound thread (false while no thread is bound).
  bool isLoopThread() const;

  // Any thread; never waits. fn runs once, in posting order, on a later turn,
  // in any mode (also inside a modal run).
  void performOnMainThread(std::function<void()> fn);

  // One-shot timer firing `interval` seconds from now() while the loop runs in
  // one of `modes`. Any thread. Returns a non-zero id.
  TimerId addTimer(double interval, ModeSet modes, std::function<void()> fn);
  // Cancels a pending timer; false when it already fired or was invalidated
  // (also when called from the timer's own callback). Any thread.
  bool invalidateTimer(TimerId id);
  bool isTimerValid(TimerId id) const;
  std::size_t pendingTimerCount() const;
  std::size_t pendingWorkCount() const;

  // Runs turns in `mode` until done() answers true (checked before every turn;
  // returns true) or now() reaches `deadline` (returns false). Loop thread only.
  bool runUntil(const std::function<bool()>& done, double deadline = kDistantFuture,
                Mode mode = Mode::Default);
  // Runs for `seconds` of loop time; returns the number of turns run.
  std::size_t runFor(double seconds, Mode mode = Mode::Default);
  // Runs one turn, waiting at most `maxWait` seconds of loop time for
  // something to do. True when something ran.
  bool runOnce(double maxWait = 0, Mode mode = Mode::Default);
  // Makes a waiting run return early so that a runUntil predicate changed by
  // another thread is looked at again. Any thread.
  void wakeUp();

  // Runs the loop in the ModalPanel mode until stopModal/abortModal ends it and
  // returns the code it was ended with. Runs nest; the innermost one is ended.
  int runModal();
  // End the innermost modal run with kModalResponseStop, kModalResponseAbort or
  // the given code. Any thread. Status::NoModalRun when none is active (the
  // call is then a no-op).
  Status stopModal();
  Status abortModal();
  Status stopModalWithCode(int code);
  bool isInModalRun() const;
  int modalDepth() const;
  // The mode of the innermost run; Default when the loop is not running.
  Mode currentMode() const;

  // Clock in seconds (monotonic, starts near 0 for a new loop).
  double now() const;
  // Switching keeps now() continuous. Any thread.
  void setVirtualClock(bool on);
  bool isVirtualClock() const;

  // While at least one hold exists the virtual clock stays still.
  void holdClock();
  void releaseClock();
  class ClockHold {
   public:
    explicit ClockHold(RunLoop& loop = RunLoop::main()) : loop_(loop) { loop_.holdClock(); }
    ~ClockHold() { loop_.releaseClock(); }
    ClockHold(const ClockHold&) = delete;
    ClockHold& operator=(const ClockHold&) = delete;

   private:
    RunLoop& loop_;
  };

 private:
  struct Timer {
    double fireAt;
    ModeSet modes;
    std::function<void()> fn;
  };
  struct ModalFrame {
    bool ended = false;
    int code = kModalResponseStop;
  };

  bool turn_(ModeSet mode, double waitUntil, const ModalFrame* frame);
  void claimThread_();
  double nowLocked_() const;
  double realSeconds_() const;
  Status endModal_(int code);

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> work_;
  std::map<TimerId, Timer> timers_;
  TimerId nextTimerId_ = 1;
  std::vector<Mode> modes_;
  std::vector<ModalFrame*> modalFrames_;
  std::thread::id thread_;
  bool threadBound_ = false;
  bool virtual_ = false;
  double virtualNow_ = 0;
  double realOffset_ = 0;
  int holds_ = 0;
  std::uint64_t wakeUps_ = 0;
  std::int64_t realStart_ = 0;
};

}  // namespace Desktop
