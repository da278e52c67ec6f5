#include "dialogs/MacSaveFileDialogImpl.h"

#include <cctype>
#include <ostream>
#include <string>

#include <desktop/Panel.h>
#include <desktop/System.h>
#include <gtest/gtest.h>

#include "DialogTestSupport.h"

namespace Harlune {
namespace Web {
namespace {

using Strings = std::vector<std::string>;

TEST(SuggestedExtension, UpToFourBytesAfterTheLastDotUnlessTheNameListsAuthors) {
  EXPECT_EQ(MacSaveFileDialogImpl::suggestedExtension("photo.jpeg"), "jpeg");
  EXPECT_EQ(MacSaveFileDialogImpl::suggestedExtension("backup.2019.tar"), "tar");
  EXPECT_EQ(MacSaveFileDialogImpl::suggestedExtension("archive.backup"), "");
  EXPECT_EQ(MacSaveFileDialogImpl::suggestedExtension("archive.tgzip"), "");
  EXPECT_EQ(MacSaveFileDialogImpl::suggestedExtension("README"), "");
  EXPECT_EQ(MacSaveFileDialogImpl::suggestedExtension("trailing."), "");
  EXPECT_EQ(MacSaveFileDialogImpl::suggestedExtension("Miller et al. 2004.pdf"), "");
  EXPECT_EQ(MacSaveFileDialogImpl::suggestedExtension(""), "");
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

class SavePanelTypes : public DesktopUserTest,
                       public ::testing::WithParamInterface<TypesCase> {};

TEST_P(SavePanelTypes, AllowedAndOtherTypes) {
  const TypesCase& c = GetParam();
  MacSaveFileDialogImpl impl("Save", c.suggestedName, c.fileTypes, "chrome");
  impl.doShow();
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

INSTANTIATE_TEST_SUITE_P(
    Examples, SavePanelTypes,
    ::testing::Values(
        // Without filters: the proposed extension as it is, and any other.
        TypesCase{"photo.jpeg", "", {"jpeg"}, true},
        TypesCase{"archive.backup", "", {}, true},
        TypesCase{"Miller et al. 2004.pdf", "", {}, true},
        TypesCase{"", "", {}, true},
        // With filters: theirs, then the proposed one, with upper-case copies.
        TypesCase{"notes.txt", kImages, {"png", "PNG", "txt", "TXT"}, false},
        TypesCase{"notes.txt", kDocs, {"pdf", "PDF", "txt", "TXT"}, false},
        TypesCase{"archive.backup", kImages, {"png", "PNG"}, false},
        // "*" allows any type; alone it sets no list.
        TypesCase{"", R"([{"filter_name":"All","extensions":["*"]}])", {}, true},
        TypesCase{"a.md", R"([{"filter_name":"All","extensions":["*"]}])", {"md", "MD"}, true}),
    [](const ::testing::TestParamInfo<TypesCase>& info) { return caseName(info.param); });

class SaveImpl : public DesktopUserTest {};

TEST_F(SaveImpl, ConfirmedGivesOnePathCancelledNone) {
  MacSaveFileDialogImpl impl("", "report.txt", "", "firefox");
  EXPECT_EQ(impl.state(), kDialogNotShown);
  answer = choose({"/x/report.txt"});
  EXPECT_EQ(impl.doShow(), (Strings{"/x/report.txt"}));
  EXPECT_EQ(impl.state(), kDialogConfirmed);
  answer = nullptr;
  EXPECT_TRUE(impl.doShow().empty());
  EXPECT_EQ(impl.state(), kDialogCancelled);
  EXPECT_TRUE(logged("MacSaveFileDialogImpl::doShow()"));
}

TEST_F(SaveImpl, NameFieldIsSetDirectlyFromMinorVersionSixOn) {
  struct Case {
    Desktop::SystemVersion version;
    bool forDirectory;
  } cases[] = {{{10, 15, 0}, false}, {{10, 6, 0}, false}, {{10, 5, 8}, true}, {{11, 0, 0}, true},
               {{12, 6, 1}, false}};
  for (const Case& c : cases) {
    Desktop::setSystemVersion(c.version);
    MacSaveFileDialogImpl impl("", "report.txt", "", "chrome");
    seen.clear();
    impl.doShow();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].ranForDirectory, c.forDirectory) << c.version.major << "." << c.version.minor;
    EXPECT_EQ(seen[0].nameFieldStringValue, "report.txt");
  }
}

TEST_F(SaveImpl, AFailedVersionLookupTakesTheDirectoryForm) {
  Desktop::setSystemVersionFailure(true);
  MacSaveFileDialogImpl impl("", "", "", "chrome");
  impl.doShow();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_TRUE(seen[0].ranForDirectory);
  EXPECT_EQ(seen[0].nameFieldStringValue, "");
  EXPECT_TRUE(logged("Unable to obtain system version"));
}

TEST_F(SaveImpl, AFilterFaultThrowsBeforeThePanelOpens) {
  MacSaveFileDialogImpl impl("", "a.txt", R"([{"filter_name":1,"extensions":["txt"]}])", "chrome");
  EXPECT_THROW(impl.doShow(), std::runtime_error);
  EXPECT_TRUE(seen.empty());
  EXPECT_EQ(impl.state(), kDialogNotShown);
}

TEST_F(SaveImpl, ClosedDuringTheShowEndsWithoutAnAnswer) {
  MacSaveFileDialogImpl impl("", "a.txt", "", "chrome");
  answer = leaveOpenThen([&] {
    EXPECT_EQ(impl.state(), kDialogShowing);
    impl.doClose();
  });
  EXPECT_TRUE(impl.doShow().empty());
  EXPECT_EQ(impl.state(), kDialogClosed);
  EXPECT_TRUE(logged("Closing save dialog"));
  EXPECT_FALSE(impl.panel().isVisible());
}

TEST_F(SaveImpl, ATimeOutInFirefoxClosesThePanelAndShowsTheNotice) {
  MacSaveFileDialogImpl impl("", "a.txt", "", "firefox");
  impl.setTimeout(5);
  answer = leaveOpenThen(nullptr);
  const double start = loop().now();
  EXPECT_TRUE(impl.doShow().empty());
  EXPECT_DOUBLE_EQ(loop().now() - start, 5);
  EXPECT_EQ(impl.state(), kDialogClosed);
  ASSERT_EQ(app().alertsShown().size(), 1u);
  EXPECT_EQ(app().alertsShown()[0].messageText, "Timed out waiting for file selection");
  EXPECT_TRUE(logged("MacSaveFileDialogImpl::doOnTimeout()"));
}

TEST_F(SaveImpl, APanelFailureIsLoggedAndEndsWithoutAnAnswer) {
  MacSaveFileDialogImpl impl("", "a.txt", "", "chrome");
  answer = [](Desktop::SavePanel&) { return Desktop::PanelAnswer::fail("NSBad", "no disk"); };
  EXPECT_TRUE(impl.doShow().empty());
  EXPECT_EQ(impl.state(), kDialogClosed);
  EXPECT_TRUE(logged("NSOpenPanel error: name=NSBad reason=no disk"));
}

}  // namespace
}  // namespace Web
}  // namespace Harlune
