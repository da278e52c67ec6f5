#include "desktop/Panel.h"

#include <utility>

namespace Desktop {

PanelException::PanelException(std::string name, std::string reason)
    : std::runtime_error(name + ": " + reason), name_(std::move(name)), reason_(std::move(reason)) {}

PanelAnswer PanelAnswer::choose(std::vector<std::string> paths) {
  PanelAnswer a;
  a.action = Action::Choose;
  a.paths = std::move(paths);
  return a;
}

PanelAnswer PanelAnswer::cancel() { return PanelAnswer(); }

PanelAnswer PanelAnswer::leaveOpen() {
  PanelAnswer a;
  a.action = Action::LeaveOpen;
  return a;
}

PanelAnswer PanelAnswer::fail(std::string name, std::string reason) {
  PanelAnswer a;
  a.action = Action::Fail;
  a.failureName = std::move(name);
  a.failureReason = std::move(reason);
  return a;
}

SavePanel::SavePanel() : SavePanel(Application::shared(), WindowKind::SavePanel) {}

SavePanel::SavePanel(Application& app) : SavePanel(app, WindowKind::SavePanel) {}

SavePanel::SavePanel(Application& app, WindowKind kind) : Window(app, std::string()), kind_(kind) {
  settings_.kind = kind;
}

SavePanel::~SavePanel() = default;

PanelSettings SavePanel::settings() const {
  PanelSettings s = settings_;
  s.kind = kind_;
  s.title = title();
  return s;
}

std::string SavePanel::filename() const { return chosen_.empty() ? std::string() : chosen_.front(); }

int SavePanel::runModal() {
  settings_.ranForDirectory = false;
  return run_();
}

int SavePanel::runModalForDirectory(const std::string& directory, const std::string& file) {
  settings_.directory = directory;
  settings_.nameFieldStringValue = file;
  settings_.ranForDirectory = true;
  return run_();
}

int SavePanel::run_() {
  if (running_) throw PanelException("PanelInconsistency", "the panel is already running");
  chosen_.clear();
  answered_ = false;
  enteredModal_ = false;
  running_ = true;
  show();

  // Everything below must leave the panel hidden and not running.
  auto finish = [this] {
    running_ = false;
    enteredModal_ = false;
    close();
  };

  int code;
  try {
    const PanelResponder responder = application().panelResponder();
    const PanelAnswer answer = responder ? responder(*this, settings()) : PanelAnswer::cancel();
    switch (answer.action) {
      case PanelAnswer::Action::Choose:
        if (!answered_ && choose(answer.paths) != Status::Ok) {
          throw PanelException("PanelInvalidChoice", "the chosen paths do not suit the panel");
        }
        break;
      case PanelAnswer::Action::Cancel:
        if (!answered_) cancel();
        break;
      case PanelAnswer::Action::LeaveOpen:
        break;
      case PanelAnswer::Action::Fail:
        throw PanelException(answer.failureName, answer.failureReason);
    }
    if (answered_) {
      code = answerCode_;
    } else {
      enteredModal_ = true;
      code = application().runLoop().runModal();
    }
  } catch (...) {
    chosen_.clear();
    finish();
    throw;
  }
  finish();
  if (code != kModalResponseOK) chosen_.clear();
  return code;
}

Status SavePanel::answer_(int code, std::vector<std::string> paths) {
  if (!running_) return Status::NotRunning;
  if (!isVisible()) return Status::PanelClosed;
  if (answered_) return Status::AlreadyAnswered;
  answered_ = true;
  answerCode_ = code;
  chosen_ = std::move(paths);
  if (enteredModal_) application().runLoop().stopModalWithCode(code);
  return Status::Ok;
}

Status SavePanel::choose(std::vector<std::string> paths) {
  if (!running_) return Status::NotRunning;
  const bool several = paths.size() > 1;
  if (paths.empty() || (several && !settings_.allowsMultipleSelection) ||
      (several && kind_ == WindowKind::SavePanel)) {
    return Status::InvalidChoice;
  }
  return answer_(kModalResponseOK, std::move(paths));
}

Status SavePanel::cancel() { return answer_(kModalResponseCancel, {}); }

OpenPanel::OpenPanel() : SavePanel(Application::shared(), WindowKind::OpenPanel) {}

OpenPanel::OpenPanel(Application& app) : SavePanel(app, WindowKind::OpenPanel) {}

}  // namespace Desktop
