// The page's side of NPAPI in the native-messaging host: what the plug-in
// sees of the page.
//
// - A plain object with fixed properties (the window and its location, built
//   from the origin the browser reported, and arrays a page passed).
// - A page object: a function or object that lives in the page. Calling it
//   sends a message to the extension; when the plug-in lets go of the last
//   reference, the page is told to forget it.
// - Conversions between the messages' JSON and NPAPI variants.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>
#include <npapi/npruntime.h>

namespace Bridge {

using json = nlohmann::json;

// Where page objects send their calls and releases.
class PageLink {
 public:
  virtual ~PageLink() = default;
  // method empty: the object itself was called.
  virtual void callPage(const json& doc, std::int64_t fn, const std::string& method,
                        json args) = 0;
  virtual void releasePage(const json& doc, std::int64_t fn) = 0;
};

// A retained plain object with the given properties (values are copied; the
// object's own references are released when it goes).
NPObject* createPlainObject(NPP npp, const std::map<std::string, NPVariant>& properties);

// A retained object standing for page value `fn` of document `doc`.
// `methods`: the names the page object answers to as methods.
NPObject* createPageObject(NPP npp, PageLink& link, const json& doc, std::int64_t fn,
                           std::vector<std::string> methods);
// The page value number behind a page object, or -1 for any other object.
std::int64_t pageObjectNumber(NPObject* object);
// After this the page objects of `doc` no longer reach the page (it is gone).
void forgetDocument(const json& doc);

// The window object of a page at `url`: window.location with href, protocol,
// host, hostname, port and origin. Retained for the caller.
NPObject* createWindowObject(NPP npp, const std::string& url);

// A JSON value from the page as a variant that owns what it holds. Page
// objects are {"$fn": N, "methods": [...]}, undefined is {"$void": true},
// arrays become plain objects with "length". False for anything else.
bool jsonToVariant(NPP npp, PageLink& link, const json& doc, const json& value,
                   NPVariant& out);
// A variant as JSON for the page (void as {"$void": true}).
json variantToJson(const NPVariant& value);

// The parts of a URL as a page's location shows them.
struct UrlParts {
  std::string protocol;  // "http:"
  std::string hostname;  // as the browser wrote it (IPv6 literals keep their brackets)
  std::string port;      // empty when not written
  std::string host;      // hostname[:port]
};
UrlParts splitUrl(const std::string& url);

}  // namespace Bridge
