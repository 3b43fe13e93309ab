// SPDX-License-Identifier: Apache-2.0
/// \file
/// Mergeable first and second moments of p columns: the state every linear
/// analysis (fit, correlation, principal components) is a function of.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "varnel/engine/batch.h"
#include "varnel/export.h"

namespace varnel::engine {

/// Counts, means and centred co-moments of the complete rows seen so far,
/// with each column's range and missing count. A row with a missing value
/// in any column takes no part in the moments (as R's na.omit); it still
/// counts towards the ranges of the columns it has values for.
///
/// Means are kept about a per-column shift (a double taken from the first
/// complete row seen), so that data far from zero (timestamps, offsets of
/// 1e9) keep the digits of their spread; everything is in long double.
class VARNEL_API TMoments {
 public:
  /// An empty state of P columns: no rows seen.
  explicit TMoments(std::size_t P = 0);

  std::size_t P() const { return FP; }  ///< the number of columns
  std::size_t Count() const { return FCount; }            ///< complete rows (of a positive weight when weighted)
  std::size_t Incomplete() const { return FIncomplete; }  ///< rows left out

  /// Whether the rows were weighed (Add with weights); Σw over the rows
  /// counted (Count() when not weighted) and Σ log w over them (0 then).
  ///@{
  bool Weighted() const { return FWeighted; }
  long double WeightSum() const { return FWeighted ? FWeightSum : static_cast<long double>(FCount); }
  long double LogWeightSum() const { return FLogWeightSum; }
  ///@}

  /// Column j's shift, and its mean about the shift and as it is.
  ///@{
  double Shift(std::size_t j) const { return FShift[j]; }
  long double MeanAboutShift(std::size_t j) const { return FMeanAboutShift[j]; }
  long double Mean(std::size_t j) const { return FShift[j] + FMeanAboutShift[j]; }
  ///@}
  /// Σ (x_i − x̄)(x_j − x̄_j) over the complete rows; weighted, Σ w (x_i −
  /// x̄)(x_j − x̄_j) about the weighted means.
  long double CoMoment(std::size_t i, std::size_t j) const { return FCoMoment[i * FP + j]; }
  /// Column j's least and largest value over the values present in it: +∞
  /// and −∞ when there are none.
  ///@{
  double Min(std::size_t j) const { return FMin[j]; }
  double Max(std::size_t j) const { return FMax[j]; }
  ///@}
  std::size_t Missing(std::size_t j) const { return FMissing[j]; }  ///< column j's missing values (NaN)

  /// Adds the rows of the batch. It must have P columns (EEngineError
  /// otherwise, as for columns of different lengths); an infinite value
  /// throws EOverflow. On a throw the state is as it was.
  void Add(const TBatch& Batch);
  /// Adds the rows of the batch, row i weighing Weights[i] (one per row,
  /// EEngineError otherwise), as R's lm(weights = ) weighs them: a missing
  /// weight leaves the row out, a zero weight counts it nowhere (nor in
  /// Count()), and a negative or infinite one throws EEngineError. A state
  /// is weighted or not from its first row on; adding the other kind of
  /// rows throws EEngineError.
  void Add(const TBatch& Batch, std::span<const double> Weights);

  /// Adds the rows another state has seen, as if they followed this state's
  /// rows: C = C_a + C_b + (n_a·n_b/n)·δδᵀ with δ = mean_b − mean_a (the
  /// weights' sums for n when weighted). Throws EEngineError for a state of
  /// another number of columns, or a weighted one with an unweighted one.
  void Merge(const TMoments& Other);

  /// A state's fields, as Fields gives them and the constructor from them
  /// takes them. CoMoment is the full p×p matrix, row-major.
  struct TFields {
    /// P(), Count() and Incomplete().
    ///@{
    std::size_t P = 0, Count = 0, Incomplete = 0;
    ///@}
    /// Per column: Shift(), Min() and Max().
    ///@{
    std::vector<double> Shift, Min, Max;
    ///@}
    /// Per column MeanAboutShift(), and CoMoment() of every pair.
    ///@{
    std::vector<long double> MeanAboutShift, CoMoment;
    ///@}
    std::vector<std::size_t> Missing;  ///< per column: Missing()
    /// Weighted(), WeightSum() and LogWeightSum() (the flat form has no
    /// weighted state).
    ///@{
    bool Weighted = false;
    long double WeightSum = 0, LogWeightSum = 0;
    ///@}
  };
  /// Rebuilds a state from its fields; used by the flat form, which checks
  /// them first.
  explicit TMoments(TFields Fields);
  TFields Fields() const;  ///< the state's fields, as the flat form writes them

 private:
  void AddRanges(const TBatch& Batch);

  std::size_t FP = 0, FCount = 0, FIncomplete = 0;
  bool FWeighted = false;
  long double FWeightSum = 0, FLogWeightSum = 0;
  std::vector<double> FShift, FMin, FMax;
  std::vector<long double> FMeanAboutShift, FCoMoment;
  std::vector<std::size_t> FMissing;
};

}  // namespace varnel::engine
