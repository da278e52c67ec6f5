// The peer of the HTTP client's socket, played from a script instead of the
// network, so the receive loop sees exactly the chunking an input asks for.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace Fuzz {

struct PeerScript {
  bool refuseConnect = false;
  // Bytes the peer answers with, handed out in the chunk sizes below (cycled;
  // a size larger than the caller's buffer is cut to it).
  std::string reply;
  std::vector<size_t> chunks;
  // How the answer ends once sent: an orderly close, or a receive error.
  bool endWithError = false;
  // At most this many bytes accepted per send call (partial sends).
  size_t sendLimit = 0;

  // Filled in while the client runs.
  std::string received;
  std::vector<std::string> delivered;  // each chunk recv handed out
  size_t replied = 0;
  size_t recvCalls = 0;
  int openSockets = 0;
};

PeerScript& peer();

}  // namespace Fuzz
