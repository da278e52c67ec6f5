// Socket and TcpSocket over a PeerScript: the same interface the HTTP client
// uses, with no descriptor behind it.
#include "ScriptedSocket.h"

#include <algorithm>
#include <cstring>

#include "link/Socket.h"

namespace Fuzz {

PeerScript& peer() {
  static PeerScript script;
  return script;
}

}  // namespace Fuzz

namespace Harlune {
namespace Web {

namespace {
constexpr int kScriptedFd = 1000;
}

Socket::~Socket() { close(); }

void Socket::close() {
  if (_fd == -1) return;
  --Fuzz::peer().openSockets;
  _fd = -1;
}

int Socket::recv(char* buffer, int length) {
  if (_fd == -1) return -1;
  Fuzz::PeerScript& p = Fuzz::peer();
  const size_t call = p.recvCalls++;
  if (p.replied >= p.reply.size()) return p.endWithError ? -1 : 0;
  size_t size = p.chunks.empty() ? static_cast<size_t>(length) : p.chunks[call % p.chunks.size()];
  size = std::min({size, static_cast<size_t>(length), p.reply.size() - p.replied});
  if (size == 0) size = 1;
  std::memcpy(buffer, p.reply.data() + p.replied, size);
  p.delivered.emplace_back(p.reply, p.replied, size);
  p.replied += size;
  return static_cast<int>(size);
}

int Socket::send(const char* buffer, int length) {
  if (_fd == -1) return -1;
  Fuzz::PeerScript& p = Fuzz::peer();
  size_t size = static_cast<size_t>(length);
  if (p.sendLimit != 0) size = std::min(size, p.sendLimit);
  p.received.append(buffer, size);
  return static_cast<int>(size);
}

bool TcpSocket::create() {
  _fd = kScriptedFd;
  ++Fuzz::peer().openSockets;
  return false;
}

int TcpSocket::connect(const std::string&, uint16_t) {
  if (create()) return 1;
  return Fuzz::peer().refuseConnect ? 111 : 0;
}

}  // namespace Web
}  // namespace Harlune
