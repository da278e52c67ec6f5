// open: starts an application bundle's program detached and returns at once.
//
//   open /path/NAME.app
//
// The program runs in its own session with stdin, stdout and stderr on
// /dev/null (or stdout/stderr appended to $DESKTOP_OPEN_OUTPUT when set), its
// working directory the bundle's Contents/MacOS folder, and
// DESKTOP_BUNDLE_IDENTIFIER / DESKTOP_BUNDLE_PATH in its environment.
//
// A bundle whose application (same identifier) already runs in the desktop
// session is activated instead: the stand-in has no windows of other programs
// to bring forward, so activating leaves the running copy as it is, starts
// nothing and exits 0, silently. Opens in one session are serialised by a
// lock on the HOME folder, held until the started program has been exec'd and
// is listed, so that opens racing each other still start one copy.
//
// Exit status 0 once the program has been exec'd or activated, 1 on any failure.

#include <errno.h>
#include <fcntl.h>
#include <linux/close_range.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "desktop/Workspace.h"

namespace {

// Only async-signal-safe calls between fork and exec; failures go back to the
// waiting parent through `report` (closed on a successful exec).
[[noreturn]] void startProgram(const Desktop::BundleInfo& info, const std::string& macosDir,
                               int report) {
  int err = 0;
  if (::setsid() < 0) err = errno;
  const pid_t pid = err == 0 ? ::fork() : -1;
  if (err == 0 && pid < 0) err = errno;
  if (pid > 0) ::_exit(0);  // the middle process; the program is reparented
  if (err == 0) {
    if (::chdir(macosDir.c_str()) != 0) {
      const char* home = ::getenv("HOME");
      if (home == nullptr || ::chdir(home) != 0) (void)::chdir("/");
    }
    const int null = ::open("/dev/null", O_RDWR);
    const char* outPath = ::getenv("DESKTOP_OPEN_OUTPUT");
    const int out = outPath != nullptr && *outPath != '\0'
                        ? ::open(outPath, O_WRONLY | O_CREAT | O_APPEND, 0644)
                        : -1;
    if (null >= 0) {
      ::dup2(null, 0);
      ::dup2(out >= 0 ? out : null, 1);
      ::dup2(out >= 0 ? out : null, 2);
    }
    // Nothing but the standard descriptors reaches the program; the report
    // pipe is already close-on-exec. Fall back to closing one by one.
    if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) != 0) {
      const long maxFd = ::sysconf(_SC_OPEN_MAX);
      for (int fd = 3; fd < (maxFd > 0 ? maxFd : 1024); ++fd) {
        if (fd != report) ::close(fd);
      }
    }
    char* const argv[] = {const_cast<char*>(info.executablePath.c_str()), nullptr};
    ::execv(info.executablePath.c_str(), argv);
    err = errno;
  }
  ssize_t ignored = ::write(report, &err, sizeof err);
  (void)ignored;
  ::_exit(127);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || argv[1][0] == '\0') {
    std::fprintf(stderr, "usage: open /path/NAME.app\n");
    return 1;
  }
  std::string bundle = argv[1];
  char resolved[PATH_MAX];
  if (::realpath(bundle.c_str(), resolved) != nullptr) bundle = resolved;

  Desktop::BundleInfo info;
  std::string why;
  if (Desktop::readBundleInfo(bundle, info, &why) != Desktop::Status::Ok) {
    std::fprintf(stderr, "open: %s: %s\n", argv[1], why.c_str());
    return 1;
  }
  // The environment is set here, before forking, so that the child needs no
  // allocation.
  if (::setenv(Desktop::kBundleIdentifierVariable, info.identifier.c_str(), 1) != 0 ||
      ::setenv(Desktop::kBundlePathVariable, bundle.c_str(), 1) != 0) {
    std::fprintf(stderr, "open: cannot set the environment: %s\n", ::strerror(errno));
    return 1;
  }
  const std::string macosDir = bundle + "/Contents/MacOS";

  // Released at exit. Without a HOME the bundle folder serves as the lock.
  const char* home = ::getenv("HOME");
  int lock = home != nullptr && *home != '\0' ? ::open(home, O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
  if (lock < 0) lock = ::open(bundle.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (lock >= 0) {
    while (::flock(lock, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  if (Desktop::Workspace::processIdentifierForBundle(info.identifier) > 0) return 0;

  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
    std::fprintf(stderr, "open: pipe: %s\n", ::strerror(errno));
    return 1;
  }
  std::fflush(nullptr);
  const pid_t child = ::fork();
  if (child < 0) {
    std::fprintf(stderr, "open: fork: %s\n", ::strerror(errno));
    return 1;
  }
  if (child == 0) {
    ::close(pipeFds[0]);
    startProgram(info, macosDir, pipeFds[1]);
  }
  ::close(pipeFds[1]);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  // End of file: the program was exec'd. Otherwise an errno from the child.
  int err = 0;
  ssize_t got;
  do {
    got = ::read(pipeFds[0], &err, sizeof err);
  } while (got < 0 && errno == EINTR);
  ::close(pipeFds[0]);
  if (got == static_cast<ssize_t>(sizeof err)) {
    std::fprintf(stderr, "open: cannot start %s: %s\n", info.executablePath.c_str(), ::strerror(err));
    return 1;
  }
  return 0;
}
