// The application's windows and alerts.
//
// Windows are owned by whoever creates them; the Application only lists the
// visible ones, in the order they were shown, and must outlive them. A panel is a window whose kind
// is SavePanel or OpenPanel (an open panel is a kind of save panel).
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "desktop/Status.h"

namespace Desktop {

class Application;
class RunLoop;
class SavePanel;
struct PanelSettings;
struct PanelAnswer;

enum class WindowKind { Plain, SavePanel, OpenPanel };

class Window {
 public:
  explicit Window(std::string title = std::string());
  Window(Application& app, std::string title);
  virtual ~Window();  // leaves the window list
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  virtual WindowKind kind() const { return WindowKind::Plain; }
  // True for save panels and open panels.
  bool isKindOfSavePanel() const;

  const std::string& title() const { return title_; }
  void setTitle(std::string title) { title_ = std::move(title); }

  // show(): visible and appended to the window list (no-op when visible).
  // close(): hidden and removed from the list; it does not end a modal run.
  void show();
  virtual void close();
  bool isVisible() const;

  Application& application() const { return app_; }

 private:
  Application& app_;
  std::string title_;
};

enum class AlertStyle { Warning, Informational, Critical };

// What an alert showed; kept by the Application for hosts and tests.
struct AlertRecord {
  std::string messageText;
  std::string informativeText;
  AlertStyle style = AlertStyle::Warning;
  std::vector<std::string> buttons;
  bool asSheet = false;
  const Window* parent = nullptr;  // identity only; may be gone by now
  std::string parentTitle;
};

// An alert is a description; begin...() hands a copy to the Application, which
// shows it, so the caller keeps no object alive for it.
class Alert {
 public:
  void setMessageText(std::string text) { record_.messageText = std::move(text); }
  void setInformativeText(std::string text) { record_.informativeText = std::move(text); }
  void setAlertStyle(AlertStyle style) { record_.style = style; }
  void addButton(std::string title) { record_.buttons.push_back(std::move(title)); }
  const AlertRecord& record() const { return record_; }

  // Shown as a sheet over `parent` (null: no window, still recorded), with no
  // end handler; returns at once.
  void beginSheetModalForWindow(const Window* parent, Application& app);
  void beginSheetModalForWindow(const Window* parent);

 private:
  AlertRecord record_;
};

// The user's side of every panel: decides, when a panel starts its run, how it
// ends. Called on the loop thread with the panel visible and in the list.
using PanelResponder = std::function<PanelAnswer(SavePanel& panel, const PanelSettings& settings)>;

class Application {
 public:
  // The process's application, on RunLoop::main(). Separate instances can be
  // made for tests.
  static Application& shared();
  explicit Application(RunLoop& loop);
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  RunLoop& runLoop() const { return loop_; }

  // Visible windows in the order they were shown.
  std::vector<Window*> windows() const;
  bool contains(const Window* window) const;
  // The first visible save or open panel in list order, or null.
  SavePanel* firstVisibleSavePanel() const;

  // A host creates a window for its page and makes it the main window. The
  // window forgets this role when destroyed.
  void setMainWindow(Window* window);
  Window* mainWindow() const;

  // Forwarders to the run loop's modal run.
  int runModal();
  Status stopModal();
  Status abortModal();

  // The user. Without a responder every panel is cancelled. Returns the
  // previous responder.
  PanelResponder setPanelResponder(PanelResponder responder);
  PanelResponder panelResponder() const;

  // Alerts shown so far (oldest first) and an optional listener told of each
  // one as it is shown (on the showing thread).
  std::vector<AlertRecord> alertsShown() const;
  void clearAlerts();
  void setAlertListener(std::function<void(const AlertRecord&)> listener);

  // Used by Window and Alert.
  void windowShown_(Window* window);
  void windowHidden_(Window* window);
  void windowDestroyed_(Window* window);
  void alertShown_(const AlertRecord& record);

 private:
  RunLoop& loop_;
  mutable std::mutex mutex_;
  std::vector<Window*> windows_;
  Window* mainWindow_ = nullptr;
  PanelResponder responder_;
  std::vector<AlertRecord> alerts_;
  std::function<void(const AlertRecord&)> alertListener_;
};

}  // namespace Desktop
