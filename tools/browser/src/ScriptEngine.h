// The page's script engine: one Duktape heap with an execution budget. Every
// entry into script from outside (a page script, a timer, a plug-in calling a
// page function) runs under a Scope; the outermost Scope starts the budget,
// and a script still running when it runs out ends with a RangeError.
#pragma once

#include <chrono>
#include <string>

#include <duktape.h>

namespace Browser {

class ScriptEngine {
 public:
  explicit ScriptEngine(double budgetSeconds);
  ~ScriptEngine();
  ScriptEngine(const ScriptEngine&) = delete;
  ScriptEngine& operator=(const ScriptEngine&) = delete;

  duk_context* ctx() const { return ctx_; }

  class Scope {
   public:
    explicit Scope(ScriptEngine& engine);
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

   private:
    ScriptEngine& engine_;
  };

  // Compiles and runs a whole script. On failure `error` gets the message.
  bool evaluate(const std::string& source, const std::string& fileName, std::string& error);

  // The readable text of the error value at idx ("TypeError: ... (page.html:12)").
  static std::string errorText(duk_context* ctx, duk_idx_t idx);

  // True once a script has been stopped for running too long.
  bool timedOut() const { return timedOut_; }
  // Called by the interpreter (through the configuration hook).
  bool budgetExceeded();

 private:
  duk_context* ctx_ = nullptr;
  std::chrono::steady_clock::duration budget_;
  std::chrono::steady_clock::time_point deadline_;
  int depth_ = 0;
  bool timedOut_ = false;
};

}  // namespace Browser
