// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "varnel/korlen.h"
#include "varnel/testing/digits.h"
#include "varnel/testing/data_sets.h"
#include "varnel/testing/message_recorder.h"
#include "varnel/testing/reference_diagnostics.h"

namespace varnel {
namespace {

using testing::AgreesTo;
using testing::TMessageRecorder;
using TTexts = std::vector<std::string>;

class DiagnosticsTest : public ::testing::Test {
 protected:
  TKorlen Korlen;
  std::vector<double> Out = std::vector<double>(MaxObs, 7.0);  // 7: shows what was not cleared
  using TOperation = void (TKorlen::*)(const TRegressData*, std::span<const double>, std::span<double>, Byte, int);

  void Run(TOperation Operation, int k, int n) {
    std::fill(Out.begin(), Out.end(), 7.0);
    (Korlen.*Operation)(Korlen.PRegressData, Korlen.Y, Out, k, n);
  }
  void Leverages(int k, int n) {
    std::fill(Out.begin(), Out.end(), 7.0);
    Korlen.MVLeverages(Korlen.PRegressData, Out, k, n);
  }
  bool AllZeroFrom(int From) const {
    return std::all_of(Out.begin() + From, Out.end(), [](double v) { return v == 0; });
  }
  void LoadFirst(int n) {
    testing::TDataSet Data = testing::ExampleData();
    for (auto& Column : Data.Columns) Column.resize(n);
    Data.Y.resize(n);
    testing::Load(Korlen, Data);
  }
};

TEST_F(DiagnosticsTest, ExampleGivesTheDocumentedValues) {
  testing::Load(Korlen, testing::ExampleData());
  TMessageRecorder Messages;
  const double s = std::sqrt(98.125L);
  const double e[] = {-8.25, 6.25, 8.25, -2.25, -4}, h[] = {0.65, 0.75, 0.65, 0.35, 0.6};
  const double Fitted[] = {20.25, 16.75, 37.75, 34.25, 43};
  const double Student[] = {-1.40776, 1.26189, 1.40776, -0.281732, -0.638470};
  const double Cook[] = {1.22683, 1.59236, 1.22683, 0.0142464, 0.203822};

  Run(&TKorlen::MVPredictedY, 2, 5);
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(AgreesTo(Out[i], Fitted[i], 12)) << i;
  EXPECT_TRUE(AllZeroFrom(5));
  Run(&TKorlen::MVResiduals, 2, 5);
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(AgreesTo(Out[i], e[i], 11)) << i;
  EXPECT_TRUE(AllZeroFrom(5));
  Leverages(2, 5);
  long double Sum = 0;
  for (int i = 0; i < 5; ++i) {
    EXPECT_TRUE(AgreesTo(Out[i], h[i], 12)) << i;
    Sum += Out[i];
  }
  EXPECT_TRUE(AgreesTo(Sum, 3, 12));
  EXPECT_TRUE(AllZeroFrom(5));
  Run(&TKorlen::MVStdResiduals, 2, 5);
  EXPECT_TRUE(AgreesTo(Out[0], -0.832845, 6));
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(AgreesTo(Out[i], e[i] / s, 11)) << i;
  EXPECT_TRUE(AllZeroFrom(5));
  Run(&TKorlen::MVStudentResiduals, 2, 5);
  for (int i = 0; i < 5; ++i) {
    EXPECT_TRUE(AgreesTo(Out[i], Student[i], 5)) << i;
    EXPECT_TRUE(AgreesTo(Out[i], e[i] / (s * std::sqrt(1 - h[i])), 11)) << i;
  }
  EXPECT_TRUE(AllZeroFrom(5));
  Run(&TKorlen::MVCooksDistance, 2, 5);
  for (int i = 0; i < 5; ++i) {
    EXPECT_TRUE(AgreesTo(Out[i], Cook[i], 5)) << i;
    EXPECT_TRUE(AgreesTo(Out[i], e[i] * e[i] * h[i] / ((1 - h[i]) * (1 - h[i]) * 3 * 98.125), 11)) << i;
  }
  EXPECT_TRUE(AllZeroFrom(5));
  EXPECT_TRUE(AgreesTo(Korlen.DurbinWatson(Korlen.PRegressData, Korlen.Y, 2, 5), 327.5625L / 196.25L, 12));
  EXPECT_TRUE(Messages.Messages().empty());
}

TEST_F(DiagnosticsTest, AgreesWithAnIndependentComputation) {
  Korlen.SetScanData(false);
  struct TCase {
    testing::TDataSet Data;
    int Digits, CookDigits;
  };
  // On Longley the coefficients of the normal equations keep about 10 digits
  // and the residuals, 200 times smaller than Y, about 8; Cook's distance
  // squares the residual and so keeps one digit less.
  const TCase Cases[] = {{testing::LongleyData(), 8, 7},
                         {testing::RandomData(3, 50, 5), 10, 10},
                         {testing::RandomData(8, 1000, 6), 10, 10},
                         {testing::RandomData(24, 19999, 7), 9, 9}};
  for (const TCase& Case : Cases) {
    const testing::TDataSet& Data = Case.Data;
    const int k = Data.K(), n = Data.N();
    testing::Load(Korlen, Data);
    const testing::TReferenceDiagnostics Ref = testing::ReferenceDiagnostics(Data);
    const long double s = std::sqrt(Ref.SSE / (n - k - 1));
    auto Check = [&](const char* Name, const std::vector<long double>& Want, long double Scale, int Digits) {
      int Failures = 0;
      for (int i = 0; i < n && Failures < 3; ++i) {
        const auto Result = AgreesTo(Out[i], Want[i], Digits, Scale);
        if (!Result) ++Failures;
        EXPECT_TRUE(Result) << Name << " k=" << k << " i=" << i;
      }
    };
    // A value near zero keeps the digits of its scale (the residual standard
    // deviation, 1 for the scaled residuals, 1 / n for Cook's distance), not its own.
    Run(&TKorlen::MVResiduals, k, n);
    Check("residual", Ref.Residuals, s, Case.Digits);
    Run(&TKorlen::MVStdResiduals, k, n);
    Check("standardised", Ref.Standardised, 1, Case.Digits);
    Run(&TKorlen::MVStudentResiduals, k, n);
    Check("studentised", Ref.Studentised, 1, Case.Digits);
    Leverages(k, n);
    Check("leverage", Ref.Hat, 0, Case.Digits);
    Run(&TKorlen::MVCooksDistance, k, n);
    Check("Cook", Ref.Cook, 1.0L / n, Case.CookDigits);
    EXPECT_TRUE(AgreesTo(Korlen.DurbinWatson(Korlen.PRegressData, Korlen.Y, k, n), Ref.DurbinWatson, Case.Digits));
  }
}

TEST_F(DiagnosticsTest, BadCountsOrStorageClearTheOutputSilently) {
  testing::Load(Korlen, testing::ExampleData());
  TMessageRecorder Messages;
  const TOperation Operations[] = {&TKorlen::MVPredictedY, &TKorlen::MVResiduals, &TKorlen::MVStdResiduals,
                                   &TKorlen::MVStudentResiduals, &TKorlen::MVCooksDistance};
  for (const auto& [k, n] : {std::pair{0, 5}, std::pair{2, 2}, std::pair{2, 20000}, std::pair{25, 30}}) {
    for (TOperation Operation : Operations) {
      Run(Operation, k, n);
      EXPECT_TRUE(AllZeroFrom(0)) << k << " " << n;
    }
    Leverages(k, n);
    EXPECT_TRUE(AllZeroFrom(0));
    EXPECT_EQ(Korlen.DurbinWatson(Korlen.PRegressData, Korlen.Y, k, n), 0);
  }
  // Storage shorter than n, or no matrix: nothing read or written beyond it.
  const std::vector<double> ShortY{12, 23, 46};
  std::vector<double> ShortOut(3, 7.0);
  for (TOperation Operation : Operations) {
    std::fill(Out.begin(), Out.end(), 7.0);
    (Korlen.*Operation)(Korlen.PRegressData, ShortY, Out, 2, 5);
    EXPECT_TRUE(AllZeroFrom(0));
    (Korlen.*Operation)(nullptr, Korlen.Y, Out, 2, 5);
    EXPECT_TRUE(AllZeroFrom(0));
    (Korlen.*Operation)(Korlen.PRegressData, Korlen.Y, ShortOut, 2, 5);
    EXPECT_EQ(ShortOut, std::vector<double>(3, 0.0));
  }
  EXPECT_EQ(Korlen.DurbinWatson(Korlen.PRegressData, ShortY, 2, 5), 0);
  EXPECT_TRUE(Messages.Messages().empty());
}

TEST_F(DiagnosticsTest, ExactFitFailsWithTheRegressionsMessageThenItsOwn) {
  Korlen.SetScanData(false);
  LoadFirst(3);
  const TTexts Regression{"Error computing regression coefficients"};
  struct TCase {
    TOperation Operation;
    std::string Message;
  } Cases[] = {{&TKorlen::MVPredictedY, "Error occurred in  MultiVarPredictedY"},
               {&TKorlen::MVResiduals, "Error occurred in  MultiVarResiduals"},
               {&TKorlen::MVStdResiduals, "Error occurred in  MultiVarStdResiduals"},
               {&TKorlen::MVCooksDistance, "Error occurred in  CooksDistance"}};
  for (const TCase& Case : Cases) {
    TMessageRecorder Messages;
    Run(Case.Operation, 2, 3);
    EXPECT_EQ(Messages.Texts(), (TTexts{Regression[0], Case.Message}));
    EXPECT_TRUE(AllZeroFrom(0));
  }
  TMessageRecorder Messages;
  EXPECT_EQ(Korlen.DurbinWatson(Korlen.PRegressData, Korlen.Y, 2, 3), 0);
  EXPECT_EQ(Messages.Texts(), (TTexts{Regression[0], "Error occurred in  MultiVarResiduals"}));
  // The studentised residuals report the standardised ones' failure first;
  // every leverage is then 1 within rounding, so no value is worth keeping.
  Messages.Clear();
  Run(&TKorlen::MVStudentResiduals, 2, 3);
  ASSERT_GE(Messages.Texts().size(), 2u);
  EXPECT_EQ(Messages.Texts()[0], Regression[0]);
  EXPECT_EQ(Messages.Texts()[1], "Error occurred in  MultiVarStdResiduals");
  for (int i = 0; i < 3; ++i) EXPECT_LT(std::fabs(Out[i]), 1e-6);
  EXPECT_TRUE(AllZeroFrom(3));
}

TEST_F(DiagnosticsTest, ScanRejectedDataLeaveEverythingZeroWithoutAMessage) {
  testing::Load(Korlen, {{{1, 2, 3, 4, 5}, {1.1, 2.05, 3.15, 4.1, 5.1}}, {12, 23, 46, 32, 39}});
  TMessageRecorder Messages;
  for (TOperation Operation : {&TKorlen::MVPredictedY, &TKorlen::MVResiduals, &TKorlen::MVStdResiduals,
                               &TKorlen::MVStudentResiduals, &TKorlen::MVCooksDistance}) {
    Run(Operation, 2, 5);
    EXPECT_TRUE(AllZeroFrom(0));
  }
  EXPECT_EQ(Korlen.DurbinWatson(Korlen.PRegressData, Korlen.Y, 2, 5), 0);
  EXPECT_TRUE(Messages.Messages().empty());
  // The leverages do not fit a model and so are not scanned.
  Leverages(2, 5);
  EXPECT_GT(Out[0], 0);
}

TEST_F(DiagnosticsTest, SingularDesignShowsTheInversionMessages) {
  Korlen.SetScanData(false);
  testing::Load(Korlen, {{{1, 2, 3, 4, 5}, {2, 4, 6, 8, 10}}, {1, 3, 2, 5, 4}});
  for (TOperation Operation : {&TKorlen::MVResiduals, &TKorlen::MVStudentResiduals, &TKorlen::MVCooksDistance}) {
    TMessageRecorder Messages;
    Run(Operation, 2, 5);
    EXPECT_GE(Messages.Count("Error div by 0 inverting matrices"), 1);
    EXPECT_TRUE(std::all_of(Out.begin(), Out.begin() + 5, [](double v) { return std::isfinite(v); }));
    EXPECT_TRUE(AllZeroFrom(5));
  }
}

TEST_F(DiagnosticsTest, FaultKeepsTheValuesWrittenBeforeIt) {
  Korlen.SetScanData(false);
  testing::Load(Korlen, testing::ExampleData());
  Korlen.Y[3] = NAN;
  TMessageRecorder Messages;
  Run(&TKorlen::MVResiduals, 2, 5);
  EXPECT_EQ(Messages.Texts(), TTexts{"Error occurred in  MultiVarResiduals"});
  EXPECT_TRUE(AllZeroFrom(0));  // the fit itself fails on the NaN
  // A leverage of exactly 1: the observation alone decides its own dummy
  // variable, so its studentised residual and Cook's distance divide by zero.
  testing::Load(Korlen, {{{0, 0, 0, 0, 0, 1}, {1, 2, 3, 4, 5, 6}}, {3, 1, 4, 1, 5, 9}});
  Leverages(2, 6);
  ASSERT_EQ(Out[5], 1.0);
  const TOperation Operations[] = {&TKorlen::MVStudentResiduals, &TKorlen::MVCooksDistance};
  const std::string Texts[] = {"Error occurred in  MultiVarStudentResiduals", "Error occurred in  CooksDistance"};
  for (int c = 0; c < 2; ++c) {
    Messages.Clear();
    Run(Operations[c], 2, 6);
    EXPECT_EQ(Messages.Texts(), TTexts{Texts[c]});
    EXPECT_NE(Out[4], 0);
    EXPECT_TRUE(AllZeroFrom(5));
  }
}

}  // namespace
}  // namespace varnel
