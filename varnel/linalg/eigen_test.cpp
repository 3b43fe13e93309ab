// SPDX-License-Identifier: Apache-2.0
#include "varnel/linalg/eigen.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "varnel/korlen.h"
#include "varnel/testing/data_sets.h"
#include "varnel/testing/message_recorder.h"

namespace varnel {
namespace {

// P = Lᵀ M R over the leading n by n block, computed here without the library.
TMatrix TransposeTimes(const TMatrix& L, const TMatrix& M, const TMatrix& R, int n) {
  TMatrix MR{}, P{};
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      for (int t = 0; t < n; ++t) MR[i][j] += M[i][t] * R[t][j];
    }
  }
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      for (int t = 0; t < n; ++t) P[i][j] += L[t][i] * MR[t][j];
    }
  }
  return P;
}

TMatrix Diagonal(std::initializer_list<long double> Values) {
  TMatrix D{};
  int i = 0;
  for (long double v : Values) D[i][i] = v, ++i;
  return D;
}

class EigenTest : public ::testing::Test {
 protected:
  TKorlen Korlen;
  testing::TMessageRecorder Messages;
};

TEST_F(EigenTest, EigenVectorsIsOrthogonalAndReducesToTridiagonalForm) {
  for (int n : {3, 5, 12, 24, 26}) {
    const TMatrix A = testing::RandomSymmetric(n, 40u + n);
    const TMatrix Q = Korlen.EigenVectors(A, n);
    const TMatrix QtQ = TransposeTimes(Q, Korlen.IdentityMatrix(n), Q, n);
    const TMatrix T = TransposeTimes(Q, A, Q, n);
    TMatrix W = A;
    TVector d{}, e{};
    ReduceToTridiagonal(W, n, d, e);
    EXPECT_EQ(e[0], 0);
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j < n; ++j) {
        EXPECT_NEAR(static_cast<double>(QtQ[i][j]), i == j ? 1.0 : 0.0, 1e-15) << n << " " << i << " " << j;
        if (std::abs(i - j) > 1) {
          EXPECT_NEAR(static_cast<double>(T[i][j]), 0.0, 1e-14) << n << " " << i << " " << j;
        }
      }
      EXPECT_NEAR(static_cast<double>(T[i][i]), static_cast<double>(d[i]), 1e-14) << n << " " << i;
      if (i > 0) {
        EXPECT_NEAR(std::fabs(static_cast<double>(T[i][i - 1])), std::fabs(static_cast<double>(e[i])), 1e-14);
      }
    }
    EXPECT_EQ(W, Q);
    // Outside the n by n block the result is 0.
    for (int i = 0; i < 26; ++i) {
      for (int j = n; j < 26; ++j) EXPECT_EQ(Q[i][j] + Q[j][i], 0) << n;
    }
  }
  EXPECT_TRUE(Messages.Messages().empty());
}

TEST_F(EigenTest, SmallOrdersNeedNoReduction) {
  EXPECT_EQ(Korlen.EigenVectors(Diagonal({7}), 1), Korlen.IdentityMatrix(1));
  EXPECT_EQ(Korlen.EigenValues(Diagonal({1}), 1)[0], 0);  // inside the band around 1
  EXPECT_EQ(Korlen.EigenValues(Diagonal({4}), 1)[0], 2);
  TMatrix R = Diagonal({1, 1});
  R[0][1] = R[1][0] = 0.6;
  EXPECT_EQ(Korlen.EigenVectors(R, 2), Korlen.IdentityMatrix(2));
  EXPECT_EQ(Korlen.EigenValues(R, 2), TVector{});
  EXPECT_EQ(Korlen.EigenVectors(R, 0), TMatrix{});
  // Only the leading block is read.
  TMatrix Big = Diagonal({9, 16, 25});
  EXPECT_EQ(Korlen.EigenValues(Big, 2)[0], 4);
  EXPECT_EQ(Korlen.EigenValues(Big, 2)[2], 0);
}

TEST_F(EigenTest, EigenValuesZeroTheOpenBandRootThePositiveAndSortLargestFirst) {
  const TVector v = Korlen.EigenValues(Diagonal({0.999L, -2, 1.001L, 1.0005L, 9, 0}), 6);
  EXPECT_EQ(v[0], 3);
  EXPECT_EQ(v[1], std::sqrt(1.001L));
  EXPECT_EQ(v[2], std::sqrt(0.999L));
  EXPECT_EQ(v[3], 0);
  EXPECT_EQ(v[4], 0);
  EXPECT_EQ(v[5], -2);  // neither zeroed nor rooted, and last
  EXPECT_EQ(v[6], 0);
  // The values come from the reduction's diagonal, not from an eigen-solver.
  const TMatrix A = testing::RandomSymmetric(4, 3);
  TMatrix W = A;
  TVector d{}, e{};
  ReduceToTridiagonal(W, 4, d, e);
  for (int i = 0; i < 4; ++i) {
    if (d[i] > 0) d[i] = std::sqrt(d[i]);
  }
  SortDescending(d, 4);
  EXPECT_EQ(Korlen.EigenValues(A, 4), d);
}

TEST_F(EigenTest, HelpersFollowTheirSignAndOrderRules) {
  EXPECT_EQ(TransferSign(3, -1), -3);
  EXPECT_EQ(TransferSign(-3, 0), 3);
  EXPECT_EQ(TransferSign(-3, 2), 3);
  TVector v{};
  v[0] = -0.0L;
  v[1] = +0.0L;
  v[2] = 1;
  v[3] = 5;  // beyond n: stays
  SortDescending(v, 3);
  EXPECT_EQ(v[0], 1);
  EXPECT_FALSE(std::signbit(v[1]));  // equal zeros were not exchanged
  EXPECT_TRUE(std::signbit(v[2]));
  EXPECT_EQ(v[3], 5);
}

TEST_F(EigenTest, ConditionIndexesRelateToTheFirstValue) {
  TVector Lambda{};
  Lambda[0] = 4, Lambda[1] = 1, Lambda[2] = 0, Lambda[3] = -2;
  TVector Want{};
  Want[0] = 1, Want[1] = 2;
  EXPECT_EQ(Korlen.ConditionIndexes(Lambda, 4), Want);
  Lambda[0] = 0;
  EXPECT_EQ(Korlen.ConditionIndexes(Lambda, 4), TVector{});
  EXPECT_EQ(Korlen.ConditionIndexes(Lambda, 0), TVector{});
}

TEST_F(EigenTest, FactorMatricesScaleByRootsAndLetFaultsThrough) {
  TMatrix V{};
  for (int i = 0; i < 2; ++i) {
    for (int j = 0; j < 2; ++j) V[i][j] = 1 + i + 2 * j;  // rows (1, 3) and (2, 4)
  }
  TVector Lambda{};
  Lambda[0] = 4, Lambda[1] = 9;
  const TMatrix F = Korlen.FactorsMatrix(Lambda, V, 2);
  EXPECT_EQ(F[0][0], 2);
  EXPECT_EQ(F[0][1], 6);
  EXPECT_EQ(F[1][0], 6);
  EXPECT_EQ(F[1][1], 12);
  TVector a{}, b{};
  a[0] = 4, a[1] = 16, b[0] = 9, b[1] = 1;
  const TMatrix L = Korlen.FactorsLoadingsMatrix(a, b, V, 2);
  EXPECT_EQ(L[0][0], 1.5L);   // 3 · 1 / 2
  EXPECT_EQ(L[0][1], 2.25L);  // 3 · 3 / 4
  EXPECT_EQ(L[1][0], 1);      // 1 · 2 / 2
  EXPECT_EQ(L[1][1], 1);      // 1 · 4 / 4
  Lambda[1] = -1;
  EXPECT_THROW(Korlen.FactorsMatrix(Lambda, V, 2), EInvalidOp);
  a[1] = 0;
  EXPECT_THROW(Korlen.FactorsLoadingsMatrix(a, b, V, 2), EZeroDivide);
  a[1] = -4;
  EXPECT_THROW(Korlen.FactorsLoadingsMatrix(a, b, V, 2), EInvalidOp);
  TMatrix Bad = testing::RandomSymmetric(3, 1);
  Bad[2][0] = Bad[0][2] = NAN;
  EXPECT_THROW(Korlen.EigenVectors(Bad, 3), EMathError);
  EXPECT_THROW(Korlen.EigenValues(Diagonal({1, INFINITY, 2}), 3), EMathError);
  EXPECT_TRUE(Messages.Messages().empty());
}

class ComponentScoresTest : public ::testing::Test {
 protected:
  TKorlen Korlen;
  TRegressData& X() { return *Korlen.PRegressData; }
};

TEST_F(ComponentScoresTest, ScoresAreTheLoadingsTimesTheData) {
  const testing::TDataSet Data = testing::RandomData(6, 300, 11);
  testing::Load(Korlen, Data);
  const TMatrix V = Korlen.EigenVectors(Korlen.CovarianceMatrix(Korlen.PRegressData, 6, 300), 6);
  std::vector<double> Out(MaxObs, -7);
  Korlen.PrincipalComponent(Korlen.PRegressData, 6, 300, Out, 4);
  for (int t = 0; t < 300; ++t) {
    long double s = 0;
    for (int i = 0; i < 6; ++i) s += V[3][i] * Data.Columns[i][t];
    EXPECT_NEAR(Out[t], static_cast<double>(s), 1e-13 * std::fabs(static_cast<double>(s)) + 1e-300) << t;
  }
  EXPECT_EQ(Out[300], -7);
  const TRegressData Before = X();
  Korlen.TransformDataPCAs(Korlen.PRegressData, 6, 300);
  for (int t = 0; t < 300; ++t) EXPECT_EQ(X()[4][t], Out[t]) << t;  // the same sums in the same order
  // The loadings are orthogonal, so every observation keeps its length.
  for (int t = 0; t < 300; t += 37) {
    long double Was = 0, Is = 0;
    for (int i = 1; i <= 6; ++i) Was += Before[i][t] * Before[i][t], Is += X()[i][t] * X()[i][t];
    EXPECT_NEAR(static_cast<double>(Is), static_cast<double>(Was), 1e-12 * static_cast<double>(Was));
  }
  EXPECT_EQ(X()[7], Before[7]);
  EXPECT_EQ(X()[1][300], Before[1][300]);
}

TEST_F(ComponentScoresTest, BadArgumentsWriteNothing) {
  testing::Load(Korlen, testing::ExampleData());
  std::vector<double> Out(MaxObs, -7);
  for (int p : {0, 3, 255}) Korlen.PrincipalComponent(Korlen.PRegressData, 2, 5, Out, p);
  Korlen.PrincipalComponent(Korlen.PRegressData, 2, 0, Out, 1);
  Korlen.PrincipalComponent(Korlen.PRegressData, 25, 5, Out, 1);
  Korlen.PrincipalComponent(nullptr, 2, 5, Out, 1);
  std::vector<double> Short(4, -7);
  Korlen.PrincipalComponent(Korlen.PRegressData, 2, 5, Short, 1);
  EXPECT_EQ(Out, std::vector<double>(MaxObs, -7));
  EXPECT_EQ(Short, std::vector<double>(4, -7));
  const TRegressData Before = X();
  Korlen.TransformDataPCAs(Korlen.PRegressData, 0, 5);
  Korlen.TransformDataPCAs(Korlen.PRegressData, 2, 0);
  Korlen.TransformDataPCAs(Korlen.PRegressData, 25, 5);
  Korlen.TransformDataPCAs(Korlen.PRegressData, 2, 20001);
  Korlen.TransformDataPCAs(nullptr, 2, 5);
  EXPECT_EQ(X(), Before);
}

TEST_F(ComponentScoresTest, AFaultLeavesTheDataAsTheyWere) {
  testing::Load(Korlen, testing::RandomData(3, 50, 2));
  X()[2][49] = NAN;
  const TRegressData Before = X();
  testing::TMessageRecorder Messages;
  EXPECT_THROW(Korlen.TransformDataPCAs(Korlen.PRegressData, 3, 50), EMathError);
  for (int i = 0; i <= MaxVars; ++i) {
    for (int t = 0; t < 60; ++t) {
      if (i != 2 || t != 49) {
        EXPECT_EQ(X()[i][t], Before[i][t]) << i << " " << t;
      }
    }
  }
  std::vector<double> Out(MaxObs, -7);
  EXPECT_THROW(Korlen.PrincipalComponent(Korlen.PRegressData, 3, 50, Out, 1), EMathError);
}

TEST_F(ComponentScoresTest, VariancesBeyondDoubleAreFaultsAndWriteNothingBack) {
  testing::Load(Korlen, testing::RandomData(3, 30, 4));
  // Values whose scores would overflow double have variances beyond it too
  // (finite in extended precision): each variance is reported under its own
  // guard, and nothing is written back.
  X()[1][29] = X()[2][29] = X()[3][29] = 1.7e308;
  const TRegressData Before = X();
  testing::TMessageRecorder Messages;
  try {
    Korlen.TransformDataPCAs(Korlen.PRegressData, 3, 30);
  } catch (const EMathError&) {
  }
  EXPECT_GE(Messages.Count("Error occurred in  GetVariance"), 3);
  EXPECT_TRUE(X() == Before);
}

}  // namespace
}  // namespace varnel
