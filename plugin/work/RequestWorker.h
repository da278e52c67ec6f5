// The instance's queue of requests to the desktop application, sent one at a
// time on a thread of its own; each answer goes to the request's callback.
#pragma once

#include <atomic>
#include <deque>
#include <vector>

#include <taplatform/tasynchron.h>

#include "work/Worker.h"

namespace Harlune {
namespace Web {

class HttpRequest;

class RequestWorker : public Worker {
public:
  RequestWorker();
  // Deletes the requests still queued, and those whose sending a stop
  // overtook; their callbacks are never told.
  ~RequestWorker() override;

  // Takes ownership. Any thread.
  void addRequest(HttpRequest* request);

  bool isDone() const override { return _done; }
  void run() override;
  void stop() override;
  void processOneRequest();

  size_t queued();

private:
  std::atomic<bool> _done{false};
  ta_cond_t _cond;
  ta_mutex_t _mutex;
  std::deque<HttpRequest*> _queue;
  std::vector<HttpRequest*> _untold;
  bool _stop = false;
};

}  // namespace Web
}  // namespace Harlune
