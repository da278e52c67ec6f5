// The dialogs where no page reaches: the page's filters read and made into
// the panel's type list, and, driven by a user on the desktop run loop under
// the virtual clock, panel failures, the time-out and the save panel's set-up.
#include <stdexcept>

#include <desktop/Panel.h>
#include <desktop/RunLoop.h>
#include <desktop/System.h>
#include <desktop/Window.h>
#include <gtest/gtest.h>

#include "common/Constants.h"
#include "core/PlugIn.h"
#include "dialogs/DialogUtils.h"
#include "dialogs/MacOpenFileDialogImpl.h"
#include "dialogs/MacSaveFileDialogImpl.h"
#include "dialogs/OpenFileDialog.h"
#include "dialogs/OpenFolderDialog.h"
#include "dialogs/SaveFileDialog.h"

namespace Harlune {
namespace Web {
namespace {

using Strings = std::vector<std::string>;
Desktop::RunLoop& loop() { return Desktop::RunLoop::main(); }
Desktop::Application& app() { return Desktop::Application::shared(); }

// A fileTypes text that is not a list of filters, each a name and some
// extensions, is refused (pages show how).
TEST(ParseFileTypes, AnythingButAListOfNamedFiltersIsRefused) {
  const std::string refused[] = {
      "{not json", "null", "\"[]\"", R"({"filter_name":"a","extensions":["b"]})", "[1]", "[[]]",
      "[{}]",
      // filter_name missing or not a string
      R"([{"extensions":["png"]}])", R"([{"filter_name":null,"extensions":["png"]}])",
      // extensions missing, empty, not an array, or holding a non-string
      R"([{"filter_name":"a"}])", R"([{"filter_name":"a","extensions":[]}])",
      R"([{"filter_name":"a","extensions":"png"}])",
      R"([{"filter_name":"a","extensions":{"0":"png"}}])",
      R"([{"filter_name":"a","extensions":["png",1]}])",
      // one bad element spoils the list
      R"([{"filter_name":"a","extensions":["png"]},{"filter_name":"b","extensions":[]}])"};
  for (const std::string& json : refused) {
    try {
      DialogUtils::parseFileTypesJson(json);
      ADD_FAILURE() << "accepted: " << json.substr(0, 200);
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), kErrorInvalidFileTypesJson) << json.substr(0, 200);
    }
  }
}

// A page window as main window, and a responder that records every panel.
class Dialogs : public ::testing::Test {
protected:
  void SetUp() override {
    loop().bindToCurrentThread();
    loop().setVirtualClock(true);
    _page = std::make_unique<Desktop::Window>("page");
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
  }
  // A dialog of that kind ('o' open file, 'f' folder, 's' save) for the
  // browser, shown synchronously, or scheduled ('r', an open file) with run().
  std::unique_ptr<FileDialog> show(char kind, const std::string& browser) {
    if (kind == 's') {
      auto save = std::make_unique<SaveFileDialog>(nullptr, "", "a.txt", "");
      save->init(browser);
      save->show();
      return save;
    }
    if (kind == 'f') {
      auto folder = std::make_unique<OpenFolderDialog>(nullptr, "", false, false);
      folder->init(browser, "");
      folder->show();
      return folder;
    }
    auto open = std::make_unique<OpenFileDialog>(nullptr, "", false, true, "", false);
    open->init(browser, "");
    if (kind == 'r') open->run();
    else open->show();
    return open;
  }

  std::function<Desktop::PanelAnswer(Desktop::SavePanel&)> answer;
  std::vector<Desktop::PanelSettings> seen;

private:
  std::unique_ptr<Desktop::Window> _page;
  Desktop::PanelResponder _previous;
};

// Ends no page can bring about: the panel fails, or its run ends with a code of no known meaning.
TEST_F(Dialogs, PanelFailuresAndOddModalResultsEndWithCodeZero) {
  answer = [](Desktop::SavePanel&) { return Desktop::PanelAnswer::fail("NSBroken", "gone"); };
  const auto save = show('s', "chrome");
  EXPECT_EQ(save->result(), 0u);
  EXPECT_EQ(save->resultStr(), "null");
  answer = [](Desktop::SavePanel&) {
    loop().performOnMainThread([] { loop().stopModalWithCode(7); });
    return Desktop::PanelAnswer::leaveOpen();
  };
  const auto folder = show('f', "chrome");
  EXPECT_EQ(folder->result(), 0u);
  EXPECT_EQ(folder->resultStr(), "[]");
  EXPECT_EQ(app().firstVisibleSavePanel(), nullptr);
}

// An unanswered synchronous open panel in Firefox or Safari (as the core
// reads the user agent) ends itself after 43 s of the virtual clock with a
// notice; any other show stays up until the test's own backstop at 100 s.
TEST_F(Dialogs, OnlySynchronousOpenPanelsInFirefoxAndSafariTimeOut) {
  answer = [](Desktop::SavePanel&) { return Desktop::PanelAnswer::leaveOpen(); };
  const char kChrome[] = "Mozilla/5.0 AppleWebKit/537.36 Chrome/120.0 Safari/537.36";
  const char kFirefox[] = "Mozilla/5.0 Gecko/20100101 FireFox/115.0";
  const struct { char kind; const char* userAgent; double endsAfter; } cases[] = {
      {'o', kFirefox, 43}, {'o', kChrome, 100}, {'s', kFirefox, 100}, {'r', kFirefox, 100},
      {'f', "Mozilla/5.0 AppleWebKit/605.1.15 Version/17.0 Safari/605.1.15", 43}};
  size_t notices = 0;
  for (const auto& c : cases) {
    const Desktop::TimerId backstop =
        loop().addTimer(100, Desktop::kModeModalPanel, [] { loop().abortModal(); });
    PlugIn core;
    core.setHostBrowser(c.userAgent);
    const double start = loop().now();
    const auto dialog = show(c.kind, core.hostBrowser());
    EXPECT_DOUBLE_EQ(loop().now() - start, c.endsAfter) << c.kind << " in " << c.userAgent;
    EXPECT_EQ(dialog->result(), 0u);
    loop().invalidateTimer(backstop);
    EXPECT_EQ(loop().pendingTimerCount(), 0u);
    if (c.endsAfter == 43) ++notices;
    EXPECT_EQ(app().alertsShown().size(), notices);
  }
  const auto notice = app().alertsShown().at(0);
  EXPECT_EQ(notice.messageText, "Timed out waiting for file selection");
  EXPECT_EQ(notice.buttons, (Strings{"OK"}));
  EXPECT_EQ(notice.style, Desktop::AlertStyle::Warning);
  EXPECT_TRUE(notice.asSheet);
  EXPECT_EQ(notice.parent, app().mainWindow());

  // Answered at 42 s: the choice stands, and the dialog's timer is gone.
  loop().addTimer(42, Desktop::kModeModalPanel,
                  [] { app().firstVisibleSavePanel()->choose({"/x/late"}); });
  const auto late = show('f', "safari");
  EXPECT_EQ(late->resultStr(), R"(["/x/late"])");
  EXPECT_EQ(loop().pendingTimerCount(), 0u);
  EXPECT_EQ(app().alertsShown().size(), notices);
}

// The save panel is started the older way (for a directory) below minor
// version 6, or when the version cannot be had.
TEST_F(Dialogs, SavePanelFormFollowsTheSystemsMinorVersion) {
  const struct { Desktop::SystemVersion version; bool fails, forDirectory; } cases[] = {
      {{10, 6, 0}, false, false}, {{10, 5, 8}, false, true},  {{11, 0, 0}, false, true},
      {{12, 6, 1}, false, false}, {{10, 3, 9}, false, true}, {{10, 15, 0}, true, true}};
  for (const auto& c : cases) {
    Desktop::setSystemVersion(c.version);
    Desktop::setSystemVersionFailure(c.fails);
    seen.clear();
    MacSaveFileDialogImpl("", "report.txt", "", "chrome").doShow();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].ranForDirectory, c.forDirectory)
        << c.version.major << "." << c.version.minor << "." << c.version.bugfix;
    EXPECT_EQ(seen[0].nameFieldStringValue, "report.txt");
  }
}

// The chooser lists an open panel's filters by name, and "*" as any type.
TEST_F(Dialogs, OpenPanelFiltersKeepTheirNamesAndAnyType) {
  MacOpenFileDialogImpl("", false, false,
                        R"([{"filter_name":"Docs","extensions":["pdf","txt"]},)"
                        R"({"filter_name":"All","extensions":["*"]}])",
                        false, "chrome")
      .doShow();
  ASSERT_EQ(seen.size(), 1u);
  ASSERT_EQ(seen[0].filters.size(), 1u);
  EXPECT_EQ(seen[0].filters[0].name, "Docs");
  EXPECT_EQ(seen[0].filters[0].types, (Strings{"pdf", "PDF", "txt", "TXT"}));
  EXPECT_TRUE(seen[0].allowsOtherFileTypes);
}

// A save panel's allowed types, and whether it allows others too.
TEST_F(Dialogs, SavePanelAllowedAndOtherTypes) {
  const char kDocs[] = R"([{"filter_name":"Docs","extensions":["pdf","txt"]}])";
  const char kImages[] = R"([{"filter_name":"Images","extensions":["png"]}])";
  const char kAll[] = R"([{"filter_name":"All","extensions":["*"]}])";
  const struct { const char* suggestedName, *fileTypes; Strings allowed; bool other; } cases[] = {
      // Without filters: the suggested name's extension (up to four bytes
      // after the last dot, none for a name listing authors), and any other.
      {"photo.jpeg", "", {"jpeg"}, true}, {"backup.2019.tar", "", {"tar"}, true},
      {"archive.backup", "", {}, true}, {"trailing.", "", {}, true},
      {"Miller et al. 2004.pdf", "", {}, true}, {"", "", {}, true},
      // With filters: theirs, then the suggested one, with upper-case copies.
      {"notes.txt", kImages, {"png", "PNG", "txt", "TXT"}, false},
      {"notes.txt", kDocs, {"pdf", "PDF", "txt", "TXT"}, false},
      {"archive.backup", kImages, {"png", "PNG"}, false},
      // "*" allows any type; alone it sets no list.
      {"", kAll, {}, true}, {"a.md", kAll, {"md", "MD"}, true},
      // Members other than a filter's name and extensions are ignored.
      {"", R"([{"extensions":["png"],"filter_name":"I","n":{"d":[[1,{"a":null}]]}}])",
       {"png", "PNG"}, false},
      // Each extension once, with its Unicode upper case.
      {"", R"([{"filter_name":"D","extensions":["txt","pdf","txt"]},)"
           R"({"filter_name":"M","extensions":["pdf","*","tar.gz"]}])",
       {"txt", "TXT", "pdf", "PDF", "tar.gz", "TAR.GZ"}, true},
      {"", R"([{"filter_name":"I","extensions":["äbc","é","straße","É","ш"]}])",
       {"äbc", "ÄBC", "é", "É", "straße", "STRASSE", "ш", "Ш"}, false}};
  for (const auto& c : cases) {
    seen.clear();
    MacSaveFileDialogImpl("Save", c.suggestedName, c.fileTypes, "chrome").doShow();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].allowedFileTypes, c.allowed) << c.suggestedName << " " << c.fileTypes;
    EXPECT_EQ(seen[0].allowsOtherFileTypes, c.other) << c.suggestedName << " " << c.fileTypes;
    EXPECT_TRUE(seen[0].kind == Desktop::WindowKind::SavePanel && seen[0].title == "Save" &&
                !seen[0].canSelectHiddenExtension && !seen[0].extensionHidden);
  }
}

}  // namespace
}  // namespace Web
}  // namespace Harlune
