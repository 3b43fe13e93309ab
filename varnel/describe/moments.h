// SPDX-License-Identifier: Apache-2.0
// The shape of a sample from its moments about the mean, in extended
// precision: the figures the tool's tables show beside the component's
// single-precision skewness and kurtosis.
#pragma once

#include <span>

#include "varnel/core/types.h"
#include "varnel/export.h"

// The functions marked VARNEL_API are exported from the shared library for
// the varnel tool, which uses them; this header is not installed.

namespace varnel {

struct TShapeMoments {
  Extended Skew = 0;      // m3 / m2^(3/2)
  Extended Kurtosis = 0;  // m4 / m2²
  Extended Excess = 0;    // m4 / m2² − 3
  Extended Variance = 0;  // Σ (x − x̄)² / (n − 1), also beyond a double's range
};

// mₖ = Σ (x − x̄)ᵏ / n, formed about the first value and then the mean
// (corrected by a second pass), so an offset common to the values costs no
// digits. A sample
// without spread (or with fewer than two values) has no shape: every
// figure is NaN.
VARNEL_API TShapeMoments ShapeMoments(std::span<const double> Values);

}  // namespace varnel
