// SPDX-License-Identifier: Apache-2.0
// Generalised variance-inflation factors of the terms of a linear model
// with a constant: how much a term's joint confidence region is widened by
// its correlation with the other terms (Fox and Monette, 1992).
#pragma once

#include <span>
#include <vector>

#include "varnel/core/types.h"
#include "varnel/export.h"

// The functions marked VARNEL_API are exported from the shared library for
// the varnel tool, which uses them; this header is not installed.

namespace varnel {

// GVIF = det(R11)·det(R22)/det(R), R the correlation matrix of all the
// predictors, R11 the block of the term's columns and R22 that of the
// others; Adjusted = GVIF^(1/(2·DF)), comparable across terms of different
// sizes. For a term of one column GVIF is the ordinary VIF.
struct TTermVIF {
  int DF = 0;
  Extended GVIF = 0;
  Extended Adjusted = 0;
};

// Columns[j][i] is observation i of predictor j; Terms lists each term's
// predictors (0-based), together every column once. The columns must be
// linearly independent and none constant. A model of one term has GVIF 1.
VARNEL_API std::vector<TTermVIF> TermVIFs(std::span<const std::vector<double>> Columns,
                               std::span<const std::vector<int>> Terms);

}  // namespace varnel
