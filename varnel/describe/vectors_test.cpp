// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "varnel/korlen.h"
#include "varnel/testing/describe_reference.h"
#include "varnel/testing/message_recorder.h"

namespace varnel {
namespace {

using testing::SameDigits;
using testing::TMessageRecorder;

class PredictorSummaryTest : public ::testing::Test {
 protected:
  TKorlen Korlen;
  TMessageRecorder Messages;
  std::vector<std::vector<double>> Rows;
  // Rows 1..k of the data matrix from Rows.
  void Store() {
    for (std::size_t j = 0; j < Rows.size(); ++j) {
      for (std::size_t i = 0; i < Rows[j].size(); ++i) (*Korlen.PRegressData)[j + 1][i] = Rows[j][i];
    }
  }
  void StoreSpread(int k, int n) {
    Rows.clear();
    for (int j = 1; j <= k; ++j) Rows.push_back(testing::SpreadValues(n, j % 3 ? 1e4 * j : -j, j, 7 * j + n));
    // One variable following another, so that the correlations are not all near 0.
    for (int i = 0; i < n && k > 1; ++i) Rows[1][i] += 3 * Rows[0][i];
    Store();
  }
};

bool AllZero(const TVector& V) {
  return std::all_of(V.begin(), V.end(), [](Extended x) { return x == 0; });
}
bool AllZero(const TMatrix& M) {
  return std::all_of(M.begin(), M.end(), [](const TVector& V) { return AllZero(V); });
}

TEST_F(PredictorSummaryTest, CountsOutOfRangeGiveZerosSilently) {
  StoreSpread(3, 30);
  for (const auto& [k, n] : {std::pair{3, 2}, std::pair{3, 3}, std::pair{3, MaxObs}, std::pair{0, 30},
                             std::pair{25, 30}}) {
    SCOPED_TRACE(n * 100 + k);
    const TRegressData* X = Korlen.PRegressData;
    EXPECT_TRUE(AllZero(Korlen.SumVector(X, k, n)));
    EXPECT_TRUE(AllZero(Korlen.MeanVector(X, k, n)));
    EXPECT_TRUE(AllZero(Korlen.VarianceVector(X, k, n)));
    EXPECT_TRUE(AllZero(Korlen.VarianceProportionsVector(X, k, n)));
    EXPECT_TRUE(AllZero(Korlen.MinVector(X, k, n)));
    EXPECT_TRUE(AllZero(Korlen.MaxVector(X, k, n)));
    EXPECT_TRUE(AllZero(Korlen.CorrelationMatrix(X, k, n)));
    EXPECT_TRUE(AllZero(Korlen.CovarianceMatrix(X, k, n)));
  }
  EXPECT_TRUE(AllZero(Korlen.SumVector(nullptr, 3, 30)));
  EXPECT_TRUE(AllZero(Korlen.CovarianceMatrix(nullptr, 3, 30)));
  TVector Means{};
  Means[0] = 1;
  EXPECT_TRUE(AllZero(Korlen.MeansDifferencesMatrix(Means, 0)));
  EXPECT_TRUE(AllZero(Korlen.MeansDifferencesMatrix(Means, 25)));
  EXPECT_TRUE(Messages.Messages().empty());
}

TEST_F(PredictorSummaryTest, VectorsAgreeWithReferencePerVariable) {
  for (const auto& [k, n] : {std::pair{2, 3}, std::pair{5, 400}, std::pair{24, 19999}}) {
    StoreSpread(k, n);
    const TRegressData* X = Korlen.PRegressData;
    const TVector Sum = Korlen.SumVector(X, k, n), Mean = Korlen.MeanVector(X, k, n);
    const TVector Var = Korlen.VarianceVector(X, k, n), Share = Korlen.VarianceProportionsVector(X, k, n);
    const TVector Min = Korlen.MinVector(X, k, n), Max = Korlen.MaxVector(X, k, n);
    long double Total = 0;
    for (const auto& Row : Rows) Total += testing::RefVariance(Row);
    for (int e = 0; e < k; ++e) {
      const std::vector<double>& x = Rows[e];
      SCOPED_TRACE(e);
      EXPECT_TRUE(SameDigits(Sum[e], testing::RefMean(x) * n, 15));
      EXPECT_TRUE(SameDigits(Mean[e], testing::RefMean(x), 15));
      EXPECT_TRUE(SameDigits(Var[e], testing::RefVariance(x), 10));
      EXPECT_TRUE(SameDigits(Share[e], testing::RefVariance(x) / Total, 10));
      EXPECT_EQ(Min[e], *std::min_element(x.begin(), x.end()));
      EXPECT_EQ(Max[e], *std::max_element(x.begin(), x.end()));
    }
    for (int e = k; e < 26; ++e) EXPECT_EQ(Sum[e] + Mean[e] + Var[e] + Share[e] + Min[e] + Max[e], 0);
  }
  EXPECT_TRUE(Messages.Messages().empty());
}

TEST_F(PredictorSummaryTest, ConstantAndHugeVariables) {
  Rows = {std::vector<double>(5, 4.0), std::vector<double>(5, -2.5), {2E22, 3E22, 1E23, 5E22, 4E22}};
  Store();
  const TVector Share = Korlen.VarianceProportionsVector(Korlen.PRegressData, 2, 5);
  EXPECT_TRUE(AllZero(Share));  // every variance 0: returned as they are
  EXPECT_EQ(Korlen.MinVector(Korlen.PRegressData, 3, 5)[2], 1E22L);
  EXPECT_EQ(Korlen.MaxVector(Korlen.PRegressData, 3, 5)[2], 1E23);
  EXPECT_TRUE(Messages.Messages().empty());
}

TEST_F(PredictorSummaryTest, MatricesAgreeWithReferencePerPair) {
  for (const auto& [k, n] : {std::pair{1, 4}, std::pair{4, 50}, std::pair{24, 19999}}) {
    StoreSpread(k, n);
    const TMatrix R = Korlen.CorrelationMatrix(Korlen.PRegressData, k, n);
    const TMatrix C = Korlen.CovarianceMatrix(Korlen.PRegressData, k, n);
    for (int i = 0; i < 26; ++i) {
      for (int j = 0; j < 26; ++j) {
        SCOPED_TRACE(i * 100 + j);
        if (i >= k || j >= k) {
          EXPECT_EQ(R[i][j], 0);
          EXPECT_EQ(C[i][j], 0);
        } else if (i == j) {
          EXPECT_EQ(R[i][j], 1);
          EXPECT_TRUE(SameDigits(C[i][j], testing::RefVariance(Rows[i]), 10));
        } else {
          EXPECT_EQ(R[i][j], R[j][i]);
          EXPECT_EQ(C[i][j], C[j][i]);
          // r near 0 is compared absolutely, to 12 decimals.
          EXPECT_NEAR(R[i][j], testing::RefCorrelation(Rows[i], Rows[j]), 1e-12);
          EXPECT_TRUE(SameDigits(C[i][j], testing::RefCovariance(Rows[i], Rows[j]), 9));
        }
      }
    }
    if (k > 1) {
      EXPECT_TRUE(SameDigits(R[1][0], testing::RefCorrelation(Rows[1], Rows[0]), 12));
    }
  }
  EXPECT_TRUE(Messages.Messages().empty());
}

TEST_F(PredictorSummaryTest, ConstantPredictorHasNoCorrelation) {
  Rows = {{1, 2, 3, 4, 5}, {7, 7, 7, 7, 7}, {2, 1, 4, 3, 5}};
  Store();
  const TMatrix R = Korlen.CorrelationMatrix(Korlen.PRegressData, 3, 5);
  EXPECT_EQ(Messages.Texts(), (std::vector<std::string>(2, "Divide by zero calculating r, B1 or B0")));
  EXPECT_EQ(R[1][0], 0);
  EXPECT_EQ(R[2][1], 0);
  EXPECT_EQ(R[1][2], 0);
  EXPECT_EQ(R[1][1], 1);
  EXPECT_TRUE(SameDigits(R[2][0], 0.8L, 17));
  const TMatrix C = Korlen.CovarianceMatrix(Korlen.PRegressData, 3, 5);
  EXPECT_EQ(C[1][1], 0);
  EXPECT_TRUE(SameDigits(C[2][0], 2, 17));
  EXPECT_TRUE(SameDigits(C[2][2], 2.5L, 17));
}

TEST_F(PredictorSummaryTest, NonFiniteDataIsReported) {
  Rows = {{1, 2, 3, 4}, {1, std::numeric_limits<double>::quiet_NaN(), 3, 5}};
  Store();
  const TRegressData* X = Korlen.PRegressData;
  const TVector Var = Korlen.VarianceVector(X, 2, 4);
  EXPECT_TRUE(SameDigits(Var[0], 5.0L / 3, 18));
  EXPECT_EQ(Var[1], 0);
  EXPECT_EQ(Messages.Texts(), (std::vector<std::string>{"Error occurred in  GetVariance"}));
  Messages.Clear();
  // Each pair is a simple regression, which reports the bad pair itself and
  // gives r = 0.
  const TMatrix R = Korlen.CorrelationMatrix(X, 2, 4);
  EXPECT_EQ(R[1][0], 0);
  EXPECT_EQ(R[0][1], 0);
  EXPECT_EQ(R[1][1], 1);
  EXPECT_EQ(Messages.Texts(), (std::vector<std::string>{"Divide by zero calculating r, B1 or B0"}));
  EXPECT_THROW(Korlen.MinVector(X, 2, 4), EInvalidOp);
  EXPECT_THROW(Korlen.SumVector(X, 2, 4), EInvalidOp);

  TVector Means{};
  Means[0] = std::numeric_limits<long double>::infinity();
  Messages.Clear();
  EXPECT_TRUE(AllZero(Korlen.MeansDifferencesMatrix(Means, 2)));
  EXPECT_EQ(Messages.Texts(), (std::vector<std::string>{"Error occurred in  MeansDifferencesMatrix"}));
}

TEST_F(PredictorSummaryTest, MeansDifferencesHoldLaterMinusEarlier) {
  TVector Means{};
  Means[0] = 1;
  Means[1] = 4;
  Means[2] = -2;
  const TMatrix D = Korlen.MeansDifferencesMatrix(Means, 2);
  EXPECT_EQ(D[1][0], 3);
  EXPECT_EQ(D[0][1], 3);
  EXPECT_EQ(D[0][0], 0);
  EXPECT_EQ(D[1][1], 0);
  EXPECT_EQ(D[2][0], 0);  // beyond k
  EXPECT_EQ(Korlen.MeansDifferencesMatrix(Means, 3)[2][1], -6);
}

// The correlation matrix against the simple regression of every pair, on
// data where any change in the order or type of an operation shows in the
// last bits: the same r to the last bit and the same messages in the same
// order.
class CorrelationAsPairRegressionsTest : public ::testing::TestWithParam<std::pair<int, int>> {
 protected:
  TKorlen Korlen;

  // Values spanning many orders of magnitude and both signs; some rows far
  // from 0 against their spread, one a multiple of another.
  void Fill(int k, int n, std::uint32_t Seed) {
    std::mt19937 Engine(Seed);
    std::normal_distribution<double> Exponent(0, 6);
    std::uniform_real_distribution<double> Unit(-1, 1);
    for (int j = 1; j <= k; ++j) {
      const double Offset = j % 4 == 0 ? 1e9 * j : 0;
      for (int i = 0; i < n; ++i) (*Korlen.PRegressData)[j][i] = Offset + Unit(Engine) * std::exp(Exponent(Engine));
    }
    if (k >= 3) {
      for (int i = 0; i < n; ++i) (*Korlen.PRegressData)[3][i] = -3 * (*Korlen.PRegressData)[1][i];
    }
  }

  // Without fewer variables than observations the matrix is all zeros.
  void ExpectSameAsPairRegressions(int k, int n) {
    std::vector<std::string> Expected;
    TMatrix Plain{};
    if (k < n) {
      testing::TMessageRecorder Messages;
      const TRegressData& X = *Korlen.PRegressData;
      for (int i = 1; i <= k; ++i) {
        for (int j = 1; j < i; ++j) Plain[i - 1][j - 1] = Plain[j - 1][i - 1] = Korlen.BVRegression(X[i], X[j], n).R;
        Plain[i - 1][i - 1] = 1;
      }
      Expected = Messages.Texts();
    }
    testing::TMessageRecorder Messages;
    const TMatrix R = Korlen.CorrelationMatrix(Korlen.PRegressData, k, n);
    EXPECT_EQ(Messages.Texts(), Expected);
    for (int i = 0; i < 26; ++i) {
      for (int j = 0; j < 26; ++j) {
        EXPECT_EQ(std::memcmp(&R[i][j], &Plain[i][j], 10), 0)
            << std::hexfloat << i << "," << j << ": " << R[i][j] << " vs " << Plain[i][j];
      }
    }
  }
};

TEST_P(CorrelationAsPairRegressionsTest, SameBitsAndMessagesAsEveryPairRegressed) {
  const auto [k, n] = GetParam();
  Fill(k, n, 31u * k + n);
  ExpectSameAsPairRegressions(k, n);
  if (k < 2) return;
  // A constant row, then a NaN and an infinity in other rows, the infinity
  // in the first observation that every difference is taken from.
  TRegressData& X = *Korlen.PRegressData;
  std::fill_n(X[2].begin(), n, 2.5);
  ExpectSameAsPairRegressions(k, n);
  X[k][n - 1] = std::numeric_limits<double>::quiet_NaN();
  X[1][0] = -std::numeric_limits<double>::infinity();
  ExpectSameAsPairRegressions(k, n);
}

INSTANTIATE_TEST_SUITE_P(Sizes, CorrelationAsPairRegressionsTest,
                         ::testing::Values(std::pair{1, 3}, std::pair{2, 3}, std::pair{3, 4}, std::pair{7, 4}, std::pair{13, 4},
                                           std::pair{2, 1001}, std::pair{7, 1001}, std::pair{13, 1001},
                                           std::pair{24, 1001}, std::pair{7, 19999}, std::pair{24, 19999}));

// The data above are sensitive enough for the comparison to fail: r from the
// raw sums, the textbook formula, differs in the last bits for some pair.
TEST_F(CorrelationAsPairRegressionsTest, DataShowAnotherFormulaInTheLastBits) {
  Fill(7, 1001, 5);
  const TMatrix R = Korlen.CorrelationMatrix(Korlen.PRegressData, 7, 1001);
  int Differ = 0;
  for (int i = 1; i <= 7; ++i) {
    for (int j = 1; j < i; ++j) {
      const TBivarStatRec Rec = Korlen.BVRegression((*Korlen.PRegressData)[i], (*Korlen.PRegressData)[j], 1001);
      const Extended SXX = Rec.SumX2 - Rec.SumX * Rec.SumX / 1001, SYY = Rec.SumY2 - Rec.SumY * Rec.SumY / 1001;
      const Extended Raw = (Rec.SumXY - Rec.SumX * Rec.SumY / 1001) / std::sqrt(SXX * SYY);
      if (std::memcmp(&Raw, &R[i - 1][j - 1], 10) != 0) ++Differ;
    }
  }
  EXPECT_GT(Differ, 0);
}

}  // namespace
}  // namespace varnel
