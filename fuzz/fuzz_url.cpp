// Url::parse on any text, as the desktop application's URL file could hold it.
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "link/Url.h"

using Harlune::Web::Url;

namespace {

bool within(const std::string& part, const std::string& text) {
  return part.empty() || text.find(part) != std::string::npos;
}

bool sameFields(const Url& a, const Url& b) {
  return a.host() == b.host() && a.password() == b.password() && a.path() == b.path() &&
         a.rawPort() == b.rawPort() && a.query() == b.query() && a.scheme() == b.scheme() &&
         a.url() == b.url() && a.user() == b.user();
}

// The port digits as a number when they are a plain decimal that an int
// holds, else -1.
long plainPort(const std::string& digits) {
  if (digits.empty() || digits.size() > 9) return -1;
  long n = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return -1;
    n = n * 10 + (c - '0');
  }
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const Url url(text);

  const size_t sep = text.find("://");
  if (sep == std::string::npos) {
    FUZZ_CHECK(sameFields(url, Url()), "a text without :// left a field set");
  } else {
    FUZZ_CHECK(url.url() == text, "the whole-text field is not the text given");
    FUZZ_CHECK(url.scheme() == text.substr(0, sep), "the scheme is not the text before ://");
    const std::string rest = text.substr(sep + 3);
    FUZZ_CHECK(within(url.host(), rest) && within(url.user(), rest) &&
                   within(url.password(), rest) && within(url.path(), rest) &&
                   within(url.query(), rest),
               "a part is not taken from the text after ://");
  }

  // port() always answers a 16-bit value: the URL's own, else the default.
  FUZZ_CHECK(url.port(8080) == (url.rawPort() ? url.rawPort() : 8080), "port() ignores its default");
  FUZZ_CHECK(url.port(0) == url.rawPort(), "port(0) is not the URL's port");

  // scheme://host:PORT[/path] with no "@" anywhere: a plain decimal port is
  // read exactly (a larger number keeps its low 16 bits, as the field is
  // 16 bits wide), and the host is what stands before it.
  if (sep != std::string::npos) {
    const std::string rest = text.substr(sep + 3);
    const size_t colon = rest.find(':');
    if (colon != std::string::npos && colon > 0 && rest.find('@') == std::string::npos &&
        rest.find_first_of("/?") > colon) {
      const size_t slash = rest.find('/', colon);
      const size_t end = slash == std::string::npos ? rest.size() : slash;
      const long port = plainPort(rest.substr(colon + 1, end - colon - 1));
      if (port >= 0) {
        FUZZ_CHECK(url.host() == rest.substr(0, colon), "the host before the port was lost");
        FUZZ_CHECK(url.rawPort() == (port & 0xffff), "a plain port was misread");
      }
    }
  }

  // Parsing is a pure function of the text; clear() forgets everything.
  Url again;
  again.parse(text);
  FUZZ_CHECK(sameFields(url, again), "parsing the same text twice differs");
  again.clear();
  FUZZ_CHECK(sameFields(again, Url()), "clear() left a field set");
  return 0;
}
