// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "varnel/korlen.h"
#include "varnel/testing/digits.h"
#include "varnel/testing/data_sets.h"
#include "varnel/testing/message_recorder.h"
#include "varnel/testing/reference_fit.h"

namespace varnel {
namespace {

using testing::AgreesTo;
using testing::TMessageRecorder;

class MultipleRegressionTest : public ::testing::Test {
 protected:
  TKorlen Korlen;
  TMultStatRec Fit(const testing::TDataSet& Data) {
    testing::Load(Korlen, Data);
    return Korlen.MVRegression(Korlen.PRegressData, Korlen.Y, Data.K(), Data.N());
  }
};

TEST_F(MultipleRegressionTest, ExampleGivesTheDocumentedRecord) {
  TMessageRecorder Messages;
  const TMultStatRec Rec = Fit(testing::ExampleData());
  EXPECT_TRUE(Messages.Messages().empty());
  EXPECT_EQ(Rec.N, 5);
  EXPECT_EQ(Rec.K, 2);
  EXPECT_EQ(Rec.DFReg, 2);
  EXPECT_EQ(Rec.DFErr, 2);
  EXPECT_EQ(Rec.DFTot, 4);
  // Exact rational values of the example, rounded to 12 digits.
  const long double Expected[][2] = {
      {Rec.Beta[0], -66.0833333333},  {Rec.Beta[1], 0.583333333333},  {Rec.Beta[2], 4.08333333333},
      {Rec.SST, 713.2},               {Rec.SSE, 196.25},               {Rec.SSR, 516.95},
      {Rec.R2, 0.724831744251},       {Rec.R, 0.851370509385},         {Rec.MSR, 258.475},
      {Rec.MSE, 98.125},              {Rec.S2, 98.125},                {Rec.RMSE, 9.90580637808},
      {Rec.S, 9.90580637808},         {Rec.F, 2.63414012739},          {Rec.StdErr[0], 70.9070939485},
      {Rec.StdErr[1], 6.04353419412}, {Rec.StdErr[2], 3.69167607222},  {Rec.TCalc[0], -0.931970690850},
      {Rec.TCalc[1], 0.0965218884507}, {Rec.TCalc[2], 1.10609199005},
  };
  for (const auto& [Actual, Want] : Expected) EXPECT_TRUE(AgreesTo(Actual, Want, 11));
  for (int j = 3; j < 26; ++j) {
    EXPECT_EQ(Rec.Beta[j], 0);
    EXPECT_EQ(Rec.StdErr[j], 0);
    EXPECT_EQ(Rec.TCalc[j], 0);
  }
  Extended Det = 0;
  Korlen.InvertMatrix(Korlen.CrossProducts(Korlen.PRegressData, 2, 5), 3, Det);
  EXPECT_TRUE(AgreesTo(Det, 360, 12));
}

TEST_F(MultipleRegressionTest, AgreesWithReferenceOnLongley) {
  Korlen.SetScanData(false);
  const testing::TDataSet Data = testing::LongleyData();
  const TMultStatRec Rec = Fit(Data);
  const long double Certified[] = {-3482258.63459582, 15.0618722713733, -0.358191792925910E-01,
                                   -2.02022980381683, -1.03322686717359, -0.511041056535807E-01,
                                   1829.15146461355};
  for (int j = 0; j <= 6; ++j) EXPECT_TRUE(AgreesTo(Rec.Beta[j], Certified[j], 10)) << "beta " << j;
  // SSE is the difference of two sums about 10^5 times larger than itself,
  // so the summary keeps fewer digits than the coefficients on these data.
  EXPECT_TRUE(AgreesTo(Rec.RMSE, 304.854073561965, 5));
  EXPECT_TRUE(AgreesTo(Rec.R2, 0.995479004577296, 8));
}

TEST_F(MultipleRegressionTest, AgreesWithReferenceAtCapacity) {
  Korlen.SetScanData(false);
  for (const auto& [k, n] : {std::pair{3, 50}, std::pair{8, 1000}, std::pair{24, 19999}}) {
    const testing::TDataSet Data = testing::RandomData(k, n, 17u + k);
    const TMultStatRec Rec = Fit(Data);
    const testing::TReferenceFit Reference = testing::ReferenceLeastSquares(Data);
    for (int j = 0; j <= k; ++j) EXPECT_TRUE(AgreesTo(Rec.Beta[j], Reference.Beta[j], 9)) << k << " " << j;
    EXPECT_TRUE(AgreesTo(Rec.SSE, Reference.SSE, 9)) << k;
  }
}

TEST_F(MultipleRegressionTest, RejectsBadCountsWithOneMessage) {
  Korlen.SetScanData(false);
  testing::Load(Korlen, testing::ExampleData());
  for (const auto& [k, n] : {std::pair{0, 5}, std::pair{2, 2}, std::pair{2, 20000}, std::pair{25, 100},
                             std::pair{5, 5}}) {
    TMessageRecorder Messages;
    const TMultStatRec Rec = Korlen.MVRegression(Korlen.PRegressData, Korlen.Y, k, n);
    EXPECT_EQ(Messages.Texts(), std::vector<std::string>{"Number of vars must be > 0, and n > 2"}) << k << " " << n;
    EXPECT_EQ(Rec.N, 0);
    EXPECT_EQ(Rec.R, 0);
  }
}

TEST_F(MultipleRegressionTest, NEqualsKPlusOneFailsInSummaryThenReachesCaller) {
  Korlen.SetScanData(false);
  testing::TDataSet Data = testing::ExampleData();
  for (auto& Column : Data.Columns) Column.resize(3);
  Data.Y.resize(3);
  testing::Load(Korlen, Data);
  const TMatrix Inv = [&] {
    Extended Det;
    return Korlen.InvertMatrix(Korlen.CrossProducts(Korlen.PRegressData, 2, 3), 3, Det);
  }();
  TMessageRecorder Messages;
  EXPECT_THROW(Korlen.ComputeResults(Korlen.PRegressData, Korlen.Y, Inv, 2, 3), EMathError);
  EXPECT_EQ(Messages.Texts(), std::vector<std::string>{"Error computing regression coefficients"});
  EXPECT_THROW(Korlen.MVRegression(Korlen.PRegressData, Korlen.Y, 2, 3), EMathError);
}

TEST_F(MultipleRegressionTest, SingularDesignShowsInversionMessages) {
  Korlen.SetScanData(false);
  testing::TDataSet Data{{{1, 2, 3, 4, 5}, {2, 4, 6, 8, 10}}, {1, 3, 2, 5, 4}};
  testing::Load(Korlen, Data);
  TMessageRecorder Messages;
  try {
    Korlen.MVRegression(Korlen.PRegressData, Korlen.Y, 2, 5);
  } catch (const EMathError&) {
  }
  EXPECT_GE(Messages.Count("Error div by 0 inverting matrices"), 3);
}

TEST_F(MultipleRegressionTest, WithoutPrepareRowZeroIsWhatTheCallerLeft) {
  Korlen.SetScanData(false);
  testing::Load(Korlen, testing::ExampleData());
  (*Korlen.PRegressData)[0].fill(1.01);
  const TMultStatRec Wrong = Korlen.MVRegression(Korlen.PRegressData, Korlen.Y, 2, 5);
  EXPECT_FALSE(AgreesTo(Wrong.Beta[0], -66.0833333333, 3));
}

TEST_F(MultipleRegressionTest, CalcYValueUsesTheRecordsCoefficients) {
  TMultStatRec Rec{};
  Rec.K = 2;
  Rec.Beta[0] = 1;
  Rec.Beta[1] = 2;
  Rec.Beta[2] = 3;
  TVector X{};
  X[0] = 10;
  X[1] = 100;
  X[2] = 1000;  // beyond K: not used
  EXPECT_EQ(Korlen.MVCalcYValue(Rec, X), 321);
  Rec.K = 0;
  EXPECT_EQ(Korlen.MVCalcYValue(Rec, X), 1);
  Rec.K = 200;  // more than the vectors hold
  EXPECT_EQ(Korlen.MVCalcYValue(Rec, X), 0);
}

TEST_F(MultipleRegressionTest, CrossProductsImplyTheConstantColumn) {
  testing::Load(Korlen, testing::ExampleData());
  const TMatrix M = Korlen.CrossProducts(Korlen.PRegressData, 2, 5);
  EXPECT_EQ(M[0][0], 5);
  EXPECT_EQ(M[0][1], 15);
  EXPECT_EQ(M[1][0], 15);
  EXPECT_EQ(M[0][2], 116);
  EXPECT_EQ(M[1][1], 55);
  EXPECT_EQ(M[2][2], 2718);
  EXPECT_EQ(M[1][2], 1*21 + 2*20 + 3*25 + 4*24 + 5*26);
  EXPECT_EQ(M[2][1], M[1][2]);
  EXPECT_EQ(M[3][3], 0);
  EXPECT_EQ(Korlen.CrossProducts(Korlen.PRegressData, 2, 2)[0][0], 0);
}

class DataScanTest : public MultipleRegressionTest {
 protected:
  bool Scan(std::vector<std::vector<double>> Columns) {
    testing::TDataSet Data{Columns, std::vector<double>(Columns[0].size(), 1.0)};
    testing::Load(Korlen, Data);
    return Korlen.MVCheckXData(Korlen.PRegressData, Data.K(), Data.N());
  }
};

TEST_F(DataScanTest, RejectsSimilarTotalsAndZeroSums) {
  TMessageRecorder Messages;
  EXPECT_FALSE(Scan({{1, 2, 3, 4, 5}, {1.1, 2.1, 3.1, 4.1, 5.1}}));  // D = 0.5
  EXPECT_TRUE(Scan({{1, 2, 3, 4, 5}, {2, 3, 4, 5, 6}}));             // D = 5
  EXPECT_TRUE(Scan({{0.005, 0, 0, 0, 0}, {2, 3, 4, 5, 6}}));         // one zero sum
  EXPECT_FALSE(Scan({{0.005, 0, 0, 0, 0}, {0, 0.004, 0, 0, 0}, {2, 3, 4, 5, 6}}));
  EXPECT_FALSE(Scan({{1, 2}, {5, 9}}));  // k = n: sums not formed, two zero sums
  EXPECT_TRUE(Messages.Messages().empty());
}

TEST_F(DataScanTest, RejectedDataEndRegressionSilently) {
  testing::Load(Korlen, {{{1, 2, 3, 4, 5}, {1.1, 2.05, 3.15, 4.1, 5.1}}, {12, 23, 46, 32, 39}});
  TMessageRecorder Messages;
  EXPECT_EQ(Korlen.MVRegression(Korlen.PRegressData, Korlen.Y, 2, 5).N, 0);
  EXPECT_EQ(Korlen.MVRegression(Korlen.PRegressData, Korlen.Y, 30, 5).N, 0);
  EXPECT_TRUE(Messages.Messages().empty());
  Korlen.SetScanData(false);
  EXPECT_EQ(Korlen.MVRegression(Korlen.PRegressData, Korlen.Y, 2, 5).N, 5);
}

TEST_F(DataScanTest, NonFiniteDataIsAFault) {
  TMessageRecorder Messages;
  EXPECT_FALSE(Scan({{1, 2, NAN, 4, 5}, {2, 3, 4, 5, 6}}));
  EXPECT_EQ(Messages.Texts(), std::vector<std::string>{"Error occurred in  CheckData"});
  Korlen.SetScanData(false);
  (*Korlen.PRegressData)[1][2] = INFINITY;
  EXPECT_THROW(Korlen.MVRegression(Korlen.PRegressData, Korlen.Y, 2, 5), EMathError);
}

TEST_F(MultipleRegressionTest, NeverReadsBeyondTheCallersStorage) {
  testing::Load(Korlen, testing::ExampleData());
  TMessageRecorder Messages;
  const std::vector<double> Short{12, 23, 46};
  EXPECT_EQ(Korlen.MVRegression(Korlen.PRegressData, Short, 2, 5).N, 0);
  EXPECT_EQ(Korlen.MVRegression(nullptr, Korlen.Y, 2, 5).N, 0);
  EXPECT_EQ(Korlen.ComputeResults(Korlen.PRegressData, Short, TMatrix{}, 2, 5).N, 0);
  EXPECT_EQ(Korlen.ComputeResults(Korlen.PRegressData, Korlen.Y, TMatrix{}, 25, 5).N, 0);
  EXPECT_FALSE(Korlen.MVCheckXData(nullptr, 2, 5));
  EXPECT_EQ(Korlen.CrossProducts(nullptr, 2, 5)[0][0], 0);
  EXPECT_TRUE(Messages.Messages().empty());
}

// Found by fuzzing: a count below 1 reached the degrees of freedom, and
// n - 1 overflowed for the smallest int.
TEST_F(MultipleRegressionTest, ComputeResultsRejectsCountsWithoutObservations) {
  testing::Load(Korlen, testing::ExampleData());
  TMessageRecorder Messages;
  for (const int n : {0, -1, std::numeric_limits<int>::min()}) {
    const TMultStatRec Rec = Korlen.ComputeResults(Korlen.PRegressData, Korlen.Y, TMatrix{}, 2, n);
    EXPECT_EQ(Rec.N, 0);
    EXPECT_EQ(Rec.DFTot, 0);
  }
  EXPECT_TRUE(Messages.Messages().empty());
}

}  // namespace
}  // namespace varnel
