#include "dialogs/SaveFileDialog.h"

#include <taplatform/talog.h>

#include "common/Constants.h"
#include "dialogs/MacSaveFileDialogImpl.h"
#include "text/PathEscaper.h"

namespace Harlune {
namespace Web {

SaveFileDialog::SaveFileDialog(void* /*window*/, const std::string& title,
                               const std::string& suggestedName, const std::string& fileTypes)
    : _fileTypes(fileTypes), _suggestedName(suggestedName), _title(title) {
  TA_LOG(5, "SaveFileDialog::SaveFileDialog() - suggestedName=%s", suggestedName.c_str());
}

bool SaveFileDialog::init(const std::string& browserName) {
  _impl.reset(new MacSaveFileDialogImpl(_title, _suggestedName, _fileTypes, browserName));
  return true;
}

std::vector<std::string> SaveFileDialog::show() { return showPanel(false); }

std::string SaveFileDialog::resultFor(const std::vector<std::string>& paths) const {
  return paths.empty() ? std::string("null") : PathEscaper::toJsonStr(paths.front(), true);
}

const char* SaveFileDialog::failureContext() const { return kErrorUnexpectedSaveDialog; }

}  // namespace Web
}  // namespace Harlune
