#include "host/nptarsenweb.h"

#include <cstddef>
#include <exception>
#include <map>
#include <mutex>
#include <string>

#include <taplatform/taplatform.h>

#include "common/Policy.h"
#include "common/Utils.h"
#include "core/PlugIn.h"
#include "host/BrowserFuncs.h"
#include "host/taTarsenWebPlugin.h"
#include "host/taUtility.h"
#include "work/OneShotManager.h"
#include "work/RunnableScheduler.h"

using namespace Harlune::Web;

namespace {
taTarsenWebPlugin* instanceOf(NPP npp) {
  return npp ? static_cast<taTarsenWebPlugin*>(npp->pdata) : nullptr;
}

std::mutex gLiveMutex;
// An object, not a heap pointer: nothing of the plug-in may outlive its unload.
std::map<NPP, taTarsenWebPlugin*>& liveInstances() {
  static std::map<NPP, taTarsenWebPlugin*> table;
  return table;
}
}  // namespace

const char* NP_GetMIMEDescription(void) {
  TA_LOG(5, "NP_GetMIMEDescription()");
  return kMimeDescription;
}

NPError NP_Initialize(NPNetscapeFuncs* browserFuncs) {
  ta_time_init();
  try {
    Utils::logInit();
  } catch (...) {
    // The plug-in runs without a log.
  }
  TA_LOG(3, "\n\nInitializing Tarsen Web Gecko plugin\n");
  Policy::load();
  TA_LOG(5, "TW_PopulateNetscapeFunctionTable()");
  TW_PopulateNetscapeFunctionTable(browserFuncs);
  RunnableScheduler::init();
  return NPERR_NO_ERROR;
}

NPError NP_GetEntryPoints(NPPluginFuncs* pluginFuncs) {
  TA_LOG(5, "NP_GetEntryPoints()");
  return TW_PopulatePluginFunctionTable(pluginFuncs);
}

NPError NP_Shutdown(void) {
  TA_LOG(3, "Shutting down Tarsen Web Gecko plugin");
  RunnableScheduler::cleanup();
  Utils::logCleanup();
  return NPERR_NO_ERROR;
}

void TW_ForgetApprovals(const char* pageHost) {
  if (pageHost) PlugIn::forgetApprovals(pageHost);
}

namespace Harlune {
namespace Web {

NPError TW_PopulatePluginFunctionTable(NPPluginFuncs* funcs) {
  TA_LOG(5, "TW_PopulatePluginFunctionTable()");
  if (!funcs) {
    TA_LOG(1, "TW_PopulatePluginFunctionTable() - Null argument");
    return NPERR_INVALID_FUNCTABLE_ERROR;
  }
  const size_t declared = funcs->size;
  if (declared < sizeof(NPPluginFuncs)) {
    TA_LOG(1, "TW_PopulatePluginFunctionTable() - Bad NPPluginFuncs size=%d (expected=%d)",
           static_cast<int>(declared), static_cast<int>(sizeof(NPPluginFuncs)));
  }
  // Nothing is written past the size the host declares.
  auto fits = [declared](size_t offset, size_t size) { return offset + size <= declared; };
#define TW_SET(field, value)                                                   \
  if (fits(offsetof(NPPluginFuncs, field), sizeof(funcs->field))) funcs->field = value
  TW_SET(version, (NP_VERSION_MAJOR << 8) | NP_VERSION_MINOR);
  TW_SET(newp, &NPP_New);
  TW_SET(destroy, &NPP_Destroy);
  TW_SET(setwindow, &NPP_SetWindow);
  TW_SET(newstream, &NPP_NewStream);
  TW_SET(destroystream, &NPP_DestroyStream);
  TW_SET(asfile, &NPP_StreamAsFile);
  TW_SET(writeready, &NPP_WriteReady);
  TW_SET(write, &NPP_Write);
  TW_SET(print, &NPP_Print);
  TW_SET(event, &NPP_HandleEvent);
  TW_SET(urlnotify, &NPP_URLNotify);
  TW_SET(javaClass, nullptr);
  TW_SET(getvalue, &NPP_GetValue);
  TW_SET(setvalue, &NPP_SetValue);
#undef TW_SET
  return NPERR_NO_ERROR;
}

void TW_ScheduleAsyncCallback(NPP instance, void (*function)(void*), void* argument) {
  {
    std::lock_guard<std::mutex> lock(gLiveMutex);
    auto it = liveInstances().find(instance);
    taTarsenWebPlugin* plugin = it == liveInstances().end() ? nullptr : it->second;
    TA_LOG(5, "TW_ScheduleAsyncCallback() [%p] - plugin=%p", static_cast<void*>(instance),
           static_cast<void*>(plugin));
    if (plugin && plugin->oneShotManager()) {
      plugin->oneShotManager()->scheduleAsyncCallback(function, argument);
      return;
    }
  }
  OneShotManager::discardOnMainThread(function, argument);
}

void TW_RegisterInstance(NPP instance, taTarsenWebPlugin* plugin) {
  std::lock_guard<std::mutex> lock(gLiveMutex);
  liveInstances()[instance] = plugin;
}

void TW_UnregisterInstance(NPP instance, const taTarsenWebPlugin* plugin) {
  std::lock_guard<std::mutex> lock(gLiveMutex);
  auto it = liveInstances().find(instance);
  if (it != liveInstances().end() && it->second == plugin) liveInstances().erase(it);
}

NPError NPP_New(NPMIMEType, NPP instance, uint16_t, int16_t argc, char* argn[], char* argv[],
                NPSavedData*) {
  TA_LOG(5, "NPP_New() [%p]", static_cast<void*>(instance));
  TA_LOG(5, "Plugin parameters:");
  if (!instance) return NPERR_INVALID_INSTANCE_ERROR;
  std::map<std::string, std::string> parameters;
  for (int16_t i = 0; i < argc; ++i) {
    if (!argn || !argv || !argn[i] || !argv[i]) continue;
    TA_LOG(4, "  %s = %s", argn[i], argv[i]);
    parameters[argn[i]] = argv[i];
  }
  taTarsenWebPlugin* plugin = nullptr;
  try {
    plugin = new taTarsenWebPlugin(instance, parameters);
  } catch (const std::exception& e) {
    TA_LOG(1, "%s", e.what());
    return NPERR_GENERIC_ERROR;
  }
  instance->pdata = plugin;
  TW_RegisterInstance(instance, plugin);
  const NPError err = TW_CocoaEventsSupportedCheck(instance);
  if (err != NPERR_NO_ERROR) return err;
  TA_LOG(5, "NPP_New() - done");
  return NPERR_NO_ERROR;
}

NPError NPP_Destroy(NPP instance, NPSavedData**) {
  TA_LOG(5, "NPP_Destroy() [%p]", static_cast<void*>(instance));
  if (!instance) {
    TA_LOG(1, "NPP_Destroy() - Null instance");
    return NPERR_INVALID_INSTANCE_ERROR;
  }
  if (taTarsenWebPlugin* plugin = instanceOf(instance)) {
    instance->pdata = nullptr;
    taTarsenWebPlugin::destroy(plugin);
  }
  TA_LOG(5, "NPP_Destroy() - done");
  return NPERR_NO_ERROR;
}

NPError NPP_SetWindow(NPP instance, NPWindow* window) {
  TA_LOG(5, "NPP_SetWindow()");
  taTarsenWebPlugin* plugin = instanceOf(instance);
  if (!plugin) return NPERR_INVALID_INSTANCE_ERROR;
  plugin->setWindow(window, instance);
  return NPERR_NO_ERROR;
}

NPError NPP_NewStream(NPP instance, NPMIMEType, NPStream* stream, NPBool, uint16_t*) {
  TA_LOG(5, "NPP_NewStream()");
  taTarsenWebPlugin* plugin = instanceOf(instance);
  if (!plugin) return NPERR_INVALID_INSTANCE_ERROR;
  return plugin->createStream(stream);
}

NPError NPP_DestroyStream(NPP instance, NPStream* stream, NPReason reason) {
  TA_LOG(5, "NPP_DestroyStream()");
  taTarsenWebPlugin* plugin = instanceOf(instance);
  if (!plugin) return NPERR_INVALID_INSTANCE_ERROR;
  plugin->destroyStream(stream, reason);
  return NPERR_NO_ERROR;
}

void NPP_StreamAsFile(NPP instance, NPStream* stream, const char* fname) {
  TA_LOG(5, "NPP_StreamAsFile()");
  if (taTarsenWebPlugin* plugin = instanceOf(instance)) plugin->streamAsFile(stream, fname);
}

int32_t NPP_WriteReady(NPP instance, NPStream*) {
  TA_LOG(5, "NPP_WriteReady()");
  if (!instanceOf(instance)) return NPERR_INVALID_INSTANCE_ERROR;
  return 0x0FFFFFFF;
}

int32_t NPP_Write(NPP instance, NPStream* stream, int32_t offset, int32_t len, void* buffer) {
  TA_LOG(5, "NPP_Write()");
  taTarsenWebPlugin* plugin = instanceOf(instance);
  if (!plugin) return NPERR_INVALID_INSTANCE_ERROR;
  return plugin->receiveOnStream(stream, offset, len, buffer);
}

void NPP_Print(NPP instance, NPPrint*) {
  TA_LOG(5, "NPP_Print()");
  (void)instance;
}

int16_t NPP_HandleEvent(NPP instance, void* event) {
  TA_LOG(5, "NPP_HandleEvent()");
  taTarsenWebPlugin* plugin = instanceOf(instance);
  if (!plugin) return NPERR_INVALID_INSTANCE_ERROR;
  if (!event) return 0;
  return plugin->handleEvent(event);
}

void NPP_URLNotify(NPP instance, const char*, NPReason, void*) {
  TA_LOG(5, "NPP_URLNotify()");
  (void)instance;
}

NPError NPP_GetValue(NPP instance, NPPVariable variable, void* value) {
  TA_LOG(5, "NPP_GetValue()");
  taTarsenWebPlugin* plugin = instanceOf(instance);
  if (!plugin) return NPERR_INVALID_INSTANCE_ERROR;
  if (variable == NPPVpluginScriptableNPObject && value) {
    *static_cast<NPObject**>(value) = plugin->objectForWebScript();
  }
  return NPERR_NO_ERROR;
}

NPError NPP_SetValue(NPP instance, NPNVariable, void*) {
  TA_LOG(5, "NPP_SetValue()");
  if (!instanceOf(instance)) return NPERR_INVALID_INSTANCE_ERROR;
  return NPERR_NO_ERROR;
}

}  // namespace Web
}  // namespace Harlune
