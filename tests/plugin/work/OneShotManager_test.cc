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

std::thread::id gMainThread;

// Every test drives its own run loop on the test's thread; what runs writes
// one line of the transcript.
class MainThreadQueue : public ::testing::Test {
protected:
  void SetUp() override {
    loop.bindToCurrentThread();
    gMainThread = std::this_thread::get_id();
  }
  void drain() { loop.runUntil([this] { return loop.pendingWorkCount() == 0; }); }

  Desktop::RunLoop loop;
  std::vector<std::string> seen;
};

struct Note {
  std::vector<std::string>* seen;
  OneShotManager* manager;
  std::string text;
};

void record(void* arg) {
  Note* note = static_cast<Note*>(arg);
  const bool onMain = std::this_thread::get_id() == gMainThread;
  note->seen->push_back(note->text + (onMain ? "" : " off the main thread"));
  // A pair queued while another runs waits for a later turn.
  if (note->text == "b") note->manager->scheduleAsyncCallback(&record, note + 2);
}

int gDiscarded = 0;
void consume(void* arg) { delete static_cast<int*>(arg); }
void discardInt(void* arg) {
  ++gDiscarded;
  delete static_cast<int*>(arg);
}
void neverCalled(void*) { ADD_FAILURE() << "a dropped pair ran"; }

TEST_F(MainThreadQueue, PairsRunInOrderOnLaterTurnsAndDroppedOnesAreDiscarded) {
  OneShotManager manager(loop);
  Note notes[] = {{&seen, &manager, "a"}, {&seen, &manager, "b"}, {&seen, &manager, "c"},
                  {&seen, &manager, "d (queued by b)"}};
  std::thread producer([&] {
    for (int i = 0; i < 3; ++i) manager.scheduleAsyncCallback(&record, &notes[i]);
  });
  producer.join();
  EXPECT_TRUE(seen.empty());
  loop.runUntil([&] { return seen.size() == 3; });
  EXPECT_EQ(seen, (std::vector<std::string>{"a", "b", "c"}));
  drain();
  EXPECT_EQ(seen.back(), "d (queued by b)");
  EXPECT_EQ(manager.waiting(), 0u);

  OneShotManager::registerDiscard(&consume, &discardInt);
  {
    OneShotManager gone(loop);
    gone.scheduleAsyncCallback(&neverCalled, nullptr);
    gone.scheduleAsyncCallback(&consume, new int(7));
    gone.scheduleAsyncCallback(&consume, new int(8));
  }
  EXPECT_EQ(gDiscarded, 2);
  // The deliveries still arrive, find no manager, and are dropped.
  EXPECT_EQ(loop.pendingWorkCount(), 3u);
  drain();
}

// A runnable and callback that report what happens to them.
class FakeRunnable : public Runnable {
public:
  FakeRunnable(std::vector<std::string>& seen, std::string name, bool interrupted = false)
      : _seen(seen), _name(std::move(name)), _interrupted(interrupted) {}
  ~FakeRunnable() override { _seen.push_back(_name + " deleted"); }
  bool isInterrupted() override { return _interrupted; }
  uint64_t result() override { return 2; }
  std::string resultStr() override { return _name + " result"; }
  void run() override { _seen.push_back(_name + " ran"); }
  void stop() override {
    _interrupted = true;
    _seen.push_back(_name + " stopped");
  }

private:
  std::vector<std::string>& _seen;
  std::string _name;
  bool _interrupted;
};

class FakeCallback : public Callback {
public:
  explicit FakeCallback(std::vector<std::string>& seen) : _seen(seen) {}
  ~FakeCallback() override { _seen.push_back("callback deleted"); }
  void handleCallback(void* data) override {
    _seen.push_back("told " + static_cast<Runnable*>(data)->resultStr());
  }
  void returnMessage(std::string) override {}

private:
  std::vector<std::string>& _seen;
};

// Stopping one queue's runnables, and destroying it, leaves the others'.
TEST_F(MainThreadQueue, RunnablesRunLaterAndOnlyTheStoppedQueuesAreDropped) {
  RunnableScheduler::init();
  RunnableScheduler::init();  // twice is harmless
  OneShotManager other(loop);
  RunnableScheduler::scheduleRunnable(&other, new FakeRunnable(seen, "a"), new FakeCallback(seen));
  RunnableScheduler::scheduleRunnable(&other, new FakeRunnable(seen, "interrupted", true),
                                      new FakeCallback(seen));
  RunnableScheduler::scheduleRunnable(&other, new FakeRunnable(seen, "bare"), nullptr);
  {
    OneShotManager mine(loop);
    RunnableScheduler::scheduleRunnable(&mine, new FakeRunnable(seen, "mine"),
                                        new FakeCallback(seen));
    OneShotManager empty(loop);
    RunnableScheduler::stopRunnables(&empty);
    EXPECT_TRUE(seen.empty());
    RunnableScheduler::stopRunnables(&mine);
    EXPECT_EQ(seen, std::vector<std::string>{"mine stopped"});
    EXPECT_EQ(RunnableScheduler::registeredForTesting(), 4u);
  }
  EXPECT_EQ(RunnableScheduler::registeredForTesting(), 3u);
  drain();
  EXPECT_EQ(seen, (std::vector<std::string>{
                      "mine stopped", "callback deleted", "mine deleted", "a ran",
                      "told a result", "callback deleted", "a deleted", "interrupted ran",
                      "callback deleted", "interrupted deleted", "bare ran", "bare deleted"}));
  EXPECT_EQ(RunnableScheduler::registeredForTesting(), 0u);
  RunnableScheduler::cleanup();
}

}  // namespace
}  // namespace Web
}  // namespace Harlune
