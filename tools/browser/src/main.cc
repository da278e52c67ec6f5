// tarsen-browser: runs one page with NPAPI plug-ins and exits with its verdict.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "BrowserFuncs.h"
#include "Location.h"
#include "Page.h"

namespace {

const char kUsage[] =
    "usage: tarsen-browser [--plugin PATH]... [--url URL] [--user-agent UA] [--timeout S]\n"
    "                      [--no-coregraphics] [--no-cocoa-events] [--screenshot FILE.png]\n"
    "                      [--real-time] [--memory-limit BYTES] PAGE.html\n";

bool fileExists(const std::string& path) {
  struct stat st;
  return !path.empty() && stat(path.c_str(), &st) == 0;
}

int usage(const std::string& why) {
  std::fprintf(stderr, "tarsen-browser: %s\n%s", why.c_str(), kUsage);
  return 2;
}

// The desktop's `open` program must be found before any other of that name.
void putOpenFirstOnPath() {
  const char* folder = BROWSER_OPEN_DIR;
  if (!*folder) return;
  const char* path = std::getenv("PATH");
  std::string value = std::string(folder) + (path && *path ? ":" + std::string(path) : "");
  setenv("PATH", value.c_str(), 1);
}

}  // namespace

int main(int argc, char** argv) {
  Browser::PageOptions options;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    std::string text;
    if (arg == "--plugin") {
      if (!value(text)) return usage("--plugin needs a path");
      options.plugins.push_back(text);
    } else if (arg == "--url") {
      if (!value(options.url)) return usage("--url needs a URL");
      Browser::Location location;
      if (!Browser::parseLocation(options.url, location))
        return usage("--url needs an absolute URL with a host, or a file URL: " + options.url);
    } else if (arg == "--user-agent") {
      if (!value(options.userAgent)) return usage("--user-agent needs a text");
    } else if (arg == "--timeout") {
      if (!value(text)) return usage("--timeout needs seconds");
      char* end = nullptr;
      options.timeoutSeconds = std::strtod(text.c_str(), &end);
      if (*end || !(options.timeoutSeconds > 0)) return usage("bad --timeout " + text);
    } else if (arg == "--memory-limit") {
      if (!value(text)) return usage("--memory-limit needs bytes");
      char* end = nullptr;
      const unsigned long bytes = std::strtoul(text.c_str(), &end, 10);
      if (*end || bytes == 0 || bytes > UINT32_MAX) return usage("bad --memory-limit " + text);
      Browser::setPluginMemoryLimit(static_cast<uint32_t>(bytes));
    } else if (arg == "--screenshot") {
      if (!value(options.screenshot)) return usage("--screenshot needs a file");
    } else if (arg == "--no-coregraphics") {
      options.coreGraphics = false;
    } else if (arg == "--no-cocoa-events") {
      options.cocoaEvents = false;
    } else if (arg == "--real-time") {
      options.realTime = true;
    } else if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (!arg.empty() && arg[0] == '-') {
      return usage("unknown option " + arg);
    } else if (options.pagePath.empty()) {
      options.pagePath = arg;
    } else {
      return usage("only one page at a time");
    }
  }
  if (options.pagePath.empty()) return usage("no page given");
  if (options.plugins.empty()) {
    if (!fileExists(BROWSER_DEFAULT_PLUGIN))
      return usage("no --plugin given and the default plug-in " +
                   std::string(BROWSER_DEFAULT_PLUGIN) + " is not built");
    options.plugins.push_back(BROWSER_DEFAULT_PLUGIN);
  }
  putOpenFirstOnPath();
  Browser::Page page(options);
  return page.run();
}
