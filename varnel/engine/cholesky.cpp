// SPDX-License-Identifier: Apache-2.0
#include "varnel/engine/cholesky.h"

#include <cmath>

#include "varnel/core/checked.h"

namespace varnel::engine {

bool CholeskyFactor(std::vector<long double>& A, std::size_t p) {
  for (std::size_t j = 0; j < p; ++j) {
    for (std::size_t k = 0; k < j; ++k) A[j * p + j] -= A[j * p + k] * A[j * p + k];
    if (!(A[j * p + j] > 0)) return false;
    A[j * p + j] = std::sqrt(A[j * p + j]);
    for (std::size_t i = j + 1; i < p; ++i) {
      for (std::size_t k = 0; k < j; ++k) A[i * p + j] -= A[i * p + k] * A[j * p + k];
      A[i * p + j] /= A[j * p + j];
    }
  }
  return true;
}

std::vector<long double> InverseFromCholesky(const std::vector<long double>& L, std::size_t p) {
  // L⁻¹ by forward substitution, column by column.
  std::vector<long double> Inv(p * p, 0), A(p * p);
  for (std::size_t c = 0; c < p; ++c) {
    for (std::size_t i = c; i < p; ++i) {
      long double s = i == c ? 1 : 0;
      for (std::size_t l = c; l < i; ++l) s -= L[i * p + l] * Inv[l * p + c];
      Inv[i * p + c] = s / L[i * p + i];
    }
  }
  for (std::size_t i = 0; i < p; ++i) {
    for (std::size_t j = 0; j <= i; ++j) {
      long double s = 0;
      for (std::size_t m = i; m < p; ++m) s += Inv[m * p + i] * Inv[m * p + j];
      A[i * p + j] = A[j * p + i] = Finite(s);
    }
  }
  return A;
}

}  // namespace varnel::engine
