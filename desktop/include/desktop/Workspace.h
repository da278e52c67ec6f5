// Application bundles, the running applications, and ending processes by name.
//
// Bundle layout: NAME.app/Contents/Info is a text file of key=value lines
// (blank lines and lines starting with '#' ignored) holding at least
// identifier=... and executable=...; the program is
// NAME.app/Contents/MacOS/<executable>. The `open` program starts a bundle's
// program detached with DESKTOP_BUNDLE_IDENTIFIER and DESKTOP_BUNDLE_PATH in
// its environment; that is how running applications are recognised.
#pragma once

#include <string>
#include <vector>

#include "desktop/Status.h"

namespace Desktop {

constexpr const char* kBundleIdentifierVariable = "DESKTOP_BUNDLE_IDENTIFIER";
constexpr const char* kBundlePathVariable = "DESKTOP_BUNDLE_PATH";

struct BundleInfo {
  std::string identifier;
  std::string executable;      // file name inside Contents/MacOS
  std::string executablePath;  // the full path of the program
};

// Reads and checks bundlePath/Contents/Info. On failure `error` (optional)
// gets a one-line explanation and Status::BadBundle is returned.
Status readBundleInfo(const std::string& bundlePath, BundleInfo& info,
                      std::string* error = nullptr);
// The parser behind readBundleInfo, for the text of an Info file.
Status parseBundleInfo(const std::string& text, BundleInfo& info, std::string* error = nullptr);

struct RunningApplication {
  std::string bundleIdentifier;
  int processIdentifier = 0;
  std::string bundlePath;  // empty when the process did not say
};

namespace Workspace {
// The desktop session, the only processes this library sees or signals:
// those owned by our user whose environment (/proc/PID/environ, as it was at
// their start) holds the same HOME as ours now (getenv; no HOME matches no
// HOME). A process whose environment cannot be read is not in the session.
// So a test's private HOME is a session of its own, and other users' and
// other HOMEs' applications are neither listed nor ended. Live processes
// only, by ascending pid.
std::vector<int> sessionProcesses();
// Live (non-zombie) processes of the session started from a bundle, by
// ascending pid.
std::vector<RunningApplication> runningApplications();
// The pid of the first running application with that identifier, or -1.
int processIdentifierForBundle(const std::string& bundleIdentifier);
}  // namespace Workspace

// Sends `signal` to every process of the session whose name (/proc/PID/comm)
// is exactly `name`, skipping zombies, unreadable entries and the caller.
// Returns how many processes were signalled.
int killProcessesNamed(const std::string& name, int signal = 15);

}  // namespace Desktop
