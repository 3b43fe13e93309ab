// SPDX-License-Identifier: Apache-2.0
// A stepwise search by AIC over a generalised linear model's terms, as R's
// step() makes it with the full model as its scope: each step refits every
// model one term away from the current one and takes the first of lowest
// AIC, until none is lower than the current model's own. Marginality is
// kept as R keeps it: a term is dropped only when no other term in the
// model contains it (a main effect stays while its interaction does), and
// added only when every term it contains is in the model.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include <varnel/engine.h>

namespace varnel::cli {

// The fit of a model of the design columns given (increasing; none: the
// constant alone).
using TGlmSubsetFit = std::function<engine::TGlmFit(const std::vector<std::size_t>& Columns)>;

// The steps from the full model (backward, both) or the constant alone
// (forward), at most 1000. TermColumns[t]: term t's design columns;
// TermVariables[t]: its variables, increasing (a term contains another
// whose variables are among its own). Each step's Rss is the deviance of
// its model, AIC the fit's (R's AIC of the glm).
std::vector<engine::TStep> GlmStepwise(const TGlmSubsetFit& Fit, const std::vector<std::vector<std::size_t>>& TermColumns,
                                       const std::vector<std::vector<int>>& TermVariables,
                                       engine::TStepDirection Direction);

// The design columns of the terms given.
std::vector<std::size_t> ColumnsOfTerms(const std::vector<std::size_t>& Terms,
                                        const std::vector<std::vector<std::size_t>>& TermColumns);

}  // namespace varnel::cli
