#include "SideChannel.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

namespace Bridge {

namespace {

constexpr int kIdleMs = 5000;             // longest wait for the peer's next byte
constexpr std::size_t kMaxHead = 8192;    // a fetch's head is far shorter
constexpr std::size_t kTokenBytes = 16;
constexpr std::size_t kPieceText = 1 << 20;  // base64 characters decoded and sent at a time
const char kRefusal[] = "HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";

// 0..63 for the base64 alphabet, 256 for anything else (one OR tells a group is bad).
const std::array<std::uint16_t, 256> kSextets = [] {
  std::array<std::uint16_t, 256> table{};
  table.fill(256);
  const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (std::uint16_t i = 0; i < 64; ++i) table[static_cast<unsigned char>(alphabet[i])] = i;
  return table;
}();

// The same, shifted into place for each of a group's four characters, so that a group
// is four lookups ORed; bit 31 marks a character outside the alphabet.
using Placed = std::array<std::array<std::uint32_t, 256>, 4>;
const Placed kPlaced = [] {
  Placed placed{};
  for (int k = 0; k < 4; ++k)
    for (int c = 0; c < 256; ++c)
      placed[k][c] = kSextets[c] & 256 ? 0x80000000u : std::uint32_t{kSextets[c]} << (18 - 6 * k);
  return placed;
}();

std::string randomToken() {
  unsigned char random[kTokenBytes];
  if (getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) return {};
  static const char hex[] = "0123456789abcdef";
  std::string token;
  for (unsigned char byte : random) {
    token += hex[byte >> 4];
    token += hex[byte & 15];
  }
  return token;
}

std::string lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

}  // namespace

bool decodeCanonicalBase64(const char* text, std::size_t length, std::string& bytes,
                           bool last) {
  if (length % 4) return false;
  std::size_t padding = 0;
  while (last && padding < 2 && padding < length && text[length - 1 - padding] == '=')
    ++padding;
  bytes.resize(length / 4 * 3);
  char* out = &bytes[0];
  const auto* in = reinterpret_cast<const unsigned char*>(text);
  const std::size_t whole = length - (padding ? 4 : 0);
  for (std::size_t i = 0; i < whole; i += 4, out += 3) {
    const std::uint32_t v = kPlaced[0][in[i]] | kPlaced[1][in[i + 1]] | kPlaced[2][in[i + 2]] |
                            kPlaced[3][in[i + 3]];
    if (v & 0x80000000u) return false;
    out[0] = static_cast<char>(v >> 16);
    out[1] = static_cast<char>(v >> 8);
    out[2] = static_cast<char>(v);
  }
  if (padding) {
    // The last group: two or three characters whose unused low bits are zero.
    const std::uint32_t a = kSextets[in[whole]], b = kSextets[in[whole + 1]],
                        c = padding == 1 ? kSextets[in[whole + 2]] : 0;
    if ((a | b | c) & 256) return false;
    const std::uint32_t v = a << 18 | b << 12 | c << 6;
    if (v & (padding == 1 ? 0xFF : 0xFFFF)) return false;
    *out++ = static_cast<char>(v >> 16);
    if (padding == 1) *out++ = static_cast<char>(v >> 8);
  }
  bytes.resize(static_cast<std::size_t>(out - &bytes[0]));
  return true;
}

SideChannel::SideChannel(std::function<double()> now, double lifetime)
    : now_(std::move(now)), lifetime_(lifetime) {}

SideChannel::~SideChannel() {
  if (thread_.joinable()) {
    const char stop = 0;
    while (::write(wake_[1], &stop, 1) < 0 && errno == EINTR) {
    }
    thread_.join();
  }
  for (int fd : {listener_, wake_[0], wake_[1]})
    if (fd >= 0) ::close(fd);
}

int listenOnLoopback(int backlog, int& port) {
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
      ::listen(listener, backlog) != 0 ||
      ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    if (listener >= 0) ::close(listener);
    return -1;
  }
  port = ntohs(address.sin_port);
  return listener;
}

bool SideChannel::start() {
  listener_ = listenOnLoopback(8, port_);
  if (listener_ < 0 || ::pipe2(wake_, O_CLOEXEC) != 0) return false;
  thread_ = std::thread([this] { run_(); });
  return true;
}

std::string SideChannel::offer(const std::string& doc, const std::string& origin, Text& text,
                               std::size_t size, std::size_t start) {
  if (start > size || (size - start) % 4) return {};
  std::string token = randomToken();
  if (token.empty()) return token;
  std::lock_guard<std::mutex> lock(mutex_);
  offers_[token] = Offer{doc, origin, std::move(text), size, start, now_() + lifetime_};
  return token;
}

bool SideChannel::take(const std::string& token, const std::string& doc, std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = offers_.find(token);
  if (found == offers_.end() || found->second.doc != doc) return false;
  text.assign(found->second.text.get(), found->second.size);
  offers_.erase(found);
  return true;
}

void SideChannel::revoke(const std::string& doc) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (serving_ == doc) serving_.clear();
  for (auto it = offers_.begin(); it != offers_.end();)
    it = it->second.doc == doc ? offers_.erase(it) : std::next(it);
}

void SideChannel::run_() {
  for (;;) {
    pollfd ready[2] = {{listener_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    if (::poll(ready, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (ready[1].revents) return;
    const int peer = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (peer < 0) continue;
    answer_(peer);
    ::close(peer);
  }
}

// One request per connection, answered in turn; every wait is bounded and ends when the
// host stops.
void SideChannel::answer_(int peer) {
  const auto ready = [this, peer](short events) {
    pollfd entries[2] = {{peer, events, 0}, {wake_[0], POLLIN, 0}};
    return ::poll(entries, 2, kIdleMs) > 0 && !entries[1].revents &&
           (entries[0].revents & events);
  };
  const auto sendAll = [&](const char* data, std::size_t size) {
    while (size > 0) {
      if (!ready(POLLOUT)) return false;
      const ssize_t n = ::send(peer, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      if (n <= 0) return false;
      data += n;
      size -= static_cast<std::size_t>(n);
    }
    return true;
  };

  std::string head;
  char buffer[2048];
  while (head.find("\r\n\r\n") == std::string::npos) {
    if (head.size() > kMaxHead || !ready(POLLIN)) return;
    const ssize_t n = ::recv(peer, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (n <= 0) return;
    head.append(buffer, static_cast<std::size_t>(n));
  }
  // "POST /TOKEN HTTP/1.1", then exactly one Origin header.
  const std::size_t lineEnd = head.find("\r\n");
  const std::string line = head.substr(0, lineEnd);
  std::string token, origin;
  int origins = 0;
  if (line.compare(0, 6, "POST /") == 0 && line.size() > 15 &&
      line.compare(line.size() - 9, 9, " HTTP/1.1") == 0)
    token = line.substr(6, line.size() - 15);
  const std::size_t headEnd = head.find("\r\n\r\n") + 2;  // each line ends before it
  for (std::size_t at = lineEnd + 2; at < headEnd;) {
    const std::size_t end = head.find("\r\n", at);
    const std::string header = head.substr(at, end - at);
    at = end + 2;
    if (lower(header.substr(0, 7)) != "origin:") continue;
    ++origins;
    const std::size_t value = header.find_first_not_of(' ', 7);
    origin = value == std::string::npos ? std::string() : header.substr(value);
  }

  Offer served;
  bool serving = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = offers_.find(token);
    if (origins == 1 && found != offers_.end() && found->second.origin == origin &&
        now_() < found->second.until) {
      served = std::move(found->second);
      offers_.erase(found);
      serving_ = served.doc;
      serving = true;
    }
  }
  if (!serving) {
    sendAll(kRefusal, sizeof kRefusal - 1);
    return;
  }
  // Decoded a piece at a time as the peer takes them: no second copy of a long answer.
  const char* text = served.text.get() + served.start;
  const std::size_t length = served.size - served.start;
  std::size_t padding = 0;
  while (padding < 2 && padding < length && text[length - 1 - padding] == '=') ++padding;
  const std::string answer = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                             "Content-Length: " + std::to_string(length / 4 * 3 - padding) +
                             "\r\nAccess-Control-Allow-Origin: " + origin +
                             "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n";
  bool sent = sendAll(answer.data(), answer.size());
  std::string bytes;
  for (std::size_t at = 0; sent && at < length; at += kPieceText) {
    const std::size_t piece = std::min(kPieceText, length - at);
    // Not the base64 it claimed to be: the response ends short, and the fetch fails.
    sent = decodeCanonicalBase64(text + at, piece, bytes, at + piece == length) &&
           sendAll(bytes.data(), bytes.size());
  }
  std::lock_guard<std::mutex> lock(mutex_);
  // Cut off on the way: no second fetch, but the pieces road can still have it, unless its
  // document closed meanwhile.
  if (!sent && serving_ == served.doc) {
    served.until = 0;
    offers_[token] = std::move(served);
  }
  serving_.clear();
}

}  // namespace Bridge
