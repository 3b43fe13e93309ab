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

// Pearson's r in extended precision, about the means.
long double Correlation(const std::vector<double>& X, const std::vector<double>& Y) {
  const int n = static_cast<int>(X.size());
  long double mx = 0, my = 0;
  for (int i = 0; i < n; ++i) mx += X[i], my += Y[i];
  mx /= n;
  my /= n;
  long double sxy = 0, sxx = 0, syy = 0;
  for (int i = 0; i < n; ++i) {
    sxy += (X[i] - mx) * (Y[i] - my);
    sxx += (X[i] - mx) * (X[i] - mx);
    syy += (Y[i] - my) * (Y[i] - my);
  }
  return sxy / std::sqrt(sxx * syy);
}

class PairedCorrelationTest : public ::testing::Test {
 protected:
  TKorlen Korlen;
};

TEST_F(PairedCorrelationTest, EachPredictorAgainstY) {
  const testing::TDataSet Data = testing::RandomData(5, 200, 9);
  testing::Load(Korlen, Data);
  TMessageRecorder Messages;
  const TVector R = Korlen.MVPairedXYRegressions(Korlen.PRegressData, Korlen.Y, 5, 200);
  long double Sum = 0;
  for (int v = 0; v < 5; ++v) {
    const long double Want = Correlation(Data.Columns[v], Data.Y);
    EXPECT_NEAR(R[v], Want, 1e-14) << v;
    Sum += Want;
  }
  for (int v = 5; v < 26; ++v) EXPECT_EQ(R[v], 0);
  EXPECT_NEAR(Korlen.MVAverageCorrelation(Korlen.PRegressData, Korlen.Y, 5, 200), Sum / 5, 1e-14);
  EXPECT_TRUE(Messages.Messages().empty());
}

TEST_F(PairedCorrelationTest, OpposedPredictorsAverageToZero) {
  // X2 = 100 − X1 correlates with Y exactly as strongly, with the other sign.
  const std::vector<double> X1{1, 2, 3, 4, 5, 6}, Y{2, 1, 4, 3, 6, 8};
  std::vector<double> X2;
  for (double x : X1) X2.push_back(100 - x);
  testing::Load(Korlen, {{X1, X2}, Y});
  const TVector R = Korlen.MVPairedXYRegressions(Korlen.PRegressData, Korlen.Y, 2, 6);
  EXPECT_NEAR(R[0], -R[1], 1e-15);
  EXPECT_GT(R[0], 0.5);
  EXPECT_NEAR(Korlen.MVAverageCorrelation(Korlen.PRegressData, Korlen.Y, 2, 6), 0, 1e-15);
}

TEST_F(PairedCorrelationTest, ConstantPredictorContributesZero) {
  testing::Load(Korlen, {{{1, 2, 3, 4, 5}, {7, 7, 7, 7, 7}}, {2, 1, 4, 3, 5}});
  TMessageRecorder Messages;
  const TVector R = Korlen.MVPairedXYRegressions(Korlen.PRegressData, Korlen.Y, 2, 5);
  EXPECT_NEAR(R[0], 0.8, 1e-15);
  EXPECT_EQ(R[1], 0);
  EXPECT_EQ(Messages.Texts(), std::vector<std::string>{"Divide by zero calculating r, B1 or B0"});
  EXPECT_NEAR(Korlen.MVAverageCorrelation(Korlen.PRegressData, Korlen.Y, 2, 5), 0.4, 1e-15);
}

TEST_F(PairedCorrelationTest, InvalidCountsGiveZerosSilently) {
  testing::Load(Korlen, testing::ExampleData());
  TMessageRecorder Messages;
  for (const auto& [k, n] : {std::pair{0, 5}, std::pair{2, 2}, std::pair{5, 5}, std::pair{2, 20000}, std::pair{25, 30}}) {
    const TVector R = Korlen.MVPairedXYRegressions(Korlen.PRegressData, Korlen.Y, k, n);
    EXPECT_TRUE(std::all_of(R.begin(), R.end(), [](Extended v) { return v == 0; }));
    EXPECT_EQ(Korlen.MVAverageCorrelation(Korlen.PRegressData, Korlen.Y, k, n), 0);
  }
  EXPECT_EQ(Korlen.MVPairedXYRegressions(Korlen.PRegressData, std::vector<double>(3), 2, 5)[0], 0);
  EXPECT_EQ(Korlen.MVAverageCorrelation(nullptr, Korlen.Y, 2, 5), 0);
  EXPECT_TRUE(Messages.Messages().empty());
}

}  // namespace
}  // namespace varnel
