#include <taplatform/tafile.h>
#include <taplatform/talog.h>

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

namespace {

class FileTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tafile_test.XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string path(const char* name) const { return dir_ + "/" + name; }

  std::string makeFile(const char* name, const std::string& content) {
    std::string p = path(name);
    ta_file_t f;
    EXPECT_EQ(0, ta_file_open(p.c_str(), &f,
                              TA_FILE_WRITE | TA_FILE_CREATE | TA_FILE_TRUNCATE, 0600));
    size_t written = 0;
    EXPECT_EQ(0, ta_file_write(&f, content.data(), content.size(), &written));
    EXPECT_EQ(content.size(), written);
    EXPECT_EQ(0, ta_file_close(&f));
    return p;
  }

  std::string dir_;
};

TEST_F(FileTest, StatOfRegularFileCopiesEveryField) {
  std::string p = makeFile("data", "hello");
  ASSERT_EQ(0, chmod(p.c_str(), 0640));
  struct stat sb;
  ASSERT_EQ(0, stat(p.c_str(), &sb));

  ta_stat_t st;
  memset(&st, 0xAB, sizeof st);
  ASSERT_EQ(0, ta_file_stat(p.c_str(), &st, 0));
  EXPECT_EQ((uint64_t)sb.st_ino, st.inode);
  EXPECT_EQ(5u, st.size);
  EXPECT_EQ(0u, st.reserved1);
  EXPECT_EQ((uint32_t)TA_FILE_TYPE_REGULAR, st.type);
  EXPECT_EQ(S_IFREG | 0640, st.mode);
  EXPECT_EQ(getuid(), st.uid);
  EXPECT_EQ(sb.st_gid, st.gid);
  EXPECT_EQ(sb.st_ctime, st.ctime);
  EXPECT_EQ(sb.st_mtime, st.mtime);
  EXPECT_EQ(sb.st_atime, st.atime);
  EXPECT_EQ(1u, st.nlink);
  EXPECT_EQ(0u, st.reserved2);

  ASSERT_EQ(0, ta_file_hardlink(p.c_str(), path("link").c_str()));
  ta_file_t f;
  ASSERT_EQ(0, ta_file_openread(p.c_str(), &f));
  ASSERT_EQ(0, ta_file_fstat(&f, &st));
  EXPECT_EQ(2u, st.nlink);
  EXPECT_EQ((uint64_t)sb.st_ino, st.inode);
  EXPECT_EQ(0, ta_file_close(&f));
}

TEST_F(FileTest, StatTypesOfDirectoryFifoDeviceAndSymlink) {
  std::string target = makeFile("target", "x");
  ASSERT_EQ(0, symlink(target.c_str(), path("symlink").c_str()));
  ASSERT_EQ(0, mkfifo(path("fifo").c_str(), 0600));

  ta_stat_t st;
  ASSERT_EQ(0, ta_file_stat(dir_.c_str(), &st, 0));
  EXPECT_EQ((uint32_t)TA_FILE_TYPE_DIRECTORY, st.type);
  ASSERT_EQ(0, ta_file_stat(path("fifo").c_str(), &st, 0));
  EXPECT_EQ((uint32_t)TA_FILE_TYPE_FIFO, st.type);
  ASSERT_EQ(0, ta_file_stat("/dev/null", &st, 0));
  EXPECT_EQ((uint32_t)TA_FILE_TYPE_CHARDEV, st.type);

  ASSERT_EQ(0, ta_file_stat(path("symlink").c_str(), &st, 0));
  EXPECT_EQ((uint32_t)TA_FILE_TYPE_REGULAR, st.type);
  EXPECT_EQ(1u, st.size);
  ASSERT_EQ(0, ta_file_stat(path("symlink").c_str(), &st, TA_FILE_NOFOLLOW));
  EXPECT_EQ((uint32_t)TA_FILE_TYPE_SYMLINK, st.type);
  EXPECT_EQ(target.size(), st.size);

  // A dangling link exists only when examined itself.
  ASSERT_EQ(0, ta_file_delete(target.c_str()));
  EXPECT_EQ(0, ta_file_exist(path("symlink").c_str(), 0));
  EXPECT_EQ(1, ta_file_exist(path("symlink").c_str(), TA_FILE_NOFOLLOW));
  EXPECT_EQ(ENOENT, ta_file_stat(path("symlink").c_str(), &st, 0));
}

TEST_F(FileTest, CloseTwiceIsHarmless) {
  ta_file_t f;
  ASSERT_EQ(0, ta_file_openread(makeFile("a", "abc").c_str(), &f));
  EXPECT_EQ(0, ta_file_close(&f));
  EXPECT_EQ(-1, f);
  EXPECT_EQ(0, ta_file_close(&f));
  EXPECT_EQ(EINVAL, ta_file_close(nullptr));
  EXPECT_EQ(EINVAL, ta_file_flush(&f));
}

TEST_F(FileTest, FailedOpenLeavesClosedHandle) {
  ta_file_t f = 7;
  EXPECT_EQ(ENOENT, ta_file_openread(path("missing").c_str(), &f));
  EXPECT_EQ(-1, f);
}

TEST_F(FileTest, ReadOnClosedHandleFailsAndLogs) {
  ta_file_t f;
  ASSERT_EQ(0, ta_file_init(&f));
  ta_log_init(TA_LOG_TYPE_FILE, "-");
  testing::internal::CaptureStderr();
  char buffer[8];
  size_t count = 99;
  EXPECT_EQ(EBADF, ta_file_read(&f, buffer, sizeof buffer, &count));
  EXPECT_EQ(0u, count);
  std::string text = testing::internal::GetCapturedStderr();
  ta_log_cleanup();
  EXPECT_NE(std::string::npos, text.find("ERR ta_fileread: read failed. error=9")) << text;
}

TEST_F(FileTest, AppendSeekAndReadBack) {
  umask(022);
  std::string p = path("log");
  ta_file_t f;
  ASSERT_EQ(0, ta_file_openappend(p.c_str(), &f, 0644));
  size_t n;
  ASSERT_EQ(0, ta_file_write(&f, "one ", 4, &n));
  ASSERT_EQ(0, ta_file_seek(&f, 0, SEEK_SET));
  ASSERT_EQ(0, ta_file_write(&f, "two", 3, &n));  // appends despite the seek
  EXPECT_EQ(0, ta_file_flush(&f));
  ASSERT_EQ(0, ta_file_close(&f));

  ASSERT_EQ(0, ta_file_openread(p.c_str(), &f));
  ASSERT_EQ(0, ta_file_seek(&f, 4, SEEK_SET));
  char buffer[16] = {};
  ASSERT_EQ(0, ta_file_read(&f, buffer, sizeof buffer - 1, &n));
  EXPECT_EQ(std::string("two"), std::string(buffer, n));
  EXPECT_EQ(EINVAL, ta_file_seek(&f, -10, SEEK_SET));
  ASSERT_EQ(0, ta_file_close(&f));

  ta_stat_t st;
  ASSERT_EQ(0, ta_file_stat(p.c_str(), &st, 0));
  EXPECT_EQ(0644u, st.mode & 0777u);
}

}  // namespace
