#include "common/Policy.h"

#include <cstdlib>
#include <cstring>

#include <taplatform/talog.h>

namespace Harlune {
namespace Web {

PolicyKind Policy::_kind = PolicyKind::Guarded;

void Policy::load() {
  const char* value = std::getenv("TARSEN_WEB_POLICY");
  _kind = value && std::strcmp(value, "literal") == 0 ? PolicyKind::Literal : PolicyKind::Guarded;
  TA_LOG(3, "Policy: %s", _kind == PolicyKind::Guarded ? "guarded" : "literal");
}

}  // namespace Web
}  // namespace Harlune
