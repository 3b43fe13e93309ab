// SPDX-License-Identifier: Apache-2.0
/// \file
/// Mahalanobis distances from the centre of a data set, as R's
/// mahalanobis(x, colMeans(x), cov(x)), from its moments alone: the rows
/// are streamed past it one by one.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "varnel/engine/least_squares.h"
#include "varnel/engine/moments.h"
#include "varnel/export.h"

namespace varnel::engine {

/// Squared Mahalanobis distances of rows from the mean of the state's
/// complete rows, in the metric of their covariance.
class VARNEL_API TMahalanobis {
 public:
  /// The distances in the first K columns of the state. A column that is a
  /// linear combination of the constant and the kept columns before it (R's
  /// rule, as Solve applies it) makes the covariance singular and is left
  /// out. Throws EEngineError for K outside 1..State.P(), fewer than two complete rows or when no
  /// column varies.
  TMahalanobis(const TMoments& State, std::size_t K);
  /// The columns the distances use (0-based, increasing) and the ones left out.
  ///@{
  const std::vector<std::size_t>& Kept() const { return FFit.Kept; }
  const std::vector<std::size_t>& Aliased() const { return FFit.Aliased; }
  ///@}
  /// D² of one complete row (at least K values; the ones after K are not read).
  long double D2(std::span<const double> Row) const;

 private:
  TFit FFit;  // of a constant response on the K columns: its (X'X)⁻¹ holds the inverse co-moments
  long double FScale = 0;  // n − 1
};

}  // namespace varnel::engine
