// SPDX-License-Identifier: Apache-2.0
/// \file
/// The least-squares fit as a function of a moments state: which predictors
/// are estimable, their coefficients and (X'X)⁻¹, with no pass over the data.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "varnel/engine/moments.h"
#include "varnel/export.h"

namespace varnel::engine {

/// R's lm drops a column whose residual norm on the columns before it falls
/// below 1e-7 of its own norm; on squared norms that is 1e-14.
inline constexpr long double kAliasTolerance = 1e-14L;

/// A least-squares fit of the response on the predictors of a moments state.
struct VARNEL_API TFit {
  std::size_t K = 0;  ///< predictors in the state, aliased ones included
  bool Intercept = true;  ///< whether the constant is fitted
  std::size_t N = 0;  ///< complete rows (of a positive weight when weighted)
  /// Whether the moments were weighted, and Σ log w over the rows counted:
  /// the likelihood's share of the weights.
  ///@{
  bool Weighted = false;
  long double LogWeightSum = 0;
  ///@}
  long double WeightSum = 0;  ///< Σw over the rows counted: N unweighted
  /// The estimable predictors and the aliased ones: 0-based indices, increasing.
  ///@{
  std::vector<std::size_t> Kept, Aliased;
  ///@}
  /// The estimable terms: the intercept first when there is one, then the
  /// kept predictors in order.
  std::vector<long double> Coef;
  std::vector<long double> XtXInv;  ///< Rank × Rank, row-major, in the order of Coef
  std::size_t DfResidual = 0;  ///< N − Rank()
  long double Sst = 0;        ///< about the mean with an intercept, about zero without
  long double MomentSse = 0;  ///< SSE from the co-moments, for when the rows are gone

  /// How the second pass centres a row: the state's shifts and means about
  /// them, per column, the response last.
  ///@{
  std::vector<double> Shift;
  std::vector<long double> MeanAboutShift;
  ///@}
  /// With an intercept, the fitted constant less the response's mean, in the
  /// design about the means: 0 from Solve, moved by a refinement step.
  long double Offset = 0;
  /// The diagonal of the cross products solved, per kept predictor (centred
  /// with an intercept): with (X'X)⁻¹, the solution's condition bound.
  std::vector<long double> KeptCrossProduct;

  std::size_t Rank() const { return Coef.size(); }  ///< the estimable terms, the intercept included
  /// y − ŷ of one row (K + 1 values, the response last), formed about the
  /// state's shifts so that data far from zero keep their digits.
  long double Residual(std::span<const double> Row) const;
  /// Predictor j of a row as the design holds it: about its mean with an
  /// intercept, as it is without.
  long double Design(std::span<const double> Row, std::size_t j) const {
    if (!Intercept) return Row[j];
    return (static_cast<long double>(Row[j]) - Shift[j]) - MeanAboutShift[j];
  }
};

/// Fits the last column of the state on the ones before it. A predictor is
/// aliased when its squared residual on the constant (with Intercept) and
/// the kept predictors before it is below Tolerance times its squared norm
/// about zero (1 when that is 0), Σx² = C_jj + n·x̄_j²; the residuals are the
/// pivots of a Cholesky factorisation in column order. Throws EEngineError
/// for a state with no column or no complete row, EMathError where a result
/// would not be finite.
VARNEL_API TFit Solve(const TMoments& State, bool Intercept = true, long double Tolerance = kAliasTolerance);

/// The inverse of the cross products of [1, X] (N rows) from Inv, the
/// inverse of X's centred cross products (q × q, row-major), and X's means:
/// [[1/N + x̄ᵀ·Inv·x̄, −(Inv·x̄)ᵀ], [−Inv·x̄, Inv]], the constant first.
VARNEL_API std::vector<long double> InverseWithConstant(std::size_t N, const std::vector<long double>& Means,
                                                        const std::vector<long double>& Inv);

}  // namespace varnel::engine
