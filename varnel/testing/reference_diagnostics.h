// SPDX-License-Identifier: Apache-2.0
// An independent reference for the regression diagnostics: an orthonormal
// basis of the design's column space by modified Gram-Schmidt (with a second
// orthogonalisation pass) in extended precision. Hat values are the squared
// row norms of the basis, residuals the part of Y outside it. It shares no
// code with the library's normal-equations fit.
#pragma once

#include <vector>

#include "varnel/testing/data_sets.h"

namespace varnel::testing {

struct TReferenceDiagnostics {
  std::vector<long double> Fitted, Residuals, Hat, Standardised, Studentised, Cook;
  long double SSE = 0, DurbinWatson = 0;
};

TReferenceDiagnostics ReferenceDiagnostics(const TDataSet& Data);

}  // namespace varnel::testing
