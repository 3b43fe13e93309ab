// SPDX-License-Identifier: Apache-2.0
// The tool's commands, options and input errors, run as a user runs them.
#include <gtest/gtest.h>

#include <cstdlib>

#include <limits>
#include <sstream>

#include "csv_table.h"
#include "data_set.h"
#include "output.h"
#include "parsed_csv.h"
#include "tool_fixture.h"
#include "varnel/korlen.h"
#include "varnel/testing/message_recorder.h"

namespace varnel::cli {
namespace {

// R 4.2 for lm(y ~ x1 + x2) on the example: rstudent(f)[1], the 95 %
// confidence limit of observation 1 from predict, summary's p-value of x1.
TEST_F(ToolTest, MainJobAnalysesTheBuiltInExample) {
  const TRun R = Run("");
  EXPECT_EQ(R.Status, 0) << R.Err;
  EXPECT_EQ(R.Err, "");
  for (const char* Section : {"Coefficients (two-sided 95% confidence limits)", "\nModel\n", "durbin.watson",
                              "Observations (two-sided 95%", "\nVariables (", "Correlation matrix of the predictors",
                              "Strong Outliers", "The DW Statistic", "-10.43552", "-14.11235", "0.9319"}) {
    EXPECT_NE(R.Out.find(Section), std::string::npos) << Section;
  }
  EXPECT_EQ(R.Out.find('\r'), std::string::npos);  // terminal line ends
  EXPECT_EQ(R.Out.find("limits at"), std::string::npos);
}

// Values that once slipped through: a width beyond int, which sscanf wrapped
// into range (4294967496 read as 200), and a threshold of NaN or infinity,
// shown as "D > " with no number. The component flags nothing outside
// 0 < t < 5, compared in single precision, so neither does the tool.
TEST_F(ToolTest, OutOfRangeOptionValuesAreRefused) {
  const std::string Longley = std::string(VARNEL_EXAMPLES) + "/longley.csv";
  const std::string Picture = (Dir / "p.svg").string();
  for (const char* Size : {"4294967496x900", "1200x4294967496", "1200x900x", "1200x", "x900", "199x900",
                           "1200x10001", " 1200x900", "1200x+900"}) {
    const TRun R = Run("describe " + Longley + " --plot " + Picture + " --plot-size '" + Size + "'");
    EXPECT_EQ(R.Status, 2) << Size;
    EXPECT_EQ(R.Err,
              "varnel: --plot-size: a size is WIDTHxHEIGHT in pixels, each 200 to 10000, as 1200x900 (--help lists "
              "the options)\n")
        << Size;
    EXPECT_EQ(R.Out, "") << Size;
  }
  EXPECT_FALSE(std::filesystem::exists(Picture));
  EXPECT_EQ(Run("describe " + Longley + " --plot-size 10000,200").Status, 0);
  for (const char* Threshold : {"nan", "inf", "-inf", "0", "5", "4.9999999999", "1e-50", "3x", ""}) {
    const TRun R = Run("distance " + Longley + " --threshold '" + Threshold + "'");
    EXPECT_EQ(R.Status, 2) << Threshold;
    EXPECT_EQ(R.Err,
              "varnel: --threshold: a threshold is a number above 0 and below 5, as 3 (--help lists the options)\n")
        << Threshold;
    EXPECT_EQ(R.Out, "") << Threshold;
  }
  EXPECT_NE(Run("distance " + Longley + " --threshold 4.99").Out.find("flag: the component's D > 4.99)\n"),
            std::string::npos);
}

TEST_F(ToolTest, VerbsAndTextsOfTheComponent) {
  EXPECT_EQ(Run("verbs").Out, "ScanData-On\nScanData-Off\nAlpha .99\nAlpha .95\nExample...\nAbout...\n");
  const TRun About = Run("about");
  EXPECT_NE(About.Out.find("R\xC2\xB2, F Stat."), std::string::npos);  // ² as UTF-8
  EXPECT_NE(About.Out.find("\xC3\x9F params"), std::string::npos);     // ß as UTF-8
  const TRun Raw = Run("about --raw");
  EXPECT_NE(Raw.Out.find("R\xB2, F Stat., RMSE,\r"), std::string::npos);
  EXPECT_NE(Run("example").Out.find("MVPrepare; // You must call this"), std::string::npos);
}

TEST_F(ToolTest, BadInputGivesOneLineAndStatusTwo) {
  const std::string Header = "a,b,y\n";
  const std::pair<std::string, std::string> Cases[] = {
      {Dir.string() + "/missing.csv", "cannot open"},
      {Write("text.csv", Header + "1,2,3\n4,5,x6\n"), "data row 2, column \"y\": 'x6' is not a number"},
      {Write("blank.csv", Header + "1,,3\n"), "no row holds a value in every column used"},
      {Write("blank.csv", Header + "1,,3\n") + " --missing fail", "data row 1, column \"b\": missing value"},
      {Write("ragged.csv", Header + "1,2\n"), "data row 1 has 2 fields"},
      {Write("quote.csv", Header + "1,\"2,3\n"), ""},
      {Write("nan.csv", Header + "1,nan,3\n"), "'nan' is not a number"},
      {Write("signs.csv", Header + "1,+-2,3\n"), "'+-2' is not a number"},  // was read as -2
  };
  for (const auto& [File, Message] : Cases) {
    const TRun R = Run("regress " + File);
    EXPECT_EQ(R.Status, 2) << File;
    EXPECT_EQ(Lines(R.Err), 1) << R.Err;
    EXPECT_NE(R.Err.find(Message), std::string::npos) << R.Err;
    EXPECT_EQ(R.Out, "");
  }
  const std::string Ok = Write("ok.csv", Header + "1,2,3\n");
  EXPECT_EQ(Run("regress " + Ok + " --y nope").Status, 2);
  EXPECT_EQ(Run("regress " + Ok + " --x a,y --y y").Status, 2);
  EXPECT_EQ(Run("regress " + Ok + " --alpha 80").Status, 2);
  EXPECT_EQ(Run("frobnicate").Status, 2);
}

// Beyond the component's box the commands read the file in blocks; what
// remains a limit (1,000 predictors) is an input error naming the count.
TEST_F(ToolTest, CapacityLimitsAreInputErrors) {
  std::string Wide;
  for (int c = 0; c < 1002; ++c) Wide += (c ? "," : "") + std::string("v") + std::to_string(c);
  Wide += "\n";
  for (int c = 0; c < 1002; ++c) Wide += (c ? ",1" : "1");
  const TRun TooWide = Run("diagnose " + Write("wide.csv", Wide + "\n"));
  EXPECT_EQ(TooWide.Status, 2);
  EXPECT_NE(TooWide.Err.find("1001 predictors, at most 1000 are possible"), std::string::npos) << TooWide.Err;

  std::string Long = "x,y\n";
  for (int i = 0; i < 20000; ++i) Long += std::to_string(i) + "," + std::to_string(i % 7) + "\n";
  const std::string File = Write("long.csv", Long);
  const TRun Beyond = Run("regress " + File + " --csv --table model");
  EXPECT_EQ(Beyond.Status, 0) << Beyond.Err;
  EXPECT_NE(Beyond.Out.find(",20000,"), std::string::npos) << Beyond.Out;
  const TRun Observations = Run("diagnose " + File + " --csv");
  EXPECT_EQ(Observations.Status, 0) << Observations.Err;
  EXPECT_EQ(Lines(Observations.Out), 20001);
}

TEST_F(ToolTest, RejectedAnalysisExitsOneWithTheComponentsMessage) {
  const TRun R = Run("regress --no-scan " + Write("tiny.csv", "x,y\n1,2\n2,3\n"));
  EXPECT_EQ(R.Status, 1);
  EXPECT_NE(R.Err.find("Number of vars must be > 0, and n > 2"), std::string::npos) << R.Err;
}

// The full analysis describes the data beside the fit, on a component of
// its own: the description's messages still reach standard error, after
// the fit's, and only once.
TEST_F(ToolTest, FullAnalysisShowsTheDescriptionsMessages) {
  const std::string File = Write("huge.csv", "x1,x2,y\n1,1e300,3\n2,-1e300,5\n3,1e300,4\n4,2e300,9\n5,1,1\n");
  const TRun Described = Run("describe " + File), Fitted = Run("diagnose " + File), Full = Run(File);
  EXPECT_EQ(Described.Err, "Error occurred in  GetVariance\nError occurred in  GetVariance\n"
                           "Error occurred in  GetVariance\n");
  EXPECT_EQ(Full.Status, 0);
  EXPECT_EQ(Full.Err, Fitted.Err + Described.Err);
  EXPECT_NE(Full.Out.find("\nVariables ("), std::string::npos) << Full.Out;
}

TEST_F(ToolTest, SeparatorsAndQuotedFieldsFollowTheCsvRules) {
  const std::string File = Write("semi.csv", "\"first x\";\"x;2\";y\r\n1;21;12\r\n2;20;23\r\n3;25;46\r\n4;24;32\r\n5;26;39\r\n");
  const TRun Semi = Run("regress --report-texts --sep ';' " + File);
  EXPECT_EQ(Semi.Status, 0) << Semi.Err;
  EXPECT_NE(Semi.Out.find("1=first x 2=x;2"), std::string::npos) << Semi.Out;
  EXPECT_NE(Semi.Out.find("R      =      0.851"), std::string::npos);
  const TRun Csv = Run("regress --csv --sep ';' " + File);
  EXPECT_NE(Csv.Out.find("\r\nfirst x,"), std::string::npos) << Csv.Out;
  EXPECT_NE(Csv.Out.find("\r\nx;2,"), std::string::npos) << Csv.Out;
}

// The tool's numbers are the library's own, to the last bit: the Longley
// data through the tool's CSV and JSON and through the component directly.
TEST_F(ToolTest, LongleyResultsMatchTheLibrary) {
  const std::string File = std::string(VARNEL_EXAMPLES) + "/longley.csv";
  const TCsvTable Table = ReadCsv(File, {});
  const TAnalysisData Data = SelectColumns(Table, File, "", {});
  ASSERT_EQ(Data.K(), 6);
  ASSERT_EQ(Data.N(), 16);
  TKorlen Korlen;
  Load(Korlen, Data);
  const TMultStatRec Rec = Korlen.MVRegression(Korlen.PRegressData, Korlen.Y, 6, 16);
  const TRun Regress = Run("regress --report-texts " + File);
  EXPECT_EQ(Regress.Status, 0) << Regress.Err;
  EXPECT_NE(Regress.Out.find(TerminalLineEnds(ToUtf8(Korlen.MVRegressionMemo(Rec)))), std::string::npos);

  std::vector<TObservationInference> Observations(16);
  const TModelInference M = Korlen.MVInference(Korlen.PRegressData, Korlen.Y, 6, 16, 0.9, true, Observations);
  const TRun Diagnose = Run("diagnose --csv --level 0.9 " + File);
  EXPECT_EQ(Diagnose.Status, 0) << Diagnose.Err;
  const TCsvTable Rows = ReadCsv(Write("diagnose.csv", Diagnose.Out), {});
  ASSERT_EQ(Rows.Rows(), 16);
  ASSERT_EQ(Rows.Names[6], ".cooksd");
  ASSERT_EQ(Rows.Names[20], "pred.low");
  const auto Cell = [&Rows](int c, int i) { return std::strtod(std::string(Rows.Columns[c].Cell(i)).c_str(), nullptr); };
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(Cell(0, i), i + 1);
    EXPECT_EQ(Cell(6, i), static_cast<double>(Observations[i].CooksD)) << i;
    EXPECT_EQ(Cell(20, i), static_cast<double>(Observations[i].PredLow)) << i;
  }
  const TRun Coefficients = Run("regress --csv --level 0.9 " + File);
  const auto Coef = ParseCsv(Coefficients.Out);
  ASSERT_TRUE(Coef);
  EXPECT_EQ((*Coef)[0][5], "conf.low");
  EXPECT_EQ((*Coef)[7][0], "Year");
  EXPECT_EQ(std::strtod((*Coef)[7][5].c_str(), nullptr), static_cast<double>(M.Coefficients[6].ConfLow));
}

TEST_F(ToolTest, EveryCommandRunsOnRealData) {
  const std::string File = std::string(VARNEL_EXAMPLES) + "/longley.csv";
  for (const char* Command : {"describe", "select", "pca", "distance", "cluster --clusters 2 --iterations 3"}) {
    const TRun R = Run(std::string(Command) + " " + File + " --no-scan");
    EXPECT_EQ(R.Status, 0) << Command << ": " << R.Err;
    EXPECT_FALSE(R.Out.empty()) << Command;
  }
  const TRun Report = Run("cluster " + File + " --clusters 2 --iterations 1 --report " + (Dir / "k.txt").string());
  EXPECT_EQ(Report.Status, 0);
  EXPECT_EQ(Slurp(Dir / "k.txt").rfind("Cluster Results:\r\n", 0), 0u);
  const TRun Values = Run("table --df 10");
  EXPECT_NE(Values.Out.find("2.228139\n"), std::string::npos) << Values.Out;  // qt(0.975, 10)
  EXPECT_NE(Values.Out.find("upper-tail probability 0.05 (the component's table)"), std::string::npos);
  EXPECT_NE(Values.Out.find("1.812\n"), std::string::npos);
}

TEST_F(ToolTest, HelpForTheToolAndEachCommand) {
  const TRun Help = Run("--help");
  EXPECT_EQ(Help.Status, 0);
  for (const char* Command : {"regress", "diagnose", "describe", "select", "pca", "distance", "cluster", "table",
                              "verbs", "about", "example"}) {
    EXPECT_NE(Help.Out.find(Command), std::string::npos) << Command;
    EXPECT_EQ(Run(std::string(Command) + " --help").Status, 0) << Command;
  }
  EXPECT_NE(Run("cluster --help").Out.find("--iterations"), std::string::npos);
}

TEST(OutputTest, ConvertsWindows1252AndLineEnds) {
  EXPECT_EQ(ToUtf8("\xDF\xB2\x80" "a"), "\xC3\x9F\xC2\xB2\xE2\x82\xAC" "a");
  EXPECT_EQ(ToUtf8("\x81"), "\xEF\xBF\xBD");
  EXPECT_EQ(TerminalLineEnds("a\r\nb\rc\n"), "a\nb\nc\n");
  EXPECT_EQ(ToWindows1252("\xC3\x9F\xC2\xB2\xE2\x82\xAC" "a"), "\xDF\xB2\x80" "a");
  EXPECT_EQ(ToWindows1252("\xE4\xB8\xAD\xFF\xC3"), "???");  // not in Windows-1252, not UTF-8, cut short
}

}  // namespace
}  // namespace varnel::cli
