// The native side of a dialog: one panel, shown modally on the main thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace Desktop {
class SavePanel;
}

namespace Harlune {
namespace Web {

// How the last show of a panel ended; the dialogs report it as their result.
enum DialogState : int32_t {
  kDialogClosed = 0,     // stopped, timed out, failed or an unexpected modal result
  kDialogCancelled = 1,
  kDialogConfirmed = 2,
  kDialogShowing = 3,
  kDialogNotShown = 4,   // nothing shown yet, or the show failed before the panel opened
};

// Seconds an unanswered synchronous open dialog waits before it closes itself.
inline constexpr int32_t kDialogTimeoutSeconds = 43;

class IDialogImpl {
public:
  virtual ~IDialogImpl() = default;
  // Ends a showing panel without an answer; nothing when none is showing.
  virtual void doClose() = 0;
  // The time-out fired: remember it for the notice, then close.
  virtual void doOnTimeout() = 0;
  // Shows the panel and returns the chosen paths (none unless confirmed).
  // A filter fault throws before the panel opens.
  virtual std::vector<std::string> doShow() = 0;

  int32_t state() const { return _state; }
  // Seconds; 0 for none. Only some browsers get a timer (see the panels).
  void setTimeout(int32_t seconds) { _timeout = seconds; }
  int32_t timeout() const { return _timeout; }

protected:
  // Whether an unanswered panel in this browser closes itself after the time-out.
  static bool browserTimesOut(const std::string& browser) {
    return browser == "safari" || browser == "firefox";
  }

  // The part of a show both panels share: the time-out timer where the
  // browser gets one, the modal run (`run`), the notice after a time-out,
  // and the mapping of how it ended. A panel failure ends it closed.
  std::vector<std::string> showModal(Desktop::SavePanel& panel, const std::string& browser,
                                     bool& timedOut, const std::function<int()>& run,
                                     const std::function<std::vector<std::string>()>& chosen);

  int32_t _state = kDialogNotShown;
  int32_t _timeout = 0;
};

}  // namespace Web
}  // namespace Harlune
