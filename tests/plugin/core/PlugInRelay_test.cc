#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FakeHarlune.h"
#include "LiteralPolicy.h"
#include "common/Callback.h"
#include "core/PlugIn.h"
#include "link/HttpResponse.h"

namespace Harlune {
namespace Web {
namespace {

using Testing::FakeHarlune;

std::string jsonError(const std::string& message) {
  return "{\"error\":{\"code\":-1,\"internal_message\":\"Invalid request\",\"user_message\":\"" +
         message + "\"}}";
}

class BodyCheck : public ::testing::Test {
protected:
  void SetUp() override {
    PlugIn::pathsSelectedByUser.clear();
    core.setPageHostname("app.example.org");
  }
  void TearDown() override { PlugIn::pathsSelectedByUser.clear(); }
  std::string check(const std::string& body) {
    std::string error;
    const bool valid = core.isJsonValid(body, error);
    return valid ? "valid" : error;
  }
  static std::string send(const std::string& root, const std::string& paths) {
    return "{\"transfer_specs\":[{\"transfer_spec\":{\"direction\":\"send\",\"source_root\":\"" +
           root + "\",\"paths\":" + paths + "}}]}";
  }
  PlugIn core;
};

TEST_F(BodyCheck, SyntaxAndApplicationIdentifier) {
  EXPECT_EQ(check("{not json").substr(0, 60),
            jsonError("Error parsing JSON: ").substr(0, 60));
  EXPECT_EQ(check("{}"), "valid");
  EXPECT_EQ(check("{\"tarsen_harlune_settings\":{\"app_id\":\"^app.example.org\"}}"), "valid");
  EXPECT_EQ(check("{\"tarsen_harlune_settings\":{\"app_id\":\"^evil.org\"}}"),
            jsonError("Invalid application ID hostname: app.example.org"));
  EXPECT_EQ(check("{\"transfer_specs\":[]}"), "valid");
  EXPECT_EQ(check("{\"transfer_specs\":{}}"), "valid");
}

TEST_F(BodyCheck, ReceiveToAnAbsoluteDestinationMustBeInTheChosenFolder) {
  const std::string receive =
      "{\"transfer_specs\":[{\"tarsen_harlune_settings\":{\"use_absolute_destination_path\":"
      "%s},\"transfer_spec\":{\"direction\":\"receive\",\"destination_root\":\"%s\"}}]}";
  auto body = [&](const char* flag, const char* root) {
    char text[512];
    std::snprintf(text, sizeof text, receive.c_str(), flag, root);
    return std::string(text);
  };
  EXPECT_EQ(check(body("true", "/tmp/x")),
            jsonError("The website attempted to transfer to an unauthorized directory: /tmp/x"));
  EXPECT_EQ(check(body("false", "/tmp/x")), "valid");
  EXPECT_EQ(check(body("\"true\"", "/tmp/x")), "valid");  // only the literal true counts
  core.setLastSelectedPath("/tmp/dl");
  EXPECT_EQ(check(body("true", "/tmp/dl/sub")), "valid");
  EXPECT_EQ(check(body("true", "/tmp/dl/sub")), "valid");  // not used up
  EXPECT_EQ(core.lastSelectedPath(), "/tmp/dl");
  EXPECT_EQ(check(body("true", "/tmp/q\\\"x")),
            jsonError("The website attempted to transfer to an unauthorized directory: "
                      "/tmp/q\\\\\\\"x"));
}

TEST_F(BodyCheck, SendMayNameOnlyApprovedPaths) {
  PlugIn::addToApprovedFileList({"/home/me/a.txt", "/home/me/dir"}, "");
  EXPECT_EQ(check(send("/home/me", "[{\"source\":\"a.txt\"},{\"destination\":\"x\"},3]")),
            "valid");
  EXPECT_EQ(check(send("/home/me/", "[{\"source\":\"/dir\"}]")), "valid");
  EXPECT_EQ(check(send("/home/me", "[{\"source\":\"dir/inside.txt\"}]")),
            jsonError("The website attempted to upload an unauthorized file or folder: "
                      "/home/me/dir/inside.txt"));
  EXPECT_EQ(check(send("", "[{\"source\":\"/etc/passwd\"}]")),
            jsonError("The website attempted to upload an unauthorized file or folder: "
                      "/etc/passwd"));
  EXPECT_EQ(check(send("/home/me", "[]")), "valid");
  EXPECT_EQ(check(send("/home/me", "{}")), jsonError("Invalid argument: paths"));
  EXPECT_EQ(check("{\"transfer_specs\":[{\"transfer_spec\":{\"direction\":\"send\"}}]}"),
            jsonError("Invalid argument: paths"));
  // A source that is not text cannot be vouched for.
  EXPECT_EQ(check(send("/home/me", "[{\"source\":7}]")),
            jsonError("The website attempted to upload an unauthorized file or folder: "
                      "/home/me"));
}

TEST_F(BodyCheck, OnlyTheFirstSpecificationIsExamined) {
  PlugIn::addToApprovedFileList({"/ok"}, "");
  const std::string body =
      "{\"transfer_specs\":[{\"transfer_spec\":{\"direction\":\"send\",\"paths\":[{\"source\":"
      "\"/ok\"}]}},{\"transfer_spec\":{\"direction\":\"send\",\"paths\":[{\"source\":"
      "\"/secret\"}]}}]}";
  EXPECT_EQ(check(body), "valid");
  EXPECT_EQ(check("{\"transfer_specs\":[{\"transfer_spec\":{\"direction\":\"sideways\"}}]}"),
            "valid");
}

class Relay : public ::testing::Test {
protected:
  Testing::TempHome home;
};

TEST_F(Relay, SynchronousRequestsCarryTheKeyAndAnEmptyBodyBecomesAnObject) {
  FakeHarlune app(FakeHarlune::okHandler("{\"answer\":42}", 500));
  app.publish(home, "k-9");
  PlugIn core;
  std::unique_ptr<HttpResponse> response;
  EXPECT_EQ(core.harluneHttpRequest("PUT", "/v5/harlune/things", "", &response), "");
  ASSERT_TRUE(response);
  EXPECT_EQ(response->data(), "{\"answer\":42}");
  const std::string sent = app.requests().back();
  EXPECT_EQ(sent,
            "PUT /v5/harlune/things HTTP/1.1\r\n"
            "Authorization-key: k-9\r\n"
            "Connection: close\r\n"
            "Content-Length: 2\r\n"
            "Content-Type: application/vnd.tarsen.xferreq+json\r\n"
            "User-Agent: Tarsen Harlune\r\n"
            "\r\n{}");
  EXPECT_EQ(core.harluneHttpRequest("GET", "/x", "[", &response).substr(0, 40),
            jsonError("Error parsing JSON").substr(0, 40));
  EXPECT_FALSE(response);
}

TEST_F(Relay, VersionIsTheAnswerBody) {
  FakeHarlune app(FakeHarlune::okHandler("5.2.1"));
  app.publish(home);
  PlugIn core;
  EXPECT_EQ(core.queryHarluneVersion(), "5.2.1");
  const std::string sent = app.requests().back();
  EXPECT_EQ(Testing::requestLine(sent), "GET /v4/harlune/version HTTP/1.1");
  EXPECT_EQ(Testing::requestBody(sent),
            "{\"tarsen_harlune_settings\":{\"app_id\":\"version request\"}}");
}

TEST_F(Relay, EmptyVersionAndNoApplicationAreErrors) {
  {
    FakeHarlune app(FakeHarlune::okHandler(""));
    app.publish(home);
    PlugIn core;
    EXPECT_EQ(core.queryHarluneVersion(), jsonError("Error retrieving the Tarsen Harlune version"));
  }
  Testing::TempHome empty;
  PlugIn core;
  EXPECT_EQ(core.queryHarluneVersion(),
            jsonError("Error contacting Tarsen Harlune. Ensure that it is running, and not "
                      "blocked by your firewall or security policies."));
}

// Collects what queued requests deliver.
struct Delivered {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::string> texts;
  void add(std::string text) {
    std::lock_guard<std::mutex> lock(mutex);
    texts.push_back(std::move(text));
    changed.notify_all();
  }
  bool waitFor(size_t n) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(20), [&] { return texts.size() >= n; });
  }
};

class TextCallback : public Callback {
public:
  explicit TextCallback(Delivered& into) : _into(into) {}
  void handleCallback(void* data) override {
    auto* response = static_cast<HttpResponse*>(data);
    returnMessage(response ? response->data() : "<none>");
  }
  void returnMessage(std::string message) override { _into.add(std::move(message)); }

private:
  Delivered& _into;
};

TEST_F(Relay, QueuedRequestsAnswerThroughTheirCallbacks) {
  FakeHarlune app(FakeHarlune::okHandler("queued-answer"));
  app.publish(home);
  Delivered delivered;
  {
    PlugIn core;
    core.init(0);
    EXPECT_EQ(core.harluneHttpRequestAsync("POST", "/a", "{}", new TextCallback(delivered)), "");
    EXPECT_EQ(core.harluneHttpRequestAsync("POST", "/b", "nope", new TextCallback(delivered))
                  .substr(0, 40),
              jsonError("Error parsing JSON").substr(0, 40));
    core.httpRequestImplementation("DELETE", "/c", "", new TextCallback(delivered));
    ASSERT_TRUE(delivered.waitFor(2));
  }
  EXPECT_EQ(delivered.texts, (std::vector<std::string>{"queued-answer", "queued-answer"}));
  std::vector<std::string> sent;
  for (const std::string& r : app.requests()) {
    if (Testing::requestLine(r).find("ping") == std::string::npos) sent.push_back(r);
  }
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[1],
            "DELETE /c HTTP/1.1\r\n"
            "Connection: close\r\n"
            "Content-Length: 2\r\n"
            "Content-Type: application/json\r\n"
            "User-Agent: Tarsen Harlune\r\n"
            "\r\n{}");
}

TEST_F(Relay, QueuedRequestWithoutApplicationUrl) {
  Delivered delivered;
  PlugIn core;
  EXPECT_EQ(core.harluneHttpRequestAsync("GET", "/a", "{}", new TextCallback(delivered)),
            jsonError("Error creating HTTP request"));
  core.httpRequestImplementation("GET", "/a", "{}", new TextCallback(delivered));
  EXPECT_EQ(delivered.texts, std::vector<std::string>{jsonError("Failed to get Harlune URL")});
}

}  // namespace
}  // namespace Web
}  // namespace Harlune
