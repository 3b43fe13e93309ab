// SPDX-License-Identifier: Apache-2.0
#include "varnel/testing/jacobi_reference.h"

#include <cmath>

namespace varnel::testing {
namespace {

long double OffDiagonal(const std::vector<std::vector<long double>>& A) {
  long double s = 0;
  for (std::size_t i = 0; i < A.size(); ++i) {
    for (std::size_t j = 0; j < A.size(); ++j) s += i == j ? 0 : A[i][j] * A[i][j];
  }
  return s;
}

// The rotation in the (p, q) plane that zeroes A[p][q], applied to A and V.
void Rotate(std::vector<std::vector<long double>>& A, std::vector<std::vector<long double>>& V, std::size_t p,
            std::size_t q) {
  const long double Theta = (A[q][q] - A[p][p]) / (2 * A[p][q]);
  const long double t = (Theta >= 0 ? 1 : -1) / (std::fabs(Theta) + std::sqrt(Theta * Theta + 1));
  const long double c = 1 / std::sqrt(t * t + 1), s = t * c;
  for (std::size_t k = 0; k < A.size(); ++k) {
    const long double akp = A[k][p], akq = A[k][q];
    A[k][p] = c * akp - s * akq;
    A[k][q] = s * akp + c * akq;
  }
  for (std::size_t k = 0; k < A.size(); ++k) {
    const long double apk = A[p][k], aqk = A[q][k];
    A[p][k] = c * apk - s * aqk;
    A[q][k] = s * apk + c * aqk;
    const long double vkp = V[k][p], vkq = V[k][q];
    V[k][p] = c * vkp - s * vkq;
    V[k][q] = s * vkp + c * vkq;
  }
}

}  // namespace

TJacobiEigen JacobiEigen(std::vector<std::vector<long double>> A) {
  const std::size_t n = A.size();
  std::vector<std::vector<long double>> V(n, std::vector<long double>(n, 0));
  long double Norm = 0;
  for (std::size_t i = 0; i < n; ++i) {
    V[i][i] = 1;
    for (std::size_t j = 0; j < n; ++j) Norm += A[i][j] * A[i][j];
  }
  for (int Sweep = 0; Sweep < 100 && OffDiagonal(A) > 1e-60L * Norm; ++Sweep) {
    for (std::size_t p = 0; p < n; ++p) {
      for (std::size_t q = p + 1; q < n; ++q) {
        if (A[p][q] != 0) Rotate(A, V, p, q);
      }
    }
  }
  TJacobiEigen Result{{}, V};
  for (std::size_t i = 0; i < n; ++i) Result.Values.push_back(A[i][i]);
  return Result;
}

}  // namespace varnel::testing
