// Open-file and open-folder dialogs on an open panel.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "dialogs/IDialogImpl.h"

namespace Desktop {
class OpenPanel;
}

namespace Harlune {
namespace Web {

class MacOpenFileDialogImpl : public IDialogImpl {
public:
  // foldersOnly lets the user choose folders only, whatever allowDirectories
  // says. fileTypes is filter JSON ("" for none); browser is the host
  // browser's family name, which decides whether a time-out applies.
  MacOpenFileDialogImpl(const std::string& title, bool allowDirectories, bool allowMultiple,
                        const std::string& fileTypes, bool foldersOnly,
                        const std::string& browser);
  ~MacOpenFileDialogImpl() override;

  void doClose() override;
  void doOnTimeout() override;
  std::vector<std::string> doShow() override;

  const Desktop::OpenPanel& panel() const { return *_panel; }

private:
  bool _allowDirectories;
  bool _allowMultiple;
  std::string _browser;
  std::string _fileTypes;
  std::unique_ptr<Desktop::OpenPanel> _panel;  // reused for every show
  bool _foldersOnly;
  bool _timedOut = false;
  std::string _title;
};

}  // namespace Web
}  // namespace Harlune
