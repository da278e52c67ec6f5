#include "dialogs/FileDialog.h"

#include <exception>

#include <taplatform/talog.h>

#include "text/Json.h"

namespace Harlune {
namespace Web {

FileDialog::~FileDialog() = default;

uint64_t FileDialog::result() {
  return static_cast<uint64_t>(_impl ? _impl->state() : kDialogNotShown);
}

std::vector<std::string> FileDialog::showPanel(bool withTimeout) {
  _resultStr.clear();
  _paths.clear();
  if (!_impl) return _paths;
  _impl->setTimeout(withTimeout ? kDialogTimeoutSeconds : 0);
  _paths = _impl->doShow();
  _resultStr = resultFor(_paths);
  return _paths;
}

void FileDialog::run() {
  if (_interrupted) return;
  try {
    showPanel(false);
  } catch (const std::exception& e) {
    const std::string text = std::string(failureContext()) + ": " + e.what();
    TA_LOG(1, "%s", text.c_str());
    _resultStr = Json::createError(text);
  }
}

void FileDialog::stop() {
  _interrupted = true;
  if (_impl) _impl->doClose();
}

}  // namespace Web
}  // namespace Harlune
