// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "varnel/korlen.h"
#include "varnel/testing/describe_reference.h"
#include "varnel/testing/message_recorder.h"

namespace varnel {
namespace {

using testing::SameDigits;
using testing::TMessageRecorder;
using Values = std::vector<double>;

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

class TransformTest : public ::testing::Test {
 protected:
  TKorlen Korlen;
  TMessageRecorder Messages;
};

TEST_F(TransformTest, CentringAndStandardisingUseTheWholeArraysMoments) {
  const Values Original = testing::SpreadValues(1000, 1e6, 3, 5);
  Values x = Original;
  Korlen.TransformArrCenter(x, 1000);
  const long double Mean = testing::RefMean(Original), SD = std::sqrt(testing::RefVariance(Original));
  for (int t = 0; t < 1000; ++t) EXPECT_NEAR(x[t], Original[t] - Mean, 1e-9) << t;
  x = Original;
  Korlen.TransformArrStandardize(x, 1000);
  for (int t = 0; t < 1000; ++t) EXPECT_TRUE(SameDigits(x[t], (Original[t] - Mean) / SD, 9)) << t;
  EXPECT_TRUE(SameDigits(testing::RefVariance(x), 1, 12));

  Values Constant{3, 3, 3, 3, 8};
  Korlen.TransformArrStandardize(Constant, 4);
  EXPECT_EQ(Constant, (Values{0, 0, 0, 0, 8}));
  Values Pair{1, 5};
  Korlen.TransformArrCenter(Pair, 2);
  Korlen.TransformArrStandardize(Pair, 2);
  EXPECT_EQ(Pair, (Values{1, 5}));
  EXPECT_TRUE(Messages.Messages().empty());
}

TEST_F(TransformTest, NormalizeDividesBySignedMaximumOutsideTheThreshold) {
  Values Negative{-1, -2, -4};
  Korlen.TransformArrNormalize(Negative, 3);
  EXPECT_EQ(Negative, (Values{1, 2, 4}));
  Values Small{0.00001, -3, 0};
  Korlen.TransformArrNormalize(Small, 3);
  EXPECT_EQ(Small, (Values{0.00001, -3, 0}));
  Values Above{0.00002, -3, 0};
  Korlen.TransformArrNormalize(Above, 3);
  EXPECT_EQ(Above[0], 1);
  EXPECT_EQ(Above[1], static_cast<double>(-3 / 0.00002L));
  Values One{-7};
  Korlen.TransformArrNormalize(One, 1);
  EXPECT_EQ(One[0], 1);
  Values Mixed{2, 8, -4, 6};
  Korlen.TransformArrNormalize(Mixed, 3);  // the fourth entry is not looked at
  EXPECT_EQ(Mixed, (Values{0.25, 1, -0.5, 6}));
  EXPECT_TRUE(Messages.Messages().empty());
}

TEST_F(TransformTest, EntryByEntryTransforms) {
  Values x{0, 2, -4, 9};
  Korlen.TransformArrInverse(x, 3);
  EXPECT_EQ(x, (Values{0, 0.5, -0.25, 9}));
  x = {-4, 0, 9, 5};
  Korlen.TransformArrSquareRoot(x, 3);
  EXPECT_EQ(x, (Values{0, 0, 3, 5}));
  x = {-3, 1.5, 7};
  Korlen.TransformArrSquare(x, 2);
  EXPECT_EQ(x, (Values{9, 2.25, 7}));
  x = {1, 2, 3};
  Korlen.TransformArrAddScalar(x, 0.5L, 2);
  EXPECT_EQ(x, (Values{1.5, 2.5, 3}));
  Korlen.TransformArrAddScalar(x, 100, 0);
  Korlen.TransformArrMultiplyScalar(x, -2, 3);
  EXPECT_EQ(x, (Values{-3, -5, -6}));
  // The scalar is extended: a third is rounded once, when stored.
  x = {3};
  Korlen.TransformArrMultiplyScalar(x, 1.0L / 3, 1);
  EXPECT_EQ(x[0], 1);
  EXPECT_TRUE(Messages.Messages().empty());
}

TEST_F(TransformTest, CountsOutsideTheirRangesOrTheArrayChangeNothing) {
  const Values Original{4, -2, 9, 16};
  const std::vector<void (TKorlen::*)(std::span<double>, int)> ArrayTransforms{
      &TKorlen::TransformArrCenter,  &TKorlen::TransformArrStandardize, &TKorlen::TransformArrNormalize,
      &TKorlen::TransformArrInverse, &TKorlen::TransformArrSquare,      &TKorlen::TransformArrSquareRoot};
  Values Backing = Original;
  const std::span<double> Short(Backing.data(), 3);  // the fourth entry is outside
  for (auto Transform : ArrayTransforms) {
    for (const int n : {0, -1, 4, MaxObs}) (Korlen.*Transform)(Short, n);
  }
  Korlen.TransformArrAddScalar(Short, 1, 4);
  Korlen.TransformArrMultiplyScalar(Short, 2, 4);
  Korlen.TransformArrAddScalar(Short, 1, -5);
  EXPECT_EQ(Backing, Original);

  std::vector<double> Full(MaxObs, 2.0);
  Korlen.TransformArrSquare(Full, MaxObs);
  Korlen.TransformArrNormalize(Full, MaxObs);
  EXPECT_EQ(Full[0], 2.0);
  Korlen.TransformArrAddScalar(Full, 1, MaxObs);  // no upper bound of its own
  EXPECT_EQ(Full[MaxObs - 1], 3.0);
  EXPECT_TRUE(Messages.Messages().empty());
}

TEST_F(TransformTest, FaultsReportTheirOperationAndKeepWhatWasWritten) {
  Values x{2, NaN, 4, 5};
  Korlen.TransformArrInverse(x, 4);
  EXPECT_EQ(x[0], 0.5);
  EXPECT_TRUE(std::isnan(x[1]));
  EXPECT_EQ(x[2], 4);
  Korlen.TransformArrSquareRoot(x, 4);
  EXPECT_DOUBLE_EQ(x[0], std::sqrt(0.5));
  Korlen.TransformArrNormalize(x, 4);
  Korlen.TransformArrCenter(x, 4);
  Korlen.TransformArrStandardize(x, 4);
  EXPECT_DOUBLE_EQ(x[0], std::sqrt(0.5));
  EXPECT_EQ(x[3], 5);
  EXPECT_EQ(Messages.Texts(),
            (std::vector<std::string>{"Error occurred in  TransformInverse", "Error occurred in  TransformSquareRoot",
                                      "Error occurred in  NormalizeData", "Error occurred in  StandardizeData",
                                      "Error occurred in  StandardizeData"}));
  // Dividing by a tiny entry overflows the stored double.
  Messages.Clear();
  Values Tiny{1, 1e-310, 2};
  Korlen.TransformArrInverse(Tiny, 3);
  EXPECT_EQ(Tiny, (Values{1, 1e-310, 2}));
  EXPECT_EQ(Messages.Count("Error occurred in  TransformInverse"), 1);
  // The unguarded transforms let the fault through.
  Values Big{1e200};
  EXPECT_THROW(Korlen.TransformArrSquare(Big, 1), EOverflow);
  EXPECT_THROW(Korlen.TransformArrAddScalar(Big, NaN, 1), EInvalidOp);
  EXPECT_THROW(Korlen.TransformArrMultiplyScalar(Big, 1e200, 1), EOverflow);
  EXPECT_EQ(Big[0], 1e200);
}

TEST_F(TransformTest, MatrixTransformsTreatEachPredictorRowAlone) {
  TRegressData& X = *Korlen.PRegressData;
  Korlen.MVPrepare();
  const Values Rows[] = {{1, 2, 3, 4}, {-10, 0, 10, 20}, {5, 5, 5, 5}};
  for (int j = 1; j <= 3; ++j) {
    for (int t = 0; t < 4; ++t) X[j][t] = Rows[j - 1][t];
  }
  X[1][4] = 99;
  Korlen.TransformDataCenter(Korlen.PRegressData, 2, 4);
  EXPECT_EQ(X[1][0], -1.5);
  EXPECT_EQ(X[2][3], 15);
  EXPECT_EQ(X[1][4], 99);
  EXPECT_EQ(X[3][0], 5);  // beyond k
  EXPECT_EQ(X[0][0], 1);  // the constant column is never touched
  Korlen.TransformDataStandardize(Korlen.PRegressData, 3, 4);
  EXPECT_TRUE(SameDigits(X[2][3], 15 / std::sqrt(500.0L / 3), 15));
  EXPECT_EQ(X[3][2], 0);
  Korlen.TransformDataNormalize(Korlen.PRegressData, 1, 4);
  EXPECT_EQ(X[1][3], 1);
  for (const int k : {0, 25}) Korlen.TransformDataNormalize(Korlen.PRegressData, k, 4);
  Korlen.TransformDataCenter(nullptr, 2, 4);
  EXPECT_EQ(X[2][3], static_cast<double>(15 / std::sqrt(500.0L / 3)));
  EXPECT_TRUE(Messages.Messages().empty());
}

}  // namespace
}  // namespace varnel
