#include "desktop/Workspace.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>

namespace Desktop {

namespace {

std::string trim(const std::string& s) {
  const auto b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return std::string();
  const auto e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

// Plain reads: a /proc file of a process that ends meanwhile fails with
// ESRCH, which a stream would raise as an exception.
bool readWholeFile(const std::string& path, std::string& text) {
  text.clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char buffer[4096];
  ssize_t got;
  while ((got = ::read(fd, buffer, sizeof buffer)) != 0) {
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) break;
    text.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(fd);
  return got == 0;
}

Status fail(std::string* error, const std::string& why) {
  if (error != nullptr) *error = why;
  return Status::BadBundle;
}

// Process ids listed under /proc, ascending.
std::vector<int> listPids() {
  std::vector<int> pids;
  DIR* dir = ::opendir("/proc");
  if (dir == nullptr) return pids;
  while (const dirent* e = ::readdir(dir)) {
    char* end = nullptr;
    const long pid = std::strtol(e->d_name, &end, 10);
    if (end != e->d_name && *end == '\0' && pid > 0) pids.push_back(static_cast<int>(pid));
  }
  ::closedir(dir);
  std::sort(pids.begin(), pids.end());
  return pids;
}

// The state letter of /proc/PID/stat, or 0 when unreadable. The command name
// in parentheses may itself hold blanks and parentheses, so look after the last ')'.
char processState(int pid) {
  std::string stat;
  if (!readWholeFile("/proc/" + std::to_string(pid) + "/stat", stat)) return 0;
  const auto close = stat.rfind(')');
  if (close == std::string::npos || close + 2 >= stat.size()) return 0;
  return stat[close + 2];
}

// The value of NAME in a NUL-separated environment block, or "" when absent.
// `found` (optional) tells an empty value from a missing one.
std::string environmentValue(const std::string& envBlock, const char* name, bool* found = nullptr) {
  const std::string key = std::string(name) + "=";
  if (found != nullptr) *found = false;
  for (std::size_t start = 0; start < envBlock.size();) {
    std::size_t end = envBlock.find('\0', start);
    if (end == std::string::npos) end = envBlock.size();
    if (envBlock.compare(start, key.size(), key) == 0) {
      if (found != nullptr) *found = true;
      return envBlock.substr(start + key.size(), end - start - key.size());
    }
    start = end + 1;
  }
  return std::string();
}

// Reads the environment of a live process of the session into `envBlock`;
// false for any other process. The owner is checked first, so that, run as
// root, other users' environments are not even read.
bool sessionEnvironment(int pid, std::string& envBlock) {
  const std::string dir = "/proc/" + std::to_string(pid);
  struct stat st;
  if (::stat(dir.c_str(), &st) != 0 || st.st_uid != ::getuid()) return false;
  if (!readWholeFile(dir + "/environ", envBlock) || envBlock.empty()) return false;
  const char* ours = std::getenv("HOME");
  bool hasHome = false;
  const std::string home = environmentValue(envBlock, "HOME", &hasHome);
  if (hasHome != (ours != nullptr) || (hasHome && home != ours)) return false;
  const char state = processState(pid);
  return state != 0 && state != 'Z' && state != 'X';
}

}  // namespace

Status parseBundleInfo(const std::string& text, BundleInfo& info, std::string* error) {
  BundleInfo parsed;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    line = trim(line);
    if (line.empty() || line[0] == '#') continue;
    const auto eq = line.find('=');
    if (eq == std::string::npos) return fail(error, "line without '=': " + line);
    const std::string key = trim(line.substr(0, eq));
    const std::string value = trim(line.substr(eq + 1));
    if (key == "identifier") parsed.identifier = value;
    if (key == "executable") parsed.executable = value;
  }
  if (parsed.identifier.empty()) return fail(error, "no identifier");
  if (parsed.executable.empty()) return fail(error, "no executable");
  if (parsed.executable.find('/') != std::string::npos || parsed.executable == "." ||
      parsed.executable == "..") {
    return fail(error, "executable must be a plain file name");
  }
  info = parsed;
  return Status::Ok;
}

Status readBundleInfo(const std::string& bundlePath, BundleInfo& info, std::string* error) {
  std::string bundle = bundlePath;
  while (bundle.size() > 1 && bundle.back() == '/') bundle.pop_back();
  const std::string infoPath = bundle + "/Contents/Info";
  std::string text;
  if (!readWholeFile(infoPath, text)) return fail(error, "cannot read " + infoPath);
  BundleInfo parsed;
  std::string why;
  if (parseBundleInfo(text, parsed, &why) != Status::Ok) return fail(error, infoPath + ": " + why);
  parsed.executablePath = bundle + "/Contents/MacOS/" + parsed.executable;
  struct stat st;
  if (::stat(parsed.executablePath.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
      ::access(parsed.executablePath.c_str(), X_OK) != 0) {
    return fail(error, "no executable program " + parsed.executablePath);
  }
  info = parsed;
  return Status::Ok;
}

std::vector<int> Workspace::sessionProcesses() {
  std::vector<int> pids;
  std::string envBlock;
  for (int pid : listPids()) {
    if (sessionEnvironment(pid, envBlock)) pids.push_back(pid);
  }
  return pids;
}

std::vector<RunningApplication> Workspace::runningApplications() {
  std::vector<RunningApplication> apps;
  std::string envBlock;
  for (int pid : listPids()) {
    if (!sessionEnvironment(pid, envBlock)) continue;
    RunningApplication app;
    app.processIdentifier = pid;
    app.bundleIdentifier = environmentValue(envBlock, kBundleIdentifierVariable);
    app.bundlePath = environmentValue(envBlock, kBundlePathVariable);
    if (!app.bundleIdentifier.empty()) apps.push_back(std::move(app));
  }
  return apps;
}

int Workspace::processIdentifierForBundle(const std::string& bundleIdentifier) {
  for (const RunningApplication& app : runningApplications()) {
    if (app.bundleIdentifier == bundleIdentifier) return app.processIdentifier;
  }
  return -1;
}

int killProcessesNamed(const std::string& name, int signal) {
  int count = 0;
  const int self = static_cast<int>(::getpid());
  for (int pid : Workspace::sessionProcesses()) {
    if (pid == self) continue;
    std::string comm;
    if (!readWholeFile("/proc/" + std::to_string(pid) + "/comm", comm)) continue;
    if (!comm.empty() && comm.back() == '\n') comm.pop_back();
    if (comm != name) continue;
    if (::kill(pid, signal) == 0) ++count;
  }
  return count;
}

}  // namespace Desktop
