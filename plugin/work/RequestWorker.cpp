#include "work/RequestWorker.h"

#include <memory>

#include <taplatform/talog.h>

#include "common/Callback.h"
#include "common/Constants.h"
#include "common/Policy.h"
#include "link/HarluneApp.h"
#include "link/HttpRequest.h"

namespace Harlune {
namespace Web {

RequestWorker::RequestWorker() {
  TA_LOG(5, "RequestWorker() [%p]", static_cast<void*>(this));
  ta_mutex_init(&_mutex);
  ta_cond_init(&_cond, &_mutex);
}

RequestWorker::~RequestWorker() {
  TA_LOG(5, "~RequestWorker() [%p] - size=%i", static_cast<void*>(this),
         static_cast<int>(_queue.size()));
  for (HttpRequest* request : _queue) delete request;
  _queue.clear();
  for (HttpRequest* request : _untold) delete request;
  _untold.clear();
  ta_cond_destroy(&_cond);
  ta_mutex_destroy(&_mutex);
}

void RequestWorker::addRequest(HttpRequest* request) {
  ta_mutex_acquire(&_mutex);
  _queue.push_back(request);
  ta_cond_signal(&_cond);
  ta_mutex_release(&_mutex);
}

size_t RequestWorker::queued() {
  ta_mutex_acquire(&_mutex);
  const size_t size = _queue.size();
  ta_mutex_release(&_mutex);
  return size;
}

void RequestWorker::run() {
  TA_LOG(5, "RequestWorker::run()");
  for (;;) {
    ta_mutex_acquire(&_mutex);
    if (_stop) break;
    // A wake-up with an empty queue is harmless: processOneRequest finds
    // nothing and the loop waits again.
    if (_queue.empty()) ta_cond_wait(&_cond);
    ta_mutex_release(&_mutex);
    processOneRequest();
  }
  ta_mutex_release(&_mutex);
  _done = true;
  TA_LOG(5, "RequestWorker::run() - done");
}

void RequestWorker::processOneRequest() {
  ta_mutex_acquire(&_mutex);
  if (_queue.empty()) {
    ta_mutex_release(&_mutex);
    return;
  }
  std::unique_ptr<HttpRequest> request(_queue.front());
  _queue.pop_front();
  ta_mutex_release(&_mutex);
  if (!request) return;

  std::unique_ptr<HttpResponse> response;
  const bool launched = HarluneApp::launch();
  if (!launched) {
    TA_LOG(5, "RequestWorker::processOneRequest - Harlune couldn't be launched, error");
    TA_LOG(1, "%s", kErrorHarluneRequest);
  } else {
    request->setPort(HarluneApp::url().port(0));
    // The key read when the request was queued dies with the application that
    // wrote it; a relaunch in between must not earn the page a refusal.
    if (Policy::guarded()) request->replaceHeader("Authorization-key", HarluneApp::harluneUUID());
    response = request->invoke();
  }
  // Held while the callback runs, so stop() cannot complete between the check
  // and the call. Once stopped, the request goes to the owner untold: deleted
  // here, its page function would be released on this thread.
  ta_mutex_acquire(&_mutex);
  if (_stop) {
    _untold.push_back(request.release());
  } else if (Callback* callback = request->getCallback()) {
    callback->handleCallback(response.get());
  }
  ta_mutex_release(&_mutex);
  request.reset();
  if (launched && !response) TA_LOG(1, "%s", kErrorHarluneRequest);
}

void RequestWorker::stop() {
  TA_LOG(5, "RequestWorker::stop() - done?=%i", static_cast<int>(_done));
  if (_done) return;
  ta_mutex_acquire(&_mutex);
  _stop = true;
  ta_cond_signal(&_cond);
  ta_mutex_release(&_mutex);
}

}  // namespace Web
}  // namespace Harlune
