// The user's side of the dialog tests: the process's desktop application on
// the main run loop under the virtual clock, a page window as main window, a
// responder that records every panel, and the plug-in's log in a temporary
// folder.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <desktop/Panel.h>
#include <desktop/RunLoop.h>
#include <desktop/System.h>
#include <desktop/Window.h>
#include <gtest/gtest.h>
#include <taplatform/talog.h>

namespace Harlune {
namespace Web {

class DesktopUserTest : public ::testing::Test {
protected:
  using Answer = std::function<Desktop::PanelAnswer(Desktop::SavePanel&)>;

  static Desktop::RunLoop& loop() { return Desktop::RunLoop::main(); }
  static Desktop::Application& app() { return Desktop::Application::shared(); }

  void SetUp() override {
    loop().bindToCurrentThread();
    loop().setVirtualClock(true);
    char pattern[] = "/tmp/dialogs-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    _dir = pattern;
    ASSERT_EQ(ta_log_init(TA_LOG_TYPE_FILE, (_dir + "/plugin.log").c_str()), 0);
    ta_log_set_level(6);
    _page.reset(new Desktop::Window("page"));
    _page->show();
    app().setMainWindow(_page.get());
    app().clearAlerts();
    _previous = app().setPanelResponder(
        [this](Desktop::SavePanel& panel, const Desktop::PanelSettings& settings) {
          seen.push_back(settings);
          return answer ? answer(panel) : Desktop::PanelAnswer::cancel();
        });
  }

  void TearDown() override {
    app().setPanelResponder(_previous);
    _page.reset();
    app().clearAlerts();
    Desktop::setSystemVersionFailure(false);
    Desktop::setSystemVersion(Desktop::SystemVersion());
    ta_log_cleanup();
    ta_log_set_level(3);
    std::error_code ignored;
    std::filesystem::remove_all(_dir, ignored);
  }

  std::string log() const {
    std::ifstream in(_dir + "/plugin.log");
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
  bool logged(const std::string& line) const { return log().find(line) != std::string::npos; }

  // A file of that name with some bytes in the temporary folder.
  std::string makeFile(const std::string& name, const std::string& content = "data") const {
    const std::string path = _dir + "/" + name;
    std::ofstream(path) << content;
    return path;
  }

  static Answer choose(std::vector<std::string> paths) {
    return [paths](Desktop::SavePanel&) { return Desktop::PanelAnswer::choose(paths); };
  }
  // Leaves the panel up and queues `then` for the loop, which runs it inside
  // the panel's modal run.
  static Answer leaveOpenThen(std::function<void()> then) {
    return [then](Desktop::SavePanel&) {
      if (then) loop().performOnMainThread(then);
      return Desktop::PanelAnswer::leaveOpen();
    };
  }

  Answer answer;
  std::vector<Desktop::PanelSettings> seen;
  std::string _dir;

private:
  std::unique_ptr<Desktop::Window> _page;
  Desktop::PanelResponder _previous;
};

}  // namespace Web
}  // namespace Harlune
