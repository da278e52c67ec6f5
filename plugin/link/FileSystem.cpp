#include "link/FileSystem.h"

#include <mutex>

#include <desktop/System.h>
#include <taplatform/talog.h>

namespace Harlune {
namespace Web {

namespace {

// The caches are reached from the main thread and from every worker thread.
std::mutex gMutex;
std::string gAppDataPath;
std::string gHarluneAppDataPath;
bool gHarluneAppDataPathSet = false;
std::string gPluginPath;
std::string gLogPath;
bool gLogPathSet = false;

bool lookUp(Desktop::UserFolder folder, std::string& path, const char* failure) {
  const Desktop::Status status = Desktop::userFolderPath(folder, path);
  if (status != Desktop::Status::Ok) {
    TA_LOG(1, failure, Desktop::statusCode(status));
    return false;
  }
  return true;
}

std::string appDataPathLocked() {
  if (!gAppDataPath.empty()) return gAppDataPath;
  std::string path;
  if (!lookUp(Desktop::UserFolder::ApplicationSupport, path,
              "Failed to determine application data directory: %d")) {
    return "";
  }
  gAppDataPath = path + "/";
  TA_LOG(3, "Application data directory: %s", gAppDataPath.c_str());
  return gAppDataPath;
}

}  // namespace

std::string FileSystem::appDataPath() {
  std::lock_guard<std::mutex> lock(gMutex);
  return appDataPathLocked();
}

std::string FileSystem::harluneAppDataPath() {
  std::lock_guard<std::mutex> lock(gMutex);
  if (!gHarluneAppDataPathSet) {
    gHarluneAppDataPath = appDataPathLocked() + "Tarsen/Tarsen Harlune";
    gHarluneAppDataPathSet = true;
  }
  return gHarluneAppDataPath;
}

std::string FileSystem::pluginPath() {
  std::lock_guard<std::mutex> lock(gMutex);
  if (!gPluginPath.empty()) return gPluginPath;
  std::string path;
  if (!lookUp(Desktop::UserFolder::InternetPlugIns, path,
              "Failed to determine browser plugin directory: %d")) {
    return "";
  }
  gPluginPath = path + "/";
  TA_LOG(3, "Browser plugin directory: %s", gPluginPath.c_str());
  return gPluginPath;
}

std::string FileSystem::logPath() {
  std::lock_guard<std::mutex> lock(gMutex);
  if (!gLogPathSet) {
    std::string folder;
    if (lookUp(Desktop::UserFolder::Logs, folder, "Failed to determine log directory: %d")) {
      gLogPath = folder + "/Tarsen/tarsen-harlune-browser-plugin.log";
    }
    gLogPathSet = true;
  }
  return gLogPath;
}

void FileSystem::resetForTesting() {
  std::lock_guard<std::mutex> lock(gMutex);
  gAppDataPath.clear();
  gHarluneAppDataPath.clear();
  gHarluneAppDataPathSet = false;
  gPluginPath.clear();
  gLogPath.clear();
  gLogPathSet = false;
}

}  // namespace Web
}  // namespace Harlune
