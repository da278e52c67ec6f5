#include "Identifiers.h"

namespace Browser {

Identifiers& Identifiers::shared() {
  static Identifiers table;
  return table;
}

NPIdentifier Identifiers::forString(const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto& slot = strings_[name];
  if (!slot) {
    slot.reset(new Entry{true, name, 0});
    all_[slot.get()] = slot.get();
  }
  return slot.get();
}

NPIdentifier Identifiers::forInt(int32_t value) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto& slot = ints_[value];
  if (!slot) {
    slot.reset(new Entry{false, std::string(), value});
    all_[slot.get()] = slot.get();
  }
  return slot.get();
}

const Identifiers::Entry* Identifiers::find_(NPIdentifier id) const {
  auto it = all_.find(id);
  return it == all_.end() ? nullptr : it->second;
}

bool Identifiers::isKnown(NPIdentifier id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return find_(id) != nullptr;
}

bool Identifiers::isString(NPIdentifier id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const Entry* e = find_(id);
  return e && e->isString;
}

bool Identifiers::stringOf(NPIdentifier id, std::string& out) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const Entry* e = find_(id);
  if (!e || !e->isString) return false;
  out = e->name;
  return true;
}

bool Identifiers::intOf(NPIdentifier id, int32_t& out) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const Entry* e = find_(id);
  if (!e || e->isString) return false;
  out = e->value;
  return true;
}

}  // namespace Browser
