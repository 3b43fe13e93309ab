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
