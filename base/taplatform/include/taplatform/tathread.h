/* Threads with a guaranteed minimum stack. */
#ifndef TAPLATFORM_TATHREAD_H
#define TAPLATFORM_TATHREAD_H

#include <pthread.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef pthread_t ta_thread_t;
typedef void* (*ta_thread_start_t)(void* arg);

/* With a null handle the thread is detached; otherwise joinable. */
int ta_thread_spawn(ta_thread_t* thread, ta_thread_start_t start, void* arg);
int ta_thread_join(ta_thread_t thread);
int ta_thread_sleep(unsigned int milliseconds);

#ifdef __cplusplus
}
#endif

#endif
