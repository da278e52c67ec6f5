#include "core/Transfer.h"

#include <memory>

#include <taplatform/talog.h>

#include "common/Constants.h"
#include "common/Utils.h"
#include "link/HarluneApp.h"
#include "link/HttpRequest.h"
#include "text/XmlEscaper.h"

namespace Harlune {
namespace Web {

std::string Transfer::document() const {
  std::string xml = "<xferreq xmlns=\"";
  xml += kXferreqNamespace;
  xml += "\">";
  for (const std::string& source : _sources) {
    if (source.empty()) continue;
    xml += "<src>" + XmlEscaper::escape(source) + "</src>";
  }
  if (!_destination.empty()) xml += "<dest>" + XmlEscaper::escape(_destination) + "</dest>";
  xml += "</xferreq>";
  return xml;
}

bool Transfer::request() const {
  if (!HarluneApp::launch()) {
    TA_LOG(1, "%s", kErrorHarluneRequest);
    return false;
  }
  std::unique_ptr<HttpRequest> request =
      Utils::createHttpRequest(HttpRequest::kPostMethod, "/transfers/", document(), ContentTypeXml);
  if (!request) {
    TA_LOG(1, "%s", kErrorCreatingHttpRequest);
    return false;
  }
  if (!request->invoke()) {
    TA_LOG(1, "%s", kErrorHarluneRequest);
    return false;
  }
  return true;
}

bool Window::show(const std::string& argument) const {
  if (!HarluneApp::launch()) {
    TA_LOG(1, "%s", kErrorHarluneRequest);
    return false;
  }
  std::unique_ptr<HttpRequest> request = Utils::createHttpRequest(
      HttpRequest::kGetMethod, "/windows/" + _name + "/" + argument, "", ContentTypeXml);
  if (!request) {
    TA_LOG(1, "%s", kErrorCreatingHttpRequest);
    return false;
  }
  if (!request->invoke()) {
    TA_LOG(1, "Error displaying window: %s", kErrorHarluneRequest);
    return false;
  }
  return true;
}

}  // namespace Web
}  // namespace Harlune
