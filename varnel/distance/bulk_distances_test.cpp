// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "varnel/korlen.h"
#include "varnel/testing/digits.h"
#include "varnel/testing/data_sets.h"
#include "varnel/testing/message_recorder.h"

namespace varnel {
namespace {

using testing::AgreesTo;
using testing::TMessageRecorder;

// Means, covariances by two passes, and a Cholesky factor: an independent
// route to the squared Mahalanobis distance and the log-determinant.
struct TReference {
  int k;
  std::vector<long double> Mean;
  std::vector<std::vector<long double>> Cov, L;
  long double LogDet = 0;

  explicit TReference(const testing::TDataSet& Data) : k(Data.K()), Mean(k), Cov(k, std::vector<long double>(k)) {
    const int n = Data.N();
    for (int i = 0; i < k; ++i) {
      for (double v : Data.Columns[i]) Mean[i] += v;
      Mean[i] /= n;
    }
    for (int i = 0; i < k; ++i) {
      for (int j = 0; j < k; ++j) {
        long double s = 0;
        for (int t = 0; t < n; ++t) s += (Data.Columns[i][t] - Mean[i]) * (Data.Columns[j][t] - Mean[j]);
        Cov[i][j] = s / (n - 1);
      }
    }
    L = Cov;
    for (int j = 0; j < k; ++j) {
      for (int t = 0; t < j; ++t) L[j][j] -= L[j][t] * L[j][t];
      L[j][j] = std::sqrt(L[j][j]);
      LogDet += 2 * std::log(L[j][j]);
      for (int i = j + 1; i < k; ++i) {
        for (int t = 0; t < j; ++t) L[i][j] -= L[i][t] * L[j][t];
        L[i][j] /= L[j][j];
      }
    }
  }
  long double Mahalanobis(const std::vector<long double>& x) const {
    std::vector<long double> y(k);
    long double s = 0;
    for (int i = 0; i < k; ++i) {
      y[i] = x[i] - Mean[i];
      for (int t = 0; t < i; ++t) y[i] -= L[i][t] * y[t];
      y[i] /= L[i][i];
      s += y[i] * y[i];
    }
    return s;
  }
};

std::vector<long double> Observation(const testing::TDataSet& Data, int t) {
  std::vector<long double> x;
  for (const auto& Column : Data.Columns) x.push_back(Column[t]);
  return x;
}

class BulkDistanceTest : public ::testing::Test {
 protected:
  TKorlen Korlen;
  std::vector<double> Out = std::vector<double>(MaxObs, -7);
  void Load(const testing::TDataSet& Data) { testing::Load(Korlen, Data); }
};

TEST_F(BulkDistanceTest, MahalanobisAndLikelihoodAgreeWithAnIndependentRoute) {
  Korlen.SetScanData(false);
  for (const testing::TDataSet& Data : {testing::LongleyData(), testing::RandomData(24, 19999, 5)}) {
    TMessageRecorder Messages;
    Load(Data);
    const int k = Data.K(), N = Data.N();
    const TReference Ref(Data);
    Korlen.MahalanobisDistances(Korlen.PRegressData, Out, k, N);
    std::vector<double> ML(MaxObs);
    Korlen.MaximumLikelihoodDistances(Korlen.PRegressData, ML, k, N, 3.5L);
    for (int t = 0; t < N; t += (N > 100 ? 997 : 1)) {
      const long double D2 = Ref.Mahalanobis(Observation(Data, t));
      EXPECT_TRUE(AgreesTo(Out[t], D2, 9)) << k << " " << t;
      EXPECT_TRUE(AgreesTo(ML[t], 3.5L - 0.5L * Ref.LogDet - 0.5L * D2, 9)) << k << " " << t;
    }
    EXPECT_EQ(Out[N], 0);  // cleared beyond N
    std::vector<long double> x(k);
    TVector v{};
    for (int i = 0; i < k; ++i) v[i] = x[i] = Ref.Mean[i] + (i + 1) * 0.25L;
    const long double D2 = Ref.Mahalanobis(x);
    EXPECT_TRUE(AgreesTo(Korlen.GetMahalanobisDistance(Korlen.PRegressData, v, k, N), D2, 9));
    EXPECT_TRUE(AgreesTo(Korlen.GetMaximumLikelihoodDistance(Korlen.PRegressData, v, k, N, -1),
                         -1 - 0.5L * Ref.LogDet - 0.5L * D2, 9));
    EXPECT_TRUE(Messages.Messages().empty());
  }
}

TEST_F(BulkDistanceTest, EuclideanFamilyMeasuresFromTheMean) {
  // X1 = 1..5 (mean 3, variance 2.5), X2 = 21, 20, 25, 24, 26 (mean 23.2, variance 6.7).
  Load(testing::ExampleData());
  Korlen.LDistances(Korlen.PRegressData, Out, 5, 2);
  EXPECT_NEAR(Out[0], (1 - 3) + (21 - 23.2), 1e-14);
  EXPECT_EQ(Out[5], -7);
  Korlen.EuclideanDistances(Korlen.PRegressData, Out, 5, 2);
  EXPECT_NEAR(Out[1], 1 + 3.2 * 3.2, 1e-13);  // squared, no root
  Korlen.NormEuclideanDistances(Korlen.PRegressData, Out, 5, 2);
  EXPECT_NEAR(Out[4], 4 / 2.5 + 2.8 * 2.8 / 6.7, 1e-14);
  EXPECT_EQ(Out[5], -7);
  // With one variable the Mahalanobis distance is the squared standard score.
  Korlen.MahalanobisDistances(Korlen.PRegressData, Out, 1, 5);
  EXPECT_NEAR(Out[0], 4 / 2.5, 1e-15);
  TVector x{};
  x[0] = 6;
  EXPECT_NEAR(static_cast<double>(Korlen.GetMahalanobisDistance(Korlen.PRegressData, x, 1, 5)), 9 / 2.5, 1e-15);
}

TEST_F(BulkDistanceTest, BadSizesLeaveTheOutputAloneExceptMahalanobisClearing) {
  Load(testing::ExampleData());
  TMessageRecorder Messages;
  for (const auto& [k, N] : {std::pair{0, 5}, std::pair{2, 2}, std::pair{2, 20000}, std::pair{25, 100}}) {
    Korlen.LDistances(Korlen.PRegressData, Out, N, k);
    Korlen.EuclideanDistances(Korlen.PRegressData, Out, N, k);
    Korlen.NormEuclideanDistances(Korlen.PRegressData, Out, N, k);
    Korlen.MaximumLikelihoodDistances(Korlen.PRegressData, Out, k, N, 0);
    EXPECT_EQ(Out[0], -7) << k << " " << N;
    EXPECT_EQ(Korlen.GetMahalanobisDistance(Korlen.PRegressData, TVector{}, k, N), 0);
  }
  std::vector<double> Short(4, -7);
  Korlen.LDistances(Korlen.PRegressData, Short, 5, 2);
  EXPECT_EQ(Short[0], -7);
  Korlen.MahalanobisDistances(Korlen.PRegressData, Short, 2, 5);
  EXPECT_EQ(Short, std::vector<double>(4, 0));  // cleared, then too short to fill
  Korlen.MahalanobisDistances(nullptr, Out, 2, 5);
  EXPECT_EQ(Out[0], 0);
  EXPECT_TRUE(Messages.Messages().empty());
  // The bulk likelihood needs N > 2; the single form goes ahead, and a
  // covariance matrix of such data has no logarithm of its determinant.
  Korlen.MaximumLikelihoodDistances(Korlen.PRegressData, Out, 1, 2, 0);
  EXPECT_TRUE(Messages.Messages().empty());
  EXPECT_EQ(Korlen.GetMaximumLikelihoodDistance(Korlen.PRegressData, TVector{}, 1, 2, 0), 0);
  EXPECT_EQ(Messages.Count("Error occurred in  MaximumLikelihoodDistances"), 1);
}

TEST_F(BulkDistanceTest, ZeroVarianceFailsTheNormalisedForm) {
  Load({{{1, 2, 3, 4}, {5, 5, 5, 5}}, {1, 2, 3, 4}});
  TMessageRecorder Messages;
  Korlen.NormEuclideanDistances(Korlen.PRegressData, Out, 4, 2);
  EXPECT_EQ(Out[0], -7);
  EXPECT_EQ(Messages.Count("Error in NormEuclideanDistances"), 1);
  (*Korlen.PRegressData)[1][2] = NAN;
  Korlen.LDistances(Korlen.PRegressData, Out, 4, 1);
  Korlen.EuclideanDistances(Korlen.PRegressData, Out, 4, 1);
  EXPECT_EQ(Messages.Count("Error in LDistances"), 1);
  EXPECT_EQ(Messages.Count("Error in EuclideanDistances"), 1);
}

}  // namespace
}  // namespace varnel
