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
using Testing::TempHome;

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
  std::vector<std::string> snapshot() {
    std::lock_guard<std::mutex> lock(mutex);
    return told;
  }
  bool waitFor(size_t n) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(20), [&] { return told.size() >= n; });
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

// Answers each request with its own path, so order shows in the outcomes.
FakeHarlune::Handler echoPath() {
  return [](const std::string& request) {
    const std::string line = Testing::requestLine(request);
    const size_t start = line.find(' ') + 1;
    return FakeHarlune::response(200, line.substr(start, line.rfind(' ') - start));
  };
}

TEST(RequestWorker, SendsQueuedRequestsInOrderEachOnItsOwnConnection) {
  TempHome home;
  FakeHarlune app(echoPath());
  app.publish(home);
  Outcomes outcomes;
  RequestWorker worker;
  worker.addRequest(makeRequest("/one", &outcomes));
  worker.addRequest(makeRequest("/two", &outcomes));
  worker.addRequest(makeRequest("/three", &outcomes));
  worker.start();
  ASSERT_TRUE(outcomes.waitFor(3));
  worker.stop();
  worker.join();
  EXPECT_TRUE(worker.isDone());
  EXPECT_EQ(outcomes.snapshot(), (std::vector<std::string>{"/one", "/two", "/three"}));
  EXPECT_EQ(outcomes.deleted, 3);
  // Each request arrived on a connection of its own (the fake answers one
  // request per connection): four accepted exchanges, ping included.
  const auto requests = app.requests();
  std::vector<std::string> lines;
  for (const auto& r : requests) lines.push_back(Testing::requestLine(r));
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "GET /v5/harlune/info/ping HTTP/1.1", "POST /one HTTP/1.1",
                       "GET /v5/harlune/info/ping HTTP/1.1", "POST /two HTTP/1.1",
                       "GET /v5/harlune/info/ping HTTP/1.1", "POST /three HTTP/1.1"}));
}

TEST(RequestWorker, RequestWithoutCallbackIsSentAndDeleted) {
  TempHome home;
  FakeHarlune app;
  app.publish(home);
  RequestWorker worker;
  worker.addRequest(makeRequest("/quiet", nullptr));
  worker.start();
  ASSERT_TRUE(app.waitForRequests(2));
  worker.stop();
  worker.join();
  EXPECT_EQ(Testing::requestLine(app.requests()[1]), "POST /quiet HTTP/1.1");
}

TEST(RequestWorker, StopOnAnIdleWorkerWakesIt) {
  RequestWorker worker;
  worker.start();
  worker.stop();
  worker.join();
  EXPECT_TRUE(worker.isDone());
  worker.stop();  // already done: only logs
  EXPECT_TRUE(worker.isDone());
}

TEST(RequestWorker, JoinWithoutStartReturnsAtOnce) {
  RequestWorker worker;
  worker.join();
  EXPECT_FALSE(worker.isDone());
}

TEST(RequestWorker, StopDuringARequestSkipsItsCallbackAndTheRest) {
  TempHome home;
  std::mutex gateMutex;
  std::condition_variable gateChanged;
  bool open = false;
  FakeHarlune app([&](const std::string& request) {
    if (Testing::requestLine(request).find("/slow") != std::string::npos) {
      std::unique_lock<std::mutex> lock(gateMutex);
      gateChanged.wait(lock, [&] { return open; });
    }
    return FakeHarlune::response(200, "{}");
  });
  app.publish(home);
  Outcomes outcomes;
  {
    RequestWorker worker;
    worker.addRequest(makeRequest("/slow", &outcomes));
    worker.addRequest(makeRequest("/never", &outcomes));
    worker.start();
    ASSERT_TRUE(app.waitForRequests(2));  // the ping and /slow have arrived
    worker.stop();
    {
      std::lock_guard<std::mutex> lock(gateMutex);
      open = true;
    }
    gateChanged.notify_all();
    worker.join();
    EXPECT_EQ(worker.queued(), 1u);
    // Both wait for the owner's thread, where a page function may be released.
    EXPECT_EQ(outcomes.deleted, 0);
  }
  EXPECT_TRUE(outcomes.snapshot().empty());
  EXPECT_EQ(outcomes.deleted, 2);
  for (const auto& r : app.requests()) {
    EXPECT_EQ(Testing::requestLine(r).find("/never"), std::string::npos);
  }
}

TEST(RequestWorker, UnlaunchableApplicationTellsTheCallbackNothingArrived) {
  TempHome home;
  FakeHarlune app;
  app.publish(home);
  Outcomes outcomes;
  // The request is made while the URL is known, then the application goes
  // away with no bundle to launch it from.
  HttpRequest* request = makeRequest("/lost", &outcomes);
  ::unlink((home.harluneData() + "/var/run/http.uri").c_str());
  HarluneApp::resetForTesting();
  RequestWorker worker;
  worker.addRequest(request);
  worker.start();
  ASSERT_TRUE(outcomes.waitFor(1));
  worker.stop();
  worker.join();
  EXPECT_EQ(outcomes.snapshot(), std::vector<std::string>{"<null>"});
}

TEST(RequestWorker, NoAnswerIsReportedAsNull) {
  TempHome home;
  FakeHarlune app([](const std::string& request) {
    // Pings are answered; the request itself is dropped without a word.
    return Testing::requestLine(request).find("ping") != std::string::npos
               ? FakeHarlune::response(200, "")
               : std::string();
  });
  app.publish(home);
  Outcomes outcomes;
  RequestWorker worker;
  worker.addRequest(makeRequest("/dropped", &outcomes));
  worker.start();
  ASSERT_TRUE(outcomes.waitFor(1));
  worker.stop();
  worker.join();
  EXPECT_EQ(outcomes.snapshot(), std::vector<std::string>{"<null>"});
}

// The application is relaunched (new port, new key) between queueing and
// sending: the guarded policy sends the key of the moment, the literal one the
// key read at queueing, which the new application refuses.
TEST(RequestWorker, KeyIsReadWhenTheRequestIsSent) {
  for (PolicyKind policy : {PolicyKind::Guarded, PolicyKind::Literal}) {
    Policy::setForTesting(policy);
    TempHome home;
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

TEST(RequestWorker, HangingApplicationCostsOneBoundThenTellsNothingArrived) {
  HttpRequest::setWaitBoundsForTesting(200, 200);
  TempHome home;
  std::mutex gateMutex;
  std::condition_variable gateChanged;
  bool open = false;
  FakeHarlune app([&](const std::string& request) {
    if (Testing::requestLine(request).find("/hang") != std::string::npos) {
      std::unique_lock<std::mutex> lock(gateMutex);
      gateChanged.wait(lock, [&] { return open; });
    }
    return FakeHarlune::response(200, "{}");
  });
  app.publish(home);
  Outcomes outcomes;
  bool told;
  {
    RequestWorker worker;
    worker.addRequest(makeRequest("/hang", &outcomes));
    worker.start();
    told = outcomes.waitFor(1);
    worker.stop();
    worker.join();
  }
  {
    std::lock_guard<std::mutex> lock(gateMutex);
    open = true;
  }
  gateChanged.notify_all();
  HttpRequest::setWaitBoundsForTesting(5000, 30000);
  ASSERT_TRUE(told);
  EXPECT_EQ(outcomes.snapshot(), std::vector<std::string>{"<null>"});
}

}  // namespace
}  // namespace Web
}  // namespace Harlune
