#include "link/HttpRequest.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <utility>

#include <taplatform/taplatform.h>

#include "common/Callback.h"
#include "common/Constants.h"
#include "common/Policy.h"
#include "link/Socket.h"

namespace Harlune {
namespace Web {

const char HttpRequest::kGetMethod[] = "GET";
const char HttpRequest::kPostMethod[] = "POST";
const char HttpRequest::kContentLength[] = "Content-Length:";

namespace {

constexpr int kReceiveBufferSize = 1024;
constexpr int kConnectBoundMs = 5000;
constexpr int kIdleBoundMs = 30000;

struct WaitBounds {
  std::atomic<int> connectMs{kConnectBoundMs};
  std::atomic<int> idleMs{kIdleBoundMs};
  WaitBounds() {
    const char* text = std::getenv("TARSEN_TEST_ONLY_LINK_WAIT_MS");
    const int ms = text ? std::atoi(text) : 0;
    if (ms <= 0) return;
    TA_LOG(3, "Waits on the desktop application bounded at %i ms (test setting)", ms);
    connectMs = ms;
    idleMs = ms;
  }
};

WaitBounds& waitBounds() {
  static WaitBounds bounds;
  return bounds;
}
// A peer announcing an absurd length must not make us reserve gigabytes up
// front; past this the string simply grows as bytes really arrive.
constexpr size_t kMaxReserve = 64u << 20;

// Reads the Content-Length value the way stream extraction does: skip white
// space, then a signed decimal number. Unreadable counts as 0.
int readContentLength(const std::string& response, size_t headerPos, size_t lineEnd) {
  const size_t from = headerPos + sizeof(HttpRequest::kContentLength) - 1;
  std::istringstream in(response.substr(from, lineEnd - from));
  int length = 0;
  in >> length;
  return length;
}

// Finds `needle` at or after `scanFrom`; when it is absent, moves `scanFrom`
// to where a match could still begin once more bytes arrive, so a long answer
// is not searched again from its start for every block.
size_t findFrom(const std::string& text, const char* needle, size_t& scanFrom) {
  const size_t found = text.find(needle, scanFrom);
  if (found == std::string::npos) {
    const size_t length = std::strlen(needle);
    scanFrom = std::max(scanFrom, text.size() >= length ? text.size() - length + 1 : 0);
  }
  return found;
}

}  // namespace

HttpRequest::HttpRequest(const std::string& host, uint16_t port) : _host(host), _port(port) {}

HttpRequest::~HttpRequest() { delete _callback; }

void HttpRequest::setCallback(Callback* callback) {
  if (callback == _callback) return;
  delete _callback;
  _callback = callback;
}

void HttpRequest::addHeader(const std::string& name, const std::string& value) {
  _headers.emplace(name, value);
}

bool HttpRequest::replaceHeader(const std::string& name, const std::string& value) {
  auto range = _headers.equal_range(name);
  if (range.first == range.second) return false;
  for (auto it = range.first; it != range.second; ++it) it->second = value;
  return true;
}

void HttpRequest::setWaitBoundsForTesting(int connectMs, int idleMs) {
  waitBounds().connectMs = connectMs;
  waitBounds().idleMs = idleMs;
}

std::string HttpRequest::requestText() const {
  std::string text;
  text.reserve(_method.size() + _path.size() + 64 * (_headers.size() + 1) + _data.size());
  text += _method;
  text += ' ';
  text += _path;
  text += " HTTP/1.1\r\n";
  for (const auto& header : _headers) {
    text += header.first;
    text += ": ";
    text += header.second;
    text += "\r\n";
  }
  text += "\r\n";
  text += _data;
  return text;
}

std::unique_ptr<HttpResponse> HttpRequest::invoke() {
  TcpSocket socket;
  if (Policy::guarded()) socket.setWaitBounds(waitBounds().connectMs, waitBounds().idleMs);
  if (socket.connect(_host, _port) != 0) return nullptr;

  char length[16];
  addHeader("User-Agent", kProductName);
  addHeader("Connection", "close");
  addHeader("Content-Length", ta_str_itoa(static_cast<int>(_data.size()), length));

  const std::string request = requestText();
  for (size_t sent = 0; sent < request.size();) {
    const int n = socket.send(request.data() + sent, static_cast<int>(request.size() - sent));
    if (n == -1) {
      socket.close();
      return nullptr;
    }
    sent += static_cast<size_t>(n);
  }

  ta_timeval_t start;
  const int clockErr = ta_time_gettimeofday(&start, nullptr);
  if (clockErr != 0) {
    TA_LOG(1, " HttpRequest::invoke() - ta_time_gettimeofday error: %i", clockErr);
  }

  std::string response;
  int contentLength = 0;
  size_t headerPos = std::string::npos;
  size_t lineEnd = std::string::npos;
  size_t bodyStart = std::string::npos;
  size_t headerScan = 0;
  size_t lineScan = 0;
  size_t bodyScan = 0;
  char buffer[kReceiveBufferSize + 1];
  for (;;) {
    const int n = socket.recv(buffer, kReceiveBufferSize);
    if (n < 0) {
      TA_LOG(1, "HttpRequest::invoke() - socket.recv() returned %i", n);
      // A cut-off answer must not pass for a whole one.
      if (socket.timedOut()) return nullptr;
      break;
    }
    if (n == 0) {
      TA_LOG(5, "HttpRequest::invoke() - The peer has performed an orderly shutdown");
      break;
    }
    buffer[n] = '\0';
    response.append(buffer);  // as text: a NUL ends what is kept of the chunk

    if (headerPos == std::string::npos) {
      headerPos = findFrom(response, kContentLength, headerScan);
      if (headerPos == std::string::npos) continue;
      lineScan = headerPos;
    }
    if (lineEnd == std::string::npos) {
      lineEnd = findFrom(response, "\r\n", lineScan);
      if (lineEnd == std::string::npos) continue;
    }
    if (contentLength == 0) {
      contentLength = readContentLength(response, headerPos, lineEnd);
      if (contentLength == 0) break;
      // Cut to a negative length, the answer would end inside its own headers.
      if (contentLength < 0) return nullptr;
    }
    if (bodyStart == std::string::npos) {
      const size_t headerEnd = findFrom(response, "\r\n\r\n", bodyScan);
      if (headerEnd == std::string::npos) continue;
      const size_t final = headerEnd + static_cast<size_t>(contentLength) + 5;
      response.reserve(final < kMaxReserve ? final : kMaxReserve);
      bodyStart = headerEnd + 4;
    }
    if (response.size() - bodyStart >= static_cast<size_t>(contentLength)) {
      response.resize(bodyStart + static_cast<size_t>(contentLength));
      break;
    }
  }

  if (clockErr == 0) {
    uint64_t usec = 0;
    const int err = ta_time_get_usec_since(&start, &usec);
    if (err != 0) {
      TA_LOG(1, "HttpRequest::invoke() - ta_time_gettimeofday error: %i", err);
    } else {
      TA_LOG(5, "HttpRequest::invoke() - %s response took %llu us", _path.c_str(),
             static_cast<unsigned long long>(usec));
      TA_LOG(5, "HttpRequest::invoke() - Response (%lu bytes):\n%s",
             static_cast<unsigned long>(response.size()), response.c_str());
    }
  }

  std::unique_ptr<HttpResponse> parsed = HttpResponse::parse(std::move(response));
  socket.close();
  return parsed;
}

}  // namespace Web
}  // namespace Harlune
