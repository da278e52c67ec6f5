// A thin owner of one blocking stream socket. Waits are unbounded unless
// bounds are set, in which case each wait ends with a time-out.
#pragma once

#include <cstdint>
#include <string>

namespace Harlune {
namespace Web {

class Socket {
public:
  Socket() = default;
  virtual ~Socket();
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  void close();
  // One recv/send call: the byte count, 0 when the peer closed (recv), or -1.
  int recv(char* buffer, int length);
  int send(const char* buffer, int length);

  // Longest wait for connecting, and for the next byte to go or come; a
  // negative bound waits without end (the default).
  void setWaitBounds(int connectMs, int idleMs) {
    _connectMs = connectMs;
    _idleMs = idleMs;
  }
  // Whether the last failure was a bound running out.
  bool timedOut() const { return _timedOut; }

  int descriptor() const { return _fd; }

protected:
  // 1 when the descriptor is ready, 0 after `ms` without, -1 on error.
  int waitUntilReady(short events, int ms);
  template <typename Io>
  int transfer(Io io, short events, const char* name, const char* idle);

  int _fd = -1;
  int _connectMs = -1;
  int _idleMs = -1;
  bool _timedOut = false;
};

class TcpSocket : public Socket {
public:
  // false on success, true on failure.
  bool create();
  // 0 on success, 1 when the socket could not be made, else the connect errno
  // (ETIMEDOUT when the connect bound ran out).
  int connect(const std::string& host, uint16_t port);

private:
  int connectBounded(const void* target, unsigned length);
};

}  // namespace Web
}  // namespace Harlune
