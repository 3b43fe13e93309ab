// SPDX-License-Identifier: Apache-2.0
// Principal components of a covariance matrix whose variables' variances
// span 1e-4 to 1e8, against a reference that shares nothing with the
// library: the covariance in binary128, its eigenpairs by cyclic Jacobi
// rotations (which keep small eigenvalues of such a graded matrix to full
// relative accuracy), and the scores summed in binary128.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "varnel/korlen.h"
#include "varnel/testing/jacobi_reference.h"

namespace varnel {
namespace {

using Quad = __float128;

constexpr int kN = 300, kK = 4;

// Four correlated columns of sds 1e4, 10, 0.1 and 0.01 about offsets up to
// 1.7e9, from a fixed generator.
void FillGraded(TRegressData& X) {
  std::uint64_t State = 12345;
  const auto Uniform = [&State] {
    State = State * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(State >> 11) / 9007199254740992.0 - 0.5;
  };
  const double Sd[kK] = {1e4, 10, 0.1, 0.01}, Offset[kK] = {1.7e9, 5e4, 1e3, 20};
  for (int t = 0; t < kN; ++t) {
    double z[kK];
    for (double& v : z) v = Uniform() + Uniform() + Uniform();
    z[1] += 0.5 * z[0];
    z[3] += 0.3 * z[2] + 0.2 * z[1];
    for (int j = 0; j < kK; ++j) X[j + 1][t] = Offset[j] + Sd[j] * z[j];
  }
}

TEST(PrincipalComponentsTest, GradedCovarianceKeepsTwelveDigits) {
  TKorlen K;
  FillGraded(*K.PRegressData);
  const TRegressData& X = *K.PRegressData;
  const auto Scores = std::make_unique<TRegressData>();
  const TPrincipalComponentsRec P = K.MVPrincipalComponents(K.PRegressData, kK, kN, false, Scores.get());
  ASSERT_EQ(P.N, kN);

  Quad Mean[kK] = {};
  for (int j = 0; j < kK; ++j) {
    for (int t = 0; t < kN; ++t) Mean[j] += X[j + 1][t];
    Mean[j] /= kN;
  }
  std::vector<std::vector<long double>> C(kK, std::vector<long double>(kK));
  for (int i = 0; i < kK; ++i) {
    for (int m = 0; m < kK; ++m) {
      Quad s = 0;
      for (int t = 0; t < kN; ++t) s += (X[i + 1][t] - Mean[i]) * (X[m + 1][t] - Mean[m]);
      C[i][m] = static_cast<long double>(s / (kN - 1));
    }
  }
  const testing::TJacobiEigen E = testing::JacobiEigen(C);
  for (int j = 0; j < kK; ++j) {
    // The reference pair of the j-th largest eigenvalue.
    int r = 0;
    for (int c = 0; c < kK; ++c) {
      int Larger = 0;
      for (int o = 0; o < kK; ++o) Larger += E.Values[o] > E.Values[c];
      if (Larger == j) r = c;
    }
    EXPECT_NEAR(P.Variance[j] / E.Values[r], 1, 1e-12L) << j;
    long double Sign = 0, Largest = 0;
    for (int v = 0; v < kK; ++v) {
      if (std::fabs(E.Vectors[v][r]) > Largest) {
        Largest = std::fabs(E.Vectors[v][r]);
        Sign = E.Vectors[v][r] * P.Rotation[v][j] < 0 ? -1 : 1;
      }
    }
    long double Worst = 0, Size = 0;
    for (int t = 0; t < kN; ++t) {
      Quad s = 0;
      for (int v = 0; v < kK; ++v) s += (X[v + 1][t] - Mean[v]) * static_cast<Quad>(E.Vectors[v][r]);
      const auto Reference = static_cast<long double>(s);
      Worst = std::fmax(Worst, std::fabs(Sign * (*Scores)[j + 1][t] - Reference));
      Size = std::fmax(Size, std::fabs(Reference));
    }
    EXPECT_LT(Worst, 1e-12L * Size) << "scores of component " << j + 1;
  }
}

}  // namespace
}  // namespace varnel
