// Interned NPAPI identifiers: one handle per distinct name or integer, for the
// life of the process, as plug-ins may keep them in static tables.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include <npapi/npruntime.h>

namespace Browser {

class Identifiers {
 public:
  static Identifiers& shared();

  NPIdentifier forString(const std::string& name);
  NPIdentifier forInt(int32_t value);

  // False for handles that this table never gave out.
  bool isKnown(NPIdentifier id) const;
  // Both answer false / leave `out` unchanged for unknown handles or for a
  // handle of the other kind.
  bool isString(NPIdentifier id) const;
  bool stringOf(NPIdentifier id, std::string& out) const;
  bool intOf(NPIdentifier id, int32_t& out) const;

 private:
  struct Entry {
    bool isString;
    std::string name;
    int32_t value;
  };
  const Entry* find_(NPIdentifier id) const;

  mutable std::mutex mutex_;
  std::map<std::string, std::unique_ptr<Entry>> strings_;
  std::map<int32_t, std::unique_ptr<Entry>> ints_;
  std::map<const void*, const Entry*> all_;
};

}  // namespace Browser
