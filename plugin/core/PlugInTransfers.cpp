// Downloads, uploads and windows of the desktop application.
#include <algorithm>

#include <taplatform/talog.h>

#include "core/Constants.h"
#include "core/PlugIn.h"
#include "core/Transfer.h"
#include "text/PathEscaper.h"

namespace Harlune {
namespace Web {

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
  transfer.setSource(sources);
  if (!destination.empty()) transfer.setDestination(PathEscaper::toFileUrl(destination));
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
  _lastSelectedPath.clear();
  std::vector<std::string> sources;
  sources.reserve(paths.size());
  for (const std::string& path : paths) sources.push_back(PathEscaper::toFileUrl(path));
  Transfer transfer;
  transfer.setSource(sources);
  transfer.setDestination(destination);
  return transfer.request();
}

bool PlugIn::allowDestRoot(const std::string& path) const {
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
