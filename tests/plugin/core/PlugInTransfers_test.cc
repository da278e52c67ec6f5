#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FakeHarlune.h"
#include "LiteralPolicy.h"
#include "core/PlugIn.h"
#include "core/Transfer.h"

namespace Harlune {
namespace Web {
namespace {

using Testing::FakeHarlune;

class Transfers : public ::testing::Test {
protected:
  void SetUp() override { app.publish(home); }

  // The xferreq documents the application received, in order.
  std::vector<std::string> documents() {
    std::vector<std::string> out;
    for (const std::string& r : app.requests()) {
      if (Testing::requestLine(r) == "POST /transfers/ HTTP/1.1") {
        out.push_back(Testing::requestBody(r));
      }
    }
    return out;
  }
  static std::string doc(const std::string& inner) {
    return "<xferreq xmlns=\"http://schemas.tarsen.com/xml/xferreq/\">" + inner + "</xferreq>";
  }

  Testing::TempHome home;
  FakeHarlune app;
  PlugIn core;
};

TEST_F(Transfers, DestinationsMustLieInTheChosenFolder) {
  core.setLastSelectedPath("/Users/a/Downloads");
  EXPECT_TRUE(core.allowDestRoot("/Users/a/Downloads"));
  EXPECT_TRUE(core.allowDestRoot("/Users/a/Downloads/x"));
  EXPECT_TRUE(core.allowDestRoot("\\Users\\a\\Downloads\\x"));
  EXPECT_FALSE(core.allowDestRoot("/Users/a/DownloadsX"));
  EXPECT_FALSE(core.allowDestRoot("/Users/a"));
  EXPECT_FALSE(core.allowDestRoot("/Users/b/Downloads"));
  EXPECT_FALSE(core.allowDestRoot("/users/a/downloads"));
  PlugIn fresh;
  EXPECT_FALSE(fresh.allowDestRoot("/anything"));
}

TEST_F(Transfers, AnAcceptedDownloadUsesUpTheChoice) {
  core.setLastSelectedPath("/Users/a/Downloads");
  EXPECT_TRUE(core.download({"https://h/f?a=1&b=<2>"}, "/Users/a/Downloads/f \"q\""));
  EXPECT_EQ(core.lastSelectedPath(), "");
  EXPECT_FALSE(core.download({"https://h/g"}, "/Users/a/Downloads/g"));
  EXPECT_EQ(documents(), std::vector<std::string>{doc(
                             "<src>https://h/f?a=1&amp;b=&lt;2&gt;</src>"
                             "<dest>file:///Users/a/Downloads/f \"q\"</dest>")});
}

TEST_F(Transfers, RefusedDestinationKeepsTheChoiceAndSendsNothing) {
  core.setLastSelectedPath("/Users/a/Downloads");
  EXPECT_FALSE(core.download({"https://h/f"}, "/etc"));
  EXPECT_EQ(core.lastSelectedPath(), "/Users/a/Downloads");
  EXPECT_TRUE(documents().empty());
}

TEST_F(Transfers, DownloadWithoutDestinationAndListsAsTheyStand) {
  core.setLastSelectedPath("/tmp/dl");
  core.startDownload("https://h/one");
  EXPECT_EQ(core.lastSelectedPath(), "");  // used up even without a destination
  core.startListDownloadToPath("");        // empty list: no <src>
  core.addToDownloadList("https://h/a");
  core.addToDownloadList("");
  core.addToDownloadList("https://h/a");
  core.startListDownloadToPath("");
  core.clearDownloadList();
  core.startListDownloadToPath("");
  EXPECT_EQ(documents(), (std::vector<std::string>{
                             doc("<src>https://h/one</src>"), doc(""),
                             doc("<src>https://h/a</src><src>https://h/a</src>"), doc("")}));
}

TEST_F(Transfers, UploadsSendFileUrlsAndClearTheChoice) {
  core.setLastSelectedPath("/tmp/dl");
  core.startUploadToURL("/Users/me/a b.txt", "https://up/x?y=1&z");
  EXPECT_EQ(core.lastSelectedPath(), "");
  core.addToUploadList("/one");
  core.addToUploadList("C:\\two");
  core.startListUploadToURL("https://up/");
  core.configure({{"drop-upload-url", "https://drop/"}});
  core.uploadDroppedFiles({"/dropped"});
  EXPECT_EQ(documents(),
            (std::vector<std::string>{
                doc("<src>file:///Users/me/a b.txt</src><dest>https://up/x?y=1&amp;z</dest>"),
                doc("<src>file:///one</src><src>file://C:/two</src><dest>https://up/</dest>"),
                doc("<src>file:///dropped</src><dest>https://drop/</dest>")}));
  const std::string first = app.requests()[1];
  EXPECT_NE(first.find("Content-Type: application/vnd.tarsen.xferreq+xml\r\n"), std::string::npos);
  EXPECT_NE(first.find("Authorization-key: test-key\r\n"), std::string::npos);
}

TEST_F(Transfers, WindowsAreOneGetEach) {
  EXPECT_TRUE(core.displayAboutWindow());
  EXPECT_TRUE(core.displayTransferManager());
  EXPECT_TRUE(core.displayPreferencesWindow());
  std::vector<std::string> lines;
  for (const std::string& r : app.requests()) {
    if (Testing::requestLine(r).find("ping") == std::string::npos) {
      lines.push_back(Testing::requestLine(r));
      EXPECT_EQ(Testing::requestBody(r), "");
    }
  }
  EXPECT_EQ(lines, (std::vector<std::string>{"GET /windows/about/ HTTP/1.1",
                                             "GET /windows/transfer-manager/ HTTP/1.1",
                                             "GET /windows/preferences/ HTTP/1.1"}));
}

TEST(TransfersWithoutApplication, NothingIsDeliveredAndNothingCrashes) {
  Testing::TempHome home;
  PlugIn core;
  EXPECT_FALSE(core.download({"https://h/f"}, ""));
  EXPECT_FALSE(core.upload({"/a"}, "https://up/"));
  EXPECT_FALSE(core.displayAboutWindow());
}

}  // namespace
}  // namespace Web
}  // namespace Harlune
