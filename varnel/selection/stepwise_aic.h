// SPDX-License-Identifier: Apache-2.0
// The stepwise search by AIC over terms: a term is one or more predictor
// columns (a factor's dummies) that enter and leave the model together.
#pragma once

#include <span>
#include <vector>

#include "varnel/core/types.h"
#include "varnel/export.h"

// The functions marked VARNEL_API are exported from the shared library for
// the varnel tool, which uses them; this header is not installed.

namespace varnel {

// The search on the predictors 1..k of X grouped into Terms, each a list of
// 0-based predictor columns; every column of 0..k−1 belongs to at most one
// term. The steps count terms: Term is 1..Terms.size() and Terms holds bit
// t for term t; DFResidual and AIC count the columns. One column per term
// is MVStepwiseAIC's search. An empty result when X is null, the counts or
// the storage do not fit, the direction is unknown or a term is empty, out
// of range or shares a column. Unguarded: a fault reaches the caller.
VARNEL_API TStepwiseAIC StepwiseAICOfTerms(const TRegressData* X, std::span<const double> Y, Byte k, int n,
                                TStepDirection Direction, std::span<const std::vector<int>> Terms);

}  // namespace varnel
