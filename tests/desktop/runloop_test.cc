#include "desktop/RunLoop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

using namespace Desktop;

namespace {

// Producers post numbered items from several threads; every item arrives,
// each producer's items in order, and an item posted by a running item never
// runs within that item's turn.
TEST(RunLoopPerform, CrossThreadDeliveryIsCompleteAndFifoPerProducer) {
  RunLoop loop;
  loop.bindToCurrentThread();
  constexpr int kProducers = 4;
  constexpr int kItems = 500;
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
}

TEST(RunLoopPerform, WorkPostedDuringATurnRunsOnALaterTurn) {
  RunLoop loop;
  std::vector<std::string> order;
  loop.performOnMainThread([&] {
    order.push_back("a");
    loop.performOnMainThread([&] { order.push_back("a2"); });
    order.push_back("a-end");
  });
  loop.performOnMainThread([&] { order.push_back("b"); });
  EXPECT_TRUE(loop.runOnce());
  EXPECT_EQ(order, (std::vector<std::string>{"a", "a-end"}));
  loop.runUntil([&] { return order.size() == 4; }, loop.now() + 10);
  EXPECT_EQ(order, (std::vector<std::string>{"a", "a-end", "b", "a2"}));
}

TEST(RunLoopPerform, OnlyTheBoundThreadMayRun) {
  RunLoop loop;
  loop.bindToCurrentThread();
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
  EXPECT_TRUE(loop.isLoopThread());
}

TEST(RunLoopTimers, FireOnlyInTheirModesAndInDueOrder) {
  RunLoop loop;
  loop.setVirtualClock(true);
  std::vector<std::string> fired;
  loop.addTimer(2, kModeDefault, [&] { fired.push_back("default@2"); });
  loop.addTimer(1, kModeModalPanel, [&] { fired.push_back("modal@1"); });
  loop.addTimer(3, kAllModes, [&] { fired.push_back("all@3"); });
  const double start = loop.now();

  // A default-mode run passes the modal-only timer by.
  loop.runFor(5);
  EXPECT_EQ(fired, (std::vector<std::string>{"default@2", "all@3"}));
  EXPECT_DOUBLE_EQ(loop.now() - start, 5);
  EXPECT_EQ(loop.pendingTimerCount(), 1u);

  // A modal run lets the overdue modal timer fire before a later one that ends the run.
  loop.addTimer(1, kModeModalPanel, [&] {
    fired.push_back("stopper");
    loop.stopModalWithCode(7);
  });
  EXPECT_EQ(loop.runModal(), 7);
  EXPECT_EQ(fired, (std::vector<std::string>{"default@2", "all@3", "modal@1", "stopper"}));
  EXPECT_EQ(loop.pendingTimerCount(), 0u);
}

TEST(RunLoopTimers, InvalidationIncludingFromTheTimersOwnCallback) {
  RunLoop loop;
  loop.setVirtualClock(true);
  int fired = 0;
  const TimerId cancelled = loop.addTimer(1, kAllModes, [&] { ++fired; });
  TimerId self = 0;
  bool selfInvalidate = true;
  self = loop.addTimer(2, kAllModes, [&] {
    ++fired;
    selfInvalidate = loop.invalidateTimer(self);
  });
  EXPECT_TRUE(loop.isTimerValid(cancelled));
  EXPECT_TRUE(loop.invalidateTimer(cancelled));
  EXPECT_FALSE(loop.invalidateTimer(cancelled));
  loop.runFor(10);
  EXPECT_EQ(fired, 1);
  EXPECT_FALSE(selfInvalidate);  // already gone when it runs
  EXPECT_FALSE(loop.isTimerValid(self));
}

TEST(RunLoopModal, EndedByAbortFromATimerAndByStop) {
  RunLoop loop;
  loop.setVirtualClock(true);
  loop.addTimer(1, kModeModalPanel, [&] { EXPECT_EQ(loop.abortModal(), Status::Ok); });
  EXPECT_EQ(loop.runModal(), kModalResponseAbort);
  loop.performOnMainThread([&] {
    EXPECT_EQ(loop.currentMode(), Mode::ModalPanel);
    loop.stopModal();
  });
  EXPECT_EQ(loop.runModal(), kModalResponseStop);
  EXPECT_FALSE(loop.isInModalRun());
}

TEST(RunLoopModal, EndingWithoutAModalRunIsAnErrorNotACrash) {
  RunLoop loop;
  EXPECT_EQ(loop.abortModal(), Status::NoModalRun);
  EXPECT_EQ(loop.stopModal(), Status::NoModalRun);
  // A stale stop must not end a later run: the run below ends by its timer.
  loop.setVirtualClock(true);
  loop.addTimer(3, kModeModalPanel, [&] { loop.stopModalWithCode(42); });
  EXPECT_EQ(loop.runModal(), 42);
}

TEST(RunLoopModal, AbortFromAnotherThreadEndsTheRun) {
  RunLoop loop;
  std::thread worker;
  loop.performOnMainThread([&] {
    worker = std::thread([&] { loop.abortModal(); });
  });
  EXPECT_EQ(loop.runModal(), kModalResponseAbort);
  worker.join();
}

TEST(RunLoopClock, VirtualTimeOutTakesNoRealTime) {
  RunLoop loop;
  loop.setVirtualClock(true);
  const double start = loop.now();
  double firedAt = 0;
  loop.addTimer(43, kAllModes, [&] {
    firedAt = loop.now();
    loop.abortModal();
  });
  EXPECT_EQ(loop.runModal(), kModalResponseAbort);
  EXPECT_DOUBLE_EQ(firedAt - start, 43);
  EXPECT_DOUBLE_EQ(loop.now() - start, 43);
}

TEST(RunLoopClock, RunUntilADeadlineJumpsToItAndSwitchingKeepsTimeContinuous) {
  RunLoop loop;
  loop.setVirtualClock(true);
  const double start = loop.now();
  EXPECT_FALSE(loop.runUntil([] { return false; }, start + 30));
  EXPECT_DOUBLE_EQ(loop.now(), start + 30);
  loop.setVirtualClock(false);
  EXPECT_GE(loop.now(), start + 30);
}

// While the clock is held an idle loop waits for real work instead of
// jumping past the worker's answer to the time-out.
TEST(RunLoopClock, HeldClockWaitsForOutsideWork) {
  RunLoop loop;
  loop.setVirtualClock(true);
  const double start = loop.now();
  bool timedOut = false;
  bool answered = false;
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
}

TEST(RunLoopClock, WakeUpMakesRunUntilLookAtItsPredicateAgain) {
  RunLoop loop;
  loop.bindToCurrentThread();
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
TEST(RunLoopUsers, TwoIndependentUsersShareTheMainLoop) {
  RunLoop& loop = RunLoop::main();
  loop.bindToCurrentThread();
  loop.setVirtualClock(true);
  std::vector<std::string> log;
  const TimerId a = loop.addTimer(5, kAllModes, [&] { log.push_back("a-timer"); });
  const TimerId b = loop.addTimer(5, kAllModes, [&] { log.push_back("b-timer"); });
  EXPECT_NE(a, b);
  EXPECT_TRUE(loop.invalidateTimer(a));
  std::thread userB([&] { loop.performOnMainThread([&] { log.push_back("b-work"); }); });
  userB.join();
  loop.addTimer(10, kModeModalPanel, [&] { loop.stopModal(); });
  EXPECT_EQ(loop.runModal(), kModalResponseStop);
  EXPECT_EQ(log, (std::vector<std::string>{"b-work", "b-timer"}));
  loop.setVirtualClock(false);
}

}  // namespace
