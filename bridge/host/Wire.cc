#include "Wire.h"

#include <errno.h>
#include <unistd.h>

#include <cstring>

namespace Bridge {

namespace {

// false at end of stream before `size` bytes.
bool readFully(int fd, char* buffer, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::read(fd, buffer, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    buffer += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool writeFully(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// Escaping at most doubles a text (a quote or backslash becomes two bytes;
// control characters are escaped already inside JSON), so half the limit,
// less room for the envelope, always fits.
constexpr std::size_t kEnvelope = 256;

std::size_t utf8Boundary(const std::string& text, std::size_t at) {
  while (at > 0 && at < text.size() &&
         (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80)
    --at;
  return at;
}

}  // namespace

ReadResult readMessage(int fd, std::string& out, std::size_t limit, std::uint32_t* announced) {
  out.clear();
  std::uint32_t length = 0;
  if (!readFully(fd, reinterpret_cast<char*>(&length), sizeof length)) return ReadResult::End;
  if (announced) *announced = length;
  if (length > limit) {
    char sink[65536];
    std::size_t left = length;
    while (left > 0) {
      std::size_t take = left < sizeof sink ? left : sizeof sink;
      if (!readFully(fd, sink, take)) return ReadResult::End;
      left -= take;
    }
    return ReadResult::Oversized;
  }
  out.resize(length);
  if (length > 0 && !readFully(fd, &out[0], length)) {
    out.clear();
    return ReadResult::End;
  }
  return ReadResult::Message;
}

std::vector<std::string> framePieces(const std::string& json, std::size_t limit,
                                     const nlohmann::json& doc) {
  if (json.size() <= limit) return {json};
  const std::size_t chunk = (limit - kEnvelope) / 2;
  std::vector<std::string> pieces;
  std::size_t at = 0;
  while (at < json.size()) {
    std::size_t end = at + chunk >= json.size() ? json.size() : utf8Boundary(json, at + chunk);
    if (end <= at) end = at + chunk;  // no boundary within reach: not UTF-8 anyway
    nlohmann::json piece = {{"type", "piece"},
                            {"last", end == json.size()},
                            {"text", json.substr(at, end - at)}};
    if (!doc.is_null()) piece["doc"] = doc;
    pieces.push_back(piece.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
    at = end;
  }
  return pieces;
}

bool writeMessage(int fd, const std::string& body) {
  const auto length = static_cast<std::uint32_t>(body.size());
  return writeFully(fd, reinterpret_cast<const char*>(&length), sizeof length) &&
         writeFully(fd, body.data(), body.size());
}

}  // namespace Bridge
