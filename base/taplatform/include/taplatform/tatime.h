/* Wall clock, local time and the monotonic tick counter. */
#ifndef TAPLATFORM_TATIME_H
#define TAPLATFORM_TATIME_H

#include <stdint.h>
#include <sys/time.h>
#include <time.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct timeval ta_timeval_t;

int ta_time_init(void);
int ta_time_gettimeofday(ta_timeval_t* tv, struct timezone* tz);
int ta_time_getsystimeofday(ta_timeval_t* tv, struct timezone* tz);
int ta_time_get_usec_since(const ta_timeval_t* start, uint64_t* usec);
int ta_time_localtime(time_t seconds, struct tm* out);

/* Microseconds of the monotonic clock since ta_time_init. */
uint64_t ta_time_ticks_usec(void);

#ifdef __cplusplus
}
#endif

#endif
