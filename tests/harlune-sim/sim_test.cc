// What the pages cannot see of harlune-sim: option and wire edge cases, the
// exact answer form, misbehaviours' counts, run files and shutdown. The
// endpoints, the bundle and `open` are driven by every page test.
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "Options.h"
#include "Server.h"

using namespace HarluneSim;
using nlohmann::json;

namespace {

struct TempHome {
    std::string path;
    TempHome() {
        char templ[] = "/tmp/harlune-sim-home-XXXXXX";
        path = mkdtemp(templ) ? templ : "";
    }
    ~TempHome() {
        std::error_code ec;
        if (!path.empty()) std::filesystem::remove_all(path, ec);
    }
    std::string run() const { return runFolder(path); }
};

std::string readFile(const std::string& path) {
    std::stringstream ss;
    ss << std::ifstream(path, std::ios::binary).rdbuf();
    return ss.str();
}

bool exists(const std::string& path) { return std::filesystem::exists(path); }

struct Exchange {
    std::string received;
    bool timedOut = false, connected = false;
};

// Sends exact bytes to 127.0.0.1:port and reads until the server closes or
// nothing arrives for `timeoutMs`.
Exchange roundTrip(int port, const std::string& bytes, int timeoutMs = 10000) {
    Exchange ex;
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    ex.connected = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    if (ex.connected && send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) >= 0) {
        char buf[4096];
        ssize_t n;
        while ((n = recv(fd, buf, sizeof buf, 0)) > 0 || (n < 0 && errno == EINTR))
            if (n > 0) ex.received.append(buf, static_cast<size_t>(n));
        ex.timedOut = n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
    close(fd);
    return ex;
}

// A request in the form the plug-in sends: headers sorted by name.
std::string request(const std::string& method, const std::string& path, const std::string& body,
                    const std::string& key = "", const std::string& type = "") {
    std::string r = method + " " + path + " HTTP/1.1\r\n";
    if (!key.empty()) r += "Authorization-key: " + key + "\r\n";
    r += "Connection: close\r\nContent-Length: " + std::to_string(body.size()) + "\r\n";
    if (!type.empty()) r += "Content-Type: " + type + "\r\n";
    return r + "User-Agent: Tarsen Harlune\r\n\r\n" + body;
}

std::string bodyOf(const std::string& response) {
    size_t at = response.find("\r\n\r\n");
    return at == std::string::npos ? "" : response.substr(at + 4);
}

std::string statusOf(const Exchange& ex) { return ex.received.substr(0, ex.received.find('\r')); }

const std::string kPing = request("GET", "/v5/harlune/info/ping", "");

const std::string kProgram = HARLUNE_SIM_PROGRAM;

// harlune-sim as a child process in its own home, with stdout captured until
// it closes: the port with --ready-fd 1, else all it printed before exiting.
struct Sim {
    TempHome home;
    pid_t pid = -1;
    int port = 0;
    std::string output;

    explicit Sim(std::vector<std::string> args) {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        std::string env = "HOME=" + home.path;
        std::vector<char*> argv = {const_cast<char*>(kProgram.c_str())}, envp = {env.data(), nullptr};
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid, kProgram.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0)
            pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        char buf[512];
        for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) output.append(buf, size_t(n));
        close(fds[0]);
        port = std::atoi(output.c_str());
    }
    ~Sim() { stop(SIGTERM); }
    // Signals it (0: none) and returns its exit status.
    int stop(int sig) {
        if (pid <= 0) return -1;
        if (sig) kill(pid, sig);
        int status = 0;
        pid_t waited = waitpid(pid, &status, 0);
        pid = -1;
        return waited > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    Exchange send(const std::string& bytes, int timeoutMs = 10000) const {
        return roundTrip(port, bytes, timeoutMs);
    }
    json control(const json& mode) const {
        return json::parse(bodyOf(send(request("POST", "/_sim/mode", mode.dump())).received));
    }
    std::vector<json> journal() const {
        std::vector<json> lines;
        std::istringstream in(readFile(home.run() + "/journal.jsonl"));
        for (std::string line; std::getline(in, line);) lines.push_back(json::parse(line));
        return lines;
    }
    // Waits until `count` connections are held by the hang mode.
    bool awaitHeld(int count) const {
        for (int i = 0; i < 1000; ++i) {
            if (json::parse(bodyOf(send(request("GET", "/_sim/state", "")).received))["held"] == count)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }
};

std::vector<std::string> serving(std::vector<std::string> more = {}) {
    more.insert(more.begin(), {"--ready-fd", "1", "--key", "KEY"});
    return more;
}

}  // namespace

TEST(Options, BadInputAndTheOptionsFile) {
    const std::vector<std::vector<std::string>> bad = {
        {"--bogus"}, {"--port"}, {"--port", "70000"}, {"--port", "12x"}, {"--exit-refuse", "500"},
        {"--misbehave", "explode"}, {"--progress-step", "101"}, {"--transfer-size", "0"}};
    for (const auto& args : bad) {
        Options o;
        std::string err;
        EXPECT_FALSE(parseOptions(args, o, err)) << args[0];
        EXPECT_FALSE(err.empty());
    }
    TempHome home;
    const std::string file = home.path + "/options";
    std::ofstream(file) << "# comment\n\n--journal /tmp/a b/j.jsonl  \n  --version-empty\r\n--port 0\n";
    EXPECT_EQ(readOptionsFile(file), (std::vector<std::string>{"--journal", "/tmp/a b/j.jsonl",
                                                               "--version-empty", "--port", "0"}));
    EXPECT_TRUE(readOptionsFile(file + "-none").empty());
}

TEST(Wire, MalformedHeadsAndLengthsAreRefused) {
    for (const char* head : {"GET /\r\n\r\n", "GET  / HTTP/1.1\r\n\r\n", "GET / FTP/1\r\n\r\n",
                             "GET / HTTP/1.1\r\nNoColon\r\n\r\n", "GET / HTTP/1.1\r\nA: b\r\n"}) {
        WireRequest r;
        std::string err;
        EXPECT_FALSE(parseHead(head, r, err)) << head;
    }
    EXPECT_EQ(headEnd("GET / HTTP/1.1\r\nA: b\r\n"), 0u);
    WireRequest r;
    EXPECT_EQ(contentLength(r), 0);
    for (const char* bad : {"1x", ""}) {
        r.headers = {{"Content-Length", bad}};
        EXPECT_EQ(contentLength(r), -1) << bad;
    }
}

// Keys are applied in name order, so a valid "exit_status" comes first and
// must not stick when a later key is bad.
TEST(Mode, UpdatesApplyAllOrNothing) {
    SimState s(Options{});
    std::string err;
    EXPECT_TRUE(s.updateMode({{"exit_status", 403}, {"misbehave", "garbage"}, {"slow_ms", 5}}, err));
    for (const json& bad : {json{{"exit_status", 500}}, json{{"misbehave", "fly"}},
                            json{{"slow_ms", "5"}}, json{{"unknown", 1}}, json::array()}) {
        json change = bad;
        if (change.is_object() && !change.contains("exit_status")) change["exit_status"] = 404;
        EXPECT_FALSE(s.updateMode(change, err)) << change.dump();
        EXPECT_EQ(s.mode().exitStatus, 403);
        EXPECT_EQ(s.mode().slowMs, 5);
    }
    EXPECT_EQ(s.modeJson()["misbehave"], "garbage");
}

// Each route's key rule and refusals, and the exact form of an answer.
TEST(Server, RoutesAnswerInThePlainForm) {
    Sim sim(serving());
    EXPECT_EQ(sim.send(kPing).received,
              "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 20\r\n"
              "Connection: close\r\n\r\n{\"status\":\"running\"}");
    const std::string vnd = "application/vnd.tarsen.xferreq+json";
    const struct {
        std::string bytes, status;
    } cases[] = {
        {request("GET", "/v4/harlune/version", ""), "HTTP/1.1 401 Unauthorized"},
        {request("GET", "/v4/harlune/version", "", "WRONG"), "HTTP/1.1 401 Unauthorized"},
        {request("POST", "/transfers/", "<xferreq/>"), "HTTP/1.1 401 Unauthorized"},
        {request("GET", "/windows/about/", ""), "HTTP/1.1 401 Unauthorized"},
        {request("POST", "/v5/harlune/transfers/activity", "{}"), "HTTP/1.1 401 Unauthorized"},
        {request("POST", "/any", "{}", "", vnd), "HTTP/1.1 401 Unauthorized"},
        // Relayed requests: the plain JSON content type is let through without a key.
        {request("POST", "/any", "{}", "", "application/json"), "HTTP/1.1 200 OK"},
        {request("GET", "/windows/settings/", "", "KEY"), "HTTP/1.1 404 Not Found"},
        {request("POST", "/transfers/", "<xferreq><src>x</src>", "KEY"), "HTTP/1.1 400 Bad Request"},
        {request("POST", "/v5/harlune/transfers/activity", "no", "KEY"), "HTTP/1.1 400 Bad Request"},
        {"NONSENSE\r\n\r\n", "HTTP/1.1 400 Bad Request"},
    };
    for (const auto& c : cases) EXPECT_EQ(statusOf(sim.send(c.bytes)), c.status) << c.bytes;
}

TEST(Server, JournalKeepsHeadersInWireOrder) {
    Sim sim(serving());
    const std::string head = "POST /v5/harlune/transfers/activity HTTP/1.1\r\nZeta: 1\r\n"
                             "Authorization-key: KEY\r\nalpha:2\r\nX-Empty: \r\nContent-Length: 2\r\n\r\n";
    sim.send(head + "{}");
    std::vector<json> lines = sim.journal();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]["seq"], 1);
    EXPECT_EQ(lines[0]["port"], sim.port);
    EXPECT_EQ(lines[0]["target"], "/v5/harlune/transfers/activity");
    EXPECT_EQ(lines[0]["headers"], json::parse(R"([["Zeta","1"],["Authorization-key","KEY"],)"
                                               R"(["alpha","2"],["X-Empty",""],["Content-Length","2"]])"));
    EXPECT_EQ(lines[0]["head"], head);
    EXPECT_EQ(lines[0]["body"], "{}");
}

TEST(Server, MisbehavioursCountDownAndAreJournalled) {
    Sim sim(serving({"--no-content-length"}));
    EXPECT_EQ(bodyOf(sim.send(request("GET", "/v4/harlune/version", "", "KEY")).received), "5.2.1");
    EXPECT_EQ(sim.send(kPing).received.find("Content-Length"), std::string::npos);
    EXPECT_EQ(sim.control({{"misbehave", "garbage"}})["misbehave"], "garbage");
    Exchange garbage = sim.send(kPing);
    EXPECT_EQ(garbage.received, kGarbage);
    EXPECT_FALSE(garbage.timedOut);
    sim.control({{"misbehave", "close"}, {"misbehave_count", 1}});
    Exchange closed = sim.send(kPing);
    EXPECT_TRUE(closed.connected);
    EXPECT_EQ(closed.received, "");
    EXPECT_FALSE(closed.timedOut);
    EXPECT_EQ(statusOf(sim.send(kPing)), "HTTP/1.1 200 OK");  // the count ran out
    EXPECT_EQ(sim.journal().size(), 7u);
}

// A held request on the misbehaving path leaves others answered, ends at a mode
// change, times a client out, and does not keep the program from stopping.
TEST(Server, HangIsReleasedAndDoesNotBlockShutdown) {
    Sim sim(serving({"--misbehave", "hang", "--misbehave-path", "/v5/harlune/transfers/"}));
    const std::string activity = request("POST", "/v5/harlune/transfers/activity", "{}", "KEY");
    EXPECT_TRUE(sim.send(activity, 200).timedOut);  // and still held
    Exchange held;
    std::thread client([&] { held = sim.send(activity); });
    ASSERT_TRUE(sim.awaitHeld(2));
    EXPECT_EQ(statusOf(sim.send(kPing)), "HTTP/1.1 200 OK");
    sim.control({{"misbehave", "none"}});
    client.join();
    EXPECT_TRUE(json::parse(bodyOf(held.received)).contains("iteration_token"));

    sim.control({{"misbehave", "hang"}});
    std::thread last([&] { sim.send(activity); });
    ASSERT_TRUE(sim.awaitHeld(1));
    EXPECT_EQ(sim.stop(SIGTERM), 0);
    last.join();
}

// The run files' exact form; both go at a signal, the journal stays.
TEST(Process, RunFilesGoAtASignalAndBadOptionsFail) {
    for (int sig : {SIGTERM, SIGINT}) {
        Sim sim({"--ready-fd", "1", "--key", "k-1 2"});
        ASSERT_GT(sim.port, 0);
        const std::string uri = sim.home.run() + "/http.uri", pid = sim.home.run() + "/process.pid";
        EXPECT_EQ(readFile(uri), "http://127.0.0.1:" + std::to_string(sim.port) + "/\nk-1 2");
        EXPECT_EQ(readFile(pid), std::to_string(sim.pid));
        EXPECT_EQ(sim.stop(sig), 0);
        EXPECT_FALSE(exists(uri));
        EXPECT_FALSE(exists(pid));
        EXPECT_TRUE(exists(sim.home.run() + "/journal.jsonl"));
    }
    Sim help({"--help"});
    EXPECT_EQ(help.stop(0), 0);
    EXPECT_EQ(help.output.compare(0, 19, "Usage: harlune-sim "), 0);
    Sim bad({"--no-such-option"});
    EXPECT_EQ(bad.stop(0), 2);
    EXPECT_EQ(bad.output, "");
}
