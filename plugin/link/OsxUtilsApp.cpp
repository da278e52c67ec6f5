// OsxUtils' query for the desktop application's process, defined here because
// it needs the application's bundle identifier.
#include "common/OsxUtils.h"

#include <desktop/Workspace.h>

#include "link/HarluneApp.h"

namespace Harlune {
namespace Web {

int OsxUtils::getHarlunePid() {
  return Desktop::Workspace::processIdentifierForBundle(kHarluneBundleIdentifier);
}

}  // namespace Web
}  // namespace Harlune
