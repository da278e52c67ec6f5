// Many threads of several cores logging into a small ring at once, and the
// memory a core keeps after rounds of queued requests.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <taplatform/talog.h>

#include "FakeHarlune.h"
#include "common/Callback.h"
#include "core/PlugIn.h"
#include "link/HttpResponse.h"

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define ROBUST_COUNT_HEAP 1
// Live bytes from operator new, leaving out what the fake application's own
// thread allocates (it keeps a record of every request it saw).
namespace {
std::atomic<long long> liveBytes{0};
thread_local bool onFakeThread = false;
constexpr size_t kHead = 16;
void* countedNew(size_t n) {
  auto* block = static_cast<unsigned char*>(std::malloc(n + kHead));
  if (block == nullptr) throw std::bad_alloc();
  reinterpret_cast<size_t*>(block)[0] = n;
  reinterpret_cast<size_t*>(block)[1] = onFakeThread ? 0 : 1;
  if (!onFakeThread) liveBytes += static_cast<long long>(n);
  return block + kHead;
}
void countedDelete(void* p) noexcept {
  if (p == nullptr) return;
  auto* block = static_cast<unsigned char*>(p) - kHead;
  if (reinterpret_cast<size_t*>(block)[1] != 0)
    liveBytes -= static_cast<long long>(reinterpret_cast<size_t*>(block)[0]);
  std::free(block);
}
}  // namespace
void* operator new(size_t n) { return countedNew(n); }
void* operator new[](size_t n) { return countedNew(n); }
void* operator new(size_t n, const std::nothrow_t&) noexcept {
  try { return countedNew(n); } catch (...) { return nullptr; }
}
void* operator new[](size_t n, const std::nothrow_t&) noexcept {
  try { return countedNew(n); } catch (...) { return nullptr; }
}
void operator delete(void* p) noexcept { countedDelete(p); }
void operator delete[](void* p) noexcept { countedDelete(p); }
void operator delete(void* p, size_t) noexcept { countedDelete(p); }
void operator delete[](void* p, size_t) noexcept { countedDelete(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { countedDelete(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { countedDelete(p); }
#endif

namespace Harlune {
namespace Web {
namespace {

using Testing::FakeHarlune;

struct Counter {
  std::mutex mutex;
  std::condition_variable changed;
  size_t answers = 0;
  size_t failures = 0;
  void add(bool ok) {
    std::lock_guard<std::mutex> lock(mutex);
    ++answers;
    if (!ok) ++failures;
    changed.notify_all();
  }
  bool reached(size_t n) {
    std::lock_guard<std::mutex> lock(mutex);
    return answers >= n;
  }
  bool waitFor(size_t n) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(90), [&] { return answers >= n; });
  }
};

class CountingCallback : public Callback {
public:
  explicit CountingCallback(Counter& into) : _into(into) {}
  void handleCallback(void* data) override {
    auto* response = static_cast<HttpResponse*>(data);
    _into.add(response != nullptr && response->data() == "{\"iteration_token\":\"t\"}");
  }
  void returnMessage(std::string) override { _into.add(false); }

private:
  Counter& _into;
};

std::string readWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// "2026-12-05 16:45:57.470 [" at position at: the start of an entry's header.
bool dateAt(const std::string& s, size_t at) {
  static const char shape[] = "0000-00-00 00:00:00.000 [";
  if (s.size() < at + sizeof shape - 1) return false;
  for (size_t i = 0; i + 1 < sizeof shape; ++i) {
    const char c = s[at + i];
    if (shape[i] == '0' ? !std::isdigit(static_cast<unsigned char>(c)) : c != shape[i]) return false;
  }
  return true;
}

size_t hexRun(const std::string& s, size_t at) {
  size_t end = at;
  while (end < s.size() && std::isxdigit(static_cast<unsigned char>(s[end]))) ++end;
  return end - at;
}

// A whole entry's first line: date, "[pid-0xthread] ", a tag and a text. Gives
// the position of the text, or npos.
size_t entryText(const std::string& s) {
  if (!dateAt(s, 0)) return std::string::npos;
  size_t at = 25;
  size_t n = hexRun(s, at);
  if (n == 0 || s.compare(at + n, 3, "-0x") != 0) return std::string::npos;
  at += n + 3;
  n = hexRun(s, at);
  if (n == 0 || s.compare(at + n, 2, "] ") != 0) return std::string::npos;
  at += n + 2;
  for (const char* tag : {"ERR ", "LOG ", "DBG "}) {
    if (s.compare(at, 4, tag) == 0) return at + 4;
  }
  return std::string::npos;
}

bool digitsOnly(const std::string& s) {
  return !s.empty() && std::all_of(s.begin(), s.end(),
                                   [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

class TempDir {
public:
  TempDir() {
    char pattern[] = "/tmp/robust-log-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (made != nullptr) _path = made;
  }
  ~TempDir() {
    if (_path.empty()) return;
    if (DIR* dir = opendir(_path.c_str())) {
      while (dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") unlink((_path + "/" + name).c_str());
      }
      closedir(dir);
    }
    rmdir(_path.c_str());
  }
  const std::string& path() const { return _path; }

private:
  std::string _path;
};

// Three instances' cores, each with its request worker and its poller, and the
// main thread log into a ring of 1 MiB files at once; the main thread writes
// enough to go round the ring more than once.
TEST(LogRing, ThreadsOfThreeCoresWriteWholeLinesIntoTheRing) {
  TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  Testing::TempHome home;
  FakeHarlune app(FakeHarlune::okHandler("{\"iteration_token\":\"t\"}"));
  app.publish(home);

  const std::string base = dir.path() + "/ring.log";
  ASSERT_EQ(ta_log_init(TA_LOG_TYPE_FILE, (base + ":1").c_str()), 0);
  ta_log_set_level(6);

  constexpr size_t kPerCore = 400;
  constexpr size_t kMainBytes = 12u << 20;  // the ring holds about 10 MiB
  const std::string filler(120, 'f');
  Counter counter;
  long long mainLines = 0;
  {
    std::vector<std::unique_ptr<PlugIn>> cores;
    for (int i = 0; i < 3; ++i) {
      cores.push_back(std::make_unique<PlugIn>());
      cores.back()->init(0);
      ASSERT_EQ(cores.back()->initSession("", ""), "{\"app_id\":\"\"}");
      for (size_t r = 0; r < kPerCore; ++r) {
        ASSERT_EQ(cores.back()->harluneHttpRequestAsync("GET", "/v5/harlune/x", "",
                                                        new CountingCallback(counter)),
                  "");
      }
    }
    // The main thread keeps writing while the workers and pollers do.
    size_t written = 0;
    while (written < kMainBytes || !counter.reached(3 * kPerCore)) {
      TA_LOG(3, "main line %lld %s", mainLines++, filler.c_str());
      written += 170;
    }
    ASSERT_TRUE(counter.waitFor(3 * kPerCore));
  }
  ta_log_cleanup();
  EXPECT_EQ(counter.failures, 0u);

  // The ring: numbered files 0 to 9 only, at most nine of them, the plain name a
  // link to one of them, none much over the limit (the size is checked every
  // 64 KiB written).
  std::map<int, std::string> files;
  DIR* listing = opendir(dir.path().c_str());
  ASSERT_NE(listing, nullptr);
  std::vector<std::string> strays;
  while (dirent* entry = readdir(listing)) {
    const std::string name = entry->d_name;
    const std::string number =
        name.size() > 9 && name.compare(0, 5, "ring.") == 0 && name.compare(name.size() - 4, 4, ".log") == 0
            ? name.substr(5, name.size() - 9)
            : "";
    if (digitsOnly(number)) {
      files[std::stoi(number)] = dir.path() + "/" + name;
    } else if (name != "." && name != ".." && name != "ring.log") {
      strays.push_back(name);
    }
  }
  closedir(listing);
  EXPECT_TRUE(strays.empty()) << strays.front();
  ASSERT_GE(files.size(), 2u);
  EXPECT_LE(files.size(), 9u);
  EXPECT_LE(files.rbegin()->first, 9);
  struct stat linkStat;
  ASSERT_EQ(stat(base.c_str(), &linkStat), 0);
  int linkedTo = -1;
  for (const auto& f : files) {
    struct stat st;
    ASSERT_EQ(stat(f.second.c_str(), &st), 0);
    EXPECT_LE(st.st_size, (1 << 20) + (64 << 10) + 8192) << f.second;
    if (st.st_ino == linkStat.st_ino) linkedTo = f.first;
  }
  ASSERT_NE(linkedTo, -1) << "the plain name links to no numbered file";

  // Every line whole, and the main thread's lines, taken file by file in
  // ring order ending with the linked file, one unbroken run up to the last.
  std::set<std::string> threads;
  std::vector<long long> sequence;
  size_t broken = 0;
  for (size_t k = 1; k <= 10; ++k) {
    const int n = (linkedTo + static_cast<int>(k)) % 10;  // oldest first
    auto found = files.find(n);
    if (found == files.end()) continue;
    const std::string text = readWhole(found->second);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n') << found->second;
    size_t start = 0;
    // Messages may hold line feeds (answers are logged whole): a line that
    // starts no entry continues the one before, but must carry no header of
    // its own further in, which would mean two writes ran into each other.
    bool first = true;
    while (start < text.size()) {
      size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      const std::string one = text.substr(start, end - start);
      start = end + 1;
      const bool repeat = one.compare(0, 22, "Last message repeated ") == 0;
      const size_t textAt = entryText(one);
      const bool starts = repeat || textAt != std::string::npos;
      bool intact = starts ? true : !first && one.find("main line") == std::string::npos;
      for (size_t i = starts ? 1 : 0; intact && i < one.size(); ++i) intact = !dateAt(one, i);
      first = false;
      if (!intact) {
        if (broken++ < 3) ADD_FAILURE() << "broken line in " << found->second << ": " << one;
        continue;
      }
      if (!starts || repeat) continue;
      threads.insert(one.substr(24, one.find(']') - 24));
      static const std::string kMain = "main line ";
      if (one.compare(textAt, kMain.size(), kMain) != 0) continue;
      const size_t space = one.find(' ', textAt + kMain.size());
      const std::string number = one.substr(textAt + kMain.size(), space - textAt - kMain.size());
      if (!digitsOnly(number) || one.substr(space + 1) != filler) {
        if (broken++ < 3) ADD_FAILURE() << "broken main line: " << one;
        continue;
      }
      sequence.push_back(std::stoll(number));
    }
  }
  EXPECT_EQ(broken, 0u);
  ASSERT_FALSE(sequence.empty());
  EXPECT_EQ(sequence.back(), mainLines - 1);
  for (size_t i = 1; i < sequence.size(); ++i) {
    if (sequence[i] != sequence[i - 1] + 1) {
      ADD_FAILURE() << "main line " << sequence[i - 1] + 1 << " missing or out of order";
      break;
    }
  }
  // The ring went round: the earliest lines are gone.
  EXPECT_GT(sequence.front(), 0);
  // The main thread and at least one worker or poller share the kept files.
  EXPECT_GE(threads.size(), 2u);
}

// Queued requests leave nothing behind: a second round of 2,000 requests
// through the same core ends with the same live heap as the first.
TEST(Memory, RoundsOfQueuedRequestsDoNotGrowTheHeap) {
#ifndef ROBUST_COUNT_HEAP
  GTEST_SKIP() << "the sanitizers own operator new";
#else
  Testing::TempHome home;
  const FakeHarlune::Handler ok = FakeHarlune::okHandler("{\"iteration_token\":\"t\"}");
  FakeHarlune app([&ok](const std::string& request) {
    onFakeThread = true;
    return ok(request);
  });
  app.publish(home);
  Counter counter;
  PlugIn core;
  core.init(0);
  constexpr size_t kRound = 2000;
  long long after[2] = {0, 0};
  for (int round = 0; round < 2; ++round) {
    for (size_t r = 0; r < kRound; ++r) {
      const std::string answer =
          r % 2 ? core.harluneHttpRequestAsync("POST", "/v5/harlune/m", "{\"n\":1}",
                                               new CountingCallback(counter))
                : (core.httpRequestImplementation("GET", "/v5/harlune/m", "",
                                                  new CountingCallback(counter)),
                   std::string());
      ASSERT_EQ(answer, "");
    }
    ASSERT_TRUE(counter.waitFor((round + 1) * kRound));
    after[round] = liveBytes.load();
  }
  EXPECT_EQ(counter.failures, 0u);
  EXPECT_LT(after[1] - after[0], 4096) << "first round " << after[0] << ", second " << after[1];
#endif
}

}  // namespace
}  // namespace Web
}  // namespace Harlune
