// The portability layer's single-threaded parts the pages cannot reach:
// string cuts, base64, paths, error texts, time and the shell.
#include <taplatform/talog.h>
#include <taplatform/taplatform.h>
#include <taplatform/tapath.h>
#include <taplatform/taprocess.h>
#include <taplatform/tastring.h>
#include <taplatform/tatime.h>

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace {

constexpr int kShort = TA_ERR_INSUFFICIENT_BUFFER;

// Runs `body` with the log on standard error and returns what it wrote.
template <typename F>
std::string logged(F body) {
  ta_log_init(TA_LOG_TYPE_FILE, "-");
  testing::internal::CaptureStderr();
  body();
  std::string text = testing::internal::GetCapturedStderr();
  ta_log_cleanup();
  return text;
}

// Copies into six bytes: a cut never ends inside a UTF-8 character, and
// keeps a whole last one.
TEST(String, BoundedCopyAndAppend) {
  const char* cases[][3] = {{"0123456789", "01234", "short"},  {"01234", "01234", "fits"},
                            {"abcd\xC3\xA9", "abcd", "short"}, {"abc\xE2\x82\xAC", "abc", "short"},
                            {"ab\xF0\x9F\x98\x80", "ab", "short"},
                            {"ab\xE2\x82\xACz", "ab\xE2\x82\xAC", "short"},
                            {"a\xF0\x9F\x98\x80", "a\xF0\x9F\x98\x80", "fits"}};
  char buffer[8];
  for (const auto& c : cases) {
    EXPECT_EQ(strcmp(c[2], "fits") == 0 ? 0 : kShort, ta_str_ncpy(buffer, c[0], 6)) << c[0];
    EXPECT_STREQ(c[1], buffer);
  }
  strcpy(buffer, "ab");
  EXPECT_EQ(0, ta_str_ncat(buffer, "cd", 6));
  EXPECT_EQ(kShort, ta_str_ncat(buffer, "ef", 6));
  EXPECT_EQ(kShort, ta_str_ncat(buffer, "x", 6));  // full: nothing changes
  EXPECT_STREQ("abcde", buffer);
  EXPECT_EQ(EINVAL, ta_str_ncat(buffer, nullptr, 6));
  size_t length = 3;  // ta_str_to starts at the offset and moves it
  EXPECT_EQ(kShort, ta_str_to(buffer, "de\xC3\xA9\xC3\xA9", sizeof buffer, &length));
  EXPECT_STREQ("abcde\xC3\xA9", buffer);
  EXPECT_EQ(7u, length);
  // Bad arguments empty the destination and are logged.
  const std::string text = logged([&] {
    EXPECT_EQ(EINVAL, ta_str_ncpy(buffer, nullptr, sizeof buffer));
    EXPECT_STREQ("", buffer);
    strcpy(buffer, "full");
    length = 8;
    EXPECT_EQ(EINVAL, ta_str_to(buffer, "src", sizeof buffer, &length));  // no room at all
    EXPECT_STREQ("", buffer);
    EXPECT_EQ(EINVAL, ta_str_ncpy(nullptr, "src", sizeof buffer));
  });
  EXPECT_NE(std::string::npos, text.find(" 8 0 '(nil)'")) << text;
  EXPECT_NE(std::string::npos, text.find("LOG Warning: ta_str_to failure, args ")) << text;
  EXPECT_NE(std::string::npos, text.find(" 8 8 'src'")) << text;
}

// Six bits at a time, straight from RFC 4648: the reference the table-driven
// encoder must match for every tail length and every 12-bit value.
std::string referenceBase64(const std::string& in) {
  static const char alphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < in.size(); i += 3) {
    const size_t n = std::min<size_t>(in.size() - i, 3);
    unsigned v = 0;
    for (size_t k = 0; k < 3; ++k) v = v << 8 | (k < n ? (unsigned char)in[i + k] : 0u);
    for (size_t k = 0; k < 4; ++k) out += k <= n ? alphabet[(v >> (18 - 6 * k)) & 0x3F] : '=';
  }
  return out;
}

TEST(String, Base64MatchesTheReferenceForEveryLengthAndBitPattern) {
  std::string vectors;
  for (std::string in : {"f", "fo", "foo", "foob", "fooba", "foobar"}) {
    vectors += referenceBase64(in) + " ";
  }
  EXPECT_EQ("Zg== Zm8= Zm9v Zm9vYg== Zm9vYmE= Zm9vYmFy +/8A",
            vectors + referenceBase64(std::string("\xFB\xFF\x00", 3)));
  // Consecutive byte pairs of this text run through all 65536 values, so every
  // 12-bit group appears at every position of a six-byte step.
  std::string all;
  for (unsigned v = 0; v < 65536; ++v) all += {static_cast<char>(v >> 8), static_cast<char>(v)};
  for (size_t length : {0, 1, 2, 3, 4, 5, 6, 7, 8, 11, 12, 13, 131070, 131071, 131072}) {
    const std::string in = all.substr(all.size() - length);
    std::string out(4 * ((length + 2) / 3) + 3, '#');
    ASSERT_EQ(0, ta_str_buf_to_base64(in.data(), length, &out[0], out.size() - 2));
    EXPECT_EQ(referenceBase64(in) + '\0' + "##", out) << "length " << length;
  }
  char out[8] = "keep";  // the output needs room for the NUL
  EXPECT_EQ(kShort, ta_str_buf_to_base64("abc", 3, out, 4));
  EXPECT_STREQ("keep", out);
  EXPECT_EQ(0, ta_str_buf_to_base64("abc", 3, out, 5));
  EXPECT_EQ(EINVAL, ta_str_buf_to_base64("", 0, out, 0));
}

TEST(Path, HomeDirIsCanonicalAndFilesAreFoundInTheirFolders) {
  const char* cases[][2] = {
      {"/home/user", "/home/user"},   {"/home//user///", "/home/user"},
      {"\\home\\user\\", "/home/user"}, {"/home/./user/.", "/home/user"},
      {"/home/other/../user", "/home/user"}, {"/a/b/../../..", "/"},
      {"/../home", "/home"},          {"/", "/"},
      {"", "."},                      {"./", "."},
      {"a/..", "."},                  {"../../x/../y", "../../y"},
      {"C:\\Users\\me\\", "C:/Users/me"}};
  char buffer[256];
  for (const auto& c : cases) {
    ASSERT_EQ(0, setenv("HOME", c[0], 1));
    EXPECT_EQ(static_cast<int>(strlen(c[1])), ta_path_home_dir(buffer, sizeof buffer)) << c[0];
    EXPECT_STREQ(c[1], buffer) << c[0];
  }
  ASSERT_EQ(0, setenv("HOME", "/home/someone", 1));
  EXPECT_EQ(-1, ta_path_home_dir(nullptr, 64));
  EXPECT_EQ(-1, ta_path_home_dir(buffer, 13));
  EXPECT_EQ(13, ta_path_home_dir(buffer, 14));
  ASSERT_EQ(0, unsetenv("HOME"));
  EXPECT_EQ(-1, ta_path_home_dir(buffer, sizeof buffer));
  // Folder, '/', name and NUL must fit; a folder too long stops the search.
  const std::string file = __FILE__, folder = file.substr(0, file.rfind('/')), too_long(300, 'x');
  const char* folders[] = {"/nonexistent", folder.c_str(), nullptr};
  const char* name = file.c_str() + folder.size() + 1;
  EXPECT_EQ(0, ta_path_find_file_in_paths(name, folders, buffer, file.size() + 1));
  EXPECT_EQ(file, buffer);
  EXPECT_EQ(-1, ta_path_find_file_in_paths(name, folders + 1, buffer, file.size()));
  folders[0] = too_long.c_str();
  EXPECT_EQ(-1, ta_path_find_file_in_paths(name, folders, buffer, sizeof buffer));
}

TEST(Platform, ErrorTextsAndTimeSince) {
  char buffer[128], small[8];
  const std::pair<int, const char*> cases[] = {
      {ENOENT, "No such file or directory"},
      {TA_ERR_INSUFFICIENT_BUFFER, "Insufficient buffer space"},
      {TA_ERR_LOG_FAILED, "Could not log message"},
      {TA_ERR_LAST + 1, "Unknown error 28712"}};  // as XSI strerror_r, with 22
  for (const auto& [code, text] : cases) {
    EXPECT_EQ(code > TA_ERR_LAST ? EINVAL : 0, ta_platform_errstr(code, buffer, sizeof buffer));
    EXPECT_STREQ(text, buffer);
  }
  EXPECT_EQ(ERANGE, ta_platform_errstr(ENOENT, small, sizeof small));  // cut to fit
  EXPECT_STREQ("No such", small);
  EXPECT_EQ(EINVAL, ta_platform_errstr(2, nullptr, 16));
  // A start in the future is refused and logged, not taken as a huge wait.
  ta_timeval_t start;
  ASSERT_EQ(0, ta_time_gettimeofday(&start, nullptr));
  start.tv_sec -= 2;
  uint64_t usec = 0;
  ASSERT_EQ(0, ta_time_get_usec_since(&start, &usec));
  EXPECT_TRUE(usec >= 2000000u && usec < 12000000u) << usec;
  start.tv_sec += 3600;
  const std::string text = logged([&] {
    EXPECT_EQ(EINVAL, ta_time_get_usec_since(&start, &usec));
    EXPECT_EQ(0u, usec);
  });
  EXPECT_NE(std::string::npos, text.find("ERR get_usec_since (start ticks 0): big old " +
                                         std::to_string(start.tv_sec) + "." +
                                         std::to_string(start.tv_usec) + " > "))
      << text;
}

// The command is no child of ours, so its output comes back through a FIFO:
// opening it for reading blocks until the command writes, and no poll is needed.
class Shell : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/taplatform_test.XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    dir_ = pattern;
    ASSERT_EQ(0, mkfifo((dir_ + "/out").c_str(), 0600));
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string output() {
    std::stringstream s;
    s << std::ifstream(dir_ + "/out").rdbuf();
    return s.str();
  }
  std::string dir_;
};

TEST_F(Shell, ReturnsAtOnceWithTheCommandsPidAndLeavesNothingToReap) {
  const std::string fifo = dir_ + "/in";
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  // The command blocks opening the FIFO until this test opens its other end.
  const std::string command =
      "read line < '" + fifo + "'; echo \"$$ got $line\" > '" + dir_ + "/out'";
  pid_t pid = 0;
  ASSERT_EQ(0, ta_shell_create(&pid, command.c_str()));
  ASSERT_GT(pid, 0);
  EXPECT_EQ(0, kill(pid, 0));  // still running: the call did not wait
  errno = 0;
  EXPECT_EQ(-1, waitpid(pid, nullptr, WNOHANG));  // and it is not our child
  EXPECT_EQ(ECHILD, errno);
  int fd = open(fifo.c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(3, write(fd, "go\n", 3));
  close(fd);
  EXPECT_EQ(std::to_string(pid) + " got go\n", output());
  // Many launches in a row leave no zombie (a child of ours with state Z).
  for (int i = 0; i < 20; ++i) ASSERT_EQ(0, ta_shell_create(&pid, "exit 3"));
  FILE* ps = popen(("ps -o stat= --ppid " + std::to_string(getpid())).c_str(), "r");
  ASSERT_NE(ps, nullptr);
  int zombies = 0;
  for (int c; (c = fgetc(ps)) != EOF;) zombies += c == 'Z';
  pclose(ps);
  EXPECT_EQ(0, zombies);
  EXPECT_EQ(EINVAL, ta_shell_create(nullptr, "true"));
  EXPECT_EQ(EINVAL, ta_shell_create(&pid, nullptr));
}

TEST_F(Shell, ChildDoesNotInheritDescriptors) {
  // An inheritable descriptor at a number the shell itself will not use.
  int fd = open((dir_ + "/held").c_str(), O_WRONLY | O_CREAT, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(100, dup2(fd, 100));
  close(fd);
  const std::string command = "test -e /proc/$$/fd/100; echo $? > '" + dir_ + "/out'";
  pid_t pid = 0;
  ASSERT_EQ(0, ta_shell_create(&pid, command.c_str()));
  EXPECT_EQ("1\n", output());
  // The same check through system(), which keeps descriptors, sees it.
  ASSERT_EQ(0, system((command + " &").c_str()));
  EXPECT_EQ("0\n", output());
  close(100);
}

}  // namespace
