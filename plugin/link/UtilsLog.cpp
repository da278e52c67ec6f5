// Utils' log start and end, defined here because the log file's folder comes
// from FileSystem.
#include "common/Utils.h"

#include <taplatform/taplatform.h>

#include "link/FileSystem.h"

namespace Harlune {
namespace Web {

namespace {
bool gLogStarted = false;
}

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

}  // namespace Web
}  // namespace Harlune
