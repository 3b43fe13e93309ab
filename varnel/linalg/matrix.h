// Internal fixed-size matrix and vector operations. A size m selects the
// first m entries or the top-left m by m block; every other entry of a result
// is 0. Sums run in increasing index, in extended precision.
#pragma once

#include "varnel/core/types.h"

namespace varnel {

// Entries 0..Count-1 equal Value, the others 0.
TVector InitVector(Byte Count, int Value);

// P[i][j] = Σt B[i][t] × A[t][j]: the second argument times the first.
TMatrix MatrixProduct(const TMatrix& A, const TMatrix& B, Byte Size);

// r[j] = Σt V[t] × M[t][j]: the row vector V times M.
TVector VectorMatrixProduct(const TMatrix& M, const TVector& V, Byte Size);

// Σt A[t] × B[t].
Extended DotProduct(const TVector& A, const TVector& B, Byte Size);

// Sizes beyond the 26 slots of a vector or matrix are clipped to them, so no
// operation indexes outside its storage.
inline int ClipSize(int Size) { return Size > 26 ? 26 : Size; }

}  // namespace varnel
