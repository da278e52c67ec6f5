/* The home folder and file search. */
#ifndef TAPLATFORM_TAPATH_H
#define TAPLATFORM_TAPATH_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Canonical HOME and its length; -1 without HOME, for a HOME of 2048 bytes
 * or more, or when the result does not fit. */
int ta_path_home_dir(char* buffer, size_t size);
/* folders ends with a null entry. 0 when found (path in buffer), else -1. */
int ta_path_find_file_in_paths(const char* name, const char* const* folders,
                               char* buffer, size_t size);

#ifdef __cplusplus
}
#endif

#endif
