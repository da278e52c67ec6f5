// What the three dialogs share as runnables: the panel implementation, the
// chosen paths and the result text, and the common show.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/Runnable.h"
#include "dialogs/IDialogImpl.h"

namespace Harlune {
namespace Web {

class FileDialog : public Runnable {
public:
  ~FileDialog() override;

  // The chosen paths, in the panel's order; empty until confirmed.
  const std::vector<std::string>& paths() const { return _paths; }

  // Runnable. result() is the panel's state: 4 until shown, 3 while showing,
  // then 2 confirmed, 1 cancelled or 0 closed without an answer.
  bool isInterrupted() override { return _interrupted; }
  uint64_t result() override;
  std::string resultStr() override { return _resultStr; }
  // The asynchronous show: no time-out; a failure becomes a JSON error
  // object as the result text.
  void run() override;
  // Marks the dialog interrupted and closes a showing panel.
  void stop() override;

protected:
  FileDialog() = default;

  // Shows the panel now, with or without the time-out, and keeps the paths
  // and the result text. Throws what the panel implementation throws before
  // the panel opens.
  std::vector<std::string> showPanel(bool withTimeout);
  // The result text for the chosen paths, set after every completed show.
  virtual std::string resultFor(const std::vector<std::string>& paths) const = 0;
  // The operation's message that prefixes a failure's text.
  virtual const char* failureContext() const = 0;

  std::unique_ptr<IDialogImpl> _impl;  // created by init
  bool _interrupted = false;
  std::string _resultStr;
  std::vector<std::string> _paths;
};

}  // namespace Web
}  // namespace Harlune
