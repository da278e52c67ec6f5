// One plug-in instance per object element: it owns the core object, the
// main-thread queue, the transfer event handler, the view and the scriptable
// object, and adapts every script method to the core.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include <npapi/npapi.h>
#include <npapi/npruntime.h>

#include "host/taTarsenWebView.h"

namespace Harlune {
namespace Web {

class OneShotManager;
class PlugIn;
class TransferEventHandler;

class taTarsenWebPlugin : public taITarsenWebViewDelegate {
public:
  // Reads its parameters with inserting lookups, so the map handed to the
  // core always holds the keys read before configure().
  taTarsenWebPlugin(NPP npp, std::map<std::string, std::string>& parameters);
  virtual ~taTarsenWebPlugin();
  taTarsenWebPlugin(const taTarsenWebPlugin&) = delete;
  taTarsenWebPlugin& operator=(const taTarsenWebPlugin&) = delete;

  void doDrop(const std::vector<std::string>& paths) override;
  void doDropex(const std::string& json) override;
  void doDragOver() override;
  void doDragLeave() override;
  bool isDestroyed() const override { return _destroyed; }

  // NPP_Destroy: deletes the instance at once, or, when the page destroys it
  // from inside a script call into it (a drop observer, an event handler),
  // marks it destroyed and deletes it when the outermost such call returns,
  // so no frame still running on it touches freed memory.
  static void destroy(taTarsenWebPlugin* plugin);
  // Held by the script object for the length of each method call.
  class ScriptCall {
  public:
    explicit ScriptCall(taTarsenWebPlugin* plugin) : _plugin(plugin) { ++plugin->_scriptCalls; }
    ~ScriptCall();
    ScriptCall(const ScriptCall&) = delete;
    ScriptCall& operator=(const ScriptCall&) = delete;

  private:
    taTarsenWebPlugin* _plugin;
  };
  std::string pageHostname() const override;

  // The browser owns the reference returned.
  NPObject* objectForWebScript();
  bool setWindow(NPWindow* window, NPP npp);
  int16_t handleEvent(void* event);
  NPError createStream(NPStream* stream);
  int32_t receiveOnStream(NPStream* stream, int32_t offset, int32_t len, void* buffer);
  NPError destroyStream(NPStream* stream, NPReason reason);
  void streamAsFile(NPStream* stream, const char* fileName);
  void urlNotify(const char* url);
  void* getBrowserWindow();

  // Script methods: (args, argCount, result) -> false for a script error.
  using Method = bool (taTarsenWebPlugin::*)(const NPVariant*, uint32_t, NPVariant*);
  bool addToDownloadList(const NPVariant* args, uint32_t argCount, NPVariant* result);
  bool addToUploadList(const NPVariant* args, uint32_t argCount, NPVariant* result);
  bool clearDownloadList(const NPVariant* args, uint32_t argCount, NPVariant* result);
  bool clearUploadList(const NPVariant* args, uint32_t argCount, NPVariant* result);
  bool harluneHttpRequest(const NPVariant* args, uint32_t argCount, NPVariant* result);
  bool harluneHttpRequestAsync(const NPVariant* args, uint32_t argCount, NPVariant* result);
  bool displayAboutWindow(const NPVariant* args, uint32_t argCount, NPVariant* result);
  bool displayPreferencesWindow(const NPVariant* args, uint32_t argCount, NPVariant* result);
  bool displayTransferManager(const NPVariant* args, uint32_t argCount, NPVariant* result);
  bool handleDrop(const NPVariant* args, uint32_t argCount, NPVariant* result);
  bool initSession(const NPVariant* args, uint32_t argCount, NPVariant* result);
  bool queryBrowserEngine(const NPVariant* args, uint32_t argCount, NPVariant* result);
  bool queryBuildVersion(const NPVariant* args, uint32_t argCount, NPVariant* result);
  bool queryPluginVersion(const NPVariant* args, uint32_t argCount, NPVariant* result);
  bool queryVersion(const NPVariant* args, uint32_t argCount, NPVariant* result);
  bool queryHarluneVersion(const NPVariant* args, uint32_t argCount, NPVariant* result);
  bool runOpenFileDialog(const NPVariant* args, uint32_t argCount, NPVariant* result);
  bool runOpenFileDialogAsync(const NPVariant* args, uint32_t argCount, NPVariant* result);
  bool runOpenFolderDialog(const NPVariant* args, uint32_t argCount, NPVariant* result);
  bool runOpenFolderDialogAsync(const NPVariant* args, uint32_t argCount, NPVariant* result);
  bool runSaveFileDialog(const NPVariant* args, uint32_t argCount, NPVariant* result);
  bool runSaveFileDialogAsync(const NPVariant* args, uint32_t argCount, NPVariant* result);
  bool startDownload(const NPVariant* args, uint32_t argCount, NPVariant* result);
  bool startDownloadToPath(const NPVariant* args, uint32_t argCount, NPVariant* result);
  bool startUploadToURL(const NPVariant* args, uint32_t argCount, NPVariant* result);
  bool startListDownloadToPath(const NPVariant* args, uint32_t argCount, NPVariant* result);
  bool startListUploadToURL(const NPVariant* args, uint32_t argCount, NPVariant* result);
  bool readAsArrayBuffer(const NPVariant* args, uint32_t argCount, NPVariant* result);
  bool readChunkAsArrayBuffer(const NPVariant* args, uint32_t argCount, NPVariant* result);
  bool httpRequestImplementation(const NPVariant* args, uint32_t argCount, NPVariant* result);

  // Properties: (value) -> false for a script error.
  bool getName(NPVariant* result);
  bool setName(const NPVariant* value);
  bool getDropObserver(NPVariant* result);
  bool setDropObserver(const NPVariant* value);
  bool getEventHandler(NPVariant* result);
  bool setEventHandler(const NPVariant* value);

  NPP npp() const { return _npp; }
  PlugIn* plugIn() const { return _plugIn.get(); }
  OneShotManager* oneShotManager() const { return _oneShotManager.get(); }
  taTarsenWebView* view() const { return _view.get(); }
  const std::string& imageUrl() const { return _imageUrl; }
  uint32_t dropMode() const { return _dropMode; }
  bool dropAllowDirectories() const { return _dropAllowDirectories; }
  bool dropAllowMultiple() const { return _dropAllowMultiple; }
  bool transparent() const { return _transparent; }
  int launchWaitMs() const { return _launchWaitMs; }

  // The launch wait from its parameter text: atoi, where only "0" itself
  // may give zero.
  static int launchWaitFromText(const std::string& text);

private:
  NPP _npp;
  std::unique_ptr<PlugIn> _plugIn;
  std::unique_ptr<OneShotManager> _oneShotManager;
  std::unique_ptr<TransferEventHandler> _transferEventHandler;
  std::string _imageUrl;
  uint32_t _dropMode = 0;
  bool _dropAllowDirectories = false;
  bool _dropAllowMultiple = false;
  std::unique_ptr<taTarsenWebView> _view;
  std::vector<char> _imageData;
  NPClass* _scriptClass = nullptr;
  NPObject* _scriptObject = nullptr;
  // Events reach the view from the moment the instance exists: the view needs
  // them for drawing, focus and mouse state.
  bool _eventsEnabled = true;
  NPObject* _dropObserver = nullptr;
  NPObject* _eventHandler = nullptr;
  bool _transparent = false;
  int _launchWaitMs = 20000;
  int _scriptCalls = 0;     // script method calls in progress (main thread)
  bool _destroyed = false;  // the browser destroyed it during one of them
};

}  // namespace Web
}  // namespace Harlune
