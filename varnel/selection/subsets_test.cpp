// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "varnel/korlen.h"
#include "varnel/testing/data_sets.h"
#include "varnel/testing/message_recorder.h"
#include "varnel/testing/reference_fit.h"
#include "varnel/testing/report_lines.h"

namespace varnel {
namespace {

namespace fs = std::filesystem;
using testing::TMessageRecorder;

// Makes a fresh temporary directory the current one for the test's lifetime,
// then restores the previous directory and removes the temporary one.
class TScopedWorkDirectory {
 public:
  TScopedWorkDirectory() : FPrevious(fs::current_path()) {
    std::string Template = (fs::temp_directory_path() / "varnel-subsets-XXXXXX").string();
    if (mkdtemp(Template.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    FPath = Template;
    fs::current_path(FPath);
  }
  ~TScopedWorkDirectory() {
    std::error_code Ignored;
    fs::current_path(FPrevious, Ignored);
    fs::remove_all(FPath, Ignored);
  }
  TScopedWorkDirectory(const TScopedWorkDirectory&) = delete;
  TScopedWorkDirectory& operator=(const TScopedWorkDirectory&) = delete;

  static void Write(const std::string& Name, const std::string& Content) {
    std::ofstream(Name, std::ios::binary) << Content;
  }

 private:
  fs::path FPrevious, FPath;
};

int OpenDescriptors() {
  return static_cast<int>(std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

// Every non-empty subset of four predictors, smallest first.
std::string AllSubsetsOfFour() {
  std::string S;
  for (int m = 1; m <= 4; ++m) {
    for (int Mask = 1; Mask < 16; ++Mask) {
      if (__builtin_popcount(Mask) != m) continue;
      S += std::to_string(m) + " ";
      for (int v = 1; v <= 4; ++v) {
        if (Mask & (1 << (v - 1))) S += std::to_string(v) + " ";
      }
      S += "\r\n";
    }
  }
  return S;
}

struct TEntryLine {
  double Cp = 0, F = 0, MSE = 0, R2 = 0;
  int Number = 0, Count = 0;
  std::string Vars;
};

TEntryLine ParseEntry(const std::string& Line) {
  TEntryLine E;
  char Vars[32] = {};
  if (std::sscanf(Line.c_str(), " %lf %lf %lf %lf %d %d :%31s", &E.Cp, &E.F, &E.MSE, &E.R2, &E.Number, &E.Count,
                  Vars) != 7)
    throw std::runtime_error("not an entry line: " + Line);
  E.Vars = Vars;
  return E;
}

class SubsetSelectionTest : public ::testing::Test {
 protected:
  TScopedWorkDirectory Directory;
  TKorlen Korlen;
  testing::TDataSet Data = testing::RandomData(4, 20, 5);
  SubsetSelectionTest() { testing::Load(Korlen, Data); }
  std::string Select(const std::string& File, Single Acc = 0.7f, Single Simp = 0.3f, Byte k = 4, int n = 20) {
    Directory.Write("vars" + std::to_string(k) + ".txt", File);
    return Korlen.MVStepwiseVarSelection(Korlen.PRegressData, Korlen.Y, k, n, Acc, Simp, "Subsets");
  }
  // The reference fit of the listed predictors.
  long double SubsetSSE(const std::string& Vars) const {
    testing::TDataSet Sub;
    Sub.Y = Data.Y;
    for (char v : Vars) Sub.Columns.push_back(Data.Columns[v - '1']);
    return testing::ReferenceLeastSquares(Sub).SSE;
  }
};

TEST_F(SubsetSelectionTest, ReportsEverySubsetOfFourPredictors) {
  TMessageRecorder Messages;
  const auto L = testing::ReportLines(Select(AllSubsetsOfFour() + "4 1 2 3 4\r\n", 1, 0));
  EXPECT_TRUE(Messages.Messages().empty());
  ASSERT_EQ(L.size(), 3u + 15u + 6u);
  EXPECT_EQ(L[0], "Subsets");
  EXPECT_EQ(L[1], "");
  EXPECT_EQ(L[2], "        C          F          MSE          R2         #   Vars");
  const long double MSEk = SubsetSSE("1234") / (20 - 5);
  long double SST = 0, Mean = 0;
  for (double y : Data.Y) Mean += y / 20;
  for (double y : Data.Y) SST += (y - Mean) * (y - Mean);
  const std::vector<std::string> Expected = {"1", "2", "3", "4", "12", "13", "23", "14", "24", "34",
                                             "123", "124", "134", "234", "1234"};
  int Best = 0;
  long double MinMSE = 1e30L, MaxMSE = 0;
  for (int j = 1; j <= 15; ++j) {
    const TEntryLine E = ParseEntry(L[2 + j]);
    const std::string& Vars = Expected[j - 1];
    const int m = static_cast<int>(Vars.size());
    char Label[32];
    std::snprintf(Label, sizeof Label, " %5d  %3d :%s", j, m, Vars.c_str());
    EXPECT_EQ(L[2 + j].substr(49), Label);
    const long double SSE = SubsetSSE(Vars), MSE = SSE / (20 - m - 1), R2 = 1 - SSE / SST;
    EXPECT_NEAR(E.Cp, SSE / MSEk - (20 - 2 * (m + 1)), 6e-5) << Vars;
    EXPECT_NEAR(E.F, (R2 / m) / ((1 - R2) / (20 - m - 1)), 6e-5) << Vars;
    EXPECT_NEAR(E.MSE, MSE, 6e-5) << Vars;
    EXPECT_NEAR(E.R2, R2, 6e-5) << Vars;
    if (MSE < MinMSE) MinMSE = MSE, Best = j;
    MaxMSE = std::max(MaxMSE, MSE);
  }
  EXPECT_EQ(L[18], "");
  EXPECT_EQ(L[19], "Variable Combinations Weighted Index Factors: ");
  EXPECT_EQ(L[20], "Weights applied to parameters:");
  EXPECT_EQ(L[21], "Acc., Simp.: 1.00 0.00");
  EXPECT_EQ(L[22], "");
  // With accuracy alone the best entry has the smallest MSE(p).
  double Max = 0;
  int Model = 0;
  ASSERT_EQ(std::sscanf(L[23].c_str(), "Max: %lf Model#: %d", &Max, &Model), 2) << L[23];
  EXPECT_EQ(Model, Best);
  EXPECT_NEAR(Max, 1 - MinMSE / MaxMSE, 1e-6);
}

TEST_F(SubsetSelectionTest, SimplicityAloneKeepsTheFirstOfTiedEntries) {
  const auto L = testing::ReportLines(Select(AllSubsetsOfFour() + "4 1 2 3 4\r\n", 0, 1));
  ASSERT_EQ(L.size(), 24u);
  EXPECT_EQ(L[21], "Acc., Simp.: 0.00 1.00");
  EXPECT_EQ(L[23], "Max: 1 Model#: 1");
  // Entries 2 and 3 list the better predictor and tie; the lower number wins.
  const bool FirstBetter = SubsetSSE("1") < SubsetSSE("2");
  const std::string Better = FirstBetter ? "1 1\r\n" : "1 2\r\n", Worse = FirstBetter ? "1 2\r\n" : "1 1\r\n";
  const auto T = testing::ReportLines(Select(Worse + Better + Better + Worse, 1, 0));
  ASSERT_EQ(T.size(), 12u);
  EXPECT_EQ(T[11].substr(T[11].find(" Model#: ")), " Model#: 2");
}

TEST_F(SubsetSelectionTest, LinesMayUseTabsRemarksAndBareLineFeeds) {
  const auto L = testing::ReportLines(Select("2 1\t3 remark\n1 4\r\n1 1", 0.5f, 0.5f));
  ASSERT_EQ(L.size(), 11u);
  EXPECT_EQ(L[3].substr(49), "     1    2 :13");
  EXPECT_EQ(L[4].substr(49), "     2    1 :4");
  EXPECT_EQ(L[8], "Acc., Simp.: 0.50 0.50");
}

TEST_F(SubsetSelectionTest, EmptyFileEndsWithTheStartingMaximum) {
  TMessageRecorder Messages;
  EXPECT_EQ(Select("", 0.7f, 0.3f),
            "Subsets\r\n\r\n        C          F          MSE          R2         #   Vars\r\n"
            "\r\nVariable Combinations Weighted Index Factors: \r\nWeights applied to parameters:\r\n"
            "Acc., Simp.: 0.70 0.30\r\n\r\nMax: -1E22 Model#: 0\r\n");
  EXPECT_TRUE(Messages.Messages().empty());
}

TEST_F(SubsetSelectionTest, FullTableOf256LinesIsAccepted) {
  std::string File;
  for (int i = 0; i < 256; ++i) File += "1 " + std::to_string(1 + i % 4) + "\r\n";
  const auto L = testing::ReportLines(Select(File));
  ASSERT_EQ(L.size(), 3u + 255u + 6u);
  EXPECT_EQ(L[257].substr(49), "   255    1 :3");
}

TEST_F(SubsetSelectionTest, MalformedFilesFailWithOneMessageAndCloseTheFile) {
  std::string TooMany;
  for (int i = 0; i < 257; ++i) TooMany += "1 1\r\n";
  const std::vector<std::pair<const char*, std::string>> Cases = {
      {"one line only: zero over zero", "2 1 2\r\n"},
      {"count 0", "0\r\n1 1\r\n1 2\r\n"},
      {"count not a digit", "x 1\r\n1 2\r\n"},
      {"empty line", "1 1\r\n\r\n1 2\r\n"},
      {"variable above k", "1 1\r\n2 1 5\r\n1 2\r\n"},
      {"variable 0", "1 0\r\n1 2\r\n"},
      {"negative variable", "1 -1\r\n1 2\r\n"},
      {"huge variable", "1 99999999999999999999\r\n1 2\r\n"},
      {"missing number", "3 1 2\r\n1 2\r\n1 3\r\n"},
      {"missing number at the end", "1 1\r\n2 3"},
      {"not an integer", "1 1\r\n2 1 3x\r\n1 2\r\n"},
      {"more than 256 lines", TooMany},
      {"overlong line", "1 1" + std::string(5000, ' ') + "\r\n1 2\r\n"},
      {"binary bytes", std::string("\x01\x00\xff\x1a\n\x80", 6)},
      {"every listed combination uses all predictors", "4 1 2 3 4\r\n4 4 3 2 1\r\n4 1 2 3 4\r\n"},
  };
  const int Before = OpenDescriptors();
  for (const auto& [Name, File] : Cases) {
    TMessageRecorder Messages;
    EXPECT_EQ(Select(File), "") << Name;
    EXPECT_EQ(Messages.Texts(), std::vector<std::string>{"Error in StepwiseVarSelection"}) << Name;
    EXPECT_EQ(OpenDescriptors(), Before) << Name;
  }
}

TEST_F(SubsetSelectionTest, AFaultInAFitIsCaughtByTheSearch) {
  testing::Load(Korlen, testing::ExampleData());
  TMessageRecorder Messages;
  // n = k + 1: the full fit's t values divide by a zero standard error.
  EXPECT_EQ(Select("1 1\r\n2 1 2\r\n1 2\r\n", 1, 1, 2, 3), "");
  EXPECT_EQ(Messages.Texts().back(), "Error in StepwiseVarSelection");
}

TEST_F(SubsetSelectionTest, UnusableArgumentsAndMissingFiles) {
  TMessageRecorder Messages;
  EXPECT_EQ(Korlen.MVStepwiseVarSelection(Korlen.PRegressData, Korlen.Y, 4, 20, 1, 1, "T"), "");  // no file
  EXPECT_EQ(Select("1 1\r\n1 2\r\n", 1, 1, 9), "");  // k above 8
  Directory.Write("vars4.txt", "1 1\r\n1 2\r\n");
  EXPECT_EQ(Korlen.MVStepwiseVarSelection(nullptr, Korlen.Y, 4, 20, 1, 1, "T"), "");
  const std::vector<double> Short(19);
  EXPECT_EQ(Korlen.MVStepwiseVarSelection(Korlen.PRegressData, Short, 4, 20, 1, 1, "T"), "");
  const std::vector<double> Long(MaxObs + 5);
  EXPECT_EQ(Korlen.MVStepwiseVarSelection(Korlen.PRegressData, Long, 4, MaxObs + 1, 1, 1, "T"), "");
  EXPECT_TRUE(Messages.Messages().empty());
  // Too few observations: every fit is rejected, then the scaling divides 0 by 0.
  Korlen.SetScanData(false);
  EXPECT_EQ(Select("1 1\r\n1 2\r\n", 1, 1, 4, 2), "");
  EXPECT_EQ(Messages.Count("Number of vars must be > 0, and n > 2"), 2);
  EXPECT_EQ(Messages.Texts().back(), "Error in StepwiseVarSelection");
}

// Found by fuzzing: a negative n reached the copy of the chosen rows as a
// negative length.
TEST_F(SubsetSelectionTest, NegativeCountsCopyNothingAndFailLikeAnyUnusableCount) {
  Korlen.SetScanData(false);
  for (const int n : {-1, std::numeric_limits<int>::min()}) {
    TMessageRecorder Messages;
    EXPECT_EQ(Select("1 1\r\n2 1 2\r\n1 2\r\n", 1, 1, 4, n), "");
    EXPECT_EQ(Messages.Count("Number of vars must be > 0, and n > 2"), 3);
    EXPECT_EQ(Messages.Texts().back(), "Error in StepwiseVarSelection");
  }
}

}  // namespace
}  // namespace varnel
