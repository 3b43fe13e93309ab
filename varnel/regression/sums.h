// SPDX-License-Identifier: Apache-2.0
// Several independent sums over the same observations in one pass. Each sum
// still adds its terms one at a time, left to right in increasing index, so
// it is bit for bit the sum a loop of its own would form; what is gained is
// that the x87 unit works on several sums at once instead of waiting for
// every addition of a single sum to finish before the next can start.
#pragma once

#include "varnel/core/types.h"

namespace varnel {

// Out[m] = Σi Extended(A[i]) × B[m][i] for m < Count, i < n.
void ProductSums(const double* A, const double* const* B, int Count, int n, Extended* Out);

// Out[m] = Σi (Extended(A[i]) − B[m][i]) for m < Count, i < n.
void DifferenceSums(const double* A, const double* const* B, int Count, int n, Extended* Out);

// Out[m] = Σi B[m][i] for m < Count, i < n.
void RowSums(const double* const* B, int Count, int n, Extended* Out);

// Out[m] = Σi (Extended(A[i]) − A[0]) × (Extended(B[m][i]) − B[m][0]) for
// m < Count, i < n: the cross products taken about the first observation.
void ShiftedProductSums(const double* A, const double* const* B, int Count, int n, Extended* Out);

// Out[m] = Σi (Extended(A[i]) − a0) × B[m][i] for m < Count, i < n.
void CentredProductSums(const double* A, double a0, const double* const* B, int Count, int n, Extended* Out);

}  // namespace varnel
