// Argument checks of the script methods: counts and kinds as page script
// must pass them.
#pragma once

#include <cstdint>
#include <limits>
#include <string>

#include <npapi/npruntime.h>

namespace Harlune {
namespace Web {

// Kinds, one letter per argument: 'S' string, 'P' non-empty string,
// 'B' boolean-like, 'N' number, 'O' object. Arguments past the kinds given
// are not looked at (the count limits still apply).
bool argumentsFit(const NPVariant* args, uint32_t argCount, const char* kinds,
                  uint32_t minCount, uint32_t maxCount);
bool argumentFits(const NPVariant& arg, char kind);

inline constexpr uint32_t kAnyMore = std::numeric_limits<uint32_t>::max();

// The text of a string argument (the caller checked the kind).
std::string stringArgument(const NPVariant& arg);

}  // namespace Web
}  // namespace Harlune
