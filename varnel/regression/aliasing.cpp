// SPDX-License-Identifier: Apache-2.0
// Aliasing by orthogonalisation of the columns themselves. Elimination of
// the cross products squares the design's condition: on Filip's tenth
// power it gives a residual 30% off in extended precision, where projecting
// the columns twice (classical Gram-Schmidt with one reorthogonalisation)
// keeps the digits of an exact computation. With the constant in the
// model, its unit vector is the first basis vector; the column's norm that
// the residual is compared with stays the uncentred one, as in a QR of the
// design with its column of ones.
#include "varnel/regression/aliasing.h"

#include <cmath>
#include <cstddef>

namespace varnel {
namespace {

using TColumn = std::vector<Extended>;

Extended Dot(const TColumn& a, const TColumn& b) {
  Extended s = 0;
  for (std::size_t i = 0; i < a.size(); ++i) s += a[i] * b[i];
  return s;
}

// R less its projection on the orthonormal Basis, taken twice: the second
// pass removes what rounding left of the first.
void Project(TColumn& R, const std::vector<TColumn>& Basis) {
  for (int Pass = 0; Pass < 2; ++Pass) {
    for (const TColumn& Q : Basis) {
      const Extended c = Dot(Q, R);
      for (std::size_t i = 0; i < R.size(); ++i) R[i] -= c * Q[i];
    }
  }
}

}  // namespace

TAliasing FindAliasing(std::span<const std::vector<double>> Columns, bool Intercept, Extended Tolerance) {
  TAliasing A;
  std::vector<TColumn> Basis;
  const std::size_t n = Columns.empty() ? 0 : Columns[0].size();
  if (Intercept && n > 0) Basis.emplace_back(n, 1 / std::sqrt(static_cast<Extended>(n)));
  for (std::size_t j = 0; j < Columns.size(); ++j) {
    TColumn R(Columns[j].begin(), Columns[j].end());
    A.Norm.push_back(Dot(R, R));
    Project(R, Basis);
    A.Residual.push_back(Dot(R, R));
    const Extended Scale = A.Norm.back() > 0 ? A.Norm.back() : 1;
    // Not (residual >= bound): a NaN residual counts as aliased.
    if (!(A.Residual.back() >= Tolerance * Scale)) {
      A.Aliased.push_back(static_cast<int>(j));
      continue;
    }
    const Extended Length = std::sqrt(A.Residual.back());
    for (Extended& r : R) r /= Length;
    Basis.push_back(std::move(R));
  }
  return A;
}

}  // namespace varnel
