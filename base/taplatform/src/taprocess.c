#include <taplatform/taprocess.h>

#include <errno.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

static void close_inherited_descriptors(long limit) {
  /* close_range does the same as the loop in one call where it exists. */
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
  if (limit > 3 && close_range(3, (unsigned int)(limit - 1), 0) == 0) return;
#endif
  for (long fd = 3; fd < limit; ++fd) close((int)fd);
}

/* The command runs as a grandchild: the middle process forks it, reports its
 * pid and exits at once, and is reaped here, so the command belongs to init
 * and no caller ever has to wait for it (nor leaves a zombie behind). */
int ta_shell_create(pid_t* pid, const char* command) {
  if (pid == NULL || command == NULL) return EINVAL;
  *pid = -1;
  /* Read before fork: the children of a threaded process should only make
   * async-signal-safe calls. */
  long limit = sysconf(_SC_OPEN_MAX);
  if (limit <= 0) limit = 1024;
  char* const argv[] = {(char*)"/bin/sh", (char*)"-c", (char*)command, NULL};

  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return errno;
  pid_t middle = fork();
  if (middle < 0) {
    int err = errno;
    close(report[0]);
    close(report[1]);
    return err;
  }
  if (middle == 0) {
    pid_t child = fork();
    if (child == 0) {
      close_inherited_descriptors(limit);
      execvp("/bin/sh", argv);
      _exit(errno);
    }
    /* {pid, 0} or {-1, the fork's error}. */
    int message[2] = {(int)child, child < 0 ? errno : 0};
    ssize_t ignored = write(report[1], message, sizeof message);
    (void)ignored;
    _exit(0);
  }
  close(report[1]);
  int message[2] = {-1, ECHILD};
  ssize_t got;
  do {
    got = read(report[0], message, sizeof message);
  } while (got < 0 && errno == EINTR);
  close(report[0]);
  /* ECHILD here means the caller ignores SIGCHLD and the system reaped it. */
  while (waitpid(middle, NULL, 0) < 0 && errno == EINTR) {
  }
  if (got != (ssize_t)sizeof message) return ECHILD;
  if (message[1] != 0) return message[1];
  *pid = (pid_t)message[0];
  return 0;
}
