// SPDX-License-Identifier: Apache-2.0
// Shared refitting steps of the diagnostics and interval operations.
#include "varnel/regression/refit.h"

#include <vector>

#include "varnel/core/checked.h"

namespace varnel {

TInverseFit FitWithInverse(TKorlen& Korlen, const TRegressData* X, std::span<const double> Y, Byte k, int n) {
  TInverseFit Fit;
  if (Korlen.ScanData() && !Korlen.MVCheckXData(X, k, n)) return Fit;
  Fit.S = ShiftedInverse(*X, k, n);
  Fit.R = ShiftedFitRecord(*X, Y, Fit.S, k, n);
  Fit.Fitted = true;
  return Fit;
}

namespace {

// The leverages of observations First..First+W-1, formed together: for each
// j the W sums over m run side by side with G[j][m] loaded once, and each
// sum still adds its terms in increasing m. The sums are rounded in the
// order of a loop over one observation at a time, so that the first fault
// is the one that loop would meet.
template <int W>
void LeverageBlock(const TShiftedInverse& Sh, int k, int First, Extended* Sums) {
  Extended S[MaxVars + 1][W];
  for (int j = 0; j <= k; ++j) {
    Extended s[W] = {};
    for (int m = 0; m <= k; ++m) {
      const Extended c = Sh.G[j][m];
      const double* z = Sh.Row(m) + First;
#pragma GCC unroll 8
      for (int q = 0; q < W; ++q) s[q] += c * z[q];
    }
#pragma GCC unroll 8
    for (int q = 0; q < W; ++q) S[j][q] = s[q];
  }
  double T[W][MaxVars + 1];
  for (int q = 0; q < W; ++q) {
    for (int j = 0; j <= k; ++j) T[q][j] = ToDouble(S[j][q]);
  }
  Extended h[W] = {};
  for (int j = 0; j <= k; ++j) {
    const double* z = Sh.Row(j) + First;
#pragma GCC unroll 8
    for (int q = 0; q < W; ++q) h[q] += Extended(T[q][j]) * z[q];
  }
  for (int q = 0; q < W; ++q) Sums[First + q] = h[q];
}

}  // namespace

// h(i) needs every T(i) of its own observation only, so observations are
// taken four at a time.
void LeveragesFromInverse(const TShiftedInverse& S, int k, int n, std::span<double> H) {
  std::vector<Extended> Sums(n);
  int First = 0;
  for (; First + 4 <= n; First += 4) LeverageBlock<4>(S, k, First, Sums.data());
  for (; First < n; ++First) LeverageBlock<1>(S, k, First, Sums.data());
  for (int i = 0; i < n; ++i) H[i] = ToDouble(Sums[i]);
}

}  // namespace varnel
