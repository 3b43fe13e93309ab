// SPDX-License-Identifier: Apache-2.0
// Internal helpers for output arrays and argument checks shared by the
// operations that read the data matrix or fill observation arrays.
#pragma once

#include <memory>
#include <span>

#include "varnel/core/types.h"

namespace varnel {

// Sets the whole span, up to MaxObs entries, to Value rounded to double.
void FillObsArray(std::span<double> A, Extended Value);

// True when the data matrix is there and rows 0..k exist (k ≤ MaxVars).
inline bool HasRows(const TRegressData* X, int k) { return X != nullptr && k >= 0 && k <= MaxVars; }

// The counts every multivariate operation needs: 1 ≤ k ≤ 24, n > 2, n > k, n < MaxObs.
inline bool FitCountsValid(int k, int n) { return n > 2 && n > k && n < MaxObs && k >= 1 && k <= MaxVars; }

// A working data matrix with its entries unset. Each user writes every entry
// it reads later: zeroing all 4 MB on each call cost more than analysing a
// small data set.
inline std::unique_ptr<TRegressData> NewWorkMatrix() { return std::make_unique_for_overwrite<TRegressData>(); }

// True when a span holds at least n values (n may be ≤ 0: nothing is read).
template <class T>
bool Holds(std::span<T> A, int n) {
  return n <= 0 || A.size() >= static_cast<std::size_t>(n);
}

}  // namespace varnel
