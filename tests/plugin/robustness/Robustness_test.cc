// Many threads of several cores logging into a small ring at once, and the
// memory a core keeps after rounds of queued requests.
// GCC 12's <regex> warns falsely of an uninitialised std::function under the sanitizers.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <new>
#include <regex>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include <taplatform/talog.h>

#include "FakeHarlune.h"
#include "common/Callback.h"
#include "core/PlugIn.h"
#include "link/HttpResponse.h"

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define ROBUST_COUNT_HEAP 1
// Live bytes from operator new, leaving out what the fake application's own
// thread allocates (it keeps a record of every request it saw). The other
// forms of new and delete call these.
namespace {
std::atomic<long long> liveBytes{0};
thread_local bool onFakeThread = false;
constexpr size_t kHead = 16;
}  // namespace
void* operator new(size_t n) {
  auto* block = static_cast<size_t*>(std::malloc(n + kHead));
  if (block == nullptr) throw std::bad_alloc();
  block[0] = onFakeThread ? 0 : n;
  liveBytes += static_cast<long long>(block[0]);
  return reinterpret_cast<unsigned char*>(block) + kHead;
}
void operator delete(void* p) noexcept {
  if (p == nullptr) return;
  auto* block = reinterpret_cast<size_t*>(static_cast<unsigned char*>(p) - kHead);
  liveBytes -= static_cast<long long>(block[0]);
  std::free(block);
}
void operator delete(void* p, size_t) noexcept { operator delete(p); }
#endif

namespace Harlune {
namespace Web {
namespace {

const char kAnswer[] = "{\"iteration_token\":\"t\"}";

// The answers queued requests deliver, and how many of them were wrong.
struct Counter {
  std::mutex mutex;
  std::condition_variable changed;
  size_t answers = 0, failures = 0;
  void add(bool ok) {
    std::lock_guard<std::mutex> lock(mutex);
    failures += ok ? 0 : 1;
    ++answers;
    changed.notify_all();
  }
  bool waitFor(size_t n, int seconds = 90) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(seconds), [&] { return answers >= n; });
  }
  // A callback for one more request.
  Callback* next() {
    struct Counting : Callback {
      explicit Counting(Counter& into) : into(into) {}
      void handleCallback(void* data) override {
        auto* response = static_cast<HttpResponse*>(data);
        into.add(response != nullptr && response->data() == kAnswer);
      }
      void returnMessage(std::string) override { into.add(false); }
      Counter& into;
    };
    return new Counting(*this);
  }
};

// "2026-12-05 16:45:57.470 [" at position at: the start of an entry's header.
bool dateAt(const std::string& s, size_t at) {
  static const char shape[] = "0000-00-00 00:00:00.000 [";
  if (s.size() < at + sizeof shape - 1) return false;
  for (size_t i = 0; i + 1 < sizeof shape; ++i) {
    const bool digit = std::isdigit(static_cast<unsigned char>(s[at + i]));
    if (shape[i] == '0' ? !digit : s[at + i] != shape[i]) return false;
  }
  return true;
}

// Three instances' cores, each with its request worker and its poller, and the
// main thread log into a ring of 1 MiB files at once; the main thread writes
// enough to go round the ring more than once.
TEST(LogRing, ThreadsOfThreeCoresWriteWholeLinesIntoTheRing) {
  Testing::TempHome home;
  Testing::FakeHarlune app(Testing::FakeHarlune::okHandler(kAnswer));
  app.publish(home);
  const std::string dir = home.path() + "/ring", base = dir + "/ring.log";
  ASSERT_TRUE(std::filesystem::create_directory(dir));
  ASSERT_EQ(ta_log_init(TA_LOG_TYPE_FILE, (base + ":1").c_str()), 0);
  ta_log_set_level(6);

  constexpr size_t kPerCore = 400, kMainBytes = 12u << 20;  // the ring holds about 10 MiB
  const std::string filler(120, 'f');
  Counter counter;
  long long mainLines = 0;
  {
    PlugIn cores[3];
    for (PlugIn& core : cores) {
      core.init(0);
      ASSERT_EQ(core.initSession("", ""), "{\"app_id\":\"\"}");
      for (size_t r = 0; r < kPerCore; ++r) {
        ASSERT_EQ(core.harluneHttpRequestAsync("GET", "/v5/harlune/x", "", counter.next()), "");
      }
    }
    // The main thread keeps writing while the workers and pollers do.
    for (size_t written = 0; written < kMainBytes || !counter.waitFor(3 * kPerCore, 0);
         written += 170) {
      TA_LOG(3, "main line %lld %s", mainLines++, filler.c_str());
    }
    ASSERT_TRUE(counter.waitFor(3 * kPerCore));
  }
  ta_log_cleanup();
  EXPECT_EQ(counter.failures, 0u);

  // The ring: numbered files 0 to 9 only, at most nine of them, the plain name a
  // link to one of them, none much over the limit (the size is checked every
  // 64 KiB written).
  std::map<int, std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const std::string name = entry.path().filename();
    std::smatch number;
    if (std::regex_match(name, number, std::regex("ring\\.([0-9]+)\\.log"))) {
      files[std::stoi(number[1])] = entry.path();
    } else {
      EXPECT_EQ(name, "ring.log") << "a stray file";
    }
  }
  ASSERT_GE(files.size(), 2u);
  EXPECT_LE(files.size(), 9u);
  EXPECT_LE(files.rbegin()->first, 9);
  int linkedTo = -1;
  for (const auto& f : files) {
    EXPECT_LE(std::filesystem::file_size(f.second), (1u << 20) + (64u << 10) + 8192) << f.second;
    if (std::filesystem::equivalent(base, f.second)) linkedTo = f.first;
  }
  ASSERT_NE(linkedTo, -1) << "the plain name links to no numbered file";

  // Every line whole, and the main thread's lines, taken file by file in
  // ring order ending with the linked file, one unbroken run up to the last.
  // Messages may hold line feeds (answers are logged whole): a line that
  // starts no entry continues the one before, but must carry no header of
  // its own further in, which would mean two writes ran into each other.
  const std::regex header("[-0-9 :.]{24}\\[([0-9a-fA-F]+-0x[0-9a-fA-F]+)\\] (ERR|LOG|DBG) ");
  const std::regex mainLine("main line ([0-9]+) " + filler);
  std::set<std::string> threads;
  std::vector<long long> sequence;
  std::vector<std::string> broken;
  for (int k = 1; k <= 10; ++k) {
    const auto found = files.find((linkedTo + k) % 10);  // oldest first
    if (found == files.end()) continue;
    std::ifstream in(found->second, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_TRUE(!text.empty() && text.back() == '\n') << found->second << " ends in a cut line";
    std::istringstream lines(text);
    std::string one;
    for (bool first = true; std::getline(lines, one); first = false) {
      std::smatch entry;
      const bool repeat = one.compare(0, 22, "Last message repeated ") == 0;
      const bool starts = repeat || (dateAt(one, 0) &&
                                     std::regex_search(one, entry, header,
                                                       std::regex_constants::match_continuous));
      bool intact = starts || (!first && one.find("main line") == std::string::npos);
      for (size_t i = starts ? 1 : 0; intact && i < one.size(); ++i) intact = !dateAt(one, i);
      if (!intact) broken.push_back(found->second + ": " + one);
      if (!intact || !starts || repeat) continue;
      threads.insert(entry[1]);
      const std::string message = entry.suffix();
      if (message.compare(0, 10, "main line ") != 0) continue;
      std::smatch number;
      if (std::regex_match(message, number, mainLine)) sequence.push_back(std::stoll(number[1]));
      else broken.push_back(found->second + ": " + one);
    }
  }
  EXPECT_TRUE(broken.empty()) << broken.size() << " broken lines, the first in " << broken[0];
  ASSERT_FALSE(sequence.empty());
  EXPECT_EQ(sequence.back(), mainLines - 1);
  const auto gap = std::adjacent_find(sequence.begin(), sequence.end(),
                                      [](long long a, long long b) { return b != a + 1; });
  EXPECT_TRUE(gap == sequence.end()) << "main line " << *gap + 1 << " missing or out of order";
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
  Testing::FakeHarlune app([](const std::string&) {
    onFakeThread = true;
    return Testing::FakeHarlune::response(200, kAnswer);
  });
  app.publish(home);
  Counter counter;
  PlugIn core;
  core.init(0);
  constexpr size_t kRound = 2000;
  long long after[2] = {0, 0};
  for (int round = 0; round < 2; ++round) {
    for (size_t r = 0; r < kRound; r += 2) {
      core.httpRequestImplementation("GET", "/v5/harlune/m", "", counter.next());
      ASSERT_EQ(core.harluneHttpRequestAsync("POST", "/v5/harlune/m", "{\"n\":1}", counter.next()),
                "");
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
