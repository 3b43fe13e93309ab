// SPDX-License-Identifier: Apache-2.0
// Which predictors of a linear model are linear combinations of the ones
// before them (and of the constant), found as R's lm finds them, so that a
// caller can leave them out of the fit and report them as not defined.
#pragma once

#include <span>
#include <vector>

#include "varnel/core/types.h"
#include "varnel/export.h"

// The functions marked VARNEL_API are exported from the shared library for
// the varnel tool, which uses them; this header is not installed.

namespace varnel {

// R's lm leaves out a column whose norm, after its projection on the kept
// columns before it is taken away, falls below 1e-7 of the column's own
// norm; on squared norms that is 1e-14.
inline constexpr Extended kAliasTolerance = 1e-14L;

// Per predictor: the squared norm of its residual on the kept predictors
// before it (and on the constant when there is one), and its own squared
// norm about zero, the constant being a column like the others. A
// predictor is aliased when Residual < Tolerance · Norm (Norm taken as 1
// when it is 0, so that a column of zeros is aliased too); an aliased
// predictor takes no part in the residuals of the ones after it.
struct TAliasing {
  std::vector<Extended> Residual;
  std::vector<Extended> Norm;
  std::vector<int> Aliased;  // 0-based, increasing
};

// Columns[j][i] is observation i of predictor j; every column has the same
// length. The residuals come from projecting each column, in column order,
// on the orthonormal basis of the constant (when Intercept) and the kept
// columns before it, in extended precision.
VARNEL_API TAliasing FindAliasing(std::span<const std::vector<double>> Columns, bool Intercept,
                       Extended Tolerance = kAliasTolerance);

}  // namespace varnel
