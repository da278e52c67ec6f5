#include "core/OsxUtils.h"

#include <desktop/Workspace.h>

#include "link/HarluneApp.h"

namespace Harlune {
namespace Web {

int OsxUtils::getHarlunePid() {
  return Desktop::Workspace::processIdentifierForBundle(kHarluneBundleIdentifier);
}

}  // namespace Web
}  // namespace Harlune
