// The save dialog: the user picks one file name to save to.
#pragma once

#include <string>
#include <vector>

#include "dialogs/FileDialog.h"

namespace Harlune {
namespace Web {

class SaveFileDialog : public FileDialog {
public:
  SaveFileDialog(void* window, const std::string& title, const std::string& suggestedName,
                 const std::string& fileTypes);

  bool init(const std::string& browserName);
  // The synchronous show, inside the script call; never times out.
  std::vector<std::string> show();

protected:
  // The chosen path as a quoted JSON string, or null.
  std::string resultFor(const std::vector<std::string>& paths) const override;
  const char* failureContext() const override;

private:
  std::string _fileTypes;
  std::string _suggestedName;
  std::string _title;
};

}  // namespace Web
}  // namespace Harlune
