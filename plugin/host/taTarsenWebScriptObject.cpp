#include "host/taTarsenWebScriptObject.h"

#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include <taplatform/taplatform.h>

#include "host/BrowserFuncs.h"
#include "host/taTarsenWebPlugin.h"
#include "host/taUtility.h"
#include "text/Json.h"

namespace Harlune {
namespace Web {

namespace {

struct MethodEntry {
  const char* name;
  taTarsenWebPlugin::Method method;
};

const MethodEntry kMethods[] = {
    {"addToDownloadList", &taTarsenWebPlugin::addToDownloadList},
    {"addToUploadList", &taTarsenWebPlugin::addToUploadList},
    {"clearDownloadList", &taTarsenWebPlugin::clearDownloadList},
    {"clearUploadList", &taTarsenWebPlugin::clearUploadList},
    {"harluneHttpRequest", &taTarsenWebPlugin::harluneHttpRequest},
    {"harluneHttpRequestAsync", &taTarsenWebPlugin::harluneHttpRequestAsync},
    {"displayAboutWindow", &taTarsenWebPlugin::displayAboutWindow},
    {"displayPreferencesWindow", &taTarsenWebPlugin::displayPreferencesWindow},
    {"displayTransferManager", &taTarsenWebPlugin::displayTransferManager},
    {"handleDrop", &taTarsenWebPlugin::handleDrop},
    {"initSession", &taTarsenWebPlugin::initSession},
    {"queryBrowserEngine", &taTarsenWebPlugin::queryBrowserEngine},
    {"queryBuildVersion", &taTarsenWebPlugin::queryBuildVersion},
    {"queryPluginVersion", &taTarsenWebPlugin::queryPluginVersion},
    {"queryVersion", &taTarsenWebPlugin::queryVersion},
    {"queryHarluneVersion", &taTarsenWebPlugin::queryHarluneVersion},
    {"runOpenFileDialog", &taTarsenWebPlugin::runOpenFileDialog},
    {"runOpenFileDialogAsync", &taTarsenWebPlugin::runOpenFileDialogAsync},
    {"runOpenFolderDialog", &taTarsenWebPlugin::runOpenFolderDialog},
    {"runOpenFolderDialogAsync", &taTarsenWebPlugin::runOpenFolderDialogAsync},
    {"runSaveFileDialog", &taTarsenWebPlugin::runSaveFileDialog},
    {"runSaveFileDialogAsync", &taTarsenWebPlugin::runSaveFileDialogAsync},
    {"startDownload", &taTarsenWebPlugin::startDownload},
    {"startDownloadToPath", &taTarsenWebPlugin::startDownloadToPath},
    {"startUploadToURL", &taTarsenWebPlugin::startUploadToURL},
    {"startListDownloadToPath", &taTarsenWebPlugin::startListDownloadToPath},
    {"startListUploadToURL", &taTarsenWebPlugin::startListUploadToURL},
    {"readAsArrayBuffer", &taTarsenWebPlugin::readAsArrayBuffer},
    {"readChunkAsArrayBuffer", &taTarsenWebPlugin::readChunkAsArrayBuffer},
    {"httpRequestImplementation", &taTarsenWebPlugin::httpRequestImplementation},
};
static_assert(sizeof kMethods / sizeof kMethods[0] == 30, "the script object has 30 methods");

struct PropertyEntry {
  const char* name;
  bool (taTarsenWebPlugin::*get)(NPVariant*);
  bool (taTarsenWebPlugin::*set)(const NPVariant*);
};

const PropertyEntry kProperties[] = {
    {"name", &taTarsenWebPlugin::getName, &taTarsenWebPlugin::setName},
    {"dropObserver", &taTarsenWebPlugin::getDropObserver, &taTarsenWebPlugin::setDropObserver},
    {"eventHandler", &taTarsenWebPlugin::getEventHandler, &taTarsenWebPlugin::setEventHandler},
};

// The class record and how many of its objects are alive; freed when the
// instance has given it up and its last object is gone.
struct ScriptClass {
  NPClass npClass;  // first, so an NPClass* is a ScriptClass*
  int liveObjects;
  bool released;
};

void maybeFreeClass(ScriptClass* aClass) {
  if (aClass->released && aClass->liveObjects == 0) delete aClass;
}

// The identifier's text, or "" for an integer identifier.
std::string identifierText(NPIdentifier name) {
  if (!NPN_IdentifierIsString(name)) return "";
  NPUTF8* text = NPN_UTF8FromIdentifier(name);
  std::string result = text ? text : "";
  NPN_MemFree(text);
  return result;
}

const MethodEntry* findMethod(const std::string& name) {
  for (const MethodEntry& entry : kMethods) {
    if (name == entry.name) return &entry;
  }
  return nullptr;
}

const PropertyEntry* findProperty(const std::string& name) {
  for (const PropertyEntry& entry : kProperties) {
    if (name == entry.name) return &entry;
  }
  return nullptr;
}

taTarsenWebPlugin* pluginOf(NPObject* obj) {
  return obj ? reinterpret_cast<TWScriptObject*>(obj)->plugin : nullptr;
}

}  // namespace

const char* const kScriptMethodNames[30] = {
    kMethods[0].name,  kMethods[1].name,  kMethods[2].name,  kMethods[3].name,
    kMethods[4].name,  kMethods[5].name,  kMethods[6].name,  kMethods[7].name,
    kMethods[8].name,  kMethods[9].name,  kMethods[10].name, kMethods[11].name,
    kMethods[12].name, kMethods[13].name, kMethods[14].name, kMethods[15].name,
    kMethods[16].name, kMethods[17].name, kMethods[18].name, kMethods[19].name,
    kMethods[20].name, kMethods[21].name, kMethods[22].name, kMethods[23].name,
    kMethods[24].name, kMethods[25].name, kMethods[26].name, kMethods[27].name,
    kMethods[28].name, kMethods[29].name};

bool TWIsScriptMethodName(const char* name) { return name && findMethod(name) != nullptr; }

NPClass* TWCreateScriptObjectClass() {
  ScriptClass* aClass = new ScriptClass();
  NPClass& c = aClass->npClass;
  c.structVersion = NP_CLASS_STRUCT_VERSION;
  c.allocate = &TWScriptObjectAllocate;
  c.deallocate = &TWScriptObjectDeallocate;
  c.invalidate = &TWScriptObjectInvalidate;
  c.hasMethod = &TWScriptObjectHasMethod;
  c.invoke = &TWScriptObjectInvoke;
  c.invokeDefault = &TWScriptObjectInvokeDefault;
  c.hasProperty = &TWScriptObjectHasProperty;
  c.getProperty = &TWScriptObjectGetProperty;
  c.setProperty = &TWScriptObjectSetProperty;
  c.removeProperty = &TWScriptObjectRemoveProperty;
  c.enumerate = nullptr;
  c.construct = nullptr;
  return &aClass->npClass;
}

void TWReleaseScriptObjectClass(NPClass* npClass) {
  if (!npClass) return;
  ScriptClass* aClass = reinterpret_cast<ScriptClass*>(npClass);
  aClass->released = true;
  maybeFreeClass(aClass);
}

NPObject* TWScriptObjectAllocate(NPP, NPClass* npClass) {
  TWScriptObject* obj = static_cast<TWScriptObject*>(std::calloc(1, sizeof(TWScriptObject)));
  if (obj) ++reinterpret_cast<ScriptClass*>(npClass)->liveObjects;
  return obj ? &obj->header : nullptr;
}

// Freed when the last reference goes; its class after its last object.
void TWScriptObjectDeallocate(NPObject* obj) {
  if (!obj) return;
  ScriptClass* aClass = reinterpret_cast<ScriptClass*>(obj->_class);
  std::free(obj);
  --aClass->liveObjects;
  maybeFreeClass(aClass);
}

void TWScriptObjectInvalidate(NPObject* obj) {
  if (obj) reinterpret_cast<TWScriptObject*>(obj)->plugin = nullptr;
}

bool TWScriptObjectHasMethod(NPObject*, NPIdentifier name) {
  if (!NPN_IdentifierIsString(name)) return false;
  return findMethod(identifierText(name)) != nullptr;
}

bool TWScriptObjectInvoke(NPObject* obj, NPIdentifier name, const NPVariant* args,
                          uint32_t argCount, NPVariant* result) {
  taTarsenWebPlugin* plugin = pluginOf(obj);
  if (!plugin || !NPN_IdentifierIsString(name)) return false;
  const std::string method = identifierText(name);

  ta_timeval_t start;
  const int clockErr = ta_time_gettimeofday(&start, nullptr);
  if (clockErr != 0) TA_LOG(1, "ta_time_gettimeofday error: %i", clockErr);

  bool answer = false;
  if (const MethodEntry* entry = findMethod(method)) {
    // The page may destroy the instance inside the call; it is freed when
    // the call returns, and `plugin` is not used after that.
    taTarsenWebPlugin::ScriptCall call(plugin);
    try {
      answer = (plugin->*entry->method)(args, argCount, result);
    } catch (const std::exception& e) {
      TW_CharPtrToNPStringVariant(Json::createErrorAndLog(e).c_str(), result);
      answer = true;
    }
  }

  if (clockErr == 0) {
    uint64_t usec = 0;
    const int err = ta_time_get_usec_since(&start, &usec);
    if (err != 0) {
      TA_LOG(1, "ta_time_gettimeofday error: %i", err);
    } else {
      // The micro sign is the single Latin-1 byte the log has always carried.
      TA_LOG(5, "TWScriptObjectInvoke - %s took %lu \xB5s", method.c_str(),
             static_cast<unsigned long>(usec));
    }
  }
  return answer;
}

bool TWScriptObjectInvokeDefault(NPObject*, const NPVariant*, uint32_t, NPVariant*) {
  return false;
}

bool TWScriptObjectHasProperty(NPObject*, NPIdentifier name) {
  return NPN_IdentifierIsString(name) && findProperty(identifierText(name)) != nullptr;
}

bool TWScriptObjectGetProperty(NPObject* obj, NPIdentifier name, NPVariant* result) {
  taTarsenWebPlugin* plugin = pluginOf(obj);
  if (!plugin || !NPN_IdentifierIsString(name)) return false;
  const PropertyEntry* entry = findProperty(identifierText(name));
  return entry && (plugin->*entry->get)(result);
}

bool TWScriptObjectSetProperty(NPObject* obj, NPIdentifier name, const NPVariant* value) {
  taTarsenWebPlugin* plugin = pluginOf(obj);
  if (!plugin || !NPN_IdentifierIsString(name)) return false;
  const PropertyEntry* entry = findProperty(identifierText(name));
  return entry && (plugin->*entry->set)(value);
}

bool TWScriptObjectRemoveProperty(NPObject*, NPIdentifier) { return false; }

}  // namespace Web
}  // namespace Harlune
