#include "dialogs/MacSaveFileDialogImpl.h"

#include <desktop/Panel.h>
#include <taplatform/talog.h>

#include "common/Constants.h"
#include "dialogs/DialogUtils.h"
#include "dialogs/MacUtils.h"
#include "dialogs/TATimer2.h"

namespace Harlune {
namespace Web {

namespace {
constexpr size_t kMaxSuggestedExtension = 4;  // bytes
constexpr uint16_t kNameFieldMinor = 6;  // the name field is set directly from 10.6 on
}  // namespace

MacSaveFileDialogImpl::MacSaveFileDialogImpl(const std::string& title,
                                             const std::string& suggestedName,
                                             const std::string& fileTypes,
                                             const std::string& browser)
    : _browser(browser),
      _fileTypes(fileTypes),
      _panel(new Desktop::SavePanel()),
      _suggestedName(suggestedName),
      _title(title) {}

MacSaveFileDialogImpl::~MacSaveFileDialogImpl() = default;

std::string MacSaveFileDialogImpl::suggestedExtension(const std::string& name) {
  if (name.empty() || name.find(kDialogEtAl) != std::string::npos) return std::string();
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return std::string();
  const std::string extension = name.substr(dot + 1);
  return extension.size() > kMaxSuggestedExtension ? std::string() : extension;
}

std::vector<std::string> MacSaveFileDialogImpl::doShow() {
  TA_LOG(5, "MacSaveFileDialogImpl::doShow()");
  uint16_t minor = 0;
  MacUtils::getSystemVersion(nullptr, &minor);

  _panel->setCanSelectHiddenExtension(false);
  _panel->setExtensionHidden(false);
  if (!_title.empty()) _panel->setTitle(_title);

  const std::string extension = suggestedExtension(_suggestedName);
  if (!_fileTypes.empty()) {
    // A filter fault leaves the dialog unshown.
    std::vector<FileType> types = DialogUtils::parseFileTypesJson(_fileTypes);
    if (!extension.empty()) types.emplace_back(extension, std::vector<std::string>{extension});
    const std::vector<std::string> allowed = MacUtils::createFileTypes(types);
    if (!allowed.empty()) _panel->setAllowedFileTypes(allowed);
    _panel->setFileFilters(MacUtils::createFileFilters(types));
    if (DialogUtils::findExtension(types, "*") != -1) _panel->setAllowsOtherFileTypes(true);
  } else if (!extension.empty()) {
    _panel->setAllowedFileTypes({extension});
    _panel->setAllowsOtherFileTypes(true);
  } else {
    _panel->setAllowsOtherFileTypes(true);
  }

  return showModal(
      *_panel, _browser, _timedOut,
      [&] {
        if (minor >= kNameFieldMinor) {
          if (!_suggestedName.empty()) _panel->setNameFieldStringValue(_suggestedName);
          return _panel->runModal();
        }
        return _panel->runModalForDirectory(std::string(), _suggestedName);
      },
      [this] { return std::vector<std::string>{_panel->filename()}; });
}

void MacSaveFileDialogImpl::doClose() {
  TA_LOG(5, "MacSaveFileDialogImpl::doClose()");
  if (!_panel->isVisible()) return;
  TA_LOG(3, "Closing save dialog");
  _panel->close();
  _panel->application().abortModal();
}

void MacSaveFileDialogImpl::doOnTimeout() {
  TA_LOG(5, "MacSaveFileDialogImpl::doOnTimeout()");
  _timedOut = true;
  doClose();
}

}  // namespace Web
}  // namespace Harlune
