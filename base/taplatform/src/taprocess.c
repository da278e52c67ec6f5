#include <taplatform/taprocess.h>

#include <errno.h>
#include <unistd.h>

static void close_inherited_descriptors(long limit) {
  /* close_range does the same as the loop in one call where it exists. */
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
  if (limit > 3 && close_range(3, (unsigned int)(limit - 1), 0) == 0) return;
#endif
  for (long fd = 3; fd < limit; ++fd) close((int)fd);
}

int ta_shell_create(pid_t* pid, const char* command) {
  if (pid == NULL || command == NULL) return EINVAL;
  /* Read before fork: the child of a threaded process should only make
   * async-signal-safe calls. */
  long limit = sysconf(_SC_OPEN_MAX);
  if (limit <= 0) limit = 1024;
  char* const argv[] = {(char*)"/bin/sh", (char*)"-c", (char*)command, NULL};

  pid_t child = fork();
  if (child == 0) {
    close_inherited_descriptors(limit);
    execvp("/bin/sh", argv);
    _exit(errno);
  }
  *pid = child;
  return child < 0 ? errno : 0;
}
