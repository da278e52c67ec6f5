// The memory a core keeps after rounds of queued requests (the log's ring under
// threads is taplatform_test's).
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <new>

#include <gtest/gtest.h>

#include "FakeHarlune.h"
#include "common/Callback.h"
#include "core/PlugIn.h"
#include "link/HttpResponse.h"

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define ROBUST_COUNT_HEAP 1
// Live bytes from operator new, leaving out what the fake application's own thread allocates (it
// keeps a record of every request it saw). The other forms of new and delete call these.
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
// Not inlined: GCC would then see it free blocks it cannot trace to this new.
__attribute__((noinline)) void operator delete(void* p) noexcept {
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
  bool waitFor(size_t n) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(90), [&] { return answers >= n; });
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
