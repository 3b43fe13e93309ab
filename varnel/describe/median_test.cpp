// SPDX-License-Identifier: Apache-2.0
// GetMedian selects the middle values instead of sorting all of them; its
// result must be that of the middle of the sorted values, bit for bit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "varnel/korlen.h"

namespace varnel {
namespace {

// The median by selection against the median of the fully sorted values,
// odd and even counts, ties, and signed zeros in the middle.
TEST(MedianSelectionTest, MatchesTheMiddleOfTheSortedValues) {
  TKorlen Korlen;
  std::mt19937 Engine(37);
  std::uniform_int_distribution<int> Small(-3, 3);
  for (int n : {1, 2, 3, 4, 5, 10, 101, 1000}) {
    for (int Trial = 0; Trial < 20; ++Trial) {
      std::vector<double> A(n);
      for (double& a : A) a = Trial % 2 ? Small(Engine) * 0.5 : (Small(Engine) == 0 ? -0.0 : Small(Engine) * 1.25);
      std::vector<double> S = A;
      std::sort(S.begin(), S.end());
      const Extended Want = n % 2 ? Extended(S[n / 2]) : (Extended(S[n / 2 - 1]) + S[n / 2]) * 0.5L;
      const Extended Got = Korlen.GetMedian(A, n);
      EXPECT_EQ(Got, Want) << "n " << n;
      EXPECT_EQ(std::signbit(Got), std::signbit(Want)) << "n " << n;
    }
  }
}

}  // namespace
}  // namespace varnel
