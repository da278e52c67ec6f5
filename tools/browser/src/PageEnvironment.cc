#include "PageEnvironment.h"

#include <cstdio>
#include <string>
#include <utility>

#include "ObjectBridge.h"
#include "Page.h"
#include "PluginInstance.h"
#include "ScriptEngine.h"

namespace Browser {

namespace {

const char kEnvironment[] = R"JS(
(function (g, h) {
  g.window = g;
  var location = h.location;
  location.toString = function () { return location.href; };
  g.location = location;

  var elements = {};
  function makeElement(id) {
    var plugin = h.pluginObject(id);
    var element = plugin ? plugin : {};
    var own = plugin ? h.extrasOf(plugin) : element;
    var listeners = {};
    function define(name, value) {
      Object.defineProperty(own, name, { value: value, enumerable: false });
    }
    define('id', id);
    define('addEventListener', function (type, fn) {
      (listeners[type] = listeners[type] || []).push(fn);
    });
    define('removeEventListener', function (type, fn) {
      var list = listeners[type] || [];
      var at = list.indexOf(fn);
      if (at >= 0) list.splice(at, 1);
    });
    define('dispatchEvent', function (event) {
      (listeners[event.type] || []).slice().forEach(function (fn) { fn.call(element, event); });
      return true;
    });
    return element;
  }
  h.forgetElement = function (id) { delete elements[id]; };
  g.document = {
    location: location,
    title: h.title,
    getElementById: function (id) {
      id = String(id);
      if (!h.hasElement(id)) return null;
      if (!elements[id]) elements[id] = makeElement(id);
      return elements[id];
    }
  };

  function print() { h.print(Array.prototype.map.call(arguments, String).join(' ')); }
  g.console = { log: print, info: print, warn: print, error: print };

  var timers = {};
  g.setTimeout = function (fn, ms) {
    var args = Array.prototype.slice.call(arguments, 2);
    if (typeof fn !== 'function') throw new TypeError('setTimeout needs a function');
    var id = h.addTimer(Number(ms) || 0);
    timers[id] = function () { fn.apply(g, args); };
    return id;
  };
  g.clearTimeout = function (id) {
    if (timers[id]) {
      delete timers[id];
      h.cancelTimer(id);
    }
  };
  h.fireTimer = function (id) {
    var fn = timers[id];
    delete timers[id];
    if (fn) fn();
  };
})
)JS";

duk_ret_t nativePrint(duk_context* ctx) {
  duk_size_t len = 0;
  const char* text = duk_safe_to_lstring(ctx, 0, &len);
  std::fwrite(text, 1, len, stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
  return 0;
}

duk_ret_t nativeHasElement(duk_context* ctx) {
  duk_push_boolean(ctx, pageOf(ctx).hasElement(duk_safe_to_string(ctx, 0)));
  return 1;
}

duk_ret_t nativePluginObject(duk_context* ctx) {
  Page& page = pageOf(ctx);
  PluginInstance* instance = page.instance(duk_safe_to_string(ctx, 0));
  NPObject* object = instance ? instance->scriptableObject() : nullptr;
  if (object)
    page.bridge().pushObject(object);
  else
    duk_push_null(ctx);
  return 1;
}

duk_ret_t nativeExtrasOf(duk_context* ctx) {
  pageOf(ctx).bridge().pushExtras(0);
  return 1;
}

duk_ret_t nativeAddTimer(duk_context* ctx) {
  duk_push_int(ctx, pageOf(ctx).addTimer(duk_get_number_default(ctx, 0, 0)));
  return 1;
}

duk_ret_t nativeCancelTimer(duk_context* ctx) {
  pageOf(ctx).cancelTimer(duk_get_int_default(ctx, 0, 0));
  return 0;
}

}  // namespace

Page& pageOf(duk_context* ctx) {
  duk_push_heap_stash(ctx);
  duk_get_prop_string(ctx, -1, "page");
  auto* page = static_cast<Page*>(duk_get_pointer(ctx, -1));
  duk_pop_2(ctx);
  return *page;
}

void runPrelude(Page& page, const char* source, const duk_function_list_entry* natives) {
  duk_context* ctx = page.engine().ctx();
  duk_push_heap_stash(ctx);
  if (!duk_get_prop_string(ctx, -1, "host")) {
    duk_pop(ctx);
    duk_push_object(ctx);
    const Location& location = page.location();
    duk_push_object(ctx);
    const std::pair<const char*, const std::string*> parts[] = {
        {"href", &location.href},         {"protocol", &location.protocol},
        {"host", &location.host},         {"hostname", &location.hostname},
        {"port", &location.port},         {"pathname", &location.pathname},
        {"search", &location.search},     {"hash", &location.hash},
        {"origin", &location.origin}};
    for (const auto& part : parts) {
      duk_push_lstring(ctx, part.second->data(), part.second->size());
      duk_put_prop_string(ctx, -2, part.first);
    }
    duk_put_prop_string(ctx, -2, "location");
    duk_push_string(ctx, page.document().title.c_str());
    duk_put_prop_string(ctx, -2, "title");
    duk_dup_top(ctx);
    duk_put_prop_string(ctx, -3, "host");
    duk_push_pointer(ctx, &page);
    duk_put_prop_string(ctx, -3, "page");
  }
  duk_put_function_list(ctx, -1, natives);
  duk_push_string(ctx, "(host)");
  duk_compile_string_filename(ctx, DUK_COMPILE_EVAL, source);
  duk_call(ctx, 0);
  duk_push_global_object(ctx);
  duk_dup(ctx, -3);
  duk_call(ctx, 2);
  duk_pop_3(ctx);
}

void installPageEnvironment(Page& page) {
  const duk_function_list_entry natives[] = {{"print", nativePrint, 1},
                                             {"hasElement", nativeHasElement, 1},
                                             {"pluginObject", nativePluginObject, 1},
                                             {"extrasOf", nativeExtrasOf, 1},
                                             {"addTimer", nativeAddTimer, 1},
                                             {"cancelTimer", nativeCancelTimer, 1},
                                             {nullptr, nullptr, 0}};
  runPrelude(page, kEnvironment, natives);
}

void fireScriptTimer(Page& page, int id) {
  duk_context* ctx = page.engine().ctx();
  ScriptEngine::Scope scope(page.engine());
  duk_push_heap_stash(ctx);
  duk_get_prop_string(ctx, -1, "host");
  duk_get_prop_string(ctx, -1, "fireTimer");
  duk_push_int(ctx, id);
  if (duk_pcall(ctx, 1) != DUK_EXEC_SUCCESS) {
    std::string error = ScriptEngine::errorText(ctx, -1);
    page.reportUncaught(page.engine().timedOut() ? "script ran too long: " + error : error);
  }
  duk_pop_3(ctx);
}

}  // namespace Browser
