// One plug-in instance for one object element, driven the way a macOS
// browser drives it: NPP_New, NPP_SetWindow, the scriptable object, Cocoa
// events, NPP_Destroy.
#pragma once

#include <cairo.h>

#include <string>
#include <vector>

#include <npapi/npfunctions.h>

#include "PageLoader.h"

namespace Browser {

class PluginModule;

class PluginInstance {
 public:
  // x, y: where the element sits in the page.
  PluginInstance(PluginModule& module, ObjectElement element, int x, int y);
  ~PluginInstance();
  PluginInstance(const PluginInstance&) = delete;
  PluginInstance& operator=(const PluginInstance&) = delete;

  // NPP_New in embed mode; argn/argv are the element's attributes, the
  // "PARAM" separator (value null) and then its parameters.
  NPError create();
  NPError setWindow(void* nativeWindow);
  // NPP_GetValue(15), asked once; the instance keeps the browser's reference.
  NPObject* scriptableObject();

  int16_t sendEvent(NPCocoaEvent& event);
  int16_t mouse(NPCocoaEventType type);
  int16_t focus(bool hasFocus);
  int16_t scroll(double deltaY);
  // A draw event over the whole area with `cr` (origin at the area's corner).
  int16_t draw(cairo_t* cr);

  // NPP_Destroy (once), then the browser's reference to the scriptable object
  // is released.
  void destroy();
  bool alive() const { return alive_; }

  NPP npp() { return &npp_; }
  const ObjectElement& element() const { return element_; }
  const NPPluginFuncs& funcs() const;
  int x() const { return x_; }
  int y() const { return y_; }

  void recordInvalidation(const NPRect& rect) { invalidations_.push_back(rect); }
  std::vector<NPRect> takeInvalidations();

 private:
  PluginModule& module_;
  ObjectElement element_;
  int x_;
  int y_;
  NPP_t npp_{};
  NPWindow window_{};
  bool alive_ = false;
  bool askedScriptable_ = false;
  NPObject* scriptable_ = nullptr;
  std::vector<NPRect> invalidations_;
};

}  // namespace Browser
