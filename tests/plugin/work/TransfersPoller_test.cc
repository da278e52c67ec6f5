#include "work/TransfersPoller.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FakeHarlune.h"
#include "common/Policy.h"

namespace Harlune {
namespace Web {
namespace {

using Testing::FakeHarlune;
using Testing::TempHome;

class RecordingListener : public TransferEventListener {
public:
  void transferEventOccurred(const std::string& answer) override {
    std::lock_guard<std::mutex> lock(_mutex);
    _answers.push_back(answer);
    _changed.notify_all();
  }
  bool waitFor(size_t n) {
    std::unique_lock<std::mutex> lock(_mutex);
    return _changed.wait_for(lock, std::chrono::seconds(20), [&] { return _answers.size() >= n; });
  }
  std::vector<std::string> answers() {
    std::lock_guard<std::mutex> lock(_mutex);
    return _answers;
  }

private:
  std::mutex _mutex;
  std::condition_variable _changed;
  std::vector<std::string> _answers;
};

std::string bodyWithToken(const std::string& token, const std::string& appId) {
  return "{\n    \"iteration_token\": \"" + token +
         "\",\n    \"tarsen_harlune_settings\" : {\n        \"app_id\": \"" + appId +
         "\"\n    }\n}\n";
}

// The identifier is the page's: escaped in the guarded policy, so a quote in
// it cannot add members; pasted as it stands in the literal one.
TEST(TransfersPoller, RequestBodyIsSixLinesWithTheIdentifierEscapedWhenGuarded) {
  const std::string hostile = "free\",\"app_id\":\"^bank.example";
  const struct {
    PolicyKind policy;
    std::string appId;
    std::string sent;
  } cases[] = {
      {PolicyKind::Guarded, "", ""},
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

// Scripted answers, one per poll; the last one repeats.
FakeHarlune::Handler answers(std::vector<std::string> bodies) {
  auto index = std::make_shared<size_t>(0);
  return [bodies, index](const std::string&) {
    const std::string& body = bodies[std::min(*index, bodies.size() - 1)];
    ++*index;
    return FakeHarlune::response(200, body);
  };
}

TEST(TransfersPoller, TokenFollowsGoodAnswersAndSurvivesBadOnes) {
  TempHome home;
  FakeHarlune app(answers({
      "{\"iteration_token\":\"t1\",\"transfers\":[]}",
      "not json",
      "{\"error\":{\"code\":-1}}",
      "{\"iteration_token\":\"t2\"}",
      "{\"no_token\":true}",
      "{\"iteration_token\":\"t3\"}",
  }));
  app.publish(home, "key-1");
  RecordingListener listener;
  TransfersPoller poller;
  poller.setIntervalForTesting(1);
  poller.setAppId("app-42");
  poller.addListener(&listener);
  poller.start();
  ASSERT_TRUE(app.waitForRequests(6));
  poller.stop();
  poller.join();
  EXPECT_TRUE(poller.isDone());

  const auto requests = app.requests();
  EXPECT_EQ(Testing::requestLine(requests[0]), "POST /v5/harlune/transfers/activity HTTP/1.1");
  EXPECT_NE(requests[0].find("Authorization-key: key-1\r\n"), std::string::npos);
  EXPECT_NE(requests[0].find("Content-Type: application/vnd.tarsen.xferreq+json\r\n"),
            std::string::npos);
  const std::vector<std::string> tokensSent = {"", "t1", "t1", "t1", "t2", ""};
  for (size_t i = 0; i < tokensSent.size(); ++i) {
    EXPECT_EQ(Testing::requestBody(requests[i]), bodyWithToken(tokensSent[i], "app-42")) << i;
  }
  const auto told = listener.answers();
  ASSERT_GE(told.size(), 3u);
  EXPECT_EQ(told[0], "{\"iteration_token\":\"t1\",\"transfers\":[]}");
  EXPECT_EQ(told[1], "{\"iteration_token\":\"t2\"}");
  EXPECT_EQ(told[2], "{\"no_token\":true}");
}

TEST(TransfersPoller, ListenerAddedTwiceIsToldTwiceAndRemovedOnce) {
  RecordingListener a, b;
  TransfersPoller poller;
  poller.addListener(&a);
  poller.addListener(&b);
  poller.addListener(&a);
  poller.notifyListeners("x");
  EXPECT_EQ(a.answers().size(), 2u);
  EXPECT_EQ(b.answers().size(), 1u);
  poller.removeListener(&a);
  poller.notifyListeners("y");
  EXPECT_EQ(a.answers(), (std::vector<std::string>{"x", "x", "y"}));
  poller.removeListener(&b);
  poller.removeListener(&b);  // absent: nothing changes
  poller.notifyListeners("z");
  EXPECT_EQ(b.answers(), (std::vector<std::string>{"x", "y"}));
}

TEST(TransfersPoller, KeepsPollingUntilTheApplicationAppears) {
  TempHome home;
  FakeHarlune app;
  RecordingListener listener;
  TransfersPoller poller;
  poller.setIntervalForTesting(1);
  poller.addListener(&listener);
  poller.start();
  // No URL file yet: polls find no application and send nothing. Once the
  // file appears, the next poll reaches it.
  app.publish(home);
  ASSERT_TRUE(listener.waitFor(1));
  poller.stop();
  poller.join();
  EXPECT_EQ(listener.answers()[0], "{}");
  EXPECT_FALSE(app.requests().empty());
}

// Closing a page with many sessions stops their pollers one after another:
// each stop wakes its poller instead of waiting out the interval (a minute
// here, so a sleeping poller could not pass).
TEST(TransfersPoller, StopWakesThePollerAtOnce) {
  TempHome home;
  FakeHarlune app;
  app.publish(home);
  std::vector<std::unique_ptr<TransfersPoller>> pollers;
  for (int i = 0; i < 100; ++i) {
    pollers.push_back(std::make_unique<TransfersPoller>());
    pollers.back()->setIntervalForTesting(60000);
    pollers.back()->start();
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

// The application moves to a new port with a new key and no other request
// is made: the failed poll makes the next one read the URL file again.
TEST(TransfersPoller, FollowsTheApplicationToANewPort) {
  TempHome home;
  RecordingListener listener;
  TransfersPoller poller;
  poller.setIntervalForTesting(1);
  poller.addListener(&listener);
  {
    FakeHarlune old;
    old.publish(home, "old-key");
    poller.start();
    ASSERT_TRUE(listener.waitFor(1));
  }
  FakeHarlune moved(FakeHarlune::okHandler("{\"moved\":true}"));
  moved.publish(home, "new-key");
  const bool followed = moved.waitForRequests(1);
  poller.stop();
  poller.join();
  ASSERT_TRUE(followed);
  EXPECT_NE(moved.requests()[0].find("Authorization-key: new-key\r\n"), std::string::npos);
}

}  // namespace
}  // namespace Web
}  // namespace Harlune
