// SPDX-License-Identifier: Apache-2.0
// The sums about the first observation from which a simple regression forms
// its corrected sums and r. The correlation matrix forms the same sums row by
// row and pair by pair, and its r comes from here too, so the two agree to
// the last bit.
#pragma once

#include "varnel/korlen.h"

namespace varnel {

struct TShiftedSums {
  Extended Dx = 0, Dy = 0, DxDy = 0, Dx2 = 0, Dy2 = 0;
};

// Sets Rec.SXX, Rec.SYY, Rec.SXY and Rec.R in that order; a fault leaves the
// fields from the failing one on as they were.
void FitCorrelation(TBivarStatRec& Rec, const TShiftedSums& S, int n);

}  // namespace varnel
