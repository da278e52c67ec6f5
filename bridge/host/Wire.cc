#include "Wire.h"

#include <errno.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cstdio>
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

bool plain(unsigned char c) { return c >= 0x20 && c < 0x80 && c != '"' && c != '\\'; }

// The bytes of the UTF-8 character that starts with `lead`.
std::size_t characterLength(unsigned char lead) {
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  return 1;
}

// The length of the well-formed UTF-8 character at `at`, or 0.
std::size_t validCharacter(const std::string& text, std::size_t at) {
  const auto byte = [&](std::size_t i) {
    return at + i < text.size() ? static_cast<unsigned char>(text[at + i]) : 0;
  };
  const auto tail = [&](std::size_t i) { return (byte(i) & 0xC0) == 0x80; };
  const unsigned char lead = byte(0);
  unsigned char low = 0x80, high = 0xBF;  // the second byte's range
  std::size_t length = characterLength(lead);
  if (lead < 0xC2 || lead > 0xF4) return 0;
  if (lead == 0xE0) low = 0xA0;
  if (lead == 0xED) high = 0x9F;  // no surrogates
  if (lead == 0xF0) low = 0x90;
  if (lead == 0xF4) high = 0x8F;
  if (byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i)
    if (!tail(i)) return 0;
  return length;
}

// The code unit of a \uXXXX escape at `at`, or -1.
long escapedUnit(const std::string& text, std::size_t at) {
  if (at + 6 > text.size() || text[at] != '\\' || text[at + 1] != 'u') return -1;
  long unit = 0;
  for (std::size_t i = at + 2; i < at + 6; ++i) {
    const char c = text[i];
    const int digit = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                             : -1;
    if (digit < 0) return -1;
    unit = unit * 16 + digit;
  }
  return unit;
}

void appendString(std::string& out, const std::string& text) {
  for (char c : text) {
    if (!plain(static_cast<unsigned char>(c))) {
      out += nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
      return;
    }
  }
  out += '"';
  out += text;
  out += '"';
}

void appendText(std::string& out, const nlohmann::json& value) {
  if (value.is_string()) {
    appendString(out, value.get_ref<const std::string&>());
  } else if (value.is_object()) {
    out += '{';
    bool first = true;
    for (const auto& item : value.items()) {
      if (!first) out += ',';
      first = false;
      appendString(out, item.key());
      out += ':';
      appendText(out, item.value());
    }
    out += '}';
  } else if (value.is_array()) {
    out += '[';
    for (std::size_t i = 0; i < value.size(); ++i) {
      if (i) out += ',';
      appendText(out, value[i]);
    }
    out += ']';
  } else {
    out += value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  }
}

}  // namespace

std::string messageText(const nlohmann::json& message) {
  std::string out;
  appendText(out, message);
  return out;
}

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

void framePieces(const std::string& json, std::size_t limit, const nlohmann::json& doc,
                 const std::function<bool(const std::string&)>& emit) {
  if (json.size() <= limit) {
    emit(json);
    return;
  }
  const std::string head =
      "{\"type\":\"piece\"," + (doc.is_null() ? std::string() : "\"doc\":" + messageText(doc) + ",");
  const std::string middle = "\"text\":\"";
  const std::string tail = "\"}";
  const std::size_t envelope = head.size() + std::strlen("\"last\":false,") + middle.size() + tail.size();
  // Room for at least one escaped character (\u00XX, or 4 bytes of UTF-8).
  const std::size_t room = limit > envelope + 6 ? limit - envelope : 6;
  std::string text, body;
  std::size_t at = 0;
  while (at < json.size()) {
    text.clear();
    while (at < json.size() && text.size() < room) {
      // A run of bytes that go out as they are, copied at once.
      std::size_t run = at;
      const std::size_t most = at + (room - text.size());
      while (run < json.size() && run < most && plain(static_cast<unsigned char>(json[run]))) ++run;
      if (run > at) {
        text.append(json, at, run - at);
        at = run;
        continue;
      }
      const auto c = static_cast<unsigned char>(json[at]);
      std::size_t length = c < 0x80 ? 1 : characterLength(c);
      if (at + length > json.size()) length = json.size() - at;
      char escaped[8];
      if (c == '"' || c == '\\') {
        escaped[0] = '\\';
        escaped[1] = static_cast<char>(c);
        escaped[2] = 0;
      } else if (c < 0x20) {
        std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      } else {
        escaped[0] = 0;
      }
      const std::size_t size = escaped[0] ? std::strlen(escaped) : length;
      if (text.size() + size > room) break;
      if (escaped[0]) text += escaped;
      else text.append(json, at, length);
      at += length;
    }
    body.clear();
    body.reserve(envelope + text.size());
    body += head;
    body += at == json.size() ? "\"last\":true," : "\"last\":false,";
    body += middle;
    body += text;
    body += tail;
    if (!emit(body)) return;
  }
}

std::string readableText(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[at]);
    if (c == '\\') {
      const long unit = escapedUnit(text, at);
      if (unit >= 0xD800 && unit <= 0xDBFF) {
        const long next = escapedUnit(text, at + 6);
        if (next >= 0xDC00 && next <= 0xDFFF) {
          out.append(text, at, 12);
          at += 12;
        } else {
          out += "\\ufffd";
          at += 6;
        }
      } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
        out += "\\ufffd";
        at += 6;
      } else {
        out.append(text, at, 2);  // an escaped backslash stays one escape
        at += 2;
      }
    } else if (c < 0x80) {
      out += static_cast<char>(c);
      ++at;
    } else if (std::size_t length = validCharacter(text, at)) {
      out.append(text, at, length);
      at += length;
    } else {
      out += "\xEF\xBF\xBD";
      ++at;
    }
  }
  return out;
}

// Length and body in one write where the pipe takes them at once, so the
// browser wakes once per message, not once for each.
bool writeMessage(int fd, const std::string& body) {
  const auto length = static_cast<std::uint32_t>(body.size());
  iovec parts[2] = {{const_cast<std::uint32_t*>(&length), sizeof length},
                    {const_cast<char*>(body.data()), body.size()}};
  ssize_t n;
  do n = ::writev(fd, parts, 2);
  while (n < 0 && errno == EINTR);
  if (n < 0) return false;
  if (static_cast<std::size_t>(n) < sizeof length)
    return writeFully(fd, reinterpret_cast<const char*>(&length) + n, sizeof length - n) &&
           writeFully(fd, body.data(), body.size());
  const std::size_t sent = static_cast<std::size_t>(n) - sizeof length;
  return writeFully(fd, body.data() + sent, body.size() - sent);
}

}  // namespace Bridge
