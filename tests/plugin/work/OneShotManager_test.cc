#include "work/OneShotManager.h"

#include <string>
#include <thread>
#include <vector>

#include <desktop/RunLoop.h>
#include <gtest/gtest.h>

#include "common/Callback.h"
#include "common/Runnable.h"
#include "work/RunnableScheduler.h"

namespace Harlune {
namespace Web {
namespace {

// Every test drives its own run loop on the test's thread.
class MainThreadQueue : public ::testing::Test {
protected:
  void SetUp() override { loop.bindToCurrentThread(); }
  void drain() { loop.runUntil([this] { return loop.pendingWorkCount() == 0; }); }

  Desktop::RunLoop loop;
};

struct Note {
  std::vector<std::string>* into;
  std::string text;
  std::thread::id thread;
};

void record(void* arg) {
  Note* note = static_cast<Note*>(arg);
  note->thread = std::this_thread::get_id();
  note->into->push_back(note->text);
}

TEST_F(MainThreadQueue, PairsFromAnotherThreadRunOnTheLoopInOrder) {
  OneShotManager manager(loop);
  std::vector<std::string> ran;
  Note notes[3] = {{&ran, "a", {}}, {&ran, "b", {}}, {&ran, "c", {}}};
  std::thread producer([&] {
    for (Note& note : notes) manager.scheduleAsyncCallback(&record, &note);
  });
  producer.join();
  EXPECT_TRUE(ran.empty());
  loop.runUntil([&] { return ran.size() == 3; });
  drain();
  EXPECT_EQ(ran, (std::vector<std::string>{"a", "b", "c"}));
  for (const Note& note : notes) EXPECT_EQ(note.thread, std::this_thread::get_id());
  EXPECT_EQ(manager.waiting(), 0u);
}

struct Chain {
  OneShotManager* manager;
  std::vector<std::string>* ran;
  Note second;
};

void first(void* arg) {
  Chain* chain = static_cast<Chain*>(arg);
  chain->manager->scheduleAsyncCallback(&record, &chain->second);
  chain->ran->push_back("first done");
}

TEST_F(MainThreadQueue, PairQueuedWhileAnotherRunsWaitsForALaterTurn) {
  OneShotManager manager(loop);
  std::vector<std::string> ran;
  Chain chain{&manager, &ran, {&ran, "second", {}}};
  manager.scheduleAsyncCallback(&first, &chain);
  ASSERT_TRUE(loop.runOnce());
  EXPECT_EQ(ran, std::vector<std::string>{"first done"});
  drain();
  EXPECT_EQ(ran, (std::vector<std::string>{"first done", "second"}));
}

int gDiscarded = 0;
void consume(void* arg) { delete static_cast<int*>(arg); }
void discardInt(void* arg) {
  ++gDiscarded;
  delete static_cast<int*>(arg);
}
void neverCalled(void*) { ADD_FAILURE() << "a dropped pair ran"; }

TEST_F(MainThreadQueue, DestroyedManagerDropsWaitingPairsAndDiscardsTheirArguments) {
  OneShotManager::registerDiscard(&consume, &discardInt);
  gDiscarded = 0;
  {
    OneShotManager manager(loop);
    manager.scheduleAsyncCallback(&neverCalled, nullptr);
    manager.scheduleAsyncCallback(&consume, new int(7));
    manager.scheduleAsyncCallback(&consume, new int(8));
    EXPECT_EQ(manager.waiting(), 3u);
  }
  EXPECT_EQ(gDiscarded, 2);
  // The deliveries still arrive, find no manager, and are dropped.
  EXPECT_EQ(loop.pendingWorkCount(), 3u);
  drain();
  EXPECT_EQ(loop.pendingWorkCount(), 0u);
}

// A runnable that reports what happens to it.
struct Events {
  std::vector<std::string> seen;
};

class FakeRunnable : public Runnable {
public:
  FakeRunnable(Events& events, std::string name, bool interrupted = false)
      : _events(events), _name(std::move(name)), _interrupted(interrupted) {}
  ~FakeRunnable() override { _events.seen.push_back(_name + " deleted"); }
  bool isInterrupted() override { return _interrupted; }
  uint64_t result() override { return 2; }
  std::string resultStr() override { return _name + " result"; }
  void run() override { _events.seen.push_back(_name + " ran"); }
  void stop() override {
    _interrupted = true;
    _events.seen.push_back(_name + " stopped");
  }

private:
  Events& _events;
  std::string _name;
  bool _interrupted;
};

class FakeCallback : public Callback {
public:
  explicit FakeCallback(Events& events) : _events(events) {}
  ~FakeCallback() override { _events.seen.push_back("callback deleted"); }
  void handleCallback(void* data) override {
    _events.seen.push_back("told " + static_cast<Runnable*>(data)->resultStr());
  }
  void returnMessage(std::string) override {}

private:
  Events& _events;
};

class Scheduler : public MainThreadQueue {
protected:
  void SetUp() override {
    MainThreadQueue::SetUp();
    RunnableScheduler::init();
    RunnableScheduler::init();  // twice is harmless
  }
  void TearDown() override { RunnableScheduler::cleanup(); }
};

TEST_F(Scheduler, RunnableRunsOnALaterTurnAndItsCallbackIsTold) {
  Events events;
  OneShotManager queue(loop);
  RunnableScheduler::scheduleRunnable(&queue, new FakeRunnable(events, "r"),
                                      new FakeCallback(events));
  EXPECT_TRUE(events.seen.empty());
  EXPECT_EQ(RunnableScheduler::registeredForTesting(), 1u);
  drain();
  EXPECT_EQ(events.seen, (std::vector<std::string>{"r ran", "told r result", "callback deleted",
                                                   "r deleted"}));
  EXPECT_EQ(RunnableScheduler::registeredForTesting(), 0u);
}

TEST_F(Scheduler, InterruptedRunnableDeletesItsCallbackUntold) {
  Events events;
  OneShotManager queue(loop);
  RunnableScheduler::scheduleRunnable(&queue, new FakeRunnable(events, "r", true),
                                      new FakeCallback(events));
  RunnableScheduler::scheduleRunnable(&queue, new FakeRunnable(events, "bare"), nullptr);
  drain();
  EXPECT_EQ(events.seen, (std::vector<std::string>{"r ran", "callback deleted", "r deleted",
                                                   "bare ran", "bare deleted"}));
}

TEST_F(Scheduler, StoppedRunnablesOfADestroyedQueueNeverRunAndAreFreed) {
  Events events;
  OneShotManager other(loop);
  RunnableScheduler::scheduleRunnable(&other, new FakeRunnable(events, "other"), nullptr);
  {
    OneShotManager queue(loop);
    RunnableScheduler::scheduleRunnable(&queue, new FakeRunnable(events, "mine"),
                                        new FakeCallback(events));
    RunnableScheduler::stopRunnables(&queue);
    EXPECT_EQ(events.seen, std::vector<std::string>{"mine stopped"});
    EXPECT_EQ(RunnableScheduler::registeredForTesting(), 2u);
  }
  EXPECT_EQ(events.seen, (std::vector<std::string>{"mine stopped", "callback deleted",
                                                   "mine deleted"}));
  EXPECT_EQ(RunnableScheduler::registeredForTesting(), 1u);
  drain();
  EXPECT_EQ(events.seen.back(), "other deleted");
  EXPECT_EQ(RunnableScheduler::registeredForTesting(), 0u);
}

TEST_F(Scheduler, StopRunnablesOfAnEmptyQueueStopsNothing) {
  Events events;
  OneShotManager other(loop);
  RunnableScheduler::scheduleRunnable(&other, new FakeRunnable(events, "a"),
                                      new FakeCallback(events));
  RunnableScheduler::scheduleRunnable(&other, new FakeRunnable(events, "b"), nullptr);
  OneShotManager queue(loop);
  RunnableScheduler::stopRunnables(&queue);
  EXPECT_TRUE(events.seen.empty());
  drain();
  EXPECT_EQ(events.seen, (std::vector<std::string>{"a ran", "told a result", "callback deleted",
                                                   "a deleted", "b ran", "b deleted"}));
}

}  // namespace
}  // namespace Web
}  // namespace Harlune
