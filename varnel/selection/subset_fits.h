// SPDX-License-Identifier: Apache-2.0
// What the best-subset and stepwise searches fit every sub-model from: the
// centred cross products of the predictors and Y, formed once, and the
// refit of one sub-model from its own entries of them.
#pragma once

#include <cstdint>
#include <span>

#include "varnel/core/types.h"
#include "varnel/linalg/matrix.h"

namespace varnel {

struct TSubsetSums {
  int K = 0, N = 0;
  // C[a][b] for predictors a + 1 and b + 1, row and column K for Y.
  THeapMatrix C;
  // The full model swept in, with the same layout: −(C⁻¹) over the
  // predictors, the slopes in row and column K, the RSS at [K][K].
  THeapMatrix Full;
  Extended SST() const { return C[K][K]; }
};

// Sweeps pivot p of the leading Size by Size block of A: every other entry
// loses A[i][p]·A[p][j]/A[p][p], row and column p are divided by the pivot
// and the pivot becomes −1/pivot. The same update with a pivot that is
// already swept in (negative) takes that variable out again.
void Sweep(TMatrix& A, int Size, int p);

// The sums and the full model, the predictors swept in in column order; a
// pivot no larger than LostPivot of its column's centred sum of squares is
// a division by zero, as the fit's own inversion takes it. The caller has
// checked the counts. Unguarded.
TSubsetSums SubsetSums(const TRegressData& X, std::span<const double> Y, int k, int n);

// The RSS of the fit of Y on the constant and the predictors in Terms (bit
// j − 1 for predictor j): the last pivot of the elimination of their
// entries with Y's appended, in extended precision. Work is scratch.
Extended SubsetRSS(const TSubsetSums& S, std::uint32_t Terms, TMatrix& Work);

// n·log(RSS/n), the part of every likelihood criterion that the fit gives.
Extended LogScaledRSS(Extended RSS, int n);

}  // namespace varnel
