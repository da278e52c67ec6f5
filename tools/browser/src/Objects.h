// Every NPObject made through NPN_CreateObject, with its reference count
// kept by the class header; deallocation at zero. Knowing the live set lets
// the host refuse a retain or release of a dead object and list the objects a
// page leaked.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <npapi/npruntime.h>

namespace Browser {

class Objects {
 public:
  static Objects& shared();

  // Receives misuse reports ("release of an object that is not alive").
  void setMisuseSink(std::function<void(const std::string&)> sink);

  NPObject* create(NPP npp, NPClass* aClass);
  // Both report misuse and do nothing for an object that is not alive.
  NPObject* retain(NPObject* object);
  void release(NPObject* object);
  bool isAlive(const NPObject* object) const;

  struct Live {
    NPObject* object;
    NPClass* cls;
    NPP npp;
    uint32_t references;
  };
  std::vector<Live> alive() const;
  // Deallocates an object whatever its count (used for leaks at the end).
  void forceDeallocate(NPObject* object);

 private:
  void deallocate_(NPObject* object);
  void misuse_(const std::string& what);

  std::map<NPObject*, NPP> live_;
  std::function<void(const std::string&)> sink_;
};

}  // namespace Browser
