// SPDX-License-Identifier: Apache-2.0
#include "models/nested_anova.h"

#include <algorithm>
#include <cmath>
#include <iostream>

#include <varnel/dist/distributions.h>
#include <varnel/engine.h>

#include "analysis_tables.h"
#include "csv_table.h"

namespace varnel::cli {

// The fit on the engine, its residual sum of squares from a pass over the
// rows (the predictors, then the response).
TNestedFit NestedFitOf(const TNestedModel& Model, std::size_t Threads) {
  std::vector<std::vector<double>> Columns = Model.Data.X;
  Columns.push_back(Model.Data.Y);
  const engine::TBatch Batch = engine::MakeBatch(Columns);
  const engine::TFit Fit = engine::Solve(engine::Accumulate(Batch, Threads), Model.Intercept);
  for (std::size_t j : Fit.Aliased)
    std::cerr << "varnel: " << Model.Formula << ": " << Model.Data.XNames[j] << " not defined because of singularities\n";
  if (Fit.DfResidual == 0) throw TInputError(Model.Formula + " leaves no residual degree of freedom");
  return {Model.Formula, Model.Data.YName, engine::StreamedSse(Fit, Batch, Threads), Fit.DfResidual};
}

TResultTable NestedAnovaTable(const std::vector<TNestedFit>& R) {
  for (const TNestedFit& Fit : R) {
    if (Fit.Response != R.front().Response) {
      throw TInputError("the models explain different responses, " + R.front().Response + " and " + Fit.Response +
                        ": anova compares models of one response");
    }
  }
  // The scale is the residual mean square of the model with the fewest
  // residual degrees of freedom (the first such), as R takes it.
  const auto Big = std::min_element(R.begin(), R.end(), [](const TNestedFit& a, const TNestedFit& b) { return a.Df < b.Df; });
  const long double Scale = Big->Rss / static_cast<long double>(Big->Df);
  TResultTable Table{"anova", "Analysis of variance of nested models (F tests)",
                     {"term", "df.residual", "rss", "df", "sumsq", "statistic", "p.value"}, {}, {}};
  for (std::size_t m = 0; m < R.size(); ++m) {
    std::vector<TCell> Row{R[m].Formula, static_cast<long long>(R[m].Df), Number(R[m].Rss), TCell{}, TCell{}, TCell{},
                           TCell{}};
    if (m > 0) {
      const long long Df = static_cast<long long>(R[m - 1].Df) - static_cast<long long>(R[m].Df);
      const long double SumSq = R[m - 1].Rss - R[m].Rss;
      Row[3] = Df;
      Row[4] = Number(SumSq);
      if (Df != 0) {
        const long double F = SumSq / static_cast<long double>(Df) / Scale;
        Row[5] = Number(F);
        Row[6] = FProbability(static_cast<double>(std::fabs(F)), static_cast<double>(std::llabs(Df)),
                              static_cast<double>(Big->Df), TTail::Upper);
      }
    }
    Table.Rows.push_back(std::move(Row));
  }
  return Table;
}

}  // namespace varnel::cli
