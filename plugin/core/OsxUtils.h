// Platform queries the core needs from the desktop services.
#pragma once

namespace Harlune {
namespace Web {

class OsxUtils {
public:
  // The pid of the running desktop application, or -1.
  static int getHarlunePid();
};

}  // namespace Web
}  // namespace Harlune
