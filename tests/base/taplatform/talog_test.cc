#include <taplatform/talog.h>

#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
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
  size_t end = line.find("] ");
  return end == std::string::npos ? line : line.substr(end + 2);
}

void Touch(const std::string& path) { std::ofstream(path) << "old\n"; }

ino_t Inode(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// The local time now as a header writes it, "YYYY-MM-DD hh:mm:ss.mmm".
std::string StampNow() {
  struct timeval tv;
  gettimeofday(&tv, nullptr);
  struct tm tm;
  localtime_r(&tv.tv_sec, &tm);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                static_cast<int>(tv.tv_usec / 1000));
  return text;
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
  void Start(const std::string& name) {
    ASSERT_EQ(ta_log_init(TA_LOG_TYPE_FILE, Path(name).c_str()), 0);
  }
  Strings Bodies(const std::string& name) const {
    Strings out;
    for (const auto& line : Lines(Path(name))) out.push_back(Body(line));
    return out;
  }

  std::string dir_, old_home_;
};

TEST_F(LogTest, LevelsTagsFilterAndRepeats) {
  ta_dbg_set(3);
  EXPECT_EQ(ta_log_get_level(), 4);
  ta_dbg_set_all(3);
  EXPECT_EQ(ta_log_get_level(), 6);
  ta_dbg_set(0);
  EXPECT_EQ(ta_log_get_level(), 3);
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
            (Strings{"ERR level 0", "ERR level 1", "LOG level 2", "LOG level 3", "DBG level 4",
                     "DBG level 5", "LOG fold same", "Last message repeated 2 times",
                     "ERR fold same", "LOG " + std::string(4089, 'a')}));
}

TEST_F(LogTest, HeaderCarriesTimePidAndThread) {
  Start("x.log");
  const std::string before = StampNow();
  TA_LOG(3, "header %s", "fields");
  const std::string after = StampNow();
  const std::string text = ReadFile(Path("x.0.log"));
  const std::string stamp = text.substr(0, before.size());
  EXPECT_LE(before, stamp);  // fixed-width fields: text order is time order
  EXPECT_LE(stamp, after);
  char rest[96];
  std::snprintf(rest, sizeof rest, " [%x-%p] LOG header fields\n", static_cast<unsigned>(getpid()),
                reinterpret_cast<void*>(pthread_self()));
  EXPECT_EQ(text.substr(before.size()), rest);
}

TEST_F(LogTest, StartPicksTheFileInUseFromTheRing) {
  struct Case {
    std::string base;
    Strings present;
    std::string expected;
  };
  auto range = [](int from, int to, Strings extra = {}) {
    for (int i = from; i <= to; i++) extra.push_back("x." + std::to_string(i) + ".log");
    return extra;
  };
  const std::vector<Case> cases = {
      {"x.log", range(0, 4), "x.4.log"},
      {"x.log", range(1, 9), "x.9.log"},
      {"x.log", range(2, 9, {"x.0.log"}), "x.0.log"},
      {"x.log", {"x.12.log", "x.3.log.bak", "x.3.txt"}, "x.0.log"},
      {"x", {}, "x.0"},
      {"x", {"x.0", "x.1", "x.5.log"}, "x.1"},
  };
  for (size_t i = 0; i < cases.size(); i++) {
    const Case& c = cases[i];
    std::string sub = Path("ring" + std::to_string(i));
    fs::create_directory(sub);
    for (const auto& name : c.present) Touch(sub + "/" + name);
    ASSERT_EQ(ta_log_init(TA_LOG_TYPE_FILE, (sub + "/" + c.base).c_str()), 0);
    TA_LOG(3, "ring case %zu", i);
    ta_log_cleanup();
    // Only a new file is linked to the base name.
    bool is_new = std::find(c.present.begin(), c.present.end(), c.expected) == c.present.end();
    EXPECT_EQ(fs::exists(sub + "/" + c.base), is_new) << "case " << i;
    for (const auto& entry : fs::directory_iterator(sub)) {
      std::string name = entry.path().filename();
      bool has_line = ReadFile(entry.path()).find("LOG ring case " + std::to_string(i)) !=
                      std::string::npos;
      bool expected = name == c.expected || (name == c.base && is_new);
      EXPECT_EQ(has_line, expected) << "case " << i << ": " << name;
    }
  }
}

TEST_F(LogTest, FullFileSwitchesToTheNextNumberAndRelinks) {
  // A ring of four that has wrapped: 3 is in use, 0 is the gap, 1 the oldest.
  ta_log_set_logfile_count(3);
  for (int n = 1; n <= 3; n++) Touch(Path("x." + std::to_string(n) + ".log"));
  Start("x.log:1");
  EXPECT_FALSE(fs::exists(Path("x.log:1")));
  EXPECT_FALSE(fs::exists(Path("x.log")));
  const int count = 14000;  // about 1.3 MiB of 100-byte lines
  for (int i = 0; i < count; i++) TA_LOG(3, "switch %06d %s", i, std::string(70, 's').c_str());
  ta_log_cleanup();
  EXPECT_GE(fs::file_size(Path("x.3.log")), 1024u * 1024u);
  EXPECT_FALSE(fs::exists(Path("x.1.log")));
  EXPECT_TRUE(fs::exists(Path("x.2.log")));
  EXPECT_EQ(Inode(Path("x.log")), Inode(Path("x.0.log")));
  Strings full = Lines(Path("x.3.log")), next = Lines(Path("x.0.log"));
  ASSERT_FALSE(next.empty());
  EXPECT_EQ(full.size() - 1 + next.size(), static_cast<size_t>(count));  // less the "old" line
  EXPECT_EQ(Body(next.back()).substr(0, 18), "LOG switch 013999 ");
}

TEST_F(LogTest, StderrSinksAndErrnoIsPreserved) {
  CaptureStderr();
  ASSERT_EQ(ta_log_init(TA_LOG_TYPE_FILE, "-"), 0);
  TA_LOG(3, "dash %d", 7);
  TA_LOG(4, "dash dropped");
  ta_log_cleanup();
  EXPECT_EQ(GetCapturedStderr(), "LOG dash 7\n");
  errno = ERANGE;
  TA_LOG(1, "errno before start");
  EXPECT_EQ(errno, ERANGE);
  CaptureStderr();
  ta_log_set_echo(1);
  Start("x.log");
  for (const char* text : {"echo error", "echo error", "echo event"}) {
    errno = EDOM;
    TA_LOG(text[6] == 'r' ? 1 : 3, "%s", text);  // the second one folded
    EXPECT_EQ(errno, EDOM);
  }
  TA_LOG(6, "errno filtered");
  EXPECT_EQ(errno, EDOM);
  EXPECT_EQ(GetCapturedStderr(), "ERR echo error\n");
  EXPECT_EQ(Bodies("x.0.log"), (Strings{"ERR echo error", "Last message repeated 1 times",
                                        "LOG echo event"}));
}

TEST_F(LogTest, ThreadsWriteWholeLinesAcrossSwitches) {
  Start("x.log:1");
  const int per_thread = 20000;
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; t++) {
    threads.emplace_back([t] {
      for (int i = 0; i < per_thread; i++) TA_LOG(3, "thread %d line %05d", t, i);
    });
  }
  for (auto& th : threads) th.join();
  ta_log_cleanup();
  const std::regex whole(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \[[0-9a-f]+-0x[0-9a-f]+\] )"
                         R"(LOG thread ([0-2]) line (\d{5}))");
  int next[3] = {0, 0, 0};
  size_t total = 0;
  // Oldest file first: the lines of each thread then appear in order.
  for (int n = 0; fs::exists(Path("x." + std::to_string(n) + ".log")); n++) {
    for (const auto& line : Lines(Path("x." + std::to_string(n) + ".log"))) {
      std::smatch m;
      ASSERT_TRUE(std::regex_match(line, m, whole)) << line;  // nothing torn or joined
      EXPECT_EQ(std::stoi(m[2]), next[std::stoi(m[1])]++);
      total++;
    }
  }
  EXPECT_EQ(total, 3u * per_thread);
  EXPECT_TRUE(fs::exists(Path("x.1.log")));
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
  ASSERT_TRUE(WIFSIGNALED(status)) << status;
  EXPECT_EQ(WTERMSIG(status), SIGABRT);

  Strings bodies = Bodies("x.0.log");
  ASSERT_GE(bodies.size(), 3u);
  EXPECT_EQ(bodies[0], "ERR Process received signal SIGSEGV(11)");
  const std::string hash_prefix = "ERR Backtrace hash:0x";
  ASSERT_EQ(bodies[1].compare(0, hash_prefix.size(), hash_prefix), 0) << bodies[1];
  ASSERT_EQ(bodies[1].back(), ' ');
  std::istringstream tokens(bodies[1].substr(hash_prefix.size()));
  std::string hash, address;
  tokens >> hash;
  // Each frame line repeats the address listed in the hash line, and the
  // hash is FNV-1a over the frames' bytes, each taken as a signed char.
  uint64_t fnv = 0xcbf29ce484222325ull;
  size_t frame = 0;
  for (; tokens >> address; frame++) {
    ASSERT_TRUE(std::regex_match(address, std::regex("0x[0-9a-f]{16}"))) << address;
    ASSERT_LT(frame + 2, bodies.size());
    const std::string& line = bodies[frame + 2];
    char expected[32];
    std::snprintf(expected, sizeof expected, "ERR %2zu:", frame);
    ASSERT_EQ(line.compare(0, 7, expected), 0) << line;
    EXPECT_EQ(line.substr(7, 18), address) << line;
    EXPECT_TRUE(line.size() == 25 || line[25] == ' ') << line;
    const uint64_t value = std::stoull(address, nullptr, 16);
    for (int b = 0; b < 8; b++) {
      fnv ^= static_cast<uint64_t>(static_cast<signed char>(value >> (8 * b)));
      fnv *= 0x100000001b3ull;
    }
  }
  char recomputed[16];
  std::snprintf(recomputed, sizeof recomputed, "%x", static_cast<unsigned>(fnv));
  EXPECT_EQ(hash, recomputed) << bodies[1];
  EXPECT_GE(frame, 2u);
}

TEST_F(LogTest, HeldMessagesFailedStartsAndTheLogsFolder) {
  TA_LOG(3, "dropped while holding is off");
  ASSERT_EQ(ta_log_enable_pending_log_lines(), 0);
  TA_LOG(1, "held first %d", 1);
  TA_LOG(5, "held filtered at start");
  TA_LOG(3, "held second");
  EXPECT_EQ(ta_log_init(TA_LOG_TYPE_REFUSED, Path("x.log").c_str()), EINVAL);
  EXPECT_EQ(ta_log_init(TA_LOG_TYPE_FILE, nullptr), EINVAL);
  EXPECT_EQ(ta_log_init(TA_LOG_TYPE_FILE, std::string(2049, 'n').c_str()), ENAMETOOLONG);
  CaptureStderr();
  EXPECT_EQ(ta_log_init(TA_LOG_TYPE_FILE, Path("missing/x.log").c_str()), ENOENT);
  EXPECT_EQ(GetCapturedStderr(), "Error opening log directory " + Path("missing") + "\n");
  // A bare name goes to the logs folder; a second start is ignored.
  ASSERT_EQ(ta_log_init(TA_LOG_TYPE_FILE, "app.log:2"), 0);
  EXPECT_EQ(ta_log_init(TA_LOG_TYPE_FILE, Path("other.log").c_str()), 0);
  TA_LOG(3, "after start");
  ta_log_cleanup();
  const std::string folder = "Library/Logs/Tarsen/";
  EXPECT_EQ(Inode(Path(folder + "app.log")), Inode(Path(folder + "app.0.log")));
  EXPECT_EQ(Bodies(folder + "app.0.log"),
            (Strings{"ERR held first 1", "LOG held second", "LOG after start"}));
  EXPECT_FALSE(fs::exists(Path("other.0.log")));
}

}  // namespace
