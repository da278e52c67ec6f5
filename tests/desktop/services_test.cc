#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <string>

#include "desktop/Pasteboard.h"
#include "desktop/System.h"

using namespace Desktop;

namespace {

TEST(Pasteboard, FileNamesAndStringRoundTripAndClear) {
  Pasteboard board;
  EXPECT_TRUE(board.types().empty());
  const auto before = board.changeCount();
  board.setFileNames({"/tmp/a b.txt", "/tmp/c"});
  board.setString("/tmp/plain");
  EXPECT_EQ(board.types(), (std::vector<PasteboardType>{PasteboardType::FileNames, PasteboardType::String}));
  EXPECT_EQ(board.fileNames(), (std::vector<std::string>{"/tmp/a b.txt", "/tmp/c"}));
  EXPECT_EQ(board.string(), "/tmp/plain");
  board.setFileNames({"/tmp/d"});  // replaces, keeps the type once
  EXPECT_EQ(board.types().size(), 2u);
  EXPECT_EQ(board.fileNames(), (std::vector<std::string>{"/tmp/d"}));
  board.clearContents();
  EXPECT_FALSE(board.hasType(PasteboardType::FileNames));
  EXPECT_FALSE(board.hasType(PasteboardType::String));
  EXPECT_TRUE(board.fileNames().empty());
  EXPECT_TRUE(board.string().empty());
  EXPECT_EQ(board.changeCount(), before + 4);
  EXPECT_EQ(&Pasteboard::drag(), &Pasteboard::drag());
}

TEST(FileManager, ExistsTellsDirectoriesFromFiles) {
  char dir[] = "/tmp/desktop-fm-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string file = std::string(dir) + "/f.txt";
  std::ofstream(file) << "x";
  bool isDir = false;
  EXPECT_TRUE(FileManager::fileExists(dir, &isDir));
  EXPECT_TRUE(isDir);
  EXPECT_TRUE(FileManager::fileExists(file, &isDir));
  EXPECT_FALSE(isDir);
  EXPECT_FALSE(FileManager::fileExists(file + ".missing", &isDir));
  EXPECT_FALSE(FileManager::fileExists(""));
  std::remove(file.c_str());
  rmdir(dir);
}

TEST(MimeTypes, ExtensionsFromTheSystemTable) {
  EXPECT_EQ(mimeTypeForExtension("txt"), "text/plain");
  EXPECT_EQ(mimeTypeForExtension("jpg"), "image/jpeg");
  EXPECT_EQ(mimeTypeForExtension("JPG"), "image/jpeg");
  EXPECT_EQ(mimeTypeForExtension(""), "");
  EXPECT_EQ(mimeTypeForExtension("nosuchextensionzz"), "");
  EXPECT_EQ(mimeTypeForPath("/Users/me/notes.txt"), "text/plain");
  EXPECT_EQ(mimeTypeForPath("/Users/me/photo.tar.JPEG"), "image/jpeg");
  EXPECT_EQ(mimeTypeForPath("/Users/me/README"), "");
  EXPECT_EQ(mimeTypeForPath("/Users/me.d/README"), "");
  EXPECT_EQ(mimeTypeForPath("/Users/me/.txt"), "");
  EXPECT_EQ(pathExtension("/a/b.c/"), "c");
}

class HomeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* home = getenv("HOME");
    hadHome_ = home != nullptr;
    if (hadHome_) savedHome_ = home;
  }
  void TearDown() override {
    if (hadHome_) {
      setenv("HOME", savedHome_.c_str(), 1);
    } else {
      unsetenv("HOME");
    }
  }

 private:
  bool hadHome_ = false;
  std::string savedHome_;
};

TEST_F(HomeTest, UserFoldersLieUnderLibraryAndAreNotCreated) {
  char dir[] = "/tmp/desktop-home-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  setenv("HOME", dir, 1);
  std::string path;
  ASSERT_EQ(userFolderPath(UserFolder::ApplicationSupport, path), Status::Ok);
  EXPECT_EQ(path, std::string(dir) + "/Library/Application Support");
  ASSERT_EQ(userFolderPath(UserFolder::Logs, path), Status::Ok);
  EXPECT_EQ(path, std::string(dir) + "/Library/Logs");
  ASSERT_EQ(userFolderPath(UserFolder::InternetPlugIns, path), Status::Ok);
  EXPECT_EQ(path, std::string(dir) + "/Library/Internet Plug-Ins");
  EXPECT_FALSE(FileManager::fileExists(std::string(dir) + "/Library"));
  rmdir(dir);
}

TEST_F(HomeTest, MissingOrEmptyHomeIsAnError) {
  std::string path = "unchanged";
  unsetenv("HOME");
  EXPECT_EQ(userFolderPath(UserFolder::Logs, path), Status::FolderNotFound);
  setenv("HOME", "", 1);
  EXPECT_EQ(userFolderPath(UserFolder::ApplicationSupport, path), Status::FolderNotFound);
  EXPECT_EQ(path, "unchanged");
}

TEST(SystemVersion, DefaultSettableAndFailing) {
  SystemVersion v{0, 0, 0};
  ASSERT_EQ(systemVersion(v), Status::Ok);
  EXPECT_EQ(v.major, 10u);
  EXPECT_EQ(v.minor, 15u);
  EXPECT_EQ(v.bugfix, 0u);
  setSystemVersion({10, 5, 8});
  setSystemVersionFailure(true);
  SystemVersion untouched{1, 2, 3};
  EXPECT_EQ(systemVersion(untouched), Status::VersionUnavailable);
  EXPECT_EQ(untouched.minor, 2u);
  setSystemVersionFailure(false);
  ASSERT_EQ(systemVersion(v), Status::Ok);
  EXPECT_EQ(v.minor, 5u);
  EXPECT_EQ(v.bugfix, 8u);
  setSystemVersion({10, 15, 0});
}

}  // namespace
