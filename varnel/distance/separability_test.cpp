// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "varnel/korlen.h"
#include "varnel/testing/data_sets.h"
#include "varnel/testing/message_recorder.h"

namespace varnel {
namespace {

using testing::TMessageRecorder;

using testing::Vec;

TMatrix Sym2(long double a, long double b, long double c) {
  TMatrix M{};
  M[0][0] = a, M[0][1] = M[1][0] = b, M[1][1] = c;
  return M;
}

// The divergence of two bivariate normal groups from the closed form, with
// the 2 by 2 inverses written out.
long double ReferenceDivergence(const TVector& m1, const TVector& m2, const TMatrix& C1, const TMatrix& C2) {
  auto Inverse = [](const TMatrix& C) {
    const long double Det = C[0][0] * C[1][1] - C[0][1] * C[1][0];
    return Sym2(C[1][1] / Det, -C[0][1] / Det, C[0][0] / Det);
  };
  const TMatrix I1 = Inverse(C1), I2 = Inverse(C2);
  long double Trace = 0, Quad = 0;
  const long double d[2] = {m1[0] - m2[0], m1[1] - m2[1]};
  for (int i = 0; i < 2; ++i) {
    for (int t = 0; t < 2; ++t) {
      Trace += (I2[i][t] - I1[i][t]) * (C1[t][i] - C2[t][i]);
      Quad += d[i] * (I1[i][t] + I2[i][t]) * d[t];
    }
  }
  return 0.5L * Trace + 0.5L * Quad;
}

class SeparabilityTest : public ::testing::Test {
 protected:
  TKorlen Korlen;
  TMessageRecorder Messages;
};

TEST_F(SeparabilityTest, AvgNormDistanceAveragesScaledMeanGaps) {
  const TMatrix I = Korlen.IdentityMatrix(2);
  EXPECT_EQ(Korlen.GetAvgNormDistance(Vec({1, 4}), Vec({0, 0}), I, I, 2), 1.25L);
  EXPECT_EQ(Korlen.GetAvgNormDistance(Vec({1, 4}), Vec({0, 0}), I, I, 0), 0);
  EXPECT_EQ(Korlen.GetAvgNormDistance(Vec({1, 4}), Vec({0, 0}), I, I, 25), 0);
  EXPECT_TRUE(Messages.Messages().empty());
  TMatrix Z = I;
  Z[1][1] = 0;
  EXPECT_EQ(Korlen.GetAvgNormDistance(Vec({1, 0}), Vec({0, 0}), Z, Z, 2), 0);
  EXPECT_EQ(Messages.Texts(), std::vector<std::string>{"Error occurred in  AvgNormDistance"});
}

TEST_F(SeparabilityTest, ScaleDivergenceSaturatesAtTheScale) {
  EXPECT_EQ(Korlen.ScaleDivergence(0, 2000), 0);
  EXPECT_NEAR(static_cast<double>(Korlen.ScaleDivergence(8, 2)), 2 * (1 - std::exp(-1.0)), 1e-15);
  EXPECT_EQ(Korlen.ScaleDivergence(1e6L, 2000), 2000);
  EXPECT_LT(Korlen.ScaleDivergence(-1, 2000), 0);
  EXPECT_TRUE(Messages.Messages().empty());
  EXPECT_EQ(Korlen.ScaleDivergence(-1e6L, 2000), 0);  // the exponential overflows
  EXPECT_EQ(Korlen.ScaleDivergence(NAN, 2000), 0);
  EXPECT_EQ(Messages.Count("Error in Scale Divergence"), 2);
}

TEST_F(SeparabilityTest, DivergenceIsTheNormalDivergenceAndSymmetric) {
  TMatrix C1{}, C2{};
  C1[0][0] = 1, C2[0][0] = 4;
  EXPECT_EQ(Korlen.GetDivergence(Vec({3}), Vec({3}), C1, C2, 1, 0), 1.125L);
  const TVector m1 = Vec({1, 2}), m2 = Vec({-0.5L, 3});
  const TMatrix A = Sym2(2, 0.5L, 1), B = Sym2(1, -0.3L, 3);
  const long double D = Korlen.GetDivergence(m1, m2, A, B, 2, 123);
  EXPECT_NEAR(static_cast<double>(D), static_cast<double>(ReferenceDivergence(m1, m2, A, B)), 1e-14);
  EXPECT_NEAR(static_cast<double>(Korlen.GetDivergence(m2, m1, B, A, 2, 0)), static_cast<double>(D), 1e-14);
  EXPECT_EQ(Korlen.GetDivergence(m1, m1, A, A, 2, 0), 0);
  EXPECT_EQ(Korlen.GetDivergence(m1, m2, A, B, 0, 0), 0);
  EXPECT_EQ(Korlen.GetDivergence(m1, m2, A, B, 25, 0), 0);
  EXPECT_TRUE(Messages.Messages().empty());
  TMatrix Bad = A;
  Bad[0][1] = INFINITY;
  EXPECT_EQ(Korlen.GetDivergence(m1, m2, Bad, B, 2, 0), 0);
  EXPECT_EQ(Messages.Count("Error occurred in  Divergence"), 1);
}

TEST_F(SeparabilityTest, FlagOutliersMarksStrictlyLargerMagnitudes) {
  const std::vector<double> z = {0.5, -2.5, 2.0, 3.1, -2.0, 9};
  TOutlierFlags Flags = Korlen.FlagOutliers(z, 5, 2.0f);
  const std::vector<int> Want = {0, 1, 0, 1, 0};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(Flags[i], Want[i]) << i;
  EXPECT_EQ(Flags[5], 0);  // beyond N
  for (float Threshold : {0.0f, 5.0f, -1.0f, 7.0f}) EXPECT_EQ(Korlen.FlagOutliers(z, 5, Threshold), TOutlierFlags{});
  for (int N : {0, -3, 7, 20000}) EXPECT_EQ(Korlen.FlagOutliers(z, N, 1.0f), TOutlierFlags{}) << N;
  EXPECT_TRUE(Messages.Messages().empty());
  const std::vector<double> WithNaN = {9, NAN};
  EXPECT_EQ(Korlen.FlagOutliers(WithNaN, 2, 1.0f), TOutlierFlags{});
  EXPECT_EQ(Messages.Texts(), std::vector<std::string>{"Error occurred in  FlagOutliers"});
}

}  // namespace
}  // namespace varnel
