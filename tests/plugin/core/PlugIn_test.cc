// The core under the guarded policy (the default) where no page reaches.
#include "core/PlugIn.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "FakeHarlune.h"
#include "core/Transfer.h"

namespace Harlune {
namespace Web {
namespace {

// No page can hand the core an empty source (the script call refuses it).
TEST(TransferDocument, EmptySourcesAreLeftOut) {
  Transfer transfer;
  transfer.setSource({"https://h/a", "", "https://h/a"});
  EXPECT_EQ(transfer.document(), "<xferreq xmlns=\"http://schemas.tarsen.com/xml/xferreq/\">"
                                 "<src>https://h/a</src><src>https://h/a</src></xferreq>");
}

// Guarded (the default here): an approval belongs to the page host that got
// it and is found again by its exact bytes, one trailing "/" aside.
TEST(PlugInGuarded, ApprovalsAreExactAndBoundToTheirPageHost) {
  PlugIn::addToApprovedFileList({"/d/a\\b.txt", "/d/dir/"}, "a.example");
  EXPECT_TRUE(PlugIn::isFileAllowed("/d/a\\b.txt", "a.example"));
  EXPECT_TRUE(PlugIn::isFileAllowed("/d/dir", "a.example"));
  EXPECT_FALSE(PlugIn::isFileAllowed("/d/a/b.txt", "a.example"));
  EXPECT_FALSE(PlugIn::isFileAllowed("/d/a\\b.txt", "b.example"));
  EXPECT_FALSE(PlugIn::isFileAllowed("/d/a\\b.txt", ""));
  // A page without a host keeps its approvals to itself.
  PlugIn::addToApprovedFileList({"/d/from-a-file-page"}, "");
  EXPECT_FALSE(PlugIn::isFileAllowed("/d/from-a-file-page", "localhost"));
  EXPECT_TRUE(PlugIn::pathsSelectedByUser.empty());
  PlugIn::pathsApprovedForHost.clear();
}

// Destinations: inside the chosen folder by bytes, with no "." or ".." step,
// and what exists of them resolving inside the folder's resolved path.
TEST(PlugInGuarded, DestinationsStayInsideTheChosenFolder) {
  Testing::TempHome home;
  const std::string chosen = home.path() + "/chosen";
  ASSERT_EQ(mkdir(chosen.c_str(), 0700), 0);
  ASSERT_EQ(mkdir((chosen + "/sub").c_str(), 0700), 0);
  ASSERT_EQ(mkdir((chosen + "X").c_str(), 0700), 0);  // a sibling sharing the name's start
  ASSERT_EQ(symlink("..", (chosen + "/up").c_str()), 0);
  ASSERT_EQ(symlink("sub", (chosen + "/side").c_str()), 0);
  ASSERT_EQ(symlink("/nowhere/x", (chosen + "/dangling").c_str()), 0);
  PlugIn core;
  EXPECT_FALSE(core.allowDestRoot(chosen + "/x"));  // nothing chosen yet
  core.setLastSelectedPath(chosen + "/");
  // Inside: a link that stays inside, and one odd file name that is no step.
  for (const std::string& inside : {chosen, chosen + "/", chosen + "/new/deeper/file",
                                    chosen + "/side/x", chosen + "/sub//x",
                                    chosen + "/a\\..\\..\\x"}) {
    EXPECT_TRUE(core.allowDestRoot(inside)) << inside;
  }
  for (const std::string& outside :
       {std::string(), chosen + "X/x", home.path(), chosen + "/../chosen/x", chosen + "/./x",
        chosen + "/sub/..", chosen + "/up/x", chosen + "/up", chosen + "/dangling"}) {
    EXPECT_FALSE(core.allowDestRoot(outside)) << outside;
  }
  // A new file named in a save panel: that path only, in a folder that exists.
  core.setLastSelectedPath(home.path() + "/gone");
  EXPECT_TRUE(core.allowDestRoot(home.path() + "/gone"));
  EXPECT_FALSE(core.allowDestRoot(home.path() + "/gone/x"));
  core.setLastSelectedPath(home.path() + "/gone/x");
  EXPECT_FALSE(core.allowDestRoot(home.path() + "/gone/x"));
}

// Guarded: an identifier no reader could trim or cut; a page without a host binds no identifier.
TEST(PlugInGuarded, IdentifiersAreOneTextAndHostLessPagesBindNone) {
  PlugIn core;
  core.setPageHostname("a.example");
  for (const std::string& id : {std::string(), std::string("^a.example"), std::string("a b"),
                                std::string("\xc3\xa9t\xc3\xa9\xe2\x82\xa0")}) {
    EXPECT_EQ(core.isAppIdValid(id), "") << id;
  }
  for (const std::string& id :
       {std::string(" app"), std::string("^a.example "), std::string("a\x7f" "b"),
        std::string("a\0b", 3), std::string("a\xc2\x85" "b"), std::string("\xef\xbb\xbf" "app"),
        std::string("app\xe3\x80\x80")}) {
    EXPECT_NE(core.isAppIdValid(id).find("Invalid argument: app_id"), std::string::npos) << id;
  }
  core.setPageHostname("");
  EXPECT_EQ(core.isAppIdValid("app"), "");
  EXPECT_NE(core.isAppIdValid("^"), "");
}

}  // namespace
}  // namespace Web
}  // namespace Harlune
