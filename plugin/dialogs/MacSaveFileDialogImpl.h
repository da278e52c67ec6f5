// The save dialog on a save panel.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "dialogs/IDialogImpl.h"

namespace Desktop {
class SavePanel;
}

namespace Harlune {
namespace Web {

class MacSaveFileDialogImpl : public IDialogImpl {
public:
  MacSaveFileDialogImpl(const std::string& title, const std::string& suggestedName,
                        const std::string& fileTypes, const std::string& browser);
  ~MacSaveFileDialogImpl() override;

  void doClose() override;
  void doOnTimeout() override;
  // At most one path.
  std::vector<std::string> doShow() override;

  const Desktop::SavePanel& panel() const { return *_panel; }

  // The extension the suggested name proposes: the text after its last ".",
  // unless that is 5 bytes or longer, or the name reads like a list of
  // authors ("et al"), whose dots are not extensions.
  static std::string suggestedExtension(const std::string& suggestedName);

private:
  std::string _browser;
  std::string _fileTypes;
  std::unique_ptr<Desktop::SavePanel> _panel;  // reused for every show
  std::string _suggestedName;
  bool _timedOut = false;
  std::string _title;
};

}  // namespace Web
}  // namespace Harlune
