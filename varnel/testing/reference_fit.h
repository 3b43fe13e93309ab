// SPDX-License-Identifier: Apache-2.0
// An independent least-squares reference for the tests: Householder QR of
// the design matrix (with its column of ones) in extended precision, with
// column scaling, solved by back substitution. It shares no code with the
// library's normal-equations fit.
#pragma once

#include <vector>

#include "varnel/testing/data_sets.h"

namespace varnel::testing {

struct TReferenceFit {
  std::vector<long double> Beta;  // intercept first
  long double SSE = 0;
};

TReferenceFit ReferenceLeastSquares(const TDataSet& Data);

}  // namespace varnel::testing
