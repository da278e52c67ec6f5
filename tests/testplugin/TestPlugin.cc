// Entry points and instance life of the test plug-in.
#include "TestPlugin.h"

#include <cairo.h>

#include <cstring>

#include <desktop/Drawing.h>

#define EXPORT extern "C" __attribute__((visibility("default")))

namespace TestPlugin {

NPNetscapeFuncs browser;

void setString(NPVariant* out, const std::string& text) {
  auto* chars = static_cast<char*>(browser.memalloc(static_cast<uint32_t>(text.size() + 1)));
  std::memcpy(chars, text.c_str(), text.size() + 1);
  STRINGN_TO_NPVARIANT(chars, text.size(), *out);
}

std::string toText(const NPVariant& value) {
  switch (value.type) {
    case NPVariantType_Void: return "void";
    case NPVariantType_Null: return "null";
    case NPVariantType_Bool: return value.value.boolValue ? "true" : "false";
    case NPVariantType_Int32: return std::to_string(value.value.intValue);
    case NPVariantType_Double: return std::to_string(value.value.doubleValue);
    case NPVariantType_String:
      return std::string(value.value.stringValue.UTF8Characters,
                         value.value.stringValue.UTF8Length);
    case NPVariantType_Object: return "[object]";
  }
  return "?";
}

namespace {

Instance* instanceOf(NPP npp) { return npp ? static_cast<Instance*>(npp->pdata) : nullptr; }

std::string readHostname(NPP npp) {
  NPObject* window = nullptr;
  if (browser.getvalue(npp, NPNVWindowNPObject, &window) != NPERR_NO_ERROR || !window)
    return "";
  std::string host;
  NPVariant location;
  if (browser.getproperty(npp, window, browser.getstringidentifier("location"), &location)) {
    if (NPVARIANT_IS_OBJECT(location)) {
      NPVariant hostname;
      if (browser.getproperty(npp, NPVARIANT_TO_OBJECT(location),
                              browser.getstringidentifier("hostname"), &hostname)) {
        host = toText(hostname);
        browser.releasevariantvalue(&hostname);
      }
    }
    browser.releasevariantvalue(&location);
  }
  browser.releaseobject(window);
  return host;
}

NPError negotiate(NPP npp) {
  NPBool supported = false;
  NPError rc = browser.getvalue(npp, NPNVsupportsCoreGraphicsBool, &supported);
  if (rc != NPERR_NO_ERROR || !supported) return rc ? rc : NPERR_INCOMPATIBLE_VERSION_ERROR;
  rc = browser.setvalue(npp, NPPVpluginDrawingModel,
                        reinterpret_cast<void*>(static_cast<intptr_t>(NPDrawingModelCoreGraphics)));
  if (rc != NPERR_NO_ERROR) return rc;
  rc = browser.getvalue(npp, NPNVsupportsCocoaBool, &supported);
  if (rc != NPERR_NO_ERROR || !supported) return rc ? rc : NPERR_INCOMPATIBLE_VERSION_ERROR;
  return browser.setvalue(npp, NPPVpluginEventModel,
                          reinterpret_cast<void*>(static_cast<intptr_t>(NPEventModelCocoa)));
}

NPError pluginNew(NPMIMEType, NPP npp, uint16_t, int16_t argc, char* argn[], char* argv[],
                  NPSavedData*) {
  auto* instance = new Instance();
  instance->npp = npp;
  for (int16_t i = 0; i < argc; ++i) {
    if (!argn[i] || !argv[i]) continue;
    if (std::strcmp(argn[i], "fail-new") == 0 && std::strcmp(argv[i], "yes") == 0) {
      delete instance;
      return NPERR_GENERIC_ERROR;
    }
    if (std::strcmp(argn[i], "title") == 0) instance->title = argv[i];
  }
  npp->pdata = instance;
  NPError rc = negotiate(npp);
  if (rc != NPERR_NO_ERROR) return rc;
  instance->hostname = readHostname(npp);
  instance->scriptable = createScriptable(instance);
  return NPERR_NO_ERROR;
}

NPError pluginDestroy(NPP npp, NPSavedData**) {
  Instance* instance = instanceOf(npp);
  if (!instance) return NPERR_INVALID_INSTANCE_ERROR;
  for (auto& worker : instance->workers) worker.join();
  if (instance->scriptable) {
    detachScriptable(instance->scriptable);
    browser.releaseobject(instance->scriptable);
  }
  if (instance->handler) browser.releaseobject(instance->handler);
  if (instance->fetchCallback) browser.releaseobject(instance->fetchCallback);
  delete instance;
  npp->pdata = nullptr;
  return NPERR_NO_ERROR;
}

NPError setWindow(NPP npp, NPWindow*) {
  return instanceOf(npp) ? NPERR_NO_ERROR : NPERR_INVALID_INSTANCE_ERROR;
}

NPError newStream(NPP npp, NPMIMEType, NPStream*, NPBool, uint16_t*) {
  Instance* instance = instanceOf(npp);
  if (!instance) return NPERR_INVALID_INSTANCE_ERROR;
  instance->fetched.clear();
  instance->blocks = 0;
  instance->inOrder = true;
  return NPERR_NO_ERROR;
}

// Small on purpose, so that even short files arrive in several blocks.
int32_t writeReady(NPP, NPStream*) { return 100; }

int32_t write(NPP npp, NPStream*, int32_t offset, int32_t len, void* buffer) {
  Instance* instance = instanceOf(npp);
  if (!instance) return -1;
  if (offset != static_cast<int32_t>(instance->fetched.size())) instance->inOrder = false;
  instance->fetched.append(static_cast<const char*>(buffer), static_cast<std::size_t>(len));
  ++instance->blocks;
  return len;
}

NPError destroyStream(NPP, NPStream*, NPReason) { return NPERR_NO_ERROR; }

void urlNotify(NPP npp, const char*, NPReason reason, void*) {
  Instance* instance = instanceOf(npp);
  if (!instance || !instance->fetchCallback) return;
  NPObject* callback = instance->fetchCallback;
  instance->fetchCallback = nullptr;
  NPVariant args[4];
  setString(&args[0], reason == NPRES_DONE ? "done" : "failed");
  setString(&args[1], instance->fetched);
  INT32_TO_NPVARIANT(instance->blocks, args[2]);
  BOOLEAN_TO_NPVARIANT(instance->inOrder, args[3]);
  NPVariant result;
  browser.invokeDefault(npp, callback, args, 4, &result);
  browser.releasevariantvalue(&result);
  for (auto& a : args) browser.releasevariantvalue(&a);
  browser.releaseobject(callback);
}

// A recognisable picture: a blue field, a red cross corner to corner, the
// title in the middle, and a black frame once the area has been clicked.
void draw(Instance& instance, const NPCocoaEvent& event) {
  auto* cr = static_cast<cairo_t*>(event.data.draw.context);
  Desktop::Rect area{0, 0, event.data.draw.width, event.data.draw.height};
  Desktop::fillRect(cr, area, Desktop::Color{0.2, 0.4, 0.9, 1});
  cairo_set_source_rgb(cr, 0.9, 0.1, 0.1);
  cairo_set_line_width(cr, 6);
  cairo_move_to(cr, 0, 0);
  cairo_line_to(cr, area.width, area.height);
  cairo_move_to(cr, area.width, 0);
  cairo_line_to(cr, 0, area.height);
  cairo_stroke(cr);
  Desktop::Rect text{0, area.height / 2 - 8, area.width, 20};
  Desktop::drawTextCentered(cr, instance.title, text, Desktop::Color::white());
  if (instance.framed) Desktop::strokeRect(cr, area, Desktop::Color::black(), 5.0);
}

int16_t handleEvent(NPP npp, void* raw) {
  Instance* instance = instanceOf(npp);
  if (!instance || !raw) return 0;
  const auto& event = *static_cast<NPCocoaEvent*>(raw);
  ++instance->events;
  switch (event.type) {
    case NPCocoaEventDrawRect:
      ++instance->draws;
      instance->lastEvent = "draw";
      draw(*instance, event);
      return 1;
    case NPCocoaEventMouseDown:
    case NPCocoaEventMouseUp:
      instance->lastEvent = event.type == NPCocoaEventMouseDown ? "mousedown" : "mouseup";
      instance->framed = true;
      browser.invalidaterect(npp, nullptr);
      return 1;
    case NPCocoaEventFocusChanged:
      instance->lastEvent = event.data.focus.hasFocus ? "focus" : "blur";
      instance->framed = event.data.focus.hasFocus;
      return 1;
    case NPCocoaEventScrollWheel:
      instance->lastEvent = "scroll";
      return 1;
    default:
      return 0;
  }
}

NPError getValue(NPP npp, NPPVariable variable, void* value) {
  Instance* instance = instanceOf(npp);
  if (!instance) return NPERR_INVALID_INSTANCE_ERROR;
  if (variable != NPPVpluginScriptableNPObject) return NPERR_GENERIC_ERROR;
  *static_cast<NPObject**>(value) = browser.retainobject(instance->scriptable);
  return NPERR_NO_ERROR;
}

NPError setValue(NPP, NPNVariable, void*) { return NPERR_GENERIC_ERROR; }

}  // namespace
}  // namespace TestPlugin

using namespace TestPlugin;

EXPORT const char* NP_GetMIMEDescription() {
  return "application/x-tarsen-test;tst;Tarsen Test";
}

EXPORT NPError NP_Initialize(NPNetscapeFuncs* funcs) {
  if (!funcs || funcs->size < sizeof(NPNetscapeFuncs)) return NPERR_INVALID_FUNCTABLE_ERROR;
  std::memcpy(&browser, funcs, sizeof browser);
  return NPERR_NO_ERROR;
}

EXPORT NPError NP_GetEntryPoints(NPPluginFuncs* funcs) {
  if (!funcs || funcs->size < sizeof(NPPluginFuncs)) return NPERR_INVALID_FUNCTABLE_ERROR;
  funcs->version = NP_VERSION_MINOR;
  funcs->newp = pluginNew;
  funcs->destroy = pluginDestroy;
  funcs->setwindow = setWindow;
  funcs->newstream = newStream;
  funcs->destroystream = destroyStream;
  funcs->writeready = writeReady;
  funcs->write = write;
  funcs->event = handleEvent;
  funcs->urlnotify = urlNotify;
  funcs->getvalue = getValue;
  funcs->setvalue = setValue;
  return NPERR_NO_ERROR;
}

EXPORT NPError NP_Shutdown() { return NPERR_NO_ERROR; }
