// SPDX-License-Identifier: Apache-2.0
// Transforms that fail part-way through the caller's data: what was rewritten
// before the fault keeps its new value, the rest keeps its old one, and the
// matrix transforms go on with the next row.
#include <gtest/gtest.h>

#include <vector>

#include "varnel/core/faults.h"
#include "varnel/korlen.h"
#include "varnel/testing/message_recorder.h"

namespace varnel {
namespace {

using testing::TMessageRecorder;
using Values = std::vector<double>;

constexpr double kHuge = 1.7e308;

class TransformDataSafetyTest : public ::testing::Test {
 protected:
  TKorlen Korlen;
  TRegressData& X = *Korlen.PRegressData;
  // Row 2 overflows at its second entry: x - mean lies beyond double.
  void Load() {
    Korlen.MVPrepare();
    const Values Rows[] = {{1, 2, 3, 6}, {kHuge, -kHuge, kHuge, 4}, {10, 20, 30, 40}};
    for (int j = 1; j <= 3; ++j)
      for (int t = 0; t < 4; ++t) X[j][t] = Rows[j - 1][t];
    X[2][4] = 99;
  }
};

TEST_F(TransformDataSafetyTest, CentringStopsInTheFailingRowAndGoesOnWithTheNext) {
  Load();
  TMessageRecorder Messages;
  Korlen.TransformDataCenter(Korlen.PRegressData, 3, 4);
  EXPECT_EQ(Messages.Texts(), std::vector<std::string>{"Error occurred in  StandardizeData"});
  EXPECT_EQ(X[1][0], -2);  // row 1 done
  EXPECT_EQ(X[1][3], 3);
  const long double Mean2 = (1.0L * kHuge - kHuge + kHuge + 4) / 4;
  EXPECT_EQ(X[2][0], static_cast<double>(kHuge - Mean2));  // rewritten before the fault
  EXPECT_EQ(X[2][1], -kHuge);                                // the failing entry and those after keep their values
  EXPECT_EQ(X[2][2], kHuge);
  EXPECT_EQ(X[2][3], 4);
  EXPECT_EQ(X[2][4], 99);     // beyond n
  EXPECT_EQ(X[3][0], -15);    // row 3 done after the failure
  EXPECT_EQ(X[0][1], 1);      // the constant column is never touched
}

TEST_F(TransformDataSafetyTest, AFaultBeforeAnyStoreLeavesTheRowWhole) {
  Load();
  X[2][0] = X[2][1] = X[2][2] = 1;
  X[2][2] = std::numeric_limits<double>::quiet_NaN();
  const TRegressData Before = X;
  TMessageRecorder Messages;
  Korlen.TransformDataStandardize(Korlen.PRegressData, 3, 4);
  Korlen.TransformDataNormalize(Korlen.PRegressData, 3, 4);
  EXPECT_EQ(Messages.Texts(),
            (std::vector<std::string>{"Error occurred in  StandardizeData", "Error occurred in  NormalizeData"}));
  for (int t : {0, 1, 3}) EXPECT_EQ(X[2][t], Before[2][t]);
  EXPECT_NE(X[1][0], Before[1][0]);
  EXPECT_NE(X[3][0], Before[3][0]);
}

TEST_F(TransformDataSafetyTest, UnguardedTransformsKeepWhatTheyWroteBeforeThrowing) {
  Values A{1, 2, kHuge, 5};
  EXPECT_THROW(Korlen.TransformArrAddScalar(A, kHuge / 2, 4), EOverflow);
  EXPECT_EQ(A, (Values{1 + kHuge / 2, 2 + kHuge / 2, kHuge, 5}));
  Values B{1, -3, 1e200, 5};
  EXPECT_THROW(Korlen.TransformArrSquare(B, 4), EOverflow);
  EXPECT_EQ(B, (Values{1, 9, 1e200, 5}));
  Values C{1, -3, 1e200, 5};
  EXPECT_THROW(Korlen.TransformArrMultiplyScalar(C, 1e200, 4), EOverflow);
  EXPECT_EQ(C, (Values{1e200, -3e200, 1e200, 5}));
}

}  // namespace
}  // namespace varnel
