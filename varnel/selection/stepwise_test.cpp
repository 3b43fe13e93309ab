// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "varnel/core/faults.h"
#include "varnel/korlen.h"
#include "varnel/testing/data_sets.h"
#include "varnel/testing/message_recorder.h"
#include "varnel/testing/reference_fit.h"
#include "varnel/testing/report_lines.h"

namespace varnel {
namespace {

using testing::TMessageRecorder;

class CriteriaTest : public ::testing::Test {
 protected:
  TKorlen Korlen;
};

TEST_F(CriteriaTest, MallowsCp) {
  TMessageRecorder Messages;
  EXPECT_NEAR(Korlen.CalcCp(2, 20, 50, 5), 10 - 14, 1e-15);
  EXPECT_NEAR(Korlen.CalcCp(2, 20, 50, 0), 50 - 14, 1e-15);  // zero MSE: the division is left out
  EXPECT_NEAR(Korlen.CalcCp(3, 5, 1, 0.5L), 2 + 3, 1e-15);    // n - 2(p + 1) may be negative
  EXPECT_TRUE(Messages.Messages().empty());
  EXPECT_EQ(Korlen.CalcCp(1, 10, 1e4000L, 1e-4000L), 0);
  EXPECT_EQ(Messages.Texts(), std::vector<std::string>{"Error occurred in  CalcCp"});
}

// Found by fuzzing: the degrees of freedom overflowed int for extreme n.
TEST_F(CriteriaTest, ExtremeCountsDoNotOverflowTheDegreesOfFreedom) {
  constexpr int kMin = std::numeric_limits<int>::min(), kMax = std::numeric_limits<int>::max();
  EXPECT_EQ(Korlen.CalcCp(1, kMin, 0, 1), 2147483652.0L);  // 0 - (n - 4)
  EXPECT_EQ(Korlen.CalcCp(0, kMax, 0, 1), -2147483645.0L);
  EXPECT_EQ(Korlen.CalcMSEp(1, kMin, 2147483650.0L), -1);  // n - 2 = -2147483650
  EXPECT_NEAR(Korlen.CalcFp(2, 1, 0.5L, 0.5L, kMin), 0, 1e-30);
  EXPECT_GT(Korlen.CalcFp(2, 1, 0.4L, 0.5L, kMax), 1e8);
}

TEST_F(CriteriaTest, PartialF) {
  TMessageRecorder Messages;
  EXPECT_NEAR(Korlen.CalcFp(4, 2, 0.5L, 0.8L, 30), (0.3L / 2) / (0.2L / 25), 1e-15);
  EXPECT_EQ(Korlen.CalcFp(3, 3, 0.5L, 0.9L, 30), 0);  // nothing dropped
  EXPECT_EQ(Korlen.CalcFp(3, 1, 0.5L, 0.9L, 4), 0);   // no error degrees of freedom
  EXPECT_TRUE(Messages.Messages().empty());
  EXPECT_EQ(Korlen.CalcFp(3, 1, 0.5L, 1, 30), 0);     // a perfect full model
  EXPECT_EQ(Messages.Texts(), std::vector<std::string>{"Error occurred in  CalcFp"});
}

TEST_F(CriteriaTest, SubModelMSE) {
  TMessageRecorder Messages;
  EXPECT_NEAR(Korlen.CalcMSEp(2, 10, 14), 2, 1e-18);
  EXPECT_EQ(Korlen.CalcMSEp(2, 3, 5), 0);
  EXPECT_TRUE(Messages.Messages().empty());
  EXPECT_EQ(Korlen.CalcMSEp(1, 10, std::nan("")), 0);
  EXPECT_EQ(Messages.Texts(), std::vector<std::string>{"Error occurred in  CalcMSEp"});
}

// Splits a stepwise report after its title into the per-model blocks, each
// ending in its criteria line and two empty lines.
std::vector<std::string> Blocks(const std::string& Report) {
  std::vector<std::string> Result;
  std::size_t Start = Report.find("\r\n") + 2;
  for (std::size_t At; (At = Report.find("Mallow's C: ", Start)) != std::string::npos;) {
    const std::size_t End = Report.find("\r\n\r\n\r\n", At) + 6;
    Result.push_back(Report.substr(Start, End - Start));
    Start = End;
  }
  return Result;
}

class StepwiseTest : public ::testing::Test {
 protected:
  TKorlen Korlen;
  std::string Forward(const testing::TDataSet& Data, const std::string& Title) {
    testing::Load(Korlen, Data);
    return Korlen.MVStepwiseForward(Korlen.PRegressData, Korlen.Y, Data.K(), Data.N(), Title);
  }
};

TEST_F(StepwiseTest, ForwardReportOnTheExampleData) {
  std::string Expected;
  for (const char* Line : {
           "Example",
           "Regression Summary :  ",
           "",
           "n      =     5",
           "k      =     1",
           "DF Reg =      1",
           "DF Err =      3",
           "DF Tot =      4",
           "",
           "R      =      0.746",
           "R2     =      0.557",
           "F      =      3.764",
           "RMSE   =     10.268",
           "MSR    =    396.900",
           "MSE    =    105.433",
           "SSR    =    396.900",
           "SSE    =    316.300",
           "SST    =    713.200",
           "",
           "Parameter Estimates: ",
           "",
           "Alpha : .95",
           "Beta[0]        11.5000    t calc         1.0679",
           "  Std Err        10.7692  t Crit         2.0150",
           "Beta[1]         6.3000    t calc         1.9402",
           "  Std Err         3.2470  t Crit         2.0150",
           "",
           "Mallow's C:      2.223   F Stat(p) :      1.223   MSE(p) :    105.433 ",
           "",
           "",
           "Regression Summary :  ",
           "",
           "n      =     5",
           "k      =     2",
           "DF Reg =      2",
           "DF Err =      2",
           "DF Tot =      4",
           "",
           "R      =      0.851",
           "R2     =      0.725",
           "F      =      2.634",
           "RMSE   =      9.906",
           "MSR    =    258.475",
           "MSE    =     98.125",
           "SSR    =    516.950",
           "SSE    =    196.250",
           "SST    =    713.200",
           "",
           "Parameter Estimates: ",
           "",
           "Alpha : .95",
           "Beta[0]       -66.0833    t calc        -0.9320",
           "  Std Err        70.9071  t Crit         2.0150",
           "Beta[1]         0.5833    t calc         0.0965",
           "  Std Err         6.0435  t Crit         2.0150",
           "Beta[2]         4.0833    t calc         1.1061",
           "  Std Err         3.6917  t Crit         2.0150",
           "",
           "Mallow's C:      3.000   F Stat(p) :      0.000   MSE(p) :     98.125 ",
           "",
           "",
           "",
       })
    Expected += std::string(Line) + "\r\n";
  TMessageRecorder Messages;
  EXPECT_EQ(Forward(testing::ExampleData(), "Example"), Expected);
  EXPECT_TRUE(Messages.Messages().empty());
}

TEST_F(StepwiseTest, BackwardListsTheForwardBlocksInReverse) {
  Korlen.SetScanData(false);
  const testing::TDataSet Data = testing::RandomData(5, 40, 7);
  const std::string Fwd = Forward(Data, "Nested");
  const std::string Bwd = Korlen.MVStepwiseBackward(Korlen.PRegressData, Korlen.Y, 5, 40, "Nested");
  const auto F = Blocks(Fwd), B = Blocks(Bwd);
  ASSERT_EQ(F.size(), 5u);
  ASSERT_EQ(B.size(), 5u);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(F[i], B[4 - i]) << i;
  EXPECT_EQ(Bwd.substr(0, 8), "Nested\r\n");
  EXPECT_EQ(Bwd.substr(Bwd.size() - 8), "\r\n\r\n\r\n\r\n");
  // The full model's block: nothing dropped, and Cp = SSE/MSE - (n - 2(k+1)) = k + 1.
  const auto Last = testing::ReportLines(F[4]);
  EXPECT_EQ(Last[Last.size() - 3].substr(0, 50), "Mallow's C:      6.000   F Stat(p) :      0.000   ");
  EXPECT_NE(F[4].find("Warning: n is > 30."), std::string::npos);
  EXPECT_NE(F[0].find("k      =     1"), std::string::npos);
}

TEST_F(StepwiseTest, SubModelCriteriaAgreeWithAReferenceFit) {
  Korlen.SetScanData(false);
  const testing::TDataSet Data = testing::RandomData(3, 25, 11);
  const auto B = Blocks(Forward(Data, "T"));
  ASSERT_EQ(B.size(), 3u);
  const long double SSEk = testing::ReferenceLeastSquares(Data).SSE;
  const long double MSEk = SSEk / (25 - 4);
  const long double R2k = 1 - SSEk / Korlen.MVRegression(Korlen.PRegressData, Korlen.Y, 3, 25).SST;
  for (int p = 1; p <= 3; ++p) {
    testing::TDataSet Sub = Data;
    Sub.Columns.resize(p);
    const long double SSEp = testing::ReferenceLeastSquares(Sub).SSE;
    const long double R2p = 1 - SSEp / Korlen.MVRegression(Korlen.PRegressData, Korlen.Y, 3, 25).SST;
    const long double Cp = SSEp / MSEk - (25 - 2 * (p + 1));
    const long double F = p == 3 ? 0 : ((R2k - R2p) / (3 - p)) / ((1 - R2k) / (25 - 3 - 1));
    const auto L = testing::ReportLines(B[p - 1]);
    double ShownCp = 0, ShownF = 0, ShownMSE = 0;
    ASSERT_EQ(std::sscanf(L[L.size() - 3].c_str(), "Mallow's C: %lf   F Stat(p) : %lf   MSE(p) : %lf", &ShownCp,
                          &ShownF, &ShownMSE), 3);
    EXPECT_NEAR(ShownCp, Cp, 0.0005) << p;
    EXPECT_NEAR(ShownF, F, 0.0005) << p;
    EXPECT_NEAR(ShownMSE, SSEp / (25 - p - 1), 0.0005) << p;
  }
}

TEST_F(StepwiseTest, BadCountsGiveTheEmptyTextSilently) {
  testing::Load(Korlen, testing::ExampleData());
  TMessageRecorder Messages;
  for (const auto& [k, n] : {std::pair{0, 5}, std::pair{25, 30}, std::pair{2, 2}, std::pair{2, 20000}}) {
    EXPECT_EQ(Korlen.MVStepwiseForward(Korlen.PRegressData, Korlen.Y, k, n, "T"), "") << k << " " << n;
    EXPECT_EQ(Korlen.MVStepwiseBackward(Korlen.PRegressData, Korlen.Y, k, n, "T"), "") << k << " " << n;
    EXPECT_EQ(Korlen.MVOptimalForwardModel(Korlen.PRegressData, Korlen.Y, k, n), "") << k << " " << n;
  }
  EXPECT_EQ(Korlen.MVStepwiseForward(nullptr, Korlen.Y, 2, 5, "T"), "");
  const std::vector<double> Short(4);
  EXPECT_EQ(Korlen.MVStepwiseForward(Korlen.PRegressData, Short, 2, 5, "T"), "");
  EXPECT_EQ(Korlen.MVOptimalForwardModel(Korlen.PRegressData, Short, 2, 5), "");
  EXPECT_TRUE(Messages.Messages().empty());
}

TEST_F(StepwiseTest, RejectedFitsStillGetTheirCriteriaLine) {
  testing::Load(Korlen, testing::ExampleData());
  TMessageRecorder Messages;
  EXPECT_EQ(Korlen.MVStepwiseForward(Korlen.PRegressData, Korlen.Y, 1, 2, "Two"),
            "Two\r\nMallow's C:      2.000   F Stat(p) :      0.000   MSE(p) :      0.000 \r\n\r\n\r\n\r\n");
  EXPECT_EQ(Messages.Count("Number of vars must be > 0, and n > 2"), 2);
}

TEST_F(StepwiseTest, AFaultPassedOnByTheFitReachesTheCaller) {
  // n = k + 1 leaves no error degrees of freedom: the t values divide by a zero standard error.
  testing::Load(Korlen, testing::ExampleData());
  TMessageRecorder Messages;
  EXPECT_THROW(Korlen.MVStepwiseForward(Korlen.PRegressData, Korlen.Y, 2, 3, "T"), EMathError);
  EXPECT_THROW(Korlen.MVStepwiseBackward(Korlen.PRegressData, Korlen.Y, 2, 3, "T"), EMathError);
  EXPECT_THROW(Korlen.MVOptimalForwardModel(Korlen.PRegressData, Korlen.Y, 2, 3), EMathError);
}

TEST_F(StepwiseTest, OptimalForwardModelPicksTheCpClosestToItsParameters) {
  Korlen.SetScanData(false);
  testing::TDataSet Data = testing::RandomData(4, 30, 3);
  testing::Load(Korlen, Data);
  EXPECT_EQ(Korlen.MVOptimalForwardModel(Korlen.PRegressData, Korlen.Y, 1, 30),
            "Best Stepwise Model (1-at-a-timeBestModel) :   0");
  const long double MSEk = testing::ReferenceLeastSquares(Data).SSE / (30 - 5);
  int Best = 0;
  long double Nearest = 1e20L;
  for (int p = 1; p < 4; ++p) {
    testing::TDataSet Sub = Data;
    Sub.Columns.resize(p);
    const long double D = std::fabs((p + 1) - (testing::ReferenceLeastSquares(Sub).SSE / MSEk - (30 - 2 * (p + 1))));
    if (D < Nearest) Nearest = D, Best = p;
  }
  EXPECT_EQ(Korlen.MVOptimalForwardModel(Korlen.PRegressData, Korlen.Y, 4, 30),
            "Best Stepwise Model (1-at-a-timeBestModel) :   " + std::to_string(Best));
}

}  // namespace
}  // namespace varnel
