#include "link/HarluneApp.h"

#include <csignal>
#include <memory>
#include <mutex>
#include <stdexcept>

#include <desktop/Workspace.h>
#include <taplatform/taplatform.h>

#include "common/Constants.h"
#include "common/OsxUtils.h"
#include "common/Policy.h"
#include "common/Utils.h"
#include "link/File.h"
#include "link/FileSystem.h"
#include "link/HttpRequest.h"

namespace Harlune {
namespace Web {

namespace {

// Two locks instead of one re-entrant lock: gStateMutex guards the cached
// URL and path for the moment of a read or write only (never across network
// traffic, so a hung application cannot stall other threads' lookups);
// gLaunchMutex makes concurrent launches wait for each other instead of
// starting the application twice.
std::mutex gStateMutex;
std::mutex gLaunchMutex;
Url gAppUrl{std::string()};
std::string gBinPath;
int32_t gLaunchTimeoutMs = 20000;

constexpr unsigned kLaunchPollMs = 100;
constexpr size_t kPathBufferSize = 2048;

std::string urlFilePath() { return FileSystem::harluneAppDataPath() + "/var/run/http.uri"; }

std::string readFile(const std::string& path) {
  File file(path);
  file.open();
  return file.read();
}

}  // namespace

Url HarluneApp::url() {
  std::lock_guard<std::mutex> lock(gStateMutex);
  if (!gAppUrl.url().empty()) return gAppUrl;
  gAppUrl.clear();
  std::string path;
  try {
    path = urlFilePath();
  } catch (const std::exception& e) {
    TA_LOG(1, "Failed to get Harlune URL: %s", e.what());
    return gAppUrl;
  }
  TA_LOG(5, "Reading Tarsen Harlune URL from %s", path.c_str());
  const std::string text = readFile(path);
  if (!text.empty()) {
    gAppUrl.parse(text);
    // The file's second line is the access key: guarded, the log keeps the URL only.
    const std::string shown = Policy::guarded() ? text.substr(0, text.find('\n')) : text;
    TA_LOG(5, "Read Tarsen Harlune URL: %s", shown.c_str());
  } else {
    TA_LOG(5, "Failed to read Tarsen Harlune URL from %s", path.c_str());
  }
  return gAppUrl;
}

void HarluneApp::clearUrl() {
  std::lock_guard<std::mutex> lock(gStateMutex);
  gAppUrl.clear();
}

bool HarluneApp::isRunning() {
  Url current = url();
  // Each failure re-reads the URL file: the application may have restarted on
  // another port. A port seen to fail ends the search.
  while (!current.url().empty()) {
    HttpRequest ping(current.host(), current.port(0));
    ping.setPath(std::string(kHarluneApiCall) + "/info/ping");
    if (ping.invoke()) return true;
    const uint16_t failedPort = current.port(0);
    clearUrl();
    current = url();
    if (current.url().empty() || current.port(0) == failedPort) return false;
  }
  return false;
}

bool HarluneApp::launch() {
  std::lock_guard<std::mutex> launching(gLaunchMutex);
  if (isRunning()) return true;
  const std::string bundle = binPath();
  if (bundle.empty()) return false;

  const std::string command = "open \"" + bundle + "\"";
  TA_LOG(3, "%s - Command: %s", kMsgHarluneLaunch, command.c_str());
  pid_t child = -1;
  const int err = ta_shell_create(&child, command.c_str());
  if (err != 0) {
    TA_LOG(1, "Failed to launch Tarsen Harlune: %s (%d)", Utils::errorCodeToStr(err).c_str(),
           err);
    return false;
  }

  const int32_t timeoutMs = launchTimeoutMs();
  TA_LOG(3, "Waiting %dms for Tarsen Harlune to launch", timeoutMs);
  clearUrl();
  bool seen = false;
  for (int32_t waited = 0; waited < timeoutMs;) {
    if (isRunning()) {
      TA_LOG(5, "Waited %dms for Harlune to launch and write URL file", waited);
      return true;
    }
    const int sleepErr = ta_thread_sleep(kLaunchPollMs);
    if (sleepErr != 0) {
      TA_LOG(1, "Warning: Thread sleep failed (%d)", sleepErr);
      return false;
    }
    const int pid = OsxUtils::getHarlunePid();
    if (pid != -1 && !seen) {
      TA_LOG(3, "Tarsen Harlune process started (pid: %d)", pid);
      seen = true;
    } else if (pid == -1 && seen) {
      TA_LOG(3, "Warning: Tarsen Harlune process exited");
      return false;
    }
    waited += kLaunchPollMs;
  }
  TA_LOG(3, "Warning: Timed out waiting for Tarsen Harlune to launch");
  return false;
}

std::string HarluneApp::binPath() {
  {
    std::lock_guard<std::mutex> lock(gStateMutex);
    if (!gBinPath.empty()) return gBinPath;
  }
  char home[kPathBufferSize] = "";
  ta_path_home_dir(home, sizeof home);
  char hint[kPathBufferSize];
  ta_str_ncpy(hint, home, sizeof hint);
  ta_str_ncat(hint, "/Library/Application Support/Tarsen/Tarsen Harlune/etc/tarsenharlune.path",
              sizeof hint);
  const std::string hintText = readFile(hint);
  std::string first = hintText.substr(0, hintText.find('\n'));
  if (!first.empty()) {
    TA_LOG(4, "Harlune path in tarsenharlune.path: %s", first.c_str());
  } else {
    first = std::string(home) + "/Applications";
  }

  const char* folders[] = {first.c_str(), "/Applications", nullptr};
  char found[kPathBufferSize];
  if (ta_path_find_file_in_paths(kHarluneBundleName, folders, found, sizeof found) != 0) {
    TA_LOG(1, "Failed to determine Tarsen Harlune executable path: no %s in %s or %s",
           kHarluneBundleName, folders[0], folders[1]);
    return "";
  }
  TA_LOG(3, "Tarsen Harlune executable path: %s", found);
  std::lock_guard<std::mutex> lock(gStateMutex);
  gBinPath = found;
  return gBinPath;
}

std::string HarluneApp::harluneUUID() {
  std::string path;
  try {
    path = urlFilePath();
  } catch (const std::exception& e) {
    TA_LOG(1, "Failed to get Harlune UUID: %s", e.what());
    return "";
  }
  TA_LOG(5, "Reading Tarsen Harlune UUID from %s", path.c_str());
  const std::string text = readFile(path);
  if (text.empty()) {
    TA_LOG(5, "Failed to read Tarsen UUID from %s", path.c_str());
    return "";
  }
  const size_t lineEnd = text.find('\n');
  const std::string key = lineEnd == std::string::npos ? text : text.substr(lineEnd + 1);
  // Guarded, the log (which a user may send anyone) keeps only the key's end.
  const std::string shown =
      !Policy::guarded() ? key : "****" + (key.size() > 8 ? key.substr(key.size() - 4) : "");
  TA_LOG(5, "Harlune UUID: %s", shown.c_str());
  return key;
}

int HarluneApp::pid() {
  return ta_str_atoi(readFile(FileSystem::harluneAppDataPath() + "/var/run/process.pid").c_str());
}

bool HarluneApp::terminate() {
  const Url current = url();
  if (current.url().empty()) return false;
  HttpRequest request(current.host(), current.port(0));
  request.setMethod(HttpRequest::kPostMethod);
  request.setPath(std::string(kHarluneApiCall) + "/info/exit");
  request.appendData("{'agent':'Tarsen.Harlune', 'message' : 'Installing update!'}");
  std::unique_ptr<HttpResponse> response = request.invoke();
  if (!response) return true;
  if (response->statusCode() == 404) KillProcesses(kHarluneProcessName);
  return response->statusCode() != 403;
}

int32_t HarluneApp::launchTimeoutMs() {
  std::lock_guard<std::mutex> lock(gStateMutex);
  return gLaunchTimeoutMs;
}

void HarluneApp::setLaunchTimeoutMs(int32_t ms) {
  std::lock_guard<std::mutex> lock(gStateMutex);
  gLaunchTimeoutMs = ms;
}

void HarluneApp::resetForTesting() {
  std::lock_guard<std::mutex> lock(gStateMutex);
  gAppUrl.clear();
  gBinPath.clear();
  gLaunchTimeoutMs = 20000;
}

void KillProcesses(const std::string& name) { Desktop::killProcessesNamed(name, SIGKILL); }

}  // namespace Web
}  // namespace Harlune
