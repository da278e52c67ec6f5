#include "common/OsxUtils.h"

#include <desktop/System.h>

namespace Harlune {
namespace Web {

std::string OsxUtils::mimeTypeForFileAtPath(const std::string& path) {
  return Desktop::mimeTypeForPath(path);
}

}  // namespace Web
}  // namespace Harlune
