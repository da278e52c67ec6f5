#include "dialogs/OpenFolderDialog.h"

#include "common/Constants.h"
#include "common/Utils.h"
#include "dialogs/MacOpenFileDialogImpl.h"
#include "text/PathEscaper.h"

namespace Harlune {
namespace Web {

OpenFolderDialog::OpenFolderDialog(void* /*window*/, const std::string& title, bool allowMultiple,
                                   bool extended)
    : _allowMultiple(allowMultiple), _title(title), _extended(extended) {}

bool OpenFolderDialog::init(const std::string& browserName, const std::string& /*pageHost*/) {
  _impl.reset(new MacOpenFileDialogImpl(_title, true, _allowMultiple, std::string(), true,
                                        browserName));
  return true;
}

std::vector<std::string> OpenFolderDialog::show() { return showPanel(true); }

std::string OpenFolderDialog::resultFor(const std::vector<std::string>& paths) const {
  return _extended ? Utils::createExtendedObject(paths) : PathEscaper::toJsonStr(paths);
}

const char* OpenFolderDialog::failureContext() const { return kErrorUnexpectedFolderDialog; }

}  // namespace Web
}  // namespace Harlune
