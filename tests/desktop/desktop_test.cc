// The desktop where the pages cannot reach: the run loop's timer order and
// modes, virtual time-outs and threads; refused panel answers; launching
// applications per session, and ending processes only by their exact name.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <numeric>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "desktop/Drawing.h"
#include "desktop/Panel.h"
#include "desktop/RunLoop.h"
#include "desktop/System.h"
#include "desktop/Window.h"
#include "desktop/Workspace.h"

using namespace Desktop;
using Strings = std::vector<std::string>;

namespace {

// Producers post numbered items from several threads; every item arrives on
// the loop's thread, each producer's items in order.
TEST(RunLoop, PostedWorkArrivesCompleteInOrderAndOnALaterTurn) {
  RunLoop loop;
  loop.bindToCurrentThread();
  constexpr int kProducers = 4, kItems = 500;
  std::vector<std::vector<int>> seen(kProducers);
  std::atomic<int> total{0};
  std::vector<std::thread> producers;
  for (int p = 0; p < kProducers; ++p) {
    producers.emplace_back([&, p] {
      for (int i = 0; i < kItems; ++i) {
        loop.performOnMainThread([&, p, i] {
          EXPECT_TRUE(loop.isLoopThread());
          seen[p].push_back(i);
          ++total;
        });
      }
    });
  }
  ASSERT_TRUE(loop.runUntil([&] { return total == kProducers * kItems; }, loop.now() + 60));
  for (auto& t : producers) t.join();
  std::vector<int> inOrder(kItems);
  std::iota(inOrder.begin(), inOrder.end(), 0);
  for (int p = 0; p < kProducers; ++p) EXPECT_EQ(seen[p], inOrder);
  // Only the bound thread may run the loop.
  std::thread([&] { EXPECT_THROW(loop.runOnce(), std::logic_error); }).join();
  // Work posted by a running item never runs within that item's turn.
  Strings order;
  loop.performOnMainThread([&] {
    order.push_back("a");
    loop.performOnMainThread([&] { order.push_back("a2"); });
  });
  loop.performOnMainThread([&] { order.push_back("b"); });
  EXPECT_TRUE(loop.runOnce());
  EXPECT_EQ(order, (Strings{"a"}));
  loop.runUntil([&] { return order.size() == 3; }, loop.now() + 10);
  EXPECT_EQ(order, (Strings{"a", "b", "a2"}));
}

TEST(RunLoop, TimersFireOnlyInTheirModesInDueOrderAndCanBeInvalidated) {
  RunLoop loop;
  loop.setVirtualClock(true);
  Strings fired;
  auto add = [&](double at, ModeSet modes, std::string name) {
    return loop.addTimer(at, modes, [&fired, name] { fired.push_back(name); });
  };
  add(2, kModeDefault, "default@2");
  add(1, kModeModalPanel, "modal@1");
  add(3, kAllModes, "all@3");
  add(2, kAllModes, "all@2");  // due with default@2, added after it
  const TimerId cancelled = add(1, kAllModes, "cancelled");
  TimerId self = 0;
  bool selfInvalidate = true;
  self = loop.addTimer(4, kAllModes, [&] { selfInvalidate = loop.invalidateTimer(self); });
  EXPECT_TRUE(loop.invalidateTimer(cancelled));
  EXPECT_FALSE(loop.invalidateTimer(cancelled));
  const double start = loop.now();
  loop.runFor(5);  // a default-mode run passes the modal-only timer by
  EXPECT_EQ(fired, (Strings{"default@2", "all@2", "all@3"}));
  EXPECT_DOUBLE_EQ(loop.now() - start, 5);
  EXPECT_FALSE(selfInvalidate);  // already gone when it runs
  EXPECT_EQ(loop.pendingTimerCount(), 1u);
  // A modal run lets the overdue modal timer fire before a later one that ends the run.
  loop.addTimer(1, kModeModalPanel, [&] { loop.stopModalWithCode(7); });
  EXPECT_EQ(loop.runModal(), 7);
  EXPECT_EQ(fired.back(), "modal@1");
  EXPECT_EQ(loop.pendingTimerCount(), 0u);
}

TEST(RunLoop, ModalRunsEndByAbortStopOrAnotherThreadAndHeldClocksWait) {
  RunLoop loop;
  EXPECT_EQ(loop.abortModal(), Status::NoModalRun);
  EXPECT_EQ(loop.stopModal(), Status::NoModalRun);
  // A stale stop must not end a later run: this one ends by another thread's abort.
  std::thread worker;
  loop.performOnMainThread([&] { worker = std::thread([&] { loop.abortModal(); }); });
  EXPECT_EQ(loop.runModal(), kModalResponseAbort);
  worker.join();
  loop.setVirtualClock(true);
  const double start = loop.now();
  loop.addTimer(43, kModeModalPanel, [&] { EXPECT_EQ(loop.abortModal(), Status::Ok); });
  EXPECT_EQ(loop.runModal(), kModalResponseAbort);
  EXPECT_DOUBLE_EQ(loop.now() - start, 43);  // a virtual time-out takes no real time
  loop.performOnMainThread([&] {
    EXPECT_EQ(loop.currentMode(), Mode::ModalPanel);
    loop.stopModal();
  });
  EXPECT_EQ(loop.runModal(), kModalResponseStop);
  EXPECT_FALSE(loop.isInModalRun());
  // runUntil a deadline jumps to it.
  EXPECT_FALSE(loop.runUntil([] { return false; }, start + 100));
  EXPECT_DOUBLE_EQ(loop.now(), start + 100);
  // While the clock is held an idle loop waits for real work instead of
  // jumping past the worker's answer to the time-out.
  bool timedOut = false, answered = false;
  loop.addTimer(43, kAllModes, [&] { timedOut = true; });
  {
    RunLoop::ClockHold hold(loop);
    worker = std::thread([&] { loop.performOnMainThread([&] { answered = true; }); });
    loop.runUntil([&] { return answered || timedOut; });
  }
  worker.join();
  EXPECT_TRUE(answered && !timedOut);
  EXPECT_DOUBLE_EQ(loop.now(), start + 100);
  loop.runUntil([&] { return timedOut; });
  EXPECT_DOUBLE_EQ(loop.now(), start + 143);
  loop.setVirtualClock(false);  // switching clocks keeps time continuous
  EXPECT_GE(loop.now(), start + 143);
  std::atomic<bool> flag{false};
  std::thread setter([&] {
    flag = true;
    loop.wakeUp();
  });
  EXPECT_TRUE(loop.runUntil([&] { return flag.load(); }));
  setter.join();
}

// A panel allowing one choice refuses several, as a responder failure does:
// the run throws and the panel is hidden. Answers come once, while it runs;
// an unanswered panel is closed and its run aborted by a 43-second timer.
TEST(Panel, RefusedChoicesFailuresLateAnswersAndTheTimeOut) {
  RunLoop loop;
  loop.setVirtualClock(true);
  Application app(loop);
  OpenPanel panel(app);
  EXPECT_EQ(panel.runModal(), kModalResponseCancel);  // no responder
  app.setPanelResponder([](SavePanel&, const PanelSettings&) {
    return PanelAnswer::choose({"/tmp/a", "/tmp/b"});
  });
  EXPECT_THROW(panel.runModal(), PanelException);
  panel.setAllowsMultipleSelection(true);
  EXPECT_EQ(panel.runModal(), kModalResponseOK);
  EXPECT_EQ(panel.filenames(), (Strings{"/tmp/a", "/tmp/b"}));
  app.setPanelResponder([](SavePanel&, const PanelSettings&) {
    return PanelAnswer::fail("NSInternalInconsistencyException", "broken panel");
  });
  try {
    panel.runModal();
    ADD_FAILURE() << "runModal did not throw";
  } catch (const PanelException& e) {
    EXPECT_EQ(e.name() + ": " + e.reason(), "NSInternalInconsistencyException: broken panel");
  }
  EXPECT_TRUE(!panel.isVisible() && app.windows().empty());
  SavePanel save(app);
  app.setPanelResponder([&](SavePanel& p, const PanelSettings&) {
    loop.performOnMainThread([&p] {  // the user answers later, from the run loop
      EXPECT_EQ(p.choose({"/x/a.txt", "/x/b.txt"}), Status::InvalidChoice);
      EXPECT_EQ(p.choose({}), Status::InvalidChoice);
      EXPECT_EQ(p.choose({"/x/report.txt"}), Status::Ok);
      EXPECT_EQ(p.cancel(), Status::AlreadyAnswered);
    });
    return PanelAnswer::leaveOpen();
  });
  EXPECT_EQ(save.runModal(), kModalResponseOK);
  EXPECT_EQ(save.filename(), "/x/report.txt");
  EXPECT_EQ(save.choose({"/x/two"}), Status::NotRunning);
  panel.setAllowsMultipleSelection(false);
  app.setPanelResponder([](SavePanel&, const PanelSettings&) { return PanelAnswer::leaveOpen(); });
  Status lateAnswer = Status::Ok;
  const double start = loop.now();
  loop.addTimer(43, kAllModes, [&] {
    panel.close();
    lateAnswer = panel.choose({"/tmp/late"});
    app.abortModal();
  });
  EXPECT_EQ(panel.runModal(), kModalResponseAbort);
  EXPECT_DOUBLE_EQ(loop.now() - start, 43);
  EXPECT_EQ(lateAnswer, Status::PanelClosed);
  EXPECT_TRUE(panel.filenames().empty() && app.windows().empty());  // no earlier choice kept
}

std::string readFile(const std::string& path) {
  std::stringstream s;
  s << std::ifstream(path).rdbuf();
  return s.str();
}

TEST(System, VersionFromTheEnvironmentAndTypesByTheLastDotOfTheName) {
  // Each case runs in its own process, so the version is first asked here.
  setenv("DESKTOP_SYSTEM_VERSION", "10.6", 1);
  SystemVersion version;
  ASSERT_EQ(systemVersion(version), Status::Ok);
  EXPECT_EQ(version.major * 100 + version.minor * 10 + version.bugfix, 1060u);
  EXPECT_EQ(mimeTypeForPath("/x/A.PDF"), "application/pdf");
  EXPECT_EQ(mimeTypeForPath("/x/a.tar.png"), "image/png");
  EXPECT_EQ(pathExtension("/x.d/.pdf"), "");
  EXPECT_EQ(pathExtension("/x.d/README"), "");
}

TEST(Image, AJpegCutShortIsRefused) {
  // The pages draw whole and non-JPEG images; a stream cut short fails cleanly too.
  const std::string jpeg = readFile(DESKTOP_TEST_JPEG);
  const auto* data = reinterpret_cast<const unsigned char*>(jpeg.data());
  ASSERT_NE(Image::fromJpeg(data, jpeg.size()), nullptr);
  Status status = Status::Ok;
  EXPECT_EQ(Image::fromJpeg(data, jpeg.size() / 2, &status), nullptr);
  EXPECT_EQ(status, Status::BadImageData);
}

// Waits for what another process brings about; generous deadline.
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

// The idle application under a process name of its own, and another session's HOME.
class WorkspaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/desktop-ws-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    root = dir;
    ASSERT_EQ(mkdir(foreignHome().c_str(), 0700), 0);
    std::system(("mkdir -p '" + bundle() + "/Contents/MacOS' && cp '" DESKTOP_IDLE_APP "' '" +
                 bundle() + "/Contents/MacOS/" + name + "'").c_str());
  }
  void TearDown() override {
    // Only copies of this test's own bundle, in either session.
    auto endOurs = [&] {
      for (const RunningApplication& app : Workspace::runningApplications()) {
        if (app.bundlePath == bundle()) kill(app.processIdentifier, SIGKILL);
      }
      return 0;
    };
    endOurs();
    inSession(foreignHome(), endOurs);
    std::system(("rm -rf '" + root + "'").c_str());
  }
  std::string bundle() const { return root + "/Test App.app"; }
  std::string foreignHome() const { return root + "/foreign"; }
  std::string err() const { return root + "/err"; }
  // Runs `open` `times` times at once in the session of `home` (ours when
  // empty); the exit status of one, or each failure as a line of err().
  int runOpen(int times = 1, const std::string& home = "", const std::string& path = "") {
    const std::string open = DESKTOP_OPEN_PATH " '" + (path.empty() ? bundle() : path) + "' 2>>'" +
                             err() + "'";
    std::string command = home.empty() ? "" : "export HOME='" + home + "'; ";
    for (int i = 0; i < times; ++i) {
      command += times == 1 ? open : "{ " + open + " || echo failed >>'" + err() + "'; } & ";
    }
    const int status = std::system((command + (times > 1 ? "wait" : "")).c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  // At most 15 bytes; the "z" keeps its prefix (tried below) from naming another run.
  const std::string name = "dk" + std::to_string(getpid()) + "z";
  const std::string id = "com.example.desktop-test." + name;
  std::string root;
};

// Our session is our HOME: a copy started in another HOME is neither listed,
// nor counted as running here, nor ended by name, and it lives on.
TEST_F(WorkspaceTest, OpenStartsOneDetachedCopyPerSessionListedUntilKilledByExactName) {
  std::ofstream(bundle() + "/Contents/Info") << "identifier=" + id + "\nexecutable=" + name + "\n";
  ASSERT_EQ(runOpen(1, foreignHome()), 0) << readFile(err());
  int foreign = -1;
  ASSERT_TRUE(eventually([&] {
    return (foreign = inSession(foreignHome(), [&] {
              return Workspace::processIdentifierForBundle(id);
            })) > 0;
  }));
  const std::vector<int> session = Workspace::sessionProcesses();
  EXPECT_TRUE(std::find(session.begin(), session.end(), foreign) == session.end());
  const std::string report = bundle() + "/Contents/MacOS/launched.txt";
  ASSERT_TRUE(eventually([&] { return unlink(report.c_str()) == 0; }));
  // Not running here, so racing opens start exactly one copy; a later open
  // activates it and starts nothing.
  EXPECT_EQ(Workspace::processIdentifierForBundle(id), -1);
  ASSERT_EQ(runOpen(5), 0);
  EXPECT_EQ(runOpen(), 0);
  EXPECT_EQ(readFile(err()), "");
  const int ours = Workspace::processIdentifierForBundle(id);
  int listed = 0;
  for (const RunningApplication& app : Workspace::runningApplications()) {
    if (app.bundleIdentifier != id) continue;
    listed++;
    EXPECT_TRUE(app.processIdentifier == ours && app.bundlePath == bundle());
  }
  EXPECT_EQ(listed, 1);
  // The program saw its environment, its working folder and no terminal.
  ASSERT_TRUE(eventually([&] { return access(report.c_str(), F_OK) == 0; }));
  EXPECT_EQ(readFile(report), bundle() + "/Contents/MacOS\n" + id + "\n" + bundle() + "\n0\n");
  EXPECT_EQ(killProcessesNamed(name.substr(0, name.size() - 1)), 0);  // a prefix is not the name
  EXPECT_EQ(killProcessesNamed(name + "x"), 0);
  EXPECT_EQ(killProcessesNamed(name), 1);
  EXPECT_TRUE(eventually([&] { return Workspace::processIdentifierForBundle(id) == -1; }));
  EXPECT_EQ(kill(foreign, 0), 0);  // the other session's copy lives on
  EXPECT_EQ(inSession(foreignHome(), [&] { return killProcessesNamed(name, SIGKILL); }), 1);
}

TEST_F(WorkspaceTest, OpenFailsWithStatusOneForABadBundle) {
  EXPECT_EQ(runOpen(), 1);  // no Info file
  EXPECT_NE(readFile(err()).find("Info"), std::string::npos);
  for (const char* info : {"identifier=x\n", "executable=p\n", "identifier=x\nexecutable=../p\n",
                           "identifier=x\nexecutable p\n", "identifier=x\nexecutable=missing\n"}) {
    std::ofstream(bundle() + "/Contents/Info") << info;
    EXPECT_EQ(runOpen(), 1) << info;
  }
  EXPECT_EQ(runOpen(1, "", root + "/Nothing.app"), 1);
  EXPECT_EQ(Workspace::processIdentifierForBundle("x"), -1);
  BundleInfo info;  // comments, blank lines, spaces and other keys are allowed
  ASSERT_EQ(parseBundleInfo("# c\n identifier = a.b \n\nexecutable=prog\nother=x\n", info),
            Status::Ok);
  EXPECT_EQ(info.identifier + " " + info.executable, "a.b prog");
}

}  // namespace
