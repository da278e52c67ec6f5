#include <taplatform/talog.h>

#include <fcntl.h>
#include <signal.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::vector<std::string> Lines(const std::string& path) {
  std::vector<std::string> lines;
  std::istringstream in(ReadFile(path));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The part of a line after its header.
std::string Body(const std::string& line) {
  size_t end = line.find("] ");
  return end == std::string::npos ? line : line.substr(end + 2);
}

bool IsHex(const std::string& s) {
  return !s.empty() && s.find_first_not_of("0123456789abcdef") == std::string::npos;
}

// A line's header, "YYYY-MM-DD hh:mm:ss.mmm [pid-0xthread] ", checked for its
// shape and taken apart; false when the shape differs.
struct Header {
  std::string body;
};
bool ParseHeader(const std::string& line, Header* out) {
  const std::string shape = "dddd-dd-dd dd:dd:dd.ddd [";
  if (line.size() < shape.size()) return false;
  for (size_t i = 0; i < shape.size(); i++) {
    bool ok = shape[i] == 'd' ? std::isdigit(static_cast<unsigned char>(line[i])) != 0
                              : line[i] == shape[i];
    if (!ok) return false;
  }
  size_t dash = line.find('-', shape.size());
  size_t close = line.find("] ", shape.size());
  if (dash == std::string::npos || close == std::string::npos || dash > close) return false;
  std::string pid = line.substr(shape.size(), dash - shape.size());
  std::string thread = line.substr(dash + 1, close - dash - 1);
  if (!IsHex(pid) || thread.compare(0, 2, "0x") != 0 || !IsHex(thread.substr(2))) return false;
  out->body = line.substr(close + 2);
  return true;
}

// "0x" and 16 hexadecimal digits.
bool IsAddress(const std::string& s) {
  return s.size() == 18 && s.compare(0, 2, "0x") == 0 && IsHex(s.substr(2));
}

void Touch(const std::string& path) { std::ofstream(path) << "old\n"; }

ino_t Inode(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// Redirects fd 2 into a file for its lifetime.
class StderrCapture {
 public:
  explicit StderrCapture(const std::string& path) : path_(path) {
    fflush(stderr);
    saved_ = dup(2);
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, 2);
    close(fd);
  }
  ~StderrCapture() { Restore(); }
  std::string Text() {
    Restore();
    return ReadFile(path_);
  }

 private:
  void Restore() {
    if (saved_ < 0) return;
    fflush(stderr);
    dup2(saved_, 2);
    close(saved_);
    saved_ = -1;
  }
  std::string path_;
  int saved_ = -1;
};

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
    const char* home = getenv("HOME");
    had_home_ = home != nullptr;
    if (had_home_) old_home_ = home;
    setenv("HOME", dir_.c_str(), 1);
  }
  void TearDown() override {
    ta_log_cleanup();
    if (had_home_) {
      setenv("HOME", old_home_.c_str(), 1);
    } else {
      unsetenv("HOME");
    }
    fs::remove_all(dir_);
  }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  void Start(const std::string& name) { ASSERT_EQ(ta_log_init(TA_LOG_TYPE_FILE, Path(name).c_str()), 0); }
  std::vector<std::string> Bodies(const std::string& name) const {
    std::vector<std::string> out;
    for (const auto& line : Lines(Path(name))) out.push_back(Body(line));
    return out;
  }

  std::string dir_;
  std::string old_home_;
  bool had_home_ = false;
};

TEST_F(LogTest, TagsFollowLevelsAndTheFilterDrops) {
  Start("x.log");
  ta_log_set_level(5);
  for (int level = 0; level <= 6; level++) TA_LOG(level, "tags level %d", level);
  ta_log_set_level(3);
  TA_LOG(4, "tags dropped at 3");
  ta_log_set_level(-7);
  EXPECT_EQ(ta_log_get_level(), -1);
  TA_LOG(0, "tags dropped when off");
  EXPECT_EQ(Bodies("x.0.log"),
            (std::vector<std::string>{"ERR tags level 0", "ERR tags level 1", "LOG tags level 2",
                                      "LOG tags level 3", "DBG tags level 4", "DBG tags level 5"}));
}

TEST_F(LogTest, LevelSetters) {
  ta_dbg_set(3);
  EXPECT_EQ(ta_log_get_level(), 4);
  ta_dbg_set_all(3);
  EXPECT_EQ(ta_log_get_level(), 6);
  ta_dbg_set(0);
  EXPECT_EQ(ta_log_get_level(), 3);
  ta_dbg_set_all(0);
  EXPECT_EQ(ta_log_get_level(), 3);
  ta_log_set_level(-1);
  EXPECT_EQ(ta_log_get_level(), -1);
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

TEST_F(LogTest, IdenticalMessagesFoldIntoARepeatLine) {
  Start("x.log");
  for (int i = 0; i < 3; i++) TA_LOG(3, "fold %s", "same");
  TA_LOG(3, "fold other");
  TA_LOG(1, "fold tag");
  TA_LOG(3, "fold tag");
  std::vector<std::string> lines = Lines(Path("x.0.log"));
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(Body(lines[0]), "LOG fold same");
  EXPECT_EQ(lines[1], "Last message repeated 2 times");
  EXPECT_EQ(Body(lines[2]), "LOG fold other");
  EXPECT_EQ(Body(lines[3]), "ERR fold tag");
  EXPECT_EQ(Body(lines[4]), "LOG fold tag");
}

TEST_F(LogTest, LongTextIsCut) {
  Start("x.log");
  TA_LOG(3, "%s", std::string(5000, 'a').c_str());
  std::string text = ReadFile(Path("x.0.log"));
  ASSERT_EQ(text.back(), '\n');
  EXPECT_EQ(Body(text), "LOG " + std::string(4089, 'a') + "\n");
}

TEST_F(LogTest, StartPicksTheFileInUseFromTheRing) {
  struct Case {
    std::string base;
    std::vector<std::string> present;
    std::string expected;
  };
  auto range = [](int from, int to, std::vector<std::string> extra = {}) {
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
  std::vector<std::string> full = Lines(Path("x.3.log"));
  std::vector<std::string> next = Lines(Path("x.0.log"));
  ASSERT_FALSE(next.empty());
  EXPECT_EQ(full.size() - 1 + next.size(), static_cast<size_t>(count));  // less the "old" line
  EXPECT_EQ(Body(next.back()).substr(0, 18), "LOG switch 013999 ");
}

TEST_F(LogTest, StderrSinks) {
  {
    StderrCapture capture(Path("dash.txt"));
    ASSERT_EQ(ta_log_init(TA_LOG_TYPE_FILE, "-"), 0);
    TA_LOG(3, "dash %d", 7);
    TA_LOG(4, "dash dropped");
    ta_log_cleanup();
    EXPECT_EQ(capture.Text(), "LOG dash 7\n");
  }
  StderrCapture capture(Path("echo.txt"));
  ta_log_set_echo(1);
  Start("x.log");
  TA_LOG(1, "echo error");
  TA_LOG(3, "echo event");
  EXPECT_EQ(capture.Text(), "ERR echo error\n");
  EXPECT_EQ(Bodies("x.0.log"), (std::vector<std::string>{"ERR echo error", "LOG echo event"}));
}

TEST_F(LogTest, ErrnoIsPreserved) {
  errno = ERANGE;
  TA_LOG(1, "errno before start");
  EXPECT_EQ(errno, ERANGE);
  Start("x.log");
  errno = EDOM;
  TA_LOG(1, "errno written %d", 1);
  EXPECT_EQ(errno, EDOM);
  TA_LOG(1, "errno written %d", 1);  // folded
  EXPECT_EQ(errno, EDOM);
  TA_LOG(6, "errno filtered");
  EXPECT_EQ(errno, EDOM);
  TA_LOG(1, "errno ends the run");
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
  int next[3] = {0, 0, 0};
  size_t total = 0;
  // Oldest file first: the lines of each thread then appear in order.
  for (int n = 0; fs::exists(Path("x." + std::to_string(n) + ".log")); n++) {
    for (const auto& line : Lines(Path("x." + std::to_string(n) + ".log"))) {
      Header h;
      int t = -1, i = -1;
      ASSERT_TRUE(ParseHeader(line, &h)) << line;
      ASSERT_EQ(std::sscanf(h.body.c_str(), "LOG thread %d line %d", &t, &i), 2) << line;
      ASSERT_TRUE(t >= 0 && t < 3) << line;
      EXPECT_EQ(h.body.size(), 23u) << line;  // nothing torn or joined
      EXPECT_EQ(i, next[t]++);
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

  std::vector<std::string> bodies = Bodies("x.0.log");
  ASSERT_GE(bodies.size(), 3u);
  EXPECT_EQ(bodies[0], "ERR Process received signal SIGSEGV(11)");
  const std::string hash_prefix = "ERR Backtrace hash:0x";
  ASSERT_EQ(bodies[1].compare(0, hash_prefix.size(), hash_prefix), 0) << bodies[1];
  ASSERT_EQ(bodies[1].back(), ' ');
  std::istringstream tokens(bodies[1].substr(hash_prefix.size()));
  std::string hash;
  tokens >> hash;
  // Each frame line repeats the address listed in the hash line, and the
  // hash is FNV-1a over the frames' bytes, each taken as a signed char.
  uint64_t fnv = 0xcbf29ce484222325ull;
  std::string address;
  size_t frame = 0;
  for (; tokens >> address; frame++) {
    ASSERT_TRUE(IsAddress(address)) << address;
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

TEST_F(LogTest, HeldMessagesAppearAfterStartInOrder) {
  TA_LOG(3, "held dropped while holding is off");
  ASSERT_EQ(ta_log_enable_pending_log_lines(), 0);
  TA_LOG(1, "held first %d", 1);
  TA_LOG(5, "held filtered at start");
  TA_LOG(3, "held second");
  Start("x.log");
  TA_LOG(3, "held after start");
  EXPECT_EQ(Bodies("x.0.log"),
            (std::vector<std::string>{"ERR held first 1", "LOG held second", "LOG held after start"}));
}

TEST_F(LogTest, FailedStartsLeaveTheLogStopped) {
  EXPECT_EQ(ta_log_init(TA_LOG_TYPE_REFUSED, Path("x.log").c_str()), EINVAL);
  EXPECT_EQ(ta_log_init(TA_LOG_TYPE_FILE, nullptr), EINVAL);
  EXPECT_EQ(ta_log_init(TA_LOG_TYPE_FILE, std::string(2049, 'n').c_str()), ENAMETOOLONG);
  {
    StderrCapture capture(Path("err.txt"));
    EXPECT_EQ(ta_log_init(TA_LOG_TYPE_FILE, Path("missing/x.log").c_str()), ENOENT);
    EXPECT_EQ(capture.Text(), "Error opening log directory " + Path("missing") + "\n");
  }
  TA_LOG(1, "failed start dropped");
  Start("x.log");
  TA_LOG(1, "failed start later");
  EXPECT_EQ(Bodies("x.0.log"), (std::vector<std::string>{"ERR failed start later"}));
}

TEST_F(LogTest, BareNameGoesToTheLogsFolderAndSecondStartIsIgnored) {
  ASSERT_EQ(ta_log_init(TA_LOG_TYPE_FILE, "app.log:2"), 0);
  EXPECT_EQ(ta_log_init(TA_LOG_TYPE_FILE, Path("other.log").c_str()), 0);
  TA_LOG(3, "bare name");
  ta_log_cleanup();
  std::string folder = Path("Library/Logs/Tarsen/");
  EXPECT_EQ(Inode(folder + "app.log"), Inode(folder + "app.0.log"));
  EXPECT_NE(ReadFile(folder + "app.0.log").find("LOG bare name\n"), std::string::npos);
  EXPECT_FALSE(fs::exists(Path("other.0.log")));
}

}  // namespace
