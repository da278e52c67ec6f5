#include "desktop/Workspace.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

using namespace Desktop;

namespace {

std::string readFile(const std::string& path) {
  std::stringstream s;
  s << std::ifstream(path).rdbuf();
  return s.str();
}

// Waits for a condition that another process brings about; generous
// deadline, short pauses between looks.
bool eventually(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// Runs `fn` looking at the desktop from the session of `home`.
template <typename F>
auto inSession(const std::string& home, F fn) {
  const std::string old = getenv("HOME");
  setenv("HOME", home.c_str(), 1);
  auto result = fn();
  setenv("HOME", old.c_str(), 1);
  return result;
}

int countRunning(const std::string& id) {
  const auto apps = Workspace::runningApplications();
  return std::count_if(apps.begin(), apps.end(), [&](auto& a) { return a.bundleIdentifier == id; });
}

class WorkspaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/desktop-ws-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    root = dir;
    foreignHome = root + "/foreign";
    ASSERT_EQ(mkdir(foreignHome.c_str(), 0700), 0);
    bundle = root + "/Test App.app";
    const std::string program = bundle + "/Contents/MacOS/" + name;
    std::system(("mkdir -p '" + bundle + "/Contents/MacOS' && cp '" DESKTOP_IDLE_APP "' '" +
                 program + "'").c_str());
  }
  void TearDown() override {
    killProcessesNamed(name, SIGKILL);
    inSession(foreignHome, [&] { return killProcessesNamed(name, SIGKILL); });
    std::system(("rm -rf '" + root + "'").c_str());
  }
  // Runs `open` on the bundle in the session of `home` (ours when empty); its
  // exit status. With `times` > 1, that many run at once and each failure
  // adds a line to the error file.
  int runOpen(int times = 1, const std::string& home = "", std::string path = "") {
    std::string command = home.empty() ? "" : "export HOME='" + home + "'; ";
    path = path.empty() ? bundle : path;
    const std::string open = DESKTOP_OPEN_PATH " '" + path + "' 2>>'" + err + "'";
    for (int i = 0; i < times; ++i) {
      command += times == 1 ? open : "{ " + open + " || echo failed >>'" + err + "'; } & ";
    }
    const int status = std::system((command + (times > 1 ? "wait" : "")).c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // A process name no other process on the machine has (at most 15 bytes).
  const std::string name = "dk" + std::to_string(getpid());
  const std::string id = "com.example.desktop-test." + name;
  std::string root, bundle, foreignHome, err;  // foreignHome: another session's HOME
};

// Our session is our HOME: a copy started in another HOME is neither listed,
// nor counted as running here, nor ended by name, and it lives on.
TEST_F(WorkspaceTest, OpenStartsOneDetachedCopyPerSessionListedUntilKilledByName) {
  err = root + "/err";
  std::ofstream(bundle + "/Contents/Info") << "identifier=" + id + "\nexecutable=" + name + "\n";
  ASSERT_EQ(runOpen(1, foreignHome), 0) << readFile(err);
  int foreign = -1;
  ASSERT_TRUE(eventually([&] {
    return (foreign = inSession(foreignHome, [&] {
              return Workspace::processIdentifierForBundle(id);
            })) > 0;
  }));
  EXPECT_EQ(countRunning(id), 0);
  EXPECT_EQ(killProcessesNamed(name), 0);
  const std::vector<int> session = Workspace::sessionProcesses();
  EXPECT_TRUE(std::find(session.begin(), session.end(), foreign) == session.end());
  const std::string report = bundle + "/Contents/MacOS/launched.txt";
  ASSERT_TRUE(eventually([&] { return unlink(report.c_str()) == 0; }));

  // Not running here, so racing opens start exactly one copy; a later open
  // activates it and starts nothing.
  ASSERT_EQ(runOpen(5), 0);
  EXPECT_EQ(readFile(err), "");
  const int ours = Workspace::processIdentifierForBundle(id);
  EXPECT_GT(ours, 0);
  EXPECT_EQ(runOpen(), 0) << readFile(err);
  EXPECT_EQ(Workspace::processIdentifierForBundle(id), ours);
  EXPECT_EQ(countRunning(id), 1);
  const auto apps = Workspace::runningApplications();
  const auto it = std::find_if(apps.begin(), apps.end(),
                               [&](auto& a) { return a.processIdentifier == ours; });
  ASSERT_NE(it, apps.end());
  EXPECT_EQ(it->bundlePath, bundle);
  // The program saw its environment, its working folder and no terminal.
  ASSERT_TRUE(eventually([&] { return access(report.c_str(), F_OK) == 0; }));
  EXPECT_EQ(readFile(report), bundle + "/Contents/MacOS\n" + id + "\n" + bundle + "\n0\n");

  EXPECT_EQ(killProcessesNamed(name), 1);
  EXPECT_TRUE(eventually([&] { return countRunning(id) == 0; }));
  EXPECT_EQ(kill(foreign, 0), 0);  // the other session's copy lives on
  EXPECT_EQ(inSession(foreignHome, [&] { return killProcessesNamed(name, SIGKILL); }), 1);
}

TEST_F(WorkspaceTest, OpenFailsWithStatusOneForABadBundle) {
  err = root + "/err";
  EXPECT_EQ(runOpen(), 1);  // no Info file
  EXPECT_NE(readFile(err).find("Info"), std::string::npos);
  for (const char* info : {"identifier=x\n", "executable=p\n", "identifier=x\nexecutable=../p\n",
                           "identifier=x\nexecutable p\n", "identifier=x\nexecutable=missing\n"}) {
    std::ofstream(bundle + "/Contents/Info") << info;
    EXPECT_EQ(runOpen(), 1) << info;
  }
  EXPECT_EQ(runOpen(1, "", root + "/Nothing.app"), 1);
  EXPECT_EQ(Workspace::processIdentifierForBundle("x"), -1);
  // Comments, blank lines, spaces and other keys are allowed.
  BundleInfo info;
  ASSERT_EQ(parseBundleInfo("# c\n identifier = a.b \n\nexecutable=prog\nother=x\n", info),
            Status::Ok);
  EXPECT_EQ(info.identifier + " " + info.executable, "a.b prog");
}

TEST(KillProcesses, OnlyExactNamesAreEnded) {
  const std::string name = "dq" + std::to_string(getpid());
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    prctl(PR_SET_NAME, name.c_str());
    for (;;) pause();
  }
  const std::string commPath = "/proc/" + std::to_string(child) + "/comm";
  ASSERT_TRUE(eventually([&] { return readFile(commPath) == name + "\n"; }));
  EXPECT_EQ(killProcessesNamed(name.substr(0, name.size() - 1)), 0);  // a prefix is not the name
  EXPECT_EQ(killProcessesNamed(name + "x"), 0);
  EXPECT_EQ(kill(child, 0), 0);
  EXPECT_EQ(killProcessesNamed(name, SIGKILL), 1);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
}

}  // namespace
