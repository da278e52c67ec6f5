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

class RecordingListener : public TransferEventListener {
public:
  void transferEventOccurred(const std::string& answer) override {
    std::lock_guard<std::mutex> lock(_mutex);
    _answers.push_back(answer);
    _changed.notify_all();
  }
  std::vector<std::string> waitFor(size_t n) {
    std::unique_lock<std::mutex> lock(_mutex);
    _changed.wait_for(lock, std::chrono::seconds(20), [&] { return _answers.size() >= n; });
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

// Started before the application has written its URL file, the poller keeps
// trying; the token follows good answers and survives bad ones; when the
// application moves to a new port with a new key, the failed poll makes the
// next one read the URL file again.
TEST(TransfersPoller, FindsTheApplicationFollowsTheTokenAndTheApplication) {
  Testing::TempHome home;
  RecordingListener listener;
  TransfersPoller poller;
  poller.setIntervalForTesting(1);
  poller.setAppId("app-42");
  poller.addListener(&listener);
  poller.start();
  {
    const std::vector<std::string> bodies = {
        "{\"iteration_token\":\"t1\",\"transfers\":[]}", "not json", "{\"error\":{\"code\":-1}}",
        "{\"iteration_token\":\"t2\"}", "{\"no_token\":true}", "{\"iteration_token\":\"t3\"}"};
    auto index = std::make_shared<size_t>(0);
    FakeHarlune app([bodies, index](const std::string&) {
      return FakeHarlune::response(200, bodies[std::min((*index)++, bodies.size() - 1)]);
    });
    app.publish(home, "key-1");
    ASSERT_TRUE(app.waitForRequests(6));
    const auto requests = app.requests();
    EXPECT_EQ(Testing::requestLine(requests[0]), "POST /v5/harlune/transfers/activity HTTP/1.1");
    EXPECT_NE(requests[0].find("\r\nAuthorization-key: key-1\r\n"), std::string::npos);
    EXPECT_NE(requests[0].find("\r\nContent-Type: application/vnd.tarsen.xferreq+json\r\n"),
              std::string::npos);
    const char* tokensSent[] = {"", "t1", "t1", "t1", "t2", ""};
    for (size_t i = 0; i < 6; ++i) {
      EXPECT_EQ(Testing::requestBody(requests[i]), bodyWithToken(tokensSent[i], "app-42")) << i;
    }
    const auto told = listener.waitFor(3);
    EXPECT_EQ(std::vector<std::string>(told.begin(), told.begin() + 3),
              (std::vector<std::string>{bodies[0], bodies[3], bodies[4]}));
  }
  FakeHarlune moved;
  moved.publish(home, "new-key");
  const bool followed = moved.waitForRequests(1);
  poller.stop();
  poller.join();
  EXPECT_TRUE(poller.isDone());
  ASSERT_TRUE(followed);
  EXPECT_NE(moved.requests()[0].find("\r\nAuthorization-key: new-key\r\n"), std::string::npos);
}

// Closing a page with many sessions stops their pollers one after another:
// each stop wakes its poller instead of waiting out the interval (a minute
// here, so a sleeping poller could not pass).
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

}  // namespace
}  // namespace Web
}  // namespace Harlune
