// tarsen-web-host: the plug-in's core served to a browser extension through
// native messaging. The host loads the plug-in as a browser would and keeps
// one plug-in instance per page object; every call a page makes becomes a
// call on that instance's scriptable object, so every check, refusal, worker,
// poller and dialog is the plug-in's own. The desktop run loop (real time) is
// the main loop; standard input is read on a thread of its own.
//
// Messages from the extension (doc: the page document, set by the extension;
// url: that document's address as the browser reported it):
//   {"type":"create","doc":D,"id":N,"url":U,"userAgent":A,"parameters":{...}}
//   {"type":"invoke","doc":D,"id":N,"call":C,"method":M,"args":[...]}
//   {"type":"get","doc":D,"id":N,"call":C,"property":P}
//   {"type":"set","doc":D,"id":N,"call":C,"property":P,"value":V}
//   {"type":"destroy","doc":D,"id":N}         {"type":"close","doc":D}
//   {"type":"pieces","doc":D,"token":T}       (the bytes of T could not be fetched)
// A close ends the document's calls at once: its running dialog is aborted,
// its queued messages dropped, its side-channel tokens revoked, its objects
// destroyed and its file approvals forgotten.
// Messages to it:
//   {"type":"created","doc":D,"id":N,"ok":bool[,"error":E]}
//   {"type":"result","doc":D,"call":C,"ok":bool[,"value":V][,"error":E]}
//   {"type":"bytes","doc":D,"call":C,"port":P,"token":T,"prefix":"data:...;base64,"}
//     (a long data URL: its bytes wait on the side channel, see SideChannel.h; the create
//     message's "extension" names the origin that fetches them)
//   {"type":"call","doc":D,"fn":F[,"method":M],"args":[...]}
//   {"type":"release","doc":D,"fn":F}
//   {"type":"error"[,"doc":D][,"call":C],"message":E}
#pragma once

#include <chrono>
#include <deque>
#include <map>
#include <set>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include <desktop/Panel.h>
#include <desktop/Window.h>

#include "ZenityPanels.h"

#include "BrowserFuncs.h"
#include "Diagnostics.h"
#include "PageObjects.h"
#include "SideChannel.h"

namespace Browser {
class PluginInstance;
class PluginModule;
}  // namespace Browser

namespace Bridge {

struct HostOptions {
  std::string pluginPath;
  // Scripted panel answers (the JSON form of user.answerPanels, and objects
  // {"cancel": true} and {"ignore": true}; an object may name the "title" it
  // answers, any other is cancelled); empty: none.
  std::string answersPath;
  // Show real panels (zenity) when no answers are scripted.
  bool interactivePanels = false;
  // Bench only: answer echo messages (see echo_).
  bool benchEcho = false;
  int in = 0;
  int out = 1;
};

class WebHost : public Browser::Host, public PageLink {
 public:
  explicit WebHost(HostOptions options);
  ~WebHost() override;
  WebHost(const WebHost&) = delete;
  WebHost& operator=(const WebHost&) = delete;

  // Until standard input closes; then every instance is destroyed. The exit
  // status (0 unless the plug-in could not be loaded).
  int run();

  // Browser::Host
  Browser::Diagnostics& diagnostics() override { return diagnostics_; }
  const char* userAgent() override { return userAgent_.c_str(); }
  bool supportsCoreGraphics() override { return true; }
  bool supportsCocoaEvents() override { return true; }
  NPObject* windowObject() override;
  void* nativeWindow() override { return window_.get(); }
  NPError getURL(NPP, const char*, const char*, bool, void*) override;
  void invalidate(NPP, const NPRect*) override {}
  bool isInstanceAlive(NPP npp) override;
  void setException(const std::string& message) override { exception_ = message; }
  bool evaluate(NPP, NPObject*, const std::string&, NPVariant*) override { return false; }

  // PageLink
  void callPage(const json& doc, std::int64_t fn, const std::string& method,
                json args) override;
  void releasePage(const json& doc, std::int64_t fn) override;

 private:
  struct Instance;
  using Key = std::pair<std::string, std::int64_t>;  // document, object id
  // A message read, or why it could not be (then `message` holds what of its
  // doc and call could be made out).
  struct Incoming {
    json message;
    std::string refusal;
    std::chrono::steady_clock::time_point read;  // bench only
  };
  // Bench only: where a call's time went in the host (see traced_).
  struct Trace {
    std::chrono::steady_clock::time_point read, handling, core, cored;
  };

  void readInput_();
  bool echo_(const std::string& text);
  void receive_(std::string text, std::chrono::steady_clock::time_point read);
  void closing_(const json& doc);
  void drain_();
  void handle_(const Incoming& incoming);
  void create_(const json& message);
  void call_(const json& message, Instance& instance);
  void destroy_(const Key& key);
  void closeDocument_(const json& doc);
  void closeDeferred_();
  bool sendAside_(const json& answer, const Instance& instance, NPVariant& result);
  void sendUnfetched_(const std::string& token, bool asked);
  void note_(const std::string& line);
  void send_(const json& message);
  void sendError_(const json& message, const std::string& text);
  json traced_(const json& trace) const;
  Instance* find_(const json& message);
  void loadAnswers_();
  Desktop::PanelAnswer answerPanel_(Desktop::SavePanel& panel,
                                    const Desktop::PanelSettings& settings);
  void teardown_();

  HostOptions options_;
  Browser::Diagnostics diagnostics_;
  std::unique_ptr<Browser::PluginModule> module_;
  std::string loadError_;
  std::unique_ptr<Desktop::Window> window_;
  Desktop::PanelResponder previousResponder_;
  struct Scripted {
    Desktop::PanelAnswer answer;
    std::string title;  // when not empty: the only title the user answers
  };
  std::deque<Scripted> answers_;
  std::unique_ptr<Desktop::ZenityPanels> zenity_;  // a person answers
  std::map<Key, std::unique_ptr<Instance>> instances_;
  Instance* creating_ = nullptr;
  std::string userAgent_;
  std::string exception_;

  void (*forgetApprovals_)(const char* pageHost) = nullptr;  // the plug-in's
  std::map<std::string, std::set<std::string>> docHosts_;  // document -> page hosts
  std::set<std::string> closed_;          // documents closed (their late messages drop)
  std::vector<json> deferredCloses_;      // until a running dialog has unwound
  Desktop::TimerId closeTimer_ = 0;
  json dialogDoc_;                        // the document of the last dialog call
  std::string dialogHost_;                // and its page host

  // Long answers waiting on the side channel, by token, until their document closes.
  struct Aside {
    json doc;
    json call;
    Desktop::TimerId timer = 0;
  };
  std::unique_ptr<SideChannel> side_;
  std::map<std::string, Aside> asides_;

  std::deque<Incoming> inbox_;     // main thread only
  bool busy_ = false;              // a message is being handled (maybe in a nested run)
  Trace trace_;                    // of the message handled now (bench only)
  bool inputClosed_ = false;       // main thread only
  std::thread reader_;
  std::mutex outMutex_;
  bool outBroken_ = false;
};

}  // namespace Bridge
