#include "link/Url.h"

#include <cstdlib>

#include <taplatform/talog.h>

namespace Harlune {
namespace Web {

namespace {
uint16_t readPort(const std::string& text) {
  // atoi stops at the first non-digit; only the low 16 bits are kept.
  return static_cast<uint16_t>(std::atoi(text.c_str()));
}
}  // namespace

void Url::clear() {
  _host.clear();
  _password.clear();
  _path.clear();
  _port = 0;
  _query.clear();
  _scheme.clear();
  _url.clear();
  _user.clear();
}

void Url::parse(const std::string& text) {
  clear();
  const size_t sep = text.find("://");
  if (sep == std::string::npos) {
    TA_LOG(1, "Invalid URL: %s", text.c_str());
    return;
  }
  _url = text;
  _scheme = text.substr(0, sep);
  const std::string rest = text.substr(sep + 3);

  std::string delims = "@:/";
  size_t start = 0;
  for (;;) {
    const size_t pos = rest.find_first_of(delims, start);
    if (pos == std::string::npos) break;
    if (pos == 0) return;
    const std::string piece = rest.substr(start, pos - start);
    switch (rest[pos]) {
      case '@':
        (_user.empty() ? _user : _password) = piece;
        delims = ":/";
        break;
      case ':': {
        const size_t at = rest.find('@');
        if (at != std::string::npos && at > pos) {
          _user = piece;
        } else {
          _host = piece;
          delims = "/";
        }
        break;
      }
      case '/':
        if (delims == ":/") {
          _host = piece;
        } else if (delims == "/") {
          _port = readPort(piece);
        } else {
          _host = rest.substr(0, pos);
        }
        delims = "?";
        break;
      case '?':
        _path = piece;
        _query = rest.substr(pos + 1);
        return;
    }
    start = pos + 1;
  }
  if (_host.empty()) _host = rest.substr(start);
  if (delims == "/") {
    _port = readPort(rest.substr(start));
  } else if (delims == "?") {
    _path = rest.substr(start);
  }
}

}  // namespace Web
}  // namespace Harlune
