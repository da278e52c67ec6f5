// What went wrong on a page: uncaught script errors, plug-in failures, NPAPI
// misuse and leaks. Collected as they happen, printed on standard error, and
// turned into the exit status at the end.
#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace Browser {

class Diagnostics {
 public:
  enum class Kind { ScriptError, PluginFailure, Misuse, Leak, Timeout, Usage };

  // Records and prints "tarsen-browser: <what>" at once. Any thread.
  void fail(Kind kind, const std::string& what);
  // A note that does not fail the page (also printed on standard error).
  void note(const std::string& what);

  bool failed() const;
  std::size_t count(Kind kind) const;
  std::vector<std::string> messages(Kind kind) const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::pair<Kind, std::string>> entries_;
};

}  // namespace Browser
