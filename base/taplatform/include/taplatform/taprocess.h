/* Shell commands started without waiting. */
#ifndef TAPLATFORM_TAPROCESS_H
#define TAPLATFORM_TAPROCESS_H

#include <sys/types.h>

#ifdef __cplusplus
extern "C" {
#endif

int ta_shell_create(pid_t* pid, const char* command);

#ifdef __cplusplus
}
#endif

#endif
