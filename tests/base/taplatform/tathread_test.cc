#include <taplatform/talog.h>
#include <taplatform/tasynchron.h>
#include <taplatform/tathread.h>

#include <errno.h>
#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

#include <gtest/gtest.h>

namespace {

constexpr size_t kKiB = 1024;

#ifdef __SANITIZE_THREAD__
#define SKIP_UNDER_TSAN() GTEST_SKIP() << "ThreadSanitizer sizes thread stacks itself"
#else
#define SKIP_UNDER_TSAN() (void)0
#endif

int g_handler_calls = 0;
void countingHandler() { ++g_handler_calls; }

TEST(Mutex, ReacquireAbortsAfterLoggingWithoutHandler) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        ta_log_init(TA_LOG_TYPE_FILE, "-");
        ta_mutex_t m;
        ta_mutex_init(&m);
        ta_mutex_acquire(&m);
        ta_mutex_acquire(&m);
      },
      "ERR ta_mutex_acquire: attempt to reacquire non-recursive mutex\\.  Aborting\\.");
}

TEST(Mutex, ReacquireCallsTheHandlerAndMisuseIsLogged) {
  ta_mutex_t m;
  ASSERT_EQ(0, ta_mutex_init(&m));
  g_handler_calls = 0;
  ta_mutex_reacquire_handler_t previous = ta_set_mutex_reaquire_handler(countingHandler);
  EXPECT_EQ(nullptr, previous);
  ASSERT_EQ(0, ta_mutex_acquire(&m));
  EXPECT_EQ(EDEADLK, ta_mutex_acquire(&m));
  EXPECT_EQ(1, g_handler_calls);
  EXPECT_EQ(countingHandler, ta_set_mutex_reaquire_handler(previous));
#ifdef __SANITIZE_THREAD__
  // The sanitizer reports the deliberate misuse below.
  EXPECT_EQ(0, ta_mutex_release(&m));
  EXPECT_EQ(0, ta_mutex_destroy(&m));
  return;
#endif
  ta_log_init(TA_LOG_TYPE_FILE, "-");
  testing::internal::CaptureStderr();
  EXPECT_EQ(EBUSY, ta_mutex_destroy(&m));
  // Held by another thread is "not held" for that one.
  int other_result = 0;
  std::thread other([&] { other_result = ta_mutex_release(&m); });
  other.join();
  EXPECT_EQ(EPERM, other_result);
  // The failed second take did not count as a nested hold.
  EXPECT_EQ(0, ta_mutex_release(&m));
  EXPECT_EQ(EPERM, ta_mutex_release(&m));
  const std::string text = testing::internal::GetCapturedStderr();
  ta_log_cleanup();
  EXPECT_NE(std::string::npos, text.find("ta_mutex_destroy failed. err=16")) << text;
  EXPECT_NE(std::string::npos, text.find("LOG ta_mutex_release failed. err=1")) << text;
  EXPECT_EQ(0, ta_mutex_destroy(&m));
}

// Ping-pong between two threads through one condition bound to one mutex.
TEST(Condition, WaitAndSignalHandOverBetweenThreads) {
  ta_mutex_t m;
  ta_cond_t cond;
  ASSERT_EQ(0, ta_mutex_init(&m));
  ASSERT_EQ(0, ta_cond_init(&cond, &m));
  int turn = 0;  // 1: the worker's turn, 2: answered
  std::thread worker([&] {
    ta_mutex_acquire(&m);
    while (turn != 1) ta_cond_wait(&cond);
    turn = 2;
    ta_cond_signal(&cond);
    ta_mutex_release(&m);
  });
  ASSERT_EQ(0, ta_mutex_acquire(&m));
  turn = 1;
  EXPECT_EQ(0, ta_cond_signal(&cond));
  while (turn != 2) EXPECT_EQ(0, ta_cond_wait(&cond));
  // The wait gives the bound mutex back held by this thread.
  EXPECT_EQ(0, ta_mutex_release(&m));
  worker.join();
  EXPECT_EQ(0, ta_cond_destroy(&cond));
  EXPECT_EQ(0, ta_mutex_destroy(&m));
}

// What a spawned thread finds out about itself.
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
    ta_cond_destroy(&cond);
    ta_mutex_destroy(&mutex);
  }
};

void* reportSelf(void* arg) {
  auto* report = static_cast<ThreadReport*>(arg);
  pthread_attr_t attr;
  int state = -1;
  size_t stack = 0;
  if (pthread_getattr_np(pthread_self(), &attr) == 0) {
    pthread_attr_getdetachstate(&attr, &state);
    pthread_attr_getstacksize(&attr, &stack);
    pthread_attr_destroy(&attr);
  }
  ta_mutex_acquire(&report->mutex);
  report->detach_state = state;
  report->stack_size = stack;
  report->done = true;
  ta_cond_signal(&report->cond);
  ta_mutex_release(&report->mutex);
  return report;
}

TEST(Thread, SpawnWithHandleIsJoinableWithoutIsDetached) {
  ThreadReport joined, detached;
  ta_thread_t thread;
  ASSERT_EQ(0, ta_thread_spawn(&thread, reportSelf, &joined));
  EXPECT_EQ(0, ta_thread_join(thread));
  EXPECT_EQ(PTHREAD_CREATE_JOINABLE, joined.detach_state);
  ASSERT_EQ(0, ta_thread_spawn(nullptr, reportSelf, &detached));
  ta_mutex_acquire(&detached.mutex);
  while (!detached.done) ta_cond_wait(&detached.cond);
  ta_mutex_release(&detached.mutex);
  EXPECT_EQ(PTHREAD_CREATE_DETACHED, detached.detach_state);
}

// A default stack below 256 KiB is raised to it; larger ones are kept.
TEST(Thread, StackIsAtLeast256KiB) {
  SKIP_UNDER_TSAN();
  for (size_t kib : {128, 512, 8192}) {
    pthread_attr_t defaults;
    pthread_attr_init(&defaults);
    pthread_attr_setstacksize(&defaults, kib * kKiB);
    ASSERT_EQ(0, pthread_setattr_default_np(&defaults));
    pthread_attr_destroy(&defaults);
    ThreadReport report;
    ta_thread_t thread;
    ASSERT_EQ(0, ta_thread_spawn(&thread, reportSelf, &report));
    ASSERT_EQ(0, ta_thread_join(thread));
    EXPECT_GE(report.stack_size, std::max<size_t>(kib, 256) * kKiB) << kib;
    EXPECT_LT(report.stack_size, (std::max<size_t>(kib, 256) + 128) * kKiB) << kib;
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
