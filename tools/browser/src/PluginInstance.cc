#include "PluginInstance.h"

#include <cstring>

#include "Memory.h"
#include "Objects.h"
#include "PluginModule.h"

namespace Browser {

PluginInstance::PluginInstance(PluginModule& module, ObjectElement element, int x, int y)
    : module_(module), element_(std::move(element)), x_(x), y_(y) {
  npp_.ndata = this;
}

PluginInstance::~PluginInstance() { destroy(); }

const NPPluginFuncs& PluginInstance::funcs() const { return module_.funcs(); }

NPError PluginInstance::create() {
  std::vector<char*> argn;
  std::vector<char*> argv;
  for (auto& a : element_.attributes) {
    argn.push_back(&a.first[0]);
    argv.push_back(&a.second[0]);
  }
  static char separator[] = "PARAM";
  argn.push_back(separator);
  argv.push_back(nullptr);
  for (auto& p : element_.params) {
    argn.push_back(&p.first[0]);
    argv.push_back(&p.second[0]);
  }
  std::string type = element_.type;
  // Alive from here: the plug-in calls back into the browser during NPP_New,
  // and even a failed NPP_New is answered with NPP_Destroy.
  alive_ = true;
  NPError rc = module_.funcs().newp(&type[0], &npp_, NP_EMBED,
                                    static_cast<int16_t>(argn.size()), argn.data(),
                                    argv.data(), nullptr);
  return rc;
}

NPError PluginInstance::setWindow(void* nativeWindow) {
  if (!alive_ || !module_.funcs().setwindow) return NPERR_INVALID_INSTANCE_ERROR;
  window_.window = nativeWindow;
  window_.x = x_;
  window_.y = y_;
  window_.width = static_cast<uint32_t>(element_.width);
  window_.height = static_cast<uint32_t>(element_.height);
  window_.clipRect.top = static_cast<uint16_t>(y_);
  window_.clipRect.left = static_cast<uint16_t>(x_);
  window_.clipRect.bottom = static_cast<uint16_t>(y_ + element_.height);
  window_.clipRect.right = static_cast<uint16_t>(x_ + element_.width);
  window_.type = NPWindowTypeDrawable;
  return module_.funcs().setwindow(&npp_, &window_);
}

NPObject* PluginInstance::scriptableObject() {
  if (!alive_ || askedScriptable_) return scriptable_;
  askedScriptable_ = true;
  NPObject* object = nullptr;
  if (module_.funcs().getvalue &&
      module_.funcs().getvalue(&npp_, NPPVpluginScriptableNPObject, &object) ==
          NPERR_NO_ERROR &&
      object && Objects::shared().isAlive(object))
    scriptable_ = object;
  return scriptable_;
}

int16_t PluginInstance::sendEvent(NPCocoaEvent& event) {
  if (!alive_ || !module_.funcs().event) return 0;
  return module_.funcs().event(&npp_, &event);
}

int16_t PluginInstance::mouse(NPCocoaEventType type) {
  NPCocoaEvent event;
  std::memset(&event, 0, sizeof event);
  event.type = type;
  event.data.mouse.pluginX = element_.width / 2.0;
  event.data.mouse.pluginY = element_.height / 2.0;
  event.data.mouse.clickCount = (type == NPCocoaEventMouseDown || type == NPCocoaEventMouseUp);
  return sendEvent(event);
}

int16_t PluginInstance::focus(bool hasFocus) {
  NPCocoaEvent event;
  std::memset(&event, 0, sizeof event);
  event.type = NPCocoaEventFocusChanged;
  event.data.focus.hasFocus = hasFocus;
  return sendEvent(event);
}

int16_t PluginInstance::scroll(double deltaY) {
  NPCocoaEvent event;
  std::memset(&event, 0, sizeof event);
  event.type = NPCocoaEventScrollWheel;
  event.data.mouse.pluginX = element_.width / 2.0;
  event.data.mouse.pluginY = element_.height / 2.0;
  event.data.mouse.deltaY = deltaY;
  return sendEvent(event);
}

int16_t PluginInstance::draw(cairo_t* cr) {
  NPCocoaEvent event;
  std::memset(&event, 0, sizeof event);
  event.type = NPCocoaEventDrawRect;
  event.data.draw.context = cr;
  event.data.draw.width = element_.width;
  event.data.draw.height = element_.height;
  cairo_save(cr);
  int16_t handled = sendEvent(event);
  cairo_restore(cr);
  return handled;
}

void PluginInstance::destroy() {
  if (!alive_) return;
  alive_ = false;
  NPSavedData* saved = nullptr;
  module_.funcs().destroy(&npp_, &saved);
  // Saved data comes from NPN_MemAlloc and is the browser's to free; this
  // host never hands it back to a later instance.
  if (saved) {
    Memory::shared().free(saved->buf);
    Memory::shared().free(saved);
  }
  if (scriptable_ && Objects::shared().isAlive(scriptable_)) Objects::shared().release(scriptable_);
  scriptable_ = nullptr;
}

std::vector<NPRect> PluginInstance::takeInvalidations() {
  std::vector<NPRect> out;
  out.swap(invalidations_);
  return out;
}

}  // namespace Browser
