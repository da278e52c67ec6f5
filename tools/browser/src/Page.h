// One page from start to end: plug-ins loaded, objects instantiated, scripts
// run in order, the desktop run loop turned until the page is done, then the
// teardown with its leak and misuse report. Also the Host that the browser
// function table serves.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <desktop/Panel.h>
#include <desktop/Window.h>

#include "BrowserFuncs.h"
#include "Diagnostics.h"
#include "Location.h"
#include "PageLoader.h"

namespace Browser {

class ObjectBridge;
class PluginInstance;
class PluginModule;
class ScriptEngine;

struct PageOptions {
  std::string pagePath;
  std::vector<std::string> plugins;
  std::string url;  // empty: http://localhost/NAME.html
  std::string userAgent =
      "Mozilla/5.0 (Macintosh; Intel Mac OS X 10.15; rv:52.0) Gecko/20100101 Firefox/52.0";
  double timeoutSeconds = 30;
  bool coreGraphics = true;
  bool cocoaEvents = true;
  bool realTime = false;
  std::string screenshot;  // PNG file to write at the end
};

// A panel as the page's user saw it, and how it was answered.
struct PanelRecord {
  Desktop::PanelSettings settings;
  std::string answer;  // "choose", "cancel" or "ignore"
};

class Page : public Host {
 public:
  explicit Page(PageOptions options);
  ~Page() override;
  Page(const Page&) = delete;
  Page& operator=(const Page&) = delete;

  // Runs the page; the process exit status (0: finished cleanly).
  int run();

  // Host
  Diagnostics& diagnostics() override { return diagnostics_; }
  const char* userAgent() override { return options_.userAgent.c_str(); }
  bool supportsCoreGraphics() override { return options_.coreGraphics; }
  bool supportsCocoaEvents() override { return options_.cocoaEvents; }
  NPObject* windowObject() override;
  void* nativeWindow() override { return window_.get(); }
  NPError getURL(NPP npp, const char* url, const char* target, bool notify,
                 void* notifyData) override;
  void invalidate(NPP npp, const NPRect* rect) override;
  bool isInstanceAlive(NPP npp) override;
  void setException(const std::string& message) override;
  bool evaluate(NPP npp, NPObject* scope, const std::string& script,
                NPVariant* result) override;

  // For the page environment and the test globals.
  ObjectBridge& bridge() { return *bridge_; }
  ScriptEngine& engine() { return *engine_; }
  const PageOptions& options() const { return options_; }
  const std::string& url() const { return url_; }
  const Location& location() const { return location_; }
  const PageDocument& document() const { return document_; }
  bool hasElement(const std::string& id) const;
  PluginInstance* instance(const std::string& id);
  void destroyElement(const std::string& id);
  int addTimer(double milliseconds);
  void cancelTimer(int id);
  void waitUntilDone() { waiting_ = true; }
  void notifyDone() { notified_ = true; }
  void reportUncaught(const std::string& text);
  void queuePanelAnswer(const Desktop::PanelAnswer& answer) { answers_.push_back(answer); }
  const std::vector<PanelRecord>& panels() const { return panels_; }

 private:
  bool start_();
  bool loadPlugins_();
  bool createInstances_();
  bool runScripts_();
  bool done_() const;
  void fireTimer_(int id);
  void schedulePaint_(PluginInstance* instance);
  void writeScreenshot_();
  void teardown_();
  void reportLeaks_();
  Desktop::PanelAnswer answerPanel_(const Desktop::PanelSettings& settings);
  void startWatchdog_();
  void stopWatchdog_();

  PageOptions options_;
  std::string url_;
  Location location_;
  PageDocument document_;
  Diagnostics diagnostics_;
  std::vector<std::unique_ptr<PluginModule>> modules_;
  std::unique_ptr<ScriptEngine> engine_;
  std::unique_ptr<ObjectBridge> bridge_;
  std::vector<std::unique_ptr<PluginInstance>> instances_;
  std::vector<std::string> removedIds_;
  std::unique_ptr<Desktop::Window> window_;
  Desktop::PanelResponder previousResponder_;
  std::deque<Desktop::PanelAnswer> answers_;
  std::vector<PanelRecord> panels_;
  std::set<NPP> dirty_;  // instances waiting for a draw after invalidation
  std::map<int, unsigned long long> timers_;  // page timer id -> run loop timer
  int nextTimer_ = 1;
  bool waiting_ = false;
  bool notified_ = false;
  bool inUncaught_ = false;

  std::atomic<bool> timedOut_{false};
  std::thread watchdog_;
  std::mutex watchdogMutex_;
  std::condition_variable watchdogWake_;
  bool watchdogStop_ = false;
};

}  // namespace Browser
