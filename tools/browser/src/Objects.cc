#include "Objects.h"

#include <cstdio>
#include <cstdlib>

namespace Browser {

namespace {
std::string pointerText(const void* p) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%p", p);
  return buf;
}
}  // namespace

Objects& Objects::shared() {
  static Objects objects;
  return objects;
}

void Objects::setMisuseSink(std::function<void(const std::string&)> sink) {
  sink_ = std::move(sink);
}

void Objects::misuse_(const std::string& what) {
  if (sink_) sink_(what);
}

NPObject* Objects::create(NPP npp, NPClass* aClass) {
  if (!aClass) {
    misuse_("NPN_CreateObject with no class");
    return nullptr;
  }
  NPObject* object = aClass->allocate
                         ? aClass->allocate(npp, aClass)
                         : static_cast<NPObject*>(std::calloc(1, sizeof(NPObject)));
  if (!object) return nullptr;
  object->_class = aClass;
  object->referenceCount = 1;
  live_[object] = npp;
  return object;
}

NPObject* Objects::retain(NPObject* object) {
  if (!object) return nullptr;
  if (!isAlive(object)) {
    misuse_("NPN_RetainObject on an object that is not alive (" + pointerText(object) + ")");
    return object;
  }
  ++object->referenceCount;
  return object;
}

void Objects::release(NPObject* object) {
  if (!object) return;
  if (!isAlive(object)) {
    misuse_("NPN_ReleaseObject on an object that is not alive (" + pointerText(object) + ")");
    return;
  }
  if (--object->referenceCount == 0) deallocate_(object);
}

bool Objects::isAlive(const NPObject* object) const {
  return live_.count(const_cast<NPObject*>(object)) != 0;
}

std::vector<Objects::Live> Objects::alive() const {
  std::vector<Live> out;
  for (const auto& e : live_)
    out.push_back(Live{e.first, e.first->_class, e.second, e.first->referenceCount});
  return out;
}

void Objects::forceDeallocate(NPObject* object) {
  if (isAlive(object)) deallocate_(object);
}

void Objects::deallocate_(NPObject* object) {
  // Forget it first: a deallocate entry may release objects it holds.
  live_.erase(object);
  NPClass* cls = object->_class;
  if (cls && cls->deallocate)
    cls->deallocate(object);
  else
    std::free(object);
}

}  // namespace Browser
