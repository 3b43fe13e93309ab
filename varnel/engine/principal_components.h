// SPDX-License-Identifier: Apache-2.0
/// \file
/// Principal components of any number of columns from their merged moments:
/// the eigen-decomposition of the covariance or correlation matrix, by the
/// same steps (and to the same bits) as the component's
/// MVPrincipalComponents.
#pragma once

#include <cstddef>
#include <vector>

#include "varnel/engine/moments.h"
#include "varnel/export.h"

namespace varnel::engine {

/// A square matrix of long double, row-major: M[i][j].
class VARNEL_API TSquareMatrix {
 public:
  /// A matrix of Order rows and columns, all zero.
  explicit TSquareMatrix(std::size_t Order = 0) : FOrder(Order), FValues(Order * Order) {}
  std::size_t Order() const { return FOrder; }  ///< the number of rows and of columns
  /// Row i, so that M[i][j] is entry (i, j); not checked.
  ///@{
  long double* operator[](std::size_t i) { return FValues.data() + i * FOrder; }
  const long double* operator[](std::size_t i) const { return FValues.data() + i * FOrder; }
  ///@}

 private:
  std::size_t FOrder;
  std::vector<long double> FValues;
};

/// Principal components, as R's prcomp gives them.
struct TComponents {
  std::size_t K = 0;  ///< variables, and components
  bool Scaled = true;  ///< of the correlation matrix rather than the covariance matrix
  /// Per component, largest first: sd, eigenvalue, proportion and cumulative
  /// proportion of the total variance, condition index √(λ₁/λⱼ).
  ///@{
  std::vector<long double> SDev, Variance, Proportion, Cumulative, ConditionIndex;
  ///@}
  std::vector<long double> Scale;  ///< per variable: its sd when Scaled, else 1
  /// Rotation[v][c]: variable v's loading on component c; each column turned
  /// so that its largest entry is positive.
  TSquareMatrix Rotation;
};

/// The components of the first K columns of the state (K ≥ 1, two or more
/// complete rows); with Scaled, those of the correlation matrix. Throws
/// EEngineError for K outside 1..State.P() or fewer than two complete rows.
/// A column without spread cannot be scaled: a fault of the library's
/// hierarchy, as is a matrix whose iteration does not converge.
VARNEL_API TComponents PrincipalComponents(const TMoments& State, std::size_t K, bool Scaled);

}  // namespace varnel::engine
