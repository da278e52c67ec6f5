// A scope that owns the thread's autorelease pool; nothing is autoreleased on
// this platform, so it only marks the scope for the desktop services.
#pragma once

#include <desktop/System.h>

namespace Harlune {
namespace Web {

class TAAutoreleasePool {
public:
  TAAutoreleasePool() = default;
  TAAutoreleasePool(const TAAutoreleasePool&) = delete;
  TAAutoreleasePool& operator=(const TAAutoreleasePool&) = delete;

private:
  Desktop::AutoreleasePool _pool;
};

}  // namespace Web
}  // namespace Harlune
