// tarsen-web-host: the native-messaging host of the Tarsen Web extension.
// The browser starts it with the extension's origin as its argument; what it
// serves is described in WebHost.h.
//
// Environment: TARSEN_WEB_PLUGIN, the plug-in to load (default: the one built
// beside it); TARSEN_WEB_ANSWERS, a file of scripted panel answers for tests
// (a JSON array: {"choose": [paths]}, "cancel" or "ignore").
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

// The desktop's `open` program must be found before any other of that name.
void putOpenFirstOnPath() {
  const char* folder = HOST_OPEN_DIR;
  if (!*folder) return;
  std::string path = environment("PATH");
  std::string value = std::string(folder) + (path.empty() ? "" : ":" + path);
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
  options.pluginPath = environment("TARSEN_WEB_PLUGIN", HOST_DEFAULT_PLUGIN);
  options.answersPath = environment("TARSEN_WEB_ANSWERS");
  options.interactivePanels = options.answersPath.empty() &&
                              (!environment("DISPLAY").empty() ||
                               !environment("WAYLAND_DISPLAY").empty());
  Bridge::WebHost host(options);
  return host.run();
}
