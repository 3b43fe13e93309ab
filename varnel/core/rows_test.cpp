// SPDX-License-Identifier: Apache-2.0
#include "varnel/core/rows.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "varnel/korlen.h"
#include "varnel/testing/message_recorder.h"

namespace varnel {
namespace {

using testing::TMessageRecorder;

class RowPreparationTest : public ::testing::Test {
 protected:
  TKorlen Korlen;
  TRegressData& X() { return *Korlen.PRegressData; }
};

TEST_F(RowPreparationTest, NewRowValuesWritesOneObservationAcrossAllRows) {
  for (int j = 0; j <= MaxVars; ++j) X()[j][3] = X()[j][4] = 9;
  TVector Values{};
  Values[0] = 5;
  Values[1] = 7;
  Values[2] = 11;  // beyond k: not written
  Korlen.NewRowValues(Korlen.PRegressData, Values, 2, 3);
  EXPECT_EQ(X()[0][3], 1.0);
  EXPECT_EQ(X()[1][3], 5);
  EXPECT_EQ(X()[2][3], 7);
  for (int j = 3; j <= MaxVars; ++j) EXPECT_EQ(X()[j][3], 0) << j;
  for (int j = 0; j <= MaxVars; ++j) EXPECT_EQ(X()[j][4], 9) << j;  // other observations untouched
  Values[0] = 1.0L / 3;
  Korlen.NewRowValues(Korlen.PRegressData, Values, 24, 19999);
  EXPECT_EQ(X()[1][19999], 1.0 / 3);
}

TEST_F(RowPreparationTest, ZeroRowValuesClearsTheConstantToo) {
  Korlen.MVPrepare();
  X()[5][3] = 4;
  Korlen.ZeroRowValues(Korlen.PRegressData, 3);
  for (int j = 0; j <= MaxVars; ++j) EXPECT_EQ(X()[j][3], 0);
  EXPECT_EQ(X()[0][2], 1.0);
  Korlen.MVPrepare();
  EXPECT_EQ(X()[0][3], 1.0);
}

TEST_F(RowPreparationTest, OutOfRangeRowArgumentsTouchNothing) {
  TMessageRecorder Messages;
  X()[0][0] = 8;
  TVector Values{};
  Values.fill(3);
  Korlen.NewRowValues(Korlen.PRegressData, Values, 25, 0);
  Korlen.NewRowValues(Korlen.PRegressData, Values, 2, -1);
  Korlen.NewRowValues(Korlen.PRegressData, Values, 2, 20000);
  Korlen.NewRowValues(nullptr, Values, 2, 0);
  Korlen.ZeroRowValues(Korlen.PRegressData, 20000);
  Korlen.ZeroRowValues(nullptr, 0);
  EXPECT_EQ(X()[0][0], 8);
  EXPECT_EQ(X()[1][0], 0);
  EXPECT_TRUE(Messages.Messages().empty());
}

TEST_F(RowPreparationTest, NewRowValuesBeyondDoubleRangeIsAFault) {
  TVector Values{};
  Values[0] = 2;
  Values[1] = 1e400L;
  EXPECT_THROW(Korlen.NewRowValues(Korlen.PRegressData, Values, 2, 0), EOverflow);
  EXPECT_EQ(X()[1][0], 2);  // written before the fault
  EXPECT_EQ(X()[0][0], 0);  // not reached
}

TEST_F(RowPreparationTest, SmoothDataAveragesTheOriginalNeighbours) {
  std::vector<double> Even{3, 6, 9, 12};
  Korlen.SmoothData(Even, 4);
  EXPECT_EQ(Even, (std::vector<double>{3, 6, 9, 12}));
  std::vector<double> Zigzag{0, 3, 0, 3, 0};
  Korlen.SmoothData(Zigzag, 5);
  EXPECT_EQ(Zigzag, (std::vector<double>{0, 1, 2, 1, 0}));
  std::vector<double> Third{0, 0, 1, 0};
  Korlen.SmoothData(Third, 4);
  EXPECT_EQ(Third[1], static_cast<double>(1.0L / 3.0L));
}

TEST_F(RowPreparationTest, SmoothDataIgnoresBadCountsSilently) {
  TMessageRecorder Messages;
  std::vector<double> A{1, 5, 1};
  Korlen.SmoothData(A, 2);
  Korlen.SmoothData(A, 20000);
  Korlen.SmoothData(A, 4);  // more than the array holds
  EXPECT_EQ(A, (std::vector<double>{1, 5, 1}));
  EXPECT_TRUE(Messages.Messages().empty());
}

TEST_F(RowPreparationTest, SmoothDataFaultKeepsWhatWasSmoothed) {
  TMessageRecorder Messages;
  std::vector<double> A{3, 3, 3, NAN, 3, 3};
  Korlen.SmoothData(A, 6);
  EXPECT_EQ(Messages.Texts(), std::vector<std::string>{"Error occurred in  SmoothData"});
  EXPECT_EQ(A[1], 3);  // smoothed before the fault
  EXPECT_TRUE(std::isnan(A[3]));  // not reached
}

TEST_F(RowPreparationTest, FillObsArrayFillsTheWholeSpanUpToCapacity) {
  std::vector<double> Large(MaxObs + 5, 7.0), Small(10, 7.0);
  FillObsArray(Large, 0);
  FillObsArray(Small, 2.5L);
  EXPECT_EQ(Large[MaxObs - 1], 0);
  EXPECT_EQ(Large[MaxObs], 7.0);
  EXPECT_EQ(Small, std::vector<double>(10, 2.5));
}

}  // namespace
}  // namespace varnel
