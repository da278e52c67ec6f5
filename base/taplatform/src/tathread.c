#include <taplatform/tathread.h>

#include <errno.h>
#include <time.h>

#include <taplatform/talog.h>

/* Some systems give new threads too small a stack for our callers. */
#define TA_MIN_STACK_SIZE ((size_t)256 * 1024)

/* Warn about an unusable stack size once per process; unlocked on purpose,
 * a duplicate warning is harmless. */
static int stack_warning_given = 0;

int ta_thread_spawn(ta_thread_t* thread, ta_thread_start_t start, void* arg) {
  pthread_attr_t attr;
  int err = pthread_attr_init(&attr);
  if (err != 0) {
    TA_LOG(1, "ta_thread_spawn: pthread_attr_init() error %d", err);
    return err;
  }

  size_t stack_size = 0;
  if (pthread_attr_getstacksize(&attr, &stack_size) == 0 && stack_size > 0 &&
      stack_size < TA_MIN_STACK_SIZE) {
    err = pthread_attr_setstacksize(&attr, TA_MIN_STACK_SIZE);
    if (err != 0 && !stack_warning_given) {
      stack_warning_given = 1;
      TA_LOG(3, "ta_thread_spawn: pthread_attr_setstacksize(%zu) error %d",
             TA_MIN_STACK_SIZE, err);
    }
  }

  pthread_t id;
  if (thread == NULL) {
    err = pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    if (err != 0) {
      pthread_attr_destroy(&attr);
      return err;
    }
  }
  err = pthread_create(&id, &attr, start, arg);
  pthread_attr_destroy(&attr);
  if (err == 0 && thread != NULL) *thread = id;
  return err;
}

int ta_thread_join(ta_thread_t thread) {
  return pthread_join(thread, NULL);
}

/* nanosleep rather than usleep: usleep may refuse a second or more. */
int ta_thread_sleep(unsigned int milliseconds) {
  struct timespec ts;
  ts.tv_sec = (time_t)(milliseconds / 1000);
  ts.tv_nsec = (long)(milliseconds % 1000) * 1000000L;
  return nanosleep(&ts, NULL) == 0 ? 0 : errno;
}
