#include "desktop/System.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <unordered_map>

namespace Desktop {

const char* statusText(Status status) {
  switch (status) {
    case Status::Ok: return "ok";
    case Status::NoModalRun: return "no modal run";
    case Status::NotRunning: return "panel not running";
    case Status::AlreadyAnswered: return "panel already answered";
    case Status::PanelClosed: return "panel closed";
    case Status::InvalidChoice: return "choice not allowed by the panel";
    case Status::BadImageData: return "not JPEG image data";
    case Status::VersionUnavailable: return "system version unavailable";
    case Status::BadBundle: return "bad application bundle";
    case Status::FolderNotFound: return "folder not found";
  }
  return "unknown status";
}

namespace {

struct VersionState {
  std::mutex mutex;
  bool initialised = false;
  bool fail = false;
  SystemVersion version;
};

VersionState& versionState() {
  static VersionState* state = new VersionState;
  return *state;
}

// "MAJOR.MINOR[.BUGFIX]"; anything else leaves `out` alone.
void parseVersion(const char* text, SystemVersion& out) {
  unsigned major = 0, minor = 0, bugfix = 0;
  const int n = std::sscanf(text, "%u.%u.%u", &major, &minor, &bugfix);
  if (n >= 2) out = SystemVersion{major, minor, n == 3 ? bugfix : 0};
}

void initVersionLocked(VersionState& s) {
  if (s.initialised) return;
  s.initialised = true;
  if (const char* env = std::getenv("DESKTOP_SYSTEM_VERSION")) parseVersion(env, s.version);
}

}  // namespace

Status systemVersion(SystemVersion& out) {
  VersionState& s = versionState();
  std::lock_guard<std::mutex> lock(s.mutex);
  initVersionLocked(s);
  if (s.fail) return Status::VersionUnavailable;
  out = s.version;
  return Status::Ok;
}

void setSystemVersion(const SystemVersion& version) {
  VersionState& s = versionState();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.initialised = true;
  s.version = version;
}

void setSystemVersionFailure(bool fail) {
  VersionState& s = versionState();
  std::lock_guard<std::mutex> lock(s.mutex);
  initVersionLocked(s);
  s.fail = fail;
}

Status userFolderPath(UserFolder folder, std::string& path) {
  const char* home = std::getenv("HOME");
  if (home == nullptr || *home == '\0') return Status::FolderNotFound;
  std::string base(home);
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  if (base == "/") base.clear();
  const char* leaf = "Logs";
  switch (folder) {
    case UserFolder::ApplicationSupport: leaf = "Application Support"; break;
    case UserFolder::Logs: leaf = "Logs"; break;
    case UserFolder::InternetPlugIns: leaf = "Internet Plug-Ins"; break;
  }
  path = base + "/Library/" + leaf;
  return Status::Ok;
}

namespace {

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Extension (lower case) to type. The first line that names an extension wins.
std::unordered_map<std::string, std::string> readMimeTable(const char* file) {
  std::unordered_map<std::string, std::string> table;
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    const auto hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    std::istringstream words(line);
    std::string type, ext;
    if (!(words >> type)) continue;
    while (words >> ext) table.emplace(lower(ext), type);
  }
  return table;
}

const std::unordered_map<std::string, std::string>& mimeTable() {
  // Magic statics make the one read thread-safe.
  static const auto* table =
      new std::unordered_map<std::string, std::string>(readMimeTable("/etc/mime.types"));
  return *table;
}

}  // namespace

std::string mimeTypeForExtension(const std::string& extension) {
  if (extension.empty()) return std::string();
  const auto& table = mimeTable();
  const auto it = table.find(lower(extension));
  return it == table.end() ? std::string() : it->second;
}

std::string pathExtension(const std::string& path) {
  std::string name = path;
  while (!name.empty() && name.back() == '/') name.pop_back();
  const auto slash = name.rfind('/');
  if (slash != std::string::npos) name.erase(0, slash + 1);
  const auto dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return std::string();
  return name.substr(dot + 1);
}

std::string mimeTypeForPath(const std::string& path) { return mimeTypeForExtension(pathExtension(path)); }

namespace {
thread_local int poolDepth = 0;
}

AutoreleasePool::AutoreleasePool() { ++poolDepth; }
AutoreleasePool::~AutoreleasePool() { --poolDepth; }
int AutoreleasePool::depth() { return poolDepth; }

}  // namespace Desktop
