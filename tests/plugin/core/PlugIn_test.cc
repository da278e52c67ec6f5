#include "core/PlugIn.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "FakeHarlune.h"
#include "core/Transfer.h"

namespace Harlune {
namespace Web {
namespace {

TEST(PlugInHostBrowser, FamilyFromTheUserAgentInAnyCase) {
  PlugIn core;
  const std::pair<const char*, const char*> cases[] = {
      {"Mozilla/5.0 (Macintosh) AppleWebKit/537.36 Chrome/120.0 Safari/537.36", "chrome"},
      {"Mozilla/5.0 Gecko/20100101 FireFox/115.0", "firefox"},
      {"Mozilla/5.0 AppleWebKit/605.1.15 Version/17.0 Safari/605.1.15", "safari"},
      {"Tarsen-Browser/1.0 (X11)", "tarsen-browser/1.0 (x11)"},
      {"", ""},
  };
  for (const auto& c : cases) {
    core.setHostBrowser(c.first);
    EXPECT_EQ(core.hostBrowser(), c.second) << c.first;
  }
}

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
  ASSERT_EQ(symlink("..", (chosen + "/up").c_str()), 0);
  ASSERT_EQ(symlink("sub", (chosen + "/side").c_str()), 0);
  ASSERT_EQ(symlink("/nowhere/x", (chosen + "/dangling").c_str()), 0);
  PlugIn core;
  EXPECT_FALSE(core.allowDestRoot(chosen + "/x"));  // nothing chosen yet
  core.setLastSelectedPath(chosen + "/");
  const struct {
    std::string path;
    bool allowed;
  } cases[] = {
      {chosen, true},
      {chosen + "/", true},
      {chosen + "/new/deeper/file", true},
      {chosen + "/side/x", true},  // a link that stays inside
      {chosen + "/sub//x", true},
      {chosen + "X/x", false},
      {home.path(), false},
      {chosen + "/../chosen/x", false},
      {chosen + "/./x", false},
      {chosen + "/sub/..", false},
      {chosen + "/up/x", false},
      {chosen + "/up", false},
      {chosen + "/dangling", false},
      {chosen + "/a\\..\\..\\x", true},  // one odd file name inside, not a step
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(core.allowDestRoot(c.path), c.allowed) << c.path;
  core.setLastSelectedPath(home.path() + "/gone");
  EXPECT_FALSE(core.allowDestRoot(home.path() + "/gone/x"));
}

}  // namespace
}  // namespace Web
}  // namespace Harlune
