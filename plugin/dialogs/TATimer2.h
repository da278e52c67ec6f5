// A one-shot time-out for a modal panel: tells its caller when it fires, even
// while the panel's modal run turns the loop, and shows the time-out notice.
#pragma once

#include <desktop/RunLoop.h>

namespace Desktop {
class Application;
class Window;
}  // namespace Desktop

namespace Harlune {
namespace Web {

class IDialogImpl;

class TATimer2 {
public:
  TATimer2() = default;
  // Invalidates a timer still pending, so that it never calls a gone caller.
  ~TATimer2();
  TATimer2(const TATimer2&) = delete;
  TATimer2& operator=(const TATimer2&) = delete;

  void setTimeout(int seconds) { _timeout = seconds; }
  int timeout() const { return _timeout; }

  // Fires once, `timeout` seconds from now, in the default, event-tracking and
  // modal-panel modes, calling caller->doOnTimeout().
  void start(IDialogImpl* caller, Desktop::RunLoop& loop);
  void onTick();
  // Forgets the caller and invalidates the timer.
  void stop();
  bool isPending() const;

  // "Timed out waiting for file selection" as a warning sheet with one OK
  // button over the application's main window.
  static void alert(Desktop::Application& app);
  static Desktop::Window* getActiveWindowOSX(Desktop::Application& app);

private:
  IDialogImpl* _callerPtr = nullptr;
  int _timeout = 0;
  Desktop::TimerId _timer = 0;
  Desktop::RunLoop* _loop = nullptr;
};

}  // namespace Web
}  // namespace Harlune
