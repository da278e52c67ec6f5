#include "work/TransfersPoller.h"

#include <algorithm>
#include <cassert>
#include <chrono>
#include <memory>

#include <taplatform/taplatform.h>

#include "common/Constants.h"
#include "common/Policy.h"
#include "common/Utils.h"
#include "link/HarluneApp.h"
#include "link/HttpRequest.h"
#include "text/Json.h"

namespace Harlune {
namespace Web {

TransfersPoller::TransfersPoller() {
  TA_LOG(5, "%p TransfersPoller()", static_cast<void*>(this));
  ta_mutex_init(&_mutex);
}

TransfersPoller::~TransfersPoller() {
  TA_LOG(5, "%p ~TransfersPoller() - started?=%u", static_cast<void*>(this),
         static_cast<unsigned>(started()));
  assert(!started() || isDone());
  ta_mutex_destroy(&_mutex);
}

void TransfersPoller::addListener(TransferEventListener* l) {
  assert(l != NULL);
  ta_mutex_acquire(&_mutex);
  TA_LOG(5, "%p TransferPoller::addListener() - size=%i", static_cast<void*>(this),
         static_cast<int>(_listeners.size()));
  _listeners.push_back(l);
  ta_mutex_release(&_mutex);
}

void TransfersPoller::removeListener(TransferEventListener* l) {
  assert(l != NULL);
  ta_mutex_acquire(&_mutex);
  TA_LOG(5, "%p TransferPoller::removeListener() - size=%i", static_cast<void*>(this),
         static_cast<int>(_listeners.size()));
  auto it = std::find(_listeners.begin(), _listeners.end(), l);
  if (it != _listeners.end()) {
    _listeners.erase(it);
    TA_LOG(5, "%p TransferPoller::removeListener() - removed", static_cast<void*>(this));
  }
  ta_mutex_release(&_mutex);
}

void TransfersPoller::notifyListeners(const std::string& answer) {
  ta_mutex_acquire(&_mutex);
  TA_LOG(5, "%p TransferPoller::notifyListeners() - size=%i", static_cast<void*>(this),
         static_cast<int>(_listeners.size()));
  for (TransferEventListener* listener : _listeners) listener->transferEventOccurred(answer);
  ta_mutex_release(&_mutex);
}

std::string TransfersPoller::createRequestData() const {
  // The identifier comes from the page: unescaped, a quote in it would add
  // members of the page's choosing.
  const bool escape = Policy::guarded();
  const std::string token = escape ? Json::escape(_iterationToken) : _iterationToken;
  const std::string appId = escape ? Json::escape(_appId) : _appId;
  return "{\n"
         "    \"iteration_token\": \"" + token + "\",\n"
         "    \"tarsen_harlune_settings\" : {\n"
         "        \"app_id\": \"" + appId + "\"\n"
         "    }\n"
         "}\n";
}

void TransfersPoller::run() {
  TA_LOG(5, "%p TransferPoller::run()", static_cast<void*>(this));
  const bool guarded = Policy::guarded();
  while (!_stop) {
    if (guarded) {
      std::unique_lock<std::mutex> lock(_wakeMutex);
      const auto stopped = [this] { return _stop.load(); };
      if (_wake.wait_for(lock, std::chrono::milliseconds(_interval), stopped)) break;
    } else {
      ta_thread_sleep(static_cast<unsigned>(_interval));
    }
    std::unique_ptr<HttpRequest> request = Utils::createHttpRequest(
        HttpRequest::kPostMethod, std::string(kHarluneApiCall) + "/transfers/activity",
        createRequestData(), ContentTypeJson);
    if (!request) continue;
    std::unique_ptr<HttpResponse> response = request->invoke();
    request.reset();
    if (!response) {
      if (guarded) HarluneApp::clearUrl();
      continue;
    }
    const std::string body = response->data();
    response.reset();
    if (_stop) break;

    Json json;
    if (!json.parse(body)) {
      TA_LOG(1, "%s: %s", kErrorJsonParse, json.err().c_str());
      continue;
    }
    if (json.containsError()) {
      TA_LOG(1, "Transfer poller response contained an error: %s", body.c_str());
      continue;
    }
    const char* tokenPath[] = {"iteration_token", nullptr};
    _iterationToken = json.getString(tokenPath);
    notifyListeners(body);
  }
  _done = true;
  TA_LOG(5, "%p TransferPoller::run() - done", static_cast<void*>(this));
}

void TransfersPoller::stop() {
  TA_LOG(5, "%p TransferPoller::stop() - done?=%i", static_cast<void*>(this),
         static_cast<int>(_done));
  if (_done) return;
  {
    std::lock_guard<std::mutex> lock(_wakeMutex);
    _stop = true;
  }
  _wake.notify_all();
}

}  // namespace Web
}  // namespace Harlune
