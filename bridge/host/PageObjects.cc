#include "PageObjects.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <set>

#include "BrowserFuncs.h"

namespace Bridge {

namespace {

const NPNetscapeFuncs& npn() { return Browser::browserFuncs(); }

std::string identifierText(NPIdentifier name) {
  if (!npn().identifierisstring(name)) return std::string();
  NPUTF8* text = npn().utf8fromidentifier(name);
  std::string out = text ? text : "";
  if (text) npn().memfree(text);
  return out;
}

// Deep copy, as NPN_GetProperty hands out values the caller releases.
void copyVariant(const NPVariant& from, NPVariant& to) {
  if (from.type == NPVariantType_String) {
    Browser::stringToVariant(std::string(from.value.stringValue.UTF8Characters,
                                         from.value.stringValue.UTF8Length),
                             to);
  } else if (from.type == NPVariantType_Object) {
    npn().retainobject(from.value.objectValue);
    to = from;
  } else {
    to = from;
  }
}

// --- plain objects -----------------------------------------------------------

struct PlainObject {
  NPObject header;
  std::map<NPIdentifier, NPVariant> properties;
};

NPObject* plainAllocate(NPP, NPClass*) {
  auto* object = new PlainObject();
  return &object->header;
}
void plainDeallocate(NPObject* object) {
  auto* plain = reinterpret_cast<PlainObject*>(object);
  for (auto& entry : plain->properties) npn().releasevariantvalue(&entry.second);
  delete plain;
}
bool plainHasProperty(NPObject* object, NPIdentifier name) {
  return reinterpret_cast<PlainObject*>(object)->properties.count(name) > 0;
}
bool plainGetProperty(NPObject* object, NPIdentifier name, NPVariant* result) {
  auto& properties = reinterpret_cast<PlainObject*>(object)->properties;
  auto found = properties.find(name);
  if (found == properties.end()) return false;
  copyVariant(found->second, *result);
  return true;
}
bool noMethod(NPObject*, NPIdentifier) { return false; }

NPClass plainClass = {NP_CLASS_STRUCT_VERSION, plainAllocate, plainDeallocate, nullptr,
                      noMethod, nullptr, nullptr, plainHasProperty, plainGetProperty,
                      nullptr, nullptr, nullptr, nullptr};

// --- page objects ------------------------------------------------------------

// Documents that are gone: their objects neither call nor release any more.
std::set<std::string>& goneDocuments() {
  static std::set<std::string> gone;
  return gone;
}

struct PageObject {
  NPObject header;
  PageLink* link = nullptr;
  json doc;
  std::int64_t fn = -1;
  std::vector<std::string> methods;
};

bool documentGone(const PageObject& object) {
  return goneDocuments().count(object.doc.dump()) > 0;
}

NPObject* pageAllocate(NPP, NPClass*) {
  auto* object = new PageObject();
  return &object->header;
}
void pageDeallocate(NPObject* object) {
  auto* page = reinterpret_cast<PageObject*>(object);
  if (page->link && !documentGone(*page)) page->link->releasePage(page->doc, page->fn);
  delete page;
}
json argumentsJson(const NPVariant* args, uint32_t count) {
  json list = json::array();
  for (uint32_t i = 0; i < count; ++i) list.push_back(variantToJson(args[i]));
  return list;
}
bool pageHasMethod(NPObject* object, NPIdentifier name) {
  auto* page = reinterpret_cast<PageObject*>(object);
  std::string text = identifierText(name);
  for (const auto& method : page->methods)
    if (method == text) return true;
  return false;
}
bool pageInvoke(NPObject* object, NPIdentifier name, const NPVariant* args, uint32_t count,
                NPVariant* result) {
  auto* page = reinterpret_cast<PageObject*>(object);
  if (!pageHasMethod(object, name)) return false;
  if (result) VOID_TO_NPVARIANT(*result);
  // The page answers later; its result is not awaited, as the plug-in ignores
  // what its page functions return.
  if (!documentGone(*page))
    page->link->callPage(page->doc, page->fn, identifierText(name), argumentsJson(args, count));
  return true;
}
bool pageInvokeDefault(NPObject* object, const NPVariant* args, uint32_t count,
                       NPVariant* result) {
  auto* page = reinterpret_cast<PageObject*>(object);
  if (result) VOID_TO_NPVARIANT(*result);
  if (!documentGone(*page)) page->link->callPage(page->doc, page->fn, "", argumentsJson(args, count));
  return true;
}
bool noProperty(NPObject*, NPIdentifier) { return false; }

NPClass pageClass = {NP_CLASS_STRUCT_VERSION, pageAllocate, pageDeallocate, nullptr,
                     pageHasMethod, pageInvoke, pageInvokeDefault, noProperty, nullptr,
                     nullptr, nullptr, nullptr, nullptr};

void put(std::map<std::string, NPVariant>& properties, const std::string& name,
         const std::string& value) {
  Browser::stringToVariant(value, properties[name]);
}

}  // namespace

NPObject* createPlainObject(NPP npp, const std::map<std::string, NPVariant>& properties) {
  NPObject* object = npn().createobject(npp, &plainClass);
  auto* plain = reinterpret_cast<PlainObject*>(object);
  for (const auto& entry : properties) {
    NPVariant copy;
    copyVariant(entry.second, copy);
    plain->properties[npn().getstringidentifier(entry.first.c_str())] = copy;
  }
  return object;
}

NPObject* createPageObject(NPP npp, PageLink& link, const json& doc, std::int64_t fn,
                           std::vector<std::string> methods) {
  NPObject* object = npn().createobject(npp, &pageClass);
  auto* page = reinterpret_cast<PageObject*>(object);
  page->link = &link;
  page->doc = doc;
  page->fn = fn;
  page->methods = std::move(methods);
  return object;
}

std::int64_t pageObjectNumber(NPObject* object) {
  if (!object || object->_class != &pageClass) return -1;
  return reinterpret_cast<PageObject*>(object)->fn;
}

void forgetDocument(const json& doc) { goneDocuments().insert(doc.dump()); }

UrlParts splitUrl(const std::string& url) {
  UrlParts parts;
  std::size_t colon = url.find(':');
  if (colon == std::string::npos) return parts;
  parts.protocol = url.substr(0, colon + 1);
  if (url.compare(colon + 1, 2, "//") != 0) return parts;
  std::size_t start = colon + 3;
  std::size_t end = url.find_first_of("/?#", start);
  std::string authority = url.substr(start, end == std::string::npos ? end : end - start);
  std::size_t at = authority.rfind('@');
  if (at != std::string::npos) authority.erase(0, at + 1);
  std::size_t portColon = authority.rfind(':');
  std::size_t bracket = authority.rfind(']');
  if (portColon != std::string::npos && (bracket == std::string::npos || portColon > bracket)) {
    parts.hostname = authority.substr(0, portColon);
    parts.port = authority.substr(portColon + 1);
  } else {
    parts.hostname = authority;
  }
  parts.host = parts.port.empty() ? parts.hostname : parts.hostname + ":" + parts.port;
  return parts;
}

NPObject* createWindowObject(NPP npp, const std::string& url) {
  UrlParts parts = splitUrl(url);
  std::map<std::string, NPVariant> location;
  put(location, "href", url);
  put(location, "protocol", parts.protocol);
  put(location, "host", parts.host);
  put(location, "hostname", parts.hostname);
  put(location, "port", parts.port);
  put(location, "origin", parts.hostname.empty() ? "null" : parts.protocol + "//" + parts.host);
  NPObject* locationObject = createPlainObject(npp, location);
  for (auto& entry : location) npn().releasevariantvalue(&entry.second);

  std::map<std::string, NPVariant> window;
  OBJECT_TO_NPVARIANT(locationObject, window["location"]);
  NPObject* windowObject = createPlainObject(npp, window);
  npn().releaseobject(locationObject);
  return windowObject;
}

bool jsonToVariant(NPP npp, PageLink& link, const json& doc, const json& value,
                   NPVariant& out) {
  VOID_TO_NPVARIANT(out);
  switch (value.type()) {
    case json::value_t::null:
      NULL_TO_NPVARIANT(out);
      return true;
    case json::value_t::boolean:
      BOOLEAN_TO_NPVARIANT(value.get<bool>(), out);
      return true;
    case json::value_t::number_integer:
    case json::value_t::number_unsigned:
    case json::value_t::number_float: {
      double number = value.get<double>();
      if (std::trunc(number) == number && number >= std::numeric_limits<int32_t>::min() &&
          number <= std::numeric_limits<int32_t>::max())
        INT32_TO_NPVARIANT(static_cast<int32_t>(number), out);
      else
        DOUBLE_TO_NPVARIANT(number, out);
      return true;
    }
    case json::value_t::string:
      Browser::stringToVariant(value.get_ref<const std::string&>(), out);
      return true;
    case json::value_t::array: {
      NPObject* array = npn().createobject(npp, &plainClass);
      auto& properties = reinterpret_cast<PlainObject*>(array)->properties;
      for (std::size_t i = 0; i < value.size(); ++i) {
        NPVariant element;
        if (!jsonToVariant(npp, link, doc, value[i], element)) {
          npn().releaseobject(array);
          return false;
        }
        // Indices are integer identifiers to a plug-in.
        properties[npn().getintidentifier(static_cast<int32_t>(i))] = element;
      }
      INT32_TO_NPVARIANT(static_cast<int32_t>(value.size()),
                         properties[npn().getstringidentifier("length")]);
      OBJECT_TO_NPVARIANT(array, out);
      return true;
    }
    case json::value_t::object: {
      if (value.size() == 1 && value.contains("$void")) return true;
      auto fn = value.find("$fn");
      if (fn == value.end() || !fn->is_number_integer()) return false;
      std::vector<std::string> methods;
      auto listed = value.find("methods");
      if (listed != value.end() && listed->is_array())
        for (const auto& name : *listed)
          if (name.is_string()) methods.push_back(name.get<std::string>());
      OBJECT_TO_NPVARIANT(createPageObject(npp, link, doc, fn->get<std::int64_t>(),
                                           std::move(methods)),
                          out);
      return true;
    }
    default:
      return false;
  }
}

json variantToJson(const NPVariant& value) {
  switch (value.type) {
    case NPVariantType_Void:
      return json{{"$void", true}};
    case NPVariantType_Null:
      return nullptr;
    case NPVariantType_Bool:
      return value.value.boolValue;
    case NPVariantType_Int32:
      return value.value.intValue;
    case NPVariantType_Double:
      if (!std::isfinite(value.value.doubleValue)) return nullptr;
      return value.value.doubleValue;
    case NPVariantType_String:
      return std::string(value.value.stringValue.UTF8Characters,
                         value.value.stringValue.UTF8Length);
    case NPVariantType_Object: {
      std::int64_t fn = pageObjectNumber(value.value.objectValue);
      // Only page values can travel back; a plug-in object has no page form.
      return fn >= 0 ? json{{"$fn", fn}} : json(nullptr);
    }
  }
  return nullptr;
}

}  // namespace Bridge
