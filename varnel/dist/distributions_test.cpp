// SPDX-License-Identifier: Apache-2.0
// The distribution functions against references that share no code with
// them: closed forms (the Cauchy law is t with 1 df, t with 2 df has an
// algebraic CDF, chi-square with 2 df is exponential, F(2, 2) is f/(1+f),
// the normal tail is erfc), evaluated in long double, far into the tails;
// and R's quantiles (qnorm, qt, qf, qchisq) written in as literals.
#include "varnel/dist/distributions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "varnel/core/faults.h"

namespace varnel {
namespace {

// Relative agreement to Digits significant digits.
::testing::AssertionResult Agrees(double Got, long double Want, double Digits) {
  const long double Error = std::fabs((Got - Want) / Want);
  if (Error <= std::pow(10.0L, -Digits)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << Got << " vs " << static_cast<double>(Want) << " (relative error "
                                       << static_cast<double>(Error) << ")";
}

constexpr long double kPi = 3.141592653589793238462643383279503L;

TEST(DistributionsTest, NormalTailsToTwelveDigitsDownTo1e300) {
  for (double z : {0.5, 1.0, 3.0, 8.0, 20.0, 37.0}) {
    const long double Upper = std::erfc(static_cast<long double>(z) / std::sqrt(2.0L)) / 2;
    EXPECT_TRUE(Agrees(NormalProbability(z, TTail::Upper), Upper, 12)) << z;
    EXPECT_TRUE(Agrees(NormalProbability(-z, TTail::Lower), Upper, 12)) << z;
    EXPECT_TRUE(Agrees(NormalProbability(z, TTail::Lower), 1 - Upper, 14)) << z;
  }
  EXPECT_TRUE(Agrees(NormalQuantile(0.975, TTail::Lower), 1.959963984540054L, 13));
  const double Far = NormalQuantile(1e-300, TTail::Upper);
  EXPECT_TRUE(Agrees(1e-300, std::erfc(static_cast<long double>(Far) / std::sqrt(2.0L)) / 2, 12));
}

TEST(DistributionsTest, StudentTTailsAgainstClosedForms) {
  for (double t : {0.5, 2.0, 30.0, 1e6, 1e100}) {
    const long double T = t;
    const long double Cauchy = std::atan(1 / T) / kPi;                           // 1 df
    const long double Two = 1 / (std::sqrt(2 + T * T) * (std::sqrt(2 + T * T) + T));  // 2 df
    EXPECT_TRUE(Agrees(StudentTProbability(t, 1, TTail::Upper), Cauchy, 12)) << t;
    EXPECT_TRUE(Agrees(StudentTProbability(-t, 1, TTail::Lower), Cauchy, 12)) << t;
    EXPECT_TRUE(Agrees(StudentTProbability(t, 2, TTail::Upper), Two, 12)) << t;
    EXPECT_TRUE(Agrees(StudentTTwoSided(-t, 2), 2 * Two, 12)) << t;
  }
}

TEST(DistributionsTest, ChiSquareAndFTailsAgainstClosedForms) {
  for (double x : {0.1, 5.0, 100.0, 1400.0}) {
    EXPECT_TRUE(Agrees(ChiSquareProbability(x, 2, TTail::Upper), std::exp(-static_cast<long double>(x) / 2), 12))
        << x;
    EXPECT_TRUE(Agrees(FProbability(x, 2, 2, TTail::Upper), 1 / (1 + static_cast<long double>(x)), 12)) << x;
  }
  // F(1, n) of t² is the two-sided t tail.
  for (double t : {1.5, 4.0, 40.0}) {
    EXPECT_TRUE(Agrees(FProbability(t * t, 1, 7.5, TTail::Upper), StudentTTwoSided(t, 7.5), 11)) << t;
  }
}

TEST(DistributionsTest, QuantilesAgreeWithR) {
  EXPECT_TRUE(Agrees(StudentTQuantile(0.975, 10, TTail::Lower), 2.228138851986274L, 11));  // qt(0.975, 10)
  EXPECT_TRUE(Agrees(StudentTQuantile(0.025, 30, TTail::Upper), 2.042272456301238L, 11));  // qt(0.975, 30)
  EXPECT_TRUE(Agrees(ChiSquareQuantile(0.95, 1, TTail::Lower), 3.841458820694124L, 12));   // qchisq(0.95, 1)
  EXPECT_TRUE(Agrees(ChiSquareQuantile(0.05, 10, TTail::Upper), 18.30703805327515L, 11));  // qchisq(0.95, 10)
  EXPECT_TRUE(Agrees(FQuantile(0.95, 3, 10, TTail::Lower), 3.708264819183084L, 10));       // qf(0.95, 3, 10)
  // Round trips for real degrees of freedom and small probabilities.
  for (double p : {1e-250, 1e-12, 0.01, 0.3}) {
    EXPECT_TRUE(Agrees(StudentTProbability(StudentTQuantile(p, 3.5, TTail::Upper), 3.5, TTail::Upper), p, 11)) << p;
    EXPECT_TRUE(Agrees(FProbability(FQuantile(p, 2.5, 40.25, TTail::Upper), 2.5, 40.25, TTail::Upper), p, 10)) << p;
    EXPECT_TRUE(Agrees(ChiSquareProbability(ChiSquareQuantile(p, 0.75, TTail::Upper), 0.75, TTail::Upper), p, 11))
        << p;
  }
}

TEST(DistributionsTest, ArgumentsOutsideTheDomainAreFaults) {
  const double NaN = std::numeric_limits<double>::quiet_NaN();
  EXPECT_THROW(StudentTProbability(1, 0, TTail::Upper), EInvalidOp);
  EXPECT_THROW(FProbability(1, 2, -1, TTail::Upper), EInvalidOp);
  EXPECT_THROW(ChiSquareQuantile(1.5, 3, TTail::Lower), EInvalidOp);
  EXPECT_THROW(NormalProbability(NaN, TTail::Lower), EInvalidOp);
  EXPECT_THROW(StudentTQuantile(0.5, NaN, TTail::Lower), EInvalidOp);
  EXPECT_THROW(NormalQuantile(0, TTail::Lower), EOverflow);  // -infinity
  EXPECT_EQ(ChiSquareQuantile(0, 3, TTail::Lower), 0);
  EXPECT_EQ(NormalProbability(std::numeric_limits<double>::infinity(), TTail::Upper), 0);
  EXPECT_EQ(FProbability(-1, 2, 3, TTail::Upper), 1);
}

}  // namespace
}  // namespace varnel
