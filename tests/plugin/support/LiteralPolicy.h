// A test program that includes this runs its cases under the literal policy: they hold the original
// algorithms to their letter. The guarded policy has its own cases.
#pragma once

#include <gtest/gtest.h>

#include "common/Policy.h"

namespace Harlune {
namespace Web {
namespace Testing {

class LiteralPolicy : public ::testing::Environment {
public:
  void SetUp() override { Policy::setForTesting(PolicyKind::Literal); }
  void TearDown() override { Policy::setForTesting(PolicyKind::Guarded); }
};

inline ::testing::Environment* const kLiteralPolicy =
    ::testing::AddGlobalTestEnvironment(new LiteralPolicy);

}  // namespace Testing
}  // namespace Web
}  // namespace Harlune
