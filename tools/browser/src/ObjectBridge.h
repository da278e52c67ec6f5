// Script values and NPAPI objects, both ways.
//
// A plug-in object reaches script as a Proxy whose methods and properties are
// forwarded through the object's class; the Proxy holds one reference until
// the page ends, and the same object always gives the same Proxy. A page
// value (the window, a function, an array, any object) reaches the plug-in as
// a "page object": an NPObject of the host's own class whose entries reach the
// script value, with integer identifiers for array indices.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>

#include <duktape.h>
#include <npapi/npruntime.h>

namespace Browser {

class ScriptEngine;

class ObjectBridge {
 public:
  // uncaught: told of an error thrown by a page function that the plug-in
  // called (the plug-in only sees false).
  ObjectBridge(ScriptEngine& engine, std::function<void(const std::string&)> uncaught);
  ~ObjectBridge();
  ObjectBridge(const ObjectBridge&) = delete;
  ObjectBridge& operator=(const ObjectBridge&) = delete;

  // Registers the Proxy handler and the natives it uses. Call once.
  void install();

  // The value at idx as a variant that owns what it holds (a string from
  // NPN_MemAlloc, a retained object); release with NPN_ReleaseVariantValue.
  void toVariant(duk_idx_t idx, NPVariant& out);
  // Pushes the script value of a variant (the variant keeps its own).
  void pushVariant(const NPVariant& value);
  // Pushes the Proxy of a plug-in object (or the value of a page object).
  void pushObject(NPObject* object);
  // A retained page object for the value at idx.
  NPObject* pageObjectFor(duk_idx_t idx);
  // The plug-in object behind a Proxy at idx, or null.
  NPObject* pluginObjectAt(duk_idx_t idx);

  // Pushes the object whose own properties a plug-in Proxy at idx shows
  // before the plug-in's (an element's id and listener functions).
  void pushExtras(duk_idx_t idx);

  // The pending NPN_SetException message, taken and cleared.
  std::string takeException();
  void setException(const std::string& message) { exception_ = message; hasException_ = true; }

  // End of page: drop the references the Proxies hold, then cut page objects
  // off the heap (their entries answer false from then on).
  void releaseProxies();
  void detach();
  bool isPageObject(const NPObject* object) const;

  ScriptEngine& engine() { return engine_; }
  void reportUncaught(const std::string& text) { uncaught_(text); }
  bool attached() const { return attached_; }

 private:
  friend struct PageObjectClass;
  // Calls stash helper `name` with `nargs` values on the stack top; leaves
  // the result (or the error) on the stack. True on success.
  bool callHelper_(const char* name, duk_idx_t nargs);
  void pushPageValue_(uint32_t key);
  void forgetPageValue_(uint32_t key, NPObject* object);

  ScriptEngine& engine_;
  duk_context* ctx_;
  std::function<void(const std::string&)> uncaught_;
  std::set<NPObject*> proxied_;
  uint32_t nextKey_ = 1;
  bool attached_ = true;
  std::string exception_;
  bool hasException_ = false;
};

// An identifier for a property key: an integer identifier for a canonical
// array index ("0", "17"), a string identifier otherwise.
NPIdentifier identifierForKey(const std::string& key);

}  // namespace Browser
