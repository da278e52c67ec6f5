// Round trips of HttpRequest::invoke against the same exchange made by a
// minimal reference client (connect, send, recv with a 64 KiB buffer, close),
// both on fresh connections to one loopback server in this process. Prints
// the time per exchange of each and their ratio, for a 2-byte and a 1 MiB body.
// Both stop reading once Content-Length bytes of body have arrived.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "link/HttpRequest.h"

namespace {

using Clock = std::chrono::steady_clock;

// Answers every connection with one fixed response, then closes it.
class Server {
public:
  explicit Server(size_t bodySize) {
    const std::string body(bodySize, 'b');
    _answer = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(bodySize) + "\r\n\r\n" + body;
    _listener = ::socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    ::setsockopt(_listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(_listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(_listener, 128) != 0 || ::pipe(_wake) != 0) {
      std::perror("server");
      std::exit(1);
    }
    socklen_t len = sizeof addr;
    ::getsockname(_listener, reinterpret_cast<sockaddr*>(&addr), &len);
    _port = ntohs(addr.sin_port);
    _thread = std::thread([this] { serve(); });
  }
  ~Server() {
    (void)!::write(_wake[1], "x", 1);
    _thread.join();
    ::close(_listener);
    ::close(_wake[0]);
    ::close(_wake[1]);
  }
  uint16_t port() const { return _port; }

private:
  void serve() {
    char buf[4096];
    for (;;) {
      pollfd fds[2] = {{_listener, POLLIN, 0}, {_wake[0], POLLIN, 0}};
      ::poll(fds, 2, -1);
      if (fds[1].revents) return;
      const int fd = ::accept(_listener, nullptr, nullptr);
      if (fd < 0) continue;
      // Requests here have empty or tiny bodies: the header block is enough.
      std::string request;
      while (request.find("\r\n\r\n") == std::string::npos) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        request.append(buf, static_cast<size_t>(n));
      }
      for (size_t sent = 0; sent < _answer.size();) {
        const ssize_t n = ::send(fd, _answer.data() + sent, _answer.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<size_t>(n);
      }
      ::close(fd);
    }
  }

  std::string _answer;
  int _listener = -1;
  int _wake[2] = {-1, -1};
  uint16_t _port = 0;
  std::thread _thread;
};

size_t pluginExchange(uint16_t port) {
  Harlune::Web::HttpRequest request("127.0.0.1", port);
  request.setPath("/v5/harlune/info/ping");
  std::unique_ptr<Harlune::Web::HttpResponse> response = request.invoke();
  return response ? response->data().size() : 0;
}

// The same request bytes, read until the peer closes with a 64 KiB buffer.
size_t referenceExchange(uint16_t port) {
  static const std::string request =
      "GET /v5/harlune/info/ping HTTP/1.1\r\nConnection: close\r\nContent-Length: 0\r\n"
      "User-Agent: Tarsen Harlune\r\n\r\n";
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    return 0;
  }
  (void)!::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  static std::vector<char> buffer(64 * 1024);
  std::string answer;
  size_t body = std::string::npos, expected = 0;
  for (;;) {
    const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
    if (n <= 0) break;
    answer.append(buffer.data(), static_cast<size_t>(n));
    if (body == std::string::npos && (body = answer.find("\r\n\r\n")) != std::string::npos) {
      body += 4;
      expected = std::strtoul(answer.c_str() + answer.find("Content-Length: ") + 16, nullptr, 10);
      answer.reserve(body + expected);
    }
    if (body != std::string::npos && answer.size() - body >= expected) break;
  }
  ::close(fd);
  return body == std::string::npos ? 0 : answer.size() - body;
}

template <typename Exchange>
double secondsPerExchange(Exchange exchange, uint16_t port, int count, size_t expected) {
  const auto start = Clock::now();
  for (int i = 0; i < count; ++i) {
    if (exchange(port) != expected) {
      std::fprintf(stderr, "an exchange failed\n");
      std::exit(1);
    }
  }
  return std::chrono::duration<double>(Clock::now() - start).count() / count;
}

// Rounds alternate between the two clients so that both see the same machine
// load; the median of each is reported.
void compare(const char* label, size_t bodySize, int perRound, int rounds) {
  Server server(bodySize);
  secondsPerExchange(pluginExchange, server.port(), perRound, bodySize);  // warm-up
  std::vector<double> plugin, reference;
  for (int r = 0; r < rounds; ++r) {
    plugin.push_back(secondsPerExchange(pluginExchange, server.port(), perRound, bodySize));
    reference.push_back(secondsPerExchange(referenceExchange, server.port(), perRound, bodySize));
  }
  std::sort(plugin.begin(), plugin.end());
  std::sort(reference.begin(), reference.end());
  const double p = plugin[plugin.size() / 2], q = reference[reference.size() / 2];
  std::printf("%-12s invoke %9.1f us   reference %9.1f us   ratio invoke/reference: %.2f\n",
              label, p * 1e6, q * 1e6, p / q);
}

}  // namespace

int main(int argc, char** argv) {
  const int scale = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1;
  compare("2-byte body", 2, 200 * scale, 9);
  compare("1 MiB body", 1 << 20, 10 * scale, 9);
  return 0;
}
