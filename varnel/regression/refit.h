// SPDX-License-Identifier: Apache-2.0
// Internal pieces shared by the operations that refit a multiple regression
// and then read the fit observation by observation: residuals, influence
// diagnostics and interval limits.
#pragma once

#include <span>

#include "varnel/core/rows.h"
#include "varnel/korlen.h"
#include "varnel/regression/shifted_fit.h"

namespace varnel {

// ŷ(i): the predictors' terms in increasing j, the constant added last.
inline Extended FittedValue(const TMultStatRec& R, const TRegressData& X, int i) {
  Extended s = 0;
  for (int j = 1; j <= R.K; ++j) s += R.Beta[j] * X[j][i];
  return s + R.Beta[0];
}

// The outcome of MVRegression together with the inverse it was computed from.
struct TInverseFit {
  TMultStatRec R;
  TShiftedInverse S;
  bool Fitted = false;  // false when the data scan rejected the data (R is the zero record)
};

// MVRegression's own steps, keeping the inverse, so that leverages and limits
// read the very matrix the coefficients came from instead of forming it a
// second time. The caller has checked the counts and the storage. A fault
// that MVRegression would pass on passes on from here too.
TInverseFit FitWithInverse(TKorlen& Korlen, const TRegressData* X, std::span<const double> Y, Byte k, int n);

// h(i) = Σj T[j][i] × z[j][i] with T[j][i] = Σm G[j][m] × z[m][i] rounded to
// double, z the shifted design (S.Row(j), row 0 the data matrix's own), for
// i = 0..n-1, evaluated one observation at a time. Every T is formed before
// any h is stored, so a fault in T leaves H as it was and a fault in h leaves
// the leverages before it in place. Not guarded.
void LeveragesFromInverse(const TShiftedInverse& S, int k, int n, std::span<double> H);

}  // namespace varnel
