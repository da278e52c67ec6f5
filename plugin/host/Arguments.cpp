#include "host/Arguments.h"

#include <cstring>

#include "host/taUtility.h"

namespace Harlune {
namespace Web {

bool argumentFits(const NPVariant& arg, char kind) {
  switch (kind) {
    case 'S': return NPVARIANT_IS_STRING(arg);
    case 'P': return NPVARIANT_IS_STRING(arg) && NPVARIANT_TO_STRING(arg).UTF8Length > 0;
    case 'B': return npvariantIsBoolean(arg);
    case 'N': return npvariantIsNumber(arg);
    case 'O': return NPVARIANT_IS_OBJECT(arg);
    default: return false;
  }
}

bool argumentsFit(const NPVariant* args, uint32_t argCount, const char* kinds,
                  uint32_t minCount, uint32_t maxCount) {
  if (argCount < minCount || argCount > maxCount) return false;
  const uint32_t checked = static_cast<uint32_t>(std::strlen(kinds));
  for (uint32_t i = 0; i < argCount && i < checked; ++i) {
    if (!argumentFits(args[i], kinds[i])) return false;
  }
  return true;
}

std::string stringArgument(const NPVariant& arg) {
  return TW_NPStringToString(NPVARIANT_TO_STRING(arg));
}

}  // namespace Web
}  // namespace Harlune
