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
  core.setLastSelectedPath(home.path() + "/gone");
  EXPECT_FALSE(core.allowDestRoot(home.path() + "/gone/x"));
}

}  // namespace
}  // namespace Web
}  // namespace Harlune
