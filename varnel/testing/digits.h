// SPDX-License-Identifier: Apache-2.0
// Comparing numbers by the significant digits a test trusts.
#pragma once

#include <gtest/gtest.h>

namespace varnel::testing {

// |a - b| within `Digits` significant digits of b, or of Scale when b is
// smaller than Scale in magnitude (for values that should be near 0).
::testing::AssertionResult AgreesTo(long double a, long double b, int Digits, long double Scale = 0);

}  // namespace varnel::testing
