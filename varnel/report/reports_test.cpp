// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <string>
#include <vector>

#include "varnel/korlen.h"
#include "varnel/testing/data_sets.h"
#include "varnel/testing/message_recorder.h"
#include "varnel/testing/report_lines.h"

namespace varnel {
namespace {

// The lines joined, each ended by "\r\n".
std::string Lines(std::initializer_list<const char*> L) {
  std::string S;
  for (const char* Line : L) S += std::string(Line) + "\r\n";
  return S;
}

class ReportTest : public ::testing::Test {
 protected:
  TKorlen Korlen;
};

TEST_F(ReportTest, PipedReportListsUpperThenLowerBands) {
  EXPECT_EQ(Korlen.PipedReportString(10, 2.5),
            Lines({"Mean        :     10.0000   StdDev (SD) :      2.5000 ",
                   "1*SD :     12.5000  |      7.5000 ",
                   "2*SD :     15.0000  |      5.0000 ",
                   "3*SD :     17.5000  |      2.5000 ",
                   ""}));
  EXPECT_EQ(Korlen.PipedReportString(-3.25, 0),
            Lines({"Mean        :     -3.2500   StdDev (SD) :      0.0000 ",
                   "1*SD :     -3.2500  |     -3.2500 ",
                   "2*SD :     -3.2500  |     -3.2500 ",
                   "3*SD :     -3.2500  |     -3.2500 ",
                   ""}));
  // A value wider than its field pushes the line out instead of being cut.
  EXPECT_EQ(testing::ReportLines(Korlen.PipedReportString(123456789, 1))[3],
            "3*SD :  123456792.0000  |  123456786.0000 ");
}

TEST_F(ReportTest, EquationsKeepTheirSignsAndSpacing) {
  TBivarStatRec Bv{};
  Bv.B0 = 12.34;
  Bv.B1 = -0.5;
  EXPECT_EQ(Korlen.BVEquationString(Bv), "y =    12.3400 +    -0.5000x\r\n");
  TMultStatRec Mv{};
  Mv.Beta[0] = -1.5;
  EXPECT_EQ(Korlen.MVEquationString(Mv), "Eq: y =   -1.5000 \r\n");
  Mv.K = 3;
  Mv.Beta[1] = 2;
  Mv.Beta[2] = -0.25;
  Mv.Beta[3] = 123456.789;
  EXPECT_EQ(Korlen.MVEquationString(Mv),
            "Eq: y =   -1.5000  +     2.0000 x1 +    -0.2500 x2 +  123456.7890 x3\r\n");
  Mv.K = 25;  // beyond the coefficient vector's predictors
  EXPECT_EQ(Korlen.MVEquationString(Mv), "");
}

TEST_F(ReportTest, BivariateMemoOnARisingLine) {
  TBivarStatRec Rec{};  // X = 1..5, Y = 2, 1, 4, 3, 5
  Rec.N = 5;
  Rec.DF = 3;
  Rec.R = 0.8L;
  Rec.MeanX = Rec.MeanY = 3;
  Rec.B0 = 0.6L;
  Rec.B1 = 0.8L;
  Rec.SXX = Rec.SYY = 10;
  Rec.SXY = 8;
  testing::TMessageRecorder Messages;
  EXPECT_EQ(Korlen.BVRegressionMemo("Small", Rec),
            Lines({"Small", "", "y =     0.6000 +     0.8000x", "",
                   "n                 :     5",
                   "Correlation (X|Y) :     0.8000",
                   "Intercept (\xDF" "0)    :     0.6000",
                   "Slope (\xDF" "1)        :     0.8000",
                   "  Test Stat       :     2.3094",
                   "  C Interval (-)  :    -0.0151",
                   "  C Interval (+)  :     1.6151",
                   "  Alpha (.95 )",
                   "X Mean            :     3.0000",
                   "Y Mean            :     3.0000"}));
  EXPECT_TRUE(Messages.Messages().empty());
}

TEST_F(ReportTest, BivariateMemoOnAFallingLineAtLevel90) {
  TBivarStatRec Rec{};  // X = 1..35, Y = 200 - 3x + ((5x mod 9) - 4)
  Rec.N = 35;
  Rec.DF = 33;
  Rec.R = -0.99651828460434317227L;
  Rec.MeanX = 18;
  Rec.MeanY = 5114.0L / 35;
  Rec.B0 = 199.87226890756302521L;
  Rec.B1 = -2.98655462184873949580L;
  Rec.SXX = 3570;
  Rec.SYY = 1122294.0L / 35;
  Rec.SXY = -10662;
  const std::string Text = Korlen.BVRegressionMemo("Falling", Rec);
  EXPECT_EQ(Text, Lines({"Falling", "", "y =   199.8723 +    -2.9866x", "",
                         "n                 :    35",
                         "Correlation (X|Y) :    -0.9965",
                         "Intercept (\xDF" "0)    :   199.8723",
                         "Slope (\xDF" "1)        :    -2.9866",
                         "  Test Stat       :   -68.6608",
                         "  C Interval (-)  :    -3.0581",
                         "  C Interval (+)  :    -2.9150",
                         "  Alpha (.95 )",
                         "X Mean            :    18.0000",
                         "Y Mean            :   146.1143"}));
  // The same record as the simple regression computes it.
  std::vector<double> X, Y;
  for (int x = 1; x <= 35; ++x) {
    X.push_back(x);
    Y.push_back(200 - 3 * x + (x * 5) % 9 - 4);
  }
  EXPECT_EQ(Korlen.BVRegressionMemo("Falling", Korlen.BVRegression(X, Y, 35)), Text);
  Korlen.SetAlpha(90);
  const auto L = testing::ReportLines(Korlen.BVRegressionMemo("Falling", Rec));
  ASSERT_EQ(L.size(), 14u);
  EXPECT_EQ(L[11], "  Alpha (.90 )");
  // 1.282 instead of 1.645 narrows the interval.
  EXPECT_EQ(L[9], "  C Interval (-)  :    -3.0423");
  EXPECT_EQ(L[10], "  C Interval (+)  :    -2.9308");
}

class MultipleMemoTest : public ReportTest {
 protected:
  TMultStatRec Fit(const testing::TDataSet& Data) {
    testing::Load(Korlen, Data);
    return Korlen.MVRegression(Korlen.PRegressData, Korlen.Y, Data.K(), Data.N());
  }
  // A record whose parameters carry the given t values and n observations.
  static TMultStatRec WithT(int n, std::initializer_list<Extended> T) {
    TMultStatRec Rec{};
    Rec.N = n;
    Rec.K = static_cast<int>(T.size()) - 1;
    int j = 0;
    for (Extended t : T) Rec.TCalc[j++] = t;
    return Rec;
  }
};

TEST_F(MultipleMemoTest, ExampleDataBelowTheCriticalValue) {
  EXPECT_EQ(Korlen.MVRegressionMemo(Fit(testing::ExampleData())),
            Lines({"Regression Summary :  ", "",
                   "n      =     5", "k      =     2",
                   "DF Reg =      2", "DF Err =      2", "DF Tot =      4", "",
                   "R      =      0.851", "R2     =      0.725", "F      =      2.634",
                   "RMSE   =      9.906", "MSR    =    258.475", "MSE    =     98.125",
                   "SSR    =    516.950", "SSE    =    196.250", "SST    =    713.200", "",
                   "Parameter Estimates: ", "",
                   "Alpha : .95",
                   "Beta[0]       -66.0833    t calc        -0.9320",
                   "  Std Err        70.9071  t Crit         2.0150",
                   "Beta[1]         0.5833    t calc         0.0965",
                   "  Std Err         6.0435  t Crit         2.0150",
                   "Beta[2]         4.0833    t calc         1.1061",
                   "  Std Err         3.6917  t Crit         2.0150",
                   ""}));
}

TEST_F(MultipleMemoTest, LargeSampleWithNegativeSlopeAndTOnBothSides) {
  testing::TDataSet Data;
  Data.Columns.assign(2, {});
  for (int i = 1; i <= 32; ++i) {
    Data.Columns[0].push_back(i);
    Data.Columns[1].push_back((i * 7) % 11);
    Data.Y.push_back((500 - 25 * i + (i * 7) % 11 + 10 * ((i * 13) % 7) - 30) / 10.0);
  }
  EXPECT_EQ(Korlen.MVRegressionMemo(Fit(Data)),
            Lines({"Regression Summary :  ", "",
                   "n      =    32", "k      =     2",
                   "DF Reg =      2", "DF Err =     29", "DF Tot =     31", "",
                   "R      =      0.997", "R2     =      0.993", "F      =   2109.439",
                   "RMSE   =      2.022", "MSR    =   8620.384", "MSE    =      4.087",
                   "SSR    =  17240.769", "SSE    =    118.511", "SST    =  17359.280", "",
                   "Parameter Estimates: ", "",
                   "Alpha : .95",
                   "Warning: n is > 30.", "",
                   "Beta[0]        51.1522    t calc        52.8567*",
                   "  Std Err         0.9678  t Crit         1.6450",
                   "Beta[1]        -2.5146    t calc       -64.8749*",
                   "  Std Err         0.0388  t Crit         1.6450",
                   "Beta[2]        -0.0402    t calc        -0.3466",
                   "  Std Err         0.1161  t Crit         1.6450",
                   ""}));
}

TEST_F(MultipleMemoTest, UnusableModelsGiveTheEmptyText) {
  EXPECT_EQ(Korlen.MVRegressionMemo(WithT(5, {1})), "");        // k = 0
  EXPECT_EQ(Korlen.MVRegressionMemo(WithT(2, {1, 1})), "");     // n = 2
  TMultStatRec Wide = WithT(40, {1, 1});
  Wide.K = 25;
  EXPECT_EQ(Korlen.MVRegressionMemo(Wide), "");
  const auto L = testing::ReportLines(Korlen.MVRegressionMemo(WithT(3, {1, 1})));
  ASSERT_EQ(L.size(), 26u);  // n = 3, k = 1: the full report
  EXPECT_EQ(L[2], "n      =     3");
  EXPECT_EQ(L[22], "  Std Err         0.0000  t Crit         2.3530");  // the table read at df = n
}

TEST_F(MultipleMemoTest, WarningStartsAboveThirtyObservations) {
  const auto At30 = testing::ReportLines(Korlen.MVRegressionMemo(WithT(30, {0, 0})));
  const auto At31 = testing::ReportLines(Korlen.MVRegressionMemo(WithT(31, {0, 0})));
  EXPECT_EQ(At31.size(), At30.size() + 2);
  EXPECT_EQ(At30[20], "Alpha : .95");
  EXPECT_EQ(At30[21], "Beta[0]         0.0000    t calc         0.0000");
  EXPECT_EQ(At31[21], "Warning: n is > 30.");
  EXPECT_EQ(At31[22], "");
  EXPECT_EQ(At31[23], "Beta[0]         0.0000    t calc         0.0000");
}

TEST_F(MultipleMemoTest, StarComparesAgainstTheSinglePrecisionCriticalValue) {
  const Extended Crit = 1.645f;  // the table value for n of 30 or more at 95
  const Extended Above = std::nextafter(Crit, 2.0L);
  const Extended Decimal = 1.645L;  // the decimal value lies above the single
  const auto L = testing::ReportLines(Korlen.MVRegressionMemo(WithT(31, {Crit, -Crit, Above, -Above, Decimal})));
  ASSERT_EQ(L.size(), 34u);
  EXPECT_EQ(L[23], "Beta[0]         0.0000    t calc         1.6450");
  EXPECT_EQ(L[25], "Beta[1]         0.0000    t calc        -1.6450");
  EXPECT_EQ(L[27], "Beta[2]         0.0000    t calc         1.6450*");
  EXPECT_EQ(L[29], "Beta[3]         0.0000    t calc        -1.6450*");
  EXPECT_EQ(L[31], "Beta[4]         0.0000    t calc         1.6450*");
  EXPECT_EQ(L[24], "  Std Err         0.0000  t Crit         1.6450");
}

TEST_F(MultipleMemoTest, WideNumbersAreNeverCut) {
  TMultStatRec Rec = WithT(10, {-123456789.5L, 1});
  Rec.Beta[0] = 123456789.5L;      // "0.0000" form of 14 characters: no padding
  Rec.StdErr[0] = -1234567890.25L;  // 16 characters
  Rec.F = 12345678.9L;
  Rec.DFTot = -1234567;
  Korlen.SetAlpha(90);
  const auto L = testing::ReportLines(Korlen.MVRegressionMemo(Rec));
  EXPECT_EQ(L[6], "DF Tot = -1234567");
  EXPECT_EQ(L[10], "F      = 12345678.900");
  EXPECT_EQ(L[20], "Alpha : .90");
  EXPECT_EQ(L[21], "Beta[0] 123456789.5000    t calc -123456789.5000*");
  EXPECT_EQ(L[22], "  Std Err -1234567890.2500  t Crit         1.3720");
}

}  // namespace
}  // namespace varnel
