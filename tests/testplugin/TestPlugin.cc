// A plug-in that drives the host through the browser functions: variants,
// page objects, exceptions, calls from a thread. Streams, events and drawing
// are the product plug-in's pages' (view-shot.html) and Browser_test's.
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <npapi/npfunctions.h>

#define EXPORT extern "C" __attribute__((visibility("default")))

namespace {

NPNetscapeFuncs browser;

// An instance is also its scriptable object; npp is null once it is
// destroyed while the page still holds the object.
struct Instance : NPObject {
  NPP npp = nullptr;
  NPVariant kept{};  // a string or a retained page object, once set
  std::vector<std::thread> workers;
};

void setString(NPVariant* out, const std::string& text) {
  auto* chars = static_cast<char*>(browser.memalloc(static_cast<uint32_t>(text.size() + 1)));
  std::memcpy(chars, text.c_str(), text.size() + 1);
  STRINGN_TO_NPVARIANT(chars, text.size(), *out);
}

// The text of a string; the plug-in reads nothing else as text.
std::string toText(const NPVariant& v) {
  if (!NPVARIANT_IS_STRING(v)) return "";
  return std::string(v.value.stringValue.UTF8Characters, v.value.stringValue.UTF8Length);
}

std::string nameOf(NPIdentifier id) {
  if (!browser.identifierisstring(id)) return "";
  NPUTF8* utf8 = browser.utf8fromidentifier(id);
  std::string name = utf8 ? utf8 : "";
  browser.memfree(utf8);
  return name;
}

NPIdentifier keyOf(const NPVariant& v) {
  if (NPVARIANT_IS_INT32(v)) return browser.getintidentifier(NPVARIANT_TO_INT32(v));
  return browser.getstringidentifier(toText(v).c_str());
}

Instance* instanceOf(NPP npp) { return npp ? static_cast<Instance*>(npp->pdata) : nullptr; }

// Plug-in objects with the browser's own allocation and no properties.
NPClass valueClass = {NP_CLASS_STRUCT_VERSION, nullptr, nullptr, nullptr, nullptr, nullptr,
                      nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};

// One call from the page: a method reads its arguments and sets the result;
// false makes the page's call fail.
struct Call {
  Instance& in;
  const NPVariant* args;
  uint32_t count;
  NPVariant* result;
  NPObject* object() const { return NPVARIANT_TO_OBJECT(args[0]); }
};

// A copy the caller owns, as a result must be.
void copyVariant(const NPVariant& from, NPVariant* to) {
  if (NPVARIANT_IS_STRING(from)) setString(to, toText(from));
  else if (NPVARIANT_IS_OBJECT(from))
    OBJECT_TO_NPVARIANT(browser.retainobject(NPVARIANT_TO_OBJECT(from)), *to);
  else *to = from;
}

bool echo(Call& c) {
  if (c.count != 1) return false;
  copyVariant(c.args[0], c.result);
  return true;
}

bool kindOf(Call& c) {
  static const char* kKinds[] = {"void", "null", "bool", "int32", "double", "string", "object"};
  if (c.count != 1) return false;
  setString(c.result, kKinds[c.args[0].type]);
  return true;
}

bool make(Call& c) {
  OBJECT_TO_NPVARIANT(browser.createobject(c.in.npp, &valueClass), *c.result);
  return true;
}

// call(target, null, args...) calls a function, call(target, name, args...) one of its methods.
bool call(Call& c) {
  if (c.count < 2 || !NPVARIANT_IS_OBJECT(c.args[0])) return false;
  if (NPVARIANT_IS_NULL(c.args[1]))
    return browser.invokeDefault(c.in.npp, c.object(), c.args + 2, c.count - 2, c.result);
  return browser.invoke(c.in.npp, c.object(), keyOf(c.args[1]), c.args + 2, c.count - 2,
                        c.result);
}

// prop(object, key, op[, value]): a page object's property by a string or
// an integer key; op is "get", "set", "has" or "remove".
bool prop(Call& c) {
  if (c.count < 3 || !NPVARIANT_IS_OBJECT(c.args[0])) return false;
  NPP npp = c.in.npp;
  NPObject* object = c.object();
  NPIdentifier key = keyOf(c.args[1]);
  std::string op = toText(c.args[2]);
  if (op == "get") return browser.getproperty(npp, object, key, c.result);
  if (op == "set" && c.count == 4)
    BOOLEAN_TO_NPVARIANT(browser.setproperty(npp, object, key, &c.args[3]), *c.result);
  else if (op == "remove")
    BOOLEAN_TO_NPVARIANT(browser.removeproperty(npp, object, key), *c.result);
  else if (op == "has")
    setString(c.result, browser.hasmethod(npp, object, key)     ? "method"
                        : browser.hasproperty(npp, object, key) ? "property"
                                                                : "none");
  else return false;
  return true;
}

bool throwError(Call& c) {
  if (c.count != 1) return false;
  browser.setexception(&c.in, toText(c.args[0]).c_str());
  return true;
}

struct Pending {
  NPP npp;
  NPObject* function;
  std::string text;
};

void deliver(void* data) {
  auto* pending = static_cast<Pending*>(data);
  NPVariant arg, result;
  setString(&arg, pending->text);
  if (browser.invokeDefault(pending->npp, pending->function, &arg, 1, &result))
    browser.releasevariantvalue(&result);
  browser.releasevariantvalue(&arg);
  browser.releaseobject(pending->function);
  delete pending;
}

// later(fn, text, count): a worker thread asks for count main-thread calls
// of fn(text + i); each call holds its own reference to fn.
bool later(Call& c) {
  if (c.count != 3 || !NPVARIANT_IS_OBJECT(c.args[0]) || !NPVARIANT_IS_INT32(c.args[2]))
    return false;
  std::vector<Pending*> pendings;
  for (int i = 0; i < NPVARIANT_TO_INT32(c.args[2]); ++i)
    pendings.push_back(new Pending{c.in.npp, browser.retainobject(c.object()),
                                   toText(c.args[1]) + std::to_string(i)});
  c.in.workers.emplace_back([pendings] {
    for (Pending* p : pendings) browser.pluginthreadasynccall(p->npp, deliver, p);
  });
  return true;
}

bool evaluate(Call& c) {
  if (c.count != 1 || !NPVARIANT_IS_STRING(c.args[0])) return false;
  NPObject* window = nullptr;
  if (browser.getvalue(c.in.npp, NPNVWindowNPObject, &window) != NPERR_NO_ERROR) return false;
  NPString script = NPVARIANT_TO_STRING(c.args[0]);
  bool ok = browser.evaluate(c.in.npp, window, &script, c.result);
  browser.releaseobject(window);
  return ok;
}

// Deliberate faults, so that pages can check that the host notices them.
bool leak(Call& c) {
  browser.createobject(c.in.npp, &valueClass);
  return true;
}

bool badFree(Call&) {
  static char notFromTheBrowser[4];
  browser.memfree(notFromTheBrowser);
  return true;
}

using Method = bool (*)(Call&);
const std::pair<const char*, Method> kMethods[] = {
    {"echo", echo}, {"kindOf", kindOf},         {"make", make},   {"call", call},
    {"prop", prop}, {"throwError", throwError}, {"later", later},
    {"evaluate", evaluate}, {"leak", leak}, {"badFree", badFree},
};

Method findMethod(NPIdentifier id) {
  std::string name = nameOf(id);
  for (const auto& entry : kMethods)
    if (name == entry.first) return entry.second;
  return nullptr;
}

// The scriptable object: the methods above and one property, "kept", that
// holds a string or a page object (retained) and refuses anything else.
Instance* instanceOf(NPObject* object) {
  auto* instance = static_cast<Instance*>(object);
  return instance->npp ? instance : nullptr;
}
NPObject* allocate(NPP npp, NPClass*) {
  auto* instance = new Instance();
  instance->npp = npp;
  return instance;
}
void deallocate(NPObject* object) { delete static_cast<Instance*>(object); }
bool hasMethod(NPObject*, NPIdentifier id) { return findMethod(id) != nullptr; }
bool invoke(NPObject* object, NPIdentifier id, const NPVariant* args, uint32_t count,
            NPVariant* result) {
  Instance* instance = instanceOf(object);
  Method method = findMethod(id);
  if (!instance || !method) return false;
  VOID_TO_NPVARIANT(*result);
  Call call{*instance, args, count, result};
  return method(call);
}
bool hasProperty(NPObject*, NPIdentifier id) { return nameOf(id) == "kept"; }
bool getProperty(NPObject* object, NPIdentifier id, NPVariant* result) {
  Instance* instance = instanceOf(object);
  if (!instance || nameOf(id) != "kept") return false;
  copyVariant(instance->kept, result);
  return true;
}
bool setProperty(NPObject* object, NPIdentifier id, const NPVariant* value) {
  Instance* instance = instanceOf(object);
  if (!instance || nameOf(id) != "kept") return false;
  if (!NPVARIANT_IS_STRING(*value) && !NPVARIANT_IS_OBJECT(*value)) return false;
  browser.releasevariantvalue(&instance->kept);
  copyVariant(*value, &instance->kept);
  return true;
}
NPClass scriptableClass = {NP_CLASS_STRUCT_VERSION, allocate, deallocate, nullptr, hasMethod,
                           invoke, nullptr, hasProperty, getProperty, setProperty,
                           nullptr, nullptr, nullptr};

// Core Graphics drawing and Cocoa events, or no start (both models are 1).
NPError negotiate(NPP npp) {
  const std::pair<NPNVariable, NPPVariable> kModels[] = {
      {NPNVsupportsCoreGraphicsBool, NPPVpluginDrawingModel},
      {NPNVsupportsCocoaBool, NPPVpluginEventModel}};
  for (const auto& model : kModels) {
    NPBool supported = false;
    NPError rc = browser.getvalue(npp, model.first, &supported);
    if (rc == NPERR_NO_ERROR && !supported) rc = NPERR_INCOMPATIBLE_VERSION_ERROR;
    if (rc == NPERR_NO_ERROR) rc = browser.setvalue(npp, model.second, reinterpret_cast<void*>(1));
    if (rc != NPERR_NO_ERROR) return rc;
  }
  return NPERR_NO_ERROR;
}

NPError pluginNew(NPMIMEType, NPP npp, uint16_t, int16_t argc, char* argn[], char* argv[],
                  NPSavedData*) {
  NPError rc = negotiate(npp);
  for (int16_t i = 0; i < argc; ++i) {
    if (argn[i] && argv[i] && !std::strcmp(argn[i], "fail-new") && !std::strcmp(argv[i], "yes"))
      rc = NPERR_GENERIC_ERROR;
  }
  if (rc != NPERR_NO_ERROR) return rc;
  npp->pdata = static_cast<Instance*>(browser.createobject(npp, &scriptableClass));
  return NPERR_NO_ERROR;
}

NPError pluginDestroy(NPP npp, NPSavedData**) {
  Instance* instance = instanceOf(npp);
  if (!instance) return NPERR_INVALID_INSTANCE_ERROR;
  for (auto& worker : instance->workers) worker.join();
  browser.releasevariantvalue(&instance->kept);
  instance->npp = nullptr;
  npp->pdata = nullptr;
  browser.releaseobject(instance);
  return NPERR_NO_ERROR;
}

NPError setWindow(NPP, NPWindow*) { return NPERR_NO_ERROR; }
int16_t handleEvent(NPP, void*) { return 0; }

NPError getValue(NPP npp, NPPVariable variable, void* value) {
  if (!instanceOf(npp) || variable != NPPVpluginScriptableNPObject) return NPERR_GENERIC_ERROR;
  *static_cast<NPObject**>(value) = browser.retainobject(instanceOf(npp));
  return NPERR_NO_ERROR;
}

}  // namespace

EXPORT const char* NP_GetMIMEDescription() { return "application/x-tarsen-test;tst;Tarsen Test"; }

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
  funcs->event = handleEvent;
  funcs->getvalue = getValue;
  return NPERR_NO_ERROR;
}

EXPORT NPError NP_Shutdown() { return NPERR_NO_ERROR; }
