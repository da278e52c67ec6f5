// Work run on the main thread on a later turn (the asynchronous dialogs).
#pragma once

#include <cstdint>
#include <string>

namespace Harlune {
namespace Web {

class Runnable {
public:
  virtual ~Runnable() = default;
  // True when the run was stopped or failed and its callback must not be told.
  virtual bool isInterrupted() = 0;
  virtual uint64_t result() = 0;
  virtual std::string resultStr() = 0;
  virtual void run() = 0;
  // Asks a running or pending run to end early; main thread, any time.
  virtual void stop() = 0;
};

}  // namespace Web
}  // namespace Harlune
