// The open-folder dialog: the user picks folders only.
#pragma once

#include <string>
#include <vector>

#include "dialogs/FileDialog.h"

namespace Harlune {
namespace Web {

class OpenFolderDialog : public FileDialog {
public:
  OpenFolderDialog(void* window, const std::string& title, bool allowMultiple, bool extended);

  bool init(const std::string& browserName, const std::string& pageHost);
  // The synchronous show, inside the script call; may time out.
  std::vector<std::string> show();

protected:
  std::string resultFor(const std::vector<std::string>& paths) const override;
  const char* failureContext() const override;

private:
  bool _allowMultiple;
  std::string _title;
  bool _extended;
};

}  // namespace Web
}  // namespace Harlune
