#include "host/taUtility.h"

#include <cstdlib>
#include <cstring>

#include <taplatform/talog.h>

#include "common/Policy.h"
#include "host/BrowserFuncs.h"

namespace Harlune {
namespace Web {

void TW_CharPtrToNPStringVariant(const char* text, NPVariant* out) {
  const size_t length = text ? std::strlen(text) : 0;
  char* copy = nullptr;
  if (text) {
    copy = static_cast<char*>(NPN_MemAlloc(static_cast<uint32_t>(length + 1)));
    if (copy) {
      std::memcpy(copy, text, length + 1);
    }
  }
  out->type = NPVariantType_String;
  out->value.stringValue.UTF8Characters = copy;
  out->value.stringValue.UTF8Length = copy ? static_cast<uint32_t>(length) : 0;
}

char* TW_NPStringToCharPtr(const NPString* string) {
  const uint32_t length = string ? string->UTF8Length : 0;
  char* copy = static_cast<char*>(std::malloc(length + 1));
  if (!copy) return nullptr;
  if (length) std::memcpy(copy, string->UTF8Characters, length);
  copy[length] = '\0';
  return copy;
}

std::string TW_NPStringToString(const NPString& string) {
  // Same text as TW_NPStringToCharPtr: script strings may hold NUL bytes, and
  // the C text ends at the first one.
  char* copy = TW_NPStringToCharPtr(&string);
  std::string text = copy ? copy : "";
  std::free(copy);
  return text;
}

namespace {
bool stringEquals(const NPVariant& value, const char* text) {
  const NPString& s = NPVARIANT_TO_STRING(value);
  return s.UTF8Length == std::strlen(text) && std::memcmp(s.UTF8Characters, text, s.UTF8Length) == 0;
}
}  // namespace

bool npvariantIsBoolean(const NPVariant& value) {
  if (NPVARIANT_IS_BOOLEAN(value)) return true;
  return NPVARIANT_IS_STRING(value) && (stringEquals(value, "true") || stringEquals(value, "false"));
}

bool npvariantToBoolean(const NPVariant& value) {
  if (NPVARIANT_IS_BOOLEAN(value)) return NPVARIANT_TO_BOOLEAN(value);
  return NPVARIANT_IS_STRING(value) && stringEquals(value, "true");
}

bool npvariantIsNumber(const NPVariant& value) {
  return NPVARIANT_IS_INT32(value) || NPVARIANT_IS_DOUBLE(value);
}

NPError TW_CocoaEventsSupportedCheck(NPP npp) {
  NPBool supported = false;
  NPError err = NPN_GetValue(npp, NPNVsupportsCoreGraphicsBool, &supported);
  if (err != NPERR_NO_ERROR || !supported) {
    TA_LOG(1, "CoreGraphics drawing model not supported (%d)", err);
    return err;
  }
  err = NPN_SetValue(npp, NPPVpluginDrawingModel,
                     reinterpret_cast<void*>(static_cast<intptr_t>(NPDrawingModelCoreGraphics)));
  if (err != NPERR_NO_ERROR) {
    TA_LOG(1, "Error setting CoreGraphics drawing model (%d)", err);
    return err;
  }
  supported = false;
  err = NPN_GetValue(npp, NPNVsupportsCocoaBool, &supported);
  if (err != NPERR_NO_ERROR || !supported) {
    TA_LOG(1, "Cocoa event model not supported (%d)", err);
    return err;
  }
  err = NPN_SetValue(npp, NPPVpluginEventModel,
                     reinterpret_cast<void*>(static_cast<intptr_t>(NPEventModelCocoa)));
  if (err != NPERR_NO_ERROR) {
    TA_LOG(1, "Error setting Cocoa event model (%d)", err);
    return err;
  }
  return NPERR_NO_ERROR;
}

namespace {
// Reads obj[name] as an object; null (with nothing to release) otherwise.
NPObject* objectProperty(NPP npp, NPObject* obj, const char* name) {
  NPVariant value;
  VOID_TO_NPVARIANT(value);
  if (!obj || !NPN_GetProperty(npp, obj, NPN_GetStringIdentifier(name), &value)) return nullptr;
  if (NPVARIANT_IS_OBJECT(value)) return NPVARIANT_TO_OBJECT(value);
  NPN_ReleaseVariantValue(&value);
  return nullptr;
}
}  // namespace

std::string TW_GetPageHostname(NPP npp) {
  std::string host;
  NPObject* window = nullptr;
  if (NPN_GetValue(npp, NPNVWindowNPObject, &window) == NPERR_NO_ERROR && window) {
    if (NPObject* location = objectProperty(npp, window, "location")) {
      NPVariant value;
      VOID_TO_NPVARIANT(value);
      if (NPN_GetProperty(npp, location, NPN_GetStringIdentifier("hostname"), &value)) {
        if (NPVARIANT_IS_STRING(value)) host = TW_NPStringToString(NPVARIANT_TO_STRING(value));
        NPN_ReleaseVariantValue(&value);
      }
      NPN_ReleaseObject(location);
    }
    NPN_ReleaseObject(window);
  }
  // Guarded, a page without a host (a file) stays without one: its approvals
  // and identifiers are no http page's, whatever that page's host.
  if (host.empty() && !Policy::guarded()) host = "localhost";
  TA_LOG(3, "Hostname: %s", host.empty() ? "(none)" : host.c_str());
  return host;
}

}  // namespace Web
}  // namespace Harlune
