// SPDX-License-Identifier: Apache-2.0
#include "varnel/dist/tables.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "varnel/core/faults.h"
#include "varnel/korlen.h"
#include "varnel/testing/message_recorder.h"

namespace varnel {
namespace {

// Independent closed forms for integer degrees of freedom, so that every
// table entry can be checked against the distribution it is printed from.
long double NormalUpper(long double z) { return 0.5L * std::erfc(z / std::numbers::sqrt2_v<long double>); }

long double NormalDensity(long double z) {
  return std::exp(-z * z / 2) / std::sqrt(2 * std::numbers::pi_v<long double>);
}

// P(T > t) for Student's t with Nu degrees of freedom.
long double TUpper(long double t, int Nu) {
  const long double Theta = std::atan(t / std::sqrt(static_cast<long double>(Nu)));
  const long double C2 = std::cos(Theta) * std::cos(Theta);
  long double Term = 1, Sum = 1, Within;  // Within = P(|T| < t)
  if (Nu % 2 == 1) {
    for (int j = 3; j <= Nu - 2; j += 2) Sum += (Term *= C2 * (j - 1) / j);
    Within = Nu == 1 ? 2 * Theta / std::numbers::pi_v<long double>
                     : 2 / std::numbers::pi_v<long double> * (Theta + std::sin(Theta) * std::cos(Theta) * Sum);
  } else {
    for (int j = 2; j <= Nu - 2; j += 2) Sum += (Term *= C2 * (j - 1) / j);
    Within = std::sin(Theta) * Sum;
  }
  return (1 - Within) / 2;
}

// P(chi-square > x) with Nu degrees of freedom.
long double ChiSquareUpper(long double x, int Nu) {
  long double Term = 1, Sum = 0;
  if (Nu % 2 == 0) {
    for (int k = 0; k < Nu / 2; ++k) {
      Sum += Term;
      Term *= x / 2 / (k + 1);
    }
    return std::exp(-x / 2) * Sum;
  }
  const long double Chi = std::sqrt(x);
  Term = Chi;
  for (int r = 1; r <= (Nu - 1) / 2; ++r) {
    Sum += Term;
    Term *= x / (2 * r + 1);
  }
  return 2 * NormalUpper(Chi) + 2 * NormalDensity(Chi) * Sum;
}

// A printed three-decimal critical value v for tail P is right when the
// exact quantile lies within half a unit of its last decimal.
template <class Upper>
::testing::AssertionResult RoundsQuantile(Single Printed, long double P, Upper Tail) {
  const long double Half = 0.0005L + 1e-6L;  // a float holds the printed value to ~1e-6
  if (Tail(Printed - Half) >= P && P >= Tail(Printed + Half)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << Printed << " is not the quantile for tail " << static_cast<double>(P);
}

class TablesTest : public ::testing::Test {
 protected:
  TKorlen Korlen;
  testing::TMessageRecorder Messages;
  void TearDown() override { EXPECT_TRUE(Messages.Messages().empty()); }
};

TEST_F(TablesTest, EveryNormalAreaIsTheFourDecimalArea) {
  for (int i = 0; i < NormalAreaCount; ++i) {
    const long double z = i / 100.0L;
    const long double Exact = 0.5L - NormalUpper(z);
    const long double Area = Korlen.ProbabilityZBetweenPlusMinus(z) / 2;
    EXPECT_NEAR(Area, Exact, 0.00005L) << "z = " << static_cast<double>(z);
    EXPECT_EQ(Area, NormalAreaTable[i]);
    EXPECT_EQ(Korlen.ProbabilityZIsHigher(-z), i == 0 ? 0.5L : 0.5L + Area);
    EXPECT_EQ(Korlen.ProbabilityZIsLower(z), i == 0 ? 0.5L : 0.5L + Area);
  }
  // Printed sample entries.
  const std::pair<int, double> Samples[] = {{1, 0.0040},   {50, 0.1915},  {100, 0.3413}, {164, 0.4495},
                                            {165, 0.4505}, {196, 0.4750}, {200, 0.4772}, {258, 0.4951},
                                            {292, 0.4982}, {293, 0.4983}, {300, 0.4987}, {310, 0.4990}};
  for (const auto& [Index, Area] : Samples) EXPECT_EQ(NormalAreaTable[Index], Area);
}

TEST_F(TablesTest, ProbabilitiesAtTheUsualPoints) {
  EXPECT_NEAR(Korlen.ProbabilityZIsHigher(1.96L), 0.025L, 1e-15L);
  EXPECT_NEAR(Korlen.ProbabilityZIsLower(1.96L), 0.975L, 1e-15L);
  EXPECT_NEAR(Korlen.ProbabilityZBetweenPlusMinus(-1.96L), 0.95L, 1e-15L);
  EXPECT_NEAR(Korlen.ProbabilityZIsLower(-1.96L), 0.025L, 1e-15L);
  // Zero, and a nonzero z that rounds to index 0.
  for (long double z : {0.0L, 0.004L, -0.004L}) {
    EXPECT_EQ(Korlen.ProbabilityZIsHigher(z), 0.5L);
    EXPECT_EQ(Korlen.ProbabilityZIsLower(z), 0.5L);
    EXPECT_EQ(Korlen.ProbabilityZBetweenPlusMinus(z), 0);
  }
}

TEST_F(TablesTest, BeyondThreePointOneIsClamped) {
  const long double Tail = 0.5L - NormalAreaTable[310];
  for (long double z : {3.1L, 3.2L, 5.0L, 1e300L, std::numeric_limits<long double>::infinity()}) {
    EXPECT_NEAR(Korlen.ProbabilityZIsHigher(z), 0.001L, 1e-15L);
    EXPECT_EQ(Korlen.ProbabilityZIsHigher(z), Tail);
    EXPECT_EQ(Korlen.ProbabilityZIsLower(-z), Tail);
    EXPECT_NEAR(Korlen.ProbabilityZBetweenPlusMinus(z), 0.998L, 1e-15L);
    EXPECT_NEAR(Korlen.ProbabilityZBetweenPlusMinus(-z), 0.998L, 1e-15L);
  }
}

TEST_F(TablesTest, IndexRoundsHalfToEven) {
  // 0.125 and 0.375 are exact binary fractions: 12.5 goes to 12, 37.5 to 38.
  EXPECT_EQ(Korlen.ProbabilityZBetweenPlusMinus(0.125L), 2 * NormalAreaTable[12]);
  EXPECT_EQ(Korlen.ProbabilityZBetweenPlusMinus(-0.375L), 2 * NormalAreaTable[38]);
  EXPECT_EQ(Korlen.ProbabilityZBetweenPlusMinus(0.0149L), 2 * NormalAreaTable[1]);
}

TEST_F(TablesTest, NaNHasNoEntry) {
  const long double NaN = std::nanl("");
  EXPECT_THROW(Korlen.ProbabilityZIsHigher(NaN), EInvalidOp);
  EXPECT_THROW(Korlen.ProbabilityZIsLower(NaN), EInvalidOp);
  EXPECT_THROW(Korlen.ProbabilityZBetweenPlusMinus(NaN), EInvalidOp);
}

TEST_F(TablesTest, ZValueMatchesTheLevelTextExactly) {
  EXPECT_EQ(Korlen.ZTableValue2(".90"), 1.645L);
  EXPECT_EQ(Korlen.ZTableValue2("0.90"), 1.645L);
  EXPECT_EQ(Korlen.ZTableValue2(".95"), 1.96L);
  EXPECT_EQ(Korlen.ZTableValue2("0.95"), 1.96L);
  EXPECT_EQ(Korlen.ZTableValue2(".99"), 2.576L);
  EXPECT_EQ(Korlen.ZTableValue2("0.99"), 2.576L);
  for (const char* Unknown : {"95%", "0.950", "", "95", " .95", ".95 ", "0,95", ".9", "0.995"})
    EXPECT_EQ(Korlen.ZTableValue2(Unknown), 0) << '"' << Unknown << '"';
}

TEST_F(TablesTest, EveryTEntryIsTheThreeDecimalQuantile) {
  const long double Tails[] = {0.10L, 0.05L, 0.025L, 0.01L, 0.005L};
  for (int df = 1; df <= TTableRows; ++df) {
    const TTTableRow& Row = TTable[df - 1];
    EXPECT_EQ(Row.DF, df);
    for (int c = 0; c < 5; ++c) {
      if (df < TTableRows)
        EXPECT_TRUE(RoundsQuantile(Row.Value[c], Tails[c], [df](long double t) { return TUpper(t, df); }))
            << "df " << df << " column " << c;
      else
        EXPECT_TRUE(RoundsQuantile(Row.Value[c], Tails[c], NormalUpper)) << "limiting column " << c;
    }
  }
}

TEST_F(TablesTest, TValueFollowsTheLevel) {
  const std::pair<int, TTailColumn> Levels[] = {{90, tc10}, {95, tc05}, {99, tc01}};
  for (const auto& [Level, Column] : Levels) {
    Korlen.SetAlpha(Level);
    for (int df = 1; df <= TTableRows; ++df) EXPECT_EQ(Korlen.TTableValue2(df), TTable[df - 1].Value[Column]);
    for (int df : {31, 1000, 2147483647}) EXPECT_EQ(Korlen.TTableValue2(df), TTable[29].Value[Column]);
    for (int df : {0, -3, -2147483647 - 1}) EXPECT_EQ(Korlen.TTableValue2(df), 0);
  }
  Korlen.SetAlpha(95);
  EXPECT_EQ(Korlen.TTableValue2(10), 1.812f);
  EXPECT_EQ(Korlen.TTableValue2(29), 1.699f);
  EXPECT_EQ(Korlen.TTableValue2(30), 1.645f);
  EXPECT_EQ(Korlen.TTableValue2(1000), 1.645f);
  EXPECT_EQ(Korlen.TTableValue2(1), 6.314f);
  Korlen.SetAlpha(90);
  EXPECT_EQ(Korlen.TTableValue2(10), 1.372f);
  EXPECT_EQ(Korlen.TTableValue2(31), 1.282f);
  Korlen.SetAlpha(99);
  EXPECT_EQ(Korlen.TTableValue2(10), 2.764f);
  EXPECT_EQ(Korlen.TTableValue2(2), 6.965f);
  EXPECT_EQ(Korlen.TTableValue2(30), 2.326f);
}

TEST_F(TablesTest, EveryChiSquareEntryIsTheThreeDecimalQuantile) {
  for (int df = 1; df <= ChiSquareTableRows; ++df) {
    const TChiSquareTableRow& Row = ChiSquareTable[df - 1];
    EXPECT_EQ(Row.DF, df);
    const auto Tail = [df](long double x) { return ChiSquareUpper(x, df); };
    EXPECT_TRUE(RoundsQuantile(Row.C05, 0.05L, Tail)) << "df " << df;
    EXPECT_TRUE(RoundsQuantile(Row.C01, 0.01L, Tail)) << "df " << df;
    EXPECT_EQ(Korlen.CSqrTableValue(df, 0.05f), Row.C05);
    EXPECT_EQ(Korlen.CSqrTableValue(df, 0.01f), Row.C01);
  }
  EXPECT_EQ(Korlen.CSqrTableValue(1, 0.05f), 3.841f);
  EXPECT_EQ(Korlen.CSqrTableValue(1, 0.01f), 6.635f);
  EXPECT_EQ(Korlen.CSqrTableValue(16, 0.01f), 32.000f);
  EXPECT_EQ(Korlen.CSqrTableValue(30, 0.05f), 43.773f);
}

TEST_F(TablesTest, ChiSquareOutsideTheTableIsZero) {
  // The level is read to the nearest thousandth.
  EXPECT_EQ(Korlen.CSqrTableValue(10, 0.0504f), 18.307f);
  EXPECT_EQ(Korlen.CSqrTableValue(10, 0.0096f), 23.209f);
  for (float Alpha : {0.10f, 0.025f, 0.0f, -0.05f, 0.0506f, 1e30f, INFINITY, NAN})
    EXPECT_EQ(Korlen.CSqrTableValue(5, Alpha), 0) << Alpha;
  for (int df : {0, -1, 31, 1000, -2147483647 - 1, 2147483647}) {
    EXPECT_EQ(Korlen.CSqrTableValue(df, 0.05f), 0) << df;
    EXPECT_EQ(Korlen.CSqrTableValue(df, 0.01f), 0) << df;
  }
}

}  // namespace
}  // namespace varnel
