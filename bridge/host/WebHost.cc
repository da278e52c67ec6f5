#include "WebHost.h"

#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>

#include <desktop/RunLoop.h>
#include <desktop/System.h>

#include "Memory.h"
#include "Objects.h"
#include "PluginInstance.h"
#include "PluginModule.h"
#include "Wire.h"

namespace Bridge {

namespace {

const char kMimeType[] = "application/x-tarsen-web";
// Until the extension says which browser it runs in.
const char kDefaultUserAgent[] =
    "Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome Safari/537.36";

Desktop::RunLoop& loop() { return Desktop::RunLoop::main(); }
const NPNetscapeFuncs& npn() { return Browser::browserFuncs(); }
using Clock = std::chrono::steady_clock;

std::string docKey(const json& doc) { return doc.dump(); }

// Data URLs longer than this go on the side channel; shorter ones fit a few pieces.
constexpr std::size_t kSideThreshold = 1024 * 1024;
// How long the bytes wait for the extension's fetch.
constexpr double kSideLifetime = 10;

// The origin of the extension's own pages, as its service worker reports it.
bool isExtensionOrigin(const std::string& origin) {
  for (const char* scheme : {"chrome-extension://", "moz-extension://"}) {
    const std::size_t length = std::strlen(scheme);
    if (origin.compare(0, length, scheme) == 0 && origin.size() > length &&
        origin.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-", length) ==
            std::string::npos)
      return true;
  }
  return false;
}

// The texts a browser's script engine raises when a plug-in answers false.
std::string refusalText(const std::string& type) {
  if (type == "get") return "Error getting property on NPObject!";
  if (type == "set") return "Error setting property on NPObject!";
  return "Error calling method on NPObject!";
}

}  // namespace

struct WebHost::Instance {
  json doc;
  std::int64_t id = 0;
  std::string url;
  std::string extension;  // the origin that fetches its side answers; empty: none do
  std::unique_ptr<Browser::PluginInstance> plugin;
  NPObject* window = nullptr;  // retained
  NPObject* scriptable = nullptr;  // the plug-in instance keeps the reference
};

WebHost::WebHost(HostOptions options)
    : options_(std::move(options)), userAgent_(kDefaultUserAgent) {}

WebHost::~WebHost() {
  if (reader_.joinable()) reader_.join();
}

int WebHost::run() {
  // A browser that goes away mid-write must not end the host before its
  // instances are torn down.
  std::signal(SIGPIPE, SIG_IGN);
  Browser::setHost(this);
  loop().bindToCurrentThread();
  loop().setVirtualClock(false);
  window_.reset(new Desktop::Window("Tarsen Web"));
  window_->show();
  Desktop::Application::shared().setMainWindow(window_.get());
  loadAnswers_();
  if (options_.interactivePanels) zenity_.reset(new Desktop::ZenityPanels());
  previousResponder_ = Desktop::Application::shared().setPanelResponder(
      [this](Desktop::SavePanel& panel, const Desktop::PanelSettings& settings) {
        return answerPanel_(panel, settings);
      });

  module_ = Browser::PluginModule::load(options_.pluginPath, loadError_);
  if (!module_) diagnostics_.fail(Browser::Diagnostics::Kind::PluginFailure, loadError_);
  else
    forgetApprovals_ =
        reinterpret_cast<void (*)(const char*)>(module_->symbol("TW_ForgetApprovals"));

  side_.reset(new SideChannel([] { return loop().now(); }, kSideLifetime));
  if (!side_->start()) side_.reset();

  reader_ = std::thread([this] { readInput_(); });
  loop().runUntil([this] { return inputClosed_ && !busy_; });
  teardown_();
  return module_ || loadError_.empty() ? 0 : 1;
}

void WebHost::readInput_() {
  for (;;) {
    std::string text;
    std::uint32_t length = 0;
    ReadResult result = readMessage(options_.in, text, kMaxIncoming, &length);
    if (result == ReadResult::End) break;
    if (result == ReadResult::Oversized)
      text = "\x01" + std::to_string(length);  // not JSON: marks the refusal below
    const auto read = options_.benchEcho ? Clock::now() : Clock::time_point();
    if (options_.benchEcho && echo_(text)) continue;
    loop().performOnMainThread([this, text = std::move(text), read]() mutable {
      receive_(std::move(text), read);
    });
  }
  loop().performOnMainThread([this] {
    inputClosed_ = true;
    // A panel left open would hold the nested run for its whole time-out.
    if (loop().isInModalRun()) loop().abortModal();
  });
}

void WebHost::receive_(std::string text, Clock::time_point read) {
  Incoming incoming;
  incoming.read = read;
  if (!text.empty() && text[0] == '\x01') {
    incoming.refusal = "message of " + text.substr(1) + " bytes refused: at most " +
                       std::to_string(kMaxIncoming) + " bytes";
  } else {
    incoming.message = json::parse(text, nullptr, false);
    if (incoming.message.is_discarded()) {
      // Still answered for its call when its doc and call can be made out.
      json readable = json::parse(readableText(text), nullptr, false);
      const bool unicode = !readable.is_discarded() && readable.is_object();
      incoming.message = unicode ? std::move(readable) : json();
      incoming.refusal = unicode ? "malformed message: a text in it is not valid Unicode"
                                 : "malformed message: not a JSON object";
    }
  }
  const json& message = incoming.message;
  if (incoming.refusal.empty() && message.is_object() && message.value("type", "") == "close" &&
      message.contains("doc"))
    closing_(message["doc"]);
  inbox_.push_back(std::move(incoming));
  drain_();
}

// What cannot wait for the call that runs now: the closed document's queued
// messages never run, and its dialog ends, the chooser with it.
void WebHost::closing_(const json& doc) {
  closed_.insert(docKey(doc));
  if (side_) side_->revoke(docKey(doc));
  for (auto it = asides_.begin(); it != asides_.end();) {
    if (it->second.doc != doc) {
      ++it;
      continue;
    }
    if (it->second.timer) loop().invalidateTimer(it->second.timer);
    it = asides_.erase(it);
  }
  for (auto it = inbox_.begin(); it != inbox_.end();) {
    const json& queued = it->message;
    if (queued.is_object() && queued.contains("doc") && queued["doc"] == doc)
      it = inbox_.erase(it);
    else
      ++it;
  }
  if (loop().isInModalRun() && dialogDoc_ == doc) loop().abortModal();
}

// Messages are handled one at a time: one that arrives while a call runs a
// nested loop (a panel, a launch wait) waits for that call to return, as page
// script waits for a plug-in call in a browser.
void WebHost::drain_() {
  if (busy_) return;
  while (!inbox_.empty() && !inputClosed_) {
    Incoming incoming = std::move(inbox_.front());
    inbox_.pop_front();
    busy_ = true;
    if (options_.benchEcho) trace_ = {incoming.read, Clock::now(), {}, {}};
    handle_(incoming);
    busy_ = false;
    if (zenity_) zenity_->closeEnded();
  }
}

void WebHost::handle_(const Incoming& incoming) {
  const json& message = incoming.message;
  if (!incoming.refusal.empty()) {
    sendError_(message, incoming.refusal);
    return;
  }
  if (!message.is_object()) {
    sendError_(json(), "malformed message: not a JSON object");
    return;
  }
  auto type = message.find("type");
  if (type == message.end() || !type->is_string()) {
    sendError_(message, "malformed message: no type");
    return;
  }
  const std::string& name = type->get_ref<const std::string&>();
  if (!message.contains("doc")) {
    sendError_(message, "malformed message: no doc");
    return;
  }
  if (name == "close") {
    // Objects whose dialog still unwinds are destroyed once it has.
    if (loop().isInModalRun()) {
      deferredCloses_.push_back(message["doc"]);
      if (!closeTimer_)
        closeTimer_ = loop().addTimer(0, Desktop::kModeDefault, [this] { closeDeferred_(); });
    } else {
      closeDocument_(message["doc"]);
    }
    return;
  }
  if (closed_.count(docKey(message["doc"]))) return;  // nobody left to answer
  if (name == "pieces" && message.contains("token") && message["token"].is_string()) {
    auto found = asides_.find(message["token"].get<std::string>());
    if (found != asides_.end() && found->second.doc == message["doc"])
      sendUnfetched_(found->first, true);
  } else if (name == "create") {
    create_(message);
  } else if (name == "invoke" || name == "get" || name == "set") {
    Instance* instance = find_(message);
    if (instance) call_(message, *instance);
  } else if (name == "destroy") {
    if (find_(message)) destroy_({docKey(message["doc"]), message["id"].get<std::int64_t>()});
  } else {
    sendError_(message, "unknown message type " + name);
  }
}

WebHost::Instance* WebHost::find_(const json& message) {
  auto id = message.find("id");
  if (id == message.end() || !id->is_number_integer()) {
    sendError_(message, "malformed message: no object id");
    return nullptr;
  }
  auto found = instances_.find({docKey(message["doc"]), id->get<std::int64_t>()});
  if (found == instances_.end()) {
    sendError_(message, "no object " + id->dump() + " in this page");
    return nullptr;
  }
  return found->second.get();
}

void WebHost::create_(const json& message) {
  auto id = message.find("id");
  auto url = message.find("url");
  auto parameters = message.find("parameters");
  if (id == message.end() || !id->is_number_integer() || url == message.end() ||
      !url->is_string() ||
      (parameters != message.end() && !parameters->is_object() && !parameters->is_null())) {
    sendError_(message, "malformed create message");
    return;
  }
  Key key{docKey(message["doc"]), id->get<std::int64_t>()};
  json answer = {{"type", "created"}, {"doc", message["doc"]}, {"id", *id}};
  if (instances_.count(key)) {
    sendError_(message, "object " + id->dump() + " exists already");
    return;
  }
  const UrlParts where = splitUrl(url->get<std::string>());
  if ((where.protocol != "http:" && where.protocol != "https:") || where.hostname.empty()) {
    answer["ok"] = false;
    answer["error"] = "only http: and https: pages get an object";
    send_(answer);
    return;
  }
  if (!module_) {
    answer["ok"] = false;
    answer["error"] = loadError_;
    send_(answer);
    return;
  }
  auto agent = message.find("userAgent");
  if (agent != message.end() && agent->is_string() && !agent->get<std::string>().empty())
    userAgent_ = agent->get<std::string>();

  Browser::ObjectElement element;
  element.id = "tarsenWeb-" + id->dump();
  element.type = kMimeType;
  element.hidden = true;  // no drawn area in today's browsers
  element.attributes.push_back({"type", kMimeType});
  if (parameters != message.end() && parameters->is_object())
    for (const auto& entry : parameters->items())
      element.params.push_back(
          {entry.key(), entry.value().is_string() ? entry.value().get<std::string>()
                                                  : entry.value().dump()});

  auto instance = std::make_unique<Instance>();
  instance->doc = message["doc"];
  instance->id = key.second;
  instance->url = url->get<std::string>();
  auto extension = message.find("extension");
  if (extension != message.end() && extension->is_string() &&
      isExtensionOrigin(extension->get<std::string>()))
    instance->extension = extension->get<std::string>();
  instance->plugin.reset(new Browser::PluginInstance(*module_, element, 0, 0));
  creating_ = instance.get();
  NPError rc = instance->plugin->create();
  creating_ = nullptr;
  instance->scriptable = rc == NPERR_NO_ERROR ? instance->plugin->scriptableObject() : nullptr;
  if (!instance->scriptable) {
    instance->plugin->destroy();
    if (instance->window) npn().releaseobject(instance->window);
    answer["ok"] = false;
    answer["error"] = rc != NPERR_NO_ERROR ? "the plug-in refused the object (NPP_New error " +
                                                 std::to_string(rc) + ")"
                                           : std::string("the plug-in gave no scriptable object");
    send_(answer);
    return;
  }
  docHosts_[key.first].insert(where.hostname);
  instances_[key] = std::move(instance);
  answer["ok"] = true;
  // Bench only: the extension stamps this page's calls on their way (traced_).
  if (options_.benchEcho) answer["trace"] = true;
  send_(answer);
}

void WebHost::call_(const json& message, Instance& instance) {
  const std::string type = message["type"].get<std::string>();
  json answer = {{"type", "result"}, {"doc", message["doc"]}, {"call", message.value("call", json())}};
  const char* field = type == "invoke" ? "method" : "property";
  auto name = message.find(field);
  if (name == message.end() || !name->is_string()) {
    sendError_(message, std::string("malformed ") + type + " message: no " + field);
    return;
  }
  const std::string& called = name->get_ref<const std::string&>();
  if (type == "invoke" && called.compare(0, 3, "run") == 0 &&
      called.find("Dialog") != std::string::npos && !loop().isInModalRun()) {
    // Only one panel shows at a time (a call while one shows is refused): the
    // next one is this document's.
    dialogDoc_ = instance.doc;
    dialogHost_ = splitUrl(instance.url).hostname;
  }
  NPP npp = instance.plugin->npp();
  NPIdentifier identifier = npn().getstringidentifier(name->get<std::string>().c_str());
  std::vector<NPVariant> args;
  bool argsOk = true;
  if (type == "invoke") {
    auto list = message.find("args");
    if (list != message.end() && !list->is_array()) argsOk = false;
    if (list != message.end() && list->is_array())
      for (const auto& value : *list) {
        args.emplace_back();
        if (!jsonToVariant(npp, *this, instance.doc, value, args.back())) argsOk = false;
      }
  } else if (type == "set") {
    args.emplace_back();
    argsOk = jsonToVariant(npp, *this, instance.doc, message.value("value", json()), args.back());
  }
  if (!argsOk) {
    for (auto& arg : args) npn().releasevariantvalue(&arg);
    sendError_(message, "malformed " + type + " message: a value has no page form");
    return;
  }

  exception_.clear();
  NPVariant result;
  VOID_TO_NPVARIANT(result);
  bool ok;
  if (options_.benchEcho) trace_.core = Clock::now();
  if (type == "invoke")
    ok = npn().invoke(npp, instance.scriptable, identifier, args.data(),
                      static_cast<uint32_t>(args.size()), &result);
  else if (type == "get")
    ok = npn().getproperty(npp, instance.scriptable, identifier, &result);
  else
    ok = npn().setproperty(npp, instance.scriptable, identifier, &args[0]);
  if (options_.benchEcho) trace_.cored = Clock::now();
  for (auto& arg : args) npn().releasevariantvalue(&arg);

  answer["ok"] = ok && exception_.empty();
  if (!answer["ok"].get<bool>())
    answer["error"] = exception_.empty() ? refusalText(type) : exception_;
  else if (result.type == NPVariantType_String && sendAside_(answer, instance, result))
    return;
  else if (result.type != NPVariantType_Void)
    answer["value"] = variantToJson(result);
  npn().releasevariantvalue(&result);
  if (options_.benchEcho && message.contains("trace")) answer["trace"] = traced_(message["trace"]);
  send_(answer);
}

// A long data URL's bytes wait for one fetch by the extension, which builds the same text
// in the page: a loopback read is several times faster than native messaging. The plug-in's
// text is served as it is, never copied (a copy of 64 MiB costs tens of milliseconds).
bool WebHost::sendAside_(const json& answer, const Instance& instance, NPVariant& result) {
  const char* text = result.value.stringValue.UTF8Characters;
  const std::size_t size = result.value.stringValue.UTF8Length;
  const char* comma = size < kSideThreshold ? nullptr
                                            : static_cast<const char*>(std::memchr(text, ',', 256));
  if (!side_ || instance.extension.empty() || !comma || std::strncmp(text, "data:", 5) != 0 ||
      comma - text < 12 || std::strncmp(comma - 7, ";base64", 7) != 0)
    return false;
  const std::size_t start = static_cast<std::size_t>(comma + 1 - text);
  SideChannel::Text owned(const_cast<char*>(text), [](char* block) { npn().memfree(block); });
  const std::string token = side_->offer(docKey(answer["doc"]), instance.extension, owned,
                                         size, start);
  if (token.empty()) {
    owned.release();  // still the variant's
    return false;
  }
  VOID_TO_NPVARIANT(result);
  Aside& aside = asides_[token];
  aside.doc = answer["doc"];
  aside.call = answer["call"];
  // Not fetched in time: the call still settles, by the pieces road.
  aside.timer = loop().addTimer(side_->lifetime(), Desktop::kAllModes, [this, token] {
    auto found = asides_.find(token);
    if (found == asides_.end()) return;
    found->second.timer = 0;
    sendUnfetched_(token, false);
  });
  note_("an answer of " + std::to_string(size) + " characters offered on the side channel");
  send_({{"type", "bytes"}, {"doc", aside.doc}, {"call", aside.call}, {"port", side_->port()},
         {"token", token}, {"prefix", std::string(text, start)}});
  return true;
}

// The pieces road for side bytes that were not fetched: asked by the extension, or when
// their time is up (then bytes already served need nothing more).
void WebHost::sendUnfetched_(const std::string& token, bool asked) {
  auto found = asides_.find(token);
  if (found == asides_.end()) return;
  std::string text;
  const bool unserved = side_->take(token, docKey(found->second.doc), text);
  if (!unserved && !asked) return;  // fetched, or on its way: kept until the document closes
  Aside aside = std::move(found->second);
  asides_.erase(found);
  if (aside.timer) loop().invalidateTimer(aside.timer);
  json answer = {{"type", "result"}, {"doc", aside.doc}, {"call", aside.call}};
  answer["ok"] = unserved;
  if (!unserved) {
    // Served, yet the extension has nothing: the call still settles.
    answer["error"] = "the answer was lost on its way to the page";
    note_("an answer on the side channel was lost");
  } else {
    note_("an answer of " + std::to_string(text.size()) + " characters went in pieces: " +
          (asked ? "the extension could not fetch it" : "not fetched in time"));
    answer["value"] = std::move(text);
  }
  send_(answer);
}

// The host's own log, beside the plug-in's: which road the long answers took.
void WebHost::note_(const std::string& line) {
  std::string folder;
  if (Desktop::userFolderPath(Desktop::UserFolder::Logs, folder) != Desktop::Status::Ok) return;
  folder += "/Tarsen";
  ::mkdir(folder.c_str(), 0700);
  std::ofstream(folder + "/tarsen-web-host.log", std::ios::app) << line << '\n';
}

void WebHost::destroy_(const Key& key) {
  auto found = instances_.find(key);
  if (found == instances_.end()) return;
  std::unique_ptr<Instance> instance = std::move(found->second);
  instances_.erase(found);
  instance->plugin->destroy();
  if (instance->window) npn().releaseobject(instance->window);
}

void WebHost::closeDocument_(const json& doc) {
  const std::string key = docKey(doc);
  closed_.insert(key);
  std::vector<Key> keys;
  for (const auto& entry : instances_)
    if (entry.first.first == key) keys.push_back(entry.first);
  for (const auto& k : keys) destroy_(k);
  // Whatever the plug-in still holds of that page no longer reaches it, and
  // what its user approved is not the next page's. Another page of the same
  // host in this tab at this moment loses its approvals too: the safe side.
  forgetDocument(doc);
  auto hosts = docHosts_.find(key);
  if (hosts != docHosts_.end()) {
    if (forgetApprovals_)
      for (const auto& host : hosts->second) forgetApprovals_(host.c_str());
    docHosts_.erase(hosts);
  }
  if (zenity_) zenity_->closeEnded();
}

void WebHost::closeDeferred_() {
  closeTimer_ = 0;
  if (busy_ || loop().isInModalRun()) {  // a call's own nested run: not yet
    closeTimer_ = loop().addTimer(0.05, Desktop::kModeDefault, [this] { closeDeferred_(); });
    return;
  }
  std::vector<json> docs;
  docs.swap(deferredCloses_);
  busy_ = true;  // as for a message: what arrives meanwhile waits
  for (const auto& doc : docs) closeDocument_(doc);
  busy_ = false;
  drain_();
}

NPObject* WebHost::windowObject() {
  // The plug-in asks for the page's window while it is being created; the
  // address is the one the browser reported for the page, never the page's word.
  if (!creating_) return nullptr;
  if (!creating_->window)
    creating_->window = createWindowObject(creating_->plugin->npp(), creating_->url);
  return npn().retainobject(creating_->window);
}

NPError WebHost::getURL(NPP, const char*, const char*, bool, void*) {
  // Images for the drawn area: there is no drawn area in today's browsers.
  return NPERR_GENERIC_ERROR;
}

bool WebHost::isInstanceAlive(NPP npp) {
  if (creating_ && creating_->plugin->npp() == npp) return true;
  for (const auto& entry : instances_)
    if (entry.second->plugin->npp() == npp) return entry.second->plugin->alive();
  return false;
}

void WebHost::callPage(const json& doc, std::int64_t fn, const std::string& method,
                       json args) {
  json message = {{"type", "call"}, {"doc", doc}, {"fn", fn}, {"args", std::move(args)}};
  if (!method.empty()) message["method"] = method;
  send_(message);
}

void WebHost::releasePage(const json& doc, std::int64_t fn) {
  send_({{"type", "release"}, {"doc", doc}, {"fn", fn}});
}

void WebHost::send_(const json& message) {
  const std::string text = messageText(message);
  std::lock_guard<std::mutex> lock(outMutex_);
  if (outBroken_) return;
  framePieces(text, kPieceLimit, message.value("doc", json()), [this](const std::string& body) {
    outBroken_ = !writeMessage(options_.out, body);
    return !outBroken_;
  });
}

void WebHost::sendError_(const json& message, const std::string& text) {
  json answer = {{"type", "error"}, {"message", text}};
  if (message.is_object()) {
    if (message.contains("doc")) answer["doc"] = message["doc"];
    if (message.contains("call")) answer["call"] = message["call"];
  }
  send_(answer);
}

void WebHost::loadAnswers_() {
  if (options_.answersPath.empty()) return;
  std::ifstream in(options_.answersPath);
  std::stringstream text;
  text << in.rdbuf();
  json list = json::parse(text.str(), nullptr, false);
  if (!in || list.is_discarded() || !list.is_array()) {
    diagnostics_.fail(Browser::Diagnostics::Kind::Usage,
                      "the panel answers in " + options_.answersPath +
                          " are not a JSON array");
    return;
  }
  for (const auto& entry : list) {
    Scripted scripted;
    if (entry.is_object() && entry.contains("title") && entry["title"].is_string())
      scripted.title = entry["title"].get<std::string>();
    if (entry == "cancel" || (entry.is_object() && entry.value("cancel", false))) {
      scripted.answer = Desktop::PanelAnswer::cancel();
    } else if (entry == "ignore" || (entry.is_object() && entry.value("ignore", false))) {
      scripted.answer = Desktop::PanelAnswer::leaveOpen();
    } else if (entry.is_object() && entry.contains("choose") && entry["choose"].is_array()) {
      std::vector<std::string> paths;
      for (const auto& path : entry["choose"])
        if (path.is_string()) paths.push_back(path.get<std::string>());
      scripted.answer = Desktop::PanelAnswer::choose(std::move(paths));
    } else {
      diagnostics_.fail(Browser::Diagnostics::Kind::Usage,
                        "a panel answer is {\"choose\": [paths]}, \"cancel\" or \"ignore\": " +
                            entry.dump());
      continue;
    }
    answers_.push_back(std::move(scripted));
  }
}

Desktop::PanelAnswer WebHost::answerPanel_(Desktop::SavePanel& panel,
                                           const Desktop::PanelSettings& asked) {
  // The chooser names the site that asks; the page's own words follow.
  Desktop::PanelSettings settings = asked;
  std::string what = asked.title;
  if (what.empty())
    what = asked.kind == Desktop::WindowKind::SavePanel ? "Save as"
           : asked.canChooseDirectories && !asked.canChooseFiles
               ? "Choose a folder"
               : asked.allowsMultipleSelection ? "Choose files" : "Choose a file";
  settings.title = (dialogHost_.empty() ? std::string("A page") : dialogHost_) + " \u2014 " + what;
  panel.setTitle(settings.title);
  if (!answers_.empty()) {
    Scripted scripted = answers_.front();
    answers_.pop_front();
    if (scripted.title.empty() || scripted.title == settings.title) return scripted.answer;
    diagnostics_.fail(Browser::Diagnostics::Kind::Usage,
                      "the user cancels a chooser titled \"" + settings.title + "\", not \"" +
                          scripted.title + "\"");
    return Desktop::PanelAnswer::cancel();
  }
  if (zenity_) return zenity_->answer(panel, settings);
  // Nobody to ask: as if the user closed it.
  return Desktop::PanelAnswer::cancel();
}

void WebHost::teardown_() {
  if (closeTimer_) loop().invalidateTimer(closeTimer_);
  closeTimer_ = 0;
  for (const auto& aside : asides_)
    if (aside.second.timer) loop().invalidateTimer(aside.second.timer);
  asides_.clear();
  side_.reset();
  // As NPP_Destroy for every object of every page still open.
  std::vector<Key> keys;
  for (const auto& entry : instances_) keys.push_back(entry.first);
  for (const auto& key : keys) destroy_(key);
  // Main-thread work queued for those instances finds them gone.
  loop().runUntil([] { return loop().pendingWorkCount() == 0; }, loop().now() + 1);
  for (const auto& live : Browser::Objects::shared().alive()) {
    diagnostics_.note("an object of the plug-in or page was still alive at the end");
    Browser::Objects::shared().forceDeallocate(live.object);
  }
  forgetApprovals_ = nullptr;
  module_.reset();
  zenity_.reset();
  Desktop::Application::shared().setPanelResponder(previousResponder_);
  Desktop::Application::shared().setMainWindow(nullptr);
  window_.reset();
  Browser::setHost(nullptr);
}

}  // namespace Bridge
