// A second back end for the user's side of panels: the GTK file chooser of
// zenity, for a person at a display. As a PanelResponder it leaves the panel
// open, runs zenity on a thread of its own, and ends the panel with the
// person's choice on the loop thread; the loop keeps turning meanwhile.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "desktop/Panel.h"

namespace Desktop {

class ZenityPanels {
 public:
  // program: the zenity to run (tests give a stand-in).
  explicit ZenityPanels(Application& app = Application::shared(),
                        std::string program = "zenity");
  // Closes the choosers still open (their processes are this object's own)
  // and joins their threads.
  ~ZenityPanels();
  ZenityPanels(const ZenityPanels&) = delete;
  ZenityPanels& operator=(const ZenityPanels&) = delete;

  // The PanelResponder entry; loop thread.
  PanelAnswer answer(SavePanel& panel, const PanelSettings& settings);
  PanelResponder responder() {
    return [this](SavePanel& panel, const PanelSettings& settings) {
      return answer(panel, settings);
    };
  }

  // Closes the choosers whose panel ended another way (an abort, a time-out,
  // its page gone): nobody may answer a panel that no longer asks. Loop thread.
  void closeEnded();

  // zenity's arguments for a panel (after the program name). A panel given
  // no folder starts in `startFolder` (the last folder used, else $HOME),
  // never in the host's working folder or an empty recent list.
  static std::vector<std::string> arguments(const PanelSettings& settings,
                                            const std::string& startFolder = std::string());
  // The chosen paths from zenity's output (one per line).
  static std::vector<std::string> paths(const std::string& output);

 private:
  struct Run;
  // Shared with the answers posted to the loop, which may run after this
  // object is gone.
  struct Runs;
  static void finish_(Application& app, std::shared_ptr<Runs> runs, Run* run, int status,
                      std::string output, std::shared_ptr<std::string> lastFolder);

  Application& app_;
  std::string program_;
  std::shared_ptr<std::string> lastFolder_ = std::make_shared<std::string>();  // loop thread
  std::shared_ptr<Runs> runs_;
};

}  // namespace Desktop
