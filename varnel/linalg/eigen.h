// SPDX-License-Identifier: Apache-2.0
// Internal pieces of the spectral operations: the Householder reduction of a
// symmetric matrix to tridiagonal form and two small helpers it and the
// eigenvalue figures use. Indexes of matrices and vectors are 0-based here;
// the size n selects the leading n by n block (at most 26).
#pragma once

#include "varnel/core/types.h"

namespace varnel {

// |a| carrying the sign of b; b = 0 counts as positive.
Extended TransferSign(Extended a, Extended b);

// Reduces the leading n by n block of the symmetric matrix A in place.
// Afterwards A holds the accumulated orthogonal transformation Q, d[0..n-1]
// the diagonal and e[0..n-1] the sub-diagonal of the tridiagonal form
// (e[0] = 0). A fault (a non-finite entry) reaches the caller.
void ReduceToTridiagonal(TMatrix& A, int n, TVector& d, TVector& e);

// Orders the first n entries of v, largest first, by exchanges; two equal
// values are never exchanged with each other.
void SortDescending(TVector& v, int n);

}  // namespace varnel
