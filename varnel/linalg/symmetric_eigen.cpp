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
#include "varnel/linalg/spectral_kernels.h"

namespace varnel {

void DiagonaliseTridiagonal(TVector& d, TVector& e, TMatrix& Z, int n) {
  n = ClipSize(n);
  if (n < 1) return;
  spectral::DiagonaliseTridiagonal(d, e, Z, n);
}

void OrderEigenpairs(TVector& d, TMatrix& Z, int n) {
  spectral::OrderEigenpairs(d, Z, ClipSize(n));
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
