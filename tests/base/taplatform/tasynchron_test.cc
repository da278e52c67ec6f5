#include <taplatform/talog.h>
#include <taplatform/tasynchron.h>

#include <errno.h>

#include <string>
#include <thread>

#include <gtest/gtest.h>

namespace {

// ThreadSanitizer reports the deliberate misuse these cases exercise.
#ifdef __SANITIZE_THREAD__
#define SKIP_DELIBERATE_MISUSE() GTEST_SKIP() << "misuse is reported by ThreadSanitizer"
#else
#define SKIP_DELIBERATE_MISUSE() (void)0
#endif

// Routes the log to standard error and captures what it writes.
class CapturedLog {
 public:
  CapturedLog() {
    ta_log_init(TA_LOG_TYPE_FILE, "-");
    testing::internal::CaptureStderr();
  }
  ~CapturedLog() { ta_log_cleanup(); }
  std::string text() { return testing::internal::GetCapturedStderr(); }
};

int g_handler_calls = 0;
void countingHandler() { ++g_handler_calls; }

TEST(MutexReacquire, AbortsAfterLoggingWithoutHandler) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        ta_log_init(TA_LOG_TYPE_FILE, "-");
        ta_mutex_t m;
        ta_mutex_init(&m);
        ta_mutex_acquire(&m);
        ta_mutex_acquire(&m);
      },
      "ERR ta_mutex_acquire: attempt to reacquire non-recursive mutex\\.  "
      "Aborting\\.");
}

TEST(MutexReacquire, HandlerIsCalledAndEdeadlkReturned) {
  ta_mutex_t m;
  ASSERT_EQ(0, ta_mutex_init(&m));
  g_handler_calls = 0;
  ta_mutex_reacquire_handler_t previous = ta_set_mutex_reaquire_handler(countingHandler);
  EXPECT_EQ(nullptr, previous);

  ASSERT_EQ(0, ta_mutex_acquire(&m));
  EXPECT_EQ(EDEADLK, ta_mutex_acquire(&m));
  EXPECT_EQ(1, g_handler_calls);
  // The failed second take must not count as a nested hold.
  EXPECT_EQ(0, ta_mutex_release(&m));
  EXPECT_EQ(countingHandler, ta_set_mutex_reaquire_handler(previous));
  EXPECT_EQ(0, ta_mutex_destroy(&m));
}

TEST(MutexRelease, NotHeldReturnsEpermAndLogs) {
  SKIP_DELIBERATE_MISUSE();
  ta_mutex_t m;
  ASSERT_EQ(0, ta_mutex_init(&m));
  CapturedLog log;
  EXPECT_EQ(EPERM, ta_mutex_release(&m));

  // Held by another thread is "not held" for this one too.
  ASSERT_EQ(0, ta_mutex_acquire(&m));
  int other_result = 0;
  std::thread other([&] { other_result = ta_mutex_release(&m); });
  other.join();
  EXPECT_EQ(EPERM, other_result);
  EXPECT_EQ(0, ta_mutex_release(&m));

  std::string text = log.text();
  EXPECT_NE(std::string::npos, text.find("LOG ta_mutex_release failed. err=1")) << text;
  EXPECT_EQ(0, ta_mutex_destroy(&m));
}

TEST(MutexDestroy, HeldMutexFailsWithLogLine) {
  SKIP_DELIBERATE_MISUSE();
  ta_mutex_t m;
  ASSERT_EQ(0, ta_mutex_init(&m));
  ASSERT_EQ(0, ta_mutex_acquire(&m));
  CapturedLog log;
  EXPECT_EQ(EBUSY, ta_mutex_destroy(&m));
  EXPECT_NE(std::string::npos,
            log.text().find("ta_mutex_destroy failed. err=16"));
  EXPECT_EQ(0, ta_mutex_release(&m));
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

  EXPECT_EQ(2, turn);
  EXPECT_EQ(0, ta_cond_destroy(&cond));
  EXPECT_EQ(0, ta_mutex_destroy(&m));
}

}  // namespace
