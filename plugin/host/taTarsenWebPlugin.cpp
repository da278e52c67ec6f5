#include "host/taTarsenWebPlugin.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <functional>

#include <taplatform/taplatform.h>

#include "common/Constants.h"
#include "common/Utils.h"
#include "core/PlugIn.h"
#include "host/Arguments.h"
#include "host/BrowserFuncs.h"
#include "host/EventHandler.h"
#include "host/PageCallbacks.h"
#include "host/nptarsenweb.h"
#include "host/taTarsenWebScriptObject.h"
#include "host/taUtility.h"
#include "link/HttpResponse.h"
#include "text/Json.h"
#include "text/PathEscaper.h"
#include "work/OneShotManager.h"
#include "work/RunnableScheduler.h"
#include "work/TransfersPoller.h"

namespace Harlune {
namespace Web {

namespace {

void setString(NPVariant* result, const std::string& text) {
  TW_CharPtrToNPStringVariant(text.c_str(), result);
}

// Sets `result` to the data URL that `read` (one of the core's reads) writes
// straight into browser memory, or to its failure text: a 50 MiB file's text
// is made once, where the page receives it, instead of being copied there.
void setDataUrl(NPVariant* result,
                const std::function<std::string(const PlugIn::TextAllocator&)>& read) {
  char* block = nullptr;
  size_t size = 0;
  const std::string failure = read([&](size_t wanted) -> char* {
    size = wanted;
    if (wanted <= UINT32_MAX) {
      block = static_cast<char*>(NPN_MemAlloc(static_cast<uint32_t>(wanted)));
    }
    return block;
  });
  if (failure.empty()) {
    STRINGN_TO_NPVARIANT(block, static_cast<uint32_t>(size - 1), *result);
    return;
  }
  NPN_MemFree(block);
  // Browser memory that could not be had for the URL gives the encoding
  // failure text the core answered; only a copy of that short text that
  // cannot be made gives an empty string.
  TW_CharPtrToNPStringVariant(failure.c_str(), result);
}

}  // namespace

int taTarsenWebPlugin::launchWaitFromText(const std::string& text) {
  const int value = std::atoi(text.c_str());
  if (value != 0) return value;
  return text == "0" ? 0 : 20000;
}

taTarsenWebPlugin::taTarsenWebPlugin(NPP npp, std::map<std::string, std::string>& parameters)
    : _npp(npp) {
  TA_LOG(5, "taTarsenWebPlugin() [%p]", static_cast<void*>(this));
  _launchWaitMs = launchWaitFromText(parameters["harlune-launch-wait-timeout-ms"]);
  _transparent = parameters["transparent"] == "yes";

  try {
    Utils::setCurrentDirToUserHome();  // once per instance; changes nothing here
    _plugIn = std::make_unique<PlugIn>();
    _plugIn->setHostBrowser(NPN_UserAgent(npp));
    _plugIn->setPageHostname(TW_GetPageHostname(npp));
    _plugIn->init(_launchWaitMs);
    _plugIn->configure(parameters);
    _oneShotManager = std::make_unique<OneShotManager>();
  } catch (const std::exception& e) {
    TA_LOG(1, "Failed to initialize plugin: %s", e.what());
    throw;
  }

  _imageUrl = parameters["image"];
  const std::string& mode = parameters["drop-mode"];
  _dropMode = mode == "upload" ? 1 : mode == "callback" ? 2 : 0;
  _dropAllowDirectories = parameters["drop-allow-directories"] == "true";
  _dropAllowMultiple = parameters["drop-allow-multiple"] == "true";

  _scriptClass = TWCreateScriptObjectClass();
  _scriptObject = NPN_CreateObject(npp, _scriptClass);
  if (_scriptObject) reinterpret_cast<TWScriptObject*>(_scriptObject)->plugin = this;

  _transferEventHandler = std::make_unique<TransferEventHandler>(npp, nullptr);
  _plugIn->transfersPoller()->addListener(_transferEventHandler.get());
}

taTarsenWebPlugin::~taTarsenWebPlugin() {
  TA_LOG(5, "~taTarsenWebPlugin() [%p]", static_cast<void*>(this));
  if (_scriptObject) reinterpret_cast<TWScriptObject*>(_scriptObject)->plugin = nullptr;
  try {
    if (_transferEventHandler) {
      if (_plugIn && _plugIn->transfersPoller()) {
        _plugIn->transfersPoller()->removeListener(_transferEventHandler.get());
      }
      _transferEventHandler.reset();
    }
    _imageData.clear();
    _view.reset();
    // The core goes before the queue's runnables are stopped: its threads
    // must be joined before the queue they post to is destroyed.
    _plugIn.reset();
    TW_UnregisterInstance(_npp, this);
    if (_oneShotManager) {
      RunnableScheduler::stopRunnables(_oneShotManager.get());
      _oneShotManager.reset();
    }
  } catch (const std::exception& e) {
    TA_LOG(1, "Plugin cleanup error: %s", e.what());
  }
  // The page objects held for the properties, and the instance's own
  // reference to its script object, are given back so nothing outlives the
  // page; the object itself goes when the browser lets go of it.
  NPN_ReleaseObject(_dropObserver);
  NPN_ReleaseObject(_eventHandler);
  NPN_ReleaseObject(_scriptObject);
  TWReleaseScriptObjectClass(_scriptClass);
  TA_LOG(5, "~taTarsenWebPlugin() - done");
}

void taTarsenWebPlugin::destroy(taTarsenWebPlugin* plugin) {
  if (!plugin) return;
  if (plugin->_scriptCalls == 0) {
    delete plugin;
    return;
  }
  TA_LOG(5, "taTarsenWebPlugin::destroy() - deferred until the script call returns");
  plugin->_destroyed = true;
  // From now on the page reaches nothing of it: no methods, no events.
  if (plugin->_scriptObject) reinterpret_cast<TWScriptObject*>(plugin->_scriptObject)->plugin = nullptr;
  if (plugin->_transferEventHandler) plugin->_transferEventHandler->setFunction(nullptr);
}

taTarsenWebPlugin::ScriptCall::~ScriptCall() {
  if (--_plugin->_scriptCalls == 0 && _plugin->_destroyed) delete _plugin;
}

NPObject* taTarsenWebPlugin::objectForWebScript() { return NPN_RetainObject(_scriptObject); }

bool taTarsenWebPlugin::setWindow(NPWindow* window, NPP npp) {
  if (!window) return true;
  if (_view) return _view->resize(window);
  _view = std::make_unique<taTarsenWebView>();
  _view->init(window, npp, _dropMode != 0, _dropAllowDirectories, _dropAllowMultiple);
  _view->setDelegate(this);
  if (!_imageUrl.empty() &&
      NPN_GetURLNotify(npp, _imageUrl.c_str(), nullptr, nullptr) != NPERR_NO_ERROR) {
    TA_LOG(3, "WARNING: Unable to load image from URL: %s", _imageUrl.c_str());
  }
  return true;
}

int16_t taTarsenWebPlugin::handleEvent(void* event) {
  return _view && _eventsEnabled ? _view->handleEvent(event) : 0;
}

NPError taTarsenWebPlugin::createStream(NPStream* stream) {
  TA_LOG(5, "taTarsenWebPlugin::createStream()");
  TA_LOG(5, "  URL: %s", stream && stream->url ? stream->url : "");
  return NPERR_NO_ERROR;
}

namespace {
bool isImageStream(const NPStream* stream, const std::string& imageUrl) {
  return stream && stream->url && imageUrl == stream->url;
}
}  // namespace

int32_t taTarsenWebPlugin::receiveOnStream(NPStream* stream, int32_t offset, int32_t len,
                                           void* buffer) {
  if (!isImageStream(stream, _imageUrl) || offset < 0 || len < 0) return -1;
  const size_t end = static_cast<size_t>(offset) + static_cast<size_t>(len);
  try {
    _imageData.resize(end);
  } catch (const std::bad_alloc&) {
    return -1;
  }
  if (len) std::memcpy(_imageData.data() + offset, buffer, static_cast<size_t>(len));
  return len;
}

NPError taTarsenWebPlugin::destroyStream(NPStream* stream, NPReason) {
  TA_LOG(5, "taTarsenWebPlugin::destroyStream()");
  if (!isImageStream(stream, _imageUrl)) return NPERR_NO_ERROR;
  if (_view) _view->setImage(_imageData.data(), static_cast<unsigned int>(_imageData.size()));
  std::vector<char>().swap(_imageData);
  return NPERR_NO_ERROR;
}

void taTarsenWebPlugin::streamAsFile(NPStream*, const char* fileName) {
  TA_LOG(3, "%s", fileName ? fileName : "");
}

void taTarsenWebPlugin::urlNotify(const char* url) { TA_LOG(3, "%s", url ? url : ""); }

void* taTarsenWebPlugin::getBrowserWindow() {
  void* window = nullptr;
  NPN_GetValue(_npp, NPNVnetscapeWindow, &window);
  return window;
}

// --- drops -----------------------------------------------------------------

std::string taTarsenWebPlugin::pageHostname() const { return _plugIn->pageHostname(); }

void taTarsenWebPlugin::doDrop(const std::vector<std::string>& paths) {
  TA_LOG(5, "taTarsenWebPlugin::doDrop()");
  PlugIn::addToApprovedFileList(paths, _plugIn->pageHostname());
  if (_dropMode == 2) {
    NPIdentifier onDrop = NPN_GetStringIdentifier("onDrop");
    if (_dropObserver && NPN_HasMethod(_npp, _dropObserver, onDrop)) {
      NPVariant arg;
      TW_CharPtrToNPStringVariant(PathEscaper::toColonSeparatedStr(paths).c_str(), &arg);
      NPVariant result;
      VOID_TO_NPVARIANT(result);
      if (NPN_Invoke(_npp, _dropObserver, onDrop, &arg, 1, &result)) {
        NPN_ReleaseVariantValue(&result);
      }
      NPN_ReleaseVariantValue(&arg);
      if (_destroyed) return;  // the observer destroyed its own plug-in
    }
    EventHandler::handleEvent(_npp, _eventHandler, kEventDrop, PathEscaper::toJsonStr(paths));
  } else if (_dropMode == 1) {
    _plugIn->uploadDroppedFiles(paths);
  }
}

void taTarsenWebPlugin::doDropex(const std::string& json) {
  TA_LOG(5, "taTarsenWebPlugin::doDropex()");
  if (_dropMode == 2 && !_destroyed) {
    EventHandler::handleEvent(_npp, _eventHandler, kEventDropex, json);
  }
}

void taTarsenWebPlugin::doDragOver() {
  TA_LOG(5, "taTarsenWebPlugin::doDragOver()");
  if (_dropMode == 2) EventHandler::handleEvent(_npp, _eventHandler, kEventDragOver, "");
}

void taTarsenWebPlugin::doDragLeave() {
  TA_LOG(5, "taTarsenWebPlugin::doDragLeave()");
  if (_dropMode == 2) EventHandler::handleEvent(_npp, _eventHandler, kEventDragLeave, "");
}

// --- properties ---------------------------------------------------------------

bool taTarsenWebPlugin::getName(NPVariant* result) {
  setString(result, _plugIn->name());
  return true;
}

bool taTarsenWebPlugin::setName(const NPVariant* value) {
  if (!NPVARIANT_IS_STRING(*value)) return false;
  _plugIn->setName(stringArgument(*value));
  return true;
}

namespace {
bool getObject(NPObject* held, NPVariant* result) {
  if (held) {
    OBJECT_TO_NPVARIANT(NPN_RetainObject(held), *result);
  } else {
    NULL_TO_NPVARIANT(*result);
  }
  return true;
}

// Releases what is held, then holds the new object (if the value is one).
void replaceObject(NPObject*& held, const NPVariant* value, const char* removed,
                   const char* set) {
  if (held) {
    NPN_ReleaseObject(held);
    held = nullptr;
    TA_LOG(3, "%s", removed);
  }
  if (NPVARIANT_IS_OBJECT(*value)) {
    held = NPN_RetainObject(NPVARIANT_TO_OBJECT(*value));
    TA_LOG(3, "%s", set);
  }
}
}  // namespace

bool taTarsenWebPlugin::getDropObserver(NPVariant* result) { return getObject(_dropObserver, result); }

bool taTarsenWebPlugin::setDropObserver(const NPVariant* value) {
  replaceObject(_dropObserver, value, "Drop observer removed", "Drop observer set");
  return true;
}

bool taTarsenWebPlugin::getEventHandler(NPVariant* result) { return getObject(_eventHandler, result); }

bool taTarsenWebPlugin::setEventHandler(const NPVariant* value) {
  replaceObject(_eventHandler, value, "Event handler removed", "Event handler set");
  if (_transferEventHandler) _transferEventHandler->setFunction(_eventHandler);
  return true;
}

// --- script methods -----------------------------------------------------------

#define TW_LOG_ENTRY(name) TA_LOG(5, name "(): argCount=%u", static_cast<unsigned>(argCount))

bool taTarsenWebPlugin::queryBrowserEngine(const NPVariant*, uint32_t argCount, NPVariant* result) {
  TW_LOG_ENTRY("queryBrowserEngine");
  if (argCount != 0) return false;
  setString(result, _plugIn->queryBrowserEngine(PlugInHostApiGecko));
  return true;
}

bool taTarsenWebPlugin::queryBuildVersion(const NPVariant*, uint32_t argCount, NPVariant* result) {
  TW_LOG_ENTRY("queryBuildVersion");
  if (argCount != 0) return false;
  setString(result, _plugIn->queryBuildVersion());
  return true;
}

bool taTarsenWebPlugin::queryPluginVersion(const NPVariant*, uint32_t argCount,
                                           NPVariant* result) {
  TW_LOG_ENTRY("queryPluginVersion");
  if (argCount != 0) return false;
  setString(result, _plugIn->queryPluginVersion());
  return true;
}

bool taTarsenWebPlugin::queryVersion(const NPVariant*, uint32_t argCount, NPVariant* result) {
  TW_LOG_ENTRY("queryVersion");
  if (argCount != 0) return false;
  setString(result, _plugIn->queryVersion());
  return true;
}

bool taTarsenWebPlugin::initSession(const NPVariant* args, uint32_t argCount, NPVariant* result) {
  TW_LOG_ENTRY("initSession");
  if (!argumentsFit(args, argCount, "SS", 2, kAnyMore)) return false;
  std::string answer;
  try {
    answer = _plugIn->initSession(stringArgument(args[0]), stringArgument(args[1]));
  } catch (const std::exception& e) {
    answer = Json::createErrorAndLog(e, kErrorSessionInit);
  }
  setString(result, answer);
  return true;
}

bool taTarsenWebPlugin::harluneHttpRequest(const NPVariant* args, uint32_t argCount,
                                           NPVariant* result) {
  TW_LOG_ENTRY("harluneHttpRequest");
  if (!argumentsFit(args, argCount, "SSS", 3, kAnyMore)) return false;
  std::unique_ptr<HttpResponse> response;
  const std::string error = _plugIn->harluneHttpRequest(
      stringArgument(args[0]), stringArgument(args[1]), stringArgument(args[2]), &response);
  setString(result, error.empty() ? response->data() : error);
  return true;
}

bool taTarsenWebPlugin::harluneHttpRequestAsync(const NPVariant* args, uint32_t argCount,
                                                NPVariant* result) {
  TW_LOG_ENTRY("harluneHttpRequestAsync");
  if (!argumentsFit(args, argCount, "SSSO", 4, kAnyMore)) return false;
  auto* callback = new RequestCallback(_npp, NPVARIANT_TO_OBJECT(args[3]));
  const std::string error = _plugIn->harluneHttpRequestAsync(
      stringArgument(args[0]), stringArgument(args[1]), stringArgument(args[2]), callback);
  if (error.empty()) {
    NULL_TO_NPVARIANT(*result);
  } else {
    setString(result, error);
  }
  return true;
}

bool taTarsenWebPlugin::httpRequestImplementation(const NPVariant* args, uint32_t argCount,
                                                  NPVariant* result) {
  TW_LOG_ENTRY("httpRequestImplementation");
  if (!argumentsFit(args, argCount, "SSSO", 4, kAnyMore)) return false;
  _plugIn->httpRequestImplementation(stringArgument(args[0]), stringArgument(args[1]),
                                     stringArgument(args[2]),
                                     new RequestCallback(_npp, NPVARIANT_TO_OBJECT(args[3])));
  NULL_TO_NPVARIANT(*result);
  return true;
}

bool taTarsenWebPlugin::queryHarluneVersion(const NPVariant*, uint32_t argCount,
                                            NPVariant* result) {
  TW_LOG_ENTRY("queryHarluneVersion");
  if (argCount != 0) return false;
  setString(result, _plugIn->queryHarluneVersion());
  return true;
}

bool taTarsenWebPlugin::displayAboutWindow(const NPVariant*, uint32_t argCount,
                                           NPVariant* result) {
  TW_LOG_ENTRY("displayAboutWindow");
  if (argCount != 0) return false;
  _plugIn->displayAboutWindow();
  VOID_TO_NPVARIANT(*result);
  return true;
}

bool taTarsenWebPlugin::displayPreferencesWindow(const NPVariant*, uint32_t argCount,
                                                 NPVariant* result) {
  TW_LOG_ENTRY("displayPreferencesWindow");
  if (argCount != 0) return false;
  _plugIn->displayPreferencesWindow();
  VOID_TO_NPVARIANT(*result);
  return true;
}

bool taTarsenWebPlugin::displayTransferManager(const NPVariant*, uint32_t argCount,
                                               NPVariant* result) {
  TW_LOG_ENTRY("displayTransferManager");
  if (argCount != 0) return false;
  _plugIn->displayTransferManager();
  VOID_TO_NPVARIANT(*result);
  return true;
}

bool taTarsenWebPlugin::handleDrop(const NPVariant* args, uint32_t argCount, NPVariant* result) {
  TW_LOG_ENTRY("handleDrop");
  if (argCount > 1 || (argCount == 1 && !NPVARIANT_IS_OBJECT(args[0]))) return false;
  if (!_view) return false;
  _view->handleDrop(argCount == 1 ? &args[0] : nullptr);
  VOID_TO_NPVARIANT(*result);
  return true;
}

bool taTarsenWebPlugin::startDownload(const NPVariant* args, uint32_t argCount, NPVariant* result) {
  TW_LOG_ENTRY("startDownload");
  if (!argumentsFit(args, argCount, "P", 1, 1)) return false;
  _plugIn->startDownload(stringArgument(args[0]));
  VOID_TO_NPVARIANT(*result);
  return true;
}

bool taTarsenWebPlugin::startDownloadToPath(const NPVariant* args, uint32_t argCount,
                                            NPVariant* result) {
  TW_LOG_ENTRY("startDownloadToPath");
  if (!argumentsFit(args, argCount, "PS", 2, 2)) return false;
  _plugIn->startDownloadToPath(stringArgument(args[0]), stringArgument(args[1]));
  VOID_TO_NPVARIANT(*result);
  return true;
}

bool taTarsenWebPlugin::startUploadToURL(const NPVariant* args, uint32_t argCount,
                                         NPVariant* result) {
  TW_LOG_ENTRY("startUploadToURL");
  if (!argumentsFit(args, argCount, "PP", 2, 2)) return false;
  _plugIn->startUploadToURL(stringArgument(args[0]), stringArgument(args[1]));
  VOID_TO_NPVARIANT(*result);
  return true;
}

bool taTarsenWebPlugin::startListDownloadToPath(const NPVariant* args, uint32_t argCount,
                                                NPVariant* result) {
  TW_LOG_ENTRY("startListDownloadToPath");
  if (!argumentsFit(args, argCount, "S", 1, 1)) return false;
  _plugIn->startListDownloadToPath(stringArgument(args[0]));
  VOID_TO_NPVARIANT(*result);
  return true;
}

bool taTarsenWebPlugin::startListUploadToURL(const NPVariant* args, uint32_t argCount,
                                             NPVariant* result) {
  TW_LOG_ENTRY("startListUploadToURL");
  if (!argumentsFit(args, argCount, "P", 1, 1)) return false;
  _plugIn->startListUploadToURL(stringArgument(args[0]));
  VOID_TO_NPVARIANT(*result);
  return true;
}

bool taTarsenWebPlugin::addToDownloadList(const NPVariant* args, uint32_t argCount,
                                          NPVariant* result) {
  TW_LOG_ENTRY("addToDownloadList");
  if (!argumentsFit(args, argCount, "P", 1, 1)) return false;
  _plugIn->addToDownloadList(stringArgument(args[0]));
  VOID_TO_NPVARIANT(*result);
  return true;
}

bool taTarsenWebPlugin::addToUploadList(const NPVariant* args, uint32_t argCount,
                                        NPVariant* result) {
  TW_LOG_ENTRY("addToUploadList");
  if (!argumentsFit(args, argCount, "P", 1, 1)) return false;
  _plugIn->addToUploadList(stringArgument(args[0]));
  VOID_TO_NPVARIANT(*result);
  return true;
}

bool taTarsenWebPlugin::clearDownloadList(const NPVariant*, uint32_t argCount, NPVariant* result) {
  TW_LOG_ENTRY("clearDownloadList");
  if (argCount != 0) return false;
  _plugIn->clearDownloadList();
  VOID_TO_NPVARIANT(*result);
  return true;
}

bool taTarsenWebPlugin::clearUploadList(const NPVariant*, uint32_t argCount, NPVariant* result) {
  TW_LOG_ENTRY("clearUploadList");
  if (argCount != 0) return false;
  _plugIn->clearUploadList();
  VOID_TO_NPVARIANT(*result);
  return true;
}

namespace {
// An offset or size from script as the unsigned 32 bits the core receives: an
// int32's bits as they are, a double truncated toward zero to 64 bits first.
uint32_t unsigned32(const NPVariant& value) {
  if (NPVARIANT_IS_INT32(value)) return static_cast<uint32_t>(NPVARIANT_TO_INT32(value));
  const double d = std::trunc(NPVARIANT_TO_DOUBLE(value));
  // Values a 64-bit integer cannot hold (and NaN) have no low bits to keep.
  if (!(d > -9.2e18 && d < 9.2e18)) return 0;
  return static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(d)));
}
}  // namespace

bool taTarsenWebPlugin::readAsArrayBuffer(const NPVariant* args, uint32_t argCount,
                                          NPVariant* result) {
  if (argCount != 1 || !NPVARIANT_IS_STRING(args[0])) {
    TA_LOG(1, "readAsArrayBuffer() - invalid arguments");
    return false;
  }
  const std::string path = stringArgument(args[0]);
  if (path.empty()) return false;
  setDataUrl(result, [&](const PlugIn::TextAllocator& allocate) {
    return _plugIn->readFileAsArrayBuffer(path, allocate);
  });
  return true;
}

bool taTarsenWebPlugin::readChunkAsArrayBuffer(const NPVariant* args, uint32_t argCount,
                                               NPVariant* result) {
  if (argCount != 3 || !NPVARIANT_IS_STRING(args[0])) {
    TA_LOG(1, "readChunkAsArrayBuffer() - invalid arguments");
    return false;
  }
  // An empty path fails silently, before the numbers are looked at.
  const std::string path = stringArgument(args[0]);
  if (path.empty()) return false;
  if (!npvariantIsNumber(args[1])) {
    TA_LOG(1, "readChunkAsArrayBuffer() - offset value invalid");
    return false;
  }
  if (!npvariantIsNumber(args[2])) {
    TA_LOG(1, "readChunkAsArrayBuffer() - chunk size invalid");
    return false;
  }
  const uint64_t offset = unsigned32(args[1]), chunkSize = unsigned32(args[2]);
  setDataUrl(result, [&](const PlugIn::TextAllocator& allocate) {
    return _plugIn->readFileChunkAsArrayBuffer(path, offset, chunkSize, allocate);
  });
  return true;
}

}  // namespace Web
}  // namespace Harlune
