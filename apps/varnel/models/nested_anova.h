// SPDX-License-Identifier: Apache-2.0
// anova: nested linear models compared by F tests, as R's anova(fit1,
// fit2, ...) and broom's tidy of it: each model's residual degrees of
// freedom and sum of squares, and from the second on, the change from the
// one before, tested against the residual mean square of the model with
// the fewest residual degrees of freedom.
#pragma once

#include <string>
#include <vector>

#include "data_set.h"
#include "results.h"

namespace varnel::cli {

// One model: what its formula made of the rows all the models share, and
// whether it has the constant.
struct TNestedModel {
  std::string Formula;  // as the table's term shows it
  TAnalysisData Data;
  bool Intercept = true;
};

// A model fitted: its formula, response, residual sum of squares and
// degrees of freedom.
struct TNestedFit {
  std::string Formula, Response;
  long double Rss = 0;
  std::size_t Df = 0;
};

// The fit of a model held whole (within the component's box), on the
// engine. A model that leaves no residual degree of freedom raises
// TInputError.
TNestedFit NestedFitOf(const TNestedModel& Model, std::size_t Threads);

// Table anova of two or more fits of the same response and rows. Fits of
// different responses raise TInputError.
TResultTable NestedAnovaTable(const std::vector<TNestedFit>& Fits);

}  // namespace varnel::cli
