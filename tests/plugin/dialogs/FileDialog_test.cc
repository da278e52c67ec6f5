// The dialogs driven by a user on the desktop run loop under the virtual
// clock: what no page reaches (panel failures, odd modal results, the
// time-out's timing) and the exact set-up of the save panel.
#include <stdlib.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <ostream>
#include <sstream>

#include <desktop/Panel.h>
#include <desktop/RunLoop.h>
#include <desktop/System.h>
#include <desktop/Window.h>
#include <gtest/gtest.h>
#include <taplatform/talog.h>

#include "dialogs/MacSaveFileDialogImpl.h"
#include "dialogs/OpenFileDialog.h"
#include "dialogs/OpenFolderDialog.h"
#include "dialogs/SaveFileDialog.h"

namespace Harlune {
namespace Web {
namespace {

using Strings = std::vector<std::string>;
using Answer = std::function<Desktop::PanelAnswer(Desktop::SavePanel&)>;
Desktop::RunLoop& loop() { return Desktop::RunLoop::main(); }
Desktop::Application& app() { return Desktop::Application::shared(); }

Answer choose(Strings paths) {
  return [paths](Desktop::SavePanel&) { return Desktop::PanelAnswer::choose(paths); };
}
// Leaves the panel up and queues `then`, which runs inside the panel's modal run.
Answer leaveOpenThen(std::function<void()> then) {
  return [then](Desktop::SavePanel&) {
    if (then) loop().performOnMainThread(then);
    return Desktop::PanelAnswer::leaveOpen();
  };
}

// A page window as main window, a responder that records every panel, and
// the plug-in's log in a temporary folder.
class Dialogs : public ::testing::Test {
protected:
  void SetUp() override {
    loop().bindToCurrentThread();
    loop().setVirtualClock(true);
    char pattern[] = "/tmp/dialogs-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    _dir = pattern;
    ASSERT_EQ(ta_log_init(TA_LOG_TYPE_FILE, (_dir + "/plugin.log").c_str()), 0);
    ta_log_set_level(6);
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
    ta_log_cleanup();
    ta_log_set_level(3);
    std::error_code ignored;
    std::filesystem::remove_all(_dir, ignored);
  }
  bool logged(const std::string& text) const {
    std::ifstream in(_dir + "/plugin.log");
    std::ostringstream log;
    log << in.rdbuf();
    return log.str().find(text) != std::string::npos;
  }
  // A dialog of that kind ('o' open file, 'f' folder, 's' save) for the
  // browser, shown synchronously, or scheduled ('r', an open file) with run().
  std::unique_ptr<FileDialog> show(char kind, const std::string& browser) {
    if (kind == 's') {
      auto* save = new SaveFileDialog(nullptr, "", "a.txt", "");
      showing.reset(save);
      save->init(browser);
      save->show();
    } else if (kind == 'f') {
      auto* folder = new OpenFolderDialog(nullptr, "", false, false);
      showing.reset(folder);
      folder->init(browser, "");
      folder->show();
    } else {
      auto* open = new OpenFileDialog(nullptr, "", false, true, "", false);
      showing.reset(open);
      open->init(browser, "");
      if (kind == 'r') open->run();
      else open->show();
    }
    return std::move(showing);
  }

  Answer answer;
  std::vector<Desktop::PanelSettings> seen;
  std::unique_ptr<FileDialog> showing;

private:
  std::string _dir;
  std::unique_ptr<Desktop::Window> _page;
  Desktop::PanelResponder _previous;
};

TEST_F(Dialogs, HowAShowEndsGivesItsCodeAndText) {
  const Answer stop = leaveOpenThen([this] {
    EXPECT_EQ(showing->result(), 3u);
    showing->stop();
  });
  const Answer fail = [](Desktop::SavePanel&) {
    return Desktop::PanelAnswer::fail("NSBroken", "gone");
  };
  const struct {
    char kind;
    Answer answer;
    uint64_t result;
    const char* text;
    const char* log;
  } cases[] = {
      {'o', choose({"/x/a.txt", "/x/b\"c.txt"}), 2, R"(["/x/a.txt","/x/b\"c.txt"])",
       "MacOpenFileDialogImpl::doShow()"},
      {'o', nullptr, 1, "[]", ""},
      {'o', stop, 0, "[]", "Closing open dialog"},
      {'f', leaveOpenThen([] { loop().stopModalWithCode(7); }), 0, "[]",
       "Unhandled dialog result: 7"},
      {'s', choose({"/x/re\\port.txt"}), 2, R"("/x/re\\port.txt")", "suggestedName=a.txt"},
      {'s', nullptr, 1, "null", ""},
      {'s', fail, 0, "null", "NSOpenPanel error: name=NSBroken reason=gone"},
  };
  for (const auto& c : cases) {
    answer = c.answer;
    const auto dialog = show(c.kind, "chrome");
    EXPECT_EQ(dialog->result(), c.result) << c.text;
    EXPECT_EQ(dialog->resultStr(), c.text);
    EXPECT_EQ(dialog->isInterrupted(), &c == &cases[2]);
    EXPECT_TRUE(logged(c.log)) << c.log;
    EXPECT_EQ(app().firstVisibleSavePanel(), nullptr);
  }
}

// An unanswered synchronous open panel in Firefox or Safari ends itself after
// 43 s of the virtual clock with a notice; any other show stays up until the
// test's own backstop ends it at 100 s.
TEST_F(Dialogs, OnlySynchronousOpenPanelsInFirefoxAndSafariTimeOut) {
  answer = leaveOpenThen(nullptr);
  const struct {
    char kind;
    const char* browser;
    double endsAfter;
  } cases[] = {{'o', "firefox", 43}, {'f', "safari", 43}, {'o', "chrome", 100},
               {'s', "firefox", 100}, {'r', "firefox", 100}};
  size_t notices = 0;
  for (const auto& c : cases) {
    const Desktop::TimerId backstop =
        loop().addTimer(100, Desktop::kModeModalPanel, [] { loop().abortModal(); });
    const double start = loop().now();
    const auto dialog = show(c.kind, c.browser);
    EXPECT_DOUBLE_EQ(loop().now() - start, c.endsAfter) << c.kind << " in " << c.browser;
    EXPECT_EQ(dialog->result(), 0u);
    loop().invalidateTimer(backstop);
    EXPECT_EQ(loop().pendingTimerCount(), 0u);
    if (c.endsAfter == 43) ++notices;
    EXPECT_EQ(app().alertsShown().size(), notices);
  }
  const auto alerts = app().alertsShown();
  ASSERT_FALSE(alerts.empty());
  const auto& notice = alerts[0];
  EXPECT_EQ(notice.messageText, "Timed out waiting for file selection");
  EXPECT_EQ(notice.buttons, (Strings{"OK"}));
  EXPECT_EQ(notice.style, Desktop::AlertStyle::Warning);
  EXPECT_TRUE(notice.asSheet);
  EXPECT_EQ(notice.parent, app().mainWindow());
  EXPECT_TRUE(logged("MacOpenFileDialogImpl::doOnTimeout()"));

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
  const struct {
    Desktop::SystemVersion version;
    bool fails;
    bool forDirectory;
  } cases[] = {{{10, 15, 0}, false, false}, {{10, 6, 0}, false, false},
               {{10, 5, 8}, false, true},   {{11, 0, 0}, false, true},
               {{12, 6, 1}, false, false},  {{10, 3, 9}, false, true},
               {{9, 2, 2}, false, true},    {{10, 15, 0}, true, true}};
  for (const auto& c : cases) {
    Desktop::setSystemVersion(c.version);
    Desktop::setSystemVersionFailure(c.fails);
    seen.clear();
    MacSaveFileDialogImpl("", "report.txt", "", "chrome").doShow();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].ranForDirectory, c.forDirectory)
        << c.version.major << "." << c.version.minor << "." << c.version.bugfix;
    EXPECT_EQ(seen[0].nameFieldStringValue, "report.txt");
    EXPECT_EQ(logged("Unable to obtain system version: " +
                     std::to_string(Desktop::statusCode(Desktop::Status::VersionUnavailable))),
              c.fails);
  }
}

struct TypesCase {
  const char* suggestedName;
  const char* fileTypes;
  Strings allowed;
  bool other;
};

// Cases are named and printed by their content, the same in every build.
std::string caseName(const TypesCase& c) {
  std::string name;
  for (const char ch : std::string(c.suggestedName) + " " + c.fileTypes) {
    if (std::isalnum(static_cast<unsigned char>(ch))) name += ch;
    else if (!name.empty() && name.back() != '_') name += '_';
  }
  if (!name.empty() && name.back() == '_') name.pop_back();
  return name.empty() ? "nothing" : name;
}
void PrintTo(const TypesCase& c, std::ostream* os) {
  *os << '"' << c.suggestedName << "\" " << c.fileTypes;
}

class SavePanelTypes : public Dialogs, public ::testing::WithParamInterface<TypesCase> {};

TEST_P(SavePanelTypes, AllowedAndOtherTypes) {
  const TypesCase& c = GetParam();
  MacSaveFileDialogImpl("Save", c.suggestedName, c.fileTypes, "chrome").doShow();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].allowedFileTypes, c.allowed);
  EXPECT_EQ(seen[0].allowsOtherFileTypes, c.other);
  EXPECT_EQ(seen[0].kind, Desktop::WindowKind::SavePanel);
  EXPECT_EQ(seen[0].title, "Save");
  EXPECT_FALSE(seen[0].canSelectHiddenExtension);
  EXPECT_FALSE(seen[0].extensionHidden);
}

const char kDocs[] = R"([{"filter_name":"Docs","extensions":["pdf","txt"]}])";
const char kImages[] = R"([{"filter_name":"Images","extensions":["png"]}])";
const char kAll[] = R"([{"filter_name":"All","extensions":["*"]}])";

INSTANTIATE_TEST_SUITE_P(
    Examples, SavePanelTypes,
    ::testing::Values(
        // Without filters: the suggested name's extension (up to four bytes
        // after the last dot, none for a name listing authors), and any other.
        TypesCase{"photo.jpeg", "", {"jpeg"}, true},
        TypesCase{"backup.2019.tar", "", {"tar"}, true},
        TypesCase{"archive.backup", "", {}, true}, TypesCase{"trailing.", "", {}, true},
        TypesCase{"Miller et al. 2004.pdf", "", {}, true}, TypesCase{"", "", {}, true},
        // With filters: theirs, then the suggested one, with upper-case copies.
        TypesCase{"notes.txt", kImages, {"png", "PNG", "txt", "TXT"}, false},
        TypesCase{"notes.txt", kDocs, {"pdf", "PDF", "txt", "TXT"}, false},
        TypesCase{"archive.backup", kImages, {"png", "PNG"}, false},
        // "*" allows any type; alone it sets no list.
        TypesCase{"", kAll, {}, true}, TypesCase{"a.md", kAll, {"md", "MD"}, true}),
    [](const ::testing::TestParamInfo<TypesCase>& info) { return caseName(info.param); });

}  // namespace
}  // namespace Web
}  // namespace Harlune
