// Test doubles for the desktop application side: a private HOME folder, and
// a small loopback HTTP peer whose answers the test scripts.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace Harlune {
namespace Web {
namespace Testing {

// Points HOME at a fresh temporary folder for the life of the object and
// forgets the plug-in's cached folders and application URL.
class TempHome {
public:
  TempHome();
  ~TempHome();
  const std::string& path() const { return _path; }
  void writeFile(const std::string& relative, const std::string& content) const;

private:
  std::string _path;
  std::optional<std::string> _oldHome;
};

// Serves one connection at a time on 127.0.0.1. The handler gets the raw
// request and returns the raw answer; an empty answer closes the connection
// without a word. A piece size sends the answer in pieces of that many bytes;
// holdOpen keeps the connection, once answered, until the client closes it.
class FakeHarlune {
public:
  using Handler = std::function<std::string(const std::string& request)>;

  explicit FakeHarlune(Handler handler = okHandler("{}", 200), size_t pieceSize = 0,
                       bool holdOpen = false);
  ~FakeHarlune();
  FakeHarlune(const FakeHarlune&) = delete;
  FakeHarlune& operator=(const FakeHarlune&) = delete;

  uint16_t port() const { return _port; }
  // Writes the URL file (URL line, then the key) into a TempHome.
  void publish(const TempHome& home, const std::string& key = "test-key") const;

  std::vector<std::string> requests() const;

  static Handler okHandler(const std::string& body, int status = 200);
  static std::string response(int status, const std::string& body);

private:
  void serve();
  std::string readRequest(int fd);
  bool holdUntilClosed(int fd);

  Handler _handler;
  size_t _pieceSize;
  bool _holdOpen;
  int _listener = -1;
  int _wake[2] = {-1, -1};
  uint16_t _port = 0;
  mutable std::mutex _mutex;
  std::vector<std::string> _requests;
  std::thread _thread;
};

}  // namespace Testing
}  // namespace Web
}  // namespace Harlune
