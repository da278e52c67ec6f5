#include "common/Utils.h"

#include <taplatform/taplatform.h>

namespace Harlune {
namespace Web {

std::string Utils::errorCodeToStr(int code) {
  char text[256] = "";
  ta_platform_errstr(code, text, sizeof text);
  return text;
}

std::string Utils::setCurrentDirToUserHome() { return ""; }

void Utils::logException(const std::exception& e) { TA_LOG(1, "%s", e.what()); }

void Utils::logException(const std::string& context, const std::exception& e) {
  TA_LOG(1, "%s: %s", context.c_str(), e.what());
}

}  // namespace Web
}  // namespace Harlune
