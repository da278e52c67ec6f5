#include "host/BrowserFuncs.h"

#include <algorithm>
#include <cstring>

#include "host/nptarsenweb.h"

namespace Harlune {
namespace Web {

namespace {
// Written once at load, before any instance exists; only read afterwards.
NPNetscapeFuncs gFuncs;
}  // namespace

void TW_PopulateNetscapeFunctionTable(const NPNetscapeFuncs* browser) {
  std::memset(&gFuncs, 0, sizeof gFuncs);
  if (browser) {
    const size_t size = std::min<size_t>(browser->size, sizeof gFuncs);
    std::memcpy(&gFuncs, browser, size);
  }
  gFuncs.pluginthreadasynccall = &TW_ScheduleAsyncCallback;
}

void TW_ClearNetscapeFunctionTable() { std::memset(&gFuncs, 0, sizeof gFuncs); }

const NPNetscapeFuncs& TW_BrowserFuncs() { return gFuncs; }

}  // namespace Web
}  // namespace Harlune

using Harlune::Web::gFuncs;

NPObject* NPN_CreateObject(NPP npp, NPClass* aClass) {
  return gFuncs.createobject ? gFuncs.createobject(npp, aClass) : nullptr;
}

NPObject* NPN_RetainObject(NPObject* obj) {
  return gFuncs.retainobject && obj ? gFuncs.retainobject(obj) : obj;
}

void NPN_ReleaseObject(NPObject* obj) {
  if (gFuncs.releaseobject && obj) gFuncs.releaseobject(obj);
}

bool NPN_InvokeDefault(NPP npp, NPObject* obj, const NPVariant* args, uint32_t argCount,
                       NPVariant* result) {
  return gFuncs.invokeDefault && gFuncs.invokeDefault(npp, obj, args, argCount, result);
}

bool NPN_GetProperty(NPP npp, NPObject* obj, NPIdentifier name, NPVariant* result) {
  return gFuncs.getproperty && gFuncs.getproperty(npp, obj, name, result);
}

NPError NPN_GetValue(NPP npp, NPNVariable variable, void* value) {
  return gFuncs.getvalue ? gFuncs.getvalue(npp, variable, value) : NPERR_GENERIC_ERROR;
}

NPError NPN_SetValue(NPP npp, NPPVariable variable, void* value) {
  return gFuncs.setvalue ? gFuncs.setvalue(npp, variable, value) : NPERR_GENERIC_ERROR;
}

const char* NPN_UserAgent(NPP npp) {
  const char* agent = gFuncs.uagent ? gFuncs.uagent(npp) : nullptr;
  return agent ? agent : "";
}

void* NPN_MemAlloc(uint32_t size) { return gFuncs.memalloc ? gFuncs.memalloc(size) : nullptr; }

void NPN_MemFree(void* ptr) {
  if (gFuncs.memfree && ptr) gFuncs.memfree(ptr);
}

NPIdentifier NPN_GetStringIdentifier(const NPUTF8* name) {
  return gFuncs.getstringidentifier ? gFuncs.getstringidentifier(name) : nullptr;
}

bool NPN_IdentifierIsString(NPIdentifier identifier) {
  return gFuncs.identifierisstring && gFuncs.identifierisstring(identifier);
}

NPUTF8* NPN_UTF8FromIdentifier(NPIdentifier identifier) {
  return gFuncs.utf8fromidentifier ? gFuncs.utf8fromidentifier(identifier) : nullptr;
}

void NPN_ReleaseVariantValue(NPVariant* variant) {
  if (gFuncs.releasevariantvalue && variant) gFuncs.releasevariantvalue(variant);
}

NPError NPN_GetURLNotify(NPP npp, const char* url, const char* target, void* notifyData) {
  return gFuncs.geturlnotify ? gFuncs.geturlnotify(npp, url, target, notifyData)
                             : NPERR_GENERIC_ERROR;
}

void NPN_PluginThreadAsyncCall(NPP npp, void (*func)(void*), void* userData) {
  gFuncs.pluginthreadasynccall(npp, func, userData);
}

void NPN_InvalidateRect(NPP npp, NPRect* rect) {
  if (gFuncs.invalidaterect) gFuncs.invalidaterect(npp, rect);
}

NPIdentifier NPN_GetIntIdentifier(int32_t intid) {
  return gFuncs.getintidentifier ? gFuncs.getintidentifier(intid) : nullptr;
}

bool NPN_HasMethod(NPP npp, NPObject* obj, NPIdentifier name) {
  return gFuncs.hasmethod && gFuncs.hasmethod(npp, obj, name);
}

bool NPN_Invoke(NPP npp, NPObject* obj, NPIdentifier name, const NPVariant* args,
                uint32_t argCount, NPVariant* result) {
  return gFuncs.invoke && gFuncs.invoke(npp, obj, name, args, argCount, result);
}
