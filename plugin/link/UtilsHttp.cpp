// Utils' requests to the desktop application, defined here because they need
// its address and access key.
#include "common/Utils.h"

#include "link/HarluneApp.h"
#include "link/HttpRequest.h"

namespace Harlune {
namespace Web {

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

}  // namespace Web
}  // namespace Harlune
