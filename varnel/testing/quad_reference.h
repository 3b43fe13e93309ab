// SPDX-License-Identifier: Apache-2.0
// A least-squares reference in 113-bit binary128 arithmetic (GCC's
// __float128): Householder QR of the design with its column of ones, R⁻¹
// for the diagonal of (X'X)⁻¹, and the record's fields from their defining
// formulas. It shares no code with the library and carries about 34 digits,
// so that an 80-bit fit can be judged to the last of its own.
#pragma once

#include <vector>

#include "varnel/testing/data_sets.h"

namespace varnel::testing {

struct TQuadFit {
  std::vector<long double> Beta, StdErr, TCalc;  // intercept first
  long double SSE = 0, SST = 0, R2 = 0, RMSE = 0, F = 0;
};

// Intercept false: through the origin, SST and R² about zero as R's.
TQuadFit QuadLeastSquares(const TDataSet& Data, bool Intercept = true);

}  // namespace varnel::testing
