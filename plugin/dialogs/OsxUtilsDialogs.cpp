// OsxUtils' panel queries, defined here because they need the panel helpers.
#include "common/OsxUtils.h"

#include <desktop/Panel.h>
#include <desktop/Window.h>
#include <taplatform/talog.h>

#include "dialogs/MacUtils.h"

namespace Harlune {
namespace Web {

namespace {
Desktop::SavePanel* asSavePanel(void* panel) {
  Desktop::Window* window = static_cast<Desktop::Window*>(panel);
  return window && window->isKindOfSavePanel() ? static_cast<Desktop::SavePanel*>(window)
                                               : nullptr;
}
}  // namespace

bool OsxUtils::isSaveDialogOpen(void* panel) {
  if (Desktop::SavePanel* savePanel = asSavePanel(panel)) {
    return MacUtils::isSaveDialogOpen(savePanel);
  }
  return MacUtils::getFirstOpenedSaveDialog() != nullptr;
}

void OsxUtils::closeSaveDialog(void* panel) {
  Desktop::SavePanel* savePanel = asSavePanel(panel);
  if (savePanel && MacUtils::isSaveDialogOpen(savePanel)) {
    TA_LOG(3, "Closing file dialog");
    savePanel->close();
    savePanel->application().abortModal();
  } else if (Desktop::SavePanel* open = MacUtils::getFirstOpenedSaveDialog()) {
    TA_LOG(3, "Closing file dialog");
    // Only the modal run is ended; the panel closes itself when its run ends.
    open->application().abortModal();
  }
}

}  // namespace Web
}  // namespace Harlune
