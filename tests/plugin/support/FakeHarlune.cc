#include "FakeHarlune.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "link/FileSystem.h"
#include "link/HarluneApp.h"

namespace Harlune {
namespace Web {
namespace Testing {

TempHome::TempHome() {
  char pattern[] = "/tmp/tarsen-home-XXXXXX";
  if (!::mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
  _path = pattern;
  if (const char* old = std::getenv("HOME")) _oldHome = old;
  ::setenv("HOME", _path.c_str(), 1);
  FileSystem::resetForTesting();
  HarluneApp::resetForTesting();
}

TempHome::~TempHome() {
  _oldHome ? ::setenv("HOME", _oldHome->c_str(), 1) : ::unsetenv("HOME");
  FileSystem::resetForTesting();
  HarluneApp::resetForTesting();
  std::system(("rm -rf '" + _path + "'").c_str());
}

void TempHome::writeFile(const std::string& relative, const std::string& content) const {
  const std::string full = _path + "/" + relative;
  std::filesystem::create_directories(full.substr(0, full.rfind('/')));
  std::ofstream(full, std::ios::binary | std::ios::trunc) << content;
}

FakeHarlune::FakeHarlune(Handler handler, size_t pieceSize, bool holdOpen)
    : _handler(std::move(handler)), _pieceSize(pieceSize), _holdOpen(holdOpen) {
  _listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(_listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(_listener, 16) != 0 || ::pipe(_wake) != 0) {
    throw std::runtime_error("FakeHarlune: cannot listen");
  }
  socklen_t len = sizeof addr;
  ::getsockname(_listener, reinterpret_cast<sockaddr*>(&addr), &len);
  _port = ntohs(addr.sin_port);
  _thread = std::thread([this] { serve(); });
}

FakeHarlune::~FakeHarlune() {
  const char stop = 's';
  (void)!::write(_wake[1], &stop, 1);
  _thread.join();
  ::close(_listener);
  ::close(_wake[0]);
  ::close(_wake[1]);
}

void FakeHarlune::publish(const TempHome& home, const std::string& key) const {
  home.writeFile("Library/Application Support/Tarsen/Tarsen Harlune/var/run/http.uri",
                 "http://127.0.0.1:" + std::to_string(_port) + "/\n" + key);
}

std::vector<std::string> FakeHarlune::requests() const {
  std::lock_guard<std::mutex> lock(_mutex);
  return _requests;
}

FakeHarlune::Handler FakeHarlune::okHandler(const std::string& body, int status) {
  return [body, status](const std::string&) { return response(status, body); };
}

std::string FakeHarlune::response(int status, const std::string& body) {
  return "HTTP/1.1 " + std::to_string(status) + " Status\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string FakeHarlune::readRequest(int fd) {
  std::string request;
  char buf[4096];
  size_t need = std::string::npos;
  while (need == std::string::npos || request.size() < need) {
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    request.append(buf, static_cast<size_t>(n));
    const size_t end = request.find("\r\n\r\n");
    if (need == std::string::npos && end != std::string::npos) {
      const size_t cl = request.find("Content-Length: ");
      need = end + 4 + (cl == std::string::npos ? 0 : std::atoi(request.c_str() + cl + 16));
    }
  }
  return request;
}

void FakeHarlune::serve() {
  for (;;) {
    pollfd fds[2] = {{_listener, POLLIN, 0}, {_wake[0], POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) continue;
    if (fds[1].revents) return;
    const int fd = ::accept(_listener, nullptr, nullptr);
    if (fd < 0) continue;
    int one = 1;  // each piece in a segment of its own
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    const std::string request = readRequest(fd);
    {
      std::lock_guard<std::mutex> lock(_mutex);
      _requests.push_back(request);
    }
    const std::string answer = _handler(request);
    const size_t piece = _pieceSize ? _pieceSize : answer.size();
    for (size_t sent = 0; sent < answer.size();) {
      const size_t size = std::min(piece, answer.size() - sent);
      const ssize_t n = ::send(fd, answer.data() + sent, size, MSG_NOSIGNAL);
      if (n <= 0) break;
      sent += static_cast<size_t>(n);
    }
    const bool stay = !_holdOpen || holdUntilClosed(fd);
    ::close(fd);
    if (!stay) return;
  }
}

// False when the destructor asks the server to stop first.
bool FakeHarlune::holdUntilClosed(int fd) {
  char sink[256];
  for (;;) {
    pollfd fds[2] = {{fd, POLLIN, 0}, {_wake[0], POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) continue;
    if (fds[1].revents) return false;
    if (::recv(fd, sink, sizeof sink, 0) <= 0) return true;
  }
}

}  // namespace Testing
}  // namespace Web
}  // namespace Harlune
