// SPDX-License-Identifier: Apache-2.0
// Principal components of a covariance matrix already formed: what
// MVPrincipalComponents does after its pass over the data. The engine's
// PrincipalComponents runs the same steps (spectral_kernels.h) on matrices
// of any order.
#pragma once

#include "varnel/korlen.h"

namespace varnel {

// C is the covariance matrix of k variables (1 <= k <= 24); with Scaled the
// components are those of its correlation matrix. Fills P's sdev,
// variance, proportions, condition indexes, rotation and scales (not the
// centres, counts or scores); C is overwritten. A column without spread
// cannot be scaled: a fault (EMathError).
void ComponentsOfCovariance(TMatrix& C, int k, bool Scaled, TPrincipalComponentsRec& P);

}  // namespace varnel
