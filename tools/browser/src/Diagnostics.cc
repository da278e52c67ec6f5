#include "Diagnostics.h"

#include <cstdio>

namespace Browser {

void Diagnostics::fail(Kind kind, const std::string& what) {
  std::lock_guard<std::mutex> lock(mutex_);
  entries_.emplace_back(kind, what);
  std::fprintf(stderr, "tarsen-browser: %s\n", what.c_str());
  std::fflush(stderr);
}

void Diagnostics::note(const std::string& what) {
  std::fprintf(stderr, "tarsen-browser: %s\n", what.c_str());
  std::fflush(stderr);
}

bool Diagnostics::failed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return !entries_.empty();
}

std::size_t Diagnostics::count(Kind kind) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::size_t n = 0;
  for (const auto& e : entries_) n += e.first == kind;
  return n;
}

std::vector<std::string> Diagnostics::messages(Kind kind) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> out;
  for (const auto& e : entries_)
    if (e.first == kind) out.push_back(e.second);
  return out;
}

}  // namespace Browser
