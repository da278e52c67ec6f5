#include <taplatform/tasynchron.h>

#include <errno.h>
#include <stdlib.h>

#include <taplatform/talog.h>

/* Process-wide and unlocked: installed once, long before threads contend. */
static ta_mutex_reacquire_handler_t reacquire_handler = NULL;

int ta_mutex_init(ta_mutex_t* mutex) {
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  /* Taking a mutex twice is a programming error we want reported, not a hang. */
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_ERRORCHECK);
  pthread_mutex_init(mutex, &attr);
  pthread_mutexattr_destroy(&attr);
  return 0;
}

int ta_mutex_destroy(ta_mutex_t* mutex) {
  int err = pthread_mutex_destroy(mutex);
  if (err != 0) TA_LOG(3, "ta_mutex_destroy failed. err=%d", err);
  return err;
}

int ta_mutex_acquire(ta_mutex_t* mutex) {
  int err = pthread_mutex_lock(mutex);
  if (err == 0) return 0;
  if (err == EDEADLK) {
    ta_mutex_reacquire_handler_t handler = reacquire_handler;
    if (handler != NULL) {
      handler();
      return err;
    }
    TA_LOG(1, "ta_mutex_acquire: attempt to reacquire non-recursive mutex.  Aborting.");
    abort();
  }
  if (err == EINVAL) {
    TA_LOG(3, "ta_mutex_acquire: err=%d", err);
  } else {
    TA_LOG(3, "ta_mutex_acquire: unknown err=%d:", err);
  }
  return err;
}

int ta_mutex_release(ta_mutex_t* mutex) {
  int err = pthread_mutex_unlock(mutex);
  if (err != 0) TA_LOG(3, "ta_mutex_release failed. err=%d", err);
  return err;
}

ta_mutex_reacquire_handler_t ta_set_mutex_reaquire_handler(
    ta_mutex_reacquire_handler_t handler) {
  ta_mutex_reacquire_handler_t previous = reacquire_handler;
  reacquire_handler = handler;
  return previous;
}

int ta_cond_init(ta_cond_t* cond, ta_mutex_t* mutex) {
  cond->mutex = mutex;
  int err = pthread_cond_init(&cond->cond, NULL);
  if (err != 0) TA_LOG(3, "ta_cond_init failed. err=%d", err);
  return err;
}

int ta_cond_destroy(ta_cond_t* cond) {
  int err = pthread_cond_destroy(&cond->cond);
  if (err != 0) TA_LOG(3, "ta_cond_destroy failed. err=%d", err);
  return err;
}

int ta_cond_wait(ta_cond_t* cond) {
  return pthread_cond_wait(&cond->cond, cond->mutex);
}

int ta_cond_signal(ta_cond_t* cond) {
  return pthread_cond_signal(&cond->cond);
}
