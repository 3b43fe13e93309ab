// SPDX-License-Identifier: Apache-2.0
// Principal components of a covariance matrix already formed: what
// MVPrincipalComponents does after its pass over the data, for callers that
// hold the matrix from elsewhere (the tool, from the engine's merged
// moments).
#pragma once

#include "varnel/export.h"
#include "varnel/korlen.h"

// The functions marked VARNEL_API are exported from the shared library for
// the varnel tool, which uses them; this header is not installed.

namespace varnel {

// C is the covariance matrix of k variables (1 <= k <= 24); with Scaled the
// components are those of its correlation matrix. Fills P's sdev,
// variance, proportions, condition indexes, rotation and scales (not the
// centres, counts or scores); C is overwritten. A column without spread
// cannot be scaled: a fault (EMathError).
VARNEL_API void ComponentsOfCovariance(TMatrix& C, int k, bool Scaled, TPrincipalComponentsRec& P);

}  // namespace varnel
