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
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
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

// Runs `open` on a bundle; its exit status, or -1 when it did not exit.
// `home` runs it in another session. With `times` > 1, that many run at once
// and each failure adds a line to `errFile`.
int runOpen(const std::string& bundle, const std::string& errFile, int times = 1,
            const std::string& home = "") {
  std::string command = home.empty() ? "" : "export HOME='" + home + "'; ";
  const std::string open = std::string(DESKTOP_OPEN_PATH) + " '" + bundle + "' 2>>'" + errFile + "'";
  if (times == 1) command += open;
  for (int i = 0; times > 1 && i < times; ++i) command += "{ " + open + " || echo failed >>'" + errFile + "'; } & ";
  if (times > 1) command += "wait";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int countRunning(const std::string& id) {
  int count = 0;
  for (const RunningApplication& app : Workspace::runningApplications()) count += app.bundleIdentifier == id;
  return count;
}

// Looks at the desktop from another session for as long as it lives.
class InSession {
 public:
  explicit InSession(const std::string& home) : old_(std::getenv("HOME")) { setenv("HOME", home.c_str(), 1); }
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
    // A process name no other process on the machine has (at most 15 bytes).
    name = "dk" + std::to_string(getpid());
    foreignHome = root + "/foreign";
    ASSERT_EQ(mkdir(foreignHome.c_str(), 0700), 0);
  }
  void TearDown() override {
    killProcessesNamed(name, SIGKILL);
    {
      InSession foreign(foreignHome);
      killProcessesNamed(name, SIGKILL);
    }
    std::system(("rm -rf '" + root + "'").c_str());
  }

  // NAME.app holding a copy of the idle application as its program.
  std::string makeBundle(const std::string& info, bool withProgram = true) {
    const std::string bundle = root + "/Test App.app";
    std::system(("mkdir -p '" + bundle + "/Contents/MacOS'").c_str());
    if (!info.empty()) std::ofstream(bundle + "/Contents/Info") << info;
    if (withProgram) {
      std::system(("cp '" + std::string(DESKTOP_IDLE_APP) + "' '" + bundle + "/Contents/MacOS/" + name + "'").c_str());
    }
    return bundle;
  }

  std::string root;
  std::string name;
  std::string foreignHome;  // another session's HOME
};

TEST(BundleInfo, ParsesKeyValueLinesAndRefusesIncompleteOnes) {
  BundleInfo info;
  ASSERT_EQ(parseBundleInfo("# test\n identifier = com.example.app \n\nexecutable=prog\nother=x\n", info),
            Status::Ok);
  EXPECT_EQ(info.identifier, "com.example.app");
  EXPECT_EQ(info.executable, "prog");
  std::string why;
  EXPECT_EQ(parseBundleInfo("identifier=a\n", info, &why), Status::BadBundle);
  EXPECT_FALSE(why.empty());
  EXPECT_EQ(parseBundleInfo("executable=p\n", info), Status::BadBundle);
  EXPECT_EQ(parseBundleInfo("identifier=a\nexecutable=../p\n", info), Status::BadBundle);
  EXPECT_EQ(parseBundleInfo("identifier=a\nexecutable p\n", info), Status::BadBundle);
}

TEST_F(WorkspaceTest, OpenStartsTheBundleDetachedAndItIsListedUntilKilledByName) {
  const std::string id = "com.example.desktop-test." + name;
  const std::string bundle = makeBundle("identifier=" + id + "\nexecutable=" + name + "\n");
  ASSERT_EQ(runOpen(bundle, root + "/err"), 0) << readFile(root + "/err");

  int pid = -1;
  ASSERT_TRUE(eventually([&] { return (pid = Workspace::processIdentifierForBundle(id)) > 0; }));
  bool listed = false;
  for (const RunningApplication& app : Workspace::runningApplications()) {
    if (app.processIdentifier == pid) {
      listed = true;
      EXPECT_EQ(app.bundleIdentifier, id);
      EXPECT_EQ(app.bundlePath, bundle);
    }
  }
  EXPECT_TRUE(listed);

  // The program saw its environment, its working folder and no terminal.
  const std::string report = bundle + "/Contents/MacOS/launched.txt";
  ASSERT_TRUE(eventually([&] { return access(report.c_str(), F_OK) == 0; }));
  EXPECT_EQ(readFile(report), bundle + "/Contents/MacOS\n" + id + "\n" + bundle + "\n0\n");

  EXPECT_EQ(killProcessesNamed(name), 1);
  EXPECT_TRUE(eventually([&] { return Workspace::processIdentifierForBundle(id) == -1; }));
  EXPECT_EQ(killProcessesNamed(name), 0);
}

TEST_F(WorkspaceTest, SessionIsOurHomeAndOpenOfARunningBundleActivatesIt) {
  const std::string id = "com.example.desktop-test." + name;
  const std::string bundle = makeBundle("identifier=" + id + "\nexecutable=" + name + "\n");
  const std::string err = root + "/err";
  // The same bundle started in another HOME: another session's application.
  ASSERT_EQ(runOpen(bundle, err, 1, foreignHome), 0) << readFile(err);
  int foreign = -1;
  {
    InSession there(foreignHome);
    ASSERT_TRUE(eventually([&] { return (foreign = Workspace::processIdentifierForBundle(id)) > 0; }));
  }
  EXPECT_EQ(countRunning(id), 0);
  EXPECT_EQ(killProcessesNamed(name), 0);
  const std::vector<int> session = Workspace::sessionProcesses();
  EXPECT_TRUE(std::find(session.begin(), session.end(), foreign) == session.end());

  // Not running here, so racing opens start exactly one copy; a later open
  // activates it and starts nothing.
  ASSERT_EQ(runOpen(bundle, err, 5), 0);
  EXPECT_EQ(readFile(err), "");
  const int ours = Workspace::processIdentifierForBundle(id);
  EXPECT_GT(ours, 0);
  EXPECT_NE(ours, foreign);
  EXPECT_EQ(countRunning(id), 1);
  EXPECT_EQ(runOpen(bundle, err), 0) << readFile(err);
  EXPECT_EQ(Workspace::processIdentifierForBundle(id), ours);
  EXPECT_EQ(countRunning(id), 1);

  EXPECT_EQ(killProcessesNamed(name), 1);
  EXPECT_TRUE(eventually([&] { return countRunning(id) == 0; }));
  EXPECT_EQ(kill(foreign, 0), 0);  // the other session's copy lives on
  InSession there(foreignHome);
  EXPECT_EQ(killProcessesNamed(name, SIGKILL), 1);
}

TEST_F(WorkspaceTest, OpenFailsWithStatusOneForABadBundle) {
  const std::string err = root + "/err";
  const std::string bundle = makeBundle("");  // no Info file
  EXPECT_EQ(runOpen(bundle, err), 1);
  EXPECT_NE(readFile(err).find("Info"), std::string::npos);

  std::ofstream(bundle + "/Contents/Info") << "identifier=x\n";  // no executable
  EXPECT_EQ(runOpen(bundle, err), 1);
  EXPECT_FALSE(readFile(err).empty());

  std::ofstream(bundle + "/Contents/Info") << "identifier=x\nexecutable=missing\n";
  EXPECT_EQ(runOpen(bundle, err), 1);
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
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGKILL);
}

}  // namespace
