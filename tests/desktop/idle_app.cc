// A stand-in application for the workspace tests: reports where and how it
// was started into ./launched.txt, then waits to be ended by a signal.
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

int main() {
  char cwd[4096];
  const char* id = getenv("DESKTOP_BUNDLE_IDENTIFIER");
  const char* path = getenv("DESKTOP_BUNDLE_PATH");
  FILE* f = fopen("launched.tmp", "w");
  if (getcwd(cwd, sizeof cwd) == nullptr || f == nullptr) return 1;
  fprintf(f, "%s\n%s\n%s\n%d\n", cwd, id ? id : "", path ? path : "", isatty(0) ? 1 : 0);
  fclose(f);
  if (rename("launched.tmp", "launched.txt") != 0) return 1;
  for (;;) pause();
}
