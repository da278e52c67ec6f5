// The portability layer where the pages cannot reach: the log (its ring,
// header, fault handler and concurrent writers), mutexes and threads, string
// cuts, base64, paths, error texts, time and the shell.
#include <taplatform/talog.h>
#include <taplatform/taplatform.h>
#include <taplatform/tapath.h>
#include <taplatform/taprocess.h>
#include <taplatform/tastring.h>
#include <taplatform/tasynchron.h>
#include <taplatform/tathread.h>
#include <taplatform/tatime.h>

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

namespace {


namespace fs = std::filesystem;
using Strings = std::vector<std::string>;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

std::string ReadFile(const std::string& path) {
  std::stringstream ss;
  ss << std::ifstream(path, std::ios::binary).rdbuf();
  return ss.str();
}

Strings Lines(const std::string& path) {
  Strings lines;
  std::istringstream in(ReadFile(path));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The part of a line after its header.
std::string Body(const std::string& line) {
  return line.find("] ") == std::string::npos ? line : line.substr(line.find("] ") + 2);
}

// The log is process-wide: every case starts from a stopped log with the
// default limits and a private HOME.
class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ta_log_cleanup();
    ta_log_set_level(3);
    ta_log_set_logfile_size(10);
    ta_log_set_logfile_count(9);
    char tmpl[] = "/tmp/talog_test.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    if (const char* home = getenv("HOME")) old_home_ = home;
    setenv("HOME", dir_.c_str(), 1);
  }
  void TearDown() override {
    ta_log_cleanup();
    setenv("HOME", old_home_.c_str(), 1);
    fs::remove_all(dir_);
  }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  void Touch(const std::string& name) const { std::ofstream(Path(name)) << "old\n"; }
  void Start(const std::string& name) {
    ASSERT_EQ(ta_log_init(TA_LOG_TYPE_FILE, Path(name).c_str()), 0);
  }
  Strings Bodies(const std::string& name) const {
    Strings out = Lines(Path(name));
    std::transform(out.begin(), out.end(), out.begin(), Body);
    return out;
  }
  std::string dir_, old_home_;
};

TEST_F(LogTest, LevelsTagsFilterRepeatsAndCuts) {
  ta_dbg_set(3);
  EXPECT_EQ(ta_log_get_level(), 4);
  ta_dbg_set_all(3);
  EXPECT_EQ(ta_log_get_level(), 6);
  ta_dbg_set(0);
  EXPECT_EQ(ta_log_get_level(), 3);
  // Lines logged before the start wait for it and meet the level then in force.
  ASSERT_EQ(ta_log_enable_pending_log_lines(), 0);
  TA_LOG(3, "held %d", 3);
  TA_LOG(4, "held %d", 4);
  Start("x.log");
  ta_log_set_level(5);
  for (int level = 0; level <= 6; level++) TA_LOG(level, "level %d", level);
  ta_log_set_level(3);
  TA_LOG(4, "dropped at 3");
  for (int i = 0; i < 3; i++) TA_LOG(3, "fold %s", "same");
  TA_LOG(1, "fold same");  // another tag is another message
  TA_LOG(3, "%s", std::string(5000, 'a').c_str());
  ta_log_set_level(-7);
  EXPECT_EQ(ta_log_get_level(), -1);
  TA_LOG(0, "dropped when off");
  EXPECT_EQ(Bodies("x.0.log"),
            (Strings{"LOG held 3", "ERR level 0", "ERR level 1", "LOG level 2", "LOG level 3",
                     "DBG level 4", "DBG level 5", "LOG fold same", "Last message repeated 2 times",
                     "ERR fold same", "LOG " + std::string(4089, 'a')}));
  struct stat st;
  ASSERT_EQ(stat(Path("x.0.log").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);  // the user's files and address: the user's alone
}

TEST_F(LogTest, HeaderCarriesTimePidAndThread) {
  // The local time now as a header writes it, "YYYY-MM-DD hh:mm:ss.mmm".
  auto stamp_now = [] {
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    struct tm tm;
    char text[64];
    strftime(text, 32, "%Y-%m-%d %H:%M:%S", localtime_r(&tv.tv_sec, &tm));
    return text + std::to_string(1000 + tv.tv_usec / 1000).replace(0, 1, ".");
  };
  Start("x.log");
  const std::string before = stamp_now();
  TA_LOG(3, "header %s", "fields");
  const std::string after = stamp_now();
  const std::string text = ReadFile(Path("x.0.log"));
  const std::string stamp = text.substr(0, before.size());
  EXPECT_LE(before, stamp);  // fixed-width fields: text order is time order
  EXPECT_LE(stamp, after);
  char rest[96];
  std::snprintf(rest, sizeof rest, " [%x-%p] LOG header fields\n", static_cast<unsigned>(getpid()),
                reinterpret_cast<void*>(pthread_self()));
  EXPECT_EQ(text.substr(before.size()), rest);
}

// Each case: the base name, the ring's files present, the file the start picks.
TEST_F(LogTest, StartPicksTheFileInUseFromTheRing) {
  auto range = [](int from, int to, Strings extra = {}) {
    for (int i = from; i <= to; i++) extra.push_back("x." + std::to_string(i) + ".log");
    return extra;
  };
  const std::vector<std::tuple<std::string, Strings, std::string>> cases = {
      {"x.log", range(0, 4), "x.4.log"},
      {"x.log", range(1, 9), "x.9.log"},
      {"x.log", range(2, 9, {"x.0.log"}), "x.0.log"},
      {"x.log", {"x.12.log", "x.3.log.bak", "x.3.txt"}, "x.0.log"},
      {"x", {}, "x.0"},
      {"x", {"x.0", "x.1", "x.5.log"}, "x.1"},
  };
  for (size_t i = 0; i < cases.size(); i++) {
    const auto& [base, present, expected] = cases[i];
    const std::string sub = "ring" + std::to_string(i) + "/";
    fs::create_directory(Path(sub));
    for (const auto& name : present) Touch(sub + name);
    Start(sub + base);
    TA_LOG(3, "ring case %zu", i);
    ta_log_cleanup();
    // Only a new file is linked to the base name.
    bool is_new = std::find(present.begin(), present.end(), expected) == present.end();
    EXPECT_EQ(fs::exists(Path(sub + base)), is_new) << "case " << i;
    for (const auto& entry : fs::directory_iterator(Path(sub))) {
      std::string name = entry.path().filename();
      bool has_line = ReadFile(entry.path()).find("LOG ring case ") != std::string::npos;
      EXPECT_EQ(has_line, name == expected || (name == base && is_new)) << i << ": " << name;
    }
  }
}

// Three threads fill a wrapped ring of four (3 in use, 0 the gap, 1 the oldest):
// each full file switches to the next, dropping the one after it, and
// relinks the base name; no line is torn or lost.
TEST_F(LogTest, ThreadsWriteWholeLinesAcrossSwitchesOfAWrappedRing) {
  ta_log_set_logfile_count(3);
  for (int n = 1; n <= 3; n++) Touch("x." + std::to_string(n) + ".log");
  Start("x.log:1");
  EXPECT_FALSE(fs::exists(Path("x.log:1")) || fs::exists(Path("x.log")));
  const int per_thread = 13000;  // about 2.7 MiB of 70-byte lines
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; t++) {
    threads.emplace_back([t] {
      for (int i = 0; i < per_thread; i++) TA_LOG(3, "thread %d line %05d", t, i);
    });
  }
  for (auto& th : threads) th.join();
  ta_log_cleanup();
  EXPECT_GE(fs::file_size(Path("x.0.log")), 1024u * 1024u);
  EXPECT_FALSE(fs::exists(Path("x.2.log")));
  EXPECT_TRUE(fs::equivalent(Path("x.log"), Path("x.1.log")));
  // Whole lines of this process: a header, then the text and nothing more.
  const char* shape = "%*4d-%*2d-%*2d %*2d:%*2d:%*2d.%*3d [%x-0x%*x] LOG thread %d line %5d%n";
  int next[3] = {0, 0, 0};
  // Oldest file first: the lines of each thread then appear in order.
  for (const char* name : {"x.3.log", "x.0.log", "x.1.log"}) {
    for (const auto& line : Lines(Path(name))) {
      unsigned pid = 0;
      int t = -1, i = -1, end = 0;
      if (line == "old") continue;
      ASSERT_EQ(std::sscanf(line.c_str(), shape, &pid, &t, &i, &end), 3) << line;
      ASSERT_TRUE(pid == static_cast<unsigned>(getpid()) && t >= 0 && t < 3 &&
                  static_cast<size_t>(end) == line.size()) << line;
      EXPECT_EQ(i, next[t]++);
    }
  }
  EXPECT_EQ(next[0] + next[1] + next[2], 3 * per_thread);
}

TEST_F(LogTest, FaultWritesSignalAndBacktrace) {
  std::string path = Path("x.log");
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (ta_log_init(TA_LOG_TYPE_FILE, path.c_str()) != 0) _exit(2);
    raise(SIGSEGV);
    _exit(3);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT) << status;
  Strings bodies = Bodies("x.0.log");
  ASSERT_GE(bodies.size(), 3u);
  EXPECT_EQ(bodies[0], "ERR Process received signal SIGSEGV(11)");
  const std::string prefix = "ERR Backtrace hash:0x";  // the hash, then the frames' addresses
  ASSERT_EQ(bodies[1].compare(0, prefix.size(), prefix), 0) << bodies[1];
  ASSERT_EQ(bodies[1].back(), ' ');
  std::istringstream addresses(bodies[1].substr(prefix.size()));
  std::string hash;
  addresses >> hash;
  EXPECT_TRUE(!hash.empty() && hash.size() <= 8 &&
              hash.find_first_not_of("0123456789abcdef") == std::string::npos) << bodies[1];
  // Each frame line repeats its address.
  size_t frame = 0;
  for (std::string address; addresses >> address; frame++) {
    const bool hex = address.find_first_not_of("0123456789abcdef", 2) == std::string::npos;
    ASSERT_TRUE(address.size() == 18 && address.compare(0, 2, "0x") == 0 && hex) << address;
    ASSERT_LT(frame + 2, bodies.size());
    char expected[32];
    std::snprintf(expected, sizeof expected, "ERR %2zu:%s", frame, address.c_str());
    const std::string& line = bodies[frame + 2];
    EXPECT_TRUE(line.substr(0, 25) == expected && (line.size() == 25 || line[25] == ' ')) << line;
  }
  EXPECT_GE(frame, 2u);
}

TEST_F(LogTest, FailedStartsAndTheLogsFolderKeepErrno) {
  errno = ERANGE;
  TA_LOG(1, "dropped before start");
  EXPECT_EQ(errno, ERANGE);
  EXPECT_EQ(ta_log_init(TA_LOG_TYPE_FILE, nullptr), EINVAL);
  EXPECT_EQ(ta_log_init(TA_LOG_TYPE_FILE, std::string(2049, 'n').c_str()), ENAMETOOLONG);
  CaptureStderr();
  EXPECT_EQ(ta_log_init(TA_LOG_TYPE_FILE, Path("missing/x.log").c_str()), ENOENT);
  EXPECT_EQ(GetCapturedStderr(), "Error opening log directory " + Path("missing") + "\n");
  // A bare name goes to the logs folder; a second start is ignored.
  ASSERT_EQ(ta_log_init(TA_LOG_TYPE_FILE, "app.log:2"), 0);
  EXPECT_EQ(ta_log_init(TA_LOG_TYPE_FILE, Path("other.log").c_str()), 0);
  for (int level : {1, 1, 6}) {  // written, folded, filtered: errno stays
    errno = EDOM;
    TA_LOG(level, "after start");
    EXPECT_EQ(errno, EDOM);
  }
  ta_log_cleanup();
  const std::string folder = "Library/Logs/Tarsen/";
  EXPECT_TRUE(fs::equivalent(Path(folder + "app.log"), Path(folder + "app.0.log")));
  EXPECT_EQ(Bodies(folder + "app.0.log"), (Strings{"ERR after start"}));
  EXPECT_FALSE(fs::exists(Path("other.0.log")));
}

// Taking a mutex twice aborts with a log line rather than hang.
TEST(Mutex, ReacquireAbortsAfterLogging) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  ta_mutex_t m;
  ASSERT_EQ(0, ta_mutex_init(&m));
  ASSERT_EQ(0, ta_mutex_acquire(&m));
  EXPECT_DEATH(ta_log_init(TA_LOG_TYPE_FILE, "-"); ta_mutex_acquire(&m),
               "ERR ta_mutex_acquire: attempt to reacquire non-recursive mutex\\.  Aborting\\.");
  EXPECT_EQ(0, ta_mutex_release(&m));
  EXPECT_EQ(0, ta_mutex_destroy(&m));
}

// What the last spawned thread found out about itself.
int g_detach_state = -1;
size_t g_stack_size = 0;
void* reportSelf(void*) {
  pthread_attr_t attr;
  if (pthread_getattr_np(pthread_self(), &attr) == 0) {
    pthread_attr_getdetachstate(&attr, &g_detach_state);
    pthread_attr_getstacksize(&attr, &g_stack_size);
    pthread_attr_destroy(&attr);
  }
  return nullptr;
}

// A thread spawned with a handle is joinable, its stack at least 256 KiB.
TEST(Thread, SpawnsJoinableThreadsWithAtLeast256KiBOfStack) {
  for (size_t kib : {128, 512, 8192}) {
#ifndef __SANITIZE_THREAD__  // which sizes thread stacks itself
    pthread_attr_t defaults;
    pthread_attr_init(&defaults);
    pthread_attr_setstacksize(&defaults, kib * 1024);
    ASSERT_EQ(0, pthread_setattr_default_np(&defaults));
    pthread_attr_destroy(&defaults);
#endif
    ta_thread_t thread;
    ASSERT_EQ(0, ta_thread_spawn(&thread, reportSelf, nullptr));
    ASSERT_EQ(0, ta_thread_join(thread));
    EXPECT_EQ(PTHREAD_CREATE_JOINABLE, g_detach_state) << kib;
#ifndef __SANITIZE_THREAD__
    EXPECT_GE(g_stack_size, std::max<size_t>(kib, 256) * 1024) << kib;
    EXPECT_LT(g_stack_size, (std::max<size_t>(kib, 256) + 128) * 1024) << kib;
#endif
  }
}

// A plain usleep may refuse a full second; this one must sleep it.
TEST(Thread, OneSecondSleepsTheWholeTime) {
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(0, ta_thread_sleep(1000));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
}

constexpr int kShort = TA_ERR_INSUFFICIENT_BUFFER;

// Copies into six bytes: a cut never ends inside a UTF-8 character, and keeps a whole last one.
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
  // Bad arguments empty the destination.
  EXPECT_EQ(EINVAL, ta_str_ncpy(buffer, nullptr, sizeof buffer));
  EXPECT_STREQ("", buffer);
  strcpy(buffer, "full");
  length = 8;
  EXPECT_EQ(EINVAL, ta_str_to(buffer, "src", sizeof buffer, &length));  // no room at all
  EXPECT_STREQ("", buffer);
  EXPECT_EQ(EINVAL, ta_str_ncpy(nullptr, "src", sizeof buffer));
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
  EXPECT_EQ("Zm9vYmFy Zm8= Zg== +/8A",
            referenceBase64("foobar") + " " + referenceBase64("fo") + " " + referenceBase64("f") +
                " " + referenceBase64(std::string("\xFB\xFF\x00", 3)));
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
  EXPECT_EQ(-1, ta_path_home_dir(buffer, 13));
  EXPECT_EQ(13, ta_path_home_dir(buffer, 14));
  ASSERT_EQ(0, unsetenv("HOME"));
  EXPECT_EQ(-1, ta_path_home_dir(buffer, sizeof buffer));
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
  // A start in the future is refused, not taken as a huge wait.
  ta_timeval_t start;
  ASSERT_EQ(0, ta_time_gettimeofday(&start, nullptr));
  start.tv_sec -= 2;
  uint64_t usec = 0;
  ASSERT_EQ(0, ta_time_get_usec_since(&start, &usec));
  EXPECT_TRUE(usec >= 2000000u && usec < 12000000u) << usec;
  start.tv_sec += 3600;
  EXPECT_EQ(EINVAL, ta_time_get_usec_since(&start, &usec));
  EXPECT_EQ(0u, usec);
}

// The shell's command is no child of ours: its output comes back through a
// FIFO, which blocks the reader until the command writes. (No zombie: HarluneApp_test.)
using ShellTest = LogTest;  // a private folder
TEST_F(ShellTest, ReturnsAtOnceWithThePidLeavesNothingToReapAndNoDescriptors) {
  const std::string fifo = Path("in"), out = Path("out");
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  ASSERT_EQ(0, mkfifo(out.c_str(), 0600));
  auto output = [&] { return ReadFile(out); };
  // An inheritable descriptor at a number the shell itself will not use.
  const int fd = open(fifo.c_str(), O_RDWR);
  ASSERT_EQ(100, dup2(fd, 100));
  close(fd);
  // The command blocks reading the FIFO until this test writes to it.
  const std::string command = "read line < '" + fifo + "'; test -e /proc/$$/fd/100; echo \"$$ " +
                              "got $line $?\" > '" + out + "'";
  pid_t pid = 0;
  ASSERT_EQ(0, ta_shell_create(&pid, command.c_str()));
  ASSERT_GT(pid, 0);
  EXPECT_EQ(0, kill(pid, 0));  // still running: the call did not wait
  errno = 0;
  EXPECT_EQ(-1, waitpid(pid, nullptr, WNOHANG));  // and it is not our child
  EXPECT_EQ(ECHILD, errno);
  ASSERT_EQ(3, write(100, "go\n", 3));
  EXPECT_EQ(std::to_string(pid) + " got go 1\n", output());
  // The same check through system(), which keeps descriptors, sees it.
  ASSERT_EQ(3, write(100, "go\n", 3));
  ASSERT_EQ(0, system((command + " &").c_str()));
  const std::string seen = output();
  EXPECT_EQ(" got go 0\n", seen.substr(seen.find(' '))) << seen;
  close(100);
  EXPECT_EQ(EINVAL, ta_shell_create(nullptr, "true"));
  EXPECT_EQ(EINVAL, ta_shell_create(&pid, nullptr));
}

}  // namespace
