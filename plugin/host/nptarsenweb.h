// The plug-in's entry points: the four exported NP_* functions, the NPP_*
// table, and the main-thread call entry that replaces the browser's.
#pragma once

#include <npapi/npapi.h>
#include <npapi/npfunctions.h>

#define TW_EXPORT extern "C" __attribute__((visibility("default")))

TW_EXPORT const char* NP_GetMIMEDescription(void);
TW_EXPORT NPError NP_Initialize(NPNetscapeFuncs* browserFuncs);
TW_EXPORT NPError NP_GetEntryPoints(NPPluginFuncs* pluginFuncs);
TW_EXPORT NPError NP_Shutdown(void);
// Not NPAPI: a host that serves several pages from one process (the bridge)
// ends the file approvals of a page host whose page is gone. Main thread.
TW_EXPORT void TW_ForgetApprovals(const char* pageHost);

namespace Harlune {
namespace Web {

class taTarsenWebPlugin;

inline constexpr char kMimeDescription[] = "application/x-tarsen-web;;Tarsen Web";

NPError TW_PopulatePluginFunctionTable(NPPluginFuncs* funcs);
// Queues the call on the instance's own main-thread queue. For a handle
// whose instance is gone, the argument goes to its discard on the main thread.
void TW_ScheduleAsyncCallback(NPP instance, void (*function)(void*), void* argument);
// The instances that other threads may post to. Those threads never read a
// handle's pdata, which the main thread clears when the page destroys it; an
// instance leaves this list only once its threads are joined.
void TW_RegisterInstance(NPP instance, taTarsenWebPlugin* plugin);
void TW_UnregisterInstance(NPP instance, const taTarsenWebPlugin* plugin);

NPError NPP_New(NPMIMEType pluginType, NPP instance, uint16_t mode, int16_t argc, char* argn[],
                char* argv[], NPSavedData* saved);
NPError NPP_Destroy(NPP instance, NPSavedData** save);
NPError NPP_SetWindow(NPP instance, NPWindow* window);
NPError NPP_NewStream(NPP instance, NPMIMEType type, NPStream* stream, NPBool seekable,
                      uint16_t* stype);
NPError NPP_DestroyStream(NPP instance, NPStream* stream, NPReason reason);
void NPP_StreamAsFile(NPP instance, NPStream* stream, const char* fname);
int32_t NPP_WriteReady(NPP instance, NPStream* stream);
int32_t NPP_Write(NPP instance, NPStream* stream, int32_t offset, int32_t len, void* buffer);
void NPP_Print(NPP instance, NPPrint* platformPrint);
int16_t NPP_HandleEvent(NPP instance, void* event);
void NPP_URLNotify(NPP instance, const char* url, NPReason reason, void* notifyData);
NPError NPP_GetValue(NPP instance, NPPVariable variable, void* value);
NPError NPP_SetValue(NPP instance, NPNVariable variable, void* value);

}  // namespace Web
}  // namespace Harlune
