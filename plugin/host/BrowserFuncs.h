// The browser's function table as the plug-in keeps it, and the NPN_* calls
// that go through it. An entry the browser did not provide answers as a
// failure instead of crashing.
#pragma once

#include <npapi/npapi.h>
#include <npapi/npfunctions.h>
#include <npapi/npruntime.h>

namespace Harlune {
namespace Web {

// Copies the browser's table (never more than it declares) and reroutes its
// main-thread call entry to the plug-in's own queue.
void TW_PopulateNetscapeFunctionTable(const NPNetscapeFuncs* browser);
void TW_ClearNetscapeFunctionTable();
const NPNetscapeFuncs& TW_BrowserFuncs();

}  // namespace Web
}  // namespace Harlune

NPObject* NPN_CreateObject(NPP npp, NPClass* aClass);
NPObject* NPN_RetainObject(NPObject* obj);
void NPN_ReleaseObject(NPObject* obj);
bool NPN_InvokeDefault(NPP npp, NPObject* obj, const NPVariant* args, uint32_t argCount,
                       NPVariant* result);
bool NPN_GetProperty(NPP npp, NPObject* obj, NPIdentifier name, NPVariant* result);
NPError NPN_GetValue(NPP npp, NPNVariable variable, void* value);
NPError NPN_SetValue(NPP npp, NPPVariable variable, void* value);
const char* NPN_UserAgent(NPP npp);
void* NPN_MemAlloc(uint32_t size);
void NPN_MemFree(void* ptr);
NPIdentifier NPN_GetStringIdentifier(const NPUTF8* name);
NPIdentifier NPN_GetIntIdentifier(int32_t intid);
bool NPN_HasMethod(NPP npp, NPObject* obj, NPIdentifier name);
bool NPN_Invoke(NPP npp, NPObject* obj, NPIdentifier name, const NPVariant* args,
                uint32_t argCount, NPVariant* result);
bool NPN_IdentifierIsString(NPIdentifier identifier);
NPUTF8* NPN_UTF8FromIdentifier(NPIdentifier identifier);
void NPN_ReleaseVariantValue(NPVariant* variant);
NPError NPN_GetURLNotify(NPP npp, const char* url, const char* target, void* notifyData);
void NPN_PluginThreadAsyncCall(NPP npp, void (*func)(void*), void* userData);
void NPN_InvalidateRect(NPP npp, NPRect* rect);
