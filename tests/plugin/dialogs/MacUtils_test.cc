#include "dialogs/MacUtils.h"

#include <desktop/Panel.h>
#include <desktop/System.h>
#include <desktop/Window.h>
#include <gtest/gtest.h>

#include "DialogTestSupport.h"
#include "common/OsxUtils.h"
#include "common/Utils.h"

namespace Harlune {
namespace Web {
namespace {

using Strings = std::vector<std::string>;

TEST(CreateFileTypes, EachExtensionOnceWithItsUpperCaseCopyInFilterOrder) {
  EXPECT_EQ(MacUtils::createFileTypes({FileType("Images", {"png", "png", "jpg"})}),
            (Strings{"png", "PNG", "jpg", "JPG"}));
  EXPECT_EQ(MacUtils::createFileTypes({FileType("Docs", {"txt", "pdf"}),
                                       FileType("More", {"pdf", "tar.gz"})}),
            (Strings{"txt", "TXT", "pdf", "PDF", "tar.gz", "TAR.GZ"}));
  // Unicode upper case; bytes that are not UTF-8 stay.
  EXPECT_EQ(MacUtils::createFileTypes({FileType("Intl", {"\u00e4bc", "\u00e9", "stra\u00dfe",
                                                         "\u00c9", "\u0448", "x\xFFy"})}),
            (Strings{"\u00e4bc", "\u00c4BC", "\u00e9", "\u00c9", "stra\u00dfe", "STRASSE",
                     "\u0448", "\u0428", "x\xFFy", "X\xFFY"}));
}

TEST(CreateFileTypes, AnyTypeAddsNothing) {
  EXPECT_TRUE(MacUtils::createFileTypes({FileType("All", {"*"})}).empty());
  EXPECT_EQ(MacUtils::createFileTypes({FileType("All", {"*", "md"})}), (Strings{"md", "MD"}));
  EXPECT_TRUE(MacUtils::createFileTypes({}).empty());
}

class SystemVersion : public DesktopUserTest {
protected:
  std::pair<int, int> versionFor(unsigned major, unsigned minor, unsigned bugfix) {
    Desktop::setSystemVersion({major, minor, bugfix});
    uint16_t outMajor = 0, outMinor = 0;
    MacUtils::getSystemVersion(&outMajor, &outMinor);
    return {outMajor, outMinor};
  }
};

TEST_F(SystemVersion, OldSystemsDecodeTheCombinedValueNewerOnesAskEachPart) {
  EXPECT_EQ(versionFor(10, 3, 9), std::make_pair(10, 3));
  EXPECT_EQ(versionFor(9, 2, 2), std::make_pair(9, 2));
  EXPECT_EQ(versionFor(10, 4, 0), std::make_pair(10, 4));
  EXPECT_EQ(versionFor(10, 15, 7), std::make_pair(10, 15));
  EXPECT_EQ(versionFor(11, 2, 1), std::make_pair(11, 2));
  EXPECT_FALSE(logged("Unable to obtain system version"));
}

TEST_F(SystemVersion, AFailedLookupIsLoggedAndReadsAsTenZero) {
  Desktop::setSystemVersion({10, 15, 0});
  Desktop::setSystemVersionFailure(true);
  uint16_t major = 1, minor = 1;
  MacUtils::getSystemVersion(&major, &minor);
  EXPECT_EQ(major, 10);
  EXPECT_EQ(minor, 0);
  EXPECT_TRUE(logged("Unable to obtain system version: " +
                     std::to_string(Desktop::statusCode(Desktop::Status::VersionUnavailable))));
  MacUtils::getSystemVersion(nullptr, nullptr);  // either output may be left out
  minor = 1;
  MacUtils::getSystemVersion(nullptr, &minor);
  EXPECT_EQ(minor, 0);
}

class OpenPanels : public DesktopUserTest {};

TEST_F(OpenPanels, TheFirstVisiblePanelInWindowListOrderIsFound) {
  Desktop::SavePanel save;
  Desktop::OpenPanel open;
  Desktop::Window plain("plain");
  EXPECT_EQ(MacUtils::getFirstOpenedSaveDialog(), nullptr);
  EXPECT_FALSE(Utils::isSaveDialogOpen());
  EXPECT_FALSE(MacUtils::isSaveDialogOpen(nullptr));
  EXPECT_FALSE(MacUtils::isSaveDialogOpen(&save));

  plain.show();
  open.show();
  save.show();
  EXPECT_EQ(MacUtils::getFirstOpenedSaveDialog(), &open);
  EXPECT_TRUE(MacUtils::isSaveDialogOpen(&save));
  EXPECT_TRUE(Utils::isSaveDialogOpen());
  open.close();
  EXPECT_EQ(MacUtils::getFirstOpenedSaveDialog(), &save);
  // Asked about one panel, only that panel counts; asked about anything
  // else, any panel does.
  EXPECT_FALSE(OsxUtils::isSaveDialogOpen(&open));
  EXPECT_TRUE(OsxUtils::isSaveDialogOpen(&plain));
  save.close();
  EXPECT_FALSE(Utils::isSaveDialogOpen());
  EXPECT_FALSE(OsxUtils::isSaveDialogOpen(&plain));
}

TEST_F(OpenPanels, ClosingWithoutAPanelEndsTheRunOfTheFirstOneShowing) {
  Desktop::OpenPanel panel;
  answer = leaveOpenThen([] { Utils::closeSaveDialog(); });
  EXPECT_EQ(panel.runModal(), Desktop::kModalResponseAbort);
  EXPECT_FALSE(panel.isVisible());
  EXPECT_TRUE(logged("Closing file dialog"));
}

TEST_F(OpenPanels, ClosingAGivenPanelClosesItAndEndsItsRun) {
  Desktop::SavePanel panel;
  bool visibleAfterClose = true;
  answer = leaveOpenThen([&] {
    Utils::closeSaveDialog(&panel);
    visibleAfterClose = panel.isVisible();
  });
  EXPECT_EQ(panel.runModal(), Desktop::kModalResponseAbort);
  EXPECT_FALSE(visibleAfterClose);
  EXPECT_TRUE(logged("Closing file dialog"));
}

TEST_F(OpenPanels, ClosingWhenNothingShowsDoesNothing) {
  Desktop::SavePanel panel;
  Utils::closeSaveDialog(&panel);
  Utils::closeSaveDialog();
  EXPECT_FALSE(logged("Closing file dialog"));
  EXPECT_FALSE(loop().isInModalRun());
}

}  // namespace
}  // namespace Web
}  // namespace Harlune
