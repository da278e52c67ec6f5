#include <taplatform/tastring.h>

#include <errno.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <taplatform/talog.h>
#include <taplatform/taplatform.h>

/* Length of text[0..len) without a UTF-8 sequence that the cut left incomplete. */
static size_t whole_characters(const char* text, size_t len) {
  size_t i = len;
  size_t continuation = 0;
  while (i > 0 && continuation < 3 &&
         ((unsigned char)text[i - 1] & 0xC0) == 0x80) {
    --i;
    ++continuation;
  }
  if (i == 0) return len;
  unsigned char lead = (unsigned char)text[i - 1];
  size_t need;
  if ((lead & 0xE0) == 0xC0) {
    need = 2;
  } else if ((lead & 0xF0) == 0xE0) {
    need = 3;
  } else if ((lead & 0xF8) == 0xF0) {
    need = 4;
  } else {
    return len; /* ASCII or not UTF-8: nothing to repair */
  }
  return continuation + 1 < need ? i - 1 : len;
}

int ta_str_to(char* dest, const char* src, size_t size, size_t* length) {
  size_t offset = length != NULL ? *length : 0;
  if (dest == NULL || src == NULL || offset >= size) {
    TA_LOG(3, "Warning: ta_str_to failure, args %p %p %zu %zu '%s'",
           (void*)dest, (const void*)src, size, offset,
           src != NULL ? src : "(nil)");
    if (dest != NULL && size > 0) dest[0] = '\0';
    return EINVAL;
  }
  size_t room = size - offset - 1;
  size_t src_len = strnlen(src, room + 1);
  int result = 0;
  size_t copied = src_len;
  if (src_len > room) {
    copied = whole_characters(src, room);
    result = TA_ERR_INSUFFICIENT_BUFFER;
  }
  memcpy(dest + offset, src, copied);
  dest[offset + copied] = '\0';
  if (length != NULL) *length = offset + copied;
  return result;
}

int ta_str_ncpy(char* dest, const char* src, size_t size) {
  return ta_str_to(dest, src, size, NULL);
}

int ta_str_ncat(char* dest, const char* src, size_t size) {
  if (dest == NULL || src == NULL) return EINVAL;
  if (*src == '\0') return 0;
  size_t len = strnlen(dest, size);
  if (len + 1 >= size) return TA_ERR_INSUFFICIENT_BUFFER;
  return ta_str_to(dest, src, size, &len);
}

int ta_str_atoi(const char* text) {
  return text != NULL ? atoi(text) : 0;
}

char* ta_str_itoa(int value, char* buffer) {
  if (buffer != NULL) snprintf(buffer, 12, "%d", value);
  return buffer;
}

static const char kBase64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

/* The two output characters of every 12-bit value, so that three input bytes
   take two lookups instead of four. Built by the preprocessor: a constant
   table needs no initialisation and no lock. */
#define B64_CHAR(x)                                             \
  (char)((x) < 26   ? 'A' + (x)                                 \
         : (x) < 52 ? 'a' + ((x) - 26)                          \
         : (x) < 62 ? '0' + ((x) - 52)                          \
         : (x) == 62 ? '+' : '/')
#define B64_PAIR(i) {B64_CHAR(((i) >> 6) & 0x3F), B64_CHAR((i) & 0x3F)}
#define B64_PAIRS4(i) B64_PAIR(i), B64_PAIR((i) + 1), B64_PAIR((i) + 2), B64_PAIR((i) + 3)
#define B64_PAIRS16(i) \
  B64_PAIRS4(i), B64_PAIRS4((i) + 4), B64_PAIRS4((i) + 8), B64_PAIRS4((i) + 12)
#define B64_PAIRS64(i) \
  B64_PAIRS16(i), B64_PAIRS16((i) + 16), B64_PAIRS16((i) + 32), B64_PAIRS16((i) + 48)
#define B64_PAIRS256(i) \
  B64_PAIRS64(i), B64_PAIRS64((i) + 64), B64_PAIRS64((i) + 128), B64_PAIRS64((i) + 192)
#define B64_PAIRS1024(i)                                                    \
  B64_PAIRS256(i), B64_PAIRS256((i) + 256), B64_PAIRS256((i) + 512),        \
      B64_PAIRS256((i) + 768)
static const char kBase64Pairs[4096][2] = {B64_PAIRS1024(0), B64_PAIRS1024(1024),
                                           B64_PAIRS1024(2048), B64_PAIRS1024(3072)};
#undef B64_PAIRS1024
#undef B64_PAIRS256
#undef B64_PAIRS64
#undef B64_PAIRS16
#undef B64_PAIRS4
#undef B64_PAIR
#undef B64_CHAR

/* Bytes 0..5 of `in` as the high 48 bits of a number. */
static uint64_t load48(const unsigned char* in) {
  return (uint64_t)in[0] << 56 | (uint64_t)in[1] << 48 | (uint64_t)in[2] << 40 |
         (uint64_t)in[3] << 32 | (uint64_t)in[4] << 24 | (uint64_t)in[5] << 16;
}

int ta_str_buf_to_base64(const void* input, size_t length, char* output,
                         size_t output_size) {
  if (output == NULL || (input == NULL && length > 0)) return EINVAL;
  if (length == 0) {
    if (output_size == 0) return EINVAL;
    output[0] = '\0';
    return 0;
  }
  size_t groups = length / 3 + (length % 3 != 0);
  if (groups > (SIZE_MAX - 1) / 4 || output_size <= groups * 4)
    return TA_ERR_INSUFFICIENT_BUFFER;

  const unsigned char* in = (const unsigned char*)input;
  char* out = output;
  size_t i = 0;
  /* Six bytes, four lookups, eight characters per turn. */
  for (; i + 6 <= length; i += 6) {
    uint64_t v = load48(in + i);
    memcpy(out, kBase64Pairs[v >> 52], 2);
    memcpy(out + 2, kBase64Pairs[(v >> 40) & 0xFFF], 2);
    memcpy(out + 4, kBase64Pairs[(v >> 28) & 0xFFF], 2);
    memcpy(out + 6, kBase64Pairs[(v >> 16) & 0xFFF], 2);
    out += 8;
  }
  if (i + 3 <= length) {
    uint32_t v = (uint32_t)in[i] << 16 | (uint32_t)in[i + 1] << 8 | in[i + 2];
    memcpy(out, kBase64Pairs[v >> 12], 2);
    memcpy(out + 2, kBase64Pairs[v & 0xFFF], 2);
    out += 4;
    i += 3;
  }
  if (i < length) {
    uint32_t v = (uint32_t)in[i] << 16;
    if (i + 1 < length) v |= (uint32_t)in[i + 1] << 8;
    *out++ = kBase64Alphabet[v >> 18];
    *out++ = kBase64Alphabet[(v >> 12) & 0x3F];
    *out++ = i + 1 < length ? kBase64Alphabet[(v >> 6) & 0x3F] : '=';
    *out++ = '=';
  }
  *out = '\0';
  return 0;
}
