#include "Server.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace HarluneSim {

namespace {

constexpr size_t kMaxHead = 64 * 1024;
constexpr long long kMaxBody = 16 * 1024 * 1024;

int bindListener(int port, int& boundPort, std::string& err) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        err = std::string("socket: ") + std::strerror(errno);
        return -1;
    }
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    socklen_t len = sizeof addr;
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(fd, 64) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        err = "cannot listen on 127.0.0.1:" + std::to_string(port) + ": " + std::strerror(errno);
        close(fd);
        return -1;
    }
    boundPort = ntohs(addr.sin_port);
    return fd;
}

void warn(const std::string& text) {
    std::fprintf(stderr, "harlune-sim: %s\n", text.c_str());
}

}  // namespace

Server::Server(SimState& state, Endpoints& endpoints, Journal& journal, RunFiles* runFiles,
               std::string key)
    : state_(state), endpoints_(endpoints), journal_(journal), runFiles_(runFiles),
      key_(std::move(key)) {
    if (pipe2(stopPipe_, O_CLOEXEC | O_NONBLOCK) != 0 || pipe2(wakePipe_, O_CLOEXEC | O_NONBLOCK) != 0)
        warn(std::string("pipe: ") + std::strerror(errno));
}

Server::~Server() {
    reap(true);
    for (int fd : {listenFd_, stopPipe_[0], stopPipe_[1], wakePipe_[0], wakePipe_[1]}) {
        if (fd >= 0) close(fd);
    }
}

bool Server::listen(int port, std::string& err) {
    if (stopPipe_[0] < 0 || wakePipe_[0] < 0) {
        err = "no pipes";
        return false;
    }
    int bound = 0;
    listenFd_ = bindListener(port, bound, err);
    if (listenFd_ < 0) return false;
    port_ = bound;
    if (runFiles_ && (!runFiles_->writeUri(bound, key_, err) || !runFiles_->writePid(err))) return false;
    return true;
}

void Server::stop() {
    stopping_ = true;
    // Only async-signal-safe calls here.
    ssize_t ignored = write(stopPipe_[1], "x", 1);
    (void)ignored;
}

void Server::wake() {
    ssize_t ignored = write(wakePipe_[1], "w", 1);
    (void)ignored;
}

void Server::run() {
    while (!stopping_) {
        pollfd fds[3] = {{stopPipe_[0], POLLIN, 0}, {wakePipe_[0], POLLIN, 0}, {listenFd_, POLLIN, 0}};
        if (poll(fds, 3, -1) < 0) {
            if (errno == EINTR) continue;
            warn(std::string("poll: ") + std::strerror(errno));
            break;
        }
        if (fds[0].revents) break;
        if (fds[1].revents) {
            char buf[64];
            while (read(wakePipe_[0], buf, sizeof buf) > 0) {
            }
            reap(false);
            doRestart();
        }
        if (fds[2].revents) acceptOne();
    }
    stopping_ = true;
    state_.wakeAll();
    {
        std::lock_guard<std::mutex> lock(restartMutex_);
    }
    restartDone_.notify_all();
    // New connections are refused from here on; the ones in flight end.
    close(listenFd_);
    listenFd_ = -1;
    reap(true);
    if (runFiles_) runFiles_->remove();
}

void Server::acceptOne() {
    int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) return;
    if (connections_.size() >= static_cast<size_t>(kMaxConnections)) {
        warn("too many connections; closing a new one");
        close(fd);
        return;
    }
    auto c = std::make_unique<Connection>();
    Connection* raw = c.get();
    c->thread = std::thread([this, fd, raw] {
        serve(fd);
        raw->done = true;
        wake();
    });
    connections_.push_back(std::move(c));
}

void Server::reap(bool all) {
    for (auto it = connections_.begin(); it != connections_.end();) {
        if (all || (*it)->done) {
            (*it)->thread.join();
            it = connections_.erase(it);
        } else {
            ++it;
        }
    }
}

int Server::restart() {
    std::unique_lock<std::mutex> lock(restartMutex_);
    if (stopping_) return -1;
    restartPending_ = true;
    const long long before = restarts_;
    wake();
    restartDone_.wait(lock, [&] { return restarts_ != before || stopping_.load(); });
    if (restarts_ == before || lastRestartFailed_) return -1;
    return port_.load();
}

void Server::doRestart() {
    std::lock_guard<std::mutex> lock(restartMutex_);
    if (!restartPending_) return;
    restartPending_ = false;
    // The new port is bound before the old one closes, so they differ, and
    // the URL file names it before the old one closes: a client that finds
    // the old port dead always reads the new one.
    std::string err;
    int bound = 0;
    int fd = bindListener(0, bound, err);
    lastRestartFailed_ = fd < 0;
    if (fd >= 0) {
        if (runFiles_ && !runFiles_->writeUri(bound, key_, err)) lastRestartFailed_ = true;
        close(listenFd_);
        listenFd_ = fd;
        port_ = bound;
    }
    if (lastRestartFailed_) warn("restart failed: " + err);
    ++restarts_;
    restartDone_.notify_all();
}

Server::Io Server::waitFor(int fd, short events, int timeoutMs) {
    pollfd fds[2] = {{fd, events, 0}, {stopPipe_[0], POLLIN, 0}};
    while (true) {
        int n = poll(fds, 2, timeoutMs);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return Io::Closed;
        if (fds[1].revents) return Io::Stopping;
        return Io::Ok;
    }
}

Server::Io Server::readRequest(int fd, WireRequest& request) {
    std::string buffer;
    size_t bodyStart = 0;
    long long length = -1;
    char chunk[4096];
    while (true) {
        if (bodyStart == 0) {
            bodyStart = headEnd(buffer);
            if (bodyStart != 0) {
                std::string err;
                if (!parseHead(buffer.substr(0, bodyStart), request, err)) return Io::Bad;
                length = contentLength(request);
                if (length < 0) return Io::Bad;
                if (length > kMaxBody) return Io::TooLarge;
            } else if (buffer.size() > kMaxHead) {
                return Io::TooLarge;
            }
        }
        if (bodyStart != 0 && buffer.size() - bodyStart >= static_cast<size_t>(length)) {
            request.body = buffer.substr(bodyStart, static_cast<size_t>(length));
            return Io::Ok;
        }
        Io ready = waitFor(fd, POLLIN, kIdleMs);
        if (ready != Io::Ok) return ready;
        ssize_t n = recv(fd, chunk, sizeof chunk, 0);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (n <= 0) return Io::Closed;
        buffer.append(chunk, static_cast<size_t>(n));
    }
}

bool Server::sendAll(int fd, const std::string& data) {
    size_t sent = 0;
    while (sent < data.size()) {
        ssize_t n = send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            if (waitFor(fd, POLLOUT, kIdleMs) != Io::Ok) return false;
        } else {
            return false;
        }
    }
    return true;
}

void Server::serve(int fd) {
    WireRequest request;
    const Io io = readRequest(fd, request);
    if (io == Io::Bad || io == Io::TooLarge) {
        const int status = io == Io::Bad ? 400 : 413;
        sendAll(fd, formatResponse(errorResponse(status, "Unreadable request"), true));
    }
    if (io != Io::Ok) {
        close(fd);
        return;
    }
    journal_.record(state_.nextSeq(), port(), request);

    const std::string path = request.path();
    if (path.compare(0, 6, "/_sim/") == 0) {
        sendAll(fd, formatResponse(control(request), true));
        close(fd);
        return;
    }

    const Misbehaviour misbehaviour = state_.takeMisbehaviour(path);
    const int slowMs = state_.mode().slowMs;
    if (slowMs > 0) state_.pause(slowMs, stopping_);
    if (misbehaviour == Misbehaviour::Garbage) sendAll(fd, kGarbage);
    if (misbehaviour == Misbehaviour::Hang && state_.holdWhileHanging(stopping_) != SimState::Hold::Released) {
        close(fd);
        return;
    }
    if (misbehaviour == Misbehaviour::Garbage || misbehaviour == Misbehaviour::Close || stopping_) {
        close(fd);
        return;
    }

    const Response response = endpoints_.handle(request);
    const Mode mode = state_.mode();
    sendAll(fd, formatResponse(response, !mode.noContentLength));
    // The move happens before the connection closes, so a client that has
    // read this answer finds the new port in http.uri already.
    const long long answered = state_.countAnswer();
    if (mode.restartAfter > 0 && answered % mode.restartAfter == 0) restart();
    close(fd);
    if (response.after == Response::After::Exit) stop();
}

Response Server::control(const WireRequest& request) {
    const std::string path = request.path();
    Response r;
    if (request.method == "GET" && path == "/_sim/state") {
        nlohmann::json snapshot = state_.snapshot();
        snapshot["port"] = port();
        r.body = snapshot.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        return r;
    }
    if (request.method == "POST" && path == "/_sim/mode") {
        nlohmann::json changes = nlohmann::json::parse(request.body, nullptr, false);
        std::string err;
        if (changes.is_discarded()) return errorResponse(400, "Mode body is not JSON");
        if (!state_.updateMode(changes, err)) return errorResponse(400, err);
        r.body = state_.modeJson().dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        return r;
    }
    if (request.method == "POST" && path == "/_sim/restart") {
        const int newPort = restart();
        if (newPort < 0) return errorResponse(500, "Restart failed");
        r.body = nlohmann::json({{"port", newPort}}).dump();
        return r;
    }
    return errorResponse(404, "No such control path");
}

}  // namespace HarluneSim
