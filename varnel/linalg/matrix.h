// SPDX-License-Identifier: Apache-2.0
// Internal fixed-size matrix and vector operations. A size m selects the
// first m entries or the top-left m by m block; every other entry of a result
// is 0. Sums run in increasing index, in extended precision.
#pragma once

#include <cstddef>
#include <memory>

#include "varnel/core/types.h"

namespace varnel {

// Entries 0..Count-1 equal Value, the others 0.
TVector InitVector(Byte Count, int Value);

// P[i][j] = Σt B[i][t] × A[t][j]: the second argument times the first.
TMatrix MatrixProduct(const TMatrix& A, const TMatrix& B, Byte Size);
// The same product written to P, which must be neither A nor B.
void MatrixProductInto(const TMatrix& A, const TMatrix& B, Byte Size, TMatrix& P);

// r[j] = Σt V[t] × M[t][j]: the row vector V times M.
TVector VectorMatrixProduct(const TMatrix& M, const TVector& V, Byte Size);

// Σt A[t] × B[t].
Extended DotProduct(const TVector& A, const TVector& B, Byte Size);

// The inverse of the top-left Size by Size block of M by Gauss-Jordan
// elimination without row exchanges, as InvertMatrix forms it. With
// PivotFloor, a pivot no larger in magnitude than PivotFloor[p] is taken as
// exactly 0 and reported as a zero pivot is: its row has lost the digits
// the caller needs.
// The inverse is written to I, which must not be M.
void GaussJordanInverse(const TMatrix& M, int Size, Extended& Det, const Extended* PivotFloor, TMatrix& I);

// A matrix kept on the heap: 10.8 KB that a small thread's stack should
// not hold. Indexed as a TMatrix; Get gives the matrix itself.
class THeapMatrix {
 public:
  THeapMatrix() : F(std::make_unique<TMatrix>()) {}
  TVector& operator[](std::size_t Row) { return (*F)[Row]; }
  const TVector& operator[](std::size_t Row) const { return (*F)[Row]; }
  TMatrix& Get() { return *F; }
  const TMatrix& Get() const { return *F; }

 private:
  std::unique_ptr<TMatrix> F;
};

// Sizes beyond the 26 slots of a vector or matrix are clipped to them, so no
// operation indexes outside its storage.
inline int ClipSize(int Size) { return Size > 26 ? 26 : Size; }

}  // namespace varnel
