// SPDX-License-Identifier: Apache-2.0
// Matrix construction, products and Gauss-Jordan inversion.
#include "varnel/linalg/matrix.h"

#include <cmath>
#include <memory>

#include "varnel/core/checked.h"
#include "varnel/core/guard.h"
#include "varnel/korlen.h"

namespace varnel {

TVector InitVector(Byte Count, int Value) {
  TVector V{};
  for (int i = 0; i < ClipSize(Count); ++i) V[i] = Value;
  return V;
}

TMatrix MatrixProduct(const TMatrix& A, const TMatrix& B, Byte Size) {
  TMatrix P;
  MatrixProductInto(A, B, Size, P);
  return P;
}

void MatrixProductInto(const TMatrix& A, const TMatrix& B, Byte Size, TMatrix& P) {
  P = TMatrix{};
  const int m = ClipSize(Size);
  for (int i = 0; i < m; ++i) {
    for (int j = 0; j < m; ++j) {
      Extended s = 0;
      for (int t = 0; t < m; ++t) s += B[i][t] * A[t][j];
      P[i][j] = Finite(s);
    }
  }
}

TVector VectorMatrixProduct(const TMatrix& M, const TVector& V, Byte Size) {
  TVector r{};
  const int m = ClipSize(Size);
  for (int j = 0; j < m; ++j) {
    Extended s = 0;
    for (int t = 0; t < m; ++t) s += V[t] * M[t][j];
    r[j] = Finite(s);
  }
  return r;
}

Extended DotProduct(const TVector& A, const TVector& B, Byte Size) {
  Extended s = 0;
  for (int t = 0; t < ClipSize(Size); ++t) s += A[t] * B[t];
  return Finite(s);
}

TMatrix TKorlen::InitMatrix(Byte /*Size*/, Extended Value) {
  TMatrix M;
  for (auto& Row : M) Row.fill(Value);
  return M;
}

TMatrix TKorlen::IdentityMatrix(Byte Size) {
  TMatrix M = InitMatrix(25, 0);
  for (int i = 0; i < ClipSize(Size); ++i) M[i][i] = 1.0L;
  return M;
}

TMatrix TKorlen::CopyMatrix(const TMatrix& M, Byte Size) {
  TMatrix C = InitMatrix(25, 0);
  const int m = ClipSize(Size);
  for (int i = 0; i < m; ++i) {
    for (int j = 0; j < m; ++j) C[i][j] = M[i][j];
  }
  return C;
}

// Gauss-Jordan elimination in place, without row exchanges: a zero pivot is
// reported, once for every column of its row. A fault in the elimination
// itself reaches the caller. The working copy lives on the heap, so that the
// elimination needs little stack.
void GaussJordanInverse(const TMatrix& M, int Size, Extended& Det, const Extended* PivotFloor, TMatrix& I) {
  const int m = ClipSize(Size);
  I = TMatrix{};
  for (int i = 0; i < m; ++i) I[i][i] = 1.0L;
  const auto Work = std::make_unique<TMatrix>();
  TMatrix& W = *Work;
  for (int i = 0; i < m; ++i) {
    for (int j = 0; j < m; ++j) W[i][j] = M[i][j];
  }
  Det = 1.0L;
  for (int p = 0; p < m; ++p) {
    const bool Lost = PivotFloor != nullptr && std::fabs(W[p][p]) <= PivotFloor[p];
    const Extended Pivot = Lost ? 0 : W[p][p];
    Det = Finite(Det * Pivot);
    for (int j = 0; j < m; ++j) {
      Guard("Error div by 0 inverting matrices", [&] {
        W[p][j] = Div(W[p][j], Pivot);
        I[p][j] = Div(I[p][j], Pivot);
      });
    }
    for (int r = 0; r < m; ++r) {
      if (r == p) continue;
      const Extended Factor = W[r][p];
      for (int j = 0; j < m; ++j) {
        W[r][j] = Finite(W[r][j] - Factor * W[p][j]);
        I[r][j] = Finite(I[r][j] - Factor * I[p][j]);
      }
    }
  }
}

TMatrix TKorlen::InvertMatrix(const TMatrix& M, Byte Size, Extended& Det) {
  TMatrix I;
  GaussJordanInverse(M, Size, Det, nullptr, I);
  return I;
}

}  // namespace varnel
