#include "link/Socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>

#include <taplatform/taplatform.h>

#include "link/IpAddress.h"

namespace Harlune {
namespace Web {

namespace {
// Descriptors are logged the way the log has always shown them: as pointers.
void* asPointer(int fd) { return reinterpret_cast<void*>(static_cast<intptr_t>(fd)); }
}  // namespace

Socket::~Socket() { close(); }

void Socket::close() {
  if (_fd == -1) return;
  int fd = _fd;
  const int err = ta_sock_close(&fd);
  if (err != 0) TA_LOG(1, "Error closing socket %p (%i)", asPointer(_fd), err);
  _fd = -1;
}

int Socket::waitUntilReady(short events, int ms) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd entry{_fd, events, 0};
    const int ready = ::poll(&entry, 1, left > 0 ? static_cast<int>(left) : 0);
    if (ready > 0) return 1;
    if (ready == 0) return 0;
    if (errno != EINTR) return -1;
  }
}

// One recv or send (`io`), tried first; the bounded wait for `events` is paid
// only when the call would block, so a busy socket costs one syscall per
// buffer. The byte count, or -1 (with _timedOut set when the wait ran out).
template <typename Io>
int Socket::transfer(Io io, short events, const char* name, const char* idle) {
  if (_fd == -1) return -1;
  _timedOut = false;
  ssize_t n;
  for (;;) {
    n = io(_idleMs >= 0 ? MSG_DONTWAIT : 0);
    if (n >= 0 || _idleMs < 0) break;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) break;
    const int ready = waitUntilReady(events, _idleMs);
    if (ready == 0) {
      _timedOut = true;
      TA_LOG(1, "Socket::%s() [%p] - no byte %s in %i ms", name, asPointer(_fd), idle, _idleMs);
      return -1;
    }
    if (ready < 0) break;
  }
  if (n < 0) {
    TA_LOG(1, "Socket::%s() [%p] - %s failed (%i)", name, asPointer(_fd), name,
           static_cast<int>(n));
    return -1;
  }
  return static_cast<int>(n);
}

int Socket::recv(char* buffer, int length) {
  return transfer(
      [&](int flags) { return ::recv(_fd, buffer, static_cast<size_t>(length), flags); }, POLLIN,
      "recv", "came");
}

int Socket::send(const char* buffer, int length) {
  // MSG_NOSIGNAL: a peer that went away must fail the call, not kill the browser.
  // Once bounded, only what fits now is sent, so a peer that stops reading
  // cannot hold us.
  return transfer(
      [&](int flags) {
        return ::send(_fd, buffer, static_cast<size_t>(length), flags | MSG_NOSIGNAL);
      },
      POLLOUT, "send", "went");
}

bool TcpSocket::create() {
  _fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (_fd == -1) {
    TA_LOG(1, "TcpSocket::create() Failed to create TCP socket");
    return true;
  }
  return false;
}

int TcpSocket::connect(const std::string& host, uint16_t port) {
  if (create()) return 1;
  std::string ip = IpAddress::resolve(host);
  in_addr_t address = inet_addr(ip.c_str());
  for (int pass = 0; pass < 3; ++pass) {
    if (address != INADDR_NONE) break;
    TA_LOG(1, "TcpSocket::connect() Couldn't resolve address for: %s", host.c_str());
    ip = IpAddress::resolve(host);
    address = inet_addr(ip.c_str());
  }
  sockaddr_in target;
  std::memset(&target, 0, sizeof target);
  target.sin_family = AF_INET;
  target.sin_port = htons(port);
  target.sin_addr.s_addr = address;
  _timedOut = false;
  int err = 0;
  if (_connectMs >= 0) {
    err = connectBounded(&target, sizeof target);
  } else if (::connect(_fd, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
    err = errno;
  }
  if (err != 0) {
    TA_LOG(1,
           "TcpSocket::connect() Connection failed for socket %p error: (%i) Address: %s IP: "
           "%s inet_addr: %i",
           asPointer(_fd), err, host.c_str(), ip.c_str(), static_cast<int>(address));
    return err;
  }
  return 0;
}

// A non-blocking connect waited for with poll; the socket is blocking again
// afterwards. 0 or the errno.
int TcpSocket::connectBounded(const void* target, unsigned length) {
  const int flags = ::fcntl(_fd, F_GETFL, 0);
  if (flags == -1 || ::fcntl(_fd, F_SETFL, flags | O_NONBLOCK) == -1) return errno;
  int err = 0;
  if (::connect(_fd, static_cast<const sockaddr*>(target), length) != 0) err = errno;
  if (err == EINPROGRESS) {
    const int ready = waitUntilReady(POLLOUT, _connectMs);
    if (ready == 0) {
      _timedOut = true;
      TA_LOG(1, "TcpSocket::connect() [%p] - not connected in %i ms", asPointer(_fd), _connectMs);
      err = ETIMEDOUT;
    } else if (ready < 0) {
      err = errno;
    } else {
      socklen_t size = sizeof err;
      if (::getsockopt(_fd, SOL_SOCKET, SO_ERROR, &err, &size) != 0) err = errno;
    }
  }
  if (::fcntl(_fd, F_SETFL, flags) == -1 && err == 0) err = errno;
  return err;
}

}  // namespace Web
}  // namespace Harlune
