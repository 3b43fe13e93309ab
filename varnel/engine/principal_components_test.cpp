// SPDX-License-Identifier: Apache-2.0
#include "varnel/engine/principal_components.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "varnel/engine/reduce.h"
#include "varnel/linalg/principal_components.h"

namespace varnel::engine {
namespace {

// Columns on scales 1e-2 to 1e4, correlated through a common part.
std::vector<std::vector<double>> GradedColumns(std::size_t K, std::size_t N) {
  std::mt19937_64 Source(7);
  std::normal_distribution<double> Normal;
  std::vector<std::vector<double>> Columns(K, std::vector<double>(N));
  for (std::size_t i = 0; i < N; ++i) {
    const double Common = Normal(Source);
    for (std::size_t j = 0; j < K; ++j)
      Columns[j][i] = std::pow(10.0, -2.0 + 6.0 * static_cast<double>(j) / static_cast<double>(K)) * (Common + Normal(Source)) + 1e3;
  }
  return Columns;
}

// The engine and the component run the same steps: up to the component's
// 24 variables their components are the same bits, for the correlation
// and for the graded covariance matrix.
TEST(EnginePrincipalComponentsTest, TheComponentsBitsWithinItsBox) {
  const std::size_t K = 7;
  const TMoments State = Accumulate(MakeBatch(GradedColumns(K, 500)));
  for (const bool Scaled : {true, false}) {
    TMatrix C{};
    for (std::size_t a = 0; a < K; ++a) {
      for (std::size_t b = 0; b < K; ++b) C[a][b] = State.CoMoment(a, b) / (static_cast<long double>(State.Count()) - 1);
    }
    TPrincipalComponentsRec Rec{};
    ComponentsOfCovariance(C, static_cast<int>(K), Scaled, Rec);
    const TComponents P = PrincipalComponents(State, K, Scaled);
    for (std::size_t j = 0; j < K; ++j) {
      EXPECT_EQ(P.SDev[j], Rec.SDev[j]) << j;
      EXPECT_EQ(P.ConditionIndex[j], Rec.ConditionIndex[j]) << j;
      EXPECT_EQ(P.Scale[j], Rec.Scale[j]) << j;
      for (std::size_t v = 0; v < K; ++v) EXPECT_EQ(P.Rotation[v][j], Rec.Rotation[v][j]) << v << "," << j;
    }
  }
}

// Beyond the box: 40 variables. The rotation is orthonormal and
// diagonalises the correlation matrix to its eigenvalues (to 1e-15 of the
// largest), which sum to the trace.
TEST(EnginePrincipalComponentsTest, FortyVariablesDiagonalised) {
  const std::size_t K = 40;
  const TMoments State = Accumulate(MakeBatch(GradedColumns(K, 300)));
  const TComponents P = PrincipalComponents(State, K, true);
  long double Trace = 0;
  for (std::size_t j = 0; j < K; ++j) Trace += P.Variance[j];
  EXPECT_NEAR(static_cast<double>(Trace), 40.0, 1e-13);
  for (std::size_t a = 0; a < K; ++a) {
    for (std::size_t b = 0; b < K; ++b) {
      long double Dot = 0, Form = 0;
      for (std::size_t v = 0; v < K; ++v) {
        Dot += P.Rotation[v][a] * P.Rotation[v][b];
        for (std::size_t w = 0; w < K; ++w) {
          const long double R = State.CoMoment(v, w) / std::sqrt(State.CoMoment(v, v) * State.CoMoment(w, w));
          Form += P.Rotation[v][a] * R * P.Rotation[w][b];
        }
      }
      EXPECT_NEAR(static_cast<double>(Dot), a == b ? 1.0 : 0.0, 1e-15) << a << "," << b;
      EXPECT_NEAR(static_cast<double>(Form), a == b ? static_cast<double>(P.Variance[a]) : 0.0,
                  1e-15 * static_cast<double>(P.Variance[0]))
          << a << "," << b;
    }
  }
  for (std::size_t j = 1; j < K; ++j) EXPECT_GE(P.Variance[j - 1], P.Variance[j]);
}

}  // namespace
}  // namespace varnel::engine
