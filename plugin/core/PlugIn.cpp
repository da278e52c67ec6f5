#include "core/PlugIn.h"

#include <algorithm>
#include <cctype>

#include <taplatform/taplatform.h>

#include "common/Constants.h"
#include "common/Policy.h"
#include "common/Utils.h"
#include "link/HarluneApp.h"
#include "text/Json.h"
#include "work/RequestWorker.h"
#include "work/TransfersPoller.h"

namespace Harlune {
namespace Web {

std::set<std::string> PlugIn::pathsSelectedByUser;
std::map<std::string, std::set<std::string>> PlugIn::pathsApprovedForHost;

namespace {
// One trailing "/" goes, and literally backslashes become "/", so one path
// has one form. Guarded, a backslash is an ordinary byte of a file name here,
// so "a\\b" and "a/b" stay different files.
std::string normalisedPath(const std::string& path) {
  std::string out = path;
  if (!Policy::guarded()) std::replace(out.begin(), out.end(), '\\', '/');
  if (!out.empty() && out.back() == '/') out.pop_back();
  return out;
}

// The code point of the UTF-8 sequence of `length` bytes at `at`, or -1.
long codePoint(const std::string& text, size_t at, size_t length) {
  const unsigned char lead = static_cast<unsigned char>(text[at]);
  static const unsigned char kLeadMask[] = {0, 0x80, 0xe0, 0xf0}, kLead[] = {0, 0, 0xc0, 0xe0};
  if (length > 3 || (lead & kLeadMask[length]) != kLead[length]) return -1;
  long value = length == 1 ? lead : lead & (0xff >> (length + 1));
  for (size_t i = 1; i < length; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[at + i]);
    if ((c & 0xc0) != 0x80) return -1;
    value = value << 6 | (c & 0x3f);
  }
  return value;
}

bool isSpace(long c) {
  return c == ' ' || c == 0xa0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200b) || c == 0x2028 ||
         c == 0x2029 || c == 0x202f || c == 0x205f || c == 0x3000 || c == 0xfeff;
}

// An identifier that one reader could trim, or cut at a control character,
// is not the one that was checked.
bool cleanIdentifier(const std::string& id) {
  for (size_t i = 0; i < id.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(id[i]);
    if (c < 0x20 || c == 0x7f) return false;
    // U+0080..U+009F, the second set of control characters.
    if (c == 0xc2 && i + 1 < id.size() && static_cast<unsigned char>(id[i + 1]) < 0xa0) return false;
  }
  if (id.empty()) return true;
  for (size_t length = 1; length <= 3 && length <= id.size(); ++length) {
    if (isSpace(codePoint(id, 0, length)) || isSpace(codePoint(id, id.size() - length, length)))
      return false;
  }
  return true;
}

}  // namespace

PlugIn::PlugIn() {
  TA_LOG(5, "Plugin() [%p]", static_cast<void*>(this));
  const int err = ta_sock_init();
  if (err != 0) {
    TA_LOG(1, "Failed to initialize socket: %s (%d)", Utils::errorCodeToStr(err).c_str(), err);
  }
  _requestWorker = std::make_unique<RequestWorker>();
  _transfersPoller = std::make_unique<TransfersPoller>();
  TA_LOG(5, "Plugin() - done");
}

namespace {
void shutDown(Worker& worker, const char* failure) {
  worker.stop();
  try {
    worker.join();
  } catch (const std::exception& e) {
    TA_LOG(1, failure, e.what());
  }
}
}  // namespace

PlugIn::~PlugIn() {
  TA_LOG(5, "~Plugin() [%p]", static_cast<void*>(this));
  if (_requestWorker) {
    shutDown(*_requestWorker, "Error joining request worker thread: %s");
    _requestWorker.reset();
  }
  if (_transfersPoller) {
    shutDown(*_transfersPoller, "Error joining transfer poller thread: %s");
    _transfersPoller.reset();
  }
  ta_sock_fini();
  TA_LOG(5, "~Plugin() - done");
}

void PlugIn::init(int launchTimeoutMs) {
  TA_LOG(5, "PlugIn::init() - launchTimeoutMs=%d", launchTimeoutMs);
  HarluneApp::setLaunchTimeoutMs(launchTimeoutMs);
  HarluneApp::launch();
  _requestWorker->start();
}

void PlugIn::setHostBrowser(const std::string& userAgent) {
  std::string lower = userAgent;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (lower.find("firefox") != std::string::npos) {
    _hostBrowser = "firefox";
  } else if (lower.find("chrome") != std::string::npos) {
    _hostBrowser = "chrome";
  } else if (lower.find("safari") != std::string::npos) {
    _hostBrowser = "safari";
  } else {
    _hostBrowser = lower;
  }
  TA_LOG(3, "Browser host: %s", _hostBrowser.c_str());
}

bool PlugIn::configure(const std::map<std::string, std::string>& parameters) {
  auto it = parameters.find("drop-upload-url");
  _dropUploadUrl = it == parameters.end() ? std::string() : it->second;
  return true;
}

std::string PlugIn::queryBrowserEngine(PlugInHostApi_e api) const {
  switch (api) {
    case PlugInHostApiGecko: return "Gecko";
    case PlugInHostApiMSHTML: return "MSHTML";
    case PlugInHostApiWebKit: return "WebKit";
  }
  return "Unknown";
}

std::string PlugIn::queryBuildVersion() const { return kBuildVersion; }
std::string PlugIn::queryPluginVersion() const { return kBuildVersion; }
std::string PlugIn::queryVersion() const { return kShortVersion; }

std::string PlugIn::initSession(const std::string& appId, const std::string& domain) {
  TA_LOG(5, "initSession\n  appId: %s\n  domain: %s", appId.c_str(), domain.c_str());
  if (_sessionInitialized) return Json::createError(kErrorSessionAlreadyInitialized);
  const std::string refusal = isAppIdValid(appId);
  if (!refusal.empty()) return refusal;
  _appId = appId;
  _transfersPoller->setAppId(appId);
  _transfersPoller->start();
  _sessionInitialized = true;
  // Guarded, the identifier is escaped: a quote in it must not close the
  // text and add members the page chose.
  return "{\"app_id\":\"" + (Policy::guarded() ? Json::escape(appId) : appId) + "\"}";
}

std::string PlugIn::isAppIdValid(const std::string& appId) const {
  if (Policy::guarded()) {
    if (!cleanIdentifier(appId)) {
      TA_LOG(1, "%s: app_id", kErrorInvalidArgument);
      return Json::createError(std::string(kErrorInvalidArgument) + ": app_id");
    }
    // A page without a host (a file) has no host to bind an identifier to.
    if (_pageHostname.empty() && !appId.empty() && appId[0] == '^') {
      TA_LOG(1, "Hostname validation failed: the page has no host");
      return Json::createError(kErrorBadAppIdHostname);
    }
  }
  if (_pageHostname.empty() || appId.empty() || appId[0] != '^') return "";
  const std::string expected = appId.substr(1);
  if (expected == _pageHostname) return "";
  TA_LOG(1, "Hostname validation failed:\n  Expected: %s\n  Got: %s", _pageHostname.c_str(),
         expected.c_str());
  return Json::createError(std::string(kErrorBadAppIdHostname) + ": " + _pageHostname);
}

void PlugIn::addToApprovedFileList(const std::vector<std::string>& paths,
                                   const std::string& pageHost) {
  for (const std::string& path : paths) {
    if (path.empty()) continue;
    const std::string normal = normalisedPath(path);
    TA_LOG(5, "PlugIn::addToApprovedFileList() - added path to allowed list %s", normal.c_str());
    if (Policy::guarded()) {
      pathsApprovedForHost[pageHost].insert(normal);
    } else {
      pathsSelectedByUser.insert(normal);
    }
  }
}

bool PlugIn::isFileAllowed(const std::string& path, const std::string& pageHost) {
  const std::string normal = normalisedPath(path);
  bool allowed = false;
  if (normal.empty()) {
    allowed = false;
  } else if (Policy::guarded()) {
    const auto host = pathsApprovedForHost.find(pageHost);
    allowed = host != pathsApprovedForHost.end() && host->second.count(normal) != 0;
  } else {
    allowed = pathsSelectedByUser.count(normal) != 0;
  }
  if (!allowed) TA_LOG(5, "PlugIn::isFileAllowed() - path is not allowed %s", path.c_str());
  return allowed;
}

void PlugIn::forgetApprovals(const std::string& pageHost) {
  TA_LOG(5, "PlugIn::forgetApprovals() - %s", pageHost.c_str());
  if (Policy::guarded())
    pathsApprovedForHost.erase(pageHost);
  else
    pathsSelectedByUser.clear();
}

void PlugIn::setLastSelectedPath(const std::string& path) {
  _lastSelectedPath = path;
  if (!Policy::guarded()) std::replace(_lastSelectedPath.begin(), _lastSelectedPath.end(), '\\', '/');
  TA_LOG(5, "PlugIn::setLastSelectedPath() - %s", _lastSelectedPath.c_str());
}

}  // namespace Web
}  // namespace Harlune
