// The browser side a benchmark's plug-in instance sees: no page, no window,
// no network. A script exception is recorded in the diagnostics; a benchmark
// that cannot go on after one overrides setException.
#pragma once

#include <string>

#include "BrowserFuncs.h"
#include "Diagnostics.h"

class HeadlessHost : public Browser::Host {
public:
  explicit HeadlessHost(const char* userAgent) : _userAgent(userAgent) {}

  Browser::Diagnostics& diagnostics() override { return _diagnostics; }
  const char* userAgent() override { return _userAgent; }
  bool supportsCoreGraphics() override { return true; }
  bool supportsCocoaEvents() override { return true; }
  NPObject* windowObject() override { return nullptr; }
  void* nativeWindow() override { return nullptr; }
  NPError getURL(NPP, const char*, const char*, bool, void*) override {
    return NPERR_GENERIC_ERROR;
  }
  void invalidate(NPP, const NPRect*) override {}
  bool isInstanceAlive(NPP) override { return true; }
  void setException(const std::string& message) override {
    _diagnostics.fail(Browser::Diagnostics::Kind::ScriptError, message);
  }
  bool evaluate(NPP, NPObject*, const std::string&, NPVariant*) override { return false; }

private:
  const char* _userAgent;
  Browser::Diagnostics _diagnostics;
};
