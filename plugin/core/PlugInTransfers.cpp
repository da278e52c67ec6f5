// Downloads, uploads and windows of the desktop application.
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>

#include <taplatform/talog.h>

#include "common/Constants.h"
#include "common/Policy.h"
#include "core/PlugIn.h"
#include "core/Transfer.h"
#include "text/PathEscaper.h"

namespace Harlune {
namespace Web {

namespace {

// Guarded, the bytes approved are the bytes the application decodes: a
// backslash is part of a file name here, and "%", "#", "?" or a space are
// encoded, never read as an escape, a fragment or a query.
std::string fileUrl(const std::string& path) {
  return Policy::guarded() ? PathEscaper::toEncodedFileUrl(path) : PathEscaper::toFileUrl(path);
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Whether a download source names a local file, and which (in `path`). A
// source with no scheme, or with "file:", is local: the application would
// read it from this machine.
bool localSource(const std::string& source, std::string* path) {
  size_t begin = 0;
  size_t end = source.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(source[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(source[end - 1]))) --end;
  const std::string text = source.substr(begin, end - begin);
  size_t colon = 0;
  while (colon < text.size() &&
         (std::isalnum(static_cast<unsigned char>(text[colon])) || text[colon] == '+' ||
          text[colon] == '-' || text[colon] == '.')) {
    ++colon;
  }
  const bool hasScheme = colon > 0 && colon < text.size() && text[colon] == ':' &&
                         std::isalpha(static_cast<unsigned char>(text[0]));
  if (!hasScheme) {
    *path = text;
    return true;
  }
  std::string scheme = text.substr(0, colon);
  std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (scheme != "file") return false;
  std::string rest = text.substr(colon + 1);
  if (rest.compare(0, 2, "//") == 0) {
    // "file://HOST/path": the path must be approved whatever the host, since
    // the application may ignore it.
    const size_t slash = rest.find('/', 2);
    rest = slash == std::string::npos ? std::string() : rest.substr(slash);
  }
  std::string decoded;
  for (size_t i = 0; i < rest.size(); ++i) {
    if (rest[i] == '%' && i + 2 < rest.size() && hexValue(rest[i + 1]) >= 0 &&
        hexValue(rest[i + 2]) >= 0) {
      decoded += static_cast<char>(hexValue(rest[i + 1]) * 16 + hexValue(rest[i + 2]));
      i += 2;
    } else {
      decoded += rest[i];
    }
  }
  *path = decoded;
  return true;
}

// Whether every path named for the application to read was approved for this
// page host; logs the first that was not.
bool sourcesApproved(const std::vector<std::string>& paths, const std::string& pageHost) {
  for (const std::string& path : paths) {
    if (path.empty()) continue;
    if (!PlugIn::isFileAllowed(path, pageHost)) {
      TA_LOG(1, "%s: %s", kErrorUnauthorizedUploadPath, path.c_str());
      return false;
    }
  }
  return true;
}

// The path with links resolved, or "" when it cannot be had.
std::string resolved(const std::string& path) {
  char buffer[PATH_MAX];
  return realpath(path.c_str(), buffer) ? std::string(buffer) : std::string();
}

bool inside(const std::string& path, const std::string& root) {
  if (root == "/") return !path.empty() && path[0] == '/';
  return path == root || (path.size() > root.size() && path.compare(0, root.size(), root) == 0 &&
                          path[root.size()] == '/');
}

// Whether the path can be a new file: its folder exists (a folder, links
// resolved) and the path has a name in it.
bool newFileIn(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos || slash + 1 == path.size()) return false;
  const std::string folder = resolved(slash == 0 ? "/" : path.substr(0, slash));
  struct stat st;
  return !folder.empty() && stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

void PlugIn::startDownload(const std::string& source) {
  TA_LOG(3, "PlugIn::startDownload()");
  TA_LOG(3, "  %s", source.c_str());
  download({source}, "");
}

void PlugIn::startDownloadToPath(const std::string& source, const std::string& destination) {
  download({source}, destination);
}

void PlugIn::startListDownloadToPath(const std::string& destination) {
  download(_downloadList, destination);
}

bool PlugIn::download(const std::vector<std::string>& sources, const std::string& destination) {
  TA_LOG(5, "Plugin::download() to %s", destination.c_str());
  // Guarded, a local source goes out as the file URL of the path that was
  // approved, not as the page wrote it (a host, odd escapes, spaces around).
  std::vector<std::string> sent = sources;
  if (Policy::guarded()) {
    std::vector<std::string> local;
    for (std::string& source : sent) {
      std::string path;
      if (source.empty() || !localSource(source, &path)) continue;
      local.push_back(path.empty() ? source : path);
      if (!path.empty() && path[0] == '/') source = fileUrl(path);
    }
    if (!sourcesApproved(local, _pageHostname)) return false;
  }
  if (!destination.empty()) {
    if (!allowDestRoot(destination)) {
      TA_LOG(1, "%s: %s", kErrorUnauthorizedDownloadPath, destination.c_str());
      return false;
    }
    TA_LOG(3, "Accepted download to %s (user selected %s)", destination.c_str(),
           _lastSelectedPath.c_str());
  }
  // An accepted destination, or a download without one, uses up the choice.
  _lastSelectedPath.clear();
  Transfer transfer;
  transfer.setSource(sent);
  if (!destination.empty()) transfer.setDestination(fileUrl(destination));
  return transfer.request();
}

void PlugIn::startUploadToURL(const std::string& path, const std::string& destination) {
  upload({path}, destination);
}

void PlugIn::startListUploadToURL(const std::string& destination) {
  upload(_uploadList, destination);
}

void PlugIn::uploadDroppedFiles(const std::vector<std::string>& paths) {
  upload(paths, _dropUploadUrl);
}

bool PlugIn::upload(const std::vector<std::string>& paths, const std::string& destination) {
  TA_LOG(5, "Plugin::upload()");
  if (Policy::guarded()) {
    if (!sourcesApproved(paths, _pageHostname)) return false;
    // A file URL names an absolute path only.
    for (const std::string& path : paths) {
      if (path.empty() || path[0] != '/') {
        TA_LOG(1, "%s: %s", kErrorUnauthorizedUploadPath, path.c_str());
        return false;
      }
    }
  }
  _lastSelectedPath.clear();
  std::vector<std::string> sources;
  sources.reserve(paths.size());
  for (const std::string& path : paths) sources.push_back(fileUrl(path));
  Transfer transfer;
  transfer.setSource(sources);
  transfer.setDestination(destination);
  return transfer.request();
}

bool PlugIn::allowDestRoot(const std::string& path) const {
  if (Policy::guarded()) {
    std::string root = _lastSelectedPath;
    if (root.size() > 1 && root.back() == '/') root.pop_back();
    if (root.empty() || !inside(path, root)) return false;
    // No "." or ".." step: the application would walk out of the folder.
    for (size_t start = 0; start <= path.size();) {
      size_t end = path.find('/', start);
      if (end == std::string::npos) end = path.size();
      const std::string step = path.substr(start, end - start);
      if (step == "." || step == "..") return false;
      start = end + 1;
    }
    // A new file named in a save panel: that exact path, nothing below it.
    struct stat st;
    if (lstat(root.c_str(), &st) != 0) return errno == ENOENT && path == root && newFileIn(root);
    // A link inside the folder may lead out of it: what exists of the path
    // must resolve inside the folder's own resolved path.
    const std::string realRoot = resolved(root);
    if (realRoot.empty()) return false;
    std::string existing = path;
    while (lstat(existing.c_str(), &st) != 0) {
      const size_t slash = existing.find_last_of('/');
      if (slash == std::string::npos || slash == 0) return false;
      existing.erase(slash);
    }
    const std::string realExisting = resolved(existing);
    return !realExisting.empty() && inside(realExisting, realRoot);
  }
  std::string candidate = path;
  std::replace(candidate.begin(), candidate.end(), '\\', '/');
  const std::string& root = _lastSelectedPath;
  if (root.empty() || candidate.size() < root.size()) return false;
  if (candidate.compare(0, root.size(), root) != 0) return false;
  return candidate.size() == root.size() || candidate[root.size()] == '/';
}

bool PlugIn::displayTransferManager() { return TransferManagerWindow().show(""); }
bool PlugIn::displayAboutWindow() { return AboutWindow().show(""); }
bool PlugIn::displayPreferencesWindow() { return PreferencesWindow().show(""); }

}  // namespace Web
}  // namespace Harlune
