// SPDX-License-Identifier: Apache-2.0
// In-place transforms of the first n entries of an array, and of every
// predictor row of the data matrix. Entries are rewritten one by one, so a
// fault part-way leaves the entries before it transformed and the rest as
// they were.
#include <cmath>

#include "varnel/core/checked.h"
#include "varnel/core/guard.h"
#include "varnel/core/rows.h"
#include "varnel/korlen.h"

namespace varnel {
namespace {

// Lower bound Low < n < MaxObs, within the caller's array.
bool Runs(std::span<double> A, int n, int Low) { return n > Low && n < MaxObs && Holds(A, n); }

// The threshold below which a maximum is treated as zero: the double nearest
// 1E-5, so that an entry written as 0.00001 is taken as within it.
constexpr Extended NormalizeThreshold = 1E-5;

// Centring and standardising look at the whole array before changing it: a
// non-finite entry would otherwise make the mean and variance report their
// own faults and return 0, and a standard deviation of 0 clears the array.
void RequireFinite(std::span<const double> A, int n) {
  for (int t = 0; t < n; ++t) Finite(A[t]);
}

// Applies Transform to rows 1..k of the data matrix, each row on its own.
template <class Transform>
void EachPredictor(TRegressData* X, Byte k, Transform&& Apply) {
  if (X == nullptr || k < 1 || k > MaxVars) return;
  for (int v = 1; v <= k; ++v) Apply(std::span<double>((*X)[v]));
}

}  // namespace

// Centring shares its message with standardising.
void TKorlen::TransformArrCenter(std::span<double> A, int n) {
  if (!Runs(A, n, 2)) return;
  Guard("Error occurred in  StandardizeData", [&] {
    RequireFinite(A, n);
    const Extended Mean = GetMean(A, n);
    for (int t = 0; t < n; ++t) A[t] = ToDouble(A[t] - Mean);
  });
}

void TKorlen::TransformArrStandardize(std::span<double> A, int n) {
  if (!Runs(A, n, 2)) return;
  Guard("Error occurred in  StandardizeData", [&] {
    RequireFinite(A, n);
    const Extended SD = Sqrt(GetVariance(A, n));
    const Extended Mean = GetMean(A, n);
    for (int t = 0; t < n; ++t) A[t] = SD > 0 ? ToDouble(Div(A[t] - Mean, SD)) : 0.0;
  });
}

void TKorlen::TransformArrNormalize(std::span<double> A, int n) {
  if (!Runs(A, n, 0)) return;
  Guard("Error occurred in  NormalizeData", [&] {
    Extended Max = -1E22L;
    for (int t = 0; t < n; ++t) {
      if (Max < Finite(A[t])) Max = A[t];
    }
    if (Max >= -NormalizeThreshold && Max <= NormalizeThreshold) return;
    for (int t = 0; t < n; ++t) A[t] = ToDouble(Div(A[t], Max));
  });
}

void TKorlen::TransformArrInverse(std::span<double> A, int n) {
  if (!Runs(A, n, 0)) return;
  Guard("Error occurred in  TransformInverse", [&] {
    for (int t = 0; t < n; ++t) {
      if (Finite(A[t]) != 0) A[t] = ToDouble(Div(1, A[t]));
    }
  });
}

void TKorlen::TransformArrSquare(std::span<double> A, int n) {
  if (!Runs(A, n, 0)) return;
  for (int t = 0; t < n; ++t) A[t] = ToDouble(Extended(A[t]) * A[t]);
}

void TKorlen::TransformArrSquareRoot(std::span<double> A, int n) {
  if (!Runs(A, n, 0)) return;
  Guard("Error occurred in  TransformSquareRoot", [&] {
    for (int t = 0; t < n; ++t) A[t] = Finite(A[t]) > 0 ? ToDouble(Sqrt(A[t])) : 0.0;
  });
}

void TKorlen::TransformArrAddScalar(std::span<double> A, Extended s, int n) {
  if (n < 1 || !Holds(A, n)) return;
  for (int t = 0; t < n; ++t) A[t] = ToDouble(s + A[t]);
}

void TKorlen::TransformArrMultiplyScalar(std::span<double> A, Extended s, int n) {
  if (n < 1 || !Holds(A, n)) return;
  for (int t = 0; t < n; ++t) A[t] = ToDouble(s * A[t]);
}

void TKorlen::TransformDataCenter(TRegressData* X, Byte k, int n) {
  EachPredictor(X, k, [&](std::span<double> Row) { TransformArrCenter(Row, n); });
}

void TKorlen::TransformDataStandardize(TRegressData* X, Byte k, int n) {
  EachPredictor(X, k, [&](std::span<double> Row) { TransformArrStandardize(Row, n); });
}

void TKorlen::TransformDataNormalize(TRegressData* X, Byte k, int n) {
  EachPredictor(X, k, [&](std::span<double> Row) { TransformArrNormalize(Row, n); });
}

}  // namespace varnel
