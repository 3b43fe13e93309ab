// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "varnel/korlen.h"
#include "varnel/testing/digits.h"
#include "varnel/testing/data_sets.h"
#include "varnel/testing/message_recorder.h"
#include "varnel/testing/reference_fit.h"

namespace varnel {
namespace {

using testing::AgreesTo;
using testing::TMessageRecorder;
using Column = std::vector<double>;

const std::string DivideMessage = "Divide by zero calculating r, B1 or B0";

// Textbook two-pass formulas: means first, then sums of deviations.
struct TTwoPass {
  long double MeanX, MeanY, SXX, SYY, SXY, R, B1, B0;
};

TTwoPass TwoPass(const Column& X, const Column& Y) {
  const long double n = X.size();
  long double sx = 0, sy = 0;
  for (std::size_t i = 0; i < X.size(); ++i) {
    sx += X[i];
    sy += Y[i];
  }
  TTwoPass T{sx / n, sy / n, 0, 0, 0, 0, 0, 0};
  for (std::size_t i = 0; i < X.size(); ++i) {
    const long double dx = X[i] - T.MeanX, dy = Y[i] - T.MeanY;
    T.SXX += dx * dx;
    T.SYY += dy * dy;
    T.SXY += dx * dy;
  }
  T.R = T.SXY / std::sqrt(T.SXX * T.SYY);
  T.B1 = T.SXY / T.SXX;
  T.B0 = T.MeanY - T.B1 * T.MeanX;
  return T;
}

// y = a + b·x + noise with x spread `Spread` around `Centre`.
void LinearData(std::size_t n, double Centre, double Spread, unsigned Seed, Column& X, Column& Y) {
  std::mt19937 Engine(Seed);
  std::uniform_real_distribution<double> Unit(-1.0, 1.0);
  X.resize(n);
  Y.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    X[i] = Centre + Spread * Unit(Engine);
    Y[i] = 5 - 0.75 * X[i] + Spread * Unit(Engine);
  }
}

class BivariateRegressionTest : public ::testing::Test {
 protected:
  TKorlen Korlen;
};

TEST_F(BivariateRegressionTest, SmallDataSetsGiveTheirExactRecords) {
  TMessageRecorder Messages;
  const Column X{1, 2, 3, 4, 5};
  const TBivarStatRec Line = Korlen.BVRegression(X, Column{2, 4, 6, 8, 10}, 5);
  EXPECT_EQ(Line.N, 5);
  EXPECT_EQ(Line.DF, 3);
  EXPECT_EQ(Line.R, 1);
  EXPECT_EQ(Line.B1, 2);
  EXPECT_EQ(Line.B0, 0);
  EXPECT_EQ(Line.SXX, 10);
  EXPECT_EQ(Line.SYY, 40);
  EXPECT_EQ(Line.SXY, 20);
  EXPECT_EQ(Line.SumXY, 110);
  EXPECT_EQ(Line.SumY2, 220);
  EXPECT_TRUE(AgreesTo(Line.FisherZ, 0.5L * std::log(2e20L), 15));
  EXPECT_TRUE(AgreesTo(Line.TStatR, std::sqrt(1.5e20L), 15));

  const TBivarStatRec Rec = Korlen.BVRegression(X, Column{2, 1, 4, 3, 5}, 5);
  EXPECT_EQ(Rec.SumX, 15);
  EXPECT_EQ(Rec.SumY, 15);
  EXPECT_EQ(Rec.SumXY, 53);
  EXPECT_EQ(Rec.SumX2, 55);
  EXPECT_EQ(Rec.SumY2, 55);
  EXPECT_EQ(Rec.MeanX, 3);
  EXPECT_EQ(Rec.MeanY, 3);
  EXPECT_EQ(Rec.SXX, 10);
  EXPECT_EQ(Rec.SYY, 10);
  EXPECT_EQ(Rec.SXY, 8);
  EXPECT_TRUE(AgreesTo(Rec.R, 0.8L, 18));
  EXPECT_TRUE(AgreesTo(Rec.B1, 0.8L, 18));
  EXPECT_TRUE(AgreesTo(Rec.B0, 0.6L, 17));
  EXPECT_TRUE(AgreesTo(Rec.FisherZ, 0.5L * std::log(9.0L), 17));
  EXPECT_TRUE(AgreesTo(Rec.TStatR, 0.8L * std::sqrt(3 / 0.36L), 17));
  EXPECT_TRUE(Messages.Messages().empty());
}

TEST_F(BivariateRegressionTest, TwoPointsOrFewerSetOnlyTheCount) {
  TMessageRecorder Messages;
  const Column X{1, 2}, Y{3, 5};
  for (int n : {2, 1, 0, -4}) {
    const TBivarStatRec Rec = Korlen.BVRegression(X, Y, n);
    EXPECT_EQ(Rec.N, n);
    EXPECT_EQ(Rec.DF, 0);
    EXPECT_EQ(Rec.SumX, 0);
    EXPECT_EQ(Rec.B1, 0);
    EXPECT_EQ(Rec.FisherZ, 0);
  }
  EXPECT_TRUE(Messages.Messages().empty());
}

TEST_F(BivariateRegressionTest, ConstantXShowsTheMessageOnceAndKeepsTheSums) {
  // For 0.7, SumX2 - SumX²/n comes out slightly negative in extended
  // precision; the corrected sum must be exactly 0.
  for (double c : {3.0, 0.1, 0.7, 1234.567}) {
    TMessageRecorder Messages;
    const Column X(7, c), Y{1, 4, 2, 8, 5, 7, 3};
    const TBivarStatRec Rec = Korlen.BVRegression(X, Y, 7);
    EXPECT_EQ(Messages.Texts(), std::vector<std::string>{DivideMessage}) << c;
    EXPECT_EQ(Rec.SXX, 0) << c;
    EXPECT_EQ(Rec.R, 0);
    EXPECT_EQ(Rec.B1, 0);
    EXPECT_EQ(Rec.B0, 0);
    EXPECT_EQ(Rec.FisherZ, 0);
    EXPECT_EQ(Rec.TStatR, 0);
    EXPECT_EQ(Rec.SumY, 30);
    EXPECT_TRUE(AgreesTo(Rec.MeanX, c, 17));
    EXPECT_TRUE(AgreesTo(Rec.SYY, 276.0L / 7, 17));
  }
  TMessageRecorder Messages;
  const TBivarStatRec ConstantY = Korlen.BVRegression(Column{1, 2, 3}, Column(3, 0.7), 3);
  EXPECT_EQ(Messages.Texts(), std::vector<std::string>{DivideMessage});
  EXPECT_EQ(ConstantY.SYY, 0);
  EXPECT_EQ(ConstantY.R, 0);
  EXPECT_EQ(ConstantY.B1, 0);  // the block stops at r
}

TEST_F(BivariateRegressionTest, NonFiniteDataFailUnderTheGuard) {
  for (double Bad : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
    TMessageRecorder Messages;
    const TBivarStatRec Rec = Korlen.BVRegression(Column{1, 2, Bad, 4}, Column{1, 3, 2, 4}, 4);
    EXPECT_EQ(Messages.Texts(), std::vector<std::string>{DivideMessage});
    EXPECT_EQ(Rec.N, 4);
    EXPECT_EQ(Rec.SumX, 0);
    EXPECT_EQ(Rec.R, 0);
    EXPECT_EQ(Rec.FisherZ, 0);
  }
}

TEST_F(BivariateRegressionTest, CountBeyondEitherArrayReadsNothing) {
  TMessageRecorder Messages;
  const Column Four{1, 2, 3, 4}, Five{1, 2, 3, 4, 6};
  for (const TBivarStatRec& Rec : {Korlen.BVRegression(Four, Five, 5), Korlen.BVRegression(Five, Four, 5)}) {
    EXPECT_EQ(Rec.N, 0);
    EXPECT_EQ(Rec.SumX, 0);
  }
  EXPECT_TRUE(Messages.Messages().empty());
}

TEST_F(BivariateRegressionTest, AgreesWithTwoPassFormulas) {
  Column X, Y;
  // The last two: a mean 10^6 times the spread, and more observations than
  // the other operations accept.
  const struct {
    std::size_t n;
    double Centre, Spread;
  } Cases[] = {{3, 2, 1}, {12, -40, 7}, {1000, 0, 1e-3}, {19999, 50, 20}, {5000, 1e6, 1}, {60000, 3, 2}};
  for (const auto& Case : Cases) {
    LinearData(Case.n, Case.Centre, Case.Spread, 7u + Case.n, X, Y);
    const TBivarStatRec Rec = Korlen.BVRegression(X, Y, static_cast<int>(Case.n));
    const TTwoPass T = TwoPass(X, Y);
    EXPECT_EQ(Rec.N, static_cast<int>(Case.n));
    EXPECT_TRUE(AgreesTo(Rec.MeanX, T.MeanX, 15)) << Case.n;
    EXPECT_TRUE(AgreesTo(Rec.SXX, T.SXX, 12)) << Case.n;
    EXPECT_TRUE(AgreesTo(Rec.SYY, T.SYY, 12)) << Case.n;
    EXPECT_TRUE(AgreesTo(Rec.SXY, T.SXY, 12)) << Case.n;
    EXPECT_TRUE(AgreesTo(Rec.R, T.R, 12)) << Case.n;
    EXPECT_TRUE(AgreesTo(Rec.B1, T.B1, 12)) << Case.n;
    EXPECT_TRUE(AgreesTo(Rec.B0, T.B0, 11)) << Case.n;
    EXPECT_TRUE(AgreesTo(Rec.FisherZ, std::atanh(T.R), 11)) << Case.n;
    EXPECT_TRUE(AgreesTo(Rec.TStatR, T.R * std::sqrt((Case.n - 2) / (1 - T.R * T.R)), 11)) << Case.n;
  }
}

TEST_F(BivariateRegressionTest, PerfectCorrelationStaysWithinOne) {
  TMessageRecorder Messages;
  for (int n : {3, 17, 301, 4097}) {
    Column X(n), Up(n), Down(n);
    for (int i = 0; i < n; ++i) {
      X[i] = 0.1 * i + 0.3;
      Up[i] = 0.7 + X[i] / 3;
      Down[i] = 0.7 - 1.3 * X[i];
    }
    const TBivarStatRec Rising = Korlen.BVRegression(X, Up, n), Falling = Korlen.BVRegression(X, Down, n);
    EXPECT_TRUE(AgreesTo(Rising.R, 1, 15)) << n;
    EXPECT_LE(Rising.R, 1);
    EXPECT_TRUE(AgreesTo(Falling.R, -1, 15)) << n;
    EXPECT_GE(Falling.R, -1);
    EXPECT_GT(Rising.FisherZ, 15);
    EXPECT_LT(Falling.FisherZ, -15);
  }
  EXPECT_TRUE(Messages.Messages().empty());
}

class BivariateFittedValuesTest : public BivariateRegressionTest {};

TEST_F(BivariateFittedValuesTest, CalcYValueAndReverse) {
  TBivarStatRec Rec{};
  Rec.N = 5;
  Rec.B0 = 0.6L;
  Rec.B1 = 0.8L;
  Rec.SXY = 8;
  EXPECT_EQ(Korlen.BVCalcYValue(Rec, 2), 0.6L + 1.6L);
  EXPECT_EQ(Korlen.BVRegressionReverse(Rec, 2), 0.6L + 1.6L);
  TMessageRecorder Messages;
  for (const Extended SXY : {-8.0L, 0.0L}) {
    Rec.SXY = SXY;
    EXPECT_EQ(Korlen.BVRegressionReverse(Rec, 2), 0) << static_cast<double>(SXY);
    EXPECT_NE(Korlen.BVCalcYValue(Rec, 2), 0);
  }
  Rec.SXY = 8;
  Rec.N = 0;
  EXPECT_EQ(Korlen.BVRegressionReverse(Rec, 2), 0);
  EXPECT_TRUE(Messages.Messages().empty());
  Rec.N = 5;
  Rec.B1 = std::numeric_limits<Extended>::max();
  EXPECT_EQ(Korlen.BVRegressionReverse(Rec, 10), 0);
  EXPECT_EQ(Messages.Texts(), std::vector<std::string>{"Error occurred in  BivarRegressionReverse"});
  EXPECT_THROW(Korlen.BVCalcYValue(Rec, 10), EMathError);
}

TEST_F(BivariateFittedValuesTest, ResidualsAndFittedValuesOfTheFit) {
  const Column X{1, 2, 3, 4, 5}, Y{2, 1, 4, 3, 5};
  Column Residuals(8, 9), Fitted(8, 9);
  Korlen.BVResiduals(X, Y, Residuals, 5);
  Korlen.BVPredictedY(X, Y, Fitted, 5);
  const double WantFitted[] = {1.4, 2.2, 3.0, 3.8, 4.6};
  for (int i = 0; i < 5; ++i) {
    EXPECT_TRUE(AgreesTo(Fitted[i], WantFitted[i], 15)) << i;
    EXPECT_TRUE(AgreesTo(Residuals[i], Y[i] - WantFitted[i], 14)) << i;
  }
  for (int i = 5; i < 8; ++i) {
    EXPECT_EQ(Residuals[i], 9);  // not cleared beyond n
    EXPECT_EQ(Fitted[i], 9);
  }
}

TEST_F(BivariateFittedValuesTest, RejectedCountsLeaveTheOutputAlone) {
  TMessageRecorder Messages;
  const std::vector<double> X(MaxObs + 10, 1.5), Y(MaxObs + 10, 2.5);
  std::vector<double> Out(MaxObs + 10, 7);
  const Column Short(4, 7);
  for (int n : {2, MaxObs, MaxObs + 1}) {
    Korlen.BVResiduals(X, Y, Out, n);
    Korlen.BVPredictedY(X, Y, Out, n);
  }
  Korlen.BVResiduals(Short, Y, Out, 5);
  Korlen.BVPredictedY(X, Y, std::span<double>(Out).first(4), 5);
  for (double v : Out) ASSERT_EQ(v, 7);
  EXPECT_TRUE(Messages.Messages().empty());
}

TEST_F(BivariateFittedValuesTest, FailureKeepsWhatWasFilledBeforeIt) {
  const Column X{1, 2, 3, 4, 5}, Y{2, 1, 4, std::numeric_limits<double>::quiet_NaN(), 5};
  Column Out(5, -1);
  TMessageRecorder Messages;
  Korlen.BVResiduals(X, Y, Out, 5);
  // The fit itself fails, leaving a zero line, so the residuals are the Y values.
  EXPECT_EQ(Messages.Texts(), (std::vector<std::string>{DivideMessage, "Error occurred in  BivarResiduals"}));
  EXPECT_EQ(Out, (Column{2, 1, 4, -1, -1}));
  Messages.Clear();
  Out.assign(5, -1);
  Korlen.BVPredictedY(Column{1, 2, std::numeric_limits<double>::infinity(), 4}, Column{1, 2, 3, 4}, Out, 4);
  EXPECT_EQ(Messages.Texts(), (std::vector<std::string>{DivideMessage, "Error occurred in  BivarPredictedY"}));
  EXPECT_EQ(Out, (Column{0, 0, -1, -1, -1}));
}

class QuadraticRegressionTest : public BivariateRegressionTest {};

TEST_F(QuadraticRegressionTest, SquaresAreFittedExactly) {
  Column X, Y;
  for (double x = -3; x <= 4; x += 0.5) {
    X.push_back(x);
    Y.push_back(x * x);
  }
  const TMultStatRec Rec = Korlen.BVQuadraticRegression(X, Y, static_cast<int>(X.size()));
  EXPECT_EQ(Rec.K, 2);
  EXPECT_NEAR(Rec.Beta[0], 0, 1e-12);
  EXPECT_NEAR(Rec.Beta[1], 0, 1e-12);
  EXPECT_NEAR(Rec.Beta[2], 1, 1e-12);
}

TEST_F(QuadraticRegressionTest, AgreesWithAnIndependentFit) {
  Korlen.SetScanData(false);
  for (int n : {6, 19999}) {
    Column X, Y;
    LinearData(n, 2, 3, 11u + n, X, Y);
    for (int i = 0; i < n; ++i) Y[i] += 0.25 * X[i] * X[i];
    testing::TDataSet Data{{X, Column(n)}, Y};
    for (int i = 0; i < n; ++i) Data.Columns[1][i] = X[i] * X[i];
    const testing::TReferenceFit Reference = testing::ReferenceLeastSquares(Data);
    const TMultStatRec Rec = Korlen.BVQuadraticRegression(X, Y, n);
    for (int j = 0; j <= 2; ++j) EXPECT_TRUE(AgreesTo(Rec.Beta[j], Reference.Beta[j], 9)) << n << " " << j;
    EXPECT_TRUE(AgreesTo(Rec.SSE, Reference.SSE, 9)) << n;
  }
}

TEST_F(QuadraticRegressionTest, CountsTheCoreRejectsWriteNothingPastTheMatrix) {
  Korlen.SetScanData(false);
  const std::vector<double> X(MaxObs + 100, 2.0), Y(MaxObs + 100, 1.0);
  for (int n : {MaxObs, MaxObs + 100}) {
    TMessageRecorder Messages;
    const TMultStatRec Rec = Korlen.BVQuadraticRegression(X, Y, n);
    EXPECT_EQ(Messages.Texts(), std::vector<std::string>{"Number of vars must be > 0, and n > 2"});
    EXPECT_EQ(Rec.N, 0);
  }
  TMessageRecorder Messages;
  EXPECT_EQ(Korlen.BVQuadraticRegression(Column{1, 2, 3}, Y, 4).N, 0);  // X shorter than n
  EXPECT_TRUE(Messages.Messages().empty());
}

TEST_F(QuadraticRegressionTest, CoreFailureReachesTheCaller) {
  Korlen.SetScanData(false);
  TMessageRecorder Messages;
  // Three points fit three coefficients exactly: no error degrees of freedom.
  EXPECT_THROW(Korlen.BVQuadraticRegression(Column{1, 2, 4}, Column{3, 1, 2}, 3), EMathError);
  EXPECT_EQ(Messages.Count("Error computing regression coefficients"), 1);
}

}  // namespace
}  // namespace varnel
