#include "Server.h"

#include <chrono>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>

#include "sim_test_util.h"

using namespace HarluneSim;
using namespace SimTest;
using nlohmann::json;

namespace {

// A server running in this process on an ephemeral port, with its own home.
class RunningSim {
public:
    explicit RunningSim(Options o = Options{})
        : options_(withHome(o, home_.path())),
          state_(options_),
          endpoints_(state_, "KEY"),
          runFiles_(home_.path()),
          server_(state_, endpoints_, journal_, &runFiles_, "KEY") {
        std::string err;
        journalPath_ = home_.path() + "/journal.jsonl";
        ok_ = journal_.open(journalPath_, err) && server_.listen(0, err);
        EXPECT_TRUE(ok_) << err;
        if (ok_) thread_ = std::thread([this] { server_.run(); });
    }
    ~RunningSim() {
        server_.stop();
        waitForExit();
    }

    void waitForExit() {
        if (thread_.joinable()) thread_.join();
    }
    int port() const { return server_.port(); }
    SimState& state() { return state_; }
    const TempHome& home() const { return home_; }
    const RunFiles& runFiles() const { return runFiles_; }

    Exchange send(const std::string& bytes, int timeoutMs = 10000) {
        return roundTrip(port(), bytes, timeoutMs);
    }
    json control(const std::string& method, const std::string& path, const json& body = json()) {
        Exchange ex = send(request(method, path, body.is_null() ? "" : body.dump()));
        return json::parse(bodyOf(ex.received), nullptr, false);
    }
    std::vector<json> journal() const {
        std::vector<json> lines;
        std::istringstream in(readFile(journalPath_));
        std::string line;
        while (std::getline(in, line)) lines.push_back(json::parse(line));
        return lines;
    }
    // Waits until a connection is held by the hang mode.
    bool awaitHeld(int count) {
        for (int i = 0; i < 1000; ++i) {
            if (state_.snapshot()["held"] == count) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }

private:
    static Options withHome(Options o, const std::string& home) {
        o.home = home;
        return o;
    }

    TempHome home_;
    Options options_;
    SimState state_;
    Endpoints endpoints_;
    Journal journal_;
    RunFiles runFiles_;
    Server server_;
    std::string journalPath_;
    bool ok_ = false;
    std::thread thread_;
};

}  // namespace

TEST(Server, AnswersInThePlainFormTheClientReads) {
    RunningSim sim;
    Exchange ping = sim.send(request("GET", "/v5/harlune/info/ping", ""));
    EXPECT_EQ(ping.received,
              "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 20\r\n"
              "Connection: close\r\n\r\n{\"status\":\"running\"}");

    Exchange version = sim.send(request("GET", "/v4/harlune/version",
                                        R"({"tarsen_harlune_settings":{"app_id":"version request"}})",
                                        "KEY", "application/vnd.tarsen.xferreq+json"));
    EXPECT_EQ(bodyOf(version.received), "5.2.1");
    Exchange noKey = sim.send(request("GET", "/v4/harlune/version", ""));
    EXPECT_EQ(noKey.received.compare(0, 26, "HTTP/1.1 401 Unauthorized\r"), 0);

    Exchange relayed = sim.send(request("POST", "/api/v1/jobs", "{}", "", "application/json"));
    EXPECT_EQ(json::parse(bodyOf(relayed.received))["path"], "/api/v1/jobs");

    Exchange bad = sim.send("NONSENSE\r\n\r\n");
    EXPECT_EQ(bad.received.compare(0, 24, "HTTP/1.1 400 Bad Request"), 0);
}

TEST(Server, JournalKeepsHeadersInWireOrder) {
    RunningSim sim;
    const std::string head = "POST /v5/harlune/transfers/activity HTTP/1.1\r\nZeta: 1\r\n"
                             "Authorization-key: KEY\r\nalpha:2\r\nContent-Length: 2\r\n\r\n";
    sim.send(head + "{}");
    std::vector<json> lines = sim.journal();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]["seq"], 1);
    EXPECT_EQ(lines[0]["port"], sim.port());
    EXPECT_EQ(lines[0]["method"], "POST");
    EXPECT_EQ(lines[0]["target"], "/v5/harlune/transfers/activity");
    EXPECT_EQ(lines[0]["headers"], json::parse(R"([["Zeta","1"],["Authorization-key","KEY"],)"
                                               R"(["alpha","2"],["Content-Length","2"]])"));
    EXPECT_EQ(lines[0]["head"], head);
    EXPECT_EQ(lines[0]["body"], "{}");
}

TEST(Server, TransfersAdvanceAcrossActivityPolls) {
    Options o;
    o.progressStep = 50;
    RunningSim sim(o);
    Exchange posted = sim.send(request("POST", "/transfers/",
                                       "<xferreq xmlns=\"http://schemas.tarsen.com/xml/xferreq/\">"
                                       "<src>https://h/f</src></xferreq>",
                                       "KEY", "application/vnd.tarsen.xferreq+xml"));
    EXPECT_EQ(posted.received.compare(0, 15, "HTTP/1.1 200 OK"), 0);
    auto poll = [&](const std::string& token) {
        std::string body = "{\n    \"iteration_token\": \"" + token +
                           "\",\n    \"tarsen_harlune_settings\" : {\n        \"app_id\": \"a\"\n    }\n}\n";
        return json::parse(bodyOf(sim.send(request("POST", "/v5/harlune/transfers/activity", body, "KEY",
                                                    "application/vnd.tarsen.xferreq+json"))
                                      .received));
    };
    json first = poll("");
    json second = poll(first["iteration_token"]);
    json third = poll(second["iteration_token"]);
    EXPECT_NE(first["iteration_token"], second["iteration_token"]);
    EXPECT_EQ(first["transfers"][0]["bytes_written"], 500000);
    EXPECT_EQ(second["transfers"][0]["status"], "completed");
    EXPECT_EQ(third["iteration_token"], second["iteration_token"]);
    EXPECT_TRUE(third["transfers"].empty());
}

TEST(Server, GarbageAndClosedConnections) {
    RunningSim sim;
    EXPECT_EQ(sim.control("POST", "/_sim/mode", {{"misbehave", "garbage"}})["misbehave"], "garbage");
    Exchange garbage = sim.send(request("GET", "/v5/harlune/info/ping", ""));
    EXPECT_EQ(garbage.received, kGarbage);
    EXPECT_FALSE(garbage.timedOut);

    sim.control("POST", "/_sim/mode", {{"misbehave", "close"}, {"misbehave_count", 1}});
    Exchange closed = sim.send(request("GET", "/v5/harlune/info/ping", ""));
    EXPECT_TRUE(closed.connected);
    EXPECT_EQ(closed.received, "");
    EXPECT_FALSE(closed.timedOut);
    // The count ran out: back to normal answers.
    EXPECT_EQ(sim.send(request("GET", "/v5/harlune/info/ping", "")).received.compare(0, 15, "HTTP/1.1 200 OK"), 0);
    // Every request, misbehaved or not, is in the journal.
    EXPECT_EQ(sim.journal().size(), 5u);
}

TEST(Server, HangIsReleasedByAModeChange) {
    Options o;
    o.misbehaviour = Misbehaviour::Hang;
    o.misbehavePath = "/v5/harlune/transfers/";
    RunningSim sim(o);
    Exchange held;
    std::thread client([&] { held = sim.send(request("POST", "/v5/harlune/transfers/activity", "{}", "KEY")); });
    ASSERT_TRUE(sim.awaitHeld(1));
    // Other paths still answer while one is held.
    EXPECT_EQ(sim.send(request("GET", "/v5/harlune/info/ping", "")).received.compare(0, 15, "HTTP/1.1 200 OK"), 0);
    sim.control("POST", "/_sim/mode", {{"misbehave", "none"}});
    client.join();
    EXPECT_FALSE(held.timedOut);
    EXPECT_TRUE(json::parse(bodyOf(held.received)).contains("iteration_token"));
}

TEST(Server, HangTimesTheClientOutAndStillShutsDown) {
    Options o;
    o.misbehaviour = Misbehaviour::Hang;
    auto sim = std::make_unique<RunningSim>(o);
    Exchange held = sim->send(request("GET", "/v5/harlune/info/ping", ""), 200);
    EXPECT_TRUE(held.timedOut);
    EXPECT_EQ(held.received, "");
    // A second client is still connected and held when the server stops.
    std::thread client([&] { sim->send(request("GET", "/v5/harlune/info/ping", "")); });
    ASSERT_TRUE(sim->awaitHeld(2));
    const std::string uri = sim->runFiles().uriPath();
    sim.reset();  // joins every connection thread
    client.join();
    EXPECT_FALSE(fileExists(uri));
}

TEST(Server, RestartMovesToANewPortAndRewritesTheUriFile) {
    RunningSim sim;
    const int oldPort = sim.port();
    json answer = sim.control("POST", "/_sim/restart");
    const int newPort = answer["port"];
    EXPECT_NE(newPort, oldPort);
    EXPECT_EQ(sim.port(), newPort);
    EXPECT_EQ(readFile(sim.runFiles().uriPath()), "http://127.0.0.1:" + std::to_string(newPort) + "/\nKEY");
    EXPECT_FALSE(roundTrip(oldPort, request("GET", "/v5/harlune/info/ping", "")).connected);
    EXPECT_EQ(sim.send(request("GET", "/v5/harlune/info/ping", "")).received.compare(0, 15, "HTTP/1.1 200 OK"), 0);
}

TEST(Server, RestartAfterCountedAnswers) {
    Options o;
    o.restartAfter = 2;
    RunningSim sim(o);
    const int first = sim.port();
    const std::string ping = request("GET", "/v5/harlune/info/ping", "");
    EXPECT_TRUE(roundTrip(first, ping).connected);
    EXPECT_TRUE(roundTrip(first, ping).connected);
    // The second answer was the last on the first port.
    const int second = sim.port();
    EXPECT_NE(second, first);
    EXPECT_FALSE(roundTrip(first, ping).connected);
    EXPECT_EQ(readFile(sim.runFiles().uriPath()), "http://127.0.0.1:" + std::to_string(second) + "/\nKEY");
    EXPECT_EQ(roundTrip(second, ping).received.compare(0, 15, "HTTP/1.1 200 OK"), 0);
}

TEST(Server, ExitRequestEndsTheServerUnlessRefused) {
    Options o;
    o.exitStatus = 403;
    RunningSim sim(o);
    const std::string exitBody = "{'agent':'Tarsen.Harlune', 'message' : 'Installing update!'}";
    EXPECT_EQ(sim.send(request("POST", "/v5/harlune/info/exit", exitBody)).received.compare(0, 22, "HTTP/1.1 403 Forbidden"), 0);
    sim.control("POST", "/_sim/mode", {{"exit_status", 404}});
    EXPECT_EQ(sim.send(request("POST", "/v5/harlune/info/exit", exitBody)).received.compare(0, 22, "HTTP/1.1 404 Not Found"), 0);
    EXPECT_TRUE(fileExists(sim.runFiles().uriPath()));

    sim.control("POST", "/_sim/mode", {{"exit_status", 200}});
    Exchange ok = sim.send(request("POST", "/v5/harlune/info/exit", exitBody));
    EXPECT_EQ(ok.received.compare(0, 15, "HTTP/1.1 200 OK"), 0);
    sim.waitForExit();
    EXPECT_FALSE(fileExists(sim.runFiles().uriPath()));
    EXPECT_FALSE(fileExists(sim.runFiles().pidPath()));
}

TEST(Server, SlowAndLengthlessAnswers) {
    Options o;
    o.slowMs = 150;
    o.noContentLength = true;
    RunningSim sim(o);
    const auto start = std::chrono::steady_clock::now();
    Exchange ex = sim.send(request("GET", "/v4/harlune/version", "", "KEY"));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
    EXPECT_EQ(ex.received.find("Content-Length"), std::string::npos);
    EXPECT_EQ(bodyOf(ex.received), "5.2.1");
}
