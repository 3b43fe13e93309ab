// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "varnel/korlen.h"
#include "varnel/testing/data_sets.h"
#include "varnel/testing/message_recorder.h"
#include "varnel/testing/reference_diagnostics.h"

namespace varnel {
namespace {

using testing::TMessageRecorder;
using TTexts = std::vector<std::string>;
using TOperation = void (TKorlen::*)(const TRegressData*, std::span<const double>, std::span<double>, Byte, int);

const TOperation kCIUpper = &TKorlen::MVPredictedYCIUpper, kCILower = &TKorlen::MVPredictedYCILower,
                 kPIUpper = &TKorlen::MVPredictedYPIUpper, kPILower = &TKorlen::MVPredictedYPILower;

class IntervalsTest : public ::testing::Test {
 protected:
  TKorlen Korlen;
  std::vector<double> Run(TOperation Operation, int k, int n) {
    std::vector<double> Out(MaxObs, 7.0);  // 7: shows what was not cleared
    (Korlen.*Operation)(Korlen.PRegressData, Korlen.Y, Out, k, n);
    return Out;
  }
  static bool AllZeroFrom(const std::vector<double>& Out, int From) {
    return std::all_of(Out.begin() + From, Out.end(), [](double v) { return v == 0; });
  }
};

TEST_F(IntervalsTest, ExampleGivesTheDocumentedLimits) {
  testing::Load(Korlen, testing::ExampleData());
  TMessageRecorder Messages;
  const double Table[5][4] = {{43.5700, -3.0700, 57.4048, -16.9048},
                              {41.7997, -8.2997, 55.0141, -21.5141},
                              {61.0700, 14.4300, 74.9048, 0.5952},
                              {51.3622, 17.1378, 67.8578, 0.6422},
                              {65.4052, 20.5948, 79.5875, 6.4125}};
  const TOperation Operations[] = {kCIUpper, kCILower, kPIUpper, kPILower};
  for (int c = 0; c < 4; ++c) {
    const std::vector<double> Out = Run(Operations[c], 2, 5);
    for (int i = 0; i < 5; ++i) EXPECT_NEAR(Out[i], Table[i][c], 0.00005) << i << " " << c;
    EXPECT_TRUE(AllZeroFrom(Out, 5));
  }
  EXPECT_TRUE(Messages.Messages().empty());
}

TEST_F(IntervalsTest, LevelWidensSymmetricNestedIntervals) {
  testing::Load(Korlen, testing::ExampleData());
  auto Widths = [&] {
    const auto CU = Run(kCIUpper, 2, 5), CL = Run(kCILower, 2, 5), PU = Run(kPIUpper, 2, 5), PL = Run(kPILower, 2, 5);
    std::vector<double> W;
    for (int i = 0; i < 5; ++i) {
      EXPECT_NEAR(CU[i] + CL[i], PU[i] + PL[i], 1e-12);  // both centred on ŷ
      EXPECT_TRUE(PL[i] < CL[i] && CU[i] < PU[i]);
      W.push_back(CU[i] - CL[i]);
    }
    return W;
  };
  const std::vector<double> At95 = Widths();
  Korlen.SetAlpha(90);
  const std::vector<double> At90 = Widths();
  Korlen.SetAlpha(99);
  const std::vector<double> At99 = Widths();
  for (int i = 0; i < 5; ++i) {
    // The half-width scales with the t value of 2 degrees of freedom.
    EXPECT_NEAR(At90[i] / At95[i], Single(1.886) / Single(2.920), 1e-6);
    EXPECT_NEAR(At99[i] / At95[i], Single(6.965) / Single(2.920), 1e-6);
  }
}

TEST_F(IntervalsTest, HalfWidthsFollowTheLeverages) {
  Korlen.SetScanData(false);
  const testing::TDataSet Data = testing::RandomData(24, 19999, 11);
  testing::Load(Korlen, Data);
  const testing::TReferenceDiagnostics Ref = testing::ReferenceDiagnostics(Data);
  const int n = Data.N(), p = Data.K() + 1;
  const auto CU = Run(kCIUpper, 24, n), PL = Run(kPILower, 24, n);
  // The record's MSE, which the limits use, agrees with the reference to well
  // beyond the digits checked here; 30 and more degrees of freedom use 1.645.
  const long double t = Single(1.645), RootMse = std::sqrt(Ref.SSE / (n - p));
  for (int i = 0; i < n; i += 97) {
    const long double HalfCI = t * std::sqrt(Ref.Hat[i]) * RootMse;
    const long double HalfPI = t * std::sqrt(Ref.Hat[i] + 1) * RootMse;
    EXPECT_NEAR(CU[i], Ref.Fitted[i] + HalfCI, 1e-9 * std::fabs(Ref.Fitted[i])) << i;
    EXPECT_NEAR(PL[i], Ref.Fitted[i] - HalfPI, 1e-9 * std::fabs(Ref.Fitted[i])) << i;
  }
  EXPECT_TRUE(AllZeroFrom(CU, n));
}

TEST_F(IntervalsTest, FailuresNameTheStageReached) {
  Korlen.SetScanData(false);
  testing::TDataSet Data = testing::ExampleData();
  for (auto& Column : Data.Columns) Column.resize(3);
  Data.Y.resize(3);
  testing::Load(Korlen, Data);
  for (TOperation Operation : {kCIUpper, kCILower, kPIUpper, kPILower}) {
    TMessageRecorder Messages;
    EXPECT_TRUE(AllZeroFrom(Run(Operation, 2, 3), 0));
    EXPECT_EQ(Messages.Texts(), (TTexts{"Error computing regression coefficients",
                                        "Error occurred in  MultiVarRegressionCI Initial Calcs"}));
  }
  // Limits beyond the range of double: the fit and its fitted values succeed,
  // the upper limits overflow once they are formed.
  testing::Load(Korlen, {{{1, 2, 3, 4, 5}}, {1e307, 8e307, 2e307, 1.2e308, 1e308}});
  TMessageRecorder Messages;
  const std::vector<double> Out = Run(kPIUpper, 1, 5);
  EXPECT_EQ(Messages.Texts(), TTexts{"Error occurred in  MultiVarRegressionCI After Matrix Inversion"});
  for (int i = 0; i < 3; ++i) EXPECT_GT(Out[i], 1e308);
  EXPECT_TRUE(AllZeroFrom(Out, 3));
}

TEST_F(IntervalsTest, RejectedOrSingularDataLeaveTheLimitsZero) {
  testing::Load(Korlen, {{{1, 2, 3, 4, 5}, {1.1, 2.05, 3.15, 4.1, 5.1}}, {12, 23, 46, 32, 39}});
  {
    TMessageRecorder Messages;
    EXPECT_TRUE(AllZeroFrom(Run(kCIUpper, 2, 5), 0));
    EXPECT_EQ(Messages.Texts(), TTexts{"Error div by 0 inverting matrices"});
  }
  Korlen.SetScanData(false);
  testing::Load(Korlen, {{{1, 2, 3, 4, 5}, {2, 4, 6, 8, 10}}, {1, 3, 2, 5, 4}});
  TMessageRecorder Messages;
  const std::vector<double> Out = Run(kCILower, 2, 5);
  EXPECT_GE(Messages.Count("Error div by 0 inverting matrices"), 1);
  EXPECT_TRUE(AllZeroFrom(Out, 5));
}

TEST_F(IntervalsTest, BadCountsOrStorageClearTheOutputSilently) {
  testing::Load(Korlen, testing::ExampleData());
  TMessageRecorder Messages;
  for (const auto& [k, n] : {std::pair{0, 5}, std::pair{2, 2}, std::pair{2, 20000}, std::pair{25, 30}}) {
    EXPECT_TRUE(AllZeroFrom(Run(kPIUpper, k, n), 0)) << k << " " << n;
  }
  std::vector<double> Short(3, 7.0);
  Korlen.MVPredictedYCIUpper(Korlen.PRegressData, Korlen.Y, Short, 2, 5);
  EXPECT_EQ(Short, std::vector<double>(3, 0.0));
  std::vector<double> Out(MaxObs, 7.0);
  Korlen.MVPredictedYCIUpper(Korlen.PRegressData, std::vector<double>{12, 23, 46}, Out, 2, 5);
  EXPECT_TRUE(AllZeroFrom(Out, 0));
  Korlen.MVPredictedYCIUpper(nullptr, Korlen.Y, Out, 2, 5);
  EXPECT_TRUE(Messages.Messages().empty());
}

}  // namespace
}  // namespace varnel
