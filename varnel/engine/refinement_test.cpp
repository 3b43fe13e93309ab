// SPDX-License-Identifier: Apache-2.0
#include "varnel/engine/refinement.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "varnel/engine/errors.h"
#include "varnel/engine/inference.h"
#include "varnel/engine/reduce.h"
#include "varnel/testing/data_sets.h"
#include "varnel/testing/quad_reference.h"

namespace varnel::engine {
namespace {

// x = 0..20 over and over, columns x .. x^5, y = Σ (j + 1)·x^j + 0.01·noise:
// the normal equations' condition costs the moments' solution about half
// of extended precision's digits.
testing::TDataSet Quintic(int Rows) {
  std::mt19937 Engine(11);
  std::normal_distribution<double> Noise;
  testing::TDataSet D;
  D.Columns.assign(5, {});
  for (int i = 0; i < Rows; ++i) {
    const double x = i % 21;
    double y = 1, Power = 1;
    for (std::size_t j = 1; j <= 5; ++j) {
      Power *= x;
      D.Columns[j - 1].push_back(Power);
      y += static_cast<double>(j + 1) * Power;
    }
    D.Y.push_back(y + 0.01 * Noise(Engine));
  }
  return D;
}

double LeastDigits(const std::vector<long double>& Got, const std::vector<long double>& Reference) {
  double Least = 20;
  for (std::size_t j = 0; j < Reference.size(); ++j) {
    if (Got[j] != Reference[j])
      Least = std::min(Least, static_cast<double>(-std::log10(std::fabs((Got[j] - Reference[j]) / Reference[j]))));
  }
  return Least;
}

// Against the binary128 QR fit of the same doubles (measured: 8.3 digits
// from the moments, 12.8 refined); the same bits on 1 and 3 threads, and
// the SSE from the residual pass agrees with the reference's.
TEST(EngineRefinementTest, OneStepRecoversAPolynomialsDigits) {
  const testing::TDataSet D = Quintic(50000);
  std::vector<std::vector<double>> Columns = D.Columns;
  Columns.push_back(D.Y);
  const TBatch Data = MakeBatch(Columns);
  const TFit Fit = Solve(Accumulate(Data, 2, 8192));
  ASSERT_TRUE(WorthRefining(Fit)) << ConditionBound(Fit);
  const TFit Better = Refined(Fit, Data, 1, 8192);
  const testing::TQuadFit Reference = testing::QuadLeastSquares(D);
  const double Before = LeastDigits(Fit.Coef, Reference.Beta), After = LeastDigits(Better.Coef, Reference.Beta);
  std::printf("digits: %.1f from the moments, %.1f refined\n", Before, After);
  EXPECT_GE(After, 11.5);
  EXPECT_GE(After, Before + 3);
  EXPECT_TRUE(std::isnan(Better.MomentSse));
  const TFit Threads = Refined(Fit, Data, 3, 8192);
  EXPECT_EQ(Threads.Coef, Better.Coef);
  EXPECT_EQ(Threads.Offset, Better.Offset);
  const long double Sse = StreamedSse(Better, Data, 2, 8192);
  EXPECT_NEAR(static_cast<double>(Sse), static_cast<double>(Reference.SSE), 1e-11 * static_cast<double>(Reference.SSE));
}

// x2 = x1 + a gap of 1/30,000 of the spread: the moments' (X'X)⁻¹ keeps
// about 9 digits through that condition; the pass's Newton step, and the
// corner formed to second order, give the standard errors of the binary128
// QR fit to 12.5 digits or more (measured 13.6, and 17.2 through the
// origin, from 9.2 and 9.6), the same bits on 1 and 3 threads.
TEST(EngineRefinementTest, TheInverseOfANearCollinearPairIsRefinedToo) {
  std::mt19937 Engine(5);
  std::uniform_real_distribution<double> Unit;
  std::normal_distribution<double> Noise;
  testing::TDataSet D;
  D.Columns.assign(2, {});
  for (int i = 0; i < 100000; ++i) {
    const double x = Unit(Engine);
    D.Columns[0].push_back(x);
    D.Columns[1].push_back(x + Unit(Engine) / 30000);
    D.Y.push_back(1 + x + 0.01 * Noise(Engine));
  }
  std::vector<std::vector<double>> Columns = D.Columns;
  Columns.push_back(D.Y);
  const TBatch Data = MakeBatch(Columns);
  const testing::TQuadFit Reference = testing::QuadLeastSquares(D);
  const auto Errors = [&](const TFit& Fit) {
    std::vector<long double> StdErr;
    for (std::size_t j = 0; j < Fit.Rank(); ++j) StdErr.push_back(std::sqrt(Fit.XtXInv[j * Fit.Rank() + j]) * Reference.RMSE);
    return StdErr;
  };
  const TFit Fit = Solve(Accumulate(Data, 2, 8192));
  ASSERT_GT(ConditionBound(Fit), kRefineInverseAbove);
  const TFit Better = Refined(Fit, Data, 1, 8192);
  const double Before = LeastDigits(Errors(Fit), Reference.StdErr), After = LeastDigits(Errors(Better), Reference.StdErr);
  std::printf("standard errors: %.1f digits from the moments, %.1f refined\n", Before, After);
  EXPECT_GE(After, 12.5);
  EXPECT_GE(After, Before + 2.5);
  EXPECT_EQ(Refined(Fit, Data, 3, 8192).XtXInv, Better.XtXInv);

  const testing::TQuadFit OriginReference = testing::QuadLeastSquares(D, false);  // through the origin
  const TFit Through = Solve(Accumulate(Data, 2, 8192), false);
  const TFit ThroughBetter = Refined(Through, Data, 2, 8192);
  std::vector<long double> Through1, Through2;
  for (std::size_t j = 0; j < 2; ++j) {
    Through1.push_back(std::sqrt(Through.XtXInv[j * 3]) * OriginReference.RMSE);
    Through2.push_back(std::sqrt(ThroughBetter.XtXInv[j * 3]) * OriginReference.RMSE);
  }
  std::printf("through the origin: %.1f, %.1f refined\n", LeastDigits(Through1, OriginReference.StdErr),
              LeastDigits(Through2, OriginReference.StdErr));
  EXPECT_GE(LeastDigits(Through2, OriginReference.StdErr), 12.5);
}

TEST(EngineRefinementTest, WellConditionedFitsAreNotRefined) {
  std::mt19937 Engine(3);
  std::normal_distribution<double> Noise;
  std::vector<std::vector<double>> Columns(4, std::vector<double>(1000));
  for (auto& Column : Columns) {
    for (double& v : Column) v = Noise(Engine);
  }
  const TFit Fit = Solve(Accumulate(MakeBatch(Columns)));
  EXPECT_FALSE(WorthRefining(Fit));
  EXPECT_LT(ConditionBound(Fit), 20);  // (3 + 1)·Σ VIF, each VIF near 1
  const std::vector<std::vector<double>> Other = {{1, 2, 3}, {2, 1, 4}};
  EXPECT_THROW(Refined(Fit, MakeBatch(Other)), EEngineError);
}

}  // namespace
}  // namespace varnel::engine
