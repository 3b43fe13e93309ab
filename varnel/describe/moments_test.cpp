// SPDX-License-Identifier: Apache-2.0
// Skewness and kurtosis against R's mean((x - mean(x))^k) ratios.
#include "varnel/describe/moments.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace varnel {
namespace {

// Figures trusted to 13 significant digits (R's own double sums give about 15).
void ExpectDigits(Extended Value, double Reference) {
  EXPECT_NEAR(static_cast<double>(Value), Reference, 1e-13 * std::fabs(Reference)) << Reference;
}

TEST(ShapeMomentsTest, MatchRsMomentRatiosAndIgnoreOffsets) {
  // swiss$Catholic.
  const std::vector<double> Catholic{9.96,  84.84, 93.4,  33.77, 5.16,  90.57, 92.85, 97.16, 97.67, 91.38,
                                     98.61, 8.52,  2.27,  4.43,  2.82,  24.2,  3.3,   12.11, 2.15,  2.84,
                                     5.23,  4.52,  15.14, 4.2,   2.4,   5.23,  2.56,  7.72,  18.46, 6.1,
                                     99.71, 99.68, 100,   98.96, 98.22, 99.06, 99.46, 96.83, 5.62,  13.79,
                                     11.22, 16.92, 4.97,  8.65,  42.34, 50.43, 58.33};
  const TShapeMoments C = ShapeMoments(Catholic);
  ExpectDigits(C.Skew, 0.49462736803369284);
  ExpectDigits(C.Kurtosis, 1.3932364479385486);
  ExpectDigits(C.Excess, 1.3932364479385486 - 3);
  // R's figures of c(1, 2, 4, 8, 16): the same values a billion higher
  // have the same shape (R itself keeps 8 digits of it there).
  for (const double Offset : {0.0, 1e9}) {
    const std::vector<double> Values{Offset + 1, Offset + 2, Offset + 4, Offset + 8, Offset + 16};
    const TShapeMoments S = ShapeMoments(Values);
    ExpectDigits(S.Skew, 0.88904813481695433);
    ExpectDigits(S.Kurtosis, 2.325940860215054);
  }
}

// Deviations of ±0.5e300 and ±1.5e300: a variance of 5e600 / 3, beyond a
// double, and the shape of the four points -1.5, -0.5, 0.5, 1.5.
TEST(ShapeMomentsTest, ValuesNearTheTopOfTheDoublesKeepTheirSpread) {
  const TShapeMoments S = ShapeMoments(std::vector<double>{1e300, 2e300, 3e300, 4e300});
  EXPECT_NEAR(S.Variance / 1e600L, 5.0L / 3, 1e-15L);
  EXPECT_NEAR(S.Skew, 0, 1e-15L);
  EXPECT_NEAR(S.Kurtosis, 1.64L, 1e-15L);
}

TEST(ShapeMomentsTest, NoSpreadNoShape) {
  for (const std::vector<double>& Values : {std::vector<double>{3, 3, 3}, std::vector<double>{1}}) {
    const TShapeMoments S = ShapeMoments(Values);
    EXPECT_TRUE(std::isnan(S.Skew) && std::isnan(S.Kurtosis) && std::isnan(S.Excess));
  }
}

}  // namespace
}  // namespace varnel
