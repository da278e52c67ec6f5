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

// Runs `open` on a bundle in the session of `home` (ours when empty); its
// exit status, or -1 when it did not exit. With `times` > 1, that many run at
// once and each failure adds a line to `err`.
int runOpen(const std::string& bundle, const std::string& err, int times = 1,
            const std::string& home = "") {
  std::string command = home.empty() ? "" : "export HOME='" + home + "'; ";
  const std::string open = std::string(DESKTOP_OPEN_PATH) + " '" + bundle + "' 2>>'" + err + "'";
  const std::string racing = "{ " + open + " || echo failed >>'" + err + "'; } & ";
  for (int i = 0; i < times; ++i) command += times == 1 ? open : racing;
  if (times > 1) command += "wait";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int countRunning(const std::string& id) {
  int count = 0;
  for (const RunningApplication& app : Workspace::runningApplications()) {
    count += app.bundleIdentifier == id;
  }
  return count;
}

// Looks at the desktop from another session for as long as it lives.
class InSession {
 public:
  explicit InSession(const std::string& home) : old_(std::getenv("HOME")) {
    setenv("HOME", home.c_str(), 1);
  }
  ~InSession() { setenv("HOME", old_.c_str(), 1); }

 private:
  std::string old_;
};

class WorkspaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/desktop-ws-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    root = dir;
    foreignHome = root + "/foreign";
    ASSERT_EQ(mkdir(foreignHome.c_str(), 0700), 0);
    bundle = root + "/Test App.app";
    std::system(("mkdir -p '" + bundle + "/Contents/MacOS'").c_str());
  }
  void TearDown() override {
    killProcessesNamed(name, SIGKILL);
    {
      InSession foreign(foreignHome);
      killProcessesNamed(name, SIGKILL);
    }
    std::system(("rm -rf '" + root + "'").c_str());
  }
  // The bundle with this Info and a copy of the idle application as its program.
  void makeBundle(const std::string& info) {
    if (!info.empty()) std::ofstream(bundle + "/Contents/Info") << info;
    const std::string program = bundle + "/Contents/MacOS/" + name;
    std::system(("cp '" + std::string(DESKTOP_IDLE_APP) + "' '" + program + "'").c_str());
  }

  // A process name no other process on the machine has (at most 15 bytes).
  const std::string name = "dk" + std::to_string(getpid());
  const std::string id = "com.example.desktop-test." + name;
  std::string root, bundle;
  std::string foreignHome;  // another session's HOME
};

TEST(BundleInfo, ParsesKeyValueLinesAndRefusesIncompleteOnes) {
  BundleInfo info;
  ASSERT_EQ(parseBundleInfo("# c\n identifier = com.example.app \n\nexecutable=prog\nother=x\n",
                            info),
            Status::Ok);
  EXPECT_EQ(info.identifier + " " + info.executable, "com.example.app prog");
  std::string why;
  EXPECT_EQ(parseBundleInfo("identifier=a\n", info, &why), Status::BadBundle);
  EXPECT_FALSE(why.empty());
  for (const char* bad : {"executable=p\n", "identifier=a\nexecutable=../p\n",
                          "identifier=a\nexecutable p\n"}) {
    EXPECT_EQ(parseBundleInfo(bad, info), Status::BadBundle) << bad;
  }
}

// Our session is our HOME: a copy started in another HOME is neither listed,
// nor counted as running here, nor ended by name.
TEST_F(WorkspaceTest, OpenStartsOneDetachedCopyPerSessionListedUntilKilledByName) {
  makeBundle("identifier=" + id + "\nexecutable=" + name + "\n");
  const std::string err = root + "/err";
  ASSERT_EQ(runOpen(bundle, err, 1, foreignHome), 0) << readFile(err);
  int foreign = -1;
  {
    InSession there(foreignHome);
    ASSERT_TRUE(eventually([&] {
      return (foreign = Workspace::processIdentifierForBundle(id)) > 0;
    }));
  }
  EXPECT_EQ(countRunning(id), 0);
  EXPECT_EQ(killProcessesNamed(name), 0);
  const std::vector<int> session = Workspace::sessionProcesses();
  EXPECT_TRUE(std::find(session.begin(), session.end(), foreign) == session.end());
  const std::string report = bundle + "/Contents/MacOS/launched.txt";
  ASSERT_TRUE(eventually([&] { return access(report.c_str(), F_OK) == 0; }));
  ASSERT_EQ(unlink(report.c_str()), 0);

  // Not running here, so racing opens start exactly one copy; a later open
  // activates it and starts nothing.
  ASSERT_EQ(runOpen(bundle, err, 5), 0);
  EXPECT_EQ(readFile(err), "");
  const int ours = Workspace::processIdentifierForBundle(id);
  EXPECT_GT(ours, 0);
  EXPECT_NE(ours, foreign);
  EXPECT_EQ(runOpen(bundle, err), 0) << readFile(err);
  EXPECT_EQ(Workspace::processIdentifierForBundle(id), ours);
  int listed = 0;
  for (const RunningApplication& app : Workspace::runningApplications()) {
    if (app.bundleIdentifier != id) continue;
    ++listed;
    EXPECT_EQ(app.processIdentifier, ours);
    EXPECT_EQ(app.bundlePath, bundle);
  }
  EXPECT_EQ(listed, 1);
  // The program saw its environment, its working folder and no terminal.
  ASSERT_TRUE(eventually([&] { return access(report.c_str(), F_OK) == 0; }));
  EXPECT_EQ(readFile(report), bundle + "/Contents/MacOS\n" + id + "\n" + bundle + "\n0\n");

  EXPECT_EQ(killProcessesNamed(name), 1);
  EXPECT_TRUE(eventually([&] { return countRunning(id) == 0; }));
  EXPECT_EQ(killProcessesNamed(name), 0);
  EXPECT_EQ(kill(foreign, 0), 0);  // the other session's copy lives on
  InSession there(foreignHome);
  EXPECT_EQ(killProcessesNamed(name, SIGKILL), 1);
}

TEST_F(WorkspaceTest, OpenFailsWithStatusOneForABadBundle) {
  const std::string err = root + "/err";
  makeBundle("");  // no Info file
  EXPECT_EQ(runOpen(bundle, err), 1);
  EXPECT_NE(readFile(err).find("Info"), std::string::npos);
  for (const char* info : {"identifier=x\n", "identifier=x\nexecutable=missing\n"}) {
    std::ofstream(bundle + "/Contents/Info") << info;
    EXPECT_EQ(runOpen(bundle, err), 1) << info;
  }
  EXPECT_EQ(runOpen(root + "/Nothing.app", err), 1);
  EXPECT_EQ(Workspace::processIdentifierForBundle("x"), -1);
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
