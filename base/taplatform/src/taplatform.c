#include <taplatform/taplatform.h>

#include <errno.h>
#include <string.h>
#include <unistd.h>

/* The C library's XSI strerror_r; _GNU_SOURCE gives the name strerror_r to
 * the GNU form, which never reports an unknown code. */
extern int __xpg_strerror_r(int code, char* buffer, size_t size);

/* Messages of the library's own codes, TA_ERR_BASE to TA_ERR_LAST. */
static const char* const kLibraryMessages[] = {
    "Unknown library error",          /* 28672 */
    "Operation failed",               /* 28673 */
    "Invalid argument",               /* 28674 */
    "Not supported on this platform", /* 28675 */
    "Out of memory",                  /* 28676 */
    "Insufficient buffer space",      /* 28677 */
    "Not found",                      /* 28678 */
    "Already exists",                 /* 28679 */
    "Timed out",                      /* 28680 */
    "Operation would block",          /* 28681 */
    "Interrupted",                    /* 28682 */
    "End of file",                    /* 28683 */
    "Invalid UTF-8 sequence",         /* 28684 */
    "Character conversion failed",    /* 28685 */
    "Could not log message",          /* 28686 */
    "Log not started",                /* 28687 */
    "Invalid path",                   /* 28688 */
    "Path too long",                  /* 28689 */
    "Not a directory",                /* 28690 */
    "Is a directory",                 /* 28691 */
    "Directory walk failed",          /* 28692 */
    "Invalid URI",                    /* 28693 */
    "Invalid hash table key",         /* 28694 */
    "Hash table full",                /* 28695 */
    "Socket option failed",           /* 28696 */
    "Select failed",                  /* 28697 */
    "Unknown signal",                 /* 28698 */
    "Process start failed",           /* 28699 */
    "Process ended abnormally",       /* 28700 */
    "User not found",                 /* 28701 */
    "Group not found",                /* 28702 */
    "Permission denied",              /* 28703 */
    "Resource busy",                  /* 28704 */
    "Thread error",                   /* 28705 */
    "Lock error",                     /* 28706 */
    "Clock error",                    /* 28707 */
    "Invalid format",                 /* 28708 */
    "Value out of range",             /* 28709 */
    "Not initialised",                /* 28710 */
    "Internal error",                 /* 28711 */
};
_Static_assert(sizeof kLibraryMessages / sizeof kLibraryMessages[0] ==
                   TA_ERR_LAST - TA_ERR_BASE + 1,
               "one message per library code");

int ta_platform_errstr(int code, char* buffer, size_t size) {
  if (buffer == NULL || size == 0) return EINVAL;
  if (code >= TA_ERR_BASE && code <= TA_ERR_LAST) {
    ta_str_ncpy(buffer, kLibraryMessages[code - TA_ERR_BASE], size);
    return 0;
  }
  /* The XSI form: an unknown code writes "Unknown error N" and answers
   * EINVAL, a text cut to fit answers ERANGE. */
  return __xpg_strerror_r(code, buffer, size);
}

int ta_sock_init(void) {
  return 0;
}

int ta_sock_fini(void) {
  return 0;
}

int ta_sock_close(int* sock) {
  if (sock == NULL) return EINVAL;
  if (close(*sock) != 0) return errno;
  *sock = -1;
  return 0;
}
