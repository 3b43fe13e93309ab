// SPDX-License-Identifier: Apache-2.0
/// \file
/// Dense symmetric positive definite matrices (row-major, p × p, long
/// double): the Cholesky factor and the inverse from it, the algebra the
/// fit, the subset search and the tool's collinearity figures share.
#pragma once

#include <cstddef>
#include <vector>

#include "varnel/export.h"

namespace varnel::engine {

/// Overwrites the lower triangle of A with L, A = LLᵀ (the upper triangle is
/// not read); false when a pivot is not positive.
VARNEL_API bool CholeskyFactor(std::vector<long double>& A, std::size_t p);

/// (LLᵀ)⁻¹ = L⁻ᵀL⁻¹ from the lower triangle of L, full and symmetric.
/// EMathError where an entry would not be finite.
VARNEL_API std::vector<long double> InverseFromCholesky(const std::vector<long double>& L, std::size_t p);

}  // namespace varnel::engine
