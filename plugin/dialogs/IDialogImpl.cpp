#include "dialogs/IDialogImpl.h"

#include <memory>

#include <desktop/Panel.h>
#include <taplatform/talog.h>

#include "dialogs/MacUtils.h"
#include "dialogs/TATimer2.h"

namespace Harlune {
namespace Web {

std::vector<std::string> IDialogImpl::showModal(
    Desktop::SavePanel& panel, const std::string& browser, bool& timedOut,
    const std::function<int()>& run, const std::function<std::vector<std::string>()>& chosen) {
  timedOut = false;
  std::unique_ptr<TATimer2> timer;
  if (_timeout != 0 && browserTimesOut(browser)) {
    timer.reset(new TATimer2());
    timer->setTimeout(_timeout);
    timer->start(this, panel.application().runLoop());
  }

  _state = kDialogShowing;
  std::vector<std::string> paths;
  try {
    const int code = run();
    if (timer) {
      timer->stop();
      timer.reset();
      if (timedOut) TATimer2::alert(panel.application());
    }
    _state = MacUtils::stateForModalResult(code);
    if (_state == kDialogConfirmed) paths = chosen();
  } catch (const Desktop::PanelException& e) {
    TA_LOG(1, "NSOpenPanel error: name=%s reason=%s", e.name().c_str(), e.reason().c_str());
    _state = kDialogClosed;
    paths.clear();
  }
  return paths;
}

}  // namespace Web
}  // namespace Harlune
