#include "Page.h"

#include <cairo.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <desktop/RunLoop.h>

#include "Memory.h"
#include "ObjectBridge.h"
#include "Objects.h"
#include "PageEnvironment.h"
#include "PluginInstance.h"
#include "PluginModule.h"
#include "ScriptEngine.h"
#include "Streams.h"
#include "TestGlobals.h"

namespace Browser {

namespace {
constexpr int kPageMargin = 10;

std::string baseName(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string pointerText(const void* p) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%p", p);
  return buf;
}

bool readFile(const std::string& path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream text;
  text << in.rdbuf();
  out = text.str();
  return true;
}

Desktop::RunLoop& loop() { return Desktop::RunLoop::main(); }
}  // namespace

Page::Page(PageOptions options) : options_(std::move(options)) {
  url_ = options_.url.empty() ? "http://localhost/" + baseName(options_.pagePath) : options_.url;
  if (!parseLocation(url_, location_)) location_.href = url_;
}

Page::~Page() {
  stopWatchdog_();
  setHost(nullptr);
}

int Page::run() {
  setHost(this);
  startWatchdog_();
  if (start_()) {
    loop().runUntil([this] { return done_(); });
    if (timedOut_)
      diagnostics_.fail(Diagnostics::Kind::Timeout,
                        "the page did not finish within " +
                            std::to_string(static_cast<int>(options_.timeoutSeconds)) +
                            " s (did it call testRunner.notifyDone()?)");
    if (!options_.screenshot.empty()) writeScreenshot_();
  }
  teardown_();
  stopWatchdog_();
  setHost(nullptr);
  return diagnostics_.failed() ? 1 : 0;
}

bool Page::start_() {
  std::string html;
  if (!readFile(options_.pagePath, html)) {
    diagnostics_.fail(Diagnostics::Kind::Usage, "cannot read page " + options_.pagePath);
    return false;
  }
  document_ = parsePage(html);

  loop().bindToCurrentThread();
  loop().setVirtualClock(!options_.realTime);
  window_.reset(new Desktop::Window(document_.title.empty() ? baseName(options_.pagePath)
                                                            : document_.title));
  window_->show();
  Desktop::Application::shared().setMainWindow(window_.get());
  previousResponder_ = Desktop::Application::shared().setPanelResponder(
      [this](Desktop::SavePanel&, const Desktop::PanelSettings& settings) {
        return answerPanel_(settings);
      });

  engine_.reset(new ScriptEngine(options_.timeoutSeconds));
  bridge_.reset(new ObjectBridge(*engine_, [this](const std::string& text) {
    reportUncaught(text);
  }));
  bridge_->install();
  installPageEnvironment(*this);
  installTestGlobals(*this);

  return loadPlugins_() && createInstances_() && runScripts_();
}

bool Page::loadPlugins_() {
  for (const auto& path : options_.plugins) {
    std::string error;
    auto module = PluginModule::load(path, error);
    if (!module) {
      diagnostics_.fail(Diagnostics::Kind::PluginFailure, error);
      return false;
    }
    modules_.push_back(std::move(module));
  }
  return true;
}

bool Page::createInstances_() {
  int y = kPageMargin;
  for (const auto& element : document_.objects) {
    PluginModule* module = nullptr;
    for (auto& m : modules_)
      if (m->handles(element.type)) module = m.get();
    if (!module) {
      diagnostics_.note("no plug-in for object '" + element.id + "' of type '" + element.type +
                        "'; it stays empty");
      continue;
    }
    instances_.emplace_back(new PluginInstance(*module, element, kPageMargin, y));
    PluginInstance& instance = *instances_.back();
    y += element.height + kPageMargin;
    NPError rc = instance.create();
    if (rc != NPERR_NO_ERROR) {
      diagnostics_.fail(Diagnostics::Kind::PluginFailure,
                        "the plug-in refused object '" + element.id + "': NPP_New error " +
                            std::to_string(rc));
      return false;
    }
    if (element.hidden) continue;
    rc = instance.setWindow(window_.get());
    if (rc != NPERR_NO_ERROR)
      diagnostics_.note("NPP_SetWindow for object '" + element.id + "' answered " +
                        std::to_string(rc));
    schedulePaint_(&instance);
  }
  return true;
}

bool Page::runScripts_() {
  for (const auto& script : document_.scripts) {
    std::string source = script.source;
    std::string name = baseName(options_.pagePath);
    if (!script.src.empty()) {
      std::string path = resolveUrl(options_.pagePath, url_, script.src);
      if (path.empty() || !readFile(path, source)) {
        diagnostics_.fail(Diagnostics::Kind::ScriptError, "cannot load script " + script.src);
        return false;
      }
      name = baseName(path);
    } else {
      // Keep line numbers of inline scripts those of the page.
      source = std::string(static_cast<std::size_t>(std::max(script.line - 1, 0)), '\n') + source;
    }
    std::string error;
    if (!engine_->evaluate(source, name, error)) {
      reportUncaught(engine_->timedOut() ? "script ran too long: " + error : error);
      if (diagnostics_.failed()) return false;
    }
  }
  return true;
}

bool Page::done_() const {
  if (timedOut_ || diagnostics_.failed()) return true;
  if (waiting_) return notified_;
  return loop().pendingWorkCount() == 0 && timers_.empty();
}

void Page::reportUncaught(const std::string& text) {
  // window.onerror may handle it, as in a browser, by answering true.
  if (!inUncaught_ && engine_) {
    inUncaught_ = true;
    duk_context* ctx = engine_->ctx();
    ScriptEngine::Scope scope(*engine_);
    duk_push_global_object(ctx);
    duk_get_prop_string(ctx, -1, "onerror");
    bool handled = false;
    if (duk_is_function(ctx, -1)) {
      duk_push_string(ctx, text.c_str());
      handled = duk_pcall(ctx, 1) == DUK_EXEC_SUCCESS && duk_get_boolean_default(ctx, -1, false);
    }
    duk_pop_2(ctx);
    inUncaught_ = false;
    if (handled) return;
  }
  diagnostics_.fail(Diagnostics::Kind::ScriptError, "uncaught script error: " + text);
}

bool Page::hasElement(const std::string& id) const {
  for (const auto& removed : removedIds_)
    if (removed == id) return false;
  for (const auto& known : document_.elementIds)
    if (known == id) return true;
  return false;
}

PluginInstance* Page::instance(const std::string& id) {
  if (!hasElement(id)) return nullptr;
  for (auto& instance : instances_)
    if (instance->element().id == id && instance->alive()) return instance.get();
  return nullptr;
}

void Page::destroyElement(const std::string& id) {
  if (PluginInstance* found = instance(id)) {
    dirty_.erase(found->npp());
    found->destroy();
  }
  removedIds_.push_back(id);
}

int Page::addTimer(double milliseconds) {
  int id = nextTimer_++;
  double seconds = milliseconds > 0 ? milliseconds / 1000.0 : 0;
  timers_[id] = loop().addTimer(seconds, Desktop::kModeDefault, [this, id] { fireTimer_(id); });
  return id;
}

void Page::cancelTimer(int id) {
  auto it = timers_.find(id);
  if (it == timers_.end()) return;
  loop().invalidateTimer(it->second);
  timers_.erase(it);
}

void Page::fireTimer_(int id) {
  if (!timers_.erase(id) || diagnostics_.failed()) return;
  fireScriptTimer(*this, id);
}

NPObject* Page::windowObject() {
  if (!bridge_ || !bridge_->attached()) return nullptr;
  duk_context* ctx = engine_->ctx();
  duk_push_global_object(ctx);
  NPObject* window = bridge_->pageObjectFor(-1);
  duk_pop(ctx);
  return window;
}

NPError Page::getURL(NPP npp, const char* url, const char* target, bool notify,
                     void* notifyData) {
  if (!npp || !isInstanceAlive(npp)) return NPERR_INVALID_INSTANCE_ERROR;
  if (!url) return NPERR_INVALID_URL;
  if (target) {
    diagnostics_.note(std::string("URL requests with a target are not supported: ") + url);
    return NPERR_INVALID_PARAM;
  }
  std::string path = resolveUrl(options_.pagePath, url_, url);
  if (path.empty()) return NPERR_INVALID_URL;
  std::string requested = url;
  // Delivered on a later turn, as a network answer would be.
  loop().performOnMainThread([this, npp, requested, path, notify, notifyData] {
    if (!isInstanceAlive(npp)) return;
    auto* instance = static_cast<PluginInstance*>(npp->ndata);
    deliverFile(instance->funcs(), npp, requested, path, notify, notifyData);
  });
  return NPERR_NO_ERROR;
}

void Page::invalidate(NPP npp, const NPRect* rect) {
  auto* instance = static_cast<PluginInstance*>(npp->ndata);
  NPRect whole{0, 0, static_cast<uint16_t>(instance->element().height),
               static_cast<uint16_t>(instance->element().width)};
  instance->recordInvalidation(rect ? *rect : whole);
  schedulePaint_(instance);
}

void Page::schedulePaint_(PluginInstance* instance) {
  if (!dirty_.insert(instance->npp()).second) return;
  NPP npp = instance->npp();
  // Like a browser, draw on a later turn, once for any number of invalidations.
  loop().performOnMainThread([this, npp] {
    if (!dirty_.erase(npp) || !isInstanceAlive(npp)) return;
    auto* target = static_cast<PluginInstance*>(npp->ndata);
    cairo_surface_t* surface = cairo_image_surface_create(
        CAIRO_FORMAT_ARGB32, target->element().width, target->element().height);
    cairo_t* cr = cairo_create(surface);
    target->draw(cr);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
  });
}

bool Page::isInstanceAlive(NPP npp) {
  for (auto& instance : instances_)
    if (instance->npp() == npp) return instance->alive();
  return false;
}

void Page::setException(const std::string& message) {
  if (bridge_) bridge_->setException(message);
}

bool Page::evaluate(NPP, NPObject*, const std::string& script, NPVariant* result) {
  if (!bridge_ || !bridge_->attached()) return false;
  duk_context* ctx = engine_->ctx();
  ScriptEngine::Scope scope(*engine_);
  duk_push_string(ctx, "(plug-in)");
  if (duk_pcompile_lstring_filename(ctx, DUK_COMPILE_EVAL, script.data(), script.size()) != 0 ||
      duk_pcall(ctx, 0) != DUK_EXEC_SUCCESS) {
    reportUncaught(ScriptEngine::errorText(ctx, -1));
    duk_pop(ctx);
    return false;
  }
  if (result) bridge_->toVariant(-1, *result);
  duk_pop(ctx);
  return true;
}

Desktop::PanelAnswer Page::answerPanel_(const Desktop::PanelSettings& settings) {
  PanelRecord record{settings, "cancel"};
  Desktop::PanelAnswer answer = Desktop::PanelAnswer::cancel();
  if (!answers_.empty()) {
    answer = answers_.front();
    answers_.pop_front();
  }
  if (answer.action == Desktop::PanelAnswer::Action::Choose) record.answer = "choose";
  if (answer.action == Desktop::PanelAnswer::Action::LeaveOpen) record.answer = "ignore";
  panels_.push_back(record);
  return answer;
}

void Page::writeScreenshot_() {
  int width = 2 * kPageMargin, height = kPageMargin;
  for (auto& instance : instances_) {
    width = std::max(width, instance->element().width + 2 * kPageMargin);
    height = std::max(height, instance->y() + instance->element().height + kPageMargin);
  }
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  for (auto& instance : instances_) {
    if (!instance->alive()) continue;
    cairo_save(cr);
    cairo_translate(cr, instance->x(), instance->y());
    cairo_rectangle(cr, 0, 0, instance->element().width, instance->element().height);
    cairo_clip(cr);
    instance->draw(cr);
    cairo_restore(cr);
  }
  cairo_destroy(cr);
  cairo_status_t status = cairo_surface_write_to_png(surface, options_.screenshot.c_str());
  cairo_surface_destroy(surface);
  if (status != CAIRO_STATUS_SUCCESS)
    diagnostics_.fail(Diagnostics::Kind::Usage, "cannot write screenshot " + options_.screenshot +
                                                    ": " + cairo_status_to_string(status));
}

void Page::teardown_() {
  for (auto& instance : instances_) instance->destroy();
  dirty_.clear();
  for (auto& timer : timers_) loop().invalidateTimer(timer.second);
  timers_.clear();
  // Work the plug-in posted before it was destroyed runs now (and finds no
  // instance), so that nothing of it outlives the module.
  for (int i = 0; i < 100000 && loop().pendingWorkCount() > 0; ++i) loop().runOnce(0);

  if (bridge_) bridge_->releaseProxies();
  reportLeaks_();
  if (bridge_) bridge_->detach();
  for (const auto& live : Objects::shared().alive()) Objects::shared().forceDeallocate(live.object);
  bridge_.reset();
  engine_.reset();
  instances_.clear();
  for (auto& module : modules_) module->shutdown();
  modules_.clear();

  if (Memory::shared().liveBlocks() > 0)
    diagnostics_.note(std::to_string(Memory::shared().liveBlocks()) + " block(s) of " +
                      std::to_string(Memory::shared().liveBytes()) +
                      " bytes from NPN_MemAlloc were never freed");
  Memory::shared().releaseAll();
  if (window_) {
    Desktop::Application::shared().setPanelResponder(previousResponder_);
    window_.reset();
  }
}

void Page::reportLeaks_() {
  for (const auto& live : Objects::shared().alive()) {
    std::string what = bridge_ && bridge_->isPageObject(live.object)
                           ? "page object"
                           : "plug-in object of class " + pointerText(live.cls);
    diagnostics_.fail(Diagnostics::Kind::Leak,
                      "leak: " + what + " " + pointerText(live.object) + " still has " +
                          std::to_string(live.references) + " reference(s) at the end of the page");
  }
}

void Page::startWatchdog_() {
  watchdog_ = std::thread([this] {
    std::unique_lock<std::mutex> lock(watchdogMutex_);
    auto deadline = std::chrono::steady_clock::now() +
                    std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                        std::chrono::duration<double>(options_.timeoutSeconds));
    if (watchdogWake_.wait_until(lock, deadline, [this] { return watchdogStop_; })) return;
    timedOut_ = true;
    // Break a modal panel left open as well; repeat until the page has ended.
    while (!watchdogStop_) {
      loop().wakeUp();
      loop().abortModal();
      watchdogWake_.wait_for(lock, std::chrono::milliseconds(200), [this] { return watchdogStop_; });
    }
  });
}

void Page::stopWatchdog_() {
  if (!watchdog_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(watchdogMutex_);
    watchdogStop_ = true;
  }
  watchdogWake_.notify_all();
  watchdog_.join();
}

}  // namespace Browser
