#include <taplatform/tasynchron.h>
#include <taplatform/tathread.h>

#include <pthread.h>

#include <chrono>

#include <gtest/gtest.h>

namespace {

constexpr size_t kKiB = 1024;

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
  void awaitDone() {
    ta_mutex_acquire(&mutex);
    while (!done) ta_cond_wait(&cond);
    ta_mutex_release(&mutex);
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

TEST(ThreadSpawn, WithHandleIsJoinable) {
  ThreadReport report;
  ta_thread_t thread;
  ASSERT_EQ(0, ta_thread_spawn(&thread, reportSelf, &report));
  EXPECT_EQ(0, ta_thread_join(thread));
  EXPECT_TRUE(report.done);
  EXPECT_EQ(PTHREAD_CREATE_JOINABLE, report.detach_state);
}

TEST(ThreadSpawn, WithoutHandleIsDetached) {
  ThreadReport report;
  ASSERT_EQ(0, ta_thread_spawn(nullptr, reportSelf, &report));
  report.awaitDone();
  EXPECT_EQ(PTHREAD_CREATE_DETACHED, report.detach_state);
}

// Sets the process's default thread stack, spawns one thread and returns the
// stack size that thread was given.
size_t stackWithDefault(size_t default_size) {
  pthread_attr_t defaults;
  pthread_attr_init(&defaults);
  pthread_attr_setstacksize(&defaults, default_size);
  EXPECT_EQ(0, pthread_setattr_default_np(&defaults));
  pthread_attr_destroy(&defaults);

  ThreadReport report;
  ta_thread_t thread;
  EXPECT_EQ(0, ta_thread_spawn(&thread, reportSelf, &report));
  EXPECT_EQ(0, ta_thread_join(thread));
  return report.stack_size;
}

#ifdef __SANITIZE_THREAD__
#define SKIP_UNDER_TSAN() GTEST_SKIP() << "ThreadSanitizer sizes thread stacks itself"
#else
#define SKIP_UNDER_TSAN() (void)0
#endif

TEST(ThreadSpawn, SmallDefaultStackIsRaisedTo256KiB) {
  SKIP_UNDER_TSAN();
  size_t stack = stackWithDefault(128 * kKiB);
  EXPECT_GE(stack, 256 * kKiB);
  EXPECT_LT(stack, 384 * kKiB);
}

TEST(ThreadSpawn, LargerDefaultStacksAreKept) {
  SKIP_UNDER_TSAN();
  size_t stack = stackWithDefault(512 * kKiB);
  EXPECT_GE(stack, 512 * kKiB);
  EXPECT_LT(stack, 640 * kKiB);

  stack = stackWithDefault(8192 * kKiB);
  EXPECT_GE(stack, 8192 * kKiB);
  EXPECT_LT(stack, 8320 * kKiB);
}

TEST(ThreadSleep, ZeroReturnsAtOnce) {
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(0, ta_thread_sleep(0));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
}

// A plain usleep may refuse a full second; this one must sleep it.
TEST(ThreadSleep, OneSecondOrMoreSleepsTheWholeTime) {
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(0, ta_thread_sleep(1000));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
}

}  // namespace
