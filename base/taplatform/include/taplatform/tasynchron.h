/* Error-checking mutexes and the conditions bound to them. */
#ifndef TAPLATFORM_TASYNCHRON_H
#define TAPLATFORM_TASYNCHRON_H

#include <pthread.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef pthread_mutex_t ta_mutex_t;

/* A condition remembers the mutex it was bound to at init; every wait uses it. */
typedef struct ta_cond {
  ta_mutex_t* mutex;
  pthread_cond_t cond;
} ta_cond_t;

typedef void (*ta_mutex_reacquire_handler_t)(void);

int ta_mutex_init(ta_mutex_t* mutex);
int ta_mutex_destroy(ta_mutex_t* mutex);
int ta_mutex_acquire(ta_mutex_t* mutex);
int ta_mutex_release(ta_mutex_t* mutex);
/* Returns the handler installed before. */
ta_mutex_reacquire_handler_t ta_set_mutex_reaquire_handler(
    ta_mutex_reacquire_handler_t handler);

int ta_cond_init(ta_cond_t* cond, ta_mutex_t* mutex);
int ta_cond_destroy(ta_cond_t* cond);
int ta_cond_wait(ta_cond_t* cond);
int ta_cond_signal(ta_cond_t* cond);

#ifdef __cplusplus
}
#endif

#endif
