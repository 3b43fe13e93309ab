// SPDX-License-Identifier: Apache-2.0
// The correlation of Y with each predictor on its own, from the simple
// regression of Y on that predictor.
#include "varnel/core/checked.h"
#include "varnel/core/guard.h"
#include "varnel/core/rows.h"
#include "varnel/korlen.h"
#include "varnel/regression/refit.h"

namespace varnel {

TVector TKorlen::MVPairedXYRegressions(const TRegressData* X, std::span<const double> Y, Byte k, int n) {
  TVector R{};
  if (X == nullptr || !FitCountsValid(k, n) || !Holds(Y, n)) return R;
  Guard("Error in MVPairedXYRegressios", [&] {
    for (int v = 1; v <= k; ++v) R[v - 1] = Finite(BVRegression(std::span((*X)[v]).first(n), Y.first(n), n).R);
  });
  return R;
}

// Not guarded: the simple regressions report their own faults.
Extended TKorlen::MVAverageCorrelation(const TRegressData* X, std::span<const double> Y, Byte k, int n) {
  if (X == nullptr || !FitCountsValid(k, n) || !Holds(Y, n)) return 0;
  Extended Sum = 0;
  for (int v = 1; v <= k; ++v) Sum += BVRegression(std::span((*X)[v]).first(n), Y.first(n), n).R;
  return Div(Sum, k);
}

}  // namespace varnel
