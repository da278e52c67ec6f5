// The open-file dialog: the user picks files (and folders when allowed).
#pragma once

#include <string>
#include <vector>

#include "dialogs/FileDialog.h"

namespace Harlune {
namespace Web {

class OpenFileDialog : public FileDialog {
public:
  // window is the browser window handle; the panel is application-modal and
  // is not placed over it. extended: describe the chosen files with the
  // file-description JSON instead of a path array.
  OpenFileDialog(void* window, const std::string& title, bool allowDirectories,
                 bool allowMultiple, const std::string& fileTypes, bool extended);

  // Creates the panel for the host browser's family; the page host is not
  // needed by this panel.
  bool init(const std::string& browserName, const std::string& pageHost);
  // The synchronous show, inside the script call; may time out.
  std::vector<std::string> show();

protected:
  std::string resultFor(const std::vector<std::string>& paths) const override;
  const char* failureContext() const override;

private:
  bool _allowDirectories;
  bool _allowMultiple;
  std::string _fileTypes;
  std::string _title;
  bool _extended;
};

}  // namespace Web
}  // namespace Harlune
