// SPDX-License-Identifier: Apache-2.0
/// \file
/// One step of iterative refinement of a fit from its residuals: the moments
/// give the normal equations, whose solution keeps about 19 − log10 of
/// their condition digits; a pass forming X'r from the data, with r in
/// extended precision, and one solve with the same (X'X)⁻¹ recover what the
/// data determine on ill-conditioned designs (polynomials, near-collinear
/// columns, repeated offsets).
#pragma once

#include <cstddef>
#include <vector>

#include "varnel/engine/batch.h"
#include "varnel/engine/least_squares.h"
#include "varnel/export.h"

namespace varnel::engine {

/// Above this condition bound, (rank + 1)·Σ C_jj·(C⁻¹)_jj over the kept
/// columns (C the cross products the fit solved), the solution may have
/// lost more than about 3 of extended precision's 19 digits: refine.
inline constexpr long double kRefineAbove = 1024;

/// The fit's condition bound, (rank + 1)·Σ C_jj·(C⁻¹)_jj over the kept columns.
VARNEL_API long double ConditionBound(const TFit& Fit);
/// Whether the fit's condition bound passes kRefineAbove; a weighted fit,
/// whose residual products would need the weights, is never refined.
inline bool WorthRefining(const TFit& Fit) { return !Fit.Weighted && ConditionBound(Fit) > kRefineAbove; }

/// Above this bound the inverse itself, formed from moments that carry 19
/// digits, may keep fewer than about 14 (a gap of 1/30,000 between two
/// predictors keeps 9): the pass refines it too, with one Newton step whose
/// product with the cross products is formed from the rows themselves.
inline constexpr long double kRefineInverseAbove = 1L << 20;

/// Σ r·z over complete rows, z the design row as the fit forms it (with an
/// intercept (1, x − x̄), else x) and r the fit's residual, and, when the
/// fit's condition bound passes kRefineInverseAbove, Σ w·wᵀ with w = G·z
/// over the predictors (G their block of (X'X)⁻¹): mergeable, so the pass
/// runs over batches in any number of threads and merges in tree order.
class VARNEL_API TResidualProducts {
 public:
  TResidualProducts() = default;  ///< holds nothing; merges as nothing
  /// Empty sums for the rows of Fit.
  explicit TResidualProducts(const TFit& Fit);
  /// Adds the complete rows of the batch, which holds the fit's K predictors
  /// then its response (EEngineError otherwise).
  void Add(const TFit& Fit, const TBatch& Batch);
  void Merge(const TResidualProducts& Other);  ///< adds the rows another state has seen
  const std::vector<long double>& Sums() const { return FSums; }  ///< Σ r·z, in the order of TFit::Coef
  /// Σ w·wᵀ (q × q over the kept predictors, row-major), or empty; with an
  /// intercept, u = G·x̄ and Σ (uᵀz)², for the inverse's corner.
  const std::vector<long double>& InverseSums() const { return FInverse; }
  /// With an intercept and the inverse sums, u = G·x̄, and Σ (uᵀz)²; for the
  /// inverse's corner.
  ///@{
  const std::vector<long double>& MeansInverse() const { return FMeansInverse; }
  long double MeansSquares() const { return FMeansSquares; }
  ///@}
  std::size_t Count() const { return FCount; }  ///< complete rows added
  /// Each member in a fixed order, for a state sent to another process.
  template <class Self, class Visit>
  static void Members(Self& State, Visit&& Each) {
    for (auto* Sums : {&State.FSums, &State.FInverse, &State.FMeansInverse}) Each(*Sums);
    Each(State.FMeansSquares);
    Each(State.FCount);
  }

 private:
  std::vector<long double> FSums;  // in the order of TFit::Coef
  std::vector<long double> FInverse, FMeansInverse;
  long double FMeansSquares = 0;
  std::size_t FCount = 0;
};

/// The fit moved by (X'X)⁻¹·Σ r·z, and with the inverse sums its inverse
/// moved to 2G − Σ w·wᵀ (a Newton step, G·(Z'Z)·G formed from the rows):
/// the error of G enters squared. Its MomentSse no longer describes it and
/// is NaN: take the SSE from a residual pass (StreamedSse). Throws EEngineError when
/// the products are not of the fit's complete rows.
VARNEL_API TFit Refined(const TFit& Fit, const TResidualProducts& Products);
/// The pass and the step over data held whole, cut and merged as Accumulate
/// cuts and merges them: the same bits for any Threads.
VARNEL_API TFit Refined(const TFit& Fit, const TBatch& Data, std::size_t Threads = 1,
                        std::size_t BatchRows = kBatchRows);

}  // namespace varnel::engine
