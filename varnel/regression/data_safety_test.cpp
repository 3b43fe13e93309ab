// SPDX-License-Identifier: Apache-2.0
// The derived regressions that write into the caller's data matrix, made to
// fail part-way: the borrowed row k + 1 is always restored (a fault in the
// fit after the row is written is in derived_test.cpp), and removing a
// predictor moves whatever the rows hold.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "varnel/korlen.h"
#include "varnel/testing/data_sets.h"
#include "varnel/testing/message_recorder.h"

namespace varnel {
namespace {

using testing::TMessageRecorder;
using TTexts = std::vector<std::string>;

class RegressionDataSafetyTest : public ::testing::Test {
 protected:
  TKorlen Korlen;
  TRegressData& X = *Korlen.PRegressData;
  RegressionDataSafetyTest() {
    Korlen.SetScanData(false);
    testing::Load(Korlen, testing::RandomData(2, 40, 9));
    for (int i = 0; i < MaxObs; ++i) X[3][i] = 3000 + i * 0.25;  // the row the fits borrow
  }
  bool Unchanged(const TRegressData& Before) const { return std::memcmp(&Before, &X, sizeof X) == 0; }
};

TEST_F(RegressionDataSafetyTest, AnOverflowingProductHalfWayLeavesTheMatrixAsItWas) {
  X[1][25] = X[2][25] = 1e200;  // x1 * x2 beyond double at observation 25
  X[1][26] = 1e200;             // x1 * x1 as well, one later
  const auto Before = std::make_unique<TRegressData>(X);
  TMessageRecorder Messages;
  EXPECT_EQ(Korlen.MVInteractionRegression(Korlen.PRegressData, Korlen.Y, 2, 40, 1, 2).N, 0);
  EXPECT_TRUE(Unchanged(*Before));
  EXPECT_EQ(Korlen.MVPolynomialRegression(Korlen.PRegressData, Korlen.Y, 2, 40, 1).N, 0);
  EXPECT_TRUE(Unchanged(*Before));
  EXPECT_EQ(Messages.Texts(), (TTexts{"Error occurred in  MVInteractionRegression",
                                      "Error occurred in  MVPolynomialRegression"}));
}

TEST_F(RegressionDataSafetyTest, RemovingAPredictorMovesNonFiniteValuesWithoutAFault) {
  X[2][5] = NAN;
  X[2][6] = INFINITY;
  const auto Before = std::make_unique<TRegressData>(X);
  TMessageRecorder Messages;
  Byte k = 2;
  Korlen.MVRemoveVariable(Korlen.PRegressData, k, 40, 1);
  EXPECT_EQ(k, 1);
  EXPECT_TRUE(Messages.Messages().empty());
  EXPECT_TRUE(std::isnan(X[1][5]));
  EXPECT_EQ(X[1][6], INFINITY);
  EXPECT_EQ(std::memcmp(X[1].data(), (*Before)[2].data(), 40 * sizeof(double)), 0);
  EXPECT_EQ(X[1][40], (*Before)[1][40]);  // beyond n nothing moves
  EXPECT_EQ(std::memcmp(X[3].data(), (*Before)[3].data(), sizeof X[3]), 0);
}

}  // namespace
}  // namespace varnel
