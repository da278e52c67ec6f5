// A thin owner of one blocking stream socket: no time-outs, no options.
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

  int descriptor() const { return _fd; }

protected:
  int _fd = -1;
};

class TcpSocket : public Socket {
public:
  // false on success, true on failure.
  bool create();
  // 0 on success, 1 when the socket could not be made, else the connect errno.
  int connect(const std::string& host, uint16_t port);
};

}  // namespace Web
}  // namespace Harlune
