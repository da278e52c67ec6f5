#include "Endpoints.h"

#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <stdexcept>
#include <unistd.h>

using namespace HarluneSim;
using nlohmann::json;

namespace {

class EndpointsTest : public ::testing::Test {
protected:
    EndpointsTest() : state(options()), endpoints(state, "KEY") {}

    static Options options() {
        Options o;
        o.versionText = "9.8.7";
        return o;
    }

    Response send(const std::string& method, const std::string& target, const std::string& body = "",
                  const std::string& key = "KEY", const std::string& type = "") {
        WireRequest r;
        r.method = method;
        r.target = target;
        r.version = "HTTP/1.1";
        if (!key.empty()) r.headers.emplace_back(kKeyHeader, key);
        if (!type.empty()) r.headers.emplace_back("Content-Type", type);
        r.body = body;
        return endpoints.handle(r);
    }

    SimState state;
    Endpoints endpoints;
};

}  // namespace

TEST_F(EndpointsTest, KeyIsCheckedWhereTheInterfaceAsksForIt) {
    EXPECT_EQ(send("GET", "/v5/harlune/info/ping", "", "").status, 200);
    EXPECT_EQ(send("GET", "/v4/harlune/version", "", "").status, 401);
    EXPECT_EQ(send("GET", "/v4/harlune/version", "", "WRONG").status, 401);
    EXPECT_EQ(send("POST", "/transfers/", "<xferreq/>", "").status, 401);
    EXPECT_EQ(send("GET", "/windows/about/", "", "").status, 401);
    EXPECT_EQ(send("POST", "/v5/harlune/transfers/activity", "{}", "").status, 401);
    EXPECT_EQ(send("POST", "/v5/harlune/info/exit", "", "").status, 200);
    // Relayed requests: the plain JSON content type is let through without a key.
    EXPECT_EQ(send("POST", "/any", "{}", "", "application/vnd.tarsen.xferreq+json").status, 401);
    EXPECT_EQ(send("POST", "/any", "{}", "", "application/json").status, 200);
    Response refused = send("GET", "/v4/harlune/version", "", "");
    EXPECT_EQ(json::parse(refused.body)["error"]["code"], 401);
    EXPECT_TRUE(state.windows().empty());
    EXPECT_TRUE(state.transfers().empty());
}

TEST_F(EndpointsTest, VersionTextOrEmpty) {
    Response r = send("GET", "/v4/harlune/version");
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body, "9.8.7");
    std::string err;
    ASSERT_TRUE(state.updateMode({{"version_empty", true}}, err));
    EXPECT_EQ(send("GET", "/v4/harlune/version").body, "");
}

TEST_F(EndpointsTest, TransferDocumentsAreKept) {
    const std::string ns = "http://schemas.tarsen.com/xml/xferreq/";
    EXPECT_EQ(send("POST", "/transfers/",
                   "<xferreq xmlns=\"" + ns + "\"><src>https://h/a?x=1&amp;y=\"2\"</src>"
                   "<src>https://h/b</src><dest>file:///home/u/Down%20loads</dest></xferreq>")
                  .status,
              200);
    EXPECT_EQ(send("POST", "/transfers/",
                   "<xferreq xmlns=\"" + ns + "\"><src>file:///home/u/a&lt;b</src>"
                   "<dest>https://h/up</dest></xferreq>")
                  .status,
              200);
    EXPECT_EQ(send("POST", "/transfers/", "<xferreq><src>x</src>").status, 400);
    EXPECT_EQ(send("POST", "/transfers/", "<other/>").status, 400);

    const std::vector<Transfer> t = state.transfers();
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0].direction, "receive");
    EXPECT_EQ(t[0].sources, (std::vector<std::string>{"https://h/a?x=1&y=\"2\"", "https://h/b"}));
    EXPECT_EQ(t[0].destination, "file:///home/u/Down%20loads");
    EXPECT_EQ(t[0].xmlns, ns);
    EXPECT_EQ(t[1].direction, "send");
    EXPECT_EQ(t[1].sources, (std::vector<std::string>{"file:///home/u/a<b"}));
    EXPECT_EQ(t[1].destination, "https://h/up");
}

TEST_F(EndpointsTest, WindowsAreRecordedByNameAndArgument) {
    EXPECT_EQ(send("GET", "/windows/about/").status, 200);
    EXPECT_EQ(send("GET", "/windows/transfer-manager/x7").status, 200);
    EXPECT_EQ(send("GET", "/windows/preferences").status, 200);
    EXPECT_EQ(send("GET", "/windows/settings/").status, 404);
    const std::vector<WindowRequest> w = state.windows();
    ASSERT_EQ(w.size(), 3u);
    EXPECT_EQ(w[0].name, "about");
    EXPECT_EQ(w[0].argument, "");
    EXPECT_EQ(w[1].name, "transfer-manager");
    EXPECT_EQ(w[1].argument, "x7");
    EXPECT_EQ(w[2].name, "preferences");
}

TEST_F(EndpointsTest, ActivityReadsTheTokenTheClientSends) {
    // The body as the plug-in writes it, space before the colon included.
    const std::string body =
        "{\n    \"iteration_token\": \"\",\n    \"tarsen_harlune_settings\" : {\n"
        "        \"app_id\": \"^example.com\"\n    }\n}\n";
    Response r = send("POST", "/v5/harlune/transfers/activity", body);
    ASSERT_EQ(r.status, 200);
    EXPECT_EQ(json::parse(r.body)["iteration_token"], "it-0");
    EXPECT_EQ(state.snapshot()["last_app_id"], "^example.com");
    EXPECT_EQ(send("POST", "/v5/harlune/transfers/activity", "not json").status, 400);
}

TEST_F(EndpointsTest, ExitAnswersOrRefuses) {
    Response ok = send("POST", "/v5/harlune/info/exit",
                       "{'agent':'Tarsen.Harlune', 'message' : 'Installing update!'}", "");
    EXPECT_EQ(ok.status, 200);
    EXPECT_EQ(ok.after, Response::After::Exit);
    std::string err;
    for (int status : {403, 404}) {
        ASSERT_TRUE(state.updateMode({{"exit_status", status}}, err));
        Response refused = send("POST", "/v5/harlune/info/exit", "", "");
        EXPECT_EQ(refused.status, status);
        EXPECT_EQ(refused.after, Response::After::Nothing);
    }
}

TEST_F(EndpointsTest, RelayedRequestsAreEchoedOrAnsweredFromTheFile) {
    json echo = json::parse(send("PUT", "/api/x?y=1", "{\"a\":1}").body);
    EXPECT_EQ(echo["method"], "PUT");
    EXPECT_EQ(echo["path"], "/api/x?y=1");
    EXPECT_EQ(echo["body"], "{\"a\":1}");

    char path[] = "/tmp/sim-answers-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    std::ofstream(path) << R"({"GET /api/jobs": {"status": 503, "body": {"jobs": []}},
                              "POST /v5/harlune/transfers/activity": {"body": "{\"error\":{}}"}})";
    endpoints.loadAnswers(path);
    Response canned = send("GET", "/api/jobs");
    EXPECT_EQ(canned.status, 503);
    EXPECT_EQ(canned.body, "{\"jobs\":[]}");
    EXPECT_EQ(send("POST", "/v5/harlune/transfers/activity", "{}").body, "{\"error\":{}}");
    // Canned answers still need the key where the route does.
    EXPECT_EQ(send("GET", "/api/jobs", "", "").status, 401);

    std::ofstream(path) << "[1]";
    EXPECT_THROW(endpoints.loadAnswers(path), std::runtime_error);
    std::remove(path);
    EXPECT_THROW(endpoints.loadAnswers(path), std::runtime_error);
}
