// The page's location as a browser hands it to script: parsed by libcurl's
// URL parser, the host in lower case and in its ASCII (punycode) form, user
// information left out of the host, a default port left out.
#pragma once

#include <string>

namespace Browser {

struct Location {
  std::string href;      // the whole URL, as normalised
  std::string protocol;  // "http:"
  std::string host;      // hostname, then ":" and the port when there is one
  std::string hostname;  // "" for a file URL
  std::string port;      // "" for the scheme's default port
  std::string pathname;  // at least "/"
  std::string search;    // "" or "?..."
  std::string hash;      // "" or "#..."
  std::string origin;    // "null" for a file URL
};

// False (and `out` untouched) for a text that is no absolute URL with a host,
// nor a file URL.
bool parseLocation(const std::string& url, Location& out);

}  // namespace Browser
