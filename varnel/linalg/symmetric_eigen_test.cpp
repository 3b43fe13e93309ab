// SPDX-License-Identifier: Apache-2.0
#include "varnel/linalg/symmetric_eigen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "varnel/korlen.h"
#include "varnel/testing/data_sets.h"
#include "varnel/testing/jacobi_reference.h"
#include "varnel/testing/message_recorder.h"

namespace varnel {
namespace {

using Matrix = std::vector<std::vector<long double>>;

// Q diag(Values) Qᵀ for a random orthogonal Q (Gram-Schmidt of random
// columns): a symmetric matrix whose eigenvalues are known exactly enough.
TMatrix WithEigenvalues(const std::vector<long double>& Values, unsigned Seed) {
  const int n = static_cast<int>(Values.size());
  std::mt19937 Engine(Seed);
  std::normal_distribution<double> Normal;
  Matrix Q(n, std::vector<long double>(n));
  for (int j = 0; j < n; ++j) {
    for (int i = 0; i < n; ++i) Q[i][j] = Normal(Engine);
    for (int m = 0; m < j; ++m) {
      long double Dot = 0;
      for (int i = 0; i < n; ++i) Dot += Q[i][j] * Q[i][m];
      for (int i = 0; i < n; ++i) Q[i][j] -= Dot * Q[i][m];
    }
    long double Norm = 0;
    for (int i = 0; i < n; ++i) Norm += Q[i][j] * Q[i][j];
    for (int i = 0; i < n; ++i) Q[i][j] /= std::sqrt(Norm);
  }
  TMatrix A{};
  for (int i = 0; i < n; ++i) {
    for (int m = 0; m < n; ++m) {
      for (int j = 0; j < n; ++j) A[i][m] += Q[i][j] * Values[j] * Q[m][j];
    }
  }
  for (int i = 0; i < n; ++i) {
    for (int m = 0; m < i; ++m) A[m][i] = A[i][m];
  }
  return A;
}

long double Scale(const TMatrix& A, int n) {
  long double s = 0;
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) s = std::max(s, std::fabs(A[i][j]));
  }
  return s;
}

// Values against the independent solver's, to Digits relative to the
// largest entry (15: what a double comparison can show); every
// vector a unit eigenvector (A v = λ v), orthogonal to the others, turned
// so that its largest entry is positive; values in order.
void ExpectDecomposition(const TMatrix& A, int n, long double Digits) {
  TKorlen K;
  const TEigenRec E = K.EigenDecomposition(A, static_cast<Byte>(n));
  ASSERT_EQ(E.N, n);
  Matrix M(n, std::vector<long double>(n));
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) M[i][j] = A[i][j];
  }
  auto Reference = testing::JacobiEigen(M).Values;
  std::sort(Reference.begin(), Reference.end(), std::greater<>());
  const long double Tol = std::pow(10.0L, -Digits) * std::max(Scale(A, n), 1e-300L);
  for (int j = 0; j < n; ++j) {
    EXPECT_NEAR(E.Values[j], Reference[j], Tol) << "value " << j;
    if (j > 0) {
      EXPECT_GE(E.Values[j - 1], E.Values[j]);
    }
    long double Peak = 0;
    for (int i = 0; i < n; ++i) {
      if (std::fabs(E.Vectors[i][j]) > std::fabs(Peak)) Peak = E.Vectors[i][j];
      long double Av = 0;
      for (int m = 0; m < n; ++m) Av += A[i][m] * E.Vectors[m][j];
      EXPECT_NEAR(Av, E.Values[j] * E.Vectors[i][j], Tol) << "A v, vector " << j;
    }
    EXPECT_GT(Peak, 0) << "vector " << j;
    for (int m = 0; m <= j; ++m) {
      long double Dot = 0;
      for (int i = 0; i < n; ++i) Dot += E.Vectors[i][j] * E.Vectors[i][m];
      EXPECT_NEAR(Dot, m == j ? 1 : 0, 1e-16L) << j << " . " << m;
    }
  }
}

TEST(EigenDecompositionTest, RandomMatricesOfEveryOrderAgreeWithJacobi) {
  for (int n : {1, 2, 3, 5, 10, 24, 25}) ExpectDecomposition(testing::RandomSymmetric(n, 40 + n), n, 15);
}

// Repeated, near-zero and zero eigenvalues: a basis of each repeated
// eigenspace is still orthonormal and reproduces A.
TEST(EigenDecompositionTest, RepeatedNearZeroAndSingularSpectra) {
  ExpectDecomposition(WithEigenvalues({3, 3, 3, 1, 1, 0.5}, 1), 6, 15);
  ExpectDecomposition(WithEigenvalues({2, 1e-12L, 1e-14L, 0, 0}, 2), 5, 15);
  ExpectDecomposition(WithEigenvalues({5, -1, -1, -4}, 3), 4, 15);
  TMatrix Identity{};
  for (int i = 0; i < 4; ++i) Identity[i][i] = 1;
  ExpectDecomposition(Identity, 4, 15);
  // A correlation matrix of x1, x2 and x1 + x2: singular.
  const long double r = 1 / std::sqrt(2.0L);
  TMatrix R{};
  R[0][0] = R[1][1] = R[2][2] = 1;
  R[0][2] = R[2][0] = R[1][2] = R[2][1] = r;
  ExpectDecomposition(R, 3, 15);
  TKorlen K;
  EXPECT_NEAR(K.EigenDecomposition(R, 3).Values[2], 0, 1e-17L);
}

TEST(EigenDecompositionTest, ANonFiniteEntryIsReportedAndNothingReturned) {
  TMatrix A = testing::RandomSymmetric(4, 9);
  A[3][1] = std::numeric_limits<long double>::infinity();
  TKorlen K;
  testing::TMessageRecorder Messages;
  EXPECT_EQ(K.EigenDecomposition(A, 4).N, 0);
  EXPECT_EQ(Messages.Count("Error occurred in  EigenDecomposition"), 1);
}

// R 4.2: prcomp(x, scale. = TRUE / FALSE) of the six Longley predictors in
// the units of the test data (R's own longley has GNP and Population in
// other units, which only the unscaled components see), and
// sqrt(eigen(cor(x))$values[1] / eigen(cor(x))$values).
struct TPrcompFigures {
  bool Scaled;
  long double SDev[6], Proportion[6], FirstRotation[6], LastRotation[6], FirstScores[6], LastScores[6];
};

const TPrcompFigures kLongleyPrcomp[] = {
    {true,
     {2.1455482040188221, 1.084131218652588, 0.45102701959132635, 0.12218125337905501, 0.05051797465333336,
      0.019408970417765712},
     {0.76722951596139854, 0.19589008320952417, 0.033904228733572433, 0.0024880431128794724,
      0.00042534429384580508, 6.2784688779617394e-05},
     {0.46183489816677165, 0.46150434667900209, 0.32131669830654197, 0.20150974187320764, 0.46227935304156026,
      0.4649402842330696},
     {0.13518707063887192, -0.81848082069609474, -0.10745268063090328, -0.017970960281659759,
      0.31157086776309689, 0.45040888363559956},
     {-3.4788511646159126, -0.75146626085202661, 0.30794581650774477, 0.16423794111011811,
      -0.0087972116891428254, 0.0025792139252659441},
     {3.3447634386226173, -0.17666863904883295, 0.42385505048420813, 0.25967600964462245,
      -0.058091354907529036, -0.0089451020401890569}},
    {false,
     {99635.849483017941, 1223.2687929847127, 428.23303707564321, 341.1769543318901, 0.94406209532756336,
      0.17270602320140443},
     {0.99981910012499731, 0.00015070718792142233, 1.846930321141747e-05, 1.1723291104085916e-05,
      8.9761746661480072e-11, 3.0040360587220209e-12},
     {0.00010739724253492074, 0.99758185685584466, 0.0056714365039755108, 0.003115517479743478,
      0.069199374525941951, 4.7559550675358296e-05},
     {0.035910008510107151, -5.9154858594326986e-05, -0.00088597442738865017, -0.00025905154445065914,
      0.00019448369843366476, 0.99935458067054916},
     {-153725.65121617407, -831.13365886561792, -225.9886707410036, -476.26127758778222, 0.56680276704084553,
      0.0050703268458711648},
     {167672.41933576576, -811.40191401488187, 23.347425877659017, -753.36385742846255, 0.53933055029536847,
      -0.16516349944184139}},
};

// The sign R gives a component is its own; ours follows the rule, so each
// component is compared up to one sign, taken from its rotation.
TEST(PrincipalComponentsTest, LongleyAsPrcomp) {
  const auto Data = testing::LongleyData();
  TKorlen K;
  testing::Load(K, Data);
  const auto Scores = std::make_unique<TRegressData>();
  for (const TPrcompFigures& R : kLongleyPrcomp) {
    const TPrincipalComponentsRec P = K.MVPrincipalComponents(K.PRegressData, 6, 16, R.Scaled, Scores.get());
    ASSERT_EQ(P.N, 16);
    EXPECT_EQ(P.K, 6);
    EXPECT_EQ(P.Scaled, R.Scaled);
    long double Cumulative = 0, Sign[6];
    for (int j = 0; j < 6; ++j) {
      Sign[j] = (*Scores)[j + 1][0] * R.FirstScores[j] < 0 ? -1 : 1;
      EXPECT_NEAR(P.SDev[j], R.SDev[j], 1e-12L * R.SDev[0]) << j;
      EXPECT_NEAR(P.Variance[j], R.SDev[j] * R.SDev[j], 1e-12L * P.Variance[0]) << j;
      EXPECT_NEAR(P.Proportion[j], R.Proportion[j], 1e-12L) << j;
      Cumulative += R.Proportion[j];
      EXPECT_NEAR(P.Cumulative[j], Cumulative, 1e-12L) << j;
      EXPECT_NEAR(Sign[j] * (*Scores)[j + 1][0], R.FirstScores[j], 1e-12L * std::fabs(R.FirstScores[0])) << j;
      EXPECT_NEAR(Sign[j] * (*Scores)[j + 1][15], R.LastScores[j], 1e-12L * std::fabs(R.LastScores[0])) << j;
    }
    for (int v = 0; v < 6; ++v) {
      EXPECT_NEAR(Sign[0] * P.Rotation[v][0], R.FirstRotation[v], 1e-12L) << v;
      EXPECT_NEAR(Sign[5] * P.Rotation[v][5], R.LastRotation[v], 1e-12L) << v;
    }
  }
  const auto P = K.MVPrincipalComponents(K.PRegressData, 6, 16, true);
  const long double Index[] = {1, 1.9790484464467462, 4.7570280954850439, 17.560371535577975, 42.470986193372468,
                               110.54415344231022};
  for (int j = 0; j < 6; ++j) EXPECT_NEAR(P.ConditionIndex[j], Index[j], 1e-11L * Index[j]) << j;
}

// A constant column cannot be scaled to unit variance (prcomp refuses it
// too); unscaled it is a component of variance 0 with no condition index.
TEST(PrincipalComponentsTest, ConstantColumnAndCounts) {
  auto Data = testing::RandomData(3, 30, 8);
  Data.Columns[1].assign(30, 7.5);
  TKorlen K;
  testing::Load(K, Data);
  testing::TMessageRecorder Messages;
  EXPECT_EQ(K.MVPrincipalComponents(K.PRegressData, 3, 30, true).N, 0);
  EXPECT_EQ(Messages.Count("Error occurred in  MVPrincipalComponents"), 1);
  const auto P = K.MVPrincipalComponents(K.PRegressData, 3, 30, false);
  ASSERT_EQ(P.N, 30);
  EXPECT_NEAR(P.Variance[2], 0, 1e-15L * P.Variance[0]);
  EXPECT_TRUE(std::isnan(P.ConditionIndex[2]) || P.ConditionIndex[2] > 1e6L);
  EXPECT_EQ(K.MVPrincipalComponents(K.PRegressData, 3, 1, false).N, 0);
  EXPECT_EQ(K.MVPrincipalComponents(K.PRegressData, 0, 30, false).N, 0);
  EXPECT_EQ(K.MVPrincipalComponents(nullptr, 3, 30, false).N, 0);
}

}  // namespace
}  // namespace varnel
