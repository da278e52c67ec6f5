#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "desktop/Drawing.h"
#include "desktop/Pasteboard.h"
#include "desktop/System.h"

using namespace Desktop;
using Strings = std::vector<std::string>;

namespace {

TEST(Pasteboard, FileNamesAndStringRoundTripAndClear) {
  Pasteboard board;
  const auto before = board.changeCount();
  board.setFileNames({"/tmp/a b.txt", "/tmp/c"});
  board.setString("/tmp/plain");
  board.setFileNames({"/tmp/d"});  // replaces, keeps the type once
  EXPECT_EQ(board.types(), (std::vector<PasteboardType>{PasteboardType::FileNames,
                                                        PasteboardType::String}));
  EXPECT_EQ(board.fileNames(), (Strings{"/tmp/d"}));
  EXPECT_EQ(board.string(), "/tmp/plain");
  board.clearContents();
  EXPECT_FALSE(board.hasType(PasteboardType::FileNames) || board.hasType(PasteboardType::String));
  EXPECT_TRUE(board.fileNames().empty() && board.string().empty());
  EXPECT_EQ(board.changeCount(), before + 4);
}

// Folders under HOME's Library, found but not created; no HOME is an error.
TEST(UserFolders, LieUnderLibraryAndAreNotCreated) {
  const std::string saved = getenv("HOME") ? getenv("HOME") : "";
  char dir[] = "/tmp/desktop-home-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  setenv("HOME", dir, 1);
  std::string found, path;
  for (UserFolder folder :
       {UserFolder::ApplicationSupport, UserFolder::Logs, UserFolder::InternetPlugIns}) {
    ASSERT_EQ(userFolderPath(folder, path), Status::Ok);
    found += path.substr(sizeof dir - 1) + ";";
  }
  EXPECT_EQ(found, "/Library/Application Support;/Library/Logs;/Library/Internet Plug-Ins;");
  bool isDir = false;
  EXPECT_TRUE(FileManager::fileExists(dir, &isDir) && isDir);
  std::ofstream(std::string(dir) + "/f") << "x";
  EXPECT_TRUE(FileManager::fileExists(std::string(dir) + "/f", &isDir) && !isDir);
  EXPECT_FALSE(FileManager::fileExists(std::string(dir) + "/Library"));
  EXPECT_FALSE(FileManager::fileExists(""));
  std::filesystem::remove_all(dir);
  path = "unchanged";
  setenv("HOME", "", 1);
  EXPECT_EQ(userFolderPath(UserFolder::ApplicationSupport, path), Status::FolderNotFound);
  unsetenv("HOME");
  EXPECT_EQ(userFolderPath(UserFolder::Logs, path), Status::FolderNotFound);
  EXPECT_EQ(path, "unchanged");
  setenv("HOME", saved.c_str(), 1);
}

TEST(SystemVersion, DefaultSettableAndFailing) {
  SystemVersion v{0, 0, 0};
  ASSERT_EQ(systemVersion(v), Status::Ok);
  EXPECT_EQ(v.major * 10000 + v.minor * 100 + v.bugfix, 101500u);
  setSystemVersion({10, 5, 8});
  setSystemVersionFailure(true);
  SystemVersion untouched{1, 2, 3};
  EXPECT_EQ(systemVersion(untouched), Status::VersionUnavailable);
  EXPECT_EQ(untouched.minor, 2u);
  setSystemVersionFailure(false);
  ASSERT_EQ(systemVersion(v), Status::Ok);
  EXPECT_EQ(v.major * 10000 + v.minor * 100 + v.bugfix, 100508u);
  setSystemVersion({10, 15, 0});
}

// The pages draw whole and non-JPEG images; a stream cut short fails cleanly too.
TEST(Image, AJpegCutShortIsRefused) {
  std::ifstream in(DESKTOP_TEST_JPEG, std::ios::binary);
  const std::string jpeg{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  ASSERT_GT(jpeg.size(), 200u);
  const auto* data = reinterpret_cast<const unsigned char*>(jpeg.data());
  auto whole = Image::fromJpeg(data, jpeg.size());
  ASSERT_NE(whole, nullptr);
  EXPECT_GT(whole->width(), 0);
  Status status = Status::Ok;
  EXPECT_EQ(Image::fromJpeg(data, jpeg.size() / 2, &status), nullptr);
  EXPECT_EQ(status, Status::BadImageData);
  EXPECT_EQ(Image::fromJpeg(data, 2), nullptr);
  EXPECT_EQ(Image::fromJpeg(nullptr, 0), nullptr);
}

}  // namespace
