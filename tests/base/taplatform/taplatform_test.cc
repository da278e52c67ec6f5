// The portability layer's single-threaded parts: strings, paths, files,
// time, error texts and the shell.
#include <taplatform/tafile.h>
#include <taplatform/talog.h>
#include <taplatform/taplatform.h>
#include <taplatform/tapath.h>
#include <taplatform/taprocess.h>
#include <taplatform/tastring.h>
#include <taplatform/tatime.h>

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;
constexpr int kShort = TA_ERR_INSUFFICIENT_BUFFER;

// Runs `body` with the log on standard error and returns what it wrote.
template <typename F>
std::string logged(F body) {
  ta_log_init(TA_LOG_TYPE_FILE, "-");
  CaptureStderr();
  body();
  std::string text = GetCapturedStderr();
  ta_log_cleanup();
  return text;
}

// A cut never ends inside a UTF-8 character, and keeps a whole last one.
TEST(String, BoundedCopyAndAppend) {
  const struct {
    const char* src;
    int rc;
    const char* out;
  } copies[] = {{"0123456789", kShort, "01234"},    {"01234", 0, "01234"},
                {"", 0, ""},                         {"abcd\xC3\xA9", kShort, "abcd"},
                {"abc\xE2\x82\xAC", kShort, "abc"},  {"ab\xF0\x9F\x98\x80", kShort, "ab"},
                {"ab\xE2\x82\xACz", kShort, "ab\xE2\x82\xAC"},
                {"a\xF0\x9F\x98\x80", 0, "a\xF0\x9F\x98\x80"}};
  char buffer[8];
  for (const auto& c : copies) {
    EXPECT_EQ(c.rc, ta_str_ncpy(buffer, c.src, 6)) << c.src;
    EXPECT_STREQ(c.out, buffer);
  }
  // Appending stops when full and then changes nothing.
  strcpy(buffer, "ab");
  EXPECT_EQ(0, ta_str_ncat(buffer, "cd", 6));
  EXPECT_EQ(kShort, ta_str_ncat(buffer, "ef", 6));
  EXPECT_EQ(kShort, ta_str_ncat(buffer, "x", 6));
  EXPECT_STREQ("abcde", buffer);
  EXPECT_EQ(EINVAL, ta_str_ncat(buffer, nullptr, 6));
  // ta_str_to starts at the offset and moves it.
  size_t length = 3;
  strcpy(buffer, "abc");
  EXPECT_EQ(0, ta_str_to(buffer, "de", sizeof buffer, &length));
  EXPECT_EQ(kShort, ta_str_to(buffer, "\xC3\xA9\xC3\xA9", sizeof buffer, &length));
  EXPECT_STREQ("abcde\xC3\xA9", buffer);
  EXPECT_EQ(7u, length);
  // Bad arguments empty the destination and are logged.
  const std::string text = logged([&] {
    EXPECT_EQ(EINVAL, ta_str_ncpy(buffer, nullptr, sizeof buffer));
    EXPECT_STREQ("", buffer);
    strcpy(buffer, "full");
    length = 8;
    EXPECT_EQ(EINVAL, ta_str_to(buffer, "src", sizeof buffer, &length));
    EXPECT_STREQ("", buffer);
    EXPECT_EQ(EINVAL, ta_str_ncpy(nullptr, "src", sizeof buffer));
  });
  EXPECT_NE(std::string::npos, text.find(" 8 0 '(nil)'")) << text;
  EXPECT_NE(std::string::npos, text.find("LOG Warning: ta_str_to failure, args ")) << text;
  EXPECT_NE(std::string::npos, text.find(" 8 8 'src'")) << text;
  EXPECT_EQ(-42, ta_str_atoi("  -42x"));
  EXPECT_EQ(17, ta_str_atoi("+17"));
  EXPECT_EQ(0, ta_str_atoi("abc"));
  char number[12];
  EXPECT_STREQ("-2147483648", ta_str_itoa(INT_MIN, number));
}

// Six bits at a time, straight from RFC 4648: the reference the table-driven
// encoder must match for every tail length and every 12-bit value.
std::string referenceBase64(const std::string& in) {
  static const char alphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < in.size(); i += 3) {
    const size_t n = in.size() - i < 3 ? in.size() - i : 3;
    unsigned v = 0;
    for (size_t k = 0; k < 3; ++k) {
      v = v << 8 | (k < n ? static_cast<unsigned char>(in[i + k]) : 0u);
    }
    for (size_t k = 0; k < 4; ++k) out += k <= n ? alphabet[(v >> (18 - 6 * k)) & 0x3F] : '=';
  }
  return out;
}

TEST(String, Base64MatchesTheReferenceForEveryLengthAndBitPattern) {
  std::string vectors;
  for (std::string in : {"f", "fo", "foo", "foob", "fooba", "foobar", "\xFB\xFF"})
    vectors += referenceBase64(in == "\xFB\xFF" ? in + '\0' : in) + " ";
  EXPECT_EQ("Zg== Zm8= Zm9v Zm9vYg== Zm9vYmE= Zm9vYmFy +/8A ", vectors);
  // Consecutive byte pairs of this text run through all 65536 values, so every
  // 12-bit group appears at every position of a six-byte step.
  std::string all;
  for (unsigned v = 0; v < 65536; ++v) all += {static_cast<char>(v >> 8), static_cast<char>(v)};
  for (size_t shift = 0; shift < 3; ++shift) {
    const std::string in = all.substr(shift);
    std::string out(4 * ((in.size() + 2) / 3) + 1, '#');
    ASSERT_EQ(0, ta_str_buf_to_base64(in.data(), in.size(), &out[0], out.size()));
    EXPECT_EQ(referenceBase64(in) + '\0', out) << "shift " << shift;
  }
  for (size_t length = 0; length <= 20; ++length) {
    const std::string in = all.substr(1001, length);
    std::string out(4 * ((length + 2) / 3) + 3, '#');
    ASSERT_EQ(0, ta_str_buf_to_base64(in.data(), length, &out[0], out.size()));
    EXPECT_STREQ(referenceBase64(in).c_str(), out.c_str()) << "length " << length;
    EXPECT_EQ('#', out[out.size() - 1]) << "wrote past the NUL, length " << length;
  }
  // The output needs room for the NUL.
  char out[8] = "keep";
  EXPECT_EQ(kShort, ta_str_buf_to_base64("abc", 3, out, 4));
  EXPECT_STREQ("keep", out);
  EXPECT_EQ(0, ta_str_buf_to_base64("abc", 3, out, 5));
  EXPECT_EQ(kShort, ta_str_buf_to_base64("abcd", 4, out, 8));
  EXPECT_EQ(EINVAL, ta_str_buf_to_base64("", 0, out, 0));
}

TEST(Path, HomeDirIsCanonical) {
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
  EXPECT_EQ(-1, ta_path_home_dir(buffer, 0));
  EXPECT_EQ(-1, ta_path_home_dir(buffer, 13));
  EXPECT_EQ(13, ta_path_home_dir(buffer, 14));
  ASSERT_EQ(0, unsetenv("HOME"));
  EXPECT_EQ(-1, ta_path_home_dir(buffer, sizeof buffer));
}

class InTempDir : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/taplatform_test.XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  std::string dir_;
};

TEST_F(InTempDir, FindFileInPaths) {
  std::filesystem::create_directory(path("first"));
  std::filesystem::create_directory(path("second"));
  std::ofstream(path("second/tool")) << "x";
  const std::string first = path("first"), second = path("second");
  const std::string long_folder = path(std::string(300, 'x'));
  const char* both[] = {first.c_str(), second.c_str(), nullptr};
  const char* too_long[] = {long_folder.c_str(), second.c_str(), nullptr};
  const char* none[] = {nullptr};
  char buffer[512];
  ASSERT_EQ(0, ta_path_find_file_in_paths("tool", both, buffer, sizeof buffer));
  EXPECT_EQ(second + "/tool", buffer);
  // A missing name leaves the last candidate.
  EXPECT_EQ(-1, ta_path_find_file_in_paths("other", both, buffer, sizeof buffer));
  EXPECT_EQ(second + "/other", buffer);
  // A folder too long for the buffer stops the search; folder, '/', name, NUL fit exactly.
  EXPECT_EQ(-1, ta_path_find_file_in_paths("tool", too_long, buffer, 256));
  EXPECT_EQ(0, ta_path_find_file_in_paths("tool", both + 1, buffer, second.size() + 6));
  EXPECT_EQ(-1, ta_path_find_file_in_paths("tool", both + 1, buffer, second.size() + 5));
  EXPECT_EQ(-1, ta_path_find_file_in_paths("", both, buffer, sizeof buffer));
  EXPECT_EQ(-1, ta_path_find_file_in_paths("tool", none, buffer, sizeof buffer));
}

TEST_F(InTempDir, FileStatCopiesEveryFieldAndType) {
  const std::string p = path("data");
  std::ofstream(p) << "hello";
  ASSERT_EQ(0, chmod(p.c_str(), 0640));
  ASSERT_EQ(0, symlink(p.c_str(), path("symlink").c_str()));
  ASSERT_EQ(0, mkfifo(path("fifo").c_str(), 0600));
  struct stat sb;
  ASSERT_EQ(0, stat(p.c_str(), &sb));
  ta_stat_t st;
  memset(&st, 0xAB, sizeof st);
  ASSERT_EQ(0, ta_file_stat(p.c_str(), &st, 0));
  EXPECT_EQ((uint64_t)sb.st_ino, st.inode);
  EXPECT_EQ(5u, st.size);
  EXPECT_EQ((uint32_t)TA_FILE_TYPE_REGULAR, st.type);
  EXPECT_EQ(S_IFREG | 0640, st.mode);
  EXPECT_EQ(getuid(), st.uid);
  EXPECT_EQ(sb.st_gid, st.gid);
  EXPECT_EQ(sb.st_ctime, st.ctime);
  EXPECT_EQ(sb.st_mtime, st.mtime);
  EXPECT_EQ(sb.st_atime, st.atime);
  EXPECT_EQ(1u, st.nlink);
  EXPECT_EQ(0u, st.reserved1 | st.reserved2);
  ASSERT_EQ(0, ta_file_hardlink(p.c_str(), path("link").c_str()));
  ta_file_t f;
  ASSERT_EQ(0, ta_file_openread(p.c_str(), &f));
  ASSERT_EQ(0, ta_file_fstat(&f, &st));
  EXPECT_EQ(2u, st.nlink);
  EXPECT_EQ(0, ta_file_close(&f));
  const struct {
    std::string path;
    int flags;
    unsigned type;
    uint64_t size;
  } types[] = {{dir_, 0, TA_FILE_TYPE_DIRECTORY, 0},
               {path("fifo"), 0, TA_FILE_TYPE_FIFO, 0},
               {"/dev/null", 0, TA_FILE_TYPE_CHARDEV, 0},
               {path("symlink"), 0, TA_FILE_TYPE_REGULAR, 5},
               {path("symlink"), TA_FILE_NOFOLLOW, TA_FILE_TYPE_SYMLINK, p.size()}};
  for (const auto& t : types) {
    ASSERT_EQ(0, ta_file_stat(t.path.c_str(), &st, t.flags)) << t.path;
    EXPECT_EQ(t.type, st.type) << t.path;
    EXPECT_TRUE(t.size == 0 || t.size == st.size) << t.path << " " << st.size;
  }
  // A dangling link exists only when examined itself.
  ASSERT_EQ(0, ta_file_delete(p.c_str()));
  ASSERT_EQ(0, ta_file_delete(path("link").c_str()));
  EXPECT_EQ(0, ta_file_exist(path("symlink").c_str(), 0));
  EXPECT_EQ(1, ta_file_exist(path("symlink").c_str(), TA_FILE_NOFOLLOW));
  EXPECT_EQ(ENOENT, ta_file_stat(path("symlink").c_str(), &st, 0));
}

TEST_F(InTempDir, FileHandles) {
  umask(022);
  ta_file_t f = 7;
  EXPECT_EQ(ENOENT, ta_file_openread(path("missing").c_str(), &f));
  EXPECT_EQ(-1, f);  // a failed open leaves a closed handle
  char buffer[16] = {};
  size_t n = 99;
  const std::string text = logged([&] { EXPECT_EQ(EBADF, ta_file_read(&f, buffer, 8, &n)); });
  EXPECT_EQ(0u, n);
  EXPECT_NE(std::string::npos, text.find("ERR ta_fileread: read failed. error=9")) << text;
  ASSERT_EQ(0, ta_file_openappend(path("log").c_str(), &f, 0644));
  ASSERT_EQ(0, ta_file_write(&f, "one ", 4, &n));
  ASSERT_EQ(0, ta_file_seek(&f, 0, SEEK_SET));
  ASSERT_EQ(0, ta_file_write(&f, "two", 3, &n));  // appends despite the seek
  EXPECT_EQ(0, ta_file_flush(&f));
  ASSERT_EQ(0, ta_file_close(&f));
  EXPECT_EQ(-1, f);
  EXPECT_EQ(0, ta_file_close(&f));  // twice is harmless
  EXPECT_EQ(EINVAL, ta_file_close(nullptr));
  EXPECT_EQ(EINVAL, ta_file_flush(&f));
  ASSERT_EQ(0, ta_file_openread(path("log").c_str(), &f));
  ASSERT_EQ(0, ta_file_seek(&f, 4, SEEK_SET));
  ASSERT_EQ(0, ta_file_read(&f, buffer, sizeof buffer - 1, &n));
  EXPECT_EQ("two", std::string(buffer, n));
  EXPECT_EQ(EINVAL, ta_file_seek(&f, -10, SEEK_SET));
  ASSERT_EQ(0, ta_file_close(&f));
  ta_stat_t st;
  ASSERT_EQ(0, ta_file_stat(path("log").c_str(), &st, 0));
  EXPECT_EQ(0644u, st.mode & 0777u);
}

TEST(Time, UsecSinceTicksAndLocalTime) {
  ta_timeval_t start;
  ASSERT_EQ(0, ta_time_gettimeofday(&start, nullptr));
  start.tv_sec -= 2;
  uint64_t usec = 0;
  ASSERT_EQ(0, ta_time_get_usec_since(&start, &usec));
  EXPECT_GE(usec, 2000000u);
  EXPECT_LT(usec, 12000000u);
  start.tv_sec += 3600;  // a start in the future is refused and logged
  const std::string text = logged([&] {
    EXPECT_EQ(EINVAL, ta_time_get_usec_since(&start, &usec));
    EXPECT_EQ(0u, usec);
  });
  const std::string expected = "ERR get_usec_since (start ticks 0): big old " +
                               std::to_string(start.tv_sec) + "." +
                               std::to_string(start.tv_usec) + " > ";
  EXPECT_NE(std::string::npos, text.find(expected)) << text;
  EXPECT_EQ(EINVAL, ta_time_get_usec_since(nullptr, &usec));
  EXPECT_EQ(EINVAL, ta_time_get_usec_since(&start, nullptr));
  EXPECT_EQ(EINVAL, ta_time_gettimeofday(nullptr, nullptr));
  ASSERT_EQ(0, ta_time_init());
  const uint64_t first = ta_time_ticks_usec();
  EXPECT_LT(first, 10000000u);  // just started
  EXPECT_GE(ta_time_ticks_usec(), first);
  setenv("TZ", "UTC", 1);
  tzset();
  struct tm tm;
  ASSERT_EQ(0, ta_time_localtime(86400 + 3661, &tm));
  char when[32];
  strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &tm);
  EXPECT_STREQ("1970-01-02 01:01:01", when);
  EXPECT_EQ(EINVAL, ta_time_localtime(0, nullptr));
}

TEST(Platform, ErrorTextsAndSockets) {
  char buffer[128], small[8];
  const struct {
    int code;
    int rc;
    const char* text;
  } cases[] = {{ENOENT, 0, "No such file or directory"},
               {TA_ERR_INSUFFICIENT_BUFFER, 0, "Insufficient buffer space"},
               {TA_ERR_LOG_FAILED, 0, "Could not log message"},
               // Unknown codes answer what XSI strerror_r answers.
               {TA_ERR_LAST + 1, EINVAL, "Unknown error 28712"},
               {-1, EINVAL, "Unknown error -1"}};
  for (const auto& c : cases) {
    EXPECT_EQ(c.rc, ta_platform_errstr(c.code, buffer, sizeof buffer)) << c.code;
    EXPECT_STREQ(c.text, buffer);
  }
  EXPECT_EQ(ERANGE, ta_platform_errstr(ENOENT, small, sizeof small));  // cut to fit
  EXPECT_STREQ("No such", small);
  EXPECT_EQ(EINVAL, ta_platform_errstr(2, nullptr, 16));
  EXPECT_EQ(EINVAL, ta_platform_errstr(2, small, 0));
  std::set<std::string> texts;
  for (int code = TA_ERR_BASE; code <= TA_ERR_LAST; ++code) {
    ASSERT_EQ(0, ta_platform_errstr(code, buffer, sizeof buffer));
    EXPECT_EQ(nullptr, strstr(buffer, "Unknown error")) << code;
    texts.insert(buffer);
  }
  EXPECT_EQ(size_t(TA_ERR_LAST - TA_ERR_BASE + 1), texts.size());
  EXPECT_EQ(0, ta_sock_init());
  int pair[2];
  ASSERT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM, 0, pair));
  EXPECT_EQ(0, ta_sock_close(&pair[0]));
  EXPECT_EQ(-1, pair[0]);
  EXPECT_EQ(EBADF, ta_sock_close(&pair[0]));
  EXPECT_EQ(0, ta_sock_close(&pair[1]));
  EXPECT_EQ(0, ta_sock_fini());
}

// The command is no child of ours, so its output comes back through a FIFO:
// opening it for reading blocks until the command writes, and no poll is needed.
class Shell : public InTempDir {
 protected:
  void SetUp() override {
    InTempDir::SetUp();
    ASSERT_EQ(0, mkfifo(path("out").c_str(), 0600));
  }
  std::string output() {
    std::stringstream s;
    s << std::ifstream(path("out")).rdbuf();
    return s.str();
  }
  // Children of this process that ended and were never reaped.
  static int zombieChildren() {
    FILE* ps = popen(("ps -o stat= --ppid " + std::to_string(getpid())).c_str(), "r");
    int count = 0;
    for (int c; ps != nullptr && (c = fgetc(ps)) != EOF;) count += c == 'Z';
    if (ps != nullptr) pclose(ps);
    return count;
  }
};

TEST_F(Shell, ReturnsAtOnceWithTheCommandsPidAndLeavesNothingToReap) {
  const std::string fifo = path("in");
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  // The command blocks opening the FIFO until this test opens its other end.
  const std::string command =
      "read line < '" + fifo + "'; echo \"$$ got $line\" > '" + path("out") + "'";
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
  // Many launches in a row leave no zombie either.
  for (int i = 0; i < 20; ++i) ASSERT_EQ(0, ta_shell_create(&pid, "exit 3"));
  EXPECT_EQ(0, zombieChildren());
  EXPECT_EQ(EINVAL, ta_shell_create(nullptr, "true"));
  EXPECT_EQ(EINVAL, ta_shell_create(&pid, nullptr));
}

TEST_F(Shell, ChildDoesNotInheritDescriptors) {
  // An inheritable descriptor at a number the shell itself will not use.
  int fd = open(path("held").c_str(), O_WRONLY | O_CREAT, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(100, dup2(fd, 100));
  close(fd);
  const std::string command = "test -e /proc/$$/fd/100; echo $? > '" + path("out") + "'";
  pid_t pid = 0;
  ASSERT_EQ(0, ta_shell_create(&pid, command.c_str()));
  EXPECT_EQ("1\n", output());
  // The same check through system(), which keeps descriptors, sees it.
  ASSERT_EQ(0, system((command + " &").c_str()));
  EXPECT_EQ("0\n", output());
  close(100);
}

}  // namespace
