// Relay of page requests to the desktop application, with the body check.
#include <algorithm>
#include <cctype>
#include <memory>
#include <set>

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

// Guarded: a byte that would end the request line or split it (a control
// byte, a space, DEL) lets a page write header lines of its own.
std::string requestLineRefusal(const std::string& method, const std::string& path) {
  if (!Policy::guarded()) return "";
  auto unsafe = [](const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
      const unsigned char u = static_cast<unsigned char>(c);
      return u <= 0x20 || u == 0x7f;
    });
  };
  if (unsafe(method)) return refused(std::string(kErrorInvalidArgument) + ": method");
  if (unsafe(path)) return refused(std::string(kErrorInvalidArgument) + ": path");
  return "";
}

// The first member name that an object of the tree holds twice, or "". JSON
// readers disagree on which of two values counts, so the check and the
// application could read different ones.
std::string repeatedMember(yajl_val node) {
  if (YAJL_IS_OBJECT(node)) {
    std::set<std::string> seen;
    for (size_t i = 0; i < node->u.object.len; ++i) {
      if (!seen.insert(node->u.object.keys[i]).second) return node->u.object.keys[i];
      const std::string inner = repeatedMember(node->u.object.values[i]);
      if (!inner.empty()) return inner;
    }
  } else if (YAJL_IS_ARRAY(node)) {
    for (size_t i = 0; i < node->u.array.len; ++i) {
      const std::string inner = repeatedMember(node->u.array.values[i]);
      if (!inner.empty()) return inner;
    }
  }
  return "";
}

// The direction as the application may read it: ASCII case and surrounding
// white space do not count.
std::string directionOf(std::string text) {
  const auto space = [](unsigned char c) { return std::isspace(c) != 0; };
  text.erase(text.begin(), std::find_if_not(text.begin(), text.end(), space));
  text.erase(std::find_if_not(text.rbegin(), text.rend(), space).base(), text.end());
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
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

std::string PlugIn::harluneHttpRequest(const std::string& method, const std::string& path,
                                       const std::string& body,
                                       std::unique_ptr<HttpResponse>* response) {
  response->reset();
  const std::string data = bodyOrEmptyObject(body);
  std::string error = requestLineRefusal(method, path);
  if (!error.empty()) return error;
  if (!isJsonValid(data, error)) return error;
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
  const std::string data = bodyOrEmptyObject(body);
  std::string error = requestLineRefusal(method, path);
  if (!error.empty()) return error;
  if (!isJsonValid(data, error)) return error;
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
  const std::string refusal = requestLineRefusal(method, path);
  if (!refusal.empty()) {
    if (owned) owned->returnMessage(refusal);
    return;
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
  request->appendData(bodyOrEmptyObject(body));
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
  Json json;
  if (!json.parse(body)) {
    error = Json::createError(std::string(kErrorJsonParse) + ": " + json.err());
    return false;
  }
  if (Policy::guarded()) {
    const char* rootPath[] = {nullptr};
    const std::string repeated = repeatedMember(json.get(rootPath));
    if (!repeated.empty()) {
      error = refused(std::string(kErrorJsonParse) + ": repeated member \"" + repeated + "\"");
      return false;
    }
  }
  const char* appIdPath[] = {"tarsen_harlune_settings", "app_id", nullptr};
  const std::string appId = json.getString(appIdPath);
  if (!appId.empty()) {
    error = isAppIdValid(appId);
    if (!error.empty()) return false;
  }
  if (Policy::guarded()) return transferSpecsValidGuarded(json, error);
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

// Every transfer specification is checked, and every path sent must be one
// the user gave this page.
bool PlugIn::transferSpecsValidGuarded(const Json& json, std::string& error) const {
  const char* specsPath[] = {"transfer_specs", nullptr};
  yajl_val specs = json.get(specsPath);
  if (!specs) return true;
  if (!YAJL_IS_ARRAY(specs)) {
    error = refused(std::string(kErrorInvalidArgument) + ": transfer_specs");
    return false;
  }
  for (size_t s = 0; s < specs->u.array.len; ++s) {
    yajl_val spec = specs->u.array.values[s];
    if (!YAJL_IS_OBJECT(spec)) {
      error = refused(std::string(kErrorInvalidArgument) + ": transfer_specs");
      return false;
    }
    const char* directionPath[] = {"transfer_spec", "direction", nullptr};
    const char* absolutePath[] = {"tarsen_harlune_settings", "use_absolute_destination_path",
                                  nullptr};
    const std::string direction = directionOf(json.getString(directionPath, spec));
    if (direction == "receive" && json.isTrue(absolutePath, spec)) {
      const char* rootPath[] = {"transfer_spec", "destination_root", nullptr};
      const std::string root = json.getString(rootPath, spec);
      if (!allowDestRoot(root)) {
        error = refused(std::string(kErrorUnauthorizedDownloadPath) + ": " +
                        PathEscaper::toJsonStr(root, false));
        return false;
      }
      continue;
    }
    if (direction != "send") continue;
    const char* sourceRootPath[] = {"transfer_spec", "source_root", nullptr};
    const char* pathsPath[] = {"transfer_spec", "paths", nullptr};
    const std::string sourceRoot = json.getString(sourceRootPath, spec);
    yajl_val paths = json.get(pathsPath, spec);
    if (!YAJL_IS_ARRAY(paths)) {
      error = refused(std::string(kErrorInvalidArgument) + ": paths");
      return false;
    }
    for (size_t i = 0; i < paths->u.array.len; ++i) {
      yajl_val entry = paths->u.array.values[i];
      const char* sourcePath[] = {"source", nullptr};
      yajl_val source = YAJL_IS_OBJECT(entry) ? json.get(sourcePath, entry) : nullptr;
      if (!YAJL_IS_OBJECT(entry) || (source && !YAJL_IS_STRING(source))) {
        error = refused(std::string(kErrorInvalidArgument) + ": paths");
        return false;
      }
      if (!source) continue;
      const std::string full = joinedExactly(sourceRoot, source->u.string);
      if (!isFileAllowed(full, _pageHostname)) {
        error = refused(std::string(kErrorUnauthorizedUploadPath) + ": " +
                        PathEscaper::toJsonStr(full, false));
        return false;
      }
    }
  }
  return true;
}

}  // namespace Web
}  // namespace Harlune
