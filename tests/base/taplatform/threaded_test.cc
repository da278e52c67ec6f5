// The threaded parts of the portability layer: the log (its ring, header,
// fault handler and concurrent writers), mutexes and threads.
#include <taplatform/talog.h>
#include <taplatform/tasynchron.h>
#include <taplatform/tathread.h>

#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
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

ino_t Inode(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
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
    Strings out;
    for (const auto& line : Lines(Path(name))) out.push_back(Body(line));
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

// Writers on three threads fill a wrapped ring of four: 3 is in use, 0 the
// gap, 1 the oldest. Each full file switches to the next number, dropping
// the one after it, and relinks the base name; no line is torn or lost.
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
  EXPECT_EQ(Inode(Path("x.log")), Inode(Path("x.1.log")));
  const std::regex whole(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \[[0-9a-f]+-0x[0-9a-f]+\] )"
                         R"(LOG thread ([0-2]) line (\d{5}))");
  int next[3] = {0, 0, 0};
  // Oldest file first: the lines of each thread then appear in order.
  for (const char* name : {"x.3.log", "x.0.log", "x.1.log"}) {
    for (const auto& line : Lines(Path(name))) {
      std::smatch m;
      if (line == "old") continue;
      ASSERT_TRUE(std::regex_match(line, m, whole)) << line;
      EXPECT_EQ(std::stoi(m[2]), next[std::stoi(m[1])]++);
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
    char expected[32];
    std::snprintf(expected, sizeof expected, "ERR %2zu:%s", frame, address.c_str());
    const std::string& line = bodies[frame + 2];
    EXPECT_EQ(line.substr(0, 25), expected);
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

TEST_F(LogTest, FailedStartsAndTheLogsFolderKeepErrno) {
  errno = ERANGE;
  TA_LOG(1, "dropped before start");
  EXPECT_EQ(errno, ERANGE);
  EXPECT_EQ(ta_log_init(TA_LOG_TYPE_REFUSED, Path("x.log").c_str()), EINVAL);
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
  EXPECT_EQ(Inode(Path(folder + "app.log")), Inode(Path(folder + "app.0.log")));
  EXPECT_EQ(Bodies(folder + "app.0.log"), (Strings{"ERR after start"}));
  EXPECT_FALSE(fs::exists(Path("other.0.log")));
}

int g_handler_calls = 0;
void countingHandler() { ++g_handler_calls; }

TEST(Mutex, ReacquireAbortsAfterLoggingOrCallsTheHandler) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  ta_mutex_t m;
  ASSERT_EQ(0, ta_mutex_init(&m));
  EXPECT_DEATH(
      {
        ta_log_init(TA_LOG_TYPE_FILE, "-");
        ta_mutex_acquire(&m);
        ta_mutex_acquire(&m);
      },
      "ERR ta_mutex_acquire: attempt to reacquire non-recursive mutex\\.  Aborting\\.");
  EXPECT_EQ(nullptr, ta_set_mutex_reaquire_handler(countingHandler));
  ASSERT_EQ(0, ta_mutex_acquire(&m));
  EXPECT_EQ(EDEADLK, ta_mutex_acquire(&m));
  EXPECT_EQ(1, g_handler_calls);
  EXPECT_EQ(countingHandler, ta_set_mutex_reaquire_handler(nullptr));
#ifndef __SANITIZE_THREAD__  // which reports the deliberate misuse
  EXPECT_EQ(EBUSY, ta_mutex_destroy(&m));
  int other_result = 0;  // held by another thread is "not held" for that one
  std::thread other([&] { other_result = ta_mutex_release(&m); });
  other.join();
  EXPECT_EQ(EPERM, other_result);
#endif
  // The failed second take did not count as a nested hold.
  EXPECT_EQ(0, ta_mutex_release(&m));
  EXPECT_EQ(0, ta_mutex_destroy(&m));
}

// What a spawned thread finds out about itself, handed back under a
// condition bound to a mutex.
struct ThreadReport {
  ta_mutex_t mutex;
  ta_cond_t cond;
  bool done = false;
  int detach_state = -1;
  size_t stack_size = 0;
  ThreadReport() {
    ta_mutex_init(&mutex);
    ta_cond_init(&cond, &mutex);
  }
  ~ThreadReport() {
    wait();
    ta_cond_destroy(&cond);
    ta_mutex_destroy(&mutex);
  }
  void wait() {
    ta_mutex_acquire(&mutex);
    while (!done) ta_cond_wait(&cond);  // gives the mutex back held
    ta_mutex_release(&mutex);
  }
};

void* reportSelf(void* arg) {
  auto* report = static_cast<ThreadReport*>(arg);
  pthread_attr_t attr;
  ta_mutex_acquire(&report->mutex);
  if (pthread_getattr_np(pthread_self(), &attr) == 0) {
    pthread_attr_getdetachstate(&attr, &report->detach_state);
    pthread_attr_getstacksize(&attr, &report->stack_size);
    pthread_attr_destroy(&attr);
  }
  report->done = true;
  ta_cond_signal(&report->cond);
  ta_mutex_release(&report->mutex);
  return report;
}

// A joinable thread with a handle, else detached; its stack at least 256 KiB.
TEST(Thread, SpawnJoinableOrDetachedWithAtLeast256KiBOfStack) {
  ThreadReport detached;
  ASSERT_EQ(0, ta_thread_spawn(nullptr, reportSelf, &detached));
  detached.wait();
  EXPECT_EQ(PTHREAD_CREATE_DETACHED, detached.detach_state);
  for (size_t kib : {128, 512, 8192}) {
    pthread_attr_t defaults;
    pthread_attr_init(&defaults);
    pthread_attr_setstacksize(&defaults, kib * 1024);
    ASSERT_EQ(0, pthread_setattr_default_np(&defaults));
    pthread_attr_destroy(&defaults);
    ThreadReport report;
    ta_thread_t thread;
    ASSERT_EQ(0, ta_thread_spawn(&thread, reportSelf, &report));
    ASSERT_EQ(0, ta_thread_join(thread));
    EXPECT_EQ(PTHREAD_CREATE_JOINABLE, report.detach_state);
#ifndef __SANITIZE_THREAD__  // which sizes thread stacks itself
    EXPECT_GE(report.stack_size, std::max<size_t>(kib, 256) * 1024) << kib;
    EXPECT_LT(report.stack_size, (std::max<size_t>(kib, 256) + 128) * 1024) << kib;
#endif
  }
}

// A plain usleep may refuse a full second; this one must sleep it.
TEST(Thread, SleepZeroReturnsAtOnceAndOneSecondSleepsTheWholeTime) {
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(0, ta_thread_sleep(0));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(0, ta_thread_sleep(1000));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
}

}  // namespace

