// The three dialogs driven through a user on the desktop run loop: how each
// show ends, what the panel was set up with, the result codes and texts, the
// time-out, and a scheduled dialog stopped while it shows.
#include <desktop/Panel.h>
#include <desktop/RunLoop.h>
#include <gtest/gtest.h>

#include "DialogTestSupport.h"
#include "common/Callback.h"
#include "common/Utils.h"
#include "dialogs/OpenFileDialog.h"
#include "dialogs/OpenFolderDialog.h"
#include "dialogs/SaveFileDialog.h"
#include "text/Json.h"
#include "work/OneShotManager.h"
#include "work/RunnableScheduler.h"

namespace Harlune {
namespace Web {
namespace {

using Strings = std::vector<std::string>;

class Dialogs : public DesktopUserTest {};

TEST_F(Dialogs, OpenFileConfirmedWithTwoFiles) {
  OpenFileDialog dialog(nullptr, "Pick", false, true, "", false);
  dialog.init("chrome", "example.com");
  EXPECT_EQ(dialog.result(), 4u);
  answer = choose({"/x/a.txt", "/x/b\"c.txt"});
  EXPECT_EQ(dialog.show(), (Strings{"/x/a.txt", "/x/b\"c.txt"}));
  EXPECT_EQ(dialog.result(), 2u);
  EXPECT_EQ(dialog.paths(), (Strings{"/x/a.txt", "/x/b\"c.txt"}));
  EXPECT_EQ(dialog.resultStr(), R"(["/x/a.txt","/x/b\"c.txt"])");
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].kind, Desktop::WindowKind::OpenPanel);
  EXPECT_EQ(seen[0].title, "Pick");
  EXPECT_TRUE(seen[0].allowsMultipleSelection);
  EXPECT_TRUE(seen[0].canChooseFiles);
  EXPECT_FALSE(seen[0].canChooseDirectories);
  EXPECT_TRUE(seen[0].allowedFileTypes.empty());
  EXPECT_TRUE(logged("OpenFileDialog() - title=Pick, allowDirectories=0, allowMultiple=1, "
                     "fileTypes="));
  EXPECT_TRUE(logged("MacOpenFileDialogImpl::doShow()"));
}

TEST_F(Dialogs, OpenFileWithDirectoriesAndFiltersSetsUpThePanel) {
  OpenFileDialog dialog(nullptr, "", true, false,
                        R"([{"filter_name":"Images","extensions":["png","png","jpg"]}])", false);
  dialog.init("chrome", "");
  dialog.show();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_TRUE(seen[0].canChooseFiles);
  EXPECT_TRUE(seen[0].canChooseDirectories);
  EXPECT_FALSE(seen[0].allowsMultipleSelection);
  EXPECT_EQ(seen[0].allowedFileTypes, (Strings{"png", "PNG", "jpg", "JPG"}));
  EXPECT_EQ(dialog.result(), 1u);
  EXPECT_EQ(dialog.resultStr(), "[]");
}

TEST_F(Dialogs, OpenFolderChoosesFoldersOnly) {
  OpenFolderDialog dialog(nullptr, "Where", true, false);
  dialog.init("safari", "");
  answer = choose({"/x/dir"});
  EXPECT_EQ(dialog.show(), (Strings{"/x/dir"}));
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_FALSE(seen[0].canChooseFiles);
  EXPECT_TRUE(seen[0].canChooseDirectories);
  EXPECT_TRUE(seen[0].allowsMultipleSelection);
  EXPECT_EQ(dialog.resultStr(), R"(["/x/dir"])");
}

TEST_F(Dialogs, ExtendedResultDescribesTheChosenFiles) {
  const std::string a = makeFile("a.txt", "12345");
  OpenFileDialog dialog(nullptr, "", false, false, "", true);
  dialog.init("chrome", "");
  answer = choose({a});
  dialog.show();
  EXPECT_EQ(dialog.resultStr(), Utils::createExtendedObject({a}));
  EXPECT_NE(dialog.resultStr().find("\"name\":\"" + a + "\",\"size\":5"), std::string::npos)
      << dialog.resultStr();
  answer = nullptr;
  dialog.show();
  EXPECT_EQ(dialog.resultStr(), Utils::createExtendedObject({}));
  EXPECT_EQ(dialog.result(), 1u);
}

TEST_F(Dialogs, SaveResultIsTheQuotedPathOrNull) {
  SaveFileDialog dialog(nullptr, "Save as", "report.txt", "");
  dialog.init("firefox");
  answer = choose({"/x/re\\port.txt"});
  EXPECT_EQ(dialog.show(), (Strings{"/x/re\\port.txt"}));
  EXPECT_EQ(dialog.resultStr(), R"("/x/re\\port.txt")");
  answer = nullptr;
  EXPECT_TRUE(dialog.show().empty());
  EXPECT_EQ(dialog.resultStr(), "null");
  EXPECT_EQ(dialog.result(), 1u);
  EXPECT_TRUE(logged("SaveFileDialog::SaveFileDialog() - suggestedName=report.txt"));
}

TEST_F(Dialogs, StoppedWhileShowingEndsWithCodeZeroAndTheEmptyForm) {
  OpenFileDialog dialog(nullptr, "", false, false, "", false);
  dialog.init("chrome", "");
  answer = leaveOpenThen([&] {
    EXPECT_EQ(dialog.result(), 3u);
    dialog.stop();
  });
  EXPECT_TRUE(dialog.show().empty());
  EXPECT_EQ(dialog.result(), 0u);
  EXPECT_EQ(dialog.resultStr(), "[]");
  EXPECT_TRUE(dialog.isInterrupted());
  EXPECT_TRUE(logged("Closing open dialog"));
  EXPECT_EQ(Desktop::Application::shared().firstVisibleSavePanel(), nullptr);
}

TEST_F(Dialogs, PanelFailureEndsWithCodeZero) {
  SaveFileDialog dialog(nullptr, "", "a.txt", "");
  dialog.init("chrome");
  answer = [](Desktop::SavePanel&) { return Desktop::PanelAnswer::fail("NSBroken", "gone"); };
  EXPECT_TRUE(dialog.show().empty());
  EXPECT_EQ(dialog.result(), 0u);
  EXPECT_EQ(dialog.resultStr(), "null");
  EXPECT_TRUE(logged("NSOpenPanel error: name=NSBroken reason=gone"));
}

TEST_F(Dialogs, UnexpectedModalResultIsLoggedAndEndsWithCodeZero) {
  OpenFolderDialog dialog(nullptr, "", false, false);
  dialog.init("chrome", "");
  answer = leaveOpenThen([] { loop().stopModalWithCode(7); });
  EXPECT_TRUE(dialog.show().empty());
  EXPECT_EQ(dialog.result(), 0u);
  EXPECT_TRUE(logged("Unhandled dialog result: 7"));
}

TEST_F(Dialogs, FilterFaultsLeaveCodeFourAndTheOperationsMessage) {
  const char* bad[] = {R"([{"filter_name":"x","extensions":[]}])",
                       R"([{"filter_name":3,"extensions":["png"]}])", "{}", "[1]"};
  for (const char* fileTypes : bad) {
    OpenFileDialog open(nullptr, "", false, false, fileTypes, false);
    open.init("chrome", "");
    open.run();
    EXPECT_EQ(open.result(), 4u) << fileTypes;
    EXPECT_FALSE(open.isInterrupted());
    EXPECT_EQ(open.resultStr(),
              Json::createError("Error displaying open file dialog: Error parsing fileTypes JSON"));
  }
  SaveFileDialog save(nullptr, "", "a.txt", "not json");
  save.init("chrome");
  save.run();
  EXPECT_EQ(save.result(), 4u);
  EXPECT_EQ(save.resultStr(),
            Json::createError("Error displaying save file dialog: Error parsing fileTypes JSON"));
  EXPECT_TRUE(logged("Error displaying save file dialog: Error parsing fileTypes JSON"));
  // The synchronous show lets the fault through to its caller.
  EXPECT_THROW(save.show(), std::runtime_error);
  EXPECT_TRUE(seen.empty());
}

TEST_F(Dialogs, UnansweredSynchronousOpenTimesOutAfter43SecondsInFirefox) {
  OpenFileDialog dialog(nullptr, "", false, true, "", false);
  dialog.init("firefox", "");
  size_t timersWhileShowing = 0;
  answer = [&](Desktop::SavePanel&) {
    timersWhileShowing = loop().pendingTimerCount();
    return Desktop::PanelAnswer::leaveOpen();
  };
  const double start = loop().now();
  EXPECT_TRUE(dialog.show().empty());
  EXPECT_DOUBLE_EQ(loop().now() - start, 43);
  EXPECT_EQ(timersWhileShowing, 1u);
  EXPECT_EQ(loop().pendingTimerCount(), 0u);
  EXPECT_EQ(dialog.result(), 0u);
  EXPECT_EQ(dialog.resultStr(), "[]");
  const auto alerts = app().alertsShown();
  ASSERT_EQ(alerts.size(), 1u);
  EXPECT_EQ(alerts[0].messageText, "Timed out waiting for file selection");
  EXPECT_EQ(alerts[0].buttons, (Strings{"OK"}));
  EXPECT_EQ(alerts[0].style, Desktop::AlertStyle::Warning);
  EXPECT_TRUE(alerts[0].asSheet);
  EXPECT_EQ(alerts[0].parent, app().mainWindow());
  EXPECT_TRUE(logged("MacOpenFileDialogImpl::doOnTimeout()"));
}

TEST_F(Dialogs, InSafariUnansweredTimesOutAt43AndAnsweredAt42DoesNot) {
  answer = leaveOpenThen(nullptr);
  // Without the dialog's own timer only this backstop would end the show.
  const Desktop::TimerId backstop =
      loop().addTimer(100, Desktop::kModeModalPanel, [] { loop().abortModal(); });
  OpenFolderDialog unanswered(nullptr, "", false, false);
  unanswered.init("safari", "");
  const double start = loop().now();
  EXPECT_TRUE(unanswered.show().empty());
  EXPECT_DOUBLE_EQ(loop().now() - start, 43);
  EXPECT_EQ(unanswered.result(), 0u);
  EXPECT_EQ(app().alertsShown().size(), 1u);
  loop().invalidateTimer(backstop);

  OpenFolderDialog dialog(nullptr, "", false, false);
  dialog.init("safari", "");
  loop().addTimer(42, Desktop::kModeModalPanel, [] {
    Desktop::Application::shared().firstVisibleSavePanel()->choose({"/x/late"});
  });
  EXPECT_EQ(dialog.show(), (Strings{"/x/late"}));
  EXPECT_EQ(dialog.result(), 2u);
  EXPECT_EQ(loop().pendingTimerCount(), 0u);
  EXPECT_EQ(app().alertsShown().size(), 1u);  // no second notice
}

TEST_F(Dialogs, NoTimeOutInChromeNorForSaveOrScheduledDialogs) {
  size_t timers = 99;
  auto countThenCancel = [&](Desktop::SavePanel& panel) {
    timers = loop().pendingTimerCount();
    loop().performOnMainThread([&panel] { panel.cancel(); });
    return Desktop::PanelAnswer::leaveOpen();
  };
  answer = countThenCancel;

  OpenFileDialog chrome(nullptr, "", false, false, "", false);
  chrome.init("chrome", "");
  chrome.show();
  EXPECT_EQ(timers, 0u);
  EXPECT_EQ(chrome.result(), 1u);

  SaveFileDialog save(nullptr, "", "a.txt", "");
  save.init("firefox");
  timers = 99;
  save.show();
  EXPECT_EQ(timers, 0u);

  OpenFileDialog scheduled(nullptr, "", false, false, "", false);
  scheduled.init("firefox", "");
  timers = 99;
  scheduled.run();
  EXPECT_EQ(timers, 0u);
  EXPECT_EQ(scheduled.result(), 1u);
  EXPECT_TRUE(app().alertsShown().empty());
}

struct Told {
  bool told = false;
  bool deleted = false;
  uint64_t result = 99;
  std::string text;
};

class RecordingCallback : public Callback {
public:
  explicit RecordingCallback(Told& told) : _told(told) {}
  ~RecordingCallback() override { _told.deleted = true; }
  void handleCallback(void* data) override {
    Runnable* runnable = static_cast<Runnable*>(data);
    _told.told = true;
    _told.result = runnable->result();
    _told.text = runnable->resultStr();
  }
  void returnMessage(std::string) override {}

private:
  Told& _told;
};

class ScheduledDialogs : public DesktopUserTest {
protected:
  void SetUp() override {
    DesktopUserTest::SetUp();
    RunnableScheduler::init();
  }
  void drain() {
    loop().runUntil([] { return RunnableScheduler::registeredForTesting() == 0; });
  }
};

TEST_F(ScheduledDialogs, RunOnALaterTurnAndTellTheirCallback) {
  OneShotManager queue;
  Told told;
  auto* dialog = new SaveFileDialog(nullptr, "Save", "a.txt", "");
  dialog->init("firefox");
  answer = choose({"/x/a.txt"});
  RunnableScheduler::scheduleRunnable(&queue, dialog, new RecordingCallback(told));
  EXPECT_TRUE(seen.empty());
  drain();
  EXPECT_TRUE(told.told);
  EXPECT_TRUE(told.deleted);
  EXPECT_EQ(told.result, 2u);
  EXPECT_EQ(told.text, "\"/x/a.txt\"");
}

TEST_F(ScheduledDialogs, StoppedWhileShowingClosesThePanelAndTellsNoOne) {
  auto queue = std::make_unique<OneShotManager>();
  Told told;
  auto* dialog = new OpenFileDialog(nullptr, "", false, false, "", false);
  dialog->init("chrome", "");
  OneShotManager* raw = queue.get();
  answer = leaveOpenThen([raw] { RunnableScheduler::stopRunnables(raw); });
  RunnableScheduler::scheduleRunnable(raw, dialog, new RecordingCallback(told));
  drain();
  EXPECT_FALSE(told.told);
  EXPECT_TRUE(told.deleted);
  EXPECT_EQ(seen.size(), 1u);
  EXPECT_EQ(app().firstVisibleSavePanel(), nullptr);
  EXPECT_FALSE(loop().isInModalRun());
  EXPECT_TRUE(logged("Closing open dialog"));
}

}  // namespace
}  // namespace Web
}  // namespace Harlune
