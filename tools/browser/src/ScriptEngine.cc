#include "ScriptEngine.h"

#include <cstdio>
#include <cstdlib>

extern "C" int tarsen_duk_exec_timeout(void* udata) {
  auto* engine = static_cast<Browser::ScriptEngine*>(udata);
  return engine && engine->budgetExceeded() ? 1 : 0;
}

namespace Browser {

namespace {
void fatal(void*, const char* message) {
  std::fprintf(stderr, "tarsen-browser: script engine fatal error: %s\n",
               message ? message : "(no message)");
  std::abort();
}
}  // namespace

ScriptEngine::ScriptEngine(double budgetSeconds)
    : budget_(std::chrono::duration_cast<std::chrono::steady_clock::duration>(
          std::chrono::duration<double>(budgetSeconds))) {
  ctx_ = duk_create_heap(nullptr, nullptr, nullptr, this, fatal);
  if (!ctx_) fatal(nullptr, "cannot create the heap");
}

ScriptEngine::~ScriptEngine() { duk_destroy_heap(ctx_); }

ScriptEngine::Scope::Scope(ScriptEngine& engine) : engine_(engine) {
  if (engine_.depth_++ == 0)
    engine_.deadline_ = std::chrono::steady_clock::now() + engine_.budget_;
}

ScriptEngine::Scope::~Scope() { --engine_.depth_; }

bool ScriptEngine::budgetExceeded() {
  if (depth_ == 0) return false;
  if (std::chrono::steady_clock::now() < deadline_) return false;
  timedOut_ = true;
  return true;
}

bool ScriptEngine::evaluate(const std::string& source, const std::string& fileName,
                            std::string& error) {
  Scope scope(*this);
  duk_push_string(ctx_, fileName.c_str());
  if (duk_pcompile_lstring_filename(ctx_, 0, source.data(), source.size()) != 0) {
    error = errorText(ctx_, -1);
    duk_pop(ctx_);
    return false;
  }
  bool ok = duk_pcall(ctx_, 0) == DUK_EXEC_SUCCESS;
  if (!ok) error = errorText(ctx_, -1);
  duk_pop(ctx_);
  return ok;
}

std::string ScriptEngine::errorText(duk_context* ctx, duk_idx_t idx) {
  idx = duk_normalize_index(ctx, idx);
  std::string where;
  if (duk_is_error(ctx, idx)) {
    duk_get_prop_string(ctx, idx, "fileName");
    duk_get_prop_string(ctx, idx, "lineNumber");
    if (duk_is_string(ctx, -2) && duk_is_number(ctx, -1))
      where = std::string(" (") + duk_get_string(ctx, -2) + ":" +
              std::to_string(static_cast<long>(duk_get_number(ctx, -1))) + ")";
    duk_pop_2(ctx);
  }
  duk_dup(ctx, idx);
  std::string text = duk_safe_to_string(ctx, -1);
  duk_pop(ctx);
  return text + where;
}

}  // namespace Browser
