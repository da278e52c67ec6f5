#include "dialogs/OpenFileDialog.h"

#include <taplatform/talog.h>

#include "common/Constants.h"
#include "common/Utils.h"
#include "dialogs/MacOpenFileDialogImpl.h"
#include "text/PathEscaper.h"

namespace Harlune {
namespace Web {

OpenFileDialog::OpenFileDialog(void* /*window*/, const std::string& title, bool allowDirectories,
                               bool allowMultiple, const std::string& fileTypes, bool extended)
    : _allowDirectories(allowDirectories),
      _allowMultiple(allowMultiple),
      _fileTypes(fileTypes),
      _title(title),
      _extended(extended) {
  TA_LOG(3, "OpenFileDialog() - title=%s, allowDirectories=%u, allowMultiple=%u, fileTypes=%s",
         title.c_str(), static_cast<unsigned>(allowDirectories),
         static_cast<unsigned>(allowMultiple), fileTypes.c_str());
}

bool OpenFileDialog::init(const std::string& browserName, const std::string& /*pageHost*/) {
  _impl.reset(new MacOpenFileDialogImpl(_title, _allowDirectories, _allowMultiple, _fileTypes,
                                        false, browserName));
  return true;
}

std::vector<std::string> OpenFileDialog::show() { return showPanel(true); }

std::string OpenFileDialog::resultFor(const std::vector<std::string>& paths) const {
  return _extended ? Utils::createExtendedObject(paths) : PathEscaper::toJsonStr(paths);
}

const char* OpenFileDialog::failureContext() const { return kErrorUnexpectedFileDialog; }

}  // namespace Web
}  // namespace Harlune
