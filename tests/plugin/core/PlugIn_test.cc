#include "core/PlugIn.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "FakeHarlune.h"
#include "work/TransfersPoller.h"

namespace Harlune {
namespace Web {
namespace {

TEST(PlugInHostBrowser, FamilyFromTheUserAgent) {
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

TEST(PlugInQueries, ConstantsAndEngineNames) {
  PlugIn core;
  EXPECT_EQ(core.queryBuildVersion(), core.queryPluginVersion());
  const std::string build = core.queryBuildVersion();
  EXPECT_EQ(build.substr(0, build.find('.', build.find('.') + 1)), core.queryVersion());
  EXPECT_EQ(core.queryBrowserEngine(PlugInHostApiGecko), "Gecko");
  EXPECT_EQ(core.queryBrowserEngine(PlugInHostApiMSHTML), "MSHTML");
  EXPECT_EQ(core.queryBrowserEngine(PlugInHostApiWebKit), "WebKit");
  EXPECT_EQ(core.queryBrowserEngine(static_cast<PlugInHostApi_e>(7)), "Unknown");
}

TEST(PlugInConfigure, DropUploadUrlOnlyFromItsParameter) {
  PlugIn core;
  EXPECT_TRUE(core.configure({{"drop-mode", "upload"}}));
  EXPECT_EQ(core.dropUploadUrl(), "");
  EXPECT_TRUE(core.configure({{"drop-upload-url", "https://example.org/in"}}));
  EXPECT_EQ(core.dropUploadUrl(), "https://example.org/in");
}

const char kBadHost[] =
    "{\"error\":{\"code\":-1,\"internal_message\":\"Invalid request\",\"user_message\":"
    "\"Invalid application ID hostname: www.example.org\"}}";

TEST(PlugInSession, BoundIdentifiersMustNameThePageHostExactly) {
  PlugIn core;
  core.setPageHostname("www.example.org");
  EXPECT_EQ(core.isAppIdValid("^www.example.org"), "");
  EXPECT_EQ(core.isAppIdValid("plain-id"), "");
  EXPECT_EQ(core.isAppIdValid(""), "");
  for (const char* refused : {"^sub.www.example.org", "^WWW.example.org", "^www.example.org.",
                              "^example.org", "^", "^www.example.org:80"}) {
    EXPECT_EQ(core.isAppIdValid(refused), kBadHost) << refused;
  }
}

TEST(PlugInSession, OpensOnceAndStartsThePoller) {
  Testing::TempHome home;  // no application: the poller finds nothing to ask
  PlugIn core;
  core.setPageHostname("localhost");
  EXPECT_EQ(core.initSession("^evil.example", "ignored"),
            "{\"error\":{\"code\":-1,\"internal_message\":\"Invalid request\",\"user_message\":"
            "\"Invalid application ID hostname: localhost\"}}");
  EXPECT_FALSE(core.sessionInitialized());
  EXPECT_FALSE(core.transfersPoller()->started());
  EXPECT_EQ(core.initSession("^localhost", "whatever"), "{\"app_id\":\"^localhost\"}");
  EXPECT_TRUE(core.sessionInitialized());
  EXPECT_TRUE(core.transfersPoller()->started());
  EXPECT_EQ(core.initSession("other", ""),
            "{\"error\":{\"code\":-1,\"internal_message\":\"Invalid request\",\"user_message\":"
            "\"Session was already initialized\"}}");
  EXPECT_EQ(core.appId(), "^localhost");
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
