// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "varnel/core/faults.h"
#include "varnel/korlen.h"
#include "varnel/testing/message_recorder.h"

namespace varnel {
namespace {

using testing::TMessageRecorder;

constexpr long double Inf = std::numeric_limits<long double>::infinity();
const long double NaN = std::nanl("");

// n!/(n-r)! and n!/((n-r)! r!) by exact integer arithmetic; false when the
// value does not fit 64 bits.
bool ExactPermutations(int n, int r, std::int64_t& Result) {
  Result = 1;
  for (int f = n - r + 1; f <= n; ++f)
    if (__builtin_mul_overflow(Result, std::int64_t{f}, &Result)) return false;
  return true;
}

std::int64_t ExactCombinations(int n, int r) {
  std::int64_t c = 1;
  for (int i = 0; i < r; ++i) c = c * (n - i) / (i + 1);
  return c;
}

class CombinatoricsTest : public ::testing::Test {
 protected:
  TKorlen Korlen;
  TMessageRecorder Messages;
};

TEST_F(CombinatoricsTest, FactorialComesFromTheTable) {
  EXPECT_EQ(Korlen.Factorial(0), 0);
  EXPECT_EQ(Korlen.Factorial(1), 1);
  EXPECT_EQ(Korlen.Factorial(5), 120);
  EXPECT_EQ(Korlen.Factorial(18), 6402373705728000.0L);
  EXPECT_EQ(Korlen.Factorial(19), 121645100408800000.0L);
  EXPECT_EQ(Korlen.Factorial(20), 2432902008177000000.0L);
  EXPECT_EQ(Korlen.Factorial(25), 1.551121004333E25L);
  EXPECT_EQ(Korlen.Factorial(26), 0);
  EXPECT_EQ(Korlen.Factorial(255), 0);
  // The exact values up to 18!.
  long double Exact = 1;
  for (int n = 1; n <= 18; ++n) EXPECT_EQ(Korlen.Factorial(n), Exact *= n) << n;
  EXPECT_TRUE(Messages.Messages().empty());
}

TEST_F(CombinatoricsTest, UpToTwentyFollowsTheTable) {
  EXPECT_EQ(Korlen.Permutations(5, 2), 20);
  EXPECT_EQ(Korlen.Permutations(20, 2), 380);
  EXPECT_EQ(Korlen.Permutations(20, 19), 2432902008177000000);  // from the table's 20!
  EXPECT_EQ(Korlen.Combinations(5, 2), 10);
  EXPECT_EQ(Korlen.Combinations(20, 10), 184756);
  EXPECT_EQ(Korlen.Combinations(20, 1), 20);
  EXPECT_EQ(Korlen.Combinations(20, 19), 20);
  for (int n = 2; n <= 18; ++n)
    for (int r = 1; r < n; ++r) {
      std::int64_t Exact = 0;
      ASSERT_TRUE(ExactPermutations(n, r, Exact));
      EXPECT_EQ(Korlen.Permutations(n, r), Exact) << n << ", " << r;
      EXPECT_EQ(Korlen.Combinations(n, r), ExactCombinations(n, r)) << n << ", " << r;
    }
  EXPECT_TRUE(Messages.Messages().empty());
}

TEST_F(CombinatoricsTest, CountsOutsideTheRangeGiveZeroSilently) {
  const std::pair<int, int> Counts[] = {{5, 5}, {5, 0}, {0, 0}, {3, 3}, {26, 1}, {255, 2}, {25, 25}, {4, 7}};
  for (const auto& [n, r] : Counts) {
    EXPECT_EQ(Korlen.Permutations(n, r), 0) << n << ", " << r;
    EXPECT_EQ(Korlen.Combinations(n, r), 0) << n << ", " << r;
  }
  EXPECT_TRUE(Messages.Messages().empty());
}

// Above 20! the table's 13 digits decide: a result is given only when they
// fix it to the unit, and then it is the exact count; otherwise the method
// reports and returns 0, never an overflowed or approximate number.
TEST_F(CombinatoricsTest, AboveTwentyEveryResultIsExactOrReported) {
  EXPECT_EQ(Korlen.Permutations(21, 2), 420);
  EXPECT_EQ(Korlen.Permutations(25, 1), 25);
  EXPECT_EQ(Korlen.Permutations(25, 9), 741354768000);
  EXPECT_EQ(Korlen.Combinations(25, 2), 300);
  EXPECT_EQ(Korlen.Combinations(25, 12), 5200300);
  EXPECT_EQ(Korlen.Combinations(24, 23), 24);
  EXPECT_TRUE(Messages.Messages().empty());

  EXPECT_EQ(Korlen.Permutations(25, 10), 0);  // 11861676288000: beyond 13 digits of 25!
  EXPECT_EQ(Korlen.Permutations(21, 20), 0);  // does not fit 64 bits at all
  EXPECT_EQ(Korlen.Permutations(25, 24), 0);
  EXPECT_EQ(Messages.Texts(), (std::vector<std::string>(3, "Error occurred in  Permutations")));

  for (int n = 21; n <= 25; ++n)
    for (int r = 1; r < n; ++r) {
      Messages.Clear();
      std::int64_t Exact = 0;
      const bool Fits = ExactPermutations(n, r, Exact);
      const std::int64_t P = Korlen.Permutations(n, r);
      if (P != 0) {
        EXPECT_TRUE(Fits && P == Exact) << n << ", " << r;
        EXPECT_TRUE(Messages.Messages().empty());
      } else {
        EXPECT_EQ(Messages.Texts(), std::vector<std::string>{"Error occurred in  Permutations"});
      }
      Messages.Clear();
      const std::int64_t C = Korlen.Combinations(n, r);
      EXPECT_EQ(C, ExactCombinations(n, r)) << n << ", " << r;  // all at most C(25, 12)
      EXPECT_TRUE(Messages.Messages().empty());
    }
}

class ElementaryTestsTest : public ::testing::Test {
 protected:
  TKorlen Korlen;
  TMessageRecorder Messages;
};

TEST_F(ElementaryTestsTest, ChiSquareSumsTheCellsWithExpectedCounts) {
  const std::vector<double> Observed = {10, 20, 30, 5, 7};
  const std::vector<double> Expected = {15, 20, 25, 0, 1e-06};
  // 25/15 + 0 + 25/25; the last two cells are left out.
  EXPECT_NEAR(Korlen.CalcChiSquare(Observed, Expected, 5), 25.0L / 15 + 1, 1e-18L);
  EXPECT_NEAR(Korlen.CalcChiSquare(Observed, Expected, 3), 25.0L / 15 + 1, 1e-18L);
  const std::vector<double> Tiny = {2e-06, 1, 1};
  EXPECT_NEAR(Korlen.CalcChiSquare(std::vector<double>{0, 1, 1}, Tiny, 3), 2e-06L, 1e-18L);
  EXPECT_TRUE(Messages.Messages().empty());
}

TEST_F(ElementaryTestsTest, ChiSquareChecksItsCountsSilently) {
  const std::vector<double> Long(20000, 1.0);
  const std::vector<double> Other(20000, 2.0);
  EXPECT_EQ(Korlen.CalcChiSquare(Long, Other, 2), 0);
  EXPECT_EQ(Korlen.CalcChiSquare(Long, Other, 20000), 0);
  EXPECT_NEAR(Korlen.CalcChiSquare(Long, Other, 19999), 19999 * 0.5L, 1e-12L);
  // Spans shorter than N are never read past their end.
  const std::vector<double> Short = {1, 2, 3};
  EXPECT_EQ(Korlen.CalcChiSquare(Short, Other, 4), 0);
  EXPECT_EQ(Korlen.CalcChiSquare(Other, Short, 4), 0);
  EXPECT_EQ(Korlen.CalcChiSquare({}, {}, 3), 0);
  EXPECT_TRUE(Messages.Messages().empty());
}

TEST_F(ElementaryTestsTest, ChiSquareFaultIsReported) {
  const std::vector<double> Expected = {1, 1, 1};
  EXPECT_EQ(Korlen.CalcChiSquare(std::vector<double>{1, std::nan(""), 1}, Expected, 3), 0);
  EXPECT_EQ(Korlen.CalcChiSquare(std::vector<double>{1, 1, 1}, std::vector<double>{1, 1, std::nan("")}, 3), 0);
  EXPECT_EQ(Korlen.CalcChiSquare(std::vector<double>{1, 1, INFINITY}, Expected, 3), 0);
  // Squares of the largest doubles still fit the extended range.
  const double Big = std::numeric_limits<double>::max();
  EXPECT_GT(Korlen.CalcChiSquare(std::vector<double>{Big, Big, Big}, std::vector<double>{1e-5, 1e-5, 1e-5}, 3), 1e621L);
  EXPECT_EQ(Messages.Texts(), (std::vector<std::string>(3, "Error occurred in  ChiSquare")));
}

TEST_F(ElementaryTestsTest, TStatistic) {
  EXPECT_EQ(Korlen.CalcT(16, 12, 10, 4), 2);
  EXPECT_NEAR(Korlen.CalcT(10, 9, 10, 2), -std::sqrt(10.0L) / 2, 1e-18L);
  EXPECT_EQ(Korlen.CalcT(16, 12, 10, 0), 0);
  EXPECT_EQ(Korlen.CalcT(16, 12, 10, -4), 0);
  EXPECT_EQ(Korlen.CalcT(0, 12, 10, 4), 0);
  EXPECT_EQ(Korlen.CalcT(-5, 12, 10, 4), 0);
  EXPECT_TRUE(Messages.Messages().empty());
  EXPECT_EQ(Korlen.CalcT(16, Inf, 10, 4), 0);
  EXPECT_EQ(Korlen.CalcT(16, 12, 10, NaN), 0);
  EXPECT_EQ(Korlen.CalcT(16, 1e4900L, 0, 1e-100L), 0);
  EXPECT_EQ(Messages.Texts(), (std::vector<std::string>(3, "Error occurred in  TCalculated")));
}

TEST_F(ElementaryTestsTest, SmallSampleIntervalUsesTheTAtN) {
  const TIntervalRec At95 = Korlen.SmallSampleCIforMean(10, 50, 5);
  const long double h = 1.812f * (5 / std::sqrt(10.0L));
  EXPECT_NEAR(At95.Upper, 50 + h, 1e-15L);
  EXPECT_NEAR(At95.Lower, 50 - h, 1e-15L);
  EXPECT_NEAR(At95.Upper, 52.865, 1e-3L);
  Korlen.SetAlpha(99);
  const TIntervalRec At99 = Korlen.SmallSampleCIforMean(100, 0, 10);
  EXPECT_NEAR(At99.Upper, 2.326f, 1e-15L);
  EXPECT_NEAR(At99.Lower, -2.326f, 1e-15L);
  for (int N : {0, -1}) {
    const TIntervalRec None = Korlen.SmallSampleCIforMean(N, 50, 5);
    EXPECT_EQ(None.Upper, 0);
    EXPECT_EQ(None.Lower, 0);
  }
  EXPECT_TRUE(Messages.Messages().empty());
  // A fault in the second limit leaves no half-filled record.
  const TIntervalRec Failed = Korlen.SmallSampleCIforMean(10, -1.1e4932L, 1e4932L);
  EXPECT_EQ(Failed.Upper, 0);
  EXPECT_EQ(Failed.Lower, 0);
  const TIntervalRec NaNMean = Korlen.SmallSampleCIforMean(10, NaN, 1);
  EXPECT_EQ(NaNMean.Upper, 0);
  EXPECT_EQ(Messages.Texts(), (std::vector<std::string>(2, "Error occurred in  SmallSampleCIforMean")));
}

TEST_F(ElementaryTestsTest, LargeSampleIntervalUsesTheZOfTheLevelText) {
  const TIntervalRec At95 = Korlen.LargeSampleCIforMean(".95", 100, 2);
  EXPECT_NEAR(At95.Upper, 103.92L, 1e-15L);
  EXPECT_NEAR(At95.Lower, 96.08L, 1e-15L);
  const TIntervalRec At90 = Korlen.LargeSampleCIforMean("0.90", 10, 1);
  EXPECT_NEAR(At90.Upper, 11.645L, 1e-15L);
  EXPECT_NEAR(At90.Lower, 8.355L, 1e-15L);
  const TIntervalRec Unknown = Korlen.LargeSampleCIforMean("95", 100, 2);
  EXPECT_EQ(Unknown.Upper, 100);
  EXPECT_EQ(Unknown.Lower, 100);
  EXPECT_TRUE(Messages.Messages().empty());
  const TIntervalRec Failed = Korlen.LargeSampleCIforMean(".99", 0, 1e4932L);
  EXPECT_EQ(Failed.Upper, 0);
  EXPECT_EQ(Failed.Lower, 0);
  EXPECT_EQ(Korlen.LargeSampleCIforMean("x", 1, NaN).Upper, 0);
  EXPECT_EQ(Messages.Texts(), (std::vector<std::string>(2, "Error occurred in  LargeSampleCIfor Mean")));
}

class SimpleValuesTest : public ::testing::Test {
 protected:
  TKorlen Korlen;
  TMessageRecorder Messages;
  void TearDown() override { EXPECT_TRUE(Messages.Messages().empty()); }
};

TEST_F(SimpleValuesTest, ZValueCenterValueAndF) {
  EXPECT_EQ(Korlen.GetZValue(13, 10, 2), 1.5L);
  EXPECT_EQ(Korlen.GetZValue(13, 10, 0), 0);
  EXPECT_EQ(Korlen.GetZValue(13, 10, -2), 0);
  EXPECT_EQ(Korlen.GetCenterValue(13, 10), 3);
  EXPECT_EQ(Korlen.GetCenterValue(-2.5L, 10), -12.5L);
  EXPECT_EQ(Korlen.CalcF(6, 4), 1.5L);
  EXPECT_EQ(Korlen.CalcF(6, 0), 0);
  EXPECT_EQ(Korlen.CalcF(-6, 4), -1.5L);
}

// These have no trap: a fault reaches the caller, with no message.
TEST_F(SimpleValuesTest, FaultsReachTheCaller) {
  EXPECT_THROW(Korlen.GetZValue(1, 0, NaN), EInvalidOp);
  EXPECT_THROW(Korlen.GetZValue(1e4932L, -1e4932L, 1), EOverflow);
  EXPECT_THROW(Korlen.GetZValue(1e4932L, 0, 1e-10L), EOverflow);
  EXPECT_THROW(Korlen.GetCenterValue(Inf, 0), EOverflow);
  EXPECT_THROW(Korlen.CalcF(1, NaN), EInvalidOp);
  EXPECT_THROW(Korlen.CalcF(1e4932L, 1e-10L), EOverflow);
}

}  // namespace
}  // namespace varnel
