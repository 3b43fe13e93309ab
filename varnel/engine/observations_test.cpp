// SPDX-License-Identifier: Apache-2.0
#include "varnel/engine/observations.h"

#include <gtest/gtest.h>

#include <cmath>

#include "varnel/engine/errors.h"
#include "varnel/engine/reduce.h"

namespace varnel::engine {
namespace {

// Through the origin (the tool's tests check the fit with the constant on
// a file of 30,000 rows): R 4.2.2, f <- lm(y ~ x1 + x2 + 0),
// influence.measures(f), influence(f)$sigma and predict(f, interval =
// "confidence", level = 0.99) to 17 digits. 13 digits are the target.
TEST(EngineObservationsTest, ThroughTheOriginAsR) {
  const std::vector<std::vector<double>> Columns = {
      {1, 2, 3, 4, 5, 6, 7, 8}, {2, 1, 4, 3, 6, 5, 8, 9}, {1.2, 1.9, 3.4, 3.8, 5.5, 5.9, 7.7, 8.1}};
  const TFit Fit = Solve(Accumulate(MakeBatch(Columns)), false);
  const TObservationMeasures Measures(Fit, Infer(Fit, StreamedSse(Fit, MakeBatch(Columns))), 0.99);
  struct TExpected {
    std::size_t Row;
    double Hat, Sigma, Cook, Dffits, CovRatio, DfbX1, DfbX2, Fitted, ConfLow;
  };
  const TExpected Rows[] = {
      {0, 0.12634408602150457, 0.21492395793002642, 0.011848414063186628, -0.14248439401225116,
       1.55944771165056917, 0.13258318414546297, -0.13969296005675683, 1.2752688172043005, 1.0131143834739671},
      {7, 0.35215053763440862, 0.10209425309253736, 1.272787992435663318, -3.10884275785811948,
       0.10707867830166687, 0.49506832255355826, -1.02693223097435804, 8.4465053763440849, 8.0088382514672016},
  };
  TObservation O;
  for (const TExpected& E : Rows) {
    Measures.Of(std::vector<double>{Columns[0][E.Row], Columns[1][E.Row], Columns[2][E.Row]}, O);
    const auto Near = [&](long double Got, double Expected) {
      EXPECT_NEAR(static_cast<double>(Got), Expected, 1e-13 * std::fabs(Expected)) << "row " << E.Row;
    };
    Near(O.Hat, E.Hat);
    Near(O.Sigma, E.Sigma);
    Near(O.CooksD, E.Cook);
    Near(O.Dffits, E.Dffits);
    Near(O.CovRatio, E.CovRatio);
    ASSERT_EQ(O.DfBetas.size(), 2U);
    Near(O.DfBetas[0], E.DfbX1);
    Near(O.DfBetas[1], E.DfbX2);
    Near(O.Fitted, E.Fitted);
    Near(O.ConfLow, E.ConfLow);
  }
}

TEST(EngineObservationsTest, OneResidualDegreeOfFreedomIsRefused) {
  const std::vector<std::vector<double>> Columns = {{1, 2, 4}, {1, 3, 2}};
  const TFit Fit = Solve(Accumulate(MakeBatch(Columns)), true);
  EXPECT_THROW(TObservationMeasures(Fit, Infer(Fit, StreamedSse(Fit, MakeBatch(Columns))), 0.95), EEngineError);
}

}  // namespace
}  // namespace varnel::engine
