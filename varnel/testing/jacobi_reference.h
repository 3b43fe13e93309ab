// SPDX-License-Identifier: Apache-2.0
// An eigen-solver for tests that shares nothing with the library's: cyclic
// Jacobi rotations in extended precision, swept until the off-diagonal part
// is below 1e-30 of the matrix, on a std::vector matrix.
#pragma once

#include <vector>

namespace varnel::testing {

struct TJacobiEigen {
  std::vector<long double> Values;               // unordered
  std::vector<std::vector<long double>> Vectors;  // Vectors[i][j]: entry i of vector j
};

TJacobiEigen JacobiEigen(std::vector<std::vector<long double>> A);

}  // namespace varnel::testing
