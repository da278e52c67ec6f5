// tarsen-web-host: the native-messaging host of the Tarsen Web extension.
// The browser starts it with the extension's origin as its argument; what it
// serves is described in WebHost.h.
//
// Environment: TARSEN_WEB_PLUGIN, the plug-in to load (default: the installed
// one beside it, else the one built with it); TARSEN_WEB_ANSWERS, a file of
// scripted panel answers for tests (a JSON array: {"choose": [paths]},
// "cancel" or "ignore"); TARSEN_WEB_BENCH_ECHO, set by bench/run only: echo
// messages are answered.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "WebHost.h"

namespace {

std::string environment(const char* name, const std::string& otherwise = std::string()) {
  const char* value = std::getenv(name);
  return value && *value ? value : otherwise;
}

// Installed, the plug-in and the desktop's `open` sit beside the host
// (libtarsenweb.so, bin/open); in a build folder they are where the build put them.
std::string besideHost(const char* name) {
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return std::string();
  std::string path(self, static_cast<size_t>(n));
  path = path.substr(0, path.rfind('/') + 1) + name;
  return access(path.c_str(), F_OK) == 0 ? path : std::string();
}

// The desktop's `open` program must be found before any other of that name.
void putOpenFirstOnPath() {
  std::string folder = besideHost("bin/open");
  folder = folder.empty() ? HOST_OPEN_DIR : folder.substr(0, folder.rfind('/'));
  if (folder.empty()) return;
  std::string path = environment("PATH");
  std::string value = folder + (path.empty() ? "" : ":" + path);
  setenv("PATH", value.c_str(), 1);
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::puts("usage: tarsen-web-host [ORIGIN]\n"
                "A native-messaging host: the browser starts it and talks to it on\n"
                "standard input and output. See \"In today's browsers\" in the README.");
      return 0;
    }
  }
  if (isatty(STDIN_FILENO)) {
    std::fputs("tarsen-web-host: started by the browser for the Tarsen Web extension, "
               "not by hand\n", stderr);
    return 2;
  }
  putOpenFirstOnPath();
  // The browser starts hosts in its own folder; nothing of the host's should
  // live there, nor show in a chooser's side bar.
  const std::string home = environment("HOME");
  if (home.empty() || chdir(home.c_str()) != 0) {
    if (chdir("/") != 0) return 2;
  }
  Bridge::HostOptions options;
  std::string installed = besideHost("libtarsenweb.so");
  options.pluginPath = environment("TARSEN_WEB_PLUGIN",
                                   installed.empty() ? HOST_DEFAULT_PLUGIN : installed);
  options.answersPath = environment("TARSEN_WEB_ANSWERS");
  options.benchEcho = !environment("TARSEN_WEB_BENCH_ECHO").empty();
  options.interactivePanels = options.answersPath.empty() &&
                              (!environment("DISPLAY").empty() ||
                               !environment("WAYLAND_DISPLAY").empty());
  Bridge::WebHost host(options);
  return host.run();
}
