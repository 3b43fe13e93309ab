// SPDX-License-Identifier: Apache-2.0
// Heteroskedasticity-consistent standard errors of a least-squares fit, as
// R's sandwich::vcovHC gives them: (X'X)⁻¹ (Σ ω_i x_i x_i') (X'X)⁻¹ with
// ω_i = e_i² (HC0), scaled by n/(n − p) (HC1), over (1 − h_i) (HC2), over
// (1 − h_i)² (HC3) or over (1 − h_i)^δ_i, δ_i = min(4, n·h_i/p) (HC4). The
// middle sum is a mergeable state, accumulated in a pass over the rows
// after the fit, so that it scales as the fit does.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include <varnel/engine.h>

namespace varnel::cli {

enum class TRobustKind { None, HC0, HC1, HC2, HC3, HC4 };

// "HC0" .. "HC4" (or "const": none); the name of a kind.
TRobustKind RobustKindOf(const std::string& Name);
std::string RobustKindName(TRobustKind Kind);

// Σ ω_i z_i z_i' over the rows, z_i the row's kept predictors about their
// means, after a 1 when the fit has the constant: in these centred terms the
// products keep their digits when the data are far from zero.
// Of a weighted fit, the sum of ω_i z_i z_i' with the scores w_i e_i and
// the hat values w_i z_i'(Z'WZ)⁻¹z_i, as sandwich takes a weighted lm's,
// and the rows of weight 0 counted.
struct TMeat {
  std::size_t M = 0;
  std::vector<long double> Sum;  // M × M, row-major
  std::size_t ZeroWeights = 0;
  template <class Self, class Visit>
  static void Members(Self& S, Visit&& Each) {
    Each(S.M);
    Each(S.Sum);
    Each(S.ZeroWeights);
  }
  void Merge(const TMeat& Other);
};

// The meat of one batch (the predictors, then the response, as the fit's,
// then a weighted fit's weights).
TMeat MeatOf(const engine::TFit& Fit, TRobustKind Kind, const engine::TBatch& Batch);

// The robust standard error of each of the fit's coefficients, in the order
// of TFit::Coef.
std::vector<long double> RobustStdErrors(const engine::TFit& Fit, TRobustKind Kind, const TMeat& Meat);
// The same of Scale · (X'X)⁻¹ Meat (X'X)⁻¹, the meat in the centred terms.
std::vector<long double> SandwichStdErrors(const engine::TFit& Fit, long double Scale, const TMeat& Meat);

// The row's z (M values): a 1 for the constant, then the kept predictors
// about their means (as they are through the origin).
void CentredRow(const engine::TFit& Fit, std::span<const double> Row, std::vector<long double>& Z);

// The inference with the robust standard errors, their t values and
// two-sided p-values on the fit's residual degrees of freedom (as
// lmtest::coeftest with that covariance); the rest as it was.
engine::TInference WithRobustErrors(const engine::TInference& Inference, const engine::TFit& Fit,
                                    const std::vector<long double>& StdErr);

}  // namespace varnel::cli
