// SPDX-License-Identifier: Apache-2.0
// The algebra of the symmetric eigenproblem and of principal components,
// written once for any square matrix M (M[i][j]) and vector V (V[i]) of
// extended values: the component's fixed arrays and the engine's matrices
// of any order run the very same steps, so that they give the same bits.
// 0-based indexes; n is the order used. Faults (a non-finite value, an
// iteration that does not converge, a division by zero) are thrown.
#pragma once

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <utility>
#include <vector>

#include "varnel/core/checked.h"
#include "varnel/core/faults.h"
#include "varnel/core/types.h"

namespace varnel::spectral {

// |a| carrying the sign of b; b = 0 counts as positive.
inline Extended TransferSign(Extended a, Extended b) { return b < 0 ? -std::fabs(a) : std::fabs(a); }

// The reduction is written with 1-based indexes, as the method is usually
// stated; these views map them onto the 0-based storage.
template <class M>
struct TOneBased {
  M& A;
  Extended& operator()(int i, int j) { return A[i - 1][j - 1]; }
};
template <class V>
struct TOneBasedVector {
  V& Values;
  Extended& operator[](int i) { return Values[i - 1]; }
};

// Householder step for row i (i ≥ 3): annihilates A(i, 1..l-2) and leaves
// the vector u in row i and u/h in column i for the accumulation.
template <class M, class V>
Extended HouseholderRow(TOneBased<M> a, TOneBasedVector<V> e, int i) {
  const int l = i - 1;
  Extended scale = 0, h = 0;
  for (int k = 1; k <= l; ++k) scale += std::fabs(a(i, k));
  Finite(scale);
  if (scale == 0) {
    e[i] = a(i, l);
    return h;
  }
  for (int k = 1; k <= l; ++k) {
    a(i, k) = Div(a(i, k), scale);
    h += a(i, k) * a(i, k);
  }
  Extended f = a(i, l);
  Extended g = -TransferSign(Sqrt(h), f);
  e[i] = Finite(scale * g);
  h = Finite(h - f * g);
  a(i, l) = Finite(f - g);
  f = 0;
  for (int j = 1; j <= l; ++j) {
    a(j, i) = Div(a(i, j), h);
    g = 0;
    for (int k = 1; k <= j; ++k) g += a(j, k) * a(i, k);
    for (int k = j + 1; k <= l; ++k) g += a(k, j) * a(i, k);
    e[j] = Div(g, h);
    f = Finite(f + e[j] * a(i, j));
  }
  const Extended hh = Div(f, h + h);
  for (int j = 1; j <= l; ++j) {
    f = a(i, j);
    g = Finite(e[j] - hh * f);
    e[j] = g;
    for (int k = 1; k <= j; ++k) a(j, k) = Finite(a(j, k) - (f * e[k] + g * a(i, k)));
  }
  return h;
}

// Forms Q from the stored Householder vectors and moves the diagonal to d.
template <class M, class V>
void AccumulateTransformation(TOneBased<M> a, TOneBasedVector<V> d, int n) {
  for (int i = 1; i <= n; ++i) {
    const int l = i - 1;
    if (d[i] != 0) {
      for (int j = 1; j <= l; ++j) {
        Extended g = 0;
        for (int k = 1; k <= l; ++k) g += a(i, k) * a(k, j);
        Finite(g);
        for (int k = 1; k <= l; ++k) a(k, j) = Finite(a(k, j) - g * a(k, i));
      }
    }
    d[i] = a(i, i);
    a(i, i) = 1;
    for (int j = 1; j <= l; ++j) a(j, i) = a(i, j) = 0;
  }
}

// Reduces the symmetric A (order n ≥ 1) in place: afterwards A holds the
// accumulated orthogonal transformation Q, d the diagonal and e the
// sub-diagonal of the tridiagonal form (e[0] = 0).
template <class M, class V>
void ReduceToTridiagonal(M& A, int n, V& d, V& e) {
  TOneBased<M> a{A};
  TOneBasedVector<V> dd{d}, ee{e};
  for (int i = n; i >= 2; --i) {
    Extended h = 0;
    if (i - 1 > 1) {
      h = HouseholderRow(a, ee, i);
    } else {
      ee[i] = a(i, i - 1);
    }
    dd[i] = h;
  }
  dd[1] = 0;
  ee[1] = 0;
  AccumulateTransformation(a, dd, n);
}

// Sweeps allowed per eigenvalue; two or three are usual, and the limit only
// stops a matrix whose entries are not numbers from looping.
inline constexpr int kMaxSweeps = 60;

// The first m ≥ l whose coupling e[m] to the next is negligible against
// the largest |d| + |e| met so far.
template <class V>
int NegligibleCoupling(const V& e, int l, int n, Extended Norm) {
  constexpr Extended Eps = std::numeric_limits<Extended>::epsilon();
  int m = l;
  while (m < n - 1 && !(std::fabs(e[m]) <= Eps * Norm)) ++m;
  return m;
}

// One QL sweep over d[l..m] with the shift from d[l]'s 2 by 2 block, the
// rotations applied to Z's columns; returns the shift taken out of d.
template <class M, class V>
Extended QlSweep(V& d, V& e, M& Z, int l, int m, int n) {
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

// The implicit QL iteration with shifts (EISPACK's tql2) on d and e as
// ReduceToTridiagonal leaves them, Z its transformation (order n ≥ 1).
// Afterwards d holds the eigenvalues and column j of Z the unit
// eigenvector of d[j], unordered.
template <class M, class V>
void DiagonaliseTridiagonal(V& d, V& e, M& Z, int n) {
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

// Orders the pairs by eigenvalue, largest first (equal values keep their
// order), and turns each eigenvector so that its entry of largest magnitude
// (the first of equal ones) is positive.
template <class M, class V>
void OrderEigenpairs(V& d, M& Z, int n) {
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

// --- principal components of a covariance matrix C (order k) ---

// The correlation matrix of that covariance; a constant column is a fault,
// as it cannot be scaled to unit variance.
template <class M, class V>
void Correlate(M& C, V& Scale, int k) {
  for (int j = 0; j < k; ++j) Scale[j] = Sqrt(C[j][j]);
  for (int i = 0; i < k; ++i) {
    for (int m = 0; m < k; ++m) C[i][m] = i == m ? 1 : Div(Div(C[i][m], Scale[i]), Scale[m]);
  }
}

// The eigenpairs of C, left as OrderEigenpairs takes them; Z and e are
// scratch of C's kind. A covariance matrix of variables on different
// scales is graded, and the Householder reduction, which works from the
// last row up, keeps the small eigenvalues to full relative accuracy only
// when the large entries lie at the bottom right: it then works on the
// variables in increasing order of variance (variances 1e-4 to 1e8 keep 12
// digits instead of 10), and the eigenvectors' rows are put back in the
// variables' order.
template <class M, class V>
void Diagonalise(M& C, int k, bool Graded, V& d, M& Z, V& e) {
  std::vector<int> Order(static_cast<std::size_t>(k));
  std::iota(Order.begin(), Order.end(), 0);
  if (Graded) std::stable_sort(Order.begin(), Order.end(), [&C](int a, int b) { return C[a][a] < C[b][b]; });
  for (int i = 0; i < k; ++i)
    for (int j = 0; j < k; ++j) Z[i][j] = C[Order[i]][Order[j]];
  ReduceToTridiagonal(Z, k, d, e);
  DiagonaliseTridiagonal(d, e, Z, k);
  for (int i = 0; i < k; ++i)
    for (int j = 0; j < k; ++j) C[Order[i]][j] = Z[i][j];
}

// Per component: sd, variance, proportions (of the squared sds, as
// summary.prcomp forms them) and condition index, into any record with
// those members.
template <class V, class TRecord>
void ComponentFigures(const V& Lambda, int k, TRecord& P) {
  constexpr Extended kNaN = std::numeric_limits<Extended>::quiet_NaN();
  Extended Total = 0;
  for (int j = 0; j < k; ++j) {
    P.Variance[j] = Lambda[j];
    P.SDev[j] = Sqrt(std::fmax(Lambda[j], 0));
    Total += P.SDev[j] * P.SDev[j];
  }
  Extended Running = 0;
  for (int j = 0; j < k; ++j) {
    P.Proportion[j] = Div(P.SDev[j] * P.SDev[j], Total);
    Running += P.Proportion[j];
    P.Cumulative[j] = Running;
    P.ConditionIndex[j] = Lambda[0] > 0 && Lambda[j] > 0 ? Sqrt(Lambda[0] / Lambda[j]) : kNaN;
  }
}

}  // namespace varnel::spectral
