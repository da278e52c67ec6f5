#include "work/RequestWorker.h"

#include <unistd.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FakeHarlune.h"
#include "common/Callback.h"
#include "common/Policy.h"
#include "common/Utils.h"
#include "link/HarluneApp.h"
#include "link/HttpRequest.h"

namespace Harlune {
namespace Web {
namespace {

using Testing::FakeHarlune;
using Testing::requestLine;

// What the callbacks of one test were told, in order ("<null>" for no answer).
struct Outcomes {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::string> told;
  int deleted = 0;

  void add(const std::string& what) {
    std::lock_guard<std::mutex> lock(mutex);
    told.push_back(what);
    changed.notify_all();
  }
  std::vector<std::string> waitFor(size_t n) {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait_for(lock, std::chrono::seconds(20), [&] { return told.size() >= n; });
    return told;
  }
};

class RecordingCallback : public Callback {
public:
  explicit RecordingCallback(Outcomes& outcomes) : _outcomes(outcomes) {}
  ~RecordingCallback() override {
    std::lock_guard<std::mutex> lock(_outcomes.mutex);
    ++_outcomes.deleted;
  }
  void handleCallback(void* data) override {
    auto* response = static_cast<HttpResponse*>(data);
    _outcomes.add(response ? response->data() : "<null>");
  }
  void returnMessage(std::string) override {}

private:
  Outcomes& _outcomes;
};

HttpRequest* makeRequest(const std::string& path, Outcomes* outcomes) {
  std::unique_ptr<HttpRequest> request =
      Utils::createHttpRequest(HttpRequest::kPostMethod, path, "{}", ContentTypeJson);
  if (request && outcomes) request->setCallback(new RecordingCallback(*outcomes));
  return request.release();
}

// The request lines the application received, pings left out.
std::vector<std::string> sent(const FakeHarlune& app) {
  std::vector<std::string> lines;
  for (const std::string& r : app.requests()) {
    if (requestLine(r).find("/ping") == std::string::npos) lines.push_back(requestLine(r));
  }
  return lines;
}

class RequestWorkerTest : public ::testing::Test {
protected:
  void finish() {
    worker.stop();
    worker.join();
    EXPECT_TRUE(worker.isDone());
  }
  Testing::TempHome home;
  Outcomes outcomes;
  RequestWorker worker;
};

// Each request on a connection of its own (the fake answers one per
// connection), after a ping; no answer reaches the callback as null.
TEST_F(RequestWorkerTest, SendsQueuedRequestsInOrderAndTellsEachCallback) {
  FakeHarlune app([](const std::string& request) {
    const std::string line = requestLine(request);
    if (line.find("/dropped") != std::string::npos) return std::string();
    return FakeHarlune::response(200, line.substr(5, line.rfind(' ') - 5));
  });
  app.publish(home);
  worker.addRequest(makeRequest("/one", &outcomes));
  worker.addRequest(makeRequest("/quiet", nullptr));
  worker.addRequest(makeRequest("/dropped", &outcomes));
  worker.addRequest(makeRequest("/two", &outcomes));
  worker.start();
  EXPECT_EQ(outcomes.waitFor(3), (std::vector<std::string>{"/one", "<null>", "/two"}));
  EXPECT_EQ(app.requests().size(), 8u);
  EXPECT_EQ(sent(app), (std::vector<std::string>{"POST /one HTTP/1.1", "POST /quiet HTTP/1.1",
                                                 "POST /dropped HTTP/1.1", "POST /two HTTP/1.1"}));
  // The application goes away with no bundle to launch it from.
  HttpRequest* lost = makeRequest("/lost", &outcomes);
  ::unlink((home.harluneData() + "/var/run/http.uri").c_str());
  HarluneApp::resetForTesting();
  worker.addRequest(lost);
  EXPECT_EQ(outcomes.waitFor(4).back(), "<null>");
  finish();
  EXPECT_EQ(outcomes.deleted, 4);
  worker.stop();  // already done: only logs
  RequestWorker neverStarted;
  neverStarted.join();  // returns at once
}

TEST_F(RequestWorkerTest, StopDuringARequestSkipsItsCallbackAndTheRest) {
  std::mutex gateMutex;
  std::condition_variable gateChanged;
  bool open = false;
  FakeHarlune app([&](const std::string& request) {
    const bool slow = requestLine(request).find("/slow") != std::string::npos;
    std::unique_lock<std::mutex> lock(gateMutex);
    gateChanged.wait(lock, [&] { return open || !slow; });
    return FakeHarlune::response(200, "{}");
  });
  app.publish(home);
  auto stopped = std::make_unique<RequestWorker>();
  stopped->addRequest(makeRequest("/slow", &outcomes));
  stopped->addRequest(makeRequest("/never", &outcomes));
  stopped->start();
  ASSERT_TRUE(app.waitForRequests(2));  // the ping and /slow have arrived
  stopped->stop();
  {
    std::lock_guard<std::mutex> lock(gateMutex);
    open = true;
  }
  gateChanged.notify_all();
  stopped->join();
  EXPECT_EQ(stopped->queued(), 1u);
  // Both wait for the owner's thread, where a page function may be released.
  EXPECT_EQ(outcomes.deleted, 0);
  stopped.reset();
  EXPECT_TRUE(outcomes.told.empty());
  EXPECT_EQ(outcomes.deleted, 2);
  EXPECT_EQ(sent(app), std::vector<std::string>{"POST /slow HTTP/1.1"});
}

// The application is relaunched (new port, new key) between queueing and
// sending: the guarded policy sends the key of the moment, the literal one the
// key read at queueing, which the new application refuses.
TEST(RequestWorker, KeyIsReadWhenTheRequestIsSent) {
  for (PolicyKind policy : {PolicyKind::Guarded, PolicyKind::Literal}) {
    Policy::setForTesting(policy);
    Testing::TempHome home;
    std::unique_ptr<HttpRequest> request;
    {
      FakeHarlune old;
      old.publish(home, "old-key");
      request.reset(makeRequest("/queued", nullptr));
    }
    FakeHarlune relaunched;
    relaunched.publish(home, "new-key");
    RequestWorker worker;
    worker.addRequest(request.release());
    worker.start();
    const bool sent = relaunched.waitForRequests(2);  // the ping, then the request
    worker.stop();
    worker.join();
    Policy::setForTesting(PolicyKind::Guarded);
    ASSERT_TRUE(sent);
    const std::string expected = policy == PolicyKind::Guarded ? "new-key" : "old-key";
    EXPECT_NE(relaunched.requests()[1].find("\r\nAuthorization-key: " + expected + "\r\n"),
              std::string::npos)
        << expected;
  }
}

}  // namespace
}  // namespace Web
}  // namespace Harlune
