// Relay of page requests to the desktop application, with the body check.
#include <memory>

#include <taplatform/talog.h>

#include "core/Constants.h"
#include "core/PlugIn.h"
#include "core/Utils.h"
#include "link/HarluneApp.h"
#include "link/HttpRequest.h"
#include "text/Json.h"
#include "text/PathEscaper.h"
#include "work/Callback.h"
#include "work/RequestWorker.h"

namespace Harlune {
namespace Web {

namespace {
std::string bodyOrEmptyObject(const std::string& body) { return body.empty() ? "{}" : body; }
}  // namespace

std::string PlugIn::harluneHttpRequest(const std::string& method, const std::string& path,
                                       const std::string& body,
                                       std::unique_ptr<HttpResponse>* response) {
  response->reset();
  const std::string data = bodyOrEmptyObject(body);
  std::string error;
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
  std::string error;
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
      if (!YAJL_IS_STRING(source) || !isFileAllowed(full)) {
        error = Json::createError(std::string(kErrorUnauthorizedUploadPath) + ": " +
                                  PathEscaper::toJsonStr(full, false));
        return false;
      }
    }
  }
  return true;
}

}  // namespace Web
}  // namespace Harlune
