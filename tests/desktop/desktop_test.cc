// The desktop's run loop, panels and services, where the pages cannot reach:
// timer order and modes, virtual time-outs, threads, refused answers.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "desktop/Drawing.h"
#include "desktop/Panel.h"
#include "desktop/Pasteboard.h"
#include "desktop/RunLoop.h"
#include "desktop/System.h"
#include "desktop/Window.h"

using namespace Desktop;
using Strings = std::vector<std::string>;

namespace {

// Producers post numbered items from several threads; every item arrives on
// the loop's thread, each producer's items in order.
TEST(RunLoop, CrossThreadDeliveryIsCompleteAndFifoPerProducer) {
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
  for (int p = 0; p < kProducers; ++p) {
    ASSERT_EQ(seen[p].size(), static_cast<size_t>(kItems));
    for (int i = 0; i < kItems; ++i) EXPECT_EQ(seen[p][i], i);
  }
  bool threw = false;  // only the bound thread may run the loop
  std::thread other([&] {
    try {
      loop.runOnce();
    } catch (const std::logic_error&) {
      threw = true;
    }
  });
  other.join();
  EXPECT_TRUE(threw);
}

// Work posted by a running item never runs within that item's turn.
TEST(RunLoop, WorkPostedDuringATurnRunsOnALaterTurn) {
  RunLoop loop;
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

TEST(RunLoop, ModalRunsEndByAbortStopOrAnotherThread) {
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
  // runUntil a deadline jumps to it; switching clocks keeps time continuous.
  EXPECT_FALSE(loop.runUntil([] { return false; }, start + 100));
  EXPECT_DOUBLE_EQ(loop.now(), start + 100);
  loop.setVirtualClock(false);
  EXPECT_GE(loop.now(), start + 100);
}

// While the clock is held an idle loop waits for real work instead of
// jumping past the worker's answer to the time-out.
TEST(RunLoop, HeldClockWaitsForOutsideWorkAndWakeUpRechecks) {
  RunLoop& loop = RunLoop::main();  // shared by every user of the main loop
  loop.bindToCurrentThread();
  loop.setVirtualClock(true);
  const double start = loop.now();
  bool timedOut = false, answered = false;
  loop.addTimer(43, kAllModes, [&] { timedOut = true; });
  std::thread worker;
  {
    RunLoop::ClockHold hold(loop);
    worker = std::thread([&] { loop.performOnMainThread([&] { answered = true; }); });
    loop.runUntil([&] { return answered || timedOut; });
  }
  worker.join();
  EXPECT_TRUE(answered && !timedOut);
  EXPECT_DOUBLE_EQ(loop.now(), start);
  loop.runUntil([&] { return timedOut; });
  EXPECT_DOUBLE_EQ(loop.now() - start, 43);
  loop.setVirtualClock(false);
  std::atomic<bool> flag{false};
  std::thread setter([&] {
    flag = true;
    loop.wakeUp();
  });
  EXPECT_TRUE(loop.runUntil([&] { return flag.load(); }));
  setter.join();
}

class PanelTest : public ::testing::Test {
 protected:
  PanelTest() : app(loop) { loop.setVirtualClock(true); }
  void leaveOpen() {
    app.setPanelResponder(
        [](SavePanel&, const PanelSettings&) { return PanelAnswer::leaveOpen(); });
  }
  RunLoop loop;
  Application app;
};

TEST_F(PanelTest, ResponderSeesSettingsWhileListedAndOnlyAllowedChoicesAreTaken) {
  OpenPanel panel(app);
  EXPECT_EQ(panel.runModal(), kModalResponseCancel);  // no responder
  panel.setTitle("Pick");
  panel.setAllowsMultipleSelection(true);
  PanelSettings seen;
  bool listed = false;
  app.setPanelResponder([&](SavePanel& p, const PanelSettings& s) {
    seen = s;
    listed = app.firstVisibleSavePanel() == &p && p.isVisible();
    return PanelAnswer::choose({"/tmp/a", "/tmp/b"});
  });
  EXPECT_EQ(panel.runModal(), kModalResponseOK);
  EXPECT_TRUE(listed && seen.kind == WindowKind::OpenPanel && seen.title == "Pick");
  EXPECT_EQ(panel.filenames(), (Strings{"/tmp/a", "/tmp/b"}));
  EXPECT_EQ(app.firstVisibleSavePanel(), nullptr);
  EXPECT_EQ(panel.cancel(), Status::NotRunning);
  panel.setAllowsMultipleSelection(false);  // one choice: several are refused
  EXPECT_THROW(panel.runModal(), PanelException);
  EXPECT_TRUE(app.windows().empty());
  // A save panel takes one path, answered later from the run loop.
  SavePanel save(app);
  app.setPanelResponder([&](SavePanel& p, const PanelSettings& s) {
    seen = s;
    loop.performOnMainThread([&p] {
      EXPECT_EQ(p.choose({"/x/a.txt", "/x/b.txt"}), Status::InvalidChoice);
      EXPECT_EQ(p.choose({}), Status::InvalidChoice);
      EXPECT_EQ(p.choose({"/x/report.txt"}), Status::Ok);
      EXPECT_EQ(p.cancel(), Status::AlreadyAnswered);
    });
    return PanelAnswer::leaveOpen();
  });
  EXPECT_EQ(save.runModalForDirectory("", "report.txt"), kModalResponseOK);
  EXPECT_EQ(save.filename(), "/x/report.txt");
  EXPECT_TRUE(seen.ranForDirectory && seen.nameFieldStringValue == "report.txt");
  EXPECT_EQ(save.choose({"/x/two"}), Status::NotRunning);
}

// The dialog time-out: an unanswered panel is closed and the modal run
// aborted by a 43-second timer; an answer after the close is refused.
TEST_F(PanelTest, UnansweredPanelEndsByTimeOutAbortInVirtualTime) {
  OpenPanel panel(app);
  leaveOpen();
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
  EXPECT_TRUE(panel.filenames().empty() && app.windows().empty());
}

TEST_F(PanelTest, ResponderFailureBecomesAPanelExceptionAndHidesThePanel) {
  OpenPanel panel(app);
  app.setPanelResponder([](SavePanel&, const PanelSettings&) {
    return PanelAnswer::fail("NSInternalInconsistencyException", "broken panel");
  });
  try {
    panel.runModal();
    ADD_FAILURE() << "runModal did not throw";
  } catch (const PanelException& e) {
    EXPECT_EQ(e.name() + ": " + e.reason(), "NSInternalInconsistencyException: broken panel");
  }
  EXPECT_FALSE(panel.isVisible() || panel.isRunning());
  app.setPanelResponder(nullptr);  // it can run again afterwards
  EXPECT_EQ(panel.runModal(), kModalResponseCancel);
}

TEST(Services, PasteboardUserFoldersAndACutJpeg) {
  Pasteboard board;
  board.setFileNames({"/tmp/a b.txt", "/tmp/c"});
  board.setString("/tmp/plain");
  board.setFileNames({"/tmp/d"});  // replaces, keeps the type once
  EXPECT_EQ(board.types().size(), 2u);
  EXPECT_EQ(board.fileNames(), (Strings{"/tmp/d"}));
  board.clearContents();
  EXPECT_TRUE(board.types().empty() && board.string().empty());
  // Folders lie under HOME's Library and are not created; no HOME is an error.
  const std::string saved = getenv("HOME");
  setenv("HOME", "/nonexistent/home", 1);
  std::string path;
  ASSERT_EQ(userFolderPath(UserFolder::InternetPlugIns, path), Status::Ok);
  EXPECT_EQ(path, "/nonexistent/home/Library/Internet Plug-Ins");
  setenv("HOME", "", 1);
  EXPECT_EQ(userFolderPath(UserFolder::ApplicationSupport, path), Status::FolderNotFound);
  setenv("HOME", saved.c_str(), 1);
  // The pages draw whole and non-JPEG images; a stream cut short fails cleanly too.
  std::ifstream in(DESKTOP_TEST_JPEG, std::ios::binary);
  const std::string jpeg{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const auto* data = reinterpret_cast<const unsigned char*>(jpeg.data());
  ASSERT_NE(Image::fromJpeg(data, jpeg.size()), nullptr);
  Status status = Status::Ok;
  EXPECT_EQ(Image::fromJpeg(data, jpeg.size() / 2, &status), nullptr);
  EXPECT_EQ(status, Status::BadImageData);
}

}  // namespace
