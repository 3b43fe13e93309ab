// SPDX-License-Identifier: Apache-2.0
// All eigenvalues and eigenvectors of a symmetric matrix: the Householder
// reduction the spectral operations share, then the implicit QL iteration
// with shifts (the EISPACK tql2 formulation) in extended precision.
#include "varnel/linalg/symmetric_eigen.h"

#include <cmath>
#include <limits>
#include <utility>

#include "varnel/core/checked.h"
#include "varnel/core/faults.h"
#include "varnel/core/guard.h"
#include "varnel/korlen.h"
#include "varnel/linalg/eigen.h"
#include "varnel/linalg/matrix.h"

namespace varnel {
namespace {

// Sweeps allowed per eigenvalue; two or three are usual, and the limit only
// stops a matrix whose entries are not numbers from looping.
constexpr int kMaxSweeps = 60;

// The first m ≥ l whose coupling e[m] to the next is negligible against
// the largest |d| + |e| met so far.
int NegligibleCoupling(const TVector& e, int l, int n, Extended Norm) {
  constexpr Extended Eps = std::numeric_limits<Extended>::epsilon();
  int m = l;
  while (m < n - 1 && !(std::fabs(e[m]) <= Eps * Norm)) ++m;
  return m;
}

// One QL sweep over d[l..m] with the shift from d[l]'s 2 by 2 block, the
// rotations applied to Z's columns; returns the shift taken out of d.
Extended QlSweep(TVector& d, TVector& e, TMatrix& Z, int l, int m, int n) {
  const Extended g0 = d[l];
  Extended p = (d[l + 1] - g0) / (2 * e[l]);
  Extended r = std::hypot(p, Extended(1));
  if (p < 0) r = -r;
  d[l] = e[l] / (p + r);
  d[l + 1] = e[l] * (p + r);
  const Extended dl1 = d[l + 1], Shift = g0 - d[l];
  for (int i = l + 2; i < n; ++i) d[i] -= Shift;
  p = d[m];
  Extended c = 1, c2 = 1, c3 = 1, s = 0, s2 = 0;
  const Extended el1 = e[l + 1];
  for (int i = m - 1; i >= l; --i) {
    c3 = c2;
    c2 = c;
    s2 = s;
    const Extended g = c * e[i], h = c * p;
    r = std::hypot(p, e[i]);
    e[i + 1] = s * r;
    s = e[i] / r;
    c = p / r;
    p = c * d[i] - s * g;
    d[i + 1] = h + s * (c * g + s * d[i]);
    for (int k = 0; k < n; ++k) {
      const Extended z = Z[k][i + 1];
      Z[k][i + 1] = s * Z[k][i] + c * z;
      Z[k][i] = c * Z[k][i] - s * z;
    }
  }
  p = -s * s2 * c3 * el1 * e[l] / dl1;
  e[l] = s * p;
  d[l] = c * p;
  return Shift;
}

}  // namespace

void DiagonaliseTridiagonal(TVector& d, TVector& e, TMatrix& Z, int n) {
  n = ClipSize(n);
  if (n < 1) return;
  for (int i = 1; i < n; ++i) e[i - 1] = e[i];
  e[n - 1] = 0;
  Extended Shifted = 0, Norm = 0;
  for (int l = 0; l < n; ++l) {
    Norm = std::fmax(Norm, Finite(std::fabs(d[l]) + std::fabs(e[l])));
    const int m = NegligibleCoupling(e, l, n, Norm);
    if (m > l) {
      int Sweeps = 0;
      do {
        if (++Sweeps > kMaxSweeps) throw EInvalidOp();
        Shifted += Finite(QlSweep(d, e, Z, l, m, n));
      } while (!(std::fabs(e[l]) <= std::numeric_limits<Extended>::epsilon() * Norm));
    }
    d[l] = Finite(d[l] + Shifted);
    e[l] = 0;
  }
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) Finite(Z[i][j]);
  }
}

void OrderEigenpairs(TVector& d, TMatrix& Z, int n) {
  n = ClipSize(n);
  for (int i = 0; i < n; ++i) {
    int Largest = i;
    for (int j = i + 1; j < n; ++j) {
      if (d[j] > d[Largest]) Largest = j;
    }
    // Moving the largest to i and shifting the rest keeps equal values in
    // their order.
    for (int j = Largest; j > i; --j) {
      std::swap(d[j], d[j - 1]);
      for (int k = 0; k < n; ++k) std::swap(Z[k][j], Z[k][j - 1]);
    }
  }
  for (int j = 0; j < n; ++j) {
    int Peak = 0;
    for (int k = 1; k < n; ++k) {
      if (std::fabs(Z[k][j]) > std::fabs(Z[Peak][j])) Peak = k;
    }
    if (Z[Peak][j] < 0) {
      for (int k = 0; k < n; ++k) Z[k][j] = -Z[k][j];
    }
  }
}

TEigenRec TKorlen::EigenDecomposition(const TMatrix& A, Byte n) {
  TEigenRec Result{};
  const int m = ClipSize(n);
  if (m < 1) return Result;
  Guard("Error occurred in  EigenDecomposition", [&] {
    THeapMatrix Z;
    for (int i = 0; i < m; ++i) {
      for (int j = 0; j <= i; ++j) Z[i][j] = Z[j][i] = Finite(A[i][j]);
    }
    TVector d{}, e{};
    ReduceToTridiagonal(Z.Get(), m, d, e);
    DiagonaliseTridiagonal(d, e, Z.Get(), m);
    OrderEigenpairs(d, Z.Get(), m);
    Result.N = m;
    Result.Values = d;
    Result.Vectors = Z.Get();
  });
  return Result;
}

}  // namespace varnel
