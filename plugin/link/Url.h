// A URL split into its parts by the delimiter walk the desktop application's
// URL file relies on (trailing lines after the port are tolerated).
#pragma once

#include <cstdint>
#include <string>

namespace Harlune {
namespace Web {

class Url {
public:
  explicit Url(const std::string& text = std::string()) { parse(text); }

  void parse(const std::string& text);
  void clear();

  // The port if the URL names one, else `defaultPort`.
  uint16_t port(uint16_t defaultPort) const { return _port ? _port : defaultPort; }

  const std::string& host() const { return _host; }
  const std::string& password() const { return _password; }
  const std::string& path() const { return _path; }
  uint16_t rawPort() const { return _port; }
  const std::string& query() const { return _query; }
  const std::string& scheme() const { return _scheme; }
  // Empty means "no URL at all"; callers test this, not the host.
  const std::string& url() const { return _url; }
  const std::string& user() const { return _user; }

private:
  std::string _host;
  std::string _password;
  std::string _path;
  uint16_t _port = 0;
  std::string _query;
  std::string _scheme;
  std::string _url;
  std::string _user;
};

}  // namespace Web
}  // namespace Harlune
