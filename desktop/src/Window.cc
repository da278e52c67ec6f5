#include "desktop/Window.h"

#include <algorithm>

#include "desktop/Panel.h"
#include "desktop/RunLoop.h"

namespace Desktop {

Window::Window(std::string title) : Window(Application::shared(), std::move(title)) {}

Window::Window(Application& app, std::string title) : app_(app), title_(std::move(title)) {}

Window::~Window() { app_.windowDestroyed_(this); }

bool Window::isKindOfSavePanel() const {
  const WindowKind k = kind();
  return k == WindowKind::SavePanel || k == WindowKind::OpenPanel;
}

void Window::show() { app_.windowShown_(this); }

void Window::close() { app_.windowHidden_(this); }

bool Window::isVisible() const { return app_.contains(this); }

void Alert::beginSheetModalForWindow(const Window* parent, Application& app) {
  AlertRecord shown = record_;
  shown.asSheet = true;
  shown.parent = parent;
  if (parent != nullptr) shown.parentTitle = parent->title();
  app.alertShown_(shown);
}

void Alert::beginSheetModalForWindow(const Window* parent) {
  beginSheetModalForWindow(parent, Application::shared());
}

Application& Application::shared() {
  // Never destroyed, like the run loop it sits on.
  static Application* app = new Application(RunLoop::main());
  return *app;
}

Application::Application(RunLoop& loop) : loop_(loop) {}

std::vector<Window*> Application::windows() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return windows_;
}

bool Application::contains(const Window* window) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::find(windows_.begin(), windows_.end(), window) != windows_.end();
}

SavePanel* Application::firstVisibleSavePanel() const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (Window* w : windows_) {
    if (w->isKindOfSavePanel()) return static_cast<SavePanel*>(w);
  }
  return nullptr;
}

void Application::setMainWindow(Window* window) {
  std::lock_guard<std::mutex> lock(mutex_);
  mainWindow_ = window;
}

Window* Application::mainWindow() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return mainWindow_;
}

int Application::runModal() { return loop_.runModal(); }
Status Application::stopModal() { return loop_.stopModal(); }
Status Application::abortModal() { return loop_.abortModal(); }

PanelResponder Application::setPanelResponder(PanelResponder responder) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::swap(responder_, responder);
  return responder;
}

PanelResponder Application::panelResponder() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return responder_;
}

std::vector<AlertRecord> Application::alertsShown() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return alerts_;
}

void Application::clearAlerts() {
  std::lock_guard<std::mutex> lock(mutex_);
  alerts_.clear();
}

void Application::setAlertListener(std::function<void(const AlertRecord&)> listener) {
  std::lock_guard<std::mutex> lock(mutex_);
  alertListener_ = std::move(listener);
}

void Application::windowShown_(Window* window) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (std::find(windows_.begin(), windows_.end(), window) == windows_.end()) {
    windows_.push_back(window);
  }
}

void Application::windowHidden_(Window* window) {
  std::lock_guard<std::mutex> lock(mutex_);
  windows_.erase(std::remove(windows_.begin(), windows_.end(), window), windows_.end());
}

void Application::windowDestroyed_(Window* window) {
  std::lock_guard<std::mutex> lock(mutex_);
  windows_.erase(std::remove(windows_.begin(), windows_.end(), window), windows_.end());
  if (mainWindow_ == window) mainWindow_ = nullptr;
}

void Application::alertShown_(const AlertRecord& record) {
  std::function<void(const AlertRecord&)> listener;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    alerts_.push_back(record);
    listener = alertListener_;
  }
  if (listener) listener(record);
}

}  // namespace Desktop
