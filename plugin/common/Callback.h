// The receiver of an outcome: told the result of a runnable or an HTTP
// request, and able to hand a text answer on to page script.
#pragma once

#include <string>

namespace Harlune {
namespace Web {

class Callback {
public:
  virtual ~Callback() = default;
  // For a runnable, data is the Runnable; for an HTTP request, the
  // HttpResponse or null when there was no answer.
  virtual void handleCallback(void* data) = 0;
  virtual void returnMessage(std::string message) = 0;
};

}  // namespace Web
}  // namespace Harlune
