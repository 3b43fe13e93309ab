// SPDX-License-Identifier: Apache-2.0
#include "varnel/testing/digits.h"

#include <algorithm>
#include <cmath>

namespace varnel::testing {

::testing::AssertionResult AgreesTo(long double a, long double b, int Digits, long double Scale) {
  const long double Tolerance = std::pow(10.0L, -Digits) * std::max({std::fabs(b), Scale, 1e-300L});
  if (std::fabs(a - b) <= Tolerance) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << static_cast<double>(a) << " vs " << static_cast<double>(b)
                                       << " differ beyond " << Digits << " digits";
}

}  // namespace varnel::testing
