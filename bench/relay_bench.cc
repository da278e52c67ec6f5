// The cost of the relay, measured against the reference application started
// as a child process in a temporary home:
//  (a) synchronous harluneHttpRequest calls through the plug-in's scriptable
//      object, as a page makes them;
//  (b) the same exchange made directly with HttpRequest::invoke (and, since
//      the relay asks the application whether it runs before every request,
//      the liveness request on its own);
//  (c) the hop of an answer to the main thread: from the moment the request
//      worker hands the answer to the request's callback to the call of the
//      page function, through the instance's OneShotManager and the main run
//      loop.
// The plug-in is driven through NPAPI with the host library's browser table,
// linked in, so that a driver-side callback can be queued on a real instance.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <desktop/RunLoop.h>

#include "BrowserFuncs.h"
#include "HeadlessHost.h"
#include "core/PlugIn.h"
#include "host/PageCallbacks.h"
#include "host/nptarsenweb.h"
#include "host/taTarsenWebPlugin.h"
#include "link/HttpRequest.h"

namespace {

using Clock = std::chrono::steady_clock;
using Harlune::Web::HttpRequest;
using Harlune::Web::HttpResponse;

constexpr int kCalls = 1000;
constexpr int kRounds = 10;  // (a) and (b) alternate so both see the same load
constexpr int kHops = 10000;
constexpr char kKey[] = "relay-bench-key";
constexpr char kPath[] = "/v5/harlune/bench";

[[noreturn]] void die(const std::string& why) {
  std::fprintf(stderr, "relay_bench: %s\n", why.c_str());
  std::exit(1);
}

int64_t nowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
      .count();
}

// No page to report to: a script exception ends the run.
class BenchHost : public HeadlessHost {
public:
  BenchHost()
      : HeadlessHost(
            "Mozilla/5.0 (Macintosh; Intel Mac OS X 10.15; rv:52.0) Gecko/20100101 Firefox/52.0") {}
  void setException(const std::string& message) override { die("script exception: " + message); }
};

// harlune-sim in its own process, stopped (and waited for) on destruction.
class Sim {
public:
  Sim() {
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0) die("pipe");
    _pid = fork();
    if (_pid < 0) die("fork");
    if (_pid == 0) {
      dup2(ready[1], 3);  // the only descriptor the child keeps open
      // HOME, inherited, is the temporary one.
      const char* argv[] = {HARLUNE_SIM_PATH, "--ready-fd", "3", "--key", kKey, "--no-journal",
                            nullptr};
      execv(argv[0], const_cast<char* const*>(argv));
      _exit(127);
    }
    close(ready[1]);
    char buffer[32] = "";
    ssize_t n = 0;
    size_t got = 0;
    while (got < sizeof buffer - 1 && (n = read(ready[0], buffer + got, sizeof buffer - 1 - got)) > 0)
      got += static_cast<size_t>(n);
    close(ready[0]);
    _port = static_cast<uint16_t>(std::atoi(buffer));
    if (_port == 0) die("harlune-sim did not start");
  }
  ~Sim() {
    kill(_pid, SIGTERM);
    int status = 0;
    waitpid(_pid, &status, 0);
  }
  uint16_t port() const { return _port; }

private:
  pid_t _pid = -1;
  uint16_t _port = 0;
};

// The page function: records when it is called with an answer.
struct PageFunction : NPObject {
  std::atomic<int64_t>* handedOver = nullptr;
  std::vector<double>* latenciesUs = nullptr;
  int calls = 0;
  bool sawAnswer = true;
};

NPObject* allocatePageFunction(NPP, NPClass*) { return new PageFunction(); }
void deallocatePageFunction(NPObject* object) { delete static_cast<PageFunction*>(object); }
bool invokePageFunction(NPObject* object, const NPVariant* args, uint32_t count, NPVariant* result) {
  const int64_t now = nowNs();
  PageFunction* f = static_cast<PageFunction*>(object);
  f->latenciesUs->push_back(static_cast<double>(now - f->handedOver->load()) / 1000.0);
  ++f->calls;
  const bool answered = count == 1 && NPVARIANT_IS_STRING(args[0]) &&
                        std::string(NPVARIANT_TO_STRING(args[0]).UTF8Characters,
                                    NPVARIANT_TO_STRING(args[0]).UTF8Length)
                                .find(kPath) != std::string::npos;
  f->sawAnswer = f->sawAnswer && answered;
  VOID_TO_NPVARIANT(*result);
  return true;
}

NPClass gPageFunctionClass = {NP_CLASS_STRUCT_VERSION,
                              allocatePageFunction,
                              deallocatePageFunction,
                              nullptr,
                              nullptr,
                              nullptr,
                              invokePageFunction,
                              nullptr,
                              nullptr,
                              nullptr,
                              nullptr,
                              nullptr,
                              nullptr};

// The instance's own request callback, stamped as the worker hands it the
// answer.
class TimedCallback : public Harlune::Web::RequestCallback {
public:
  TimedCallback(NPP npp, NPObject* function, std::atomic<int64_t>& handedOver)
      : RequestCallback(npp, function), _handedOver(handedOver) {}
  void handleCallback(void* response) override {
    _handedOver.store(nowNs());
    RequestCallback::handleCallback(response);
  }

private:
  std::atomic<int64_t>& _handedOver;
};

NPVariant stringVariant(const std::string& text) {
  NPVariant v;
  Browser::stringToVariant(text, v);
  return v;
}

double percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  const size_t at = std::min(values.size() - 1, static_cast<size_t>(p * values.size()));
  return values[at];
}

}  // namespace

int main() {
  char homeTemplate[] = "/tmp/relay_bench.XXXXXX";
  if (!mkdtemp(homeTemplate)) die("mkdtemp");
  const std::string home = homeTemplate;
  setenv("HOME", home.c_str(), 1);  // no Logs folder there: the plug-in logs nothing

  {
    Sim sim;
    Desktop::RunLoop& loop = Desktop::RunLoop::main();
    loop.bindToCurrentThread();
    BenchHost host;
    Browser::setHost(&host);

    NPNetscapeFuncs browser = Browser::browserFuncs();
    if (NP_Initialize(&browser) != NPERR_NO_ERROR) die("NP_Initialize");
    NPPluginFuncs funcs;
    std::memset(&funcs, 0, sizeof funcs);
    funcs.size = sizeof funcs;
    if (NP_GetEntryPoints(&funcs) != NPERR_NO_ERROR) die("NP_GetEntryPoints");

    NPP_t npp{};
    char mime[] = "application/x-tarsen-web";
    char typeName[] = "type";
    char waitName[] = "harlune-launch-wait-timeout-ms";
    char waitValue[] = "2000";
    char* argn[] = {typeName, waitName};
    char* argv[] = {mime, waitValue};
    if (funcs.newp(mime, &npp, NP_EMBED, 2, argn, argv, nullptr) != NPERR_NO_ERROR) die("NPP_New");
    NPObject* script = nullptr;
    if (funcs.getvalue(&npp, NPPVpluginScriptableNPObject, &script) != NPERR_NO_ERROR || !script)
      die("no scriptable object");

    // (a) and (b), in alternating rounds.
    NPVariant args[3] = {stringVariant("POST"), stringVariant(kPath), stringVariant("{}")};
    const NPIdentifier method = browser.getstringidentifier("harluneHttpRequest");
    auto scriptCall = [&] {
      NPVariant result;
      if (!browser.invoke(&npp, script, method, args, 3, &result) || !NPVARIANT_IS_STRING(result))
        die("harluneHttpRequest failed");
      const bool answered = std::string(NPVARIANT_TO_STRING(result).UTF8Characters,
                                        NPVARIANT_TO_STRING(result).UTF8Length)
                                .find(kPath) != std::string::npos;
      browser.releasevariantvalue(&result);
      if (!answered) die("harluneHttpRequest gave no echo");
    };
    auto directCall = [&] {
      HttpRequest request("127.0.0.1", sim.port());
      request.addHeader("Authorization-key", kKey);
      request.addHeader("Content-Type", "application/vnd.tarsen.xferreq+json");
      request.setMethod("POST");
      request.setPath(kPath);
      request.appendData("{}");
      std::unique_ptr<HttpResponse> response = request.invoke();
      if (!response || response->data().find(kPath) == std::string::npos) die("direct call failed");
    };
    auto pingCall = [&] {
      HttpRequest request("127.0.0.1", sim.port());
      request.setPath("/v5/harlune/info/ping");
      if (!request.invoke()) die("ping failed");
    };
    auto timed = [](auto call, int count) {
      const auto start = Clock::now();
      for (int i = 0; i < count; ++i) call();
      return std::chrono::duration<double>(Clock::now() - start).count();
    };
    timed(scriptCall, 50);  // warm-up: connections, caches, the sim's threads
    timed(directCall, 50);
    double scriptSeconds = 0, directSeconds = 0, pingSeconds = 0;
    for (int r = 0; r < kRounds; ++r) {
      scriptSeconds += timed(scriptCall, kCalls / kRounds);
      directSeconds += timed(directCall, kCalls / kRounds);
      pingSeconds += timed(pingCall, kCalls / kRounds);
    }
    for (NPVariant& v : args) browser.releasevariantvalue(&v);

    // (c) one request at a time, so the main thread waits in its run loop
    // when the answer arrives, as an idle browser's does.
    std::atomic<int64_t> handedOver{0};
    std::vector<double> latenciesUs;
    latenciesUs.reserve(kHops);
    PageFunction* function =
        static_cast<PageFunction*>(browser.createobject(&npp, &gPageFunctionClass));
    function->handedOver = &handedOver;
    function->latenciesUs = &latenciesUs;
    Harlune::Web::PlugIn* plugIn = static_cast<Harlune::Web::taTarsenWebPlugin*>(npp.pdata)->plugIn();
    for (int i = 0; i < kHops; ++i) {
      const std::string error = plugIn->harluneHttpRequestAsync(
          "POST", kPath, "{}", new TimedCallback(&npp, function, handedOver));
      if (!error.empty()) die("harluneHttpRequestAsync refused: " + error);
      loop.runUntil([&] { return function->calls == i + 1; });
    }
    const bool allAnswered = function->sawAnswer && function->calls == kHops;
    browser.releaseobject(function);

    browser.releaseobject(script);
    funcs.destroy(&npp, nullptr);
    NP_Shutdown();
    Browser::setHost(nullptr);
    if (!allAnswered) die("a page function call lacked its answer");

    const double a = scriptSeconds / kCalls * 1e6, b = directSeconds / kCalls * 1e6;
    const double ping = pingSeconds / kCalls * 1e6;
    std::printf("(a) harluneHttpRequest via the script object: %8.1f us/call (%d calls)\n", a,
                kCalls);
    std::printf("(b) HttpRequest::invoke, same exchange:        %8.1f us/call (%d calls)\n", b,
                kCalls);
    std::printf("    liveness request alone:                    %8.1f us/call (%d calls)\n",
                ping, kCalls);
    std::printf("ratio (a)/(b): %.2f (target <= 1.25)\n", a / b);
    std::printf("ratio (a)/((b) + liveness): %.2f\n", a / (b + ping));
    const double median = percentile(latenciesUs, 0.5), p99 = percentile(latenciesUs, 0.99);
    std::printf("(c) answer handed over -> page function called, %d hops: median %.1f us, "
                "p99 %.1f us (target median <= 50 us)\n",
                kHops, median, p99);
  }
  std::error_code ignored;
  std::filesystem::remove_all(home, ignored);
  return 0;
}
