#include "dialogs/MacOpenFileDialogImpl.h"

#include <desktop/Panel.h>
#include <taplatform/talog.h>

#include "dialogs/DialogUtils.h"
#include "dialogs/MacUtils.h"
#include "dialogs/TATimer2.h"

namespace Harlune {
namespace Web {

MacOpenFileDialogImpl::MacOpenFileDialogImpl(const std::string& title, bool allowDirectories,
                                             bool allowMultiple, const std::string& fileTypes,
                                             bool foldersOnly, const std::string& browser)
    : _allowDirectories(allowDirectories),
      _allowMultiple(allowMultiple),
      _browser(browser),
      _fileTypes(fileTypes),
      _panel(new Desktop::OpenPanel()),
      _foldersOnly(foldersOnly),
      _title(title) {}

MacOpenFileDialogImpl::~MacOpenFileDialogImpl() = default;

std::vector<std::string> MacOpenFileDialogImpl::doShow() {
  TA_LOG(5, "MacOpenFileDialogImpl::doShow()");
  if (!_title.empty()) _panel->setTitle(_title);
  _panel->setAllowsMultipleSelection(_allowMultiple);
  _panel->setCanChooseFiles(!_foldersOnly);
  _panel->setCanChooseDirectories(_foldersOnly ? true : _allowDirectories);
  if (!_fileTypes.empty()) {
    // A filter fault leaves the dialog unshown.
    const std::vector<FileType> types = DialogUtils::parseFileTypesJson(_fileTypes);
    _panel->setAllowedFileTypes(MacUtils::createFileTypes(types));
    // For the chooser's list: the names, and "*" as a choice of its own.
    _panel->setFileFilters(MacUtils::createFileFilters(types));
    if (DialogUtils::findExtension(types, "*") != -1) _panel->setAllowsOtherFileTypes(true);
  }

  return showModal(*_panel, _browser, _timedOut, [this] { return _panel->runModal(); },
                   [this] { return _panel->filenames(); });
}

void MacOpenFileDialogImpl::doClose() {
  TA_LOG(5, "MacOpenFileDialogImpl::doClose()");
  if (!_panel->isVisible()) return;
  TA_LOG(3, "Closing open dialog");
  _panel->close();
  _panel->application().abortModal();
}

void MacOpenFileDialogImpl::doOnTimeout() {
  TA_LOG(5, "MacOpenFileDialogImpl::doOnTimeout()");
  _timedOut = true;
  doClose();
}

}  // namespace Web
}  // namespace Harlune
