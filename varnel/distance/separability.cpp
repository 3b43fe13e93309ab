// SPDX-License-Identifier: Apache-2.0
// Separability of two groups given their mean vectors and covariance
// matrices, and outlier flags of standardised values.
#include <algorithm>
#include <cmath>
#include <vector>

#include "varnel/core/checked.h"
#include "varnel/core/guard.h"
#include "varnel/korlen.h"
#include "varnel/linalg/matrix.h"

namespace varnel {
namespace {

bool GroupSizeValid(int n) { return n >= 1 && n <= MaxVars; }

TVector VectorDifference(const TVector& a, const TVector& b, int n) {
  TVector r{};
  for (int i = 0; i < n; ++i) r[i] = Finite(a[i] - b[i]);
  return r;
}

void MatrixSum(const TMatrix& A, const TMatrix& B, int n, TMatrix& r) {
  r = TMatrix{};
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) r[i][j] = Finite(A[i][j] + B[i][j]);
  }
}

void MatrixDifference(const TMatrix& A, const TMatrix& B, int n, TMatrix& r) {
  r = TMatrix{};
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) r[i][j] = Finite(A[i][j] - B[i][j]);
  }
}

Extended MatrixTrace(const TMatrix& A, int n) {
  Extended s = 0;
  for (int i = 0; i < n; ++i) s += A[i][i];
  return Finite(s);
}

}  // namespace

Extended TKorlen::GetAvgNormDistance(const TVector& m1, const TVector& m2, const TMatrix& C1, const TMatrix& C2,
                                     Byte n) {
  Extended Result = 0;
  if (!GroupSizeValid(n)) return Result;
  Guard("Error occurred in  AvgNormDistance", [&] {
    Extended Sum = 0;
    for (int i = 0; i < n; ++i) {
      Sum = Finite(Sum + Div(std::fabs(m1[i] - m2[i]), Sqrt(C1[i][i]) + Sqrt(C2[i][i])));
    }
    Result = Div(Sum, n);
  });
  return Result;
}

Extended TKorlen::ScaleDivergence(Extended D, Single s) {
  Extended Result = 0;
  Guard("Error in Scale Divergence", [&] {
    const Extended e = Finite(std::exp(Finite(-1 * D * 0.125L)));
    Result = Finite((1 - e) * s);
  });
  return Result;
}

Extended TKorlen::GetDivergence(const TVector& m1, const TVector& m2, const TMatrix& C1, const TMatrix& C2, Byte n,
                                Extended /*Unused*/) {
  Extended Result = 0;
  if (!GroupSizeValid(n)) return Result;
  // Seven matrices of 10.8 KB each: on the heap, not the stack.
  Guard("Error occurred in  Divergence", [&] {
    THeapMatrix I1, I2, A, B, G, H, P;
    Extended Det = 0;
    GaussJordanInverse(C1, n, Det, nullptr, I1.Get());
    GaussJordanInverse(C2, n, Det, nullptr, I2.Get());
    // MatrixProduct(A, B) is B times A.
    MatrixDifference(C1, C2, n, A.Get());
    MatrixDifference(I2.Get(), I1.Get(), n, B.Get());
    MatrixProductInto(A.Get(), B.Get(), n, P.Get());
    const Extended t1 = Finite(0.5L * MatrixTrace(P.Get(), n));
    MatrixSum(I2.Get(), I1.Get(), n, G.Get());
    const TVector d = VectorDifference(m1, m2, n);
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j < n; ++j) H[i][j] = Finite(d[i] * d[j]);
    }
    MatrixProductInto(G.Get(), H.Get(), n, P.Get());
    const Extended t2 = Finite(0.5L * MatrixTrace(P.Get(), n));
    Result = Finite(t1 + t2);
  });
  return Result;
}

// The flags are formed in a work block on the heap and copied out only when
// every value was checked: the array is 80 KB, more than a small thread's
// stack should hold twice.
void TKorlen::FlagOutliers(std::span<const double> z, int N, Single Threshold, TOutlierFlags& Flags) {
  Flags.fill(0);
  if (N <= 0 || N >= MaxObs || z.size() < static_cast<std::size_t>(N)) return;
  if (!(Threshold > 0 && Threshold < 5)) return;
  std::vector<std::int32_t> Work;
  const bool Done = Guard("Error occurred in  FlagOutliers", [&] {
    Work.assign(N, 0);
    for (int i = 0; i < N; ++i) {
      if (std::fabs(Finite(z[i])) > Threshold) Work[i] = 1;
    }
  });
  if (Done) std::copy(Work.begin(), Work.end(), Flags.begin());
}

TOutlierFlags TKorlen::FlagOutliers(std::span<const double> z, int N, Single Threshold) {
  TOutlierFlags Flags;
  FlagOutliers(z, N, Threshold, Flags);
  return Flags;
}

}  // namespace varnel
