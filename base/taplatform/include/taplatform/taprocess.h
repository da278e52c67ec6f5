/* Shell commands started without waiting. */
#ifndef TAPLATFORM_TAPROCESS_H
#define TAPLATFORM_TAPROCESS_H

#include <sys/types.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Runs "/bin/sh -c command" with no descriptor above 2 and returns at once.
 * The command is not the caller's child (it is left to init), so nothing has
 * to be reaped; `pid` gets its pid, or -1 on failure. */
int ta_shell_create(pid_t* pid, const char* command);

#ifdef __cplusplus
}
#endif

#endif
