// Separability of two groups given their mean vectors and covariance
// matrices, and outlier flags of standardised values.
#include <cmath>

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

TMatrix MatrixSum(const TMatrix& A, const TMatrix& B, int n) {
  TMatrix r{};
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) r[i][j] = Finite(A[i][j] + B[i][j]);
  }
  return r;
}

TMatrix MatrixDifference(const TMatrix& A, const TMatrix& B, int n) {
  TMatrix r{};
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) r[i][j] = Finite(A[i][j] - B[i][j]);
  }
  return r;
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
  Guard("Error occurred in  Divergence", [&] {
    Extended Det = 0;
    const TMatrix I1 = InvertMatrix(C1, n, Det);
    const TMatrix I2 = InvertMatrix(C2, n, Det);
    // MatrixProduct(A, B) is B times A.
    const TMatrix A = MatrixDifference(C1, C2, n);
    const TMatrix B = MatrixDifference(I2, I1, n);
    const Extended t1 = Finite(0.5L * MatrixTrace(MatrixProduct(A, B, n), n));
    const TMatrix G = MatrixSum(I2, I1, n);
    const TVector d = VectorDifference(m1, m2, n);
    TMatrix H{};
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j < n; ++j) H[i][j] = Finite(d[i] * d[j]);
    }
    const Extended t2 = Finite(0.5L * MatrixTrace(MatrixProduct(G, H, n), n));
    Result = Finite(t1 + t2);
  });
  return Result;
}

TOutlierFlags TKorlen::FlagOutliers(std::span<const double> z, int N, Single Threshold) {
  TOutlierFlags Flags{};
  if (N <= 0 || N >= MaxObs || z.size() < static_cast<std::size_t>(N)) return Flags;
  if (!(Threshold > 0 && Threshold < 5)) return Flags;
  TOutlierFlags Work{};
  const bool Done = Guard("Error occurred in  FlagOutliers", [&] {
    for (int i = 0; i < N; ++i) {
      if (std::fabs(Finite(z[i])) > Threshold) Work[i] = 1;
    }
  });
  if (Done) Flags = Work;
  return Flags;
}

}  // namespace varnel
