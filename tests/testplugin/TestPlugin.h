// Shared state of the test plug-in: the browser's table and one record per
// instance.
#pragma once

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <npapi/npfunctions.h>

namespace TestPlugin {

extern NPNetscapeFuncs browser;

struct Instance {
  NPP npp = nullptr;
  NPObject* scriptable = nullptr;
  std::string hostname;
  std::string title = "Test plug-in";
  std::string name;
  NPObject* handler = nullptr;  // retained while set
  int draws = 0;
  int events = 0;
  std::string lastEvent;
  bool framed = false;
  std::vector<std::thread> workers;

  // One fetch at a time: its page function, the bytes and the blocks.
  NPObject* fetchCallback = nullptr;
  std::string fetched;
  int blocks = 0;
  bool inOrder = true;
};

// The scriptable object of an instance (its class lives in TestObjects.cc).
NPObject* createScriptable(Instance* instance);
void detachScriptable(NPObject* scriptable);
// A plain plug-in object with a property "answer" (42) and a method "twice".
NPObject* createValueObject(NPP npp);

// Helpers for results.
void setString(NPVariant* out, const std::string& text);
std::string toText(const NPVariant& value);

}  // namespace TestPlugin
