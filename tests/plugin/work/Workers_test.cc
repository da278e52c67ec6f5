// The poller of transfer activity, and the road back to the main thread
// (the one-shot queue, the runnable registry).
#include "work/OneShotManager.h"
#include "work/RunnableScheduler.h"
#include "work/TransfersPoller.h"

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <desktop/RunLoop.h>
#include <gtest/gtest.h>

#include "FakeHarlune.h"
#include "common/Callback.h"
#include "common/Policy.h"
#include "common/Runnable.h"

namespace Harlune {
namespace Web {
namespace {

using Testing::FakeHarlune;

std::string bodyWithToken(const std::string& token, const std::string& appId) {
  return "{\n    \"iteration_token\": \"" + token +
         "\",\n    \"tarsen_harlune_settings\" : {\n        \"app_id\": \"" + appId +
         "\"\n    }\n}\n";
}

// The identifier is the page's: escaped in the guarded policy, so a quote in
// it cannot add members; pasted as it stands in the literal one.
TEST(TransfersPoller, RequestBodyIsSixLinesWithTheIdentifierEscapedWhenGuarded) {
  EXPECT_TRUE(Policy::guarded());  // the default, before any policy is loaded
  const std::string hostile = "free\",\"app_id\":\"^bank.example";
  const struct {
    PolicyKind policy;
    std::string appId;
    std::string sent;
  } cases[] = {
      {PolicyKind::Guarded, hostile, "free\\\",\\\"app_id\\\":\\\"^bank.example"},
      {PolicyKind::Guarded, "a\\b\n", "a\\\\b\\n"},
      {PolicyKind::Literal, hostile, hostile},
  };
  for (const auto& c : cases) {
    Policy::setForTesting(c.policy);
    TransfersPoller poller;
    poller.setAppId(c.appId);
    EXPECT_EQ(poller.createRequestData(), bodyWithToken("", c.sent)) << c.appId;
  }
  Policy::setForTesting(PolicyKind::Guarded);
}

// Closing a page with many sessions stops their pollers one after another:
// each stop wakes its poller instead of waiting out the interval (a minute).
TEST(TransfersPoller, StopWakesThePollerAtOnce) {
  Testing::TempHome home;
  FakeHarlune app;
  app.publish(home);
  std::vector<std::unique_ptr<TransfersPoller>> pollers(100);
  for (auto& poller : pollers) {
    poller = std::make_unique<TransfersPoller>();
    poller->setIntervalForTesting(60000);
    poller->start();
  }
  const auto before = std::chrono::steady_clock::now();
  for (auto& poller : pollers) {
    poller->stop();
    poller->join();
    EXPECT_TRUE(poller->isDone());
  }
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(20));
  EXPECT_TRUE(app.requests().empty());
}

// Each test drives its own run loop on the test's thread.
class MainThreadQueue : public ::testing::Test {
protected:
  void SetUp() override { loop.bindToCurrentThread(); }
  void drain() { loop.runUntil([this] { return loop.pendingWorkCount() == 0; }); }

  Desktop::RunLoop loop;
  std::vector<std::string> seen;
};

int gDiscarded = 0;
void consume(void* arg) { delete static_cast<int*>(arg); }
void discardInt(void* arg) {
  ++gDiscarded;
  delete static_cast<int*>(arg);
}
void neverCalled(void*) { ADD_FAILURE() << "a dropped pair ran"; }

// A manager that goes with pairs still queued hands each to its discard
// function instead of running it.
TEST_F(MainThreadQueue, PairsLeftWhenTheManagerGoesAreDiscarded) {
  OneShotManager::registerDiscard(&consume, &discardInt);
  {
    OneShotManager gone(loop);
    std::thread([&] {  // queued from a worker, as the workers do
      gone.scheduleAsyncCallback(&neverCalled, nullptr);
      gone.scheduleAsyncCallback(&consume, new int(7));
      gone.scheduleAsyncCallback(&consume, new int(8));
    }).join();
  }
  EXPECT_EQ(gDiscarded, 2);
  // The deliveries still arrive, find no manager, and are dropped.
  EXPECT_EQ(loop.pendingWorkCount(), 3u);
  drain();
}

// A runnable, or a callback, that reports what happens to it.
class Probe : public Runnable, public Callback {
public:
  Probe(std::vector<std::string>& seen, std::string name, bool interrupted = false)
      : _seen(seen), _name(std::move(name)), _interrupted(interrupted) {}
  ~Probe() override { _seen.push_back(_name + " deleted"); }
  bool isInterrupted() override { return _interrupted; }
  uint64_t result() override { return 2; }
  std::string resultStr() override { return _name + " result"; }
  void run() override { _seen.push_back(_name + " ran"); }
  void stop() override {
    _interrupted = true;
    _seen.push_back(_name + " stopped");
  }
  void handleCallback(void* data) override {
    _seen.push_back(_name + " told " + static_cast<Runnable*>(data)->resultStr());
  }
  void returnMessage(std::string) override {}

private:
  std::vector<std::string>& _seen;
  std::string _name;
  bool _interrupted;
};

// Stopping one queue's runnables, and destroying it, leaves the others'.
TEST_F(MainThreadQueue, RunnablesRunLaterAndOnlyTheStoppedQueuesAreDropped) {
  RunnableScheduler::init();
  OneShotManager other(loop);
  RunnableScheduler::scheduleRunnable(&other, new Probe(seen, "a"), new Probe(seen, "cb-a"));
  RunnableScheduler::scheduleRunnable(&other, new Probe(seen, "i", true), new Probe(seen, "cb-i"));
  RunnableScheduler::scheduleRunnable(&other, new Probe(seen, "bare"), nullptr);
  {
    OneShotManager mine(loop);
    RunnableScheduler::scheduleRunnable(&mine, new Probe(seen, "m"), new Probe(seen, "cb-m"));
    OneShotManager empty(loop);
    RunnableScheduler::stopRunnables(&empty);
    EXPECT_TRUE(seen.empty());
    RunnableScheduler::stopRunnables(&mine);
    EXPECT_EQ(seen, std::vector<std::string>{"m stopped"});
    EXPECT_EQ(RunnableScheduler::registeredForTesting(), 4u);
  }
  EXPECT_EQ(RunnableScheduler::registeredForTesting(), 3u);
  drain();
  EXPECT_EQ(seen, (std::vector<std::string>{"m stopped", "cb-m deleted", "m deleted", "a ran",
                                            "cb-a told a result", "cb-a deleted", "a deleted",
                                            "i ran", "cb-i deleted", "i deleted", "bare ran",
                                            "bare deleted"}));
  EXPECT_EQ(RunnableScheduler::registeredForTesting(), 0u);
  RunnableScheduler::cleanup();
}

}  // namespace
}  // namespace Web
}  // namespace Harlune
