// SPDX-License-Identifier: Apache-2.0
// Spectral operations on a symmetric matrix: one Householder reduction to
// tridiagonal form with the transformation accumulated, and the figures
// derived from it. No iterative diagonalisation follows the reduction, so
// every operation runs a fixed number of steps. None of them is guarded: a
// fault reaches the caller as an exception.
#include "varnel/linalg/eigen.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>

#include "varnel/core/checked.h"
#include "varnel/core/rows.h"
#include "varnel/korlen.h"
#include "varnel/linalg/matrix.h"
#include "varnel/linalg/spectral_kernels.h"

namespace varnel {
namespace {

// Copies the leading n by n block into an otherwise all-zero matrix. A
// non-finite entry is a fault even where the reduction would not read it.
TMatrix LeadingBlock(const TMatrix& A, int n) {
  TMatrix W{};
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) W[i][j] = Finite(A[i][j]);
  }
  return W;
}

// Sizes of the data that stay inside the data matrix.
bool ScoreSizesValid(const TRegressData* X, int k, int N) {
  return X != nullptr && k >= 1 && k <= MaxVars && N >= 1 && N <= MaxObs;
}

// The loadings of the components: the eigenvector matrix of the covariance
// matrix of variables 1..k.
TMatrix ComponentLoadings(TKorlen& Korlen, const TRegressData* X, int k, int N) {
  return Korlen.EigenVectors(Korlen.CovarianceMatrix(X, k, N), k);
}

}  // namespace

Extended TransferSign(Extended a, Extended b) { return spectral::TransferSign(a, b); }

void ReduceToTridiagonal(TMatrix& A, int n, TVector& d, TVector& e) {
  n = ClipSize(n);
  if (n < 1) return;
  spectral::ReduceToTridiagonal(A, n, d, e);
}

void SortDescending(TVector& v, int n) {
  n = ClipSize(n);
  for (int i = 0; i < n; ++i) {
    for (int j = n - 1; j > i; --j) {
      if (v[j] > v[i]) std::swap(v[i], v[j]);
    }
  }
}

TMatrix TKorlen::EigenVectors(const TMatrix& A, Byte n) {
  const int m = ClipSize(n);
  TMatrix W = LeadingBlock(A, m);
  TVector d{}, e{};
  ReduceToTridiagonal(W, m, d, e);
  return W;
}

TVector TKorlen::EigenValues(const TMatrix& A, Byte n) {
  const int m = ClipSize(n);
  TMatrix W = LeadingBlock(A, m);
  TVector d{}, e{};
  ReduceToTridiagonal(W, m, d, e);
  for (int i = 0; i < m; ++i) {
    if (d[i] > 0.999L && d[i] < 1.001L) d[i] = 0;
    if (d[i] > 0) d[i] = Sqrt(d[i]);
  }
  SortDescending(d, m);
  TVector Result{};
  for (int i = 0; i < m; ++i) Result[i] = d[i];
  return Result;
}

TVector TKorlen::ConditionIndexes(const TVector& Lambda, Byte n) {
  const int m = ClipSize(n);
  TVector Result{};
  if (m < 1 || Finite(Lambda[0]) <= 0) return Result;
  Result[0] = 1;
  for (int i = 1; i < m; ++i) {
    if (Finite(Lambda[i]) > 0) Result[i] = Sqrt(Div(Lambda[0], Lambda[i]));
  }
  return Result;
}

TMatrix TKorlen::FactorsMatrix(const TVector& Lambda, const TMatrix& V, Byte n) {
  const int m = ClipSize(n);
  TMatrix D{};
  for (int i = 0; i < m; ++i) D[i][i] = Sqrt(Lambda[i]);
  return MatrixProduct(V, D, m);
}

TMatrix TKorlen::FactorsLoadingsMatrix(const TVector& A, const TVector& B, const TMatrix& M, Byte n) {
  const int m = ClipSize(n);
  TMatrix L{};
  for (int i = 0; i < m; ++i) {
    for (int j = 0; j < m; ++j) L[i][j] = Div(Finite(Sqrt(B[i]) * M[i][j]), Sqrt(A[j]));
  }
  return L;
}

// Scores are running sums held as doubles, as the data are stored.
void TKorlen::PrincipalComponent(const TRegressData* X, Byte k, int N, std::span<double> Out, Byte p) {
  if (!ScoreSizesValid(X, k, N) || p < 1 || p > k || !Holds(Out, N)) return;
  const TMatrix V = ComponentLoadings(*this, X, k, N);
  const TVector& Row = V[p - 1];
  for (int t = 0; t < N; ++t) {
    double s = 0;
    for (int i = 0; i < k; ++i) s = static_cast<double>(s + Row[i] * (*X)[i + 1][t]);
    Out[t] = ToDouble(s);
  }
}

// Every score is computed from the untouched data into a work block before
// anything is written back, so a fault leaves the data as they were.
void TKorlen::TransformDataPCAs(TRegressData* X, Byte k, int N) {
  if (!ScoreSizesValid(X, k, N)) return;
  const TMatrix V = ComponentLoadings(*this, X, k, N);
  const auto W = NewWorkMatrix();
  for (int i = 0; i < k; ++i) {
    TObsArray& Scores = (*W)[i + 1];
    std::fill_n(Scores.begin(), N, 0.0);
    // Variable by variable over all observations: each score is still
    // accumulated in variable order, and the data are read row-wise.
    for (int j = 0; j < k; ++j) {
      const Extended v = V[i][j];
      const TObsArray& Data = (*X)[j + 1];
      for (int t = 0; t < N; ++t) Scores[t] = static_cast<double>(Scores[t] + v * Data[t]);
    }
    for (int t = 0; t < N; ++t) Finite(Scores[t]);
  }
  for (int i = 1; i <= k; ++i) std::copy_n((*W)[i].begin(), N, (*X)[i].begin());
}

}  // namespace varnel
