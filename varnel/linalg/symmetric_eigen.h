// SPDX-License-Identifier: Apache-2.0
// The symmetric eigenproblem: the implicit QL iteration on the tridiagonal
// form that the Householder reduction leaves, with the reduction's
// transformation carried along, so that the columns end as eigenvectors.
// 0-based indexes; the size n selects the leading n by n block.
#pragma once

#include "varnel/core/types.h"

namespace varnel {

// d and e as ReduceToTridiagonal leaves them (e[i] couples i − 1 and i,
// e[0] = 0) and Z its transformation. Afterwards d holds the eigenvalues and
// column j of Z the unit eigenvector of d[j], unordered. An iteration that
// does not converge, or a non-finite value, is a fault.
void DiagonaliseTridiagonal(TVector& d, TVector& e, TMatrix& Z, int n);

// Orders the pairs by eigenvalue, largest first (equal values keep their
// order), and turns each eigenvector so that its entry of largest magnitude
// (the first of equal ones) is positive.
void OrderEigenpairs(TVector& d, TMatrix& Z, int n);

}  // namespace varnel
