#include <taplatform/tapath.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

#include <gtest/gtest.h>

namespace {

class HomeDir : public testing::TestWithParam<std::pair<const char*, const char*>> {};

TEST_P(HomeDir, IsCanonical) {
  ASSERT_EQ(0, setenv("HOME", GetParam().first, 1));
  char buffer[256];
  std::string expected = GetParam().second;
  ASSERT_EQ((int)expected.size(), ta_path_home_dir(buffer, sizeof buffer));
  EXPECT_EQ(expected, buffer);
}

INSTANTIATE_TEST_SUITE_P(
    Values, HomeDir,
    testing::Values(std::make_pair("/home/user", "/home/user"),
                    std::make_pair("/home//user///", "/home/user"),
                    std::make_pair("\\home\\user\\", "/home/user"),
                    std::make_pair("/home/./user/.", "/home/user"),
                    std::make_pair("/home/other/../user", "/home/user"),
                    std::make_pair("/a/b/../../..", "/"),
                    std::make_pair("/../home", "/home"),
                    std::make_pair("/", "/"),
                    std::make_pair("", "."),
                    std::make_pair("./", "."),
                    std::make_pair("a/..", "."),
                    std::make_pair("../../x/../y", "../../y"),
                    std::make_pair("C:\\Users\\me\\", "C:/Users/me")));

TEST(HomeDirFailures, UnsetHomeNullOrSmallBuffer) {
  char buffer[8];
  ASSERT_EQ(0, setenv("HOME", "/home/someone", 1));
  EXPECT_EQ(-1, ta_path_home_dir(nullptr, 64));
  EXPECT_EQ(-1, ta_path_home_dir(buffer, 0));
  EXPECT_EQ(-1, ta_path_home_dir(buffer, sizeof buffer));
  EXPECT_EQ(-1, ta_path_home_dir(buffer, 13));
  char exact[14];
  EXPECT_EQ(13, ta_path_home_dir(exact, sizeof exact));
  ASSERT_EQ(0, unsetenv("HOME"));
  EXPECT_EQ(-1, ta_path_home_dir(exact, sizeof exact));
}

class FindFile : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tapath_test.XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    root_ = pattern;
    first_ = root_ + "/first";
    second_ = root_ + "/second";
    std::filesystem::create_directory(first_);
    std::filesystem::create_directory(second_);
    std::ofstream(second_ + "/tool") << "x";
  }
  void TearDown() override { std::filesystem::remove_all(root_); }

  std::string root_, first_, second_;
};

TEST_F(FindFile, FindsNameOnlyInSecondFolder) {
  const char* folders[] = {first_.c_str(), second_.c_str(), nullptr};
  char buffer[512];
  ASSERT_EQ(0, ta_path_find_file_in_paths("tool", folders, buffer, sizeof buffer));
  EXPECT_EQ(second_ + "/tool", buffer);
}

TEST_F(FindFile, MissingNameLeavesLastCandidate) {
  const char* folders[] = {second_.c_str(), first_.c_str(), nullptr};
  char buffer[512];
  EXPECT_EQ(-1, ta_path_find_file_in_paths("other", folders, buffer, sizeof buffer));
  EXPECT_EQ(first_ + "/other", buffer);
}

TEST_F(FindFile, FolderTooLongForBufferStopsTheSearch) {
  std::string long_folder = root_ + "/" + std::string(300, 'x');
  const char* folders[] = {long_folder.c_str(), second_.c_str(), nullptr};
  char buffer[256];
  EXPECT_EQ(-1, ta_path_find_file_in_paths("tool", folders, buffer, sizeof buffer));

  // Exactly enough room for folder, '/', name and NUL is enough.
  const char* second_only[] = {second_.c_str(), nullptr};
  EXPECT_EQ(0, ta_path_find_file_in_paths("tool", second_only, buffer, second_.size() + 6));
  EXPECT_EQ(-1, ta_path_find_file_in_paths("tool", second_only, buffer, second_.size() + 5));
}

TEST_F(FindFile, EmptyNameOrListIsNotFound) {
  const char* folders[] = {second_.c_str(), nullptr};
  const char* none[] = {nullptr};
  char buffer[512];
  EXPECT_EQ(-1, ta_path_find_file_in_paths("", folders, buffer, sizeof buffer));
  EXPECT_EQ(-1, ta_path_find_file_in_paths("tool", none, buffer, sizeof buffer));
}

}  // namespace
