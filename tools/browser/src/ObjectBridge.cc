#include "ObjectBridge.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "BrowserFuncs.h"
#include "Identifiers.h"
#include "Memory.h"
#include "Objects.h"
#include "ScriptEngine.h"

namespace Browser {

namespace {

const char kHelpers[] = R"JS(
(function (n) {
  var own = Object.prototype.hasOwnProperty;
  var METHOD = 2, PROPERTY = 1;
  var handler = {
    get: function (t, k) {
      var ext = t[n.EXTRAS];
      if (ext && own.call(ext, k)) return ext[k];
      if (typeof k !== 'string' || own.call(t, k)) return t[k];
      var kind = n.kind(t, k);
      if (kind === METHOD)
        return function () { return n.invoke(t, k, Array.prototype.slice.call(arguments)); };
      if (kind === PROPERTY) return n.get(t, k);
      return t[k];
    },
    set: function (t, k, v) {
      var ext = t[n.EXTRAS];
      if (ext && own.call(ext, k)) {
        ext[k] = v;
        return true;
      }
      if (typeof k === 'string' && !own.call(t, k) && n.kind(t, k) === PROPERTY) {
        n.set(t, k, v);
        return true;
      }
      t[k] = v;
      return true;
    },
    has: function (t, k) {
      var ext = t[n.EXTRAS];
      return (ext && own.call(ext, k)) || (k in t) ||
             (typeof k === 'string' && n.kind(t, k) !== 0);
    },
    deleteProperty: function (t, k) {
      if (typeof k === 'string' && !own.call(t, k) && n.kind(t, k) === PROPERTY)
        return n.remove(t, k);
      return delete t[k];
    }
  };
  function isObject(o) { return o !== null && (typeof o === 'object' || typeof o === 'function'); }
  return {
    wrap: function (t) { return new Proxy(t, handler); },
    get: function (o, k) { return o[k]; },
    set: function (o, k, v) { o[k] = v; },
    has: function (o, k) { return isObject(o) && (k in o); },
    del: function (o, k) { return delete o[k]; },
    hasMethod: function (o, k) { return isObject(o) && typeof o[k] === 'function'; },
    invoke: function (o, k, a) { return o[k].apply(o, a); },
    call: function (f, a) { return f.apply(undefined, a); },
    construct: function (f, a) { return Reflect.construct(f, a); },
    keys: function (o) { return isObject(o) ? Object.keys(o) : []; },
    mark: function (o, p) { if (isObject(o) && Object.isExtensible(o)) o[n.MARK] = p; }
  };
})
)JS";

#define HIDDEN_NP DUK_HIDDEN_SYMBOL("np")
#define HIDDEN_PAGE_OBJECT DUK_HIDDEN_SYMBOL("npo")
#define HIDDEN_EXTRAS DUK_HIDDEN_SYMBOL("ext")

struct PageObject {
  NPObject header;
  ObjectBridge* bridge;
  uint32_t key;
};

ObjectBridge* bridgeOf(duk_context* ctx) {
  duk_push_heap_stash(ctx);
  duk_get_prop_string(ctx, -1, "bridge");
  auto* bridge = static_cast<ObjectBridge*>(duk_get_pointer(ctx, -1));
  duk_pop_2(ctx);
  return bridge;
}

std::string pointerKey(const void* p) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%p", p);
  return buf;
}

bool isArrayIndex(const std::string& key) {
  if (key.empty() || key.size() > 9) return false;
  if (key.size() > 1 && key[0] == '0') return false;
  for (char c : key)
    if (c < '0' || c > '9') return false;
  return true;
}

}  // namespace

NPIdentifier identifierForKey(const std::string& key) {
  if (isArrayIndex(key)) return Identifiers::shared().forInt(std::atoi(key.c_str()));
  return Identifiers::shared().forString(key);
}

// The NPClass of page objects: every entry runs a small helper script under
// protection, so a throwing getter or function never unwinds through the
// plug-in's frames.
struct PageObjectClass {
  static NPClass cls;

  static PageObject* usable(NPObject* object) {
    auto* page = reinterpret_cast<PageObject*>(object);
    return page->bridge && page->bridge->attached() ? page : nullptr;
  }

  static void pushKey(duk_context* ctx, NPIdentifier name) {
    std::string text;
    int32_t index = 0;
    if (Identifiers::shared().stringOf(name, text))
      duk_push_lstring(ctx, text.data(), text.size());
    else if (Identifiers::shared().intOf(name, index))
      duk_push_int(ctx, index);
    else
      duk_push_undefined(ctx);
  }

  static void pushArgs(ObjectBridge& bridge, const NPVariant* args, uint32_t count) {
    duk_context* ctx = bridge.engine().ctx();
    duk_push_array(ctx);
    for (uint32_t i = 0; i < count; ++i) {
      bridge.pushVariant(args[i]);
      duk_put_prop_index(ctx, -2, i);
    }
  }

  // Runs helper `name` over (value, extra...) and stores its result.
  template <typename PushExtra>
  static bool run(NPObject* object, const char* name, PushExtra pushExtra, duk_idx_t extra,
                  NPVariant* result, bool reportFailure) {
    PageObject* page = usable(object);
    if (!page) return false;
    ObjectBridge& bridge = *page->bridge;
    duk_context* ctx = bridge.engine().ctx();
    ScriptEngine::Scope scope(bridge.engine());
    duk_require_stack(ctx, 8);
    bridge.pushPageValue_(page->key);
    pushExtra(ctx);
    bool ok = bridge.callHelper_(name, 1 + extra);
    if (ok) {
      if (result) bridge.toVariant(-1, *result);
    } else if (reportFailure) {
      bridge.reportUncaught(ScriptEngine::errorText(ctx, -1));
    }
    duk_pop(ctx);
    return ok;
  }

  static bool truthy(NPObject* object, const char* helper, NPIdentifier name) {
    NPVariant answer;
    VOID_TO_NPVARIANT(answer);
    bool ok = run(object, helper, [name](duk_context* c) { pushKey(c, name); }, 1, &answer,
                  false);
    bool yes = ok && answer.type == NPVariantType_Bool && answer.value.boolValue;
    browserFuncs().releasevariantvalue(&answer);
    return yes;
  }

  static NPObject* allocate(NPP, NPClass*) {
    return static_cast<NPObject*>(std::calloc(1, sizeof(PageObject)));
  }
  static void deallocate(NPObject* object) {
    auto* page = reinterpret_cast<PageObject*>(object);
    if (page->bridge && page->bridge->attached()) page->bridge->forgetPageValue_(page->key, object);
    std::free(page);
  }
  static void invalidate(NPObject*) {}
  static bool hasMethod(NPObject* object, NPIdentifier name) {
    return truthy(object, "hasMethod", name);
  }
  static bool invoke(NPObject* object, NPIdentifier name, const NPVariant* args,
                     uint32_t count, NPVariant* result) {
    // Calling what is not a function is the plug-in's mistake, not a page error.
    if (!hasMethod(object, name)) return false;
    PageObject* page = usable(object);
    return run(object, "invoke",
               [&](duk_context* c) {
                 pushKey(c, name);
                 pushArgs(*page->bridge, args, count);
               },
               2, result, true);
  }
  static bool invokeDefault(NPObject* object, const NPVariant* args, uint32_t count,
                            NPVariant* result) {
    PageObject* page = usable(object);
    if (!page) return false;
    return run(object, "call", [&](duk_context*) { pushArgs(*page->bridge, args, count); }, 1,
               result, true);
  }
  static bool hasProperty(NPObject* object, NPIdentifier name) {
    return truthy(object, "has", name);
  }
  static bool getProperty(NPObject* object, NPIdentifier name, NPVariant* result) {
    return run(object, "get", [name](duk_context* c) { pushKey(c, name); }, 1, result, true);
  }
  static bool setProperty(NPObject* object, NPIdentifier name, const NPVariant* value) {
    PageObject* page = usable(object);
    if (!page || !value) return false;
    return run(object, "set",
               [&](duk_context* c) {
                 pushKey(c, name);
                 page->bridge->pushVariant(*value);
               },
               2, nullptr, true);
  }
  static bool removeProperty(NPObject* object, NPIdentifier name) {
    return run(object, "del", [name](duk_context* c) { pushKey(c, name); }, 1, nullptr, true);
  }
  static bool enumerate(NPObject* object, NPIdentifier** ids, uint32_t* count) {
    PageObject* page = usable(object);
    if (!page || !ids || !count) return false;
    duk_context* ctx = page->bridge->engine().ctx();
    ScriptEngine::Scope scope(page->bridge->engine());
    page->bridge->pushPageValue_(page->key);
    bool ok = page->bridge->callHelper_("keys", 1);
    if (ok) {
      auto n = static_cast<uint32_t>(duk_get_length(ctx, -1));
      auto* out = static_cast<NPIdentifier*>(
          Memory::shared().alloc(static_cast<uint32_t>(sizeof(NPIdentifier) * (n ? n : 1))));
      for (uint32_t i = 0; i < n; ++i) {
        duk_get_prop_index(ctx, -1, i);
        out[i] = identifierForKey(duk_safe_to_string(ctx, -1));
        duk_pop(ctx);
      }
      *ids = out;
      *count = n;
    }
    duk_pop(ctx);
    return ok;
  }
  static bool construct(NPObject* object, const NPVariant* args, uint32_t count,
                        NPVariant* result) {
    PageObject* page = usable(object);
    if (!page) return false;
    return run(object, "construct", [&](duk_context*) { pushArgs(*page->bridge, args, count); },
               1, result, true);
  }
};

NPClass PageObjectClass::cls = {NP_CLASS_STRUCT_VERSION,
                                PageObjectClass::allocate,
                                PageObjectClass::deallocate,
                                PageObjectClass::invalidate,
                                PageObjectClass::hasMethod,
                                PageObjectClass::invoke,
                                PageObjectClass::invokeDefault,
                                PageObjectClass::hasProperty,
                                PageObjectClass::getProperty,
                                PageObjectClass::setProperty,
                                PageObjectClass::removeProperty,
                                PageObjectClass::enumerate,
                                PageObjectClass::construct};

namespace {

// Natives behind the Proxy handler. Each *Impl keeps every C++ object in its
// own frame and leaves an error on the stack when it fails (-1), so that the
// throw happens after those objects are gone.
NPObject* targetObject(duk_context* ctx, duk_idx_t idx) {
  duk_get_prop_string(ctx, idx, HIDDEN_NP);
  auto* object = static_cast<NPObject*>(duk_get_pointer(ctx, -1));
  duk_pop(ctx);
  return object && Objects::shared().isAlive(object) ? object : nullptr;
}

int fail(duk_context* ctx, const std::string& message) {
  duk_push_error_object(ctx, DUK_ERR_ERROR, "%s", message.c_str());
  return -1;
}

// Raises what setexception asked for, else the browser's generic message.
int failCall(duk_context* ctx, const std::string& exception, const char* generic) {
  return fail(ctx, exception.empty() ? generic : exception);
}

int kindImpl(duk_context* ctx) {
  NPObject* object = targetObject(ctx, 0);
  if (!object) {
    duk_push_int(ctx, 0);
    return 1;
  }
  NPIdentifier id = identifierForKey(duk_safe_to_string(ctx, 1));
  const NPNetscapeFuncs& f = browserFuncs();
  int kind = f.hasmethod(nullptr, object, id) ? 2 : f.hasproperty(nullptr, object, id) ? 1 : 0;
  duk_push_int(ctx, kind);
  return 1;
}

int getImpl(duk_context* ctx) {
  ObjectBridge& bridge = *bridgeOf(ctx);
  NPObject* object = targetObject(ctx, 0);
  if (!object) return fail(ctx, "the plug-in object is gone");
  NPIdentifier id = identifierForKey(duk_safe_to_string(ctx, 1));
  NPVariant result;
  VOID_TO_NPVARIANT(result);
  bridge.takeException();
  bool ok = browserFuncs().getproperty(nullptr, object, id, &result);
  std::string exception = bridge.takeException();
  if (!ok || !exception.empty()) {
    browserFuncs().releasevariantvalue(&result);
    return failCall(ctx, exception, "Error getting property on NPObject!");
  }
  bridge.pushVariant(result);
  browserFuncs().releasevariantvalue(&result);
  return 1;
}

int setImpl(duk_context* ctx) {
  ObjectBridge& bridge = *bridgeOf(ctx);
  NPObject* object = targetObject(ctx, 0);
  if (!object) return fail(ctx, "the plug-in object is gone");
  NPIdentifier id = identifierForKey(duk_safe_to_string(ctx, 1));
  NPVariant value;
  bridge.toVariant(2, value);
  bridge.takeException();
  bool ok = browserFuncs().setproperty(nullptr, object, id, &value);
  browserFuncs().releasevariantvalue(&value);
  std::string exception = bridge.takeException();
  if (!ok || !exception.empty()) {
    return failCall(ctx, exception, "Error setting property on NPObject!");
  }
  return 0;
}

int removeImpl(duk_context* ctx) {
  NPObject* object = targetObject(ctx, 0);
  if (!object) return fail(ctx, "the plug-in object is gone");
  NPIdentifier id = identifierForKey(duk_safe_to_string(ctx, 1));
  duk_push_boolean(ctx, browserFuncs().removeproperty(nullptr, object, id));
  return 1;
}

int invokeImpl(duk_context* ctx) {
  ObjectBridge& bridge = *bridgeOf(ctx);
  NPObject* object = targetObject(ctx, 0);
  if (!object) return fail(ctx, "the plug-in object is gone");
  std::string name = duk_safe_to_string(ctx, 1);
  NPIdentifier id = identifierForKey(name);
  auto count = static_cast<uint32_t>(duk_get_length(ctx, 2));
  std::vector<NPVariant> args(count);
  for (uint32_t i = 0; i < count; ++i) {
    duk_get_prop_index(ctx, 2, i);
    bridge.toVariant(-1, args[i]);
    duk_pop(ctx);
  }
  NPVariant result;
  VOID_TO_NPVARIANT(result);
  bridge.takeException();
  bool ok = browserFuncs().invoke(nullptr, object, id, args.data(), count, &result);
  for (auto& a : args) browserFuncs().releasevariantvalue(&a);
  std::string exception = bridge.takeException();
  if (!ok || !exception.empty()) {
    browserFuncs().releasevariantvalue(&result);
    return failCall(ctx, exception, "Error calling method on NPObject!");
  }
  bridge.pushVariant(result);
  browserFuncs().releasevariantvalue(&result);
  return 1;
}

template <int (*Impl)(duk_context*)>
duk_ret_t native(duk_context* ctx) {
  int rc = Impl(ctx);
  if (rc < 0) return duk_throw(ctx);
  return rc;
}

}  // namespace

ObjectBridge::ObjectBridge(ScriptEngine& engine,
                           std::function<void(const std::string&)> uncaught)
    : engine_(engine), ctx_(engine.ctx()), uncaught_(std::move(uncaught)) {}

ObjectBridge::~ObjectBridge() {
  releaseProxies();
  detach();
}

void ObjectBridge::install() {
  duk_push_heap_stash(ctx_);
  duk_push_pointer(ctx_, this);
  duk_put_prop_string(ctx_, -2, "bridge");
  duk_push_object(ctx_);
  duk_put_prop_string(ctx_, -2, "pv");
  duk_push_object(ctx_);
  duk_put_prop_string(ctx_, -2, "px");

  duk_push_string(ctx_, "(host)");
  duk_compile_string_filename(ctx_, DUK_COMPILE_EVAL, kHelpers);
  duk_call(ctx_, 0);  // -> the factory function
  duk_push_object(ctx_);
  const duk_function_list_entry natives[] = {{"kind", native<kindImpl>, 2},
                                             {"get", native<getImpl>, 2},
                                             {"set", native<setImpl>, 3},
                                             {"remove", native<removeImpl>, 2},
                                             {"invoke", native<invokeImpl>, 3},
                                             {nullptr, nullptr, 0}};
  duk_put_function_list(ctx_, -1, natives);
  duk_push_string(ctx_, HIDDEN_PAGE_OBJECT);
  duk_put_prop_string(ctx_, -2, "MARK");
  duk_push_string(ctx_, HIDDEN_EXTRAS);
  duk_put_prop_string(ctx_, -2, "EXTRAS");
  duk_call(ctx_, 1);  // -> helpers
  duk_put_prop_string(ctx_, -2, "h");
  duk_pop(ctx_);
}

bool ObjectBridge::callHelper_(const char* name, duk_idx_t nargs) {
  duk_push_heap_stash(ctx_);
  duk_get_prop_string(ctx_, -1, "h");
  duk_get_prop_string(ctx_, -1, name);
  duk_remove(ctx_, -2);
  duk_remove(ctx_, -2);
  duk_insert(ctx_, -(nargs + 1));
  return duk_pcall(ctx_, nargs) == DUK_EXEC_SUCCESS;
}

void ObjectBridge::pushPageValue_(uint32_t key) {
  duk_push_heap_stash(ctx_);
  duk_get_prop_string(ctx_, -1, "pv");
  duk_get_prop_index(ctx_, -1, key);
  duk_remove(ctx_, -2);
  duk_remove(ctx_, -2);
}

void ObjectBridge::forgetPageValue_(uint32_t key, NPObject* object) {
  pushPageValue_(key);
  if (duk_is_object(ctx_, -1)) {
    duk_get_prop_string(ctx_, -1, HIDDEN_PAGE_OBJECT);
    bool mine = duk_get_pointer(ctx_, -1) == object;
    duk_pop(ctx_);
    if (mine) {
      duk_push_pointer(ctx_, nullptr);
      duk_put_prop_string(ctx_, -2, HIDDEN_PAGE_OBJECT);
    }
  }
  duk_pop(ctx_);
  duk_push_heap_stash(ctx_);
  duk_get_prop_string(ctx_, -1, "pv");
  duk_del_prop_index(ctx_, -1, key);
  duk_pop_2(ctx_);
}

bool ObjectBridge::isPageObject(const NPObject* object) const {
  return object && object->_class == &PageObjectClass::cls;
}

NPObject* ObjectBridge::pluginObjectAt(duk_idx_t idx) {
  if (!duk_is_object(ctx_, idx)) return nullptr;
  idx = duk_normalize_index(ctx_, idx);
  duk_get_prop_string(ctx_, idx, HIDDEN_NP);
  auto* object = static_cast<NPObject*>(duk_get_pointer(ctx_, -1));
  duk_pop(ctx_);
  return object;
}

NPObject* ObjectBridge::pageObjectFor(duk_idx_t idx) {
  idx = duk_normalize_index(ctx_, idx);
  duk_get_prop_string(ctx_, idx, HIDDEN_PAGE_OBJECT);
  auto* known = static_cast<NPObject*>(duk_get_pointer(ctx_, -1));
  duk_pop(ctx_);
  if (known && Objects::shared().isAlive(known) && isPageObject(known))
    return Objects::shared().retain(known);

  NPObject* object = Objects::shared().create(nullptr, &PageObjectClass::cls);
  auto* page = reinterpret_cast<PageObject*>(object);
  page->bridge = this;
  page->key = nextKey_++;
  duk_push_heap_stash(ctx_);
  duk_get_prop_string(ctx_, -1, "pv");
  duk_dup(ctx_, idx);
  duk_put_prop_index(ctx_, -2, page->key);
  duk_pop_2(ctx_);
  // Remember the object on the value, so that the same value gives the same
  // object while the plug-in holds it (frozen values simply get a new one).
  duk_dup(ctx_, idx);
  duk_push_pointer(ctx_, object);
  if (!callHelper_("mark", 2)) {
    // Marking is an optimisation only.
  }
  duk_pop(ctx_);
  return object;
}

void ObjectBridge::toVariant(duk_idx_t idx, NPVariant& out) {
  idx = duk_normalize_index(ctx_, idx);
  switch (duk_get_type(ctx_, idx)) {
    case DUK_TYPE_NULL:
      NULL_TO_NPVARIANT(out);
      return;
    case DUK_TYPE_BOOLEAN:
      BOOLEAN_TO_NPVARIANT(duk_get_boolean(ctx_, idx), out);
      return;
    case DUK_TYPE_NUMBER: {
      double d = duk_get_number(ctx_, idx);
      if (std::isfinite(d) && d == std::floor(d) && d >= -2147483648.0 && d <= 2147483647.0 &&
          !(d == 0 && std::signbit(d)))
        INT32_TO_NPVARIANT(static_cast<int32_t>(d), out);
      else
        DOUBLE_TO_NPVARIANT(d, out);
      return;
    }
    case DUK_TYPE_STRING: {
      duk_size_t len = 0;
      const char* s = duk_get_lstring(ctx_, idx, &len);
      stringToVariant(std::string(s, len), out);
      return;
    }
    case DUK_TYPE_OBJECT: {
      NPObject* plugin = pluginObjectAt(idx);
      if (plugin && Objects::shared().isAlive(plugin)) {
        OBJECT_TO_NPVARIANT(Objects::shared().retain(plugin), out);
        return;
      }
      OBJECT_TO_NPVARIANT(pageObjectFor(idx), out);
      return;
    }
    default:
      VOID_TO_NPVARIANT(out);
      return;
  }
}

void ObjectBridge::pushVariant(const NPVariant& value) {
  switch (value.type) {
    case NPVariantType_Null:
      duk_push_null(ctx_);
      return;
    case NPVariantType_Bool:
      duk_push_boolean(ctx_, value.value.boolValue);
      return;
    case NPVariantType_Int32:
      duk_push_int(ctx_, value.value.intValue);
      return;
    case NPVariantType_Double:
      duk_push_number(ctx_, value.value.doubleValue);
      return;
    case NPVariantType_String: {
      const NPString& s = value.value.stringValue;
      duk_push_lstring(ctx_, s.UTF8Length ? s.UTF8Characters : "", s.UTF8Length);
      return;
    }
    case NPVariantType_Object:
      pushObject(value.value.objectValue);
      return;
    default:
      duk_push_undefined(ctx_);
      return;
  }
}

void ObjectBridge::pushObject(NPObject* object) {
  if (!object || !Objects::shared().isAlive(object)) {
    duk_push_null(ctx_);
    return;
  }
  if (isPageObject(object)) {
    pushPageValue_(reinterpret_cast<PageObject*>(object)->key);
    return;
  }
  std::string key = pointerKey(object);
  duk_push_heap_stash(ctx_);
  duk_get_prop_string(ctx_, -1, "px");
  if (duk_get_prop_string(ctx_, -1, key.c_str())) {
    duk_remove(ctx_, -2);
    duk_remove(ctx_, -2);
    return;
  }
  duk_pop(ctx_);
  duk_push_object(ctx_);
  duk_push_pointer(ctx_, object);
  duk_put_prop_string(ctx_, -2, HIDDEN_NP);
  if (!callHelper_("wrap", 1)) {
    duk_pop_3(ctx_);
    duk_push_undefined(ctx_);
    return;
  }
  duk_dup(ctx_, -1);
  duk_put_prop_string(ctx_, -3, key.c_str());
  duk_remove(ctx_, -2);
  duk_remove(ctx_, -2);
  Objects::shared().retain(object);
  proxied_.insert(object);
}

void ObjectBridge::pushExtras(duk_idx_t idx) {
  idx = duk_normalize_index(ctx_, idx);
  // A hidden key reaches the Proxy's target, never its handler.
  if (!duk_get_prop_string(ctx_, idx, HIDDEN_EXTRAS)) {
    duk_pop(ctx_);
    duk_push_object(ctx_);
    duk_dup_top(ctx_);
    duk_put_prop_string(ctx_, idx, HIDDEN_EXTRAS);
  }
}

std::string ObjectBridge::takeException() {
  std::string message = hasException_ ? exception_ : std::string();
  if (hasException_ && message.empty()) message = "Error in plug-in";
  exception_.clear();
  hasException_ = false;
  return message;
}

void ObjectBridge::releaseProxies() {
  if (attached_) {
    duk_push_heap_stash(ctx_);
    duk_push_object(ctx_);
    duk_put_prop_string(ctx_, -2, "px");
    duk_pop(ctx_);
  }
  std::set<NPObject*> held;
  held.swap(proxied_);
  for (NPObject* object : held)
    if (Objects::shared().isAlive(object)) Objects::shared().release(object);
}

void ObjectBridge::detach() { attached_ = false; }

}  // namespace Browser
