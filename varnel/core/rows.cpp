// SPDX-License-Identifier: Apache-2.0
// Row preparation: writing and clearing one observation across the data
// matrix, smoothing an array, clearing output arrays.
#include "varnel/core/rows.h"

#include <algorithm>

#include "varnel/core/checked.h"
#include "varnel/core/guard.h"
#include "varnel/korlen.h"

namespace varnel {

void FillObsArray(std::span<double> A, Extended Value) {
  const double d = static_cast<double>(Value);
  std::fill_n(A.begin(), std::min<std::size_t>(A.size(), MaxObs), d);
}

void TKorlen::NewRowValues(TRegressData* X, const TVector& Values, Byte k, int Obs) {
  if (!HasRows(X, k) || Obs < 0 || Obs >= MaxObs) return;
  for (int j = 1; j <= k; ++j) (*X)[j][Obs] = ToDouble(Values[j - 1]);
  (*X)[0][Obs] = 1.0;
  for (int j = k + 1; j <= MaxVars; ++j) (*X)[j][Obs] = 0;
}

void TKorlen::ZeroRowValues(TRegressData* X, int Obs) {
  if (X == nullptr || Obs < 0 || Obs >= MaxObs) return;
  for (auto& Row : *X) Row[Obs] = 0;
}

void TKorlen::SmoothData(std::span<double> A, int n) {
  if (n <= 2 || n >= MaxObs || !Holds(A, n)) return;
  Guard("Error occurred in  SmoothData", [&] {
    // Every average reads the values before smoothing.
    const auto W = std::make_unique<TObsArray>();
    std::copy_n(A.begin(), n, W->begin());
    constexpr Extended kThird = 1.0L / 3.0L;
    for (int i = 1; i <= n - 2; ++i) {
      const Extended Sum = Extended((*W)[i - 1]) + (*W)[i] + (*W)[i + 1];
      A[i] = ToDouble(Sum * kThird);
    }
  });
}

}  // namespace varnel
