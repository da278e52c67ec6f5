#include "desktop/Panel.h"

#include <gtest/gtest.h>

#include <memory>

#include "desktop/RunLoop.h"
#include "desktop/Window.h"

using namespace Desktop;
using Strings = std::vector<std::string>;

namespace {

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

TEST_F(PanelTest, WindowListKeepsShowOrderAndForgetsClosedAndDestroyedWindows) {
  auto page = std::make_unique<Window>(app, "page");
  Window other(app, "other");
  page->show();
  other.show();
  page->show();  // already visible: keeps its place
  EXPECT_EQ(app.windows(), (std::vector<Window*>{page.get(), &other}));
  app.setMainWindow(page.get());
  other.close();
  EXPECT_EQ(app.windows(), (std::vector<Window*>{page.get()}));
  page.reset();
  EXPECT_TRUE(app.windows().empty());
  EXPECT_EQ(app.mainWindow(), nullptr);
}

TEST_F(PanelTest, ResponderSeesSettingsWhileThePanelIsListedAndItsChoiceIsReturned) {
  OpenPanel panel(app);
  EXPECT_EQ(panel.runModal(), kModalResponseCancel);  // no responder
  panel.setTitle("Pick");
  panel.setAllowsMultipleSelection(true);
  panel.setCanChooseFiles(false);
  panel.setCanChooseDirectories(true);
  panel.setAllowedFileTypes({"png", "PNG"});
  PanelSettings seen;
  bool listed = false;
  app.setPanelResponder([&](SavePanel& p, const PanelSettings& s) {
    seen = s;
    listed = app.firstVisibleSavePanel() == &p && p.isVisible();
    return PanelAnswer::choose({"/tmp/a", "/tmp/b"});
  });
  EXPECT_EQ(panel.runModal(), kModalResponseOK);
  EXPECT_TRUE(listed);
  EXPECT_EQ(seen.kind, WindowKind::OpenPanel);
  EXPECT_EQ(seen.title, "Pick");
  EXPECT_TRUE(seen.allowsMultipleSelection && !seen.canChooseFiles && seen.canChooseDirectories);
  EXPECT_EQ(seen.allowedFileTypes, (Strings{"png", "PNG"}));
  EXPECT_EQ(panel.filenames(), (Strings{"/tmp/a", "/tmp/b"}));
  EXPECT_FALSE(panel.isVisible());
  EXPECT_EQ(app.firstVisibleSavePanel(), nullptr);
  EXPECT_EQ(panel.cancel(), Status::NotRunning);
  // A panel that allows one choice refuses several.
  panel.setAllowsMultipleSelection(false);
  EXPECT_THROW(panel.runModal(), PanelException);
  EXPECT_TRUE(app.windows().empty());
}

TEST_F(PanelTest, SaveFormsRecordHowTheyRanAndTakeOnePath) {
  SavePanel panel(app);
  panel.setAllowsOtherFileTypes(true);
  std::vector<PanelSettings> seen;
  app.setPanelResponder([&](SavePanel& p, const PanelSettings& s) {
    seen.push_back(s);
    // The user answers from the run loop, after a wrong try.
    loop.performOnMainThread([&p] {
      EXPECT_EQ(p.choose({"/x/a.txt", "/x/b.txt"}), Status::InvalidChoice);
      EXPECT_EQ(p.choose({}), Status::InvalidChoice);
      EXPECT_EQ(p.choose({"/x/report.txt"}), Status::Ok);
    });
    return PanelAnswer::leaveOpen();
  });
  EXPECT_EQ(panel.runModalForDirectory("", "report.txt"), kModalResponseOK);
  EXPECT_EQ(panel.filename(), "/x/report.txt");
  panel.setNameFieldStringValue("other.txt");
  EXPECT_EQ(panel.runModal(), kModalResponseOK);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_TRUE(seen[0].ranForDirectory && seen[0].allowsOtherFileTypes);
  EXPECT_EQ(seen[0].nameFieldStringValue, "report.txt");
  EXPECT_FALSE(seen[1].ranForDirectory);
  EXPECT_EQ(seen[1].nameFieldStringValue, "other.txt");
}

TEST_F(PanelTest, ALaterAnswerEndsTheRunAndASecondAnswerIsRefused) {
  OpenPanel panel(app);
  leaveOpen();
  Status first = Status::NotRunning, second = Status::Ok;
  loop.addTimer(2, kModeModalPanel, [&] {
    first = panel.choose({"/tmp/one"});
    second = panel.cancel();
  });
  EXPECT_EQ(panel.runModal(), kModalResponseOK);
  EXPECT_EQ(first, Status::Ok);
  EXPECT_EQ(second, Status::AlreadyAnswered);
  EXPECT_EQ(panel.filenames(), (Strings{"/tmp/one"}));
  EXPECT_EQ(panel.choose({"/tmp/two"}), Status::NotRunning);
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
  EXPECT_TRUE(panel.filenames().empty());
  EXPECT_TRUE(app.windows().empty());
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

TEST(PanelShared, SharedApplicationRunsOnTheMainLoop) {
  EXPECT_EQ(&Application::shared().runLoop(), &RunLoop::main());
  OpenPanel panel;
  EXPECT_EQ(&panel.application(), &Application::shared());
  EXPECT_EQ(panel.runModal(), kModalResponseCancel);
}

}  // namespace
