#include "BrowserFuncs.h"

#include <atomic>

#include <cstring>

#include <desktop/RunLoop.h>

#include "Diagnostics.h"
#include "Identifiers.h"
#include "Memory.h"
#include "Objects.h"

namespace Browser {

namespace {

Host* g_host = nullptr;

void misuse(const std::string& what) {
  if (g_host) g_host->diagnostics().fail(Diagnostics::Kind::Misuse, what);
}

void unimplemented(const char* name) {
  if (g_host) g_host->diagnostics().note(std::string(name) + " is not implemented");
}

// Object calls: refused (false) for objects that are not alive and for
// classes that lack the entry, as a browser does.
NPClass* usableClass(NPObject* obj, const char* call) {
  if (!obj) return nullptr;
  if (!Objects::shared().isAlive(obj)) {
    misuse(std::string(call) + " on an object that is not alive");
    return nullptr;
  }
  return obj->_class;
}

void clearResult(NPVariant* result) {
  if (result) VOID_TO_NPVARIANT(*result);
}

NPError geturl(NPP npp, const char* url, const char* target) {
  return g_host ? g_host->getURL(npp, url, target, false, nullptr) : NPERR_GENERIC_ERROR;
}
NPError posturl(NPP, const char*, const char*, uint32_t, const char*, NPBool) {
  unimplemented("NPN_PostURL");
  return NPERR_GENERIC_ERROR;
}
NPError requestread(NPStream*, NPByteRange*) {
  unimplemented("NPN_RequestRead");
  return NPERR_STREAM_NOT_SEEKABLE;
}
NPError newstream(NPP, NPMIMEType, const char*, NPStream**) {
  unimplemented("NPN_NewStream");
  return NPERR_GENERIC_ERROR;
}
int32_t write(NPP, NPStream*, int32_t, void*) {
  unimplemented("NPN_Write");
  return -1;
}
NPError destroystream(NPP, NPStream*, NPReason) {
  unimplemented("NPN_DestroyStream");
  return NPERR_GENERIC_ERROR;
}
void status(NPP, const char*) {}
const char* uagent(NPP) { return g_host ? g_host->userAgent() : ""; }
std::atomic<uint32_t> g_memoryLimit{0};
void* memalloc(uint32_t size) {
  const uint32_t limit = g_memoryLimit.load();
  return limit && size > limit ? nullptr : Memory::shared().alloc(size);
}
void memfree(void* block) {
  if (block && !Memory::shared().free(block))
    misuse("NPN_MemFree of a block that NPN_MemAlloc did not give (or freed twice)");
}
uint32_t memflush(uint32_t) { return 0; }
void reloadplugins(NPBool) { unimplemented("NPN_ReloadPlugins"); }
void* getJavaEnv() { return nullptr; }
void* getJavaPeer(NPP) { return nullptr; }
NPError geturlnotify(NPP npp, const char* url, const char* target, void* notifyData) {
  return g_host ? g_host->getURL(npp, url, target, true, notifyData) : NPERR_GENERIC_ERROR;
}
NPError posturlnotify(NPP, const char*, const char*, uint32_t, const char*, NPBool, void*) {
  unimplemented("NPN_PostURLNotify");
  return NPERR_GENERIC_ERROR;
}

NPError getvalue(NPP npp, NPNVariable variable, void* value) {
  if (!g_host || !value) return NPERR_INVALID_PARAM;
  if (npp && !g_host->isInstanceAlive(npp)) return NPERR_INVALID_INSTANCE_ERROR;
  switch (variable) {
    case NPNVWindowNPObject: {
      NPObject* window = g_host->windowObject();
      if (!window) return NPERR_GENERIC_ERROR;
      *static_cast<NPObject**>(value) = window;
      return NPERR_NO_ERROR;
    }
    case NPNVnetscapeWindow:
      *static_cast<void**>(value) = g_host->nativeWindow();
      return NPERR_NO_ERROR;
    case NPNVsupportsCoreGraphicsBool:
      *static_cast<NPBool*>(value) = g_host->supportsCoreGraphics();
      return NPERR_NO_ERROR;
    case NPNVsupportsCocoaBool:
      *static_cast<NPBool*>(value) = g_host->supportsCocoaEvents();
      return NPERR_NO_ERROR;
    case NPNVjavascriptEnabledBool:
      *static_cast<NPBool*>(value) = true;
      return NPERR_NO_ERROR;
    case NPNVprivateModeBool:
    case NPNVisOfflineBool:
    case NPNVsupportsQuickDrawBool:
    case NPNVsupportsCarbonBool:
    case NPNVsupportsOpenGLBool:
    case NPNVsupportsCoreAnimationBool:
    case NPNVsupportsInvalidatingCoreAnimationBool:
      *static_cast<NPBool*>(value) = false;
      return NPERR_NO_ERROR;
    default:
      return NPERR_GENERIC_ERROR;
  }
}

NPError setvalue(NPP npp, NPPVariable variable, void* value) {
  if (!g_host) return NPERR_GENERIC_ERROR;
  if (!npp || !g_host->isInstanceAlive(npp)) return NPERR_INVALID_INSTANCE_ERROR;
  // The value of the model requests is the number itself, passed as a pointer.
  const auto number = reinterpret_cast<intptr_t>(value);
  switch (variable) {
    case NPPVpluginDrawingModel:
      return number == NPDrawingModelCoreGraphics && g_host->supportsCoreGraphics()
                 ? NPERR_NO_ERROR
                 : NPERR_GENERIC_ERROR;
    case NPPVpluginEventModel:
      return number == NPEventModelCocoa && g_host->supportsCocoaEvents()
                 ? NPERR_NO_ERROR
                 : NPERR_GENERIC_ERROR;
    case NPPVpluginWindowBool:
    case NPPVpluginTransparentBool:
      return NPERR_NO_ERROR;
    default:
      return NPERR_GENERIC_ERROR;
  }
}

void invalidaterect(NPP npp, NPRect* rect) {
  if (g_host && npp && g_host->isInstanceAlive(npp)) g_host->invalidate(npp, rect);
}
void invalidateregion(NPP npp, NPRegion) { invalidaterect(npp, nullptr); }
void forceredraw(NPP npp) { invalidaterect(npp, nullptr); }

NPIdentifier getstringidentifier(const NPUTF8* name) {
  if (!name) {
    misuse("NPN_GetStringIdentifier with a null name");
    return nullptr;
  }
  return Identifiers::shared().forString(name);
}
void getstringidentifiers(const NPUTF8** names, int32_t count, NPIdentifier* ids) {
  if (!names || !ids) return;
  for (int32_t i = 0; i < count; ++i) ids[i] = getstringidentifier(names[i]);
}
NPIdentifier getintidentifier(int32_t value) { return Identifiers::shared().forInt(value); }
bool identifierisstring(NPIdentifier id) {
  if (!Identifiers::shared().isKnown(id)) {
    misuse("NPN_IdentifierIsString on an unknown identifier");
    return false;
  }
  return Identifiers::shared().isString(id);
}
NPUTF8* utf8fromidentifier(NPIdentifier id) {
  std::string name;
  if (!Identifiers::shared().stringOf(id, name)) {
    // Browsers answer null for integer identifiers; asking is a plug-in fault.
    misuse("NPN_UTF8FromIdentifier on an identifier that is not a string");
    return nullptr;
  }
  auto* copy = static_cast<NPUTF8*>(Memory::shared().alloc(name.size() + 1));
  if (copy) std::memcpy(copy, name.c_str(), name.size() + 1);
  return copy;
}
int32_t intfromidentifier(NPIdentifier id) {
  int32_t value = 0;
  if (!Identifiers::shared().intOf(id, value))
    misuse("NPN_IntFromIdentifier on an identifier that is not an integer");
  return value;
}

NPObject* createobject(NPP, NPClass* cls);
NPObject* retainobject(NPObject* obj) { return Objects::shared().retain(obj); }
void releaseobject(NPObject* obj) { Objects::shared().release(obj); }

bool invoke(NPP, NPObject* obj, NPIdentifier name, const NPVariant* args, uint32_t n,
            NPVariant* result) {
  clearResult(result);
  NPClass* cls = usableClass(obj, "NPN_Invoke");
  return cls && cls->invoke && cls->invoke(obj, name, args, n, result);
}
bool invokeDefault(NPP, NPObject* obj, const NPVariant* args, uint32_t n, NPVariant* result) {
  clearResult(result);
  NPClass* cls = usableClass(obj, "NPN_InvokeDefault");
  return cls && cls->invokeDefault && cls->invokeDefault(obj, args, n, result);
}
bool evaluate(NPP npp, NPObject* obj, NPString* script, NPVariant* result) {
  clearResult(result);
  if (!g_host || !script) return false;
  return g_host->evaluate(npp, obj,
                          std::string(script->UTF8Characters, script->UTF8Length), result);
}
bool getproperty(NPP, NPObject* obj, NPIdentifier name, NPVariant* result) {
  clearResult(result);
  NPClass* cls = usableClass(obj, "NPN_GetProperty");
  return cls && cls->getProperty && cls->getProperty(obj, name, result);
}
bool setproperty(NPP, NPObject* obj, NPIdentifier name, const NPVariant* value) {
  NPClass* cls = usableClass(obj, "NPN_SetProperty");
  return cls && cls->setProperty && cls->setProperty(obj, name, value);
}
bool removeproperty(NPP, NPObject* obj, NPIdentifier name) {
  NPClass* cls = usableClass(obj, "NPN_RemoveProperty");
  return cls && cls->removeProperty && cls->removeProperty(obj, name);
}
bool hasproperty(NPP, NPObject* obj, NPIdentifier name) {
  NPClass* cls = usableClass(obj, "NPN_HasProperty");
  return cls && cls->hasProperty && cls->hasProperty(obj, name);
}
bool hasmethod(NPP, NPObject* obj, NPIdentifier name) {
  NPClass* cls = usableClass(obj, "NPN_HasMethod");
  return cls && cls->hasMethod && cls->hasMethod(obj, name);
}

void releasevariantvalue(NPVariant* v) {
  if (!v) return;
  if (v->type == NPVariantType_String) {
    auto* chars = const_cast<NPUTF8*>(v->value.stringValue.UTF8Characters);
    if (chars && !Memory::shared().free(chars))
      misuse("NPN_ReleaseVariantValue on a string that NPN_MemAlloc did not give");
  } else if (v->type == NPVariantType_Object) {
    Objects::shared().release(v->value.objectValue);
  }
  VOID_TO_NPVARIANT(*v);
}

void setexception(NPObject*, const NPUTF8* message) {
  if (g_host) g_host->setException(message ? message : "");
}
void pushpopupsenabledstate(NPP, NPBool) {}
void poppopupsenabledstate(NPP) {}
bool enumerate(NPP, NPObject* obj, NPIdentifier** ids, uint32_t* count) {
  NPClass* cls = usableClass(obj, "NPN_Enumerate");
  return cls && cls->structVersion >= NP_CLASS_STRUCT_VERSION_ENUM && cls->enumerate &&
         cls->enumerate(obj, ids, count);
}

void pluginthreadasynccall(NPP npp, NPAsyncCallback func, void* data) {
  if (!func) return;
  // Any thread. The call is dropped when its instance is gone by then.
  Desktop::RunLoop::main().performOnMainThread([npp, func, data] {
    if (!npp || (g_host && g_host->isInstanceAlive(npp))) func(data);
  });
}

bool construct(NPP, NPObject* obj, const NPVariant* args, uint32_t n, NPVariant* result) {
  clearResult(result);
  NPClass* cls = usableClass(obj, "NPN_Construct");
  return cls && cls->structVersion >= NP_CLASS_STRUCT_VERSION_CTOR && cls->construct &&
         cls->construct(obj, args, n, result);
}
NPError getvalueforurl(NPP, NPNURLVariable, const char*, char**, uint32_t*) {
  unimplemented("NPN_GetValueForURL");
  return NPERR_GENERIC_ERROR;
}
NPError setvalueforurl(NPP, NPNURLVariable, const char*, const char*, uint32_t) {
  unimplemented("NPN_SetValueForURL");
  return NPERR_GENERIC_ERROR;
}
NPError getauthenticationinfo(NPP, const char*, const char*, int32_t, const char*,
                              const char*, char**, uint32_t*, char**, uint32_t*) {
  unimplemented("NPN_GetAuthenticationInfo");
  return NPERR_GENERIC_ERROR;
}
uint32_t scheduletimer(NPP, uint32_t, NPBool, NPTimerCallback) {
  unimplemented("NPN_ScheduleTimer");
  return 0;
}
void unscheduletimer(NPP, uint32_t) { unimplemented("NPN_UnscheduleTimer"); }
NPError popupcontextmenu(NPP, NPMenu*) {
  unimplemented("NPN_PopUpContextMenu");
  return NPERR_GENERIC_ERROR;
}
NPBool convertpoint(NPP, double, double, NPCoordinateSpace, double*, double*,
                    NPCoordinateSpace) {
  unimplemented("NPN_ConvertPoint");
  return false;
}
NPBool handleevent(NPP, void*, NPBool) {
  unimplemented("NPN_HandleEvent");
  return false;
}
NPBool unfocusinstance(NPP, NPFocusDirection) {
  unimplemented("NPN_UnfocusInstance");
  return false;
}
void urlredirectresponse(NPP, void*, NPBool) { unimplemented("NPN_URLRedirectResponse"); }
NPError initasyncsurface(NPP, NPSize*, NPImageFormat, void*, NPAsyncSurface*) {
  unimplemented("NPN_InitAsyncSurface");
  return NPERR_GENERIC_ERROR;
}
NPError finalizeasyncsurface(NPP, NPAsyncSurface*) {
  unimplemented("NPN_FinalizeAsyncSurface");
  return NPERR_GENERIC_ERROR;
}
void setcurrentasyncsurface(NPP, NPAsyncSurface*, NPRect*) {
  unimplemented("NPN_SetCurrentAsyncSurface");
}

NPObject* createobject(NPP npp, NPClass* cls) { return Objects::shared().create(npp, cls); }

NPNetscapeFuncs makeTable() {
  NPNetscapeFuncs f;
  std::memset(&f, 0, sizeof f);
  f.size = sizeof f;
  f.version = (NP_VERSION_MAJOR << 8) | NP_VERSION_MINOR;
  f.geturl = geturl;
  f.posturl = posturl;
  f.requestread = requestread;
  f.newstream = newstream;
  f.write = write;
  f.destroystream = destroystream;
  f.status = status;
  f.uagent = uagent;
  f.memalloc = memalloc;
  f.memfree = memfree;
  f.memflush = memflush;
  f.reloadplugins = reloadplugins;
  f.getJavaEnv = getJavaEnv;
  f.getJavaPeer = getJavaPeer;
  f.geturlnotify = geturlnotify;
  f.posturlnotify = posturlnotify;
  f.getvalue = getvalue;
  f.setvalue = setvalue;
  f.invalidaterect = invalidaterect;
  f.invalidateregion = invalidateregion;
  f.forceredraw = forceredraw;
  f.getstringidentifier = getstringidentifier;
  f.getstringidentifiers = getstringidentifiers;
  f.getintidentifier = getintidentifier;
  f.identifierisstring = identifierisstring;
  f.utf8fromidentifier = utf8fromidentifier;
  f.intfromidentifier = intfromidentifier;
  f.createobject = createobject;
  f.retainobject = retainobject;
  f.releaseobject = releaseobject;
  f.invoke = invoke;
  f.invokeDefault = invokeDefault;
  f.evaluate = evaluate;
  f.getproperty = getproperty;
  f.setproperty = setproperty;
  f.removeproperty = removeproperty;
  f.hasproperty = hasproperty;
  f.hasmethod = hasmethod;
  f.releasevariantvalue = releasevariantvalue;
  f.setexception = setexception;
  f.pushpopupsenabledstate = pushpopupsenabledstate;
  f.poppopupsenabledstate = poppopupsenabledstate;
  f.enumerate = enumerate;
  f.pluginthreadasynccall = pluginthreadasynccall;
  f.construct = construct;
  f.getvalueforurl = getvalueforurl;
  f.setvalueforurl = setvalueforurl;
  f.getauthenticationinfo = getauthenticationinfo;
  f.scheduletimer = scheduletimer;
  f.unscheduletimer = unscheduletimer;
  f.popupcontextmenu = popupcontextmenu;
  f.convertpoint = convertpoint;
  f.handleevent = handleevent;
  f.unfocusinstance = unfocusinstance;
  f.urlredirectresponse = urlredirectresponse;
  f.initasyncsurface = initasyncsurface;
  f.finalizeasyncsurface = finalizeasyncsurface;
  f.setcurrentasyncsurface = setcurrentasyncsurface;
  return f;
}

}  // namespace

void setHost(Host* host) {
  g_host = host;
  if (host)
    Objects::shared().setMisuseSink([](const std::string& what) { misuse(what); });
  else
    Objects::shared().setMisuseSink(nullptr);
}

const NPNetscapeFuncs& browserFuncs() {
  static const NPNetscapeFuncs table = makeTable();
  return table;
}

void stringToVariant(const std::string& text, NPVariant& out) {
  auto* chars = static_cast<NPUTF8*>(Memory::shared().alloc(text.size() + 1));
  std::memcpy(chars, text.data(), text.size());
  chars[text.size()] = '\0';
  STRINGN_TO_NPVARIANT(chars, text.size(), out);
}

void setPluginMemoryLimit(uint32_t bytes) { g_memoryLimit = bytes; }

}  // namespace Browser
