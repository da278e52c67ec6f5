// The browser side of NPAPI: the function table handed to NP_Initialize.
// Object, identifier, variant and memory entries are complete here; the
// entries that need a page (values, URLs, invalidation, exceptions) ask the
// installed Host.
#pragma once

#include <string>

#include <npapi/npfunctions.h>

namespace Browser {

class Diagnostics;

class Host {
 public:
  virtual ~Host() = default;
  virtual Diagnostics& diagnostics() = 0;
  virtual const char* userAgent() = 0;
  virtual bool supportsCoreGraphics() = 0;
  virtual bool supportsCocoaEvents() = 0;
  // The page's window object, retained for the caller; null when none.
  virtual NPObject* windowObject() = 0;
  virtual void* nativeWindow() = 0;
  virtual NPError getURL(NPP npp, const char* url, const char* target, bool notify,
                         void* notifyData) = 0;
  virtual void invalidate(NPP npp, const NPRect* rect) = 0;
  virtual bool isInstanceAlive(NPP npp) = 0;
  virtual void setException(const std::string& message) = 0;
  virtual bool evaluate(NPP npp, NPObject* scope, const std::string& script,
                        NPVariant* result) = 0;
};

// The host that the table's entries serve; null detaches (entries then
// answer errors). Main thread.
void setHost(Host* host);

// NPN_MemAlloc refuses blocks larger than this (0: no limit), so that pages
// can see how a plug-in answers when browser memory cannot be had.
void setPluginMemoryLimit(uint32_t bytes);

// The complete table: size 472, every entry non-null.
const NPNetscapeFuncs& browserFuncs();

// A string variant holding a copy of `text` in NPN_MemAlloc memory, as a
// browser hands strings to plug-ins.
void stringToVariant(const std::string& text, NPVariant& out);

}  // namespace Browser
