// SPDX-License-Identifier: Apache-2.0
// The determinants come from the elimination of the correlation matrix's
// blocks in extended precision: the matrix is positive definite when the
// columns are independent, so its pivots need no exchanges.
#include "varnel/regression/gvif.h"

#include <cmath>
#include <cstddef>

namespace varnel {
namespace {

using TSquare = std::vector<std::vector<Extended>>;

TSquare Correlations(std::span<const std::vector<double>> Columns) {
  const std::size_t k = Columns.size();
  std::vector<Extended> Mean(k, 0);
  for (std::size_t j = 0; j < k; ++j) {
    for (double x : Columns[j]) Mean[j] += x;
    Mean[j] /= static_cast<Extended>(Columns[j].size());
  }
  TSquare C(k, std::vector<Extended>(k, 0));
  for (std::size_t a = 0; a < k; ++a) {
    for (std::size_t b = a; b < k; ++b) {
      Extended s = 0;
      for (std::size_t i = 0; i < Columns[a].size(); ++i) s += (Columns[a][i] - Mean[a]) * (Columns[b][i] - Mean[b]);
      C[a][b] = C[b][a] = s;
    }
  }
  TSquare R = C;
  for (std::size_t a = 0; a < k; ++a) {
    for (std::size_t b = 0; b < k; ++b) R[a][b] = C[a][b] / std::sqrt(C[a][a] * C[b][b]);
  }
  return R;
}

// The determinant of the block of R on the rows and columns in Which.
Extended Determinant(const TSquare& R, const std::vector<std::size_t>& Which) {
  const std::size_t m = Which.size();
  TSquare A(m, std::vector<Extended>(m));
  for (std::size_t a = 0; a < m; ++a) {
    for (std::size_t b = 0; b < m; ++b) A[a][b] = R[Which[a]][Which[b]];
  }
  Extended Det = 1;
  for (std::size_t p = 0; p < m; ++p) {
    Det *= A[p][p];
    for (std::size_t a = p + 1; a < m; ++a) {
      const Extended f = A[a][p] / A[p][p];
      for (std::size_t b = p; b < m; ++b) A[a][b] -= f * A[p][b];
    }
  }
  return Det;
}

}  // namespace

std::vector<TTermVIF> TermVIFs(std::span<const std::vector<double>> Columns,
                               std::span<const std::vector<int>> Terms) {
  const TSquare R = Correlations(Columns);
  std::vector<std::size_t> All;
  for (std::size_t j = 0; j < Columns.size(); ++j) All.push_back(j);
  const Extended Whole = Determinant(R, All);
  std::vector<TTermVIF> V;
  for (const std::vector<int>& Term : Terms) {
    std::vector<std::size_t> In, Out;
    for (std::size_t j = 0; j < Columns.size(); ++j) {
      bool Inside = false;
      for (int c : Term) Inside = Inside || static_cast<std::size_t>(c) == j;
      (Inside ? In : Out).push_back(j);
    }
    TTermVIF T;
    T.DF = static_cast<int>(Term.size());
    T.GVIF = Determinant(R, In) * Determinant(R, Out) / Whole;
    T.Adjusted = std::pow(T.GVIF, 1 / (2 * static_cast<Extended>(T.DF)));
    V.push_back(T);
  }
  return V;
}

}  // namespace varnel
