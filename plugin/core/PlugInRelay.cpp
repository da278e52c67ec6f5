// Relay of page requests to the desktop application, with the body check.
#include <algorithm>
#include <cctype>
#include <memory>
#include <set>
#include <vector>

#include <taplatform/talog.h>

#include "common/Callback.h"
#include "common/Constants.h"
#include "common/Policy.h"
#include "common/Utils.h"
#include "core/PlugIn.h"
#include "link/HarluneApp.h"
#include "link/HttpRequest.h"
#include "text/Json.h"
#include "text/PathEscaper.h"
#include "work/RequestWorker.h"

namespace Harlune {
namespace Web {

namespace {
std::string bodyOrEmptyObject(const std::string& body) { return body.empty() ? "{}" : body; }

// Guarded refusals are logged; the page gets the same text as its answer.
std::string refused(const std::string& message) {
  TA_LOG(1, "%s", message.c_str());
  return Json::createError(message);
}

// Guarded: a method is a plain token; a byte that would end the request line
// or split it would let a page write header lines of its own.
std::string methodRefusal(const std::string& method) {
  const bool token = !method.empty() && std::all_of(method.begin(), method.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_';
  });
  return token ? "" : refused(std::string(kErrorInvalidArgument) + ": method");
}

std::string lowered(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  for (size_t start = 0;;) {
    const size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end - start));
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}

// Endpoints the plug-in calls with the application's key for its own ends:
// the transfer request ("/transfers/"), the windows ("/windows/...") and the
// activity ("/vN/harlune/transfers/activity"), in any letter case, with or
// without the version and "harlune" steps, a trailing "/" or a suffix.
bool isOwnEndpoint(const std::vector<std::string>& steps) {
  // Routers that take "activity.json" for "activity" see no other endpoint.
  std::vector<std::string> rest;
  for (const std::string& step : steps) rest.push_back(step.substr(0, step.find('.')));
  if (!rest.empty() && rest.back().empty()) rest.pop_back();
  if (rest.empty()) return false;
  if (rest[0] == "transfers") return true;
  const std::string& first = rest[0];
  if (first.size() > 1 && first[0] == 'v' &&
      std::all_of(first.begin() + 1, first.end(), [](char c) { return std::isdigit(c); })) {
    rest.erase(rest.begin());
  }
  if (!rest.empty() && rest[0] == "harlune") rest.erase(rest.begin());
  if (rest.empty()) return false;
  if (rest[0] == "windows") return true;
  return rest[0] == "transfers" && (rest.size() == 1 || rest[1] == "activity");
}

// Guarded: the relayed path in canonical form, from an allowlist of bytes (no
// "%", "\", "#", ";", space or control byte, so every reader decodes it the
// same), with no empty, "." or ".." step (one trailing "/" aside), and not an
// endpoint of the plug-in's own. The query, after "?", takes the same bytes
// plus "?", "^" and "%" escapes, read later as a form. Sets the query.
std::string pathRefusal(const std::string& path, std::string& query) {
  static const std::string kMarks = "-._~!$&'()*+,=:@/";
  const auto allowed = [](const std::string& text, const std::string& extra) {
    return std::all_of(text.begin(), text.end(), [&](char c) {
      return std::isalnum(static_cast<unsigned char>(c)) || kMarks.find(c) != std::string::npos ||
             extra.find(c) != std::string::npos;
    });
  };
  const size_t mark = path.find('?');
  const std::string target = path.substr(0, mark);
  query = mark == std::string::npos ? "" : path.substr(mark + 1);
  bool canonical = !target.empty() && target[0] == '/' && allowed(target, "") &&
                   allowed(query, "?^%");
  const std::vector<std::string> steps = canonical ? split(lowered(target.substr(1)), '/')
                                                   : std::vector<std::string>();
  for (size_t i = 0; i < steps.size(); ++i) {
    if ((steps[i].empty() && i + 1 < steps.size()) || steps[i] == "." || steps[i] == "..") {
      canonical = false;
    }
  }
  if (!canonical || isOwnEndpoint(steps)) {
    return refused(std::string(kErrorInvalidArgument) + ": path");
  }
  return "";
}

// The code points of well-formed UTF-8 text.
std::vector<unsigned> codePoints(const std::string& text) {
  std::vector<unsigned> points;
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const size_t length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    unsigned value = length == 1 ? c : length == 2 ? c & 0x1F : length == 3 ? c & 0x0F : c & 0x07;
    for (size_t k = 1; k < length && i + k < text.size(); ++k) {
      value = (value << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    }
    points.push_back(value);
    i += length;
  }
  return points;
}

// White space, control and invisible formatting characters.
bool isBlank(unsigned c) {
  return c <= 0x20 || (c >= 0x7F && c <= 0xA0) || c == 0xAD || c == 0x1680 || c == 0x180E ||
         (c >= 0x2000 && c <= 0x200F) || (c >= 0x2028 && c <= 0x202F) ||
         (c >= 0x205F && c <= 0x2064) || c == 0x3000 || c == 0xFEFF;
}

// A member name as a lenient reader might match it: without blanks, "_" or
// "-" (or "[]" of query names), in lower case, with the characters that case
// folding or compatibility forms turn into ASCII letters turned.
std::string skeleton(const std::string& name) {
  std::string out;
  for (unsigned c : codePoints(name)) {
    if (c >= 0xFF01 && c <= 0xFF5E) c -= 0xFEE0;  // full-width forms
    if (c == 0x17F) c = 's';
    if (c == 0x212A) c = 'k';
    if (c == 0x130 || c == 0x131) c = 'i';
    if (isBlank(c) || c == '_' || c == '-' || c == '[' || c == ']') continue;
    if (c < 0x80) {
      out += static_cast<char>(std::tolower(static_cast<int>(c)));
    } else {
      out += "\x7f";  // no ASCII letter: matches no checked name
    }
  }
  return out;
}

// The member names the check reads, and where each may stand. "app_id" may
// stand anywhere: every one is checked.
enum class Place { Root, Spec, Settings, TransferSpec, PathEntry, Other };

struct CheckedName {
  const char* name;
  Place place;
  Place inner;
};

const CheckedName kCheckedNames[] = {
    {"transfer_specs", Place::Root, Place::Spec},
    {"tarsen_harlune_settings", Place::Root, Place::Settings},
    {"transfer_spec", Place::Spec, Place::TransferSpec},
    {"tarsen_harlune_settings", Place::Spec, Place::Settings},
    {"app_id", Place::Other, Place::Other},
    {"use_absolute_destination_path", Place::Settings, Place::Other},
    {"direction", Place::TransferSpec, Place::Other},
    {"source_root", Place::TransferSpec, Place::Other},
    {"destination_root", Place::TransferSpec, Place::Other},
    {"paths", Place::TransferSpec, Place::PathEntry},
    {"source", Place::PathEntry, Place::Other},
    {"destination", Place::PathEntry, Place::Other},
};

// The wrong type for a checked member, at its place.
bool wrongType(const std::string& name, yajl_val value) {
  if (name == "transfer_specs" || name == "paths") {
    if (!YAJL_IS_ARRAY(value)) return true;
    for (size_t i = 0; i < value->u.array.len; ++i) {
      if (!YAJL_IS_OBJECT(value->u.array.values[i])) return true;
    }
    return false;
  }
  if (name == "tarsen_harlune_settings" || name == "transfer_spec") return !YAJL_IS_OBJECT(value);
  if (name == "use_absolute_destination_path") return !YAJL_IS_TRUE(value) && !YAJL_IS_FALSE(value);
  if (name == "direction") {
    return !YAJL_IS_STRING(value) || (std::string(value->u.string) != "send" &&
                                      std::string(value->u.string) != "receive");
  }
  return !YAJL_IS_STRING(value);
}

// Walks the tree (the elements of an array stand at the array's place):
// every text well-formed UTF-8, no member repeated, no name
// that a lenient reader could take for a checked one, each checked member at
// its place with its type. Collects every "app_id" value.
std::string treeRefusal(yajl_val node, Place place, std::vector<std::string>& appIds) {
  if (YAJL_IS_STRING(node) && !Json::isUtf8(node->u.string)) {
    return std::string(kErrorJsonParse) + ": text that is not UTF-8";
  }
  if (YAJL_IS_ARRAY(node)) {
    for (size_t i = 0; i < node->u.array.len; ++i) {
      const std::string inner = treeRefusal(node->u.array.values[i], place, appIds);
      if (!inner.empty()) return inner;
    }
    return "";
  }
  if (!YAJL_IS_OBJECT(node)) return "";
  std::set<std::string> seen;
  for (size_t i = 0; i < node->u.object.len; ++i) {
    const std::string name = node->u.object.keys[i];
    const yajl_val value = node->u.object.values[i];
    if (!Json::isUtf8(name)) return std::string(kErrorJsonParse) + ": text that is not UTF-8";
    if (!seen.insert(name).second) {
      return std::string(kErrorJsonParse) + ": repeated member \"" + name + "\"";
    }
    const std::string folded = skeleton(name);
    bool checkedName = false;
    for (const CheckedName& checked : kCheckedNames) {
      if (folded != skeleton(checked.name)) continue;
      if (name != checked.name) return std::string(kErrorInvalidArgument) + ": " + checked.name;
      checkedName = true;
    }
    Place inner = Place::Other;
    if (checkedName) {
      const std::string argument = std::string(kErrorInvalidArgument) + ": " + name;
      if (name == "app_id") {
        if (!YAJL_IS_STRING(value)) return argument;
        appIds.push_back(value->u.string);
      } else {
        // A checked name elsewhere than at its places is one the check
        // does not read: refused rather than left to the application.
        const CheckedName* here = nullptr;
        for (const CheckedName& checked : kCheckedNames) {
          if (name == checked.name && checked.place == place) here = &checked;
        }
        if (!here || wrongType(name, value)) return argument;
        inner = here->inner;
      }
    }
    const std::string deeper = treeRefusal(value, inner, appIds);
    if (!deeper.empty()) return deeper;
  }
  return "";
}

// A relative path with no "." or ".." step, no "\" (another reader's
// separator), no home-folder form and no scheme (a file URL is absolute).
bool isPlainRelative(const std::string& path) {
  if (path.empty() || path[0] == '/' || path[0] == '~' || path.find('\\') != std::string::npos) {
    return false;
  }
  const std::vector<std::string> steps = split(path, '/');
  if (steps[0].find(':') != std::string::npos) return false;
  return std::none_of(steps.begin(), steps.end(),
                      [](const std::string& step) { return step == "." || step == ".."; });
}

// A query member's name or value as a form reader decodes it ("+" a space,
// "%XX" a byte); false when an escape is broken or the text is not plain
// UTF-8 without NUL.
bool formDecoded(const std::string& text, std::string& out) {
  out.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out += ' ';
    } else if (text[i] != '%') {
      out += text[i];
    } else {
      if (i + 2 >= text.size() || !std::isxdigit(static_cast<unsigned char>(text[i + 1])) ||
          !std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
        return false;
      }
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    }
  }
  return out.find('\0') == std::string::npos && Json::isUtf8(out);
}

// Collects the query's "app_id" values; a query member that a lenient reader
// could take for another checked name (merged into the body) is refused.
std::string queryRefusal(const std::string& query, std::vector<std::string>& appIds) {
  if (query.empty()) return "";
  for (const std::string& pair : split(query, '&')) {
    const size_t equals = pair.find('=');
    std::string name, value;
    if (!formDecoded(pair.substr(0, equals), name) ||
        !formDecoded(equals == std::string::npos ? "" : pair.substr(equals + 1), value)) {
      return std::string(kErrorInvalidArgument) + ": path";
    }
    const std::string folded = skeleton(name);
    for (const CheckedName& checked : kCheckedNames) {
      if (folded != skeleton(checked.name)) continue;
      if (folded != "appid") return std::string(kErrorInvalidArgument) + ": " + checked.name;
      appIds.push_back(value);
      break;
    }
  }
  return "";
}

// source_root and a source joined by one "/", with every byte kept: the
// path checked is the path the application is sent.
std::string joinedExactly(const std::string& root, std::string source) {
  if (root.empty()) return source;
  if (source.empty()) return root;
  if (source.front() == '/') source.erase(0, 1);
  return root.back() == '/' ? root + source : root + "/" + source;
}
}  // namespace

std::string PlugIn::relayedBody(const std::string& method, const std::string& path,
                                const std::string& body, std::string* sent) const {
  const std::string data = bodyOrEmptyObject(body);
  std::string error;
  if (!Policy::guarded()) {
    if (!isJsonValid(data, error)) return error;
    *sent = data;
    return "";
  }
  std::string query;
  error = methodRefusal(method);
  if (error.empty()) error = pathRefusal(path, query);
  if (error.empty()) bodyCheckedGuarded(data, query, sent, error);
  return error;
}

std::string PlugIn::harluneHttpRequest(const std::string& method, const std::string& path,
                                       const std::string& body,
                                       std::unique_ptr<HttpResponse>* response) {
  response->reset();
  std::string data;
  const std::string error = relayedBody(method, path, body, &data);
  if (!error.empty()) return error;
  if (!HarluneApp::launch()) {
    TA_LOG(1, "%s", kErrorHarluneRequest);
    return Json::createError(kErrorHarluneRequest);
  }
  std::unique_ptr<HttpRequest> request =
      Utils::createHttpRequest(method, path, data, ContentTypeJson);
  if (!request) return Json::createError(kErrorCreatingHttpRequest);
  *response = request->invoke();
  if (!*response) {
    TA_LOG(1, "%s", kErrorHarluneRequest);
    return Json::createError(kErrorHarluneRequest);
  }
  return "";
}

std::string PlugIn::harluneHttpRequestAsync(const std::string& method, const std::string& path,
                                            const std::string& body, Callback* callback) {
  std::unique_ptr<Callback> owned(callback);
  std::string data;
  const std::string error = relayedBody(method, path, body, &data);
  if (!error.empty()) return error;
  std::unique_ptr<HttpRequest> request =
      Utils::createHttpRequest(method, path, data, ContentTypeJson);
  if (!request) return Json::createError(kErrorCreatingHttpRequest);
  request->setCallback(owned.release());
  _requestWorker->addRequest(request.release());
  return "";
}

void PlugIn::httpRequestImplementation(const std::string& method, const std::string& path,
                                       const std::string& body, Callback* callback) {
  std::unique_ptr<Callback> owned(callback);
  std::string data = bodyOrEmptyObject(body);
  if (Policy::guarded()) {
    const std::string refusal = relayedBody(method, path, body, &data);
    if (!refusal.empty()) {
      if (owned) owned->returnMessage(refusal);
      return;
    }
  }
  const Url url = HarluneApp::url();
  if (url.url().empty()) {
    if (owned) owned->returnMessage(Json::createError("Failed to get Harlune URL"));
    return;
  }
  auto request = std::make_unique<HttpRequest>(url.host(), url.port(0));
  request->addHeader("Content-Type", "application/json");
  request->setMethod(method);
  request->setPath(path);
  request->appendData(data);
  request->setCallback(owned.release());
  _requestWorker->addRequest(request.release());
}

std::string PlugIn::queryHarluneVersion() {
  std::unique_ptr<HttpResponse> response;
  const std::string error =
      harluneHttpRequest(HttpRequest::kGetMethod, "/v4/harlune/version",
                         "{\"tarsen_harlune_settings\":{\"app_id\":\"version request\"}}", &response);
  if (!error.empty()) return error;
  if (!response->data().empty()) return response->data();
  return Json::createError(kErrorHarluneVersion);
}

bool PlugIn::isJsonValid(const std::string& body, std::string& error) const {
  if (Policy::guarded()) {
    std::string sent;
    return bodyCheckedGuarded(body, "", &sent, error);
  }
  Json json;
  if (!json.parse(body)) {
    error = Json::createError(std::string(kErrorJsonParse) + ": " + json.err());
    return false;
  }
  const char* appIdPath[] = {"tarsen_harlune_settings", "app_id", nullptr};
  const std::string appId = json.getString(appIdPath);
  if (!appId.empty()) {
    error = isAppIdValid(appId);
    if (!error.empty()) return false;
  }
  const char* specsPath[] = {"transfer_specs", nullptr};
  yajl_val specs = json.get(specsPath);
  if (!YAJL_IS_ARRAY(specs) || specs->u.array.len == 0) return true;
  yajl_val spec = specs->u.array.values[0];

  const char* directionPath[] = {"transfer_spec", "direction", nullptr};
  const char* absolutePath[] = {"tarsen_harlune_settings", "use_absolute_destination_path",
                                nullptr};
  const std::string direction = json.getString(directionPath, spec);
  if (json.isTrue(absolutePath, spec) && direction == "receive") {
    const char* rootPath[] = {"transfer_spec", "destination_root", nullptr};
    const std::string root = json.getString(rootPath, spec);
    if (!allowDestRoot(root)) {
      error = Json::createError(std::string(kErrorUnauthorizedDownloadPath) + ": " +
                                PathEscaper::toJsonStr(root, false));
      return false;
    }
    return true;
  }
  if (direction != "send") return true;

  const char* sourceRootPath[] = {"transfer_spec", "source_root", nullptr};
  const char* pathsPath[] = {"transfer_spec", "paths", nullptr};
  const std::string sourceRoot = json.getString(sourceRootPath, spec);
  yajl_val paths = json.get(pathsPath, spec);
  if (!YAJL_IS_ARRAY(paths)) {
    error = Json::createError(std::string(kErrorInvalidArgument) + ": paths");
    return false;
  }
  for (size_t i = 0; i < paths->u.array.len; ++i) {
    yajl_val entry = paths->u.array.values[i];
    if (!YAJL_IS_OBJECT(entry)) continue;
    for (size_t m = 0; m < entry->u.object.len; ++m) {
      if (std::string(entry->u.object.keys[m]) != "source") continue;
      yajl_val source = entry->u.object.values[m];
      if (!source) continue;
      // A source that is not text names nothing a page could be allowed to
      // upload: the body is refused rather than the entry skipped.
      const std::string text = YAJL_IS_STRING(source) ? source->u.string : "";
      const std::string full = PathEscaper::appendPath(sourceRoot, text);
      if (!YAJL_IS_STRING(source) || !isFileAllowed(full, _pageHostname)) {
        error = Json::createError(std::string(kErrorUnauthorizedUploadPath) + ": " +
                                  PathEscaper::toJsonStr(full, false));
        return false;
      }
    }
  }
  return true;
}

// Guarded: the body parsed, checked as a tree, and written anew into *sent,
// so that the application reads exactly what was checked.
bool PlugIn::bodyCheckedGuarded(const std::string& body, const std::string& query,
                                std::string* sent, std::string& error) const {
  Json json;
  if (!json.parse(body)) {
    error = refused(std::string(kErrorJsonParse) + ": " + json.err());
    return false;
  }
  std::string fault = Json::strictnessFault(body);
  if (!fault.empty()) fault = std::string(kErrorJsonParse) + ": " + fault;
  if (fault.empty() && !YAJL_IS_OBJECT(json.root())) {
    fault = std::string(kErrorJsonParse) + ": not an object";
  }
  std::vector<std::string> appIds;
  if (fault.empty()) fault = treeRefusal(json.root(), Place::Root, appIds);
  if (fault.empty()) fault = queryRefusal(query, appIds);
  if (fault.empty()) fault = appIdsRefusal(json, appIds, error);
  if (fault.empty() && error.empty()) fault = transferSpecsRefusal(json);
  if (!fault.empty()) error = refused(fault);
  if (!error.empty()) return false;
  *sent = Json::write(json.root());
  if (sent->empty()) {
    error = refused(std::string(kErrorJsonParse) + ": text that is not UTF-8");
    return false;
  }
  return true;
}

// Every identifier in the body or the query is the one checked: the root
// settings' "app_id" when there is one, else the first found. It passes the
// host-name rule, with no white space at its ends and no control byte.
std::string PlugIn::appIdsRefusal(const Json& json, const std::vector<std::string>& appIds,
                                  std::string& error) const {
  if (appIds.empty()) return "";
  const char* appIdPath[] = {"tarsen_harlune_settings", "app_id", nullptr};
  const yajl_val atRoot = json.get(appIdPath);
  const std::string checked = YAJL_IS_STRING(atRoot) ? atRoot->u.string : appIds.front();
  const bool utf8 = Json::isUtf8(checked);
  const std::vector<unsigned> points = utf8 ? codePoints(checked) : std::vector<unsigned>();
  const bool plain =
      utf8 && (points.empty() ||
               (!isBlank(points.front()) && !isBlank(points.back()) &&
                std::none_of(points.begin(), points.end(),
                             [](unsigned c) { return c < 0x20 || c == 0x7F; })));
  if (!plain || std::any_of(appIds.begin(), appIds.end(),
                            [&](const std::string& appId) { return appId != checked; })) {
    return std::string(kErrorInvalidArgument) + ": app_id";
  }
  error = isAppIdValid(checked);
  return "";
}

// Each transfer specification, with every name and type already checked.
// A receive writes only inside the chosen folder, or to a plain relative
// place when no absolute flag is set anywhere; a send reads only approved
// paths, however the application joins root and source.
std::string PlugIn::transferSpecsRefusal(const Json& json) const {
  const char* specsPath[] = {"transfer_specs", nullptr};
  const char* flagPath[] = {"tarsen_harlune_settings", "use_absolute_destination_path", nullptr};
  const char* specPath[] = {"transfer_spec", nullptr};
  const char* directionPath[] = {"direction", nullptr};
  const char* pathsPath[] = {"paths", nullptr};
  const char* sourceRootPath[] = {"source_root", nullptr};
  const char* destinationRootPath[] = {"destination_root", nullptr};
  const char* sourcePath[] = {"source", nullptr};
  const char* destinationPath[] = {"destination", nullptr};
  const yajl_val specs = json.get(specsPath);
  const size_t count = YAJL_IS_ARRAY(specs) ? specs->u.array.len : 0;
  for (size_t s = 0; s < count; ++s) {
    const yajl_val spec = specs->u.array.values[s];
    const yajl_val transfer = json.get(specPath, spec);
    if (!transfer) continue;
    const yajl_val paths = json.get(pathsPath, transfer);
    const size_t entries = paths ? paths->u.array.len : 0;
    const std::string direction = json.getString(directionPath, transfer);
    if (direction.empty()) return std::string(kErrorInvalidArgument) + ": direction";
    if (direction == "receive") {
      const bool absolute = json.isTrue(flagPath) || json.isTrue(flagPath, spec);
      const yajl_val rootValue = json.get(destinationRootPath, transfer);
      const std::string root = rootValue ? rootValue->u.string : "";
      const bool rootAbsolute = !root.empty() && root[0] == '/';
      if (rootAbsolute ? !allowDestRoot(root)
                       : absolute || !(root.empty() || isPlainRelative(root))) {
        return std::string(kErrorUnauthorizedDownloadPath) + ": " +
               PathEscaper::toJsonStr(root, false);
      }
      for (size_t i = 0; i < entries; ++i) {
        const std::string destination =
            json.getString(destinationPath, paths->u.array.values[i]);
        if (destination.empty()) continue;
        const std::string full = joinedExactly(root, destination);
        if (!isPlainRelative(destination) || (rootAbsolute && !allowDestRoot(full))) {
          return std::string(kErrorUnauthorizedDownloadPath) + ": " +
                 PathEscaper::toJsonStr(full, false);
        }
      }
      continue;
    }
    if (!paths) return std::string(kErrorInvalidArgument) + ": paths";
    // A reader that takes an absolute source as it stands, or a missing one
    // (or no entry at all) as the root itself, must find an approved path too.
    const std::string root = json.getString(sourceRootPath, transfer);
    std::vector<std::string> locals;
    if (entries == 0) locals.push_back(root);
    for (size_t i = 0; i < entries; ++i) {
      const yajl_val source = json.get(sourcePath, paths->u.array.values[i]);
      const std::string text = source ? source->u.string : "";
      if (!root.empty() && !text.empty() && text[0] == '/') locals.push_back(text);
      locals.push_back(joinedExactly(root, text));
    }
    for (const std::string& local : locals) {
      if (!local.empty() && !isFileAllowed(local, _pageHostname)) {
        return std::string(kErrorUnauthorizedUploadPath) + ": " +
               PathEscaper::toJsonStr(local, false);
      }
    }
  }
  return "";
}

}  // namespace Web
}  // namespace Harlune
