// SPDX-License-Identifier: Apache-2.0
// The fit the inference operations read, with the constant or through the
// origin, and what each observation's influence measures need of it.
#pragma once

#include <span>

#include "varnel/korlen.h"
#include "varnel/regression/shifted_fit.h"

namespace varnel {

// A fit of Y on the k predictors, its summary in the record's fields (with
// SST about the mean, or about zero through the origin, as R's summary.lm
// takes it), and the inverse of its design's cross products. The design's
// rows are Row(j) for j = First..K: with the constant, the shifted rows of
// the accurate fit (row 0 the constant); through the origin, the data's own.
struct TInferenceFit {
  TMultStatRec R;
  int First = 0;       // 0 with the constant, 1 through the origin
  int Parameters = 0;  // K + 1, or K
  // G, Inv = (X'X)⁻¹, the rows and their shifts (0 through the origin,
  // where G is Inv and the rows are the data's), the cross products'
  // diagonal and, with the constant, the shifted rows' sums.
  TShiftedInverse S;
  bool Fitted = false;  // false when the data scan rejected the data

  bool Intercept() const { return First == 0; }
};

// The caller has checked the counts and the storage; faults pass on, and a
// data scan that rejects the data leaves Fitted false.
TInferenceFit InferenceFit(TKorlen& Korlen, const TRegressData& X, std::span<const double> Y, int k, int n,
                           bool Intercept);

Extended FittedOf(const TInferenceFit& F, const TRegressData& X, int i);

// For observation i: T = G z(i) and the leverage h = z(i)'T, where z(i) is
// the observation's design row; then Change[j] = the coefficients' change
// per unit of residual when i is left out, (X'X)⁻¹ x(i), back from the
// shifted coordinates.
Extended LeverageAndChange(const TInferenceFit& F, int i, Extended* Change);

}  // namespace varnel
