// Conversions between script values and C text, and the host questions an
// instance asks the browser.
#pragma once

#include <string>

#include <npapi/npapi.h>
#include <npapi/npruntime.h>

namespace Harlune {
namespace Web {

// Copies `text` into browser memory; the browser owns the copy. Null gives an
// empty string.
void TW_CharPtrToNPStringVariant(const char* text, NPVariant* out);
// A malloc'd, NUL-terminated copy; the caller frees it.
char* TW_NPStringToCharPtr(const NPString* string);
// The same, as a std::string.
std::string TW_NPStringToString(const NPString& string);

// A bool, or a string that is exactly "true" or "false".
bool npvariantIsBoolean(const NPVariant& value);
bool npvariantToBoolean(const NPVariant& value);
bool npvariantIsNumber(const NPVariant& value);

// Negotiates the CoreGraphics drawing model and the Cocoa event model.
NPError TW_CocoaEventsSupportedCheck(NPP npp);
// window.location.hostname of the embedding page; without one "localhost"
// (literal) or "" (guarded: a host-less page is no http page's equal).
std::string TW_GetPageHostname(NPP npp);

}  // namespace Web
}  // namespace Harlune
