#include <taplatform/tatime.h>

#include <errno.h>

#include <taplatform/talog.h>

/* Starting point of the tick counter, recorded once at load. */
static struct timespec ticks_origin;

static uint64_t monotonic_usec(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (uint64_t)ts.tv_sec * 1000000u + (uint64_t)ts.tv_nsec / 1000u;
}

int ta_time_init(void) {
  clock_gettime(CLOCK_MONOTONIC, &ticks_origin);
  return 0;
}

uint64_t ta_time_ticks_usec(void) {
  uint64_t origin = (uint64_t)ticks_origin.tv_sec * 1000000u +
                    (uint64_t)ticks_origin.tv_nsec / 1000u;
  return monotonic_usec() - origin;
}

int ta_time_gettimeofday(ta_timeval_t* tv, struct timezone* tz) {
  if (tv == NULL) return EINVAL;
  return gettimeofday(tv, tz) == 0 ? 0 : errno;
}

int ta_time_getsystimeofday(ta_timeval_t* tv, struct timezone* tz) {
  return ta_time_gettimeofday(tv, tz);
}

int ta_time_get_usec_since(const ta_timeval_t* start, uint64_t* usec) {
  if (start == NULL || usec == NULL) return EINVAL;
  ta_timeval_t now;
  int err = ta_time_gettimeofday(&now, NULL);
  if (err != 0) return err;
  *usec = 0;
  if (now.tv_sec < start->tv_sec ||
      (now.tv_sec == start->tv_sec && now.tv_usec < start->tv_usec)) {
    TA_LOG(1, "get_usec_since (start ticks %lld): big old %lld.%lld > %lld.%lld",
           0LL, (long long)start->tv_sec, (long long)start->tv_usec,
           (long long)now.tv_sec, (long long)now.tv_usec);
    return EINVAL;
  }
  *usec = (uint64_t)(now.tv_sec - start->tv_sec) * 1000000u +
          (uint64_t)((int64_t)now.tv_usec - (int64_t)start->tv_usec);
  return 0;
}

int ta_time_localtime(time_t seconds, struct tm* out) {
  if (out == NULL) return EINVAL;
  errno = 0;
  if (localtime_r(&seconds, out) == NULL) return errno != 0 ? errno : EOVERFLOW;
  return 0;
}
