#include "core/Utils.h"

#include <taplatform/taplatform.h>

#include "link/FileSystem.h"
#include "link/HarluneApp.h"

namespace Harlune {
namespace Web {

namespace {
bool gLogStarted = false;
}

std::unique_ptr<HttpRequest> Utils::createHttpRequest(ContentType_e type) {
  const Url url = HarluneApp::url();
  if (url.url().empty()) return nullptr;
  auto request = std::make_unique<HttpRequest>(url.host(), url.port(0));
  request->addHeader("Authorization-key", HarluneApp::harluneUUID());
  request->addHeader("Content-Type", type == ContentTypeXml
                                         ? "application/vnd.tarsen.xferreq+xml"
                                         : "application/vnd.tarsen.xferreq+json");
  return request;
}

std::unique_ptr<HttpRequest> Utils::createHttpRequest(const std::string& method,
                                                      const std::string& path,
                                                      const std::string& body,
                                                      ContentType_e type) {
  std::unique_ptr<HttpRequest> request = createHttpRequest(type);
  if (!request) return nullptr;
  request->setMethod(method);
  request->setPath(path);
  request->appendData(body);
  return request;
}

std::string Utils::errorCodeToStr(int code) {
  char text[256] = "";
  ta_platform_errstr(code, text, sizeof text);
  return text;
}

std::string Utils::setCurrentDirToUserHome() { return ""; }

void Utils::logInit() {
  if (gLogStarted) return;
  gLogStarted = true;
  const std::string path = FileSystem::logPath();
  if (!path.empty()) ta_log_init(TA_LOG_TYPE_FILE, path.c_str());
  ta_dbg_set(3);
  ta_dbg_set_all(3);
}

void Utils::logCleanup() {
  if (!gLogStarted) return;
  gLogStarted = false;
  ta_log_cleanup();
}

void Utils::logException(const std::exception& e) { TA_LOG(1, "%s", e.what()); }

void Utils::logException(const std::string& context, const std::exception& e) {
  TA_LOG(1, "%s: %s", context.c_str(), e.what());
}

}  // namespace Web
}  // namespace Harlune
