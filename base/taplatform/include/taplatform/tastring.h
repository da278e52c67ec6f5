/* Bounded copies that end on whole UTF-8 characters, numbers, base64. */
#ifndef TAPLATFORM_TASTRING_H
#define TAPLATFORM_TASTRING_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Copies from offset *length (0 when length is null); *length becomes the end. */
int ta_str_to(char* dest, const char* src, size_t size, size_t* length);
int ta_str_ncpy(char* dest, const char* src, size_t size);
int ta_str_ncat(char* dest, const char* src, size_t size);
int ta_str_atoi(const char* text);
/* buffer holds at least 12 bytes; returns buffer. */
char* ta_str_itoa(int value, char* buffer);
int ta_str_buf_to_base64(const void* input, size_t length, char* output,
                         size_t output_size);

#ifdef __cplusplus
}
#endif

#endif
