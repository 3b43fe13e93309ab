// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>
#include <vector>

#include "varnel/korlen.h"
#include "varnel/testing/digits.h"
#include "varnel/testing/message_recorder.h"

namespace varnel {
namespace {

using testing::AgreesTo;
using testing::TMessageRecorder;
using Column = std::vector<double>;
using Ranks = std::vector<std::int32_t>;

class BivariateInferenceTest : public ::testing::Test {
 protected:
  TKorlen Korlen;
  // B1 = 0.8, SXX = 10, SYY = 10, SXY = 8, N = 5: SSE = 3.6, s = √1.2.
  TBivarStatRec Small = Korlen.BVRegression(Column{1, 2, 3, 4, 5}, Column{2, 1, 4, 3, 5}, 5);
  const long double s = std::sqrt(1.2L);
};

TEST_F(BivariateInferenceTest, SlopeIntervalAndTestStatistic) {
  TMessageRecorder Messages;
  const TIntervalRec Slope = Korlen.BVRegressionBeta1CI(Small);
  const long double h = (long double)2.353f * s / std::sqrt(10.0L);
  EXPECT_NEAR(static_cast<double>(h), 0.8151, 5e-5);
  EXPECT_TRUE(AgreesTo(Slope.Upper, 0.8L + h, 17));
  EXPECT_TRUE(AgreesTo(Slope.Lower, 0.8L - h, 17));
  Korlen.SetAlpha(99);
  EXPECT_TRUE(AgreesTo(Korlen.BVRegressionBeta1CI(Small).Upper, 0.8L + (long double)4.541f * s / std::sqrt(10.0L), 17));
  const double t = Korlen.BVRegressionTestStatistic(Small);
  EXPECT_TRUE(AgreesTo(t, 0.8L / std::sqrt(0.12L), 15));
  EXPECT_TRUE(AgreesTo(t, Small.TStatR, 15));
  EXPECT_TRUE(Messages.Messages().empty());
}

TEST_F(BivariateInferenceTest, ResponseIntervalsWidenAwayFromTheMean) {
  const long double t = 2.353f;
  const Extended AtMean = Korlen.BVCalcYValue(Small, 3);
  const TIntervalRec CI = Korlen.BVRegressionCI(Small, AtMean, 3), PI = Korlen.BVRegressionPI(Small, AtMean, 3);
  EXPECT_TRUE(AgreesTo(CI.Upper - AtMean, t * s / std::sqrt(5.0L), 16));
  EXPECT_TRUE(AgreesTo(AtMean - CI.Lower, t * s / std::sqrt(5.0L), 16));
  EXPECT_TRUE(AgreesTo(PI.Upper - AtMean, t * s * std::sqrt(1.2L), 16));
  // The centre is the caller's: x0 = 5 with a centre of 100.
  const TIntervalRec Far = Korlen.BVRegressionCI(Small, 100, 5), FarPI = Korlen.BVRegressionPI(Small, 100, 5);
  EXPECT_TRUE(AgreesTo(Far.Lower, 100 - t * s * std::sqrt(0.6L), 17));
  EXPECT_TRUE(AgreesTo(FarPI.Upper, 100 + t * s * std::sqrt(1.6L), 17));
}

TEST_F(BivariateInferenceTest, LargeSamplesUseTheNormalValueAndAgreeWithResiduals) {
  const int n = 40;
  Column X(n), Y(n);
  std::mt19937 Engine(3);
  std::uniform_real_distribution<double> Unit(0, 1);
  for (int i = 0; i < n; ++i) {
    X[i] = 10 * Unit(Engine);
    Y[i] = 2 + 0.5 * X[i] + Unit(Engine);
  }
  const TBivarStatRec Rec = Korlen.BVRegression(X, Y, n);
  // s from the residuals themselves, and the spread of X about its mean.
  long double SSE = 0, SXX = 0;
  for (int i = 0; i < n; ++i) {
    const long double e = Y[i] - (Rec.B0 + Rec.B1 * X[i]), d = X[i] - Rec.MeanX;
    SSE += e * e;
    SXX += d * d;
  }
  const long double sd = std::sqrt(SSE / (n - 2)), z = 1.645f;
  const TIntervalRec PI = Korlen.BVRegressionPI(Rec, 0, 7);
  EXPECT_TRUE(AgreesTo(PI.Upper, z * sd * std::sqrt(1 + 1.0L / n + (7 - Rec.MeanX) * (7 - Rec.MeanX) / SXX), 12));
  EXPECT_TRUE(AgreesTo(Korlen.BVRegressionTestStatistic(Rec), Rec.B1 / (sd / std::sqrt(SXX)), 12));
}

TEST_F(BivariateInferenceTest, FailuresShowTheirMessageAndGiveZero) {
  TMessageRecorder Messages;
  const TBivarStatRec Rejected = Korlen.BVRegression(Column{1, 2}, Column{3, 4}, 2);
  for (const TIntervalRec& I : {Korlen.BVRegressionBeta1CI(Rejected), Korlen.BVRegressionCI(Rejected, 5, 1),
                                Korlen.BVRegressionPI(Rejected, 5, 1)}) {
    EXPECT_EQ(I.Upper, 0);
    EXPECT_EQ(I.Lower, 0);
  }
  EXPECT_EQ(Messages.Texts(),
            (std::vector<std::string>{"Error occurred in  BivarRegressionBeta1CI", "Error occurred in  BivarRegressionCI",
                                      "Error occurred in  BivarRegressionPI"}));
  Messages.Clear();
  TBivarStatRec Flat = Small;
  Flat.SXX = 0;
  EXPECT_EQ(Korlen.BVRegressionBeta1CI(Flat).Upper, 0);
  EXPECT_EQ(Korlen.BVRegressionTestStatistic(Flat), 0);  // rejected before computing: no message
  Flat = Small;
  Flat.N = MaxObs;
  EXPECT_EQ(Korlen.BVRegressionTestStatistic(Flat), 0);
  EXPECT_EQ(Korlen.BVRegressionTestStatistic(Rejected), 0);
  EXPECT_EQ(Messages.Texts(), std::vector<std::string>{"Error occurred in  BivarRegressionBeta1CI"});
}

TEST_F(BivariateInferenceTest, PerfectFitHasAZeroWidthInterval) {
  TMessageRecorder Messages;
  for (int n : {5, 7, 23, 101, 1001}) {
    Column X(n), Y(n);
    for (int i = 0; i < n; ++i) {
      X[i] = 0.1 * i + 0.3;
      Y[i] = 0.7 - X[i] / 3;
    }
    const TBivarStatRec Rec = Korlen.BVRegression(X, Y, n);
    const TIntervalRec Slope = Korlen.BVRegressionBeta1CI(Rec);
    EXPECT_NEAR(Slope.Upper, -1 / 3.0, 1e-9) << n;
    EXPECT_NEAR(Slope.Lower, -1 / 3.0, 1e-9) << n;
  }
  EXPECT_TRUE(Messages.Messages().empty());
  // An exact fit has an unbounded t: a division by zero.
  EXPECT_EQ(Korlen.BVRegressionTestStatistic(Korlen.BVRegression(Column{1, 2, 3}, Column{2, 4, 6}, 3)), 0);
  EXPECT_EQ(Messages.Texts(), std::vector<std::string>{"Error occurred in  BivarRegressionTestStatistic"});
}

TEST_F(BivariateInferenceTest, CorrelationTestStatistic) {
  TMessageRecorder Messages;
  EXPECT_TRUE(AgreesTo(Korlen.BVCorrelationSampleTestStat(28, 0, 0.5L), 2.5L * std::log(3.0L), 17));
  EXPECT_TRUE(AgreesTo(Korlen.BVCorrelationSampleTestStat(103, 0.3L, -0.2L),
                       (std::atanh(-0.2L) - std::atanh(0.3L)) * 10, 16));
  EXPECT_EQ(Korlen.BVCorrelationSampleTestStat(50, 0.4L, 0.4L), 0);
  EXPECT_EQ(Korlen.BVCorrelationSampleTestStat(3, 0, 1), 0);  // count first: no fault
  EXPECT_TRUE(Messages.Messages().empty());
  for (const Extended b : {1.0L, -1.0L, 1.5L}) {
    EXPECT_EQ(Korlen.BVCorrelationSampleTestStat(28, 0, b), 0);
  }
  EXPECT_EQ(Messages.Count("Error occurred in  BVCorrelationSampleTestStat"), 3);
}

class SpearmanTest : public ::testing::Test {
 protected:
  TKorlen Korlen;
};

TEST_F(SpearmanTest, ExtremesAndRejectedCounts) {
  TMessageRecorder Messages;
  const Ranks Up{1, 2, 3, 4, 5}, Down{5, 4, 3, 2, 1};
  EXPECT_EQ(Korlen.SpearmansR(Up, Up, 5), 1);
  EXPECT_EQ(Korlen.SpearmansR(Up, Down, 5), -1);
  EXPECT_EQ(Korlen.SpearmansRStdError(Up, Up, 5), 0);
  EXPECT_EQ(Korlen.SpearmansRStdError(Up, Down, 5), 0);
  for (int n : {2, 6, MaxObs}) {  // too few, and more than the arrays hold
    EXPECT_EQ(Korlen.SpearmansR(Up, Down, n), 0) << n;
    EXPECT_EQ(Korlen.SpearmansRStdError(Up, Down, n), 0) << n;
  }
  EXPECT_TRUE(Messages.Messages().empty());
}

TEST_F(SpearmanTest, AgreesWithPearsonOfTheRanks) {
  // Without ties, Spearman's r is the ordinary correlation of the ranks.
  for (int n : {7, 19999}) {
    Ranks A(n), B(n);
    std::iota(A.begin(), A.end(), 1);
    std::iota(B.begin(), B.end(), 1);
    std::mt19937 Engine(n);
    std::shuffle(B.begin(), B.end(), Engine);
    std::reverse(B.begin(), B.begin() + n / 3);  // some association with A
    long double m = (n + 1) / 2.0L, Sab = 0, Saa = 0;
    for (int i = 0; i < n; ++i) {
      Sab += (A[i] - m) * (B[i] - m);
      Saa += (A[i] - m) * (A[i] - m);
    }
    const long double r = Sab / Saa;
    EXPECT_TRUE(AgreesTo(Korlen.SpearmansR(A, B, n), r, 14)) << n;
    EXPECT_TRUE(AgreesTo(Korlen.SpearmansRStdError(A, B, n), std::sqrt((1 - r * r) / (n - 2)), 13)) << n;
  }
}

TEST_F(SpearmanTest, RanksFarApartDoNotOverflow) {
  TMessageRecorder Messages;
  const Ranks Wild{2000000000, -2000000000, 0}, Zero{0, 0, 0};
  // d² = 4e18 twice: 1 - 6·8e18 / 24.
  EXPECT_EQ(Korlen.SpearmansR(Wild, Zero, 3), 1 - 2e18L);
  EXPECT_TRUE(Messages.Messages().empty());
  EXPECT_EQ(Korlen.SpearmansRStdError(Wild, Zero, 3), 0);
  EXPECT_EQ(Messages.Texts(), std::vector<std::string>{"Error occurred in  SpearmansRStdError"});
}

}  // namespace
}  // namespace varnel
