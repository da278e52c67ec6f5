// Save and open panels, run application-modal on the loop thread.
//
// runModal() shows the panel (it enters the window list), asks the installed
// PanelResponder (the user) what to do, and then runs the loop in the
// ModalPanel mode until the panel is answered or the run is ended by
// stopModal (-1000) or abortModal (-1001). Posted work and ModalPanel timers
// run meanwhile. When the run ends the panel leaves the window list.
//
// Results: kModalResponseOK (1) with the chosen paths, kModalResponseCancel
// (0), kModalResponseStop, kModalResponseAbort. A responder that fails makes
// runModal throw PanelException.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "desktop/RunLoop.h"
#include "desktop/Status.h"
#include "desktop/Window.h"

namespace Desktop {

// A failure raised by a panel, with a name and a reason like an exception of
// the desktop's own runtime.
class PanelException : public std::runtime_error {
 public:
  PanelException(std::string name, std::string reason);
  const std::string& name() const { return name_; }
  const std::string& reason() const { return reason_; }

 private:
  std::string name_;
  std::string reason_;
};

// A named group of allowed types, as a chooser lists it ("Text files": txt TXT).
struct FileFilter {
  std::string name;
  std::vector<std::string> types;
};

// Everything a panel was configured with, as the responder sees it.
struct PanelSettings {
  WindowKind kind = WindowKind::SavePanel;
  std::string title;
  bool allowsMultipleSelection = false;     // open panels
  bool canChooseFiles = true;               // open panels
  bool canChooseDirectories = false;        // open panels
  std::vector<std::string> allowedFileTypes;  // empty: any
  bool allowsOtherFileTypes = false;
  std::vector<FileFilter> filters;  // the allowed types by name; may be empty
  bool canSelectHiddenExtension = false;
  bool extensionHidden = false;
  std::string nameFieldStringValue;
  std::string directory;            // from runModalForDirectory
  bool ranForDirectory = false;     // started by runModalForDirectory
};

struct PanelAnswer {
  enum class Action { Choose, Cancel, LeaveOpen, Fail };
  Action action = Action::Cancel;
  std::vector<std::string> paths;  // Choose
  std::string failureName;         // Fail
  std::string failureReason;       // Fail

  static PanelAnswer choose(std::vector<std::string> paths);
  static PanelAnswer cancel();
  // The panel stays up; a later choose()/cancel() on it, a close plus
  // abortModal, stopModal or a timer ends the run.
  static PanelAnswer leaveOpen();
  static PanelAnswer fail(std::string name, std::string reason);
};

class SavePanel : public Window {
 public:
  SavePanel();
  explicit SavePanel(Application& app);
  ~SavePanel() override;

  WindowKind kind() const override { return kind_; }

  void setAllowedFileTypes(std::vector<std::string> types) { settings_.allowedFileTypes = std::move(types); }
  const std::vector<std::string>& allowedFileTypes() const { return settings_.allowedFileTypes; }
  void setFileFilters(std::vector<FileFilter> filters) { settings_.filters = std::move(filters); }
  void setAllowsOtherFileTypes(bool on) { settings_.allowsOtherFileTypes = on; }
  bool allowsOtherFileTypes() const { return settings_.allowsOtherFileTypes; }
  void setCanSelectHiddenExtension(bool on) { settings_.canSelectHiddenExtension = on; }
  bool canSelectHiddenExtension() const { return settings_.canSelectHiddenExtension; }
  void setExtensionHidden(bool on) { settings_.extensionHidden = on; }
  bool isExtensionHidden() const { return settings_.extensionHidden; }
  void setNameFieldStringValue(std::string name) { settings_.nameFieldStringValue = std::move(name); }
  const std::string& nameFieldStringValue() const { return settings_.nameFieldStringValue; }

  // The settings as they are now (title included).
  PanelSettings settings() const;

  // Loop thread only. See the top of this file.
  int runModal();
  // The older form: starts in `directory` (may be empty) with `file` in the
  // name field.
  int runModalForDirectory(const std::string& directory, const std::string& file);

  // After an OK run: the chosen paths (in the order chosen) and the first of
  // them. Empty after any other outcome.
  const std::vector<std::string>& filenames() const { return chosen_; }
  std::string filename() const;

  bool isRunning() const { return running_; }

  // The user's answers while the panel runs (loop thread). Errors:
  // NotRunning, PanelClosed, AlreadyAnswered, InvalidChoice (no path, or more
  // than one where only one may be chosen).
  Status choose(std::vector<std::string> paths);
  Status cancel();

 protected:
  SavePanel(Application& app, WindowKind kind);
  PanelSettings settings_;

 private:
  int run_();
  Status answer_(int code, std::vector<std::string> paths);

  WindowKind kind_;
  std::vector<std::string> chosen_;
  bool running_ = false;
  bool answered_ = false;
  bool enteredModal_ = false;
  int answerCode_ = kModalResponseCancel;
};

class OpenPanel : public SavePanel {
 public:
  OpenPanel();
  explicit OpenPanel(Application& app);

  void setAllowsMultipleSelection(bool on) { settings_.allowsMultipleSelection = on; }
  bool allowsMultipleSelection() const { return settings_.allowsMultipleSelection; }
  void setCanChooseFiles(bool on) { settings_.canChooseFiles = on; }
  bool canChooseFiles() const { return settings_.canChooseFiles; }
  void setCanChooseDirectories(bool on) { settings_.canChooseDirectories = on; }
  bool canChooseDirectories() const { return settings_.canChooseDirectories; }
};

}  // namespace Desktop
