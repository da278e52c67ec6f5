#include "link/HarluneApp.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <desktop/Workspace.h>
#include <gtest/gtest.h>
#include <taplatform/talog.h>

#include "FakeHarlune.h"
#include "link/HttpRequest.h"

namespace Harlune {
namespace Web {
namespace {

using Testing::FakeHarlune;
using Testing::TempHome;

const std::string kRun = "Library/Application Support/Tarsen/Tarsen Harlune/var/run/";
const char kHintFile[] =
    "Library/Application Support/Tarsen/Tarsen Harlune/etc/tarsenharlune.path";

// Makes "Tarsen Harlune.app" in `folder` whose program runs `script`.
void makeBundle(const TempHome& home, const std::string& folder, const std::string& script) {
  const std::string contents = folder + "/Tarsen Harlune.app/Contents";
  home.writeFile(contents + "/Info",
                 "identifier=com.tarsen.harlune\nexecutable=tarsenharlune\n");
  home.writeFile(contents + "/MacOS/tarsenharlune", "#!/bin/sh\n" + script);
  ::chmod((home.path() + "/" + contents + "/MacOS/tarsenharlune").c_str(), 0755);
}

// Waits for what another process brings about; generous deadline.
bool eventually(const std::function<bool()>& condition) {
  for (int i = 0; i < 2000; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return condition();
}

// Runs the bundle in `home` through `open`, in that home's session.
int openBundle(const std::string& home, const std::string& folder) {
  return std::system(("export HOME='" + home + "'; '" DESKTOP_OPEN_DIR "/open' \"$HOME/" + folder +
                      "/Tarsen Harlune.app\"").c_str());
}

TEST(HarluneApp, BundleSearchUrlKeyAndLiveness) {
  // A hint names the first folder to search; without the bundle there, only
  // the system's folder is searched.
  const char* searches[][2] = {{"", "/Applications"},
                               {"/empty-folder", ""},
                               {"/elsewhere\nignored second line", "/elsewhere"}};
  for (const auto& c : searches) {
    TempHome home;
    makeBundle(home, "Applications", "exit 0\n");
    makeBundle(home, "elsewhere", "exit 0\n");
    if (*c[0]) home.writeFile(kHintFile, home.path() + c[0]);
    EXPECT_EQ(HarluneApp::binPath(), *c[1] ? home.path() + c[1] + "/Tarsen Harlune.app" : "");
  }

  TempHome home;
  // The key is everything after the first line feed, read afresh each time.
  const char* keys[][2] = {
      {"", ""}, {"u\nkey\nwith lines\n", "key\nwith lines\n"}, {"u", "u"}};
  for (const auto& k : keys) {
    home.writeFile(kRun + "http.uri", k[0]);
    EXPECT_EQ(HarluneApp::harluneUUID(), k[1]);
  }

  // The URL is cached until a liveness check fails; any well-formed answer
  // means running, so a launch starts nothing.
  auto second = std::make_unique<FakeHarlune>();
  {
    FakeHarlune first(FakeHarlune::okHandler("", 500));
    first.publish(home);
    EXPECT_EQ(HarluneApp::url().port(0), first.port());
    second->publish(home);
    EXPECT_EQ(HarluneApp::url().port(0), first.port());
    EXPECT_TRUE(HarluneApp::launch());
    EXPECT_EQ(first.requests().size(), 1u);
  }
  // Gone: the next check reads the file again.
  EXPECT_TRUE(HarluneApp::isRunning());
  EXPECT_EQ(HarluneApp::url().port(0), second->port());
  ASSERT_EQ(second->requests().size(), 1u);
  EXPECT_EQ(second->requests()[0].rfind("GET /v5/harlune/info/ping HTTP/1.1\r\n", 0), 0u);
  second.reset();
  EXPECT_FALSE(HarluneApp::isRunning());  // same port, still dead
}

TEST(HarluneApp, TerminateEndsTheCopyOfThisSessionThatAnswers404) {
  TempHome home;
  // A 404 ends the application's processes of this session only.
  makeBundle(home, "Applications", "while :; do sleep 0.05; done\n");
  ASSERT_EQ(openBundle(home.path(), "Applications"), 0);
  FakeHarlune missing(FakeHarlune::okHandler("", 404));
  missing.publish(home);
  EXPECT_TRUE(HarluneApp::terminate());
  EXPECT_TRUE(eventually([] {
    return Desktop::Workspace::processIdentifierForBundle(kHarluneBundleIdentifier) == -1;
  }));
}

#ifdef HARLUNE_SIM_PATH
std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// harlune-sim started through `open` in a HOME of its own: another session's
// copy of the application, same bundle identifier and process name.
class ForeignApplication {
public:
  ForeignApplication() {
    char pattern[] = "/tmp/tarsen-foreign-XXXXXX";
    if (!::mkdtemp(pattern)) return;
    _home = pattern;
    const std::string install = "HOME='" + _home + "' '" HARLUNE_SIM_PATH "' --make-bundle '" +
                                _home + "/Applications' > /dev/null";
    if (std::system(install.c_str()) != 0 || openBundle(_home, "Applications") != 0) return;
    const std::string pidFile = _home + "/" + kRun + "process.pid";
    eventually([&] { return (_pid = std::atoi(slurp(pidFile).c_str())) > 0; });
  }
  ~ForeignApplication() {
    if (_pid > 0) ::kill(_pid, SIGKILL);  // started above, by this test
    if (!_home.empty()) std::system(("rm -rf '" + _home + "'").c_str());
  }
  int pid() const { return _pid; }
  bool alive() const { return _pid > 0 && ::kill(_pid, 0) == 0; }

private:
  std::string _home;
  int _pid = 0;
};

// Launches through the `open` first on PATH, each in its own HOME (session);
// another session's copy of the application must never be named in the log.
class HarluneAppLaunch : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_GT(_foreign.pid(), 0);
    ::setenv("PATH", (std::string(DESKTOP_OPEN_DIR) + ":" + _oldPath).c_str(), 1);
    ASSERT_EQ(ta_log_init(TA_LOG_TYPE_FILE, _logPath.c_str()), 0);
    ta_log_set_level(6);
  }
  void TearDown() override {
    ta_log_cleanup();
    ta_log_set_level(3);
    ::setenv("PATH", _oldPath.c_str(), 1);
    HarluneApp::setLaunchTimeoutMs(20000);
    // The session is this test's own HOME: whatever it lists was started here.
    for (const Desktop::RunningApplication& app : Desktop::Workspace::runningApplications()) {
      if (app.bundleIdentifier == kHarluneBundleIdentifier) ::kill(app.processIdentifier, SIGKILL);
    }
    EXPECT_TRUE(_foreign.alive());
    EXPECT_EQ(slurp(_logPath).find("(pid: " + std::to_string(_foreign.pid()) + ")"),
              std::string::npos);
  }

  ForeignApplication _foreign;
  TempHome _home;
  const std::string _oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
  const std::string _logPath = _home.path() + "/launch.log";
};

// Launches that do not wait each run `open` again, which activates the copy
// already started: one application, no shell left unreaped.
TEST_F(HarluneAppLaunch, RepeatedLaunchesWithoutWaitStartOneApplicationAndLeaveNoZombie) {
  const std::string install = std::string("'") + HARLUNE_SIM_PATH + "' --make-bundle '" +
                              _home.path() + "/Applications' --write-path-hint > /dev/null";
  ASSERT_EQ(std::system(install.c_str()), 0);
  HarluneApp::setLaunchTimeoutMs(0);
  for (int i = 0; i < 20; ++i) HarluneApp::launch();
  // Every `open` has ended when the session holds nothing but the application.
  ASSERT_TRUE(eventually([] {
    const std::vector<int> session = Desktop::Workspace::sessionProcesses();
    return session.size() == 1 && HarluneApp::pid() == session[0];
  }));
  EXPECT_TRUE(HarluneApp::isRunning());
  EXPECT_EQ(Desktop::Workspace::processIdentifierForBundle(kHarluneBundleIdentifier),
            HarluneApp::pid());

  FILE* ps = ::popen(("ps -o stat= --ppid " + std::to_string(::getpid())).c_str(), "r");
  ASSERT_NE(ps, nullptr);
  std::string states;
  for (int c; (c = std::fgetc(ps)) != EOF;) states += static_cast<char>(c);
  ::pclose(ps);
  EXPECT_EQ(states.find('Z'), std::string::npos) << states;
}
#endif

}  // namespace
}  // namespace Web
}  // namespace Harlune
