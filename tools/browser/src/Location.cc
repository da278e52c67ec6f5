#include "Location.h"

#include <curl/curl.h>
#include <locale.h>

#include <memory>

namespace Browser {

namespace {

struct UrlDeleter {
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
};

// One part of the URL, or "" when it has none.
std::string part(CURLU* url, CURLUPart which, unsigned flags = 0) {
  char* text = nullptr;
  if (curl_url_get(url, which, &text, flags) != CURLUE_OK || !text) return "";
  std::string value = text;
  curl_free(text);
  return value;
}

std::string lowerAscii(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

// libcurl reads a non-ASCII host name in the thread's character set; the
// page's URL is UTF-8 whatever the environment's locale says.
class Utf8Text {
public:
  Utf8Text() : utf8_(newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0))) {
    if (utf8_) previous_ = uselocale(utf8_);
  }
  ~Utf8Text() {
    if (!utf8_) return;
    uselocale(previous_);
    freelocale(utf8_);
  }
  Utf8Text(const Utf8Text&) = delete;
  Utf8Text& operator=(const Utf8Text&) = delete;

private:
  locale_t utf8_;
  locale_t previous_ = static_cast<locale_t>(0);
};

}  // namespace

bool parseLocation(const std::string& text, Location& out) {
  std::unique_ptr<CURLU, UrlDeleter> url(curl_url());
  if (!url) return false;
  const unsigned setFlags = CURLU_NON_SUPPORT_SCHEME | CURLU_ALLOW_SPACE | CURLU_URLENCODE;
  if (curl_url_set(url.get(), CURLUPART_URL, text.c_str(), setFlags) != CURLUE_OK) return false;

  Location location;
  const std::string scheme = lowerAscii(part(url.get(), CURLUPART_SCHEME));
  location.protocol = scheme + ":";
  if (scheme != "file") {
    Utf8Text utf8;
    char* host = nullptr;
    // An international name that cannot be put in ASCII is no host at all.
    if (curl_url_get(url.get(), CURLUPART_HOST, &host, CURLU_PUNYCODE) != CURLUE_OK || !host)
      return false;
    location.hostname = lowerAscii(host);
    curl_free(host);
    if (location.hostname.empty()) return false;
  }
  location.port = part(url.get(), CURLUPART_PORT, CURLU_NO_DEFAULT_PORT);
  location.host = location.hostname + (location.port.empty() ? "" : ":" + location.port);
  location.pathname = part(url.get(), CURLUPART_PATH);
  if (location.pathname.empty()) location.pathname = "/";
  const std::string query = part(url.get(), CURLUPART_QUERY);
  const std::string fragment = part(url.get(), CURLUPART_FRAGMENT);
  location.search = query.empty() ? "" : "?" + query;
  location.hash = fragment.empty() ? "" : "#" + fragment;

  std::string userInfo = part(url.get(), CURLUPART_USER);
  const std::string password = part(url.get(), CURLUPART_PASSWORD);
  if (!password.empty()) userInfo += ":" + password;
  if (!userInfo.empty()) userInfo += "@";
  location.href = location.protocol + "//" + userInfo + location.host + location.pathname +
                  location.search + location.hash;
  const bool tuple = scheme == "http" || scheme == "https" || scheme == "ftp" ||
                     scheme == "ws" || scheme == "wss";
  location.origin = tuple ? location.protocol + "//" + location.host : "null";
  out = location;
  return true;
}

}  // namespace Browser
