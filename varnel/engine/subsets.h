// SPDX-License-Identifier: Apache-2.0
/// \file
/// Model selection as a function of a moments state whose last column is the
/// response: the best subsets of every size by branch and bound, and the
/// stepwise search by AIC over terms. Every sub-model keeps the constant,
/// and no pass over the data is needed.
#pragma once

#include <cstddef>
#include <functional>
#include <span>
#include <vector>

#include "varnel/engine/errors.h"
#include "varnel/engine/least_squares.h"
#include "varnel/engine/moments.h"
#include "varnel/export.h"

namespace varnel::engine {

/// The exhaustive search keeps its subsets in 64-bit masks and its cost
/// doubles with each predictor; past this many it is refused.
inline constexpr std::size_t kMaxSubsetPredictors = 40;
/// The models it keeps, over all sizes, are held in memory: a PerSize that
/// would keep more than this many is refused.
inline constexpr std::size_t kMaxKeptSubsets = 10'000'000;

/// A search the engine refuses for its size, rather than run for ever.
class VARNEL_API ESearchTooLarge : public EEngineError {
 public:
  using EEngineError::EEngineError;
};

/// One sub-model: its predictors (0-based columns of the state, increasing)
/// and its residual sum of squares, with the figures R's lm of those
/// predictors gives. Cp = RSS/σ̂² − n + 2(Size + 1) with σ̂² the full model's
/// residual mean square; AIC and BIC count the coefficients and σ.
struct VARNEL_API TSubset {
  std::size_t Size = 0;  ///< predictors, the constant not counted
  std::size_t Rank = 0;  ///< 1 for the smallest RSS of its size
  std::vector<std::size_t> Predictors;  ///< its predictors, 0-based columns of the state, increasing
  /// Its residual sum of squares, R², adjusted R², Cp, AIC and BIC.
  ///@{
  long double Rss = 0, R2 = 0, AdjR2 = 0, Cp = 0, AIC = 0, BIC = 0;
  ///@}
};

/// The figure by which TBestSubsets::BestBy names the best model.
enum class TSubsetCriterion {
  AdjR2,  ///< the largest adjusted R²
  Cp,     ///< the least Cp
  AIC,    ///< the least AIC
  BIC     ///< the least BIC
};

/// The result of BestSubsets.
struct VARNEL_API TBestSubsets {
  /// The complete rows, and the models kept per size.
  ///@{
  std::size_t N = 0, PerSize = 0;
  ///@}
  /// The predictors searched (estimable in column order, as Solve decides)
  /// and the ones left out as aliased.
  ///@{
  std::vector<std::size_t> Kept, Aliased;
  ///@}
  /// The total sum of squares about the mean, and the full model's RSS /
  /// (N − Kept − 1), Cp's scale.
  ///@{
  long double Sst = 0, Sigma2 = 0;
  ///@}
  std::vector<TSubset> Models;      ///< size by size, rank by rank
  /// The index in Models of the best by a criterion: the first in that order
  /// on a tie.
  std::size_t BestBy(TSubsetCriterion Criterion) const;
};

/// The best PerSize subsets (fewer where a size has fewer) of every size
/// 1..Kept.size() by RSS, ties by the lower columns first. Aliased
/// predictors are found as Solve finds them and left out of the search.
/// Throws ESearchTooLarge beyond kMaxSubsetPredictors predictors or
/// kMaxKeptSubsets models kept, and
/// EEngineError for PerSize 0, a state without a predictor, or no residual
/// degree of freedom in the full model. Progress, when given, is called now
/// and then with the share of the subsets searched or pruned so far, and
/// with 1 at the end.
VARNEL_API TBestSubsets BestSubsets(const TMoments& State, std::size_t PerSize,
                                    const std::function<void(double)>& Progress = {},
                                    long double Tolerance = kAliasTolerance);

/// RSS of the fit of the response on the constant and the given predictors
/// (0-based columns of the state, increasing), and its rank with the
/// constant: a predictor aliased on the constant and the ones before it (as
/// Solve decides) takes no part.
struct VARNEL_API TSubsetFit {
  long double Rss = 0;  ///< the residual sum of squares
  std::size_t Rank = 0;  ///< the rank of the design, the constant included
};
/// The fit of the response on the constant and Predictors, as TSubsetFit
/// describes it; Tolerance decides aliasing as Solve's does. Throws
/// EEngineError for a state without a column or a complete row, and for
/// predictors that are not increasing columns before the response.
VARNEL_API TSubsetFit FitSubset(const TMoments& State, std::span<const std::size_t> Predictors,
                                long double Tolerance = kAliasTolerance);

/// The direction of a stepwise search.
enum class TStepDirection {
  Forward,   ///< additions only, from the constant alone
  Backward,  ///< removals only, from the full model
  Both       ///< removals and additions, from the full model
};
/// What a step of a stepwise search did.
enum class TStepAction {
  Start,  ///< the starting model
  Add,    ///< a term added
  Drop    ///< a term dropped
};

/// One step of a stepwise search: the model after it. AIC is R's extractAIC
/// of lm, n·log(RSS/n) + 2·edf, edf the rank with the constant.
struct VARNEL_API TStep {
  std::size_t Step = 0;  ///< 0 for the starting model
  TStepAction Action = TStepAction::Start;  ///< what the step did
  std::size_t Term = 0;       ///< the term added or dropped (0-based); 0 at the start
  std::vector<std::size_t> Terms;  ///< the model's terms, increasing
  std::size_t DfResidual = 0;  ///< the model's residual degrees of freedom
  /// The model's residual sum of squares and AIC.
  ///@{
  long double Rss = 0, AIC = 0;
  ///@}
};

/// The search as step() makes it with the full model as its scope: forward
/// from the constant alone, backward or both from the full model. Each step
/// tries every single removal (the model's terms in the order they entered)
/// and then every single addition (in the terms' order) that the direction
/// allows, and takes the first of lowest AIC; it stops when none is lower
/// than the model's own, or after 1000 steps. A term is a list of the
/// state's predictor columns that move together (a factor's dummies).
/// Variables, when given, holds each term's variables in increasing order
/// (a:b those of a and of b), and the search keeps marginality as step()
/// does: a term is dropped only when no other term of the model contains
/// it, and added only when every term it contains is in the model.
/// Throws EEngineError for no terms, an empty term, a column out of range
/// or in two terms, or Variables of another length.
VARNEL_API std::vector<TStep> StepwiseAIC(const TMoments& State, std::span<const std::vector<std::size_t>> Terms,
                                          TStepDirection Direction, long double Tolerance = kAliasTolerance,
                                          std::span<const std::vector<int>> Variables = {});

}  // namespace varnel::engine
