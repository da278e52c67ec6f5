// Utils' panel queries, defined beside the panels they ask about.
#include "common/OsxUtils.h"
#include "common/Utils.h"

namespace Harlune {
namespace Web {

bool Utils::isSaveDialogOpen(void* panel) { return OsxUtils::isSaveDialogOpen(panel); }

void Utils::closeSaveDialog(void* panel) { OsxUtils::closeSaveDialog(panel); }

}  // namespace Web
}  // namespace Harlune
