// The scriptable object page script sees: its class, method and property
// lookup, and timed dispatch to the instance's adapters.
#pragma once

#include <npapi/npapi.h>
#include <npapi/npruntime.h>

namespace Harlune {
namespace Web {

class taTarsenWebPlugin;

struct TWScriptObject {
  NPObject header;
  taTarsenWebPlugin* plugin;  // null once the instance is gone
};

// A new class for one instance. The instance gives it up with
// TWReleaseScriptObjectClass; it is freed after its last object.
NPClass* TWCreateScriptObjectClass();
void TWReleaseScriptObjectClass(NPClass* aClass);

// The names page script may call, exactly as written.
bool TWIsScriptMethodName(const char* name);
extern const char* const kScriptMethodNames[30];

NPObject* TWScriptObjectAllocate(NPP npp, NPClass* aClass);
void TWScriptObjectDeallocate(NPObject* obj);
void TWScriptObjectInvalidate(NPObject* obj);
bool TWScriptObjectHasMethod(NPObject* obj, NPIdentifier name);
bool TWScriptObjectInvoke(NPObject* obj, NPIdentifier name, const NPVariant* args,
                          uint32_t argCount, NPVariant* result);
bool TWScriptObjectInvokeDefault(NPObject* obj, const NPVariant* args, uint32_t argCount,
                                 NPVariant* result);
bool TWScriptObjectHasProperty(NPObject* obj, NPIdentifier name);
bool TWScriptObjectGetProperty(NPObject* obj, NPIdentifier name, NPVariant* result);
bool TWScriptObjectSetProperty(NPObject* obj, NPIdentifier name, const NPVariant* value);
bool TWScriptObjectRemoveProperty(NPObject* obj, NPIdentifier name);

}  // namespace Web
}  // namespace Harlune
