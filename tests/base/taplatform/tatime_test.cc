#include <taplatform/talog.h>
#include <taplatform/tatime.h>

#include <errno.h>
#include <stdlib.h>

#include <string>

#include <gtest/gtest.h>

namespace {

ta_timeval_t nowShiftedBy(long long usec) {
  ta_timeval_t tv;
  EXPECT_EQ(0, ta_time_gettimeofday(&tv, nullptr));
  long long total = (long long)tv.tv_sec * 1000000 + tv.tv_usec + usec;
  tv.tv_sec = total / 1000000;
  tv.tv_usec = total % 1000000;
  return tv;
}

TEST(UsecSince, StartInThePastGivesTheElapsedTime) {
  ta_timeval_t start = nowShiftedBy(-1500000);
  uint64_t usec = 0;
  ASSERT_EQ(0, ta_time_get_usec_since(&start, &usec));
  EXPECT_GE(usec, 1500000u);
  EXPECT_LT(usec, 1500000u + 10000000u);
}

TEST(UsecSince, StartInTheFutureGives22AndLogsAnError) {
  ta_log_init(TA_LOG_TYPE_FILE, "-");
  testing::internal::CaptureStderr();
  ta_timeval_t start = nowShiftedBy(3600LL * 1000000);
  uint64_t usec = 42;
  EXPECT_EQ(EINVAL, ta_time_get_usec_since(&start, &usec));
  EXPECT_EQ(0u, usec);
  std::string text = testing::internal::GetCapturedStderr();
  ta_log_cleanup();
  std::string expected = "ERR get_usec_since (start ticks 0): big old " +
                         std::to_string(start.tv_sec) + "." +
                         std::to_string(start.tv_usec) + " > ";
  EXPECT_NE(std::string::npos, text.find(expected)) << text;
}

TEST(UsecSince, NullArgumentsGive22) {
  ta_timeval_t start = nowShiftedBy(0);
  uint64_t usec;
  EXPECT_EQ(EINVAL, ta_time_get_usec_since(nullptr, &usec));
  EXPECT_EQ(EINVAL, ta_time_get_usec_since(&start, nullptr));
  EXPECT_EQ(EINVAL, ta_time_gettimeofday(nullptr, nullptr));
}

TEST(Ticks, CountFromInitAndNeverGoBack) {
  ASSERT_EQ(0, ta_time_init());
  uint64_t first = ta_time_ticks_usec();
  uint64_t second = ta_time_ticks_usec();
  EXPECT_LT(first, 10000000u);  // just started
  EXPECT_GE(second, first);
}

TEST(LocalTime, BreaksDownSecondsInTheLocalZone) {
  setenv("TZ", "UTC", 1);
  tzset();
  struct tm tm;
  ASSERT_EQ(0, ta_time_localtime(86400 + 3661, &tm));
  EXPECT_EQ(70, tm.tm_year);
  EXPECT_EQ(0, tm.tm_mon);
  EXPECT_EQ(2, tm.tm_mday);
  EXPECT_EQ(1, tm.tm_hour);
  EXPECT_EQ(1, tm.tm_min);
  EXPECT_EQ(1, tm.tm_sec);
  EXPECT_EQ(EINVAL, ta_time_localtime(0, nullptr));
}

}  // namespace
