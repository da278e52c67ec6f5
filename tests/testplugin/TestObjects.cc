// The scriptable object of the test plug-in: one table of methods with one
// handler signature, and three properties.
#include <cstring>
#include <string>

#include <desktop/Panel.h>
#include <desktop/Pasteboard.h>
#include <desktop/Window.h>

#include "TestPlugin.h"

namespace TestPlugin {

namespace {

struct Scriptable {
  NPObject header;
  Instance* instance;
};

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

// A copy the caller owns, as a result must be.
void copyVariant(const NPVariant& from, NPVariant* to) {
  if (NPVARIANT_IS_STRING(from))
    setString(to, toText(from));
  else if (NPVARIANT_IS_OBJECT(from))
    OBJECT_TO_NPVARIANT(browser.retainobject(NPVARIANT_TO_OBJECT(from)), *to);
  else
    *to = from;
}

bool isObject(const NPVariant* args, uint32_t count, uint32_t i) {
  return i < count && NPVARIANT_IS_OBJECT(args[i]);
}

using Method = bool (*)(Instance&, const NPVariant*, uint32_t, NPVariant*);

bool echo(Instance&, const NPVariant* args, uint32_t count, NPVariant* result) {
  if (count != 1) return false;
  copyVariant(args[0], result);
  return true;
}

bool kindOf(Instance&, const NPVariant* args, uint32_t count, NPVariant* result) {
  static const char* kKinds[] = {"void", "null", "bool", "int32", "double", "string", "object"};
  if (count != 1) return false;
  setString(result, kKinds[args[0].type]);
  return true;
}

bool make(Instance& instance, const NPVariant* args, uint32_t count, NPVariant* result) {
  if (count != 1 || !NPVARIANT_IS_STRING(args[0])) return false;
  std::string kind = toText(args[0]);
  if (kind == "void") VOID_TO_NPVARIANT(*result);
  else if (kind == "null") NULL_TO_NPVARIANT(*result);
  else if (kind == "bool") BOOLEAN_TO_NPVARIANT(true, *result);
  else if (kind == "int32") INT32_TO_NPVARIANT(-42, *result);
  else if (kind == "double") DOUBLE_TO_NPVARIANT(2.5, *result);
  else if (kind == "string") setString(result, "caf\xC3\xA9");
  else if (kind == "object") OBJECT_TO_NPVARIANT(createValueObject(instance.npp), *result);
  else return false;
  return true;
}

bool call(Instance& instance, const NPVariant* args, uint32_t count, NPVariant* result) {
  if (!isObject(args, count, 0)) return false;
  return browser.invokeDefault(instance.npp, NPVARIANT_TO_OBJECT(args[0]), args + 1, count - 1,
                               result);
}

bool callMethod(Instance& instance, const NPVariant* args, uint32_t count, NPVariant* result) {
  if (!isObject(args, count, 0) || count < 2) return false;
  return browser.invoke(instance.npp, NPVARIANT_TO_OBJECT(args[0]), keyOf(args[1]), args + 2,
                        count - 2, result);
}

bool get(Instance& instance, const NPVariant* args, uint32_t count, NPVariant* result) {
  if (!isObject(args, count, 0) || count != 2) return false;
  return browser.getproperty(instance.npp, NPVARIANT_TO_OBJECT(args[0]), keyOf(args[1]), result);
}

bool set(Instance& instance, const NPVariant* args, uint32_t count, NPVariant* result) {
  if (!isObject(args, count, 0) || count != 3) return false;
  BOOLEAN_TO_NPVARIANT(browser.setproperty(instance.npp, NPVARIANT_TO_OBJECT(args[0]),
                                           keyOf(args[1]), &args[2]),
                       *result);
  return true;
}

bool has(Instance& instance, const NPVariant* args, uint32_t count, NPVariant* result) {
  if (!isObject(args, count, 0) || count != 2) return false;
  NPObject* object = NPVARIANT_TO_OBJECT(args[0]);
  NPIdentifier key = keyOf(args[1]);
  std::string answer = browser.hasmethod(instance.npp, object, key)     ? "method"
                       : browser.hasproperty(instance.npp, object, key) ? "property"
                                                                        : "none";
  setString(result, answer);
  return true;
}

bool remove(Instance& instance, const NPVariant* args, uint32_t count, NPVariant* result) {
  if (!isObject(args, count, 0) || count != 2) return false;
  BOOLEAN_TO_NPVARIANT(
      browser.removeproperty(instance.npp, NPVARIANT_TO_OBJECT(args[0]), keyOf(args[1])),
      *result);
  return true;
}

// Reads an array the way a plug-in must: "length", then integer identifiers.
bool join(Instance& instance, const NPVariant* args, uint32_t count, NPVariant* result) {
  if (!isObject(args, count, 0) || count != 1) return false;
  NPObject* array = NPVARIANT_TO_OBJECT(args[0]);
  NPVariant length;
  if (!browser.getproperty(instance.npp, array, browser.getstringidentifier("length"), &length))
    return false;
  int n = NPVARIANT_IS_INT32(length)    ? NPVARIANT_TO_INT32(length)
          : NPVARIANT_IS_DOUBLE(length) ? static_cast<int>(NPVARIANT_TO_DOUBLE(length))
                                        : 0;
  browser.releasevariantvalue(&length);
  std::string text;
  for (int i = 0; i < n; ++i) {
    NPVariant item;
    if (!browser.getproperty(instance.npp, array, browser.getintidentifier(i), &item))
      return false;
    text += (i ? "," : "") + toText(item);
    browser.releasevariantvalue(&item);
  }
  setString(result, text);
  return true;
}

bool throwError(Instance& instance, const NPVariant* args, uint32_t count, NPVariant*) {
  if (count != 1) return false;
  browser.setexception(instance.scriptable, toText(args[0]).c_str());
  return true;
}

bool refuse(Instance&, const NPVariant*, uint32_t, NPVariant*) { return false; }

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
bool later(Instance& instance, const NPVariant* args, uint32_t count, NPVariant* result) {
  if (!isObject(args, count, 0) || count != 3 || !NPVARIANT_IS_INT32(args[2])) return false;
  std::vector<Pending*> pendings;
  for (int i = 0; i < NPVARIANT_TO_INT32(args[2]); ++i)
    pendings.push_back(new Pending{instance.npp,
                                   browser.retainobject(NPVARIANT_TO_OBJECT(args[0])),
                                   toText(args[1]) + std::to_string(i)});
  instance.workers.emplace_back([pendings] {
    for (Pending* p : pendings) browser.pluginthreadasynccall(p->npp, deliver, p);
  });
  NULL_TO_NPVARIANT(*result);
  return true;
}

bool fetch(Instance& instance, const NPVariant* args, uint32_t count, NPVariant* result) {
  if (count != 2 || !NPVARIANT_IS_STRING(args[0]) || !NPVARIANT_IS_OBJECT(args[1])) return false;
  if (instance.fetchCallback) return false;
  instance.fetched.clear();
  instance.blocks = 0;
  instance.inOrder = true;
  NPError rc = browser.geturlnotify(instance.npp, toText(args[0]).c_str(), nullptr, nullptr);
  if (rc == NPERR_NO_ERROR)
    instance.fetchCallback = browser.retainobject(NPVARIANT_TO_OBJECT(args[1]));
  INT32_TO_NPVARIANT(rc, *result);
  return true;
}

bool invalidate(Instance& instance, const NPVariant*, uint32_t count, NPVariant* result) {
  if (count != 0) return false;
  NPRect rect{1, 2, 30, 40};
  browser.invalidaterect(instance.npp, &rect);
  VOID_TO_NPVARIANT(*result);
  return true;
}

bool state(Instance& instance, const NPVariant*, uint32_t, NPVariant* result) {
  setString(result, "draws=" + std::to_string(instance.draws) + " last=" + instance.lastEvent +
                        " framed=" + (instance.framed ? "yes" : "no"));
  return true;
}

bool hostname(Instance& instance, const NPVariant*, uint32_t, NPVariant* result) {
  setString(result, instance.hostname);
  return true;
}

bool evaluate(Instance& instance, const NPVariant* args, uint32_t count, NPVariant* result) {
  if (count != 1 || !NPVARIANT_IS_STRING(args[0])) return false;
  NPObject* window = nullptr;
  if (browser.getvalue(instance.npp, NPNVWindowNPObject, &window) != NPERR_NO_ERROR) return false;
  NPString script = NPVARIANT_TO_STRING(args[0]);
  bool ok = browser.evaluate(instance.npp, window, &script, result);
  browser.releaseobject(window);
  return ok;
}

bool pasteboard(Instance&, const NPVariant*, uint32_t, NPVariant* result) {
  std::string text;
  for (const auto& path : Desktop::Pasteboard::drag().fileNames())
    text += (text.empty() ? "" : ":") + path;
  setString(result, text);
  return true;
}

// openPanel(title, multiple): runs an open panel; the chosen paths joined by
// ":", or "cancelled" / "closed".
bool openPanel(Instance&, const NPVariant* args, uint32_t count, NPVariant* result) {
  if (count != 2) return false;
  Desktop::OpenPanel panel;
  panel.setTitle(toText(args[0]));
  panel.setAllowsMultipleSelection(NPVARIANT_IS_BOOLEAN(args[1]) && NPVARIANT_TO_BOOLEAN(args[1]));
  panel.setAllowedFileTypes({"txt", "TXT"});
  int code = panel.runModal();
  std::string text = code == Desktop::kModalResponseOK ? "" : code == 0 ? "cancelled" : "closed";
  for (const auto& path : panel.filenames()) text += (text.empty() ? "" : ":") + path;
  setString(result, text);
  return true;
}

bool alert(Instance& instance, const NPVariant* args, uint32_t count, NPVariant* result) {
  if (count != 1) return false;
  void* window = nullptr;
  browser.getvalue(instance.npp, NPNVnetscapeWindow, &window);
  Desktop::Alert sheet;
  sheet.setMessageText(toText(args[0]));
  sheet.addButton("OK");
  sheet.beginSheetModalForWindow(static_cast<Desktop::Window*>(window));
  VOID_TO_NPVARIANT(*result);
  return true;
}

// Deliberate faults, so that pages can check that the host notices them.
bool leak(Instance& instance, const NPVariant*, uint32_t, NPVariant* result) {
  createValueObject(instance.npp);
  VOID_TO_NPVARIANT(*result);
  return true;
}

bool badFree(Instance&, const NPVariant*, uint32_t, NPVariant* result) {
  static char notFromTheBrowser[4];
  browser.memfree(notFromTheBrowser);
  VOID_TO_NPVARIANT(*result);
  return true;
}

bool identifiers(Instance&, const NPVariant*, uint32_t, NPVariant* result) {
  std::string faults;
  NPIdentifier seven = browser.getintidentifier(7);
  if (browser.identifierisstring(seven)) faults += " int-is-string";
  if (browser.intfromidentifier(seven) != 7) faults += " int-value";
  if (browser.getintidentifier(7) != seven) faults += " int-not-interned";
  NPIdentifier x = browser.getstringidentifier("x");
  if (!browser.identifierisstring(x)) faults += " string-not-string";
  if (browser.getstringidentifier("x") != x) faults += " string-not-interned";
  const NPUTF8* names[2] = {"x", "y"};
  NPIdentifier both[2];
  browser.getstringidentifiers(names, 2, both);
  if (both[0] != x || nameOf(both[1]) != "y") faults += " batch";
  setString(result, faults.empty() ? "ok" : faults.substr(1));
  return true;
}

struct Entry {
  const char* name;
  Method method;
};
const Entry kMethods[] = {
    {"echo", echo},         {"kindOf", kindOf},       {"make", make},
    {"call", call},         {"callMethod", callMethod}, {"get", get},
    {"set", set},           {"has", has},             {"remove", remove},
    {"join", join},         {"throwError", throwError}, {"refuse", refuse},
    {"later", later},       {"fetch", fetch},         {"invalidate", invalidate},
    {"state", state},       {"hostname", hostname},   {"evaluate", evaluate},
    {"pasteboard", pasteboard}, {"openPanel", openPanel}, {"alert", alert},
    {"leak", leak},         {"badFree", badFree},     {"identifiers", identifiers},
};

Method findMethod(NPIdentifier id) {
  std::string name = nameOf(id);
  for (const auto& entry : kMethods)
    if (name == entry.name) return entry.method;
  return nullptr;
}

Instance* instanceOf(NPObject* object) { return reinterpret_cast<Scriptable*>(object)->instance; }

NPObject* allocate(NPP, NPClass*) { return static_cast<NPObject*>(calloc(1, sizeof(Scriptable))); }
void deallocate(NPObject* object) { free(object); }
bool hasMethod(NPObject*, NPIdentifier id) { return findMethod(id) != nullptr; }
bool invoke(NPObject* object, NPIdentifier id, const NPVariant* args, uint32_t count,
            NPVariant* result) {
  Instance* instance = instanceOf(object);
  Method method = findMethod(id);
  return instance && method && method(*instance, args, count, result);
}
bool invokeDefault(NPObject*, const NPVariant*, uint32_t, NPVariant*) { return false; }
bool hasProperty(NPObject*, NPIdentifier id) {
  std::string name = nameOf(id);
  return name == "name" || name == "handler" || name == "counter";
}
bool getProperty(NPObject* object, NPIdentifier id, NPVariant* result) {
  Instance* instance = instanceOf(object);
  if (!instance) return false;
  std::string name = nameOf(id);
  if (name == "name") {
    setString(result, instance->name);
  } else if (name == "handler") {
    if (instance->handler)
      OBJECT_TO_NPVARIANT(browser.retainobject(instance->handler), *result);
    else
      NULL_TO_NPVARIANT(*result);
  } else if (name == "counter") {
    INT32_TO_NPVARIANT(instance->events, *result);
  } else {
    return false;
  }
  return true;
}
bool setProperty(NPObject* object, NPIdentifier id, const NPVariant* value) {
  Instance* instance = instanceOf(object);
  if (!instance) return false;
  std::string name = nameOf(id);
  if (name == "name" && NPVARIANT_IS_STRING(*value)) {
    instance->name = toText(*value);
    return true;
  }
  if (name == "handler") {
    if (instance->handler) browser.releaseobject(instance->handler);
    instance->handler =
        NPVARIANT_IS_OBJECT(*value) ? browser.retainobject(NPVARIANT_TO_OBJECT(*value)) : nullptr;
    return true;
  }
  return false;  // "counter" is read-only; a name must be a string
}
bool removeProperty(NPObject*, NPIdentifier) { return false; }

NPClass scriptableClass = {NP_CLASS_STRUCT_VERSION, allocate, deallocate, nullptr, hasMethod,
                           invoke, invokeDefault, hasProperty, getProperty, setProperty,
                           removeProperty, nullptr, nullptr};

bool valueHasMethod(NPObject*, NPIdentifier id) { return nameOf(id) == "twice"; }
bool valueInvoke(NPObject*, NPIdentifier id, const NPVariant* args, uint32_t count,
                 NPVariant* result) {
  if (nameOf(id) != "twice" || count != 1 || !NPVARIANT_IS_INT32(args[0])) return false;
  INT32_TO_NPVARIANT(2 * NPVARIANT_TO_INT32(args[0]), *result);
  return true;
}
bool valueHasProperty(NPObject*, NPIdentifier id) { return nameOf(id) == "answer"; }
bool valueGetProperty(NPObject*, NPIdentifier id, NPVariant* result) {
  if (nameOf(id) != "answer") return false;
  INT32_TO_NPVARIANT(42, *result);
  return true;
}

NPClass valueClass = {NP_CLASS_STRUCT_VERSION, nullptr, nullptr, nullptr, valueHasMethod,
                      valueInvoke, nullptr, valueHasProperty, valueGetProperty, nullptr,
                      nullptr, nullptr, nullptr};

}  // namespace

NPObject* createScriptable(Instance* instance) {
  NPObject* object = browser.createobject(instance->npp, &scriptableClass);
  reinterpret_cast<Scriptable*>(object)->instance = instance;
  return object;
}

void detachScriptable(NPObject* scriptable) {
  reinterpret_cast<Scriptable*>(scriptable)->instance = nullptr;
}

NPObject* createValueObject(NPP npp) { return browser.createobject(npp, &valueClass); }

}  // namespace TestPlugin
