#include "text/PathEscaper.h"

namespace Harlune {
namespace Web {

std::string PathEscaper::toColonSeparatedStr(const std::vector<std::string>& paths) {
  size_t size = paths.size();
  for (const auto& p : paths) size += p.size() + p.size() / 8;
  std::string out;
  out.reserve(size);
  bool first = true;
  for (const auto& p : paths) {
    if (!first) out += ':';
    first = false;
    for (char c : p) {
      if (c == '\\' || c == ':') out += '\\';
      out += c;
    }
  }
  return out;
}

void PathEscaper::appendJsonStr(std::string& out, const std::string& path) {
  static const char kHex[] = "0123456789abcdef";
  for (char ch : path) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20) {
      // A raw control byte would make the whole text unparsable.
      out += "\\u00";
      out += kHex[c >> 4];
      out += kHex[c & 0xf];
    } else {
      out += ch;
    }
  }
}

std::string PathEscaper::toJsonStr(const std::vector<std::string>& paths) {
  size_t size = 2;
  for (const auto& p : paths) size += p.size() + 3;
  std::string out;
  out.reserve(size);
  out += '[';
  bool first = true;
  for (const auto& p : paths) {
    if (!first) out += ',';
    first = false;
    out += '"';
    appendJsonStr(out, p);
    out += '"';
  }
  out += ']';
  return out;
}

std::string PathEscaper::toJsonStr(const std::string& path, bool quoted) {
  std::string out;
  out.reserve(path.size() + 2);
  if (quoted) out += '"';
  appendJsonStr(out, path);
  if (quoted) out += '"';
  return out;
}

std::string PathEscaper::strReplace(const std::string& text, const std::string& from,
                                    const std::string& to) {
  if (from.empty() || text.empty()) return text;
  std::string out;
  out.reserve(text.size());
  size_t pos = 0;
  for (;;) {
    const size_t hit = text.find(from, pos);
    if (hit == std::string::npos) break;
    out.append(text, pos, hit - pos);
    out += to;
    pos = hit + from.size();
  }
  out.append(text, pos, std::string::npos);
  return out;
}

std::string PathEscaper::appendPath(const std::string& base, const std::string& relative) {
  std::string b = strReplace(base, "\\", "/");
  std::string r = strReplace(relative, "\\", "/");
  if (b.empty()) return r;
  if (r.empty()) return b;
  if (b.back() != '/') b += '/';
  if (r.front() == '/') r.erase(0, 1);
  return b + r;
}

std::string PathEscaper::toFileUrl(const std::string& path) {
  return "file://" + strReplace(path, "\\", "/");
}

std::string PathEscaper::toEncodedFileUrl(const std::string& path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out = "file://";
  out.reserve(out.size() + path.size() * 3);
  for (char ch : path) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '.' || c == '_' || c == '~' || c == '/') {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0xf];
    }
  }
  return out;
}

}  // namespace Web
}  // namespace Harlune
