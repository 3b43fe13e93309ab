// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "varnel/core/faults.h"
#include "varnel/korlen.h"

namespace varnel {
namespace {

constexpr const char* kStrongPositiveDW =
    "The DW Statistic indicates strong positive serial correlation. It is likely that the residuals sequentially "
    "affect one another. The dependent and independent variables should be examined in detail. ";
constexpr const char* kLowPositiveDW =
    "The DW Statistic indicates low to moderate positive serial correlation. The residuals may sequentially affect "
    "one another and might need further examination. ";
constexpr const char* kNoSerialDW =
    "The DW Statistic indicates the residuals not to be serially correlated. No further examination is necessary. ";
constexpr const char* kLowNegativeDW =
    "The DW Statistic indicates low to moderate negative serial correlation. The residuals may sequentially affect "
    "one another and might need further examination. ";
constexpr const char* kStrongNegativeDW =
    "The DW Statistic indicates strong negative serial correlation. It is likely that the residuals sequentially "
    "affect one another. The dependent and independent variables should be examined in detail. ";
constexpr const char* kNote =
    "Note: Increasingly larger number of variables and/or larger number of observations can often produce large "
    "values of R. ";

std::string RSentence(const std::string& Strength) {
  return "The R Statistic indicates " + Strength +
         " correlation between the independent variables and the dependent variable. ";
}

class InterpretationTest : public ::testing::Test {
 protected:
  TKorlen Korlen;
  static TMultStatRec Model(Extended R, int K, int N) {
    TMultStatRec Rec{};
    Rec.R = R;
    Rec.K = K;
    Rec.N = N;
    return Rec;
  }
};

TEST_F(InterpretationTest, DurbinWatsonBandsIncludeTheirLowerBound) {
  const std::vector<std::pair<Extended, std::string>> Cases = {
      {0, kStrongPositiveDW},        {0.999L, kStrongPositiveDW}, {1, kLowPositiveDW},
      {1.5999L, kLowPositiveDW},      {1.6L, kNoSerialDW},         {2.3999L, kNoSerialDW},
      {2.4L, kLowNegativeDW},         {2.999L, kLowNegativeDW},    {3, kStrongNegativeDW},
      {4.05L, kStrongNegativeDW},     {4.1L, ""},                  {-0.01L, ""},
      {std::nextafter(4.1L, 0.0L), kStrongNegativeDW},
  };
  for (const auto& [DW, Text] : Cases) EXPECT_EQ(Korlen.InterpretDWStatistic(DW), Text) << static_cast<double>(DW);
  EXPECT_THROW(Korlen.InterpretDWStatistic(std::numeric_limits<Extended>::quiet_NaN()), EInvalidOp);
}

TEST_F(InterpretationTest, ConditionIndexesReportHighAndZeroEntries) {
  TVector CI{};
  CI[0] = 5;          // exactly 5 is not high
  CI[1] = 5.0001L;
  CI[2] = 0.000005L;  // counts as zero
  CI[3] = -0.00001L;  // the bounds are strict
  CI[4] = 12;
  EXPECT_EQ(Korlen.InterpretConditionIndexes(CI, 5),
            "Condition Indexes Summary (Eigenvalues 1 -  5)\r\n\r\n"
            "A high condition index (>5) was found for eigenvalue :  2\r\n"
            "A cond. index of 0 was found which corresponded to eigenvalue :  3\r\n"
            "A high condition index (>5) was found for eigenvalue :  5\r\n"
            "\r\nNote: Condition index values of 0 result from eigenvalues of 0\r\n");
  CI[2] = 0.00001L;
  EXPECT_EQ(Korlen.InterpretConditionIndexes(CI, 3),
            "Condition Indexes Summary (Eigenvalues 1 -  3)\r\n\r\n"
            "A high condition index (>5) was found for eigenvalue :  2\r\n");
  EXPECT_EQ(Korlen.InterpretConditionIndexes(CI, 0), "Condition Indexes Summary (Eigenvalues 1 -  0)\r\n\r\n");
  TVector Many{};
  Many.fill(1);
  Many[11] = 0;
  EXPECT_EQ(Korlen.InterpretConditionIndexes(Many, 12),
            "Condition Indexes Summary (Eigenvalues 1 - 12)\r\n\r\n"
            "A cond. index of 0 was found which corresponded to eigenvalue : 12\r\n"
            "\r\nNote: Condition index values of 0 result from eigenvalues of 0\r\n");
  EXPECT_EQ(Korlen.InterpretConditionIndexes(Many, 27), "");  // more indexes than the vector holds
}

TEST_F(InterpretationTest, ModelUtilityBandsAndNote) {
  EXPECT_EQ(Korlen.InterpretModelUtility(Model(-1, 1, 10)), RSentence("strong negative overall"));
  EXPECT_EQ(Korlen.InterpretModelUtility(Model(-0.7L, 1, 10)), RSentence("moderate negative overall"));
  EXPECT_EQ(Korlen.InterpretModelUtility(Model(-0.4L, 1, 10)), RSentence("little or no"));
  EXPECT_EQ(Korlen.InterpretModelUtility(Model(0.3999L, 1, 10)), RSentence("little or no"));
  EXPECT_EQ(Korlen.InterpretModelUtility(Model(0.4L, 1, 10)), RSentence("moderate positive overall"));
  EXPECT_EQ(Korlen.InterpretModelUtility(Model(0.7L, 1, 10)), RSentence("strong positive overall"));
  EXPECT_EQ(Korlen.InterpretModelUtility(Model(0.9999L, 3, 30)), RSentence("strong positive overall"));
  EXPECT_EQ(Korlen.InterpretModelUtility(Model(1, 3, 30)), "");
  EXPECT_EQ(Korlen.InterpretModelUtility(Model(-1.0001L, 1, 10)), "");
  EXPECT_EQ(Korlen.InterpretModelUtility(Model(1, 4, 10)), kNote);
  EXPECT_EQ(Korlen.InterpretModelUtility(Model(0.5L, 3, 31)), RSentence("moderate positive overall") + kNote);
}

TEST_F(InterpretationTest, BetaParametersAgainstTheThreshold) {
  TMultStatRec Rec{};
  Rec.K = 4;
  Rec.Beta = {2, -2, 0.5L, 1, -1, 7};  // Beta[5] lies beyond K and is not read
  EXPECT_EQ(Korlen.InterpretModelBetaParameters(Rec, 1),
            "The following \xDF parameters were => threshold (+): 0 3 \r\n"
            "The following \xDF parameters were <= threshold (-): 1 4 \r\n"
            "These \xDF values were < abs(threshold): 2 \r\n");
  // A negative threshold is used as given: everything is both >= t and <= -t.
  Rec.K = 1;
  EXPECT_EQ(Korlen.InterpretModelBetaParameters(Rec, -3),
            "The following \xDF parameters were => threshold (+): 0 1 \r\n"
            "The following \xDF parameters were <= threshold (-): 0 1 \r\n"
            "These \xDF values were < abs(threshold): \r\n");
  Rec.K = 0;
  Rec.Beta[0] = 0;
  EXPECT_EQ(Korlen.InterpretModelBetaParameters(Rec, 0),
            "The following \xDF parameters were => threshold (+): 0 \r\n"
            "The following \xDF parameters were <= threshold (-): 0 \r\n"
            "These \xDF values were < abs(threshold): \r\n");
  Rec.K = 26;
  EXPECT_EQ(Korlen.InterpretModelBetaParameters(Rec, 1), "");
}

TEST_F(InterpretationTest, VariableUtilityUsesStrictBounds) {
  TUnivarStatRec Rec{};
  Rec.NVars = 5;
  Rec.Skew = {0.5L, -0.5L, 0.5001L, -0.5001L, 0};
  Rec.Kurtosis = {2.5L, 3.5L, 3.5001L, 2.4999L, 3};
  Rec.Skew[5] = 9;  // beyond NVars
  EXPECT_EQ(Korlen.InterpretVariableUtility(Rec),
            "Variables found to have atypical skewness: 3 (Positive), 4 (Negative), \r\n"
            "Variables found to have atypical kurtosis: 3 4 ");
  Rec.NVars = 0;
  EXPECT_EQ(Korlen.InterpretVariableUtility(Rec),
            "Variables found to have atypical skewness: \r\nVariables found to have atypical kurtosis: ");
}

TEST_F(InterpretationTest, HighCorrelationsReadTheLowerTriangleOnly) {
  TMatrix R{};
  R[1][0] = -0.7001L;  // pair 2|1
  R[2][0] = 0.7001L;   // pair 3|1
  R[2][1] = -0.7L;     // on the bound: not listed
  R[3][2] = -0.95L;    // pair 4|3
  R[3][1] = 0.7L;
  R[0][3] = 0.99L;     // upper triangle: never read
  R[0][0] = 1;
  EXPECT_EQ(Korlen.InterpretHighXCorrelations(R, 4),
            "Strong negative correlation exists between the following pair of independent variables:  2|1 4|3 \r\n"
            "Strong positive correlation exists between the following pair of independent variables: 3|1 \r\n");
  EXPECT_EQ(Korlen.InterpretHighXCorrelations(R, 1),
            "Strong negative correlation exists between the following pair of independent variables:  <none>. \r\n"
            "Strong positive correlation exists between the following pair of independent variables:  <none> \r\n");
  EXPECT_EQ(Korlen.InterpretHighXCorrelations(R, 27), "");
}

TEST_F(InterpretationTest, OutliersAreNumberedFromZero) {
  const std::vector<double> z = {2.5, -2.5001, 2.0, -1.9999, 3, -2.1, 0};
  EXPECT_EQ(Korlen.InterpretOutliers(z, 7),
            "Strong Outliers   (z[i]> 2.5): 1,4,\r\nModerate Outliers (z[i]> 2.0): 0,2,5,\r\n");
  EXPECT_EQ(Korlen.InterpretOutliers(z, 0), "Strong Outliers   (z[i]> 2.5): \r\nModerate Outliers (z[i]> 2.0): \r\n");
  EXPECT_EQ(Korlen.InterpretOutliers(z, 8), "");  // more values than the array holds
  const std::vector<double> Bad = {1, std::numeric_limits<double>::quiet_NaN()};
  EXPECT_THROW(Korlen.InterpretOutliers(Bad, 2), EInvalidOp);
}

}  // namespace
}  // namespace varnel
