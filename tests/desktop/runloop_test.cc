#include "desktop/RunLoop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

using namespace Desktop;
using Strings = std::vector<std::string>;

namespace {

// Producers post numbered items from several threads; every item arrives on
// the loop's thread, each producer's items in order.
TEST(RunLoop, CrossThreadDeliveryIsCompleteAndFifoPerProducer) {
  RunLoop loop;
  loop.bindToCurrentThread();
  constexpr int kProducers = 4, kItems = 500;
  std::vector<std::vector<int>> seen(kProducers);
  std::atomic<int> total{0};
  std::vector<std::thread> producers;
  for (int p = 0; p < kProducers; ++p) {
    producers.emplace_back([&, p] {
      for (int i = 0; i < kItems; ++i) {
        loop.performOnMainThread([&, p, i] {
          EXPECT_TRUE(loop.isLoopThread());
          seen[p].push_back(i);
          ++total;
        });
      }
    });
  }
  ASSERT_TRUE(loop.runUntil([&] { return total.load() == kProducers * kItems; },
                            loop.now() + 60));
  for (auto& t : producers) t.join();
  for (int p = 0; p < kProducers; ++p) {
    ASSERT_EQ(seen[p].size(), static_cast<size_t>(kItems));
    for (int i = 0; i < kItems; ++i) EXPECT_EQ(seen[p][i], i);
  }
  EXPECT_EQ(loop.pendingWorkCount(), 0u);
  // Only the bound thread may run the loop.
  bool threw = false;
  std::thread other([&] {
    try {
      loop.runOnce();
    } catch (const std::logic_error&) {
      threw = true;
    }
  });
  other.join();
  EXPECT_TRUE(threw);
}

// Work posted by a running item never runs within that item's turn.
TEST(RunLoop, WorkPostedDuringATurnRunsOnALaterTurn) {
  RunLoop loop;
  Strings order;
  loop.performOnMainThread([&] {
    order.push_back("a");
    loop.performOnMainThread([&] { order.push_back("a2"); });
  });
  loop.performOnMainThread([&] { order.push_back("b"); });
  EXPECT_TRUE(loop.runOnce());
  EXPECT_EQ(order, (Strings{"a"}));
  loop.runUntil([&] { return order.size() == 3; }, loop.now() + 10);
  EXPECT_EQ(order, (Strings{"a", "b", "a2"}));
}

TEST(RunLoop, TimersFireOnlyInTheirModesInDueOrderAndCanBeInvalidated) {
  RunLoop loop;
  loop.setVirtualClock(true);
  Strings fired;
  auto add = [&](double at, ModeSet modes, std::string name) {
    return loop.addTimer(at, modes, [&fired, name] { fired.push_back(name); });
  };
  add(2, kModeDefault, "default@2");
  add(1, kModeModalPanel, "modal@1");
  add(3, kAllModes, "all@3");
  add(2, kAllModes, "all@2");  // due with default@2, added after it
  const TimerId cancelled = add(1, kAllModes, "cancelled");
  TimerId self = 0;
  bool selfInvalidate = true;
  self = loop.addTimer(4, kAllModes, [&] { selfInvalidate = loop.invalidateTimer(self); });
  EXPECT_TRUE(loop.isTimerValid(cancelled));
  EXPECT_TRUE(loop.invalidateTimer(cancelled));
  EXPECT_FALSE(loop.invalidateTimer(cancelled));
  const double start = loop.now();
  // A default-mode run passes the modal-only timer by.
  loop.runFor(5);
  EXPECT_EQ(fired, (Strings{"default@2", "all@2", "all@3"}));
  EXPECT_DOUBLE_EQ(loop.now() - start, 5);
  EXPECT_FALSE(selfInvalidate);  // already gone when it runs
  EXPECT_FALSE(loop.isTimerValid(self));
  EXPECT_EQ(loop.pendingTimerCount(), 1u);
  // A modal run lets the overdue modal timer fire before a later one that ends the run.
  loop.addTimer(1, kModeModalPanel, [&] {
    fired.push_back("stopper");
    loop.stopModalWithCode(7);
  });
  EXPECT_EQ(loop.runModal(), 7);
  EXPECT_EQ(fired, (Strings{"default@2", "all@2", "all@3", "modal@1", "stopper"}));
  EXPECT_EQ(loop.pendingTimerCount(), 0u);
}

TEST(RunLoop, ModalRunsEndByAbortStopOrAnotherThread) {
  RunLoop loop;
  EXPECT_EQ(loop.abortModal(), Status::NoModalRun);
  EXPECT_EQ(loop.stopModal(), Status::NoModalRun);
  std::thread worker;
  loop.performOnMainThread([&] { worker = std::thread([&] { loop.abortModal(); }); });
  EXPECT_EQ(loop.runModal(), kModalResponseAbort);
  worker.join();
  loop.setVirtualClock(true);
  const double start = loop.now();
  // A stale stop must not end a later run: each run below ends by its own timer.
  loop.addTimer(43, kModeModalPanel, [&] { EXPECT_EQ(loop.abortModal(), Status::Ok); });
  EXPECT_EQ(loop.runModal(), kModalResponseAbort);
  EXPECT_DOUBLE_EQ(loop.now() - start, 43);  // a virtual time-out takes no real time
  loop.performOnMainThread([&] {
    EXPECT_EQ(loop.currentMode(), Mode::ModalPanel);
    loop.stopModal();
  });
  EXPECT_EQ(loop.runModal(), kModalResponseStop);
  EXPECT_FALSE(loop.isInModalRun());
  loop.addTimer(3, kModeModalPanel, [&] { loop.stopModalWithCode(42); });
  EXPECT_EQ(loop.runModal(), 42);
  // runUntil a deadline jumps to it; switching clocks keeps time continuous.
  EXPECT_FALSE(loop.runUntil([] { return false; }, start + 100));
  EXPECT_DOUBLE_EQ(loop.now(), start + 100);
  loop.setVirtualClock(false);
  EXPECT_GE(loop.now(), start + 100);
}

// While the clock is held an idle loop waits for real work instead of
// jumping past the worker's answer to the time-out.
TEST(RunLoop, HeldClockWaitsForOutsideWorkAndWakeUpRechecks) {
  RunLoop loop;
  loop.setVirtualClock(true);
  const double start = loop.now();
  bool timedOut = false, answered = false;
  loop.addTimer(43, kAllModes, [&] { timedOut = true; });
  std::thread worker;
  {
    RunLoop::ClockHold hold(loop);
    worker = std::thread([&] { loop.performOnMainThread([&] { answered = true; }); });
    loop.runUntil([&] { return answered || timedOut; });
  }
  worker.join();
  EXPECT_TRUE(answered);
  EXPECT_FALSE(timedOut);
  EXPECT_DOUBLE_EQ(loop.now(), start);
  loop.runUntil([&] { return timedOut; });
  EXPECT_DOUBLE_EQ(loop.now() - start, 43);
  loop.setVirtualClock(false);
  std::atomic<bool> flag{false};
  std::thread setter([&] {
    flag = true;
    loop.wakeUp();
  });
  EXPECT_TRUE(loop.runUntil([&] { return flag.load(); }));
  setter.join();
}

// Two users of one loop (two plug-in instances, or a host and a plug-in)
// keep their own timers and work; a modal run of one lets the other's work on.
TEST(RunLoop, TwoIndependentUsersShareTheMainLoop) {
  RunLoop& loop = RunLoop::main();
  loop.bindToCurrentThread();
  loop.setVirtualClock(true);
  Strings log;
  const TimerId a = loop.addTimer(5, kAllModes, [&] { log.push_back("a-timer"); });
  const TimerId b = loop.addTimer(5, kAllModes, [&] { log.push_back("b-timer"); });
  EXPECT_NE(a, b);
  EXPECT_TRUE(loop.invalidateTimer(a));
  std::thread userB([&] { loop.performOnMainThread([&] { log.push_back("b-work"); }); });
  userB.join();
  loop.addTimer(10, kModeModalPanel, [&] { loop.stopModal(); });
  EXPECT_EQ(loop.runModal(), kModalResponseStop);
  EXPECT_EQ(log, (Strings{"b-work", "b-timer"}));
  loop.setVirtualClock(false);
}

}  // namespace
