#include "link/Socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
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

int Socket::recv(char* buffer, int length) {
  if (_fd == -1) return -1;
  const ssize_t n = ::recv(_fd, buffer, static_cast<size_t>(length), 0);
  if (n < 0) {
    TA_LOG(1, "Socket::recv() [%p] - recv failed (%i)", asPointer(_fd), static_cast<int>(n));
    return -1;
  }
  return static_cast<int>(n);
}

int Socket::send(const char* buffer, int length) {
  if (_fd == -1) return -1;
  // MSG_NOSIGNAL: a peer that went away must fail the call, not kill the browser.
  const ssize_t n = ::send(_fd, buffer, static_cast<size_t>(length), MSG_NOSIGNAL);
  if (n < 0) {
    TA_LOG(1, "Socket::send() [%p] - send failed (%i)", asPointer(_fd), static_cast<int>(n));
    return -1;
  }
  return static_cast<int>(n);
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
  if (::connect(_fd, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
    const int err = errno;
    TA_LOG(1,
           "TcpSocket::connect() Connection failed for socket %p error: (%i) Address: %s IP: "
           "%s inet_addr: %i",
           asPointer(_fd), err, host.c_str(), ip.c_str(), static_cast<int>(address));
    return err;
  }
  return 0;
}

}  // namespace Web
}  // namespace Harlune
