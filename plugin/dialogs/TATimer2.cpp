#include "dialogs/TATimer2.h"

#include <desktop/Window.h>

#include "dialogs/IDialogImpl.h"

namespace Harlune {
namespace Web {

namespace {
const char kTimeoutNotice[] = "Timed out waiting for file selection";
}  // namespace

TATimer2::~TATimer2() { stop(); }

void TATimer2::start(IDialogImpl* caller, Desktop::RunLoop& loop) {
  stop();
  _callerPtr = caller;
  _loop = &loop;
  // The modal-panel mode is the one that matters: the panel's run turns the
  // loop only in that mode.
  _timer = loop.addTimer(_timeout,
                         Desktop::kModeDefault | Desktop::kModeEventTracking |
                             Desktop::kModeModalPanel,
                         [this] { onTick(); });
}

void TATimer2::onTick() {
  _timer = 0;
  if (_callerPtr) _callerPtr->doOnTimeout();
}

void TATimer2::stop() {
  _callerPtr = nullptr;
  if (_loop && _timer) _loop->invalidateTimer(_timer);
  _timer = 0;
}

bool TATimer2::isPending() const { return _loop && _timer && _loop->isTimerValid(_timer); }

void TATimer2::alert(Desktop::Application& app) {
  Desktop::Alert notice;
  notice.addButton("OK");
  notice.setMessageText(kTimeoutNotice);
  notice.setAlertStyle(Desktop::AlertStyle::Warning);
  notice.beginSheetModalForWindow(getActiveWindowOSX(app), app);
}

Desktop::Window* TATimer2::getActiveWindowOSX(Desktop::Application& app) {
  return app.mainWindow();
}

}  // namespace Web
}  // namespace Harlune
