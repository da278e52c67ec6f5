// The simulator's HTTP/1.1 server: a listener on 127.0.0.1 and one thread per
// connection. Written on plain sockets rather than an HTTP library because it
// must see headers in wire order and must be able to answer badly on purpose
// (bytes that are not HTTP, no answer at all, a closed connection).
#pragma once

#include <atomic>
#include <condition_variable>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "Endpoints.h"
#include "HttpWire.h"
#include "Journal.h"
#include "RunFiles.h"
#include "SimState.h"

namespace HarluneSim {

// The answer of the garbage mode: no line feed, no status line.
constexpr const char* kGarbage = "\x01\x02 not HTTP at all \xff\xfe";

class Server {
public:
    // Live connections at once; further ones are closed at once.
    static constexpr int kMaxConnections = 64;
    // A client that sends nothing for this long is dropped.
    static constexpr int kIdleMs = 60000;

    // `runFiles` may be null (no http.uri is written then).
    Server(SimState& state, Endpoints& endpoints, Journal& journal, RunFiles* runFiles,
           std::string key);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Binds 127.0.0.1:port (0 for an ephemeral port) and writes the run
    // files. False with `err` set.
    bool listen(int port, std::string& err);

    // Serves until `stop`; then joins every connection thread and removes the
    // run files.
    void run();

    // Safe from any thread and from a signal handler.
    void stop();

    int port() const { return port_.load(); }

    // Moves to a new ephemeral port and rewrites http.uri; returns the new
    // port, or -1 when that failed or the server stopped first.
    int restart();

private:
    struct Connection {
        std::thread thread;
        std::atomic<bool> done{false};
    };
    enum class Io { Ok, Closed, Stopping, TooLarge, Bad };

    void acceptOne();
    void reap(bool all);
    void doRestart();
    void serve(int fd);
    Response control(const WireRequest& request);
    Io readRequest(int fd, WireRequest& request);
    Io waitFor(int fd, short events, int timeoutMs);
    bool sendAll(int fd, const std::string& data);
    void wake();

    SimState& state_;
    Endpoints& endpoints_;
    Journal& journal_;
    RunFiles* runFiles_;
    const std::string key_;

    int listenFd_ = -1;          // touched by the accept loop only, once running
    std::atomic<int> port_{0};
    std::atomic<bool> stopping_{false};
    int stopPipe_[2] = {-1, -1};  // never drained: once readable, everyone sees it
    int wakePipe_[2] = {-1, -1};  // restart requests and finished connections

    std::list<std::unique_ptr<Connection>> connections_;  // accept loop only

    std::mutex restartMutex_;
    std::condition_variable restartDone_;
    bool restartPending_ = false;
    long long restarts_ = 0;
    bool lastRestartFailed_ = false;
};

}  // namespace HarluneSim
