// Platform queries the core needs from the desktop services.
#pragma once

#include <string>

namespace Harlune {
namespace Web {

class OsxUtils {
public:
  // The pid of the running desktop application, or -1.
  static int getHarlunePid();
  // The system table's MIME type for the path's extension, or "".
  static std::string mimeTypeForFileAtPath(const std::string& path);
};

}  // namespace Web
}  // namespace Harlune
