#include "link/HttpRequest.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "common/Callback.h"
#include "common/Policy.h"

namespace Harlune {
namespace Web {
namespace {

// A scripted peer on a loopback port: accepts one connection, records the
// request it receives, answers with the given pieces (after a pause, when
// given), then either closes or holds the connection until the client has gone.
class ScriptedPeer {
public:
  ScriptedPeer(std::vector<std::string> pieces, bool closeAfter, int pauseMs = 0)
      : _pieces(std::move(pieces)), _closeAfter(closeAfter), _pauseMs(pauseMs) {
    _listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::bind(_listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    EXPECT_EQ(::listen(_listener, 1), 0);
    socklen_t len = sizeof addr;
    ::getsockname(_listener, reinterpret_cast<sockaddr*>(&addr), &len);
    _port = ntohs(addr.sin_port);
    _thread = std::thread([this] { serve(); });
  }
  ~ScriptedPeer() {
    _thread.join();
    ::close(_listener);
  }
  uint16_t port() const { return _port; }
  // Valid once the client's invoke() has returned.
  const std::string& request() const { return _request; }

private:
  void serve() {
    const int fd = ::accept(_listener, nullptr, nullptr);
    if (fd < 0) return;
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    readRequest(fd);
    if (_pauseMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(_pauseMs));
    for (const std::string& piece : _pieces) {
      if (::send(fd, piece.data(), piece.size(), MSG_NOSIGNAL) < 0) break;
    }
    if (!_closeAfter) {
      char sink[256];
      while (::recv(fd, sink, sizeof sink, 0) > 0) {
      }
    }
    ::close(fd);
  }
  void readRequest(int fd) {
    char buf[4096];
    size_t need = std::string::npos;
    while (need == std::string::npos || _request.size() < need) {
      const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
      if (n <= 0) return;
      _request.append(buf, static_cast<size_t>(n));
      const size_t end = _request.find("\r\n\r\n");
      if (need == std::string::npos && end != std::string::npos) {
        const size_t cl = _request.find("Content-Length: ");
        const size_t body = cl == std::string::npos ? 0 : std::atoi(_request.c_str() + cl + 16);
        need = end + 4 + body;
      }
    }
  }

  std::vector<std::string> _pieces;
  bool _closeAfter;
  int _pauseMs;
  int _listener = -1;
  uint16_t _port = 0;
  std::thread _thread;
  std::string _request;
};

std::unique_ptr<HttpResponse> exchange(ScriptedPeer& peer, HttpRequest& request) {
  request.setPort(peer.port());
  return request.invoke();
}

TEST(HttpRequestWire, GetWithEmptyBodySendsContentLengthZero) {
  ScriptedPeer peer({"HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n{}"}, true);
  HttpRequest request("127.0.0.1", 0);
  request.setPath("/v5/harlune/info/ping");
  auto response = exchange(peer, request);
  ASSERT_TRUE(response);
  EXPECT_EQ(response->statusCode(), 200);
  EXPECT_EQ(response->data(), "{}");
  EXPECT_EQ(peer.request(),
            "GET /v5/harlune/info/ping HTTP/1.1\r\n"
            "Connection: close\r\n"
            "Content-Length: 0\r\n"
            "User-Agent: Tarsen Harlune\r\n"
            "\r\n");
}

TEST(HttpRequestWire, HeadersGoInNameOrderWithDuplicatesInInsertionOrder) {
  ScriptedPeer peer({"HTTP/1.1 204 No Content\r\nContent-Length: 0\r\n\r\n"}, false);
  HttpRequest request("localhost", 0);
  request.setMethod(HttpRequest::kPostMethod);
  request.setPath("/transfers/");
  request.addHeader("Content-Type", "application/vnd.tarsen.xferreq+xml");
  request.addHeader("Authorization-key", "k1");
  request.addHeader("X-Dup", "first");
  request.addHeader("X-Dup", "second");
  request.appendData("<a/>");
  request.appendData("\xc3\xa9");
  auto response = exchange(peer, request);
  ASSERT_TRUE(response);
  EXPECT_EQ(response->statusCode(), 204);
  EXPECT_EQ(peer.request(),
            "POST /transfers/ HTTP/1.1\r\n"
            "Authorization-key: k1\r\n"
            "Connection: close\r\n"
            "Content-Length: 6\r\n"
            "Content-Type: application/vnd.tarsen.xferreq+xml\r\n"
            "User-Agent: Tarsen Harlune\r\n"
            "X-Dup: first\r\n"
            "X-Dup: second\r\n"
            "\r\n<a/>\xc3\xa9");
}

TEST(HttpRequestWire, BodyLongerThanContentLengthIsCut) {
  ScriptedPeer peer({"HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n{}surplus"}, false);
  HttpRequest request("127.0.0.1", 0);
  auto response = exchange(peer, request);
  ASSERT_TRUE(response);
  EXPECT_EQ(response->data(), "{}");
}

TEST(HttpRequestWire, ContentLengthZeroBeforeTheBlankLineGivesNoResponse) {
  // Reception ends as soon as the header line is complete; the header block
  // has not ended, so nothing parses. The peer keeps the connection open: a
  // client waiting for more would hang here.
  ScriptedPeer peer({"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n"}, false);
  HttpRequest request("127.0.0.1", 0);
  EXPECT_FALSE(exchange(peer, request));
}

TEST(HttpRequestWire, LowerCaseContentLengthIsReadUntilClose) {
  ScriptedPeer peer({"HTTP/1.1 200 OK\r\ncontent-length: 2\r\n\r\n{}", "more"}, true);
  HttpRequest request("127.0.0.1", 0);
  auto response = exchange(peer, request);
  ASSERT_TRUE(response);
  EXPECT_EQ(response->data(), "{}more");
}

TEST(HttpRequestWire, HeaderWithoutSpaceAfterColonGivesNoResponse) {
  ScriptedPeer peer({"HTTP/1.1 200 OK\r\nX-Odd:1\r\nContent-Length: 2\r\n\r\n{}"}, false);
  HttpRequest request("127.0.0.1", 0);
  EXPECT_FALSE(exchange(peer, request));
}

TEST(HttpRequestWire, AnswerSplitAcrossManyPiecesIsJoined) {
  const std::string body(3000, 'b');
  const std::string whole =
      "HTTP/1.1 200 OK\r\nX-Pad: " + std::string(1500, 'p') + "\r\nContent-Length: 3000\r\n\r\n" +
      body;
  for (size_t step : {1u, 7u, 1023u, 1024u, 1025u}) {
    std::vector<std::string> pieces;
    for (size_t i = 0; i < whole.size(); i += step) pieces.push_back(whole.substr(i, step));
    ScriptedPeer peer(pieces, false);
    HttpRequest request("127.0.0.1", 0);
    auto response = exchange(peer, request);
    ASSERT_TRUE(response) << step;
    EXPECT_EQ(response->data(), body) << step;
    EXPECT_EQ(response->header("Content-Length"), "3000");
  }
}

TEST(HttpRequestWire, LargeBodyArrivesWhole) {
  const std::string body(1 << 20, 'x');
  ScriptedPeer peer({"HTTP/1.1 200 OK\r\nContent-Length: 1048576\r\n\r\n", body}, false);
  HttpRequest request("127.0.0.1", 0);
  auto response = exchange(peer, request);
  ASSERT_TRUE(response);
  EXPECT_EQ(response->data().size(), body.size());
}

TEST(HttpRequestWire, AbsurdOrNegativeContentLengthNeitherCrashesNorOverReserves) {
  {
    ScriptedPeer peer({"HTTP/1.1 200 OK\r\nContent-Length: 99999999999\r\n\r\nab"}, true);
    HttpRequest request("127.0.0.1", 0);
    auto response = exchange(peer, request);
    ASSERT_TRUE(response);
    EXPECT_EQ(response->data(), "ab");
  }
  {
    ScriptedPeer peer({"HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\nab"}, false);
    HttpRequest request("127.0.0.1", 0);
    EXPECT_TRUE(exchange(peer, request));
  }
}

TEST(HttpRequestWire, PeerThatClosesWithoutAnswerGivesNoResponse) {
  ScriptedPeer peer({}, true);
  HttpRequest request("127.0.0.1", 0);
  EXPECT_FALSE(exchange(peer, request));
}

TEST(HttpRequestWire, RefusedConnectionGivesNoResponse) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  ::close(fd);  // nothing listens on that port now
  HttpRequest request("127.0.0.1", ntohs(addr.sin_port));
  EXPECT_FALSE(request.invoke());
}

// A peer that never answers costs the guarded policy one bound, whether it
// stays silent, stops in the middle of an answer or never accepts; the
// literal policy waits for an answer however late.
TEST(HttpRequestWire, WaitsAreBoundedInTheGuardedPolicyOnly) {
  HttpRequest::setWaitBoundsForTesting(200, 200);
  const std::string late = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n{}";
  const std::string cut = "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\n{}";
  struct Case {
    const char* what;
    PolicyKind policy;
    std::vector<std::string> pieces;
    int pauseMs;
    bool answered;
  } cases[] = {
      {"silent", PolicyKind::Guarded, {}, 0, false},
      {"cut off", PolicyKind::Guarded, {cut}, 0, false},
      {"late", PolicyKind::Guarded, {late}, 800, false},
      {"late, literal", PolicyKind::Literal, {late}, 800, true},
  };
  for (const Case& c : cases) {
    Policy::setForTesting(c.policy);
    ScriptedPeer peer(c.pieces, false, c.pauseMs);
    HttpRequest request("127.0.0.1", 0);
    const auto before = std::chrono::steady_clock::now();
    auto response = exchange(peer, request);
    EXPECT_EQ(static_cast<bool>(response), c.answered) << c.what;
    if (!c.answered) {
      EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(10)) << c.what;
    }
  }
  Policy::setForTesting(PolicyKind::Guarded);

  // A full backlog leaves the next connection unanswered.
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(::listen(listener, 0), 0);
  socklen_t len = sizeof addr;
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
  const int filler = ::socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_EQ(::connect(filler, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  HttpRequest request("127.0.0.1", ntohs(addr.sin_port));
  EXPECT_FALSE(request.invoke());
  ::close(filler);
  ::close(listener);
  HttpRequest::setWaitBoundsForTesting(5000, 30000);
}

class CountingCallback : public Callback {
public:
  explicit CountingCallback(int* deleted) : _deleted(deleted) {}
  ~CountingCallback() override { ++*_deleted; }
  void handleCallback(void*) override {}
  void returnMessage(std::string) override {}

private:
  int* _deleted;
};

TEST(HttpRequest, OwnsItsCallback) {
  int deleted = 0;
  {
    HttpRequest request("h", 1);
    EXPECT_EQ(request.getCallback(), nullptr);
    request.setCallback(new CountingCallback(&deleted));
    request.setCallback(new CountingCallback(&deleted));
    EXPECT_EQ(deleted, 1);
  }
  EXPECT_EQ(deleted, 2);
}

}  // namespace
}  // namespace Web
}  // namespace Harlune
