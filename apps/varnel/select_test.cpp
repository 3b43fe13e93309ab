// SPDX-License-Identifier: Apache-2.0
// select's tables: the best subsets with the one best named under them, the
// steps of a stepwise search, the options that choose them, and the progress
// line a long search shows on standard error.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sstream>

#include "parsed_csv.h"
#include "progress_line.h"
#include "tool_fixture.h"
#include "varnel/korlen.h"
#include "varnel/testing/data_sets.h"

namespace varnel::cli {
namespace {

class SelectTest : public ToolTest {
 protected:
  // mtcars as a CSV file: the predictors under their R names (wt's may be
  // another), then mpg.
  std::string Mtcars(const std::string& WtName = "wt") {
    const testing::TDataSet D = testing::MtcarsData();
    std::ostringstream Text;
    Text.precision(17);
    Text << "cyl,disp,hp,drat," << WtName << ",qsec,vs,am,gear,carb,mpg\n";
    for (int i = 0; i < D.N(); ++i) {
      for (int j = 0; j < D.K(); ++j) Text << D.Columns[j][i] << ',';
      Text << D.Y[i] << '\n';
    }
    return Write("mtcars.csv", Text.str());
  }
};

TEST_F(SelectTest, BestHoldsTheSearchAndNamesTheBestModel) {
  const std::string File = Mtcars();
  const TRun Csv = Run("select --csv --nbest 2 " + File);
  ASSERT_EQ(Csv.Status, 0) << Csv.Err;
  EXPECT_EQ(Csv.Err, "");  // a search of a few milliseconds shows no progress
  const auto Rows = ParseCsv(Csv.Out);
  ASSERT_TRUE(Rows);
  ASSERT_EQ(Rows->size(), 1u + 2 * 9 + 1);  // two of each size but the full model's one
  EXPECT_EQ((*Rows)[0], (std::vector<std::string>{"size", "rank", "terms", "rss", "r.squared", "adj.r.squared",
                                                   "cp", "AIC", "BIC"}));
  const auto Korlen = std::make_unique<TKorlen>();
  testing::Load(*Korlen, testing::MtcarsData());
  const TBestSubsets B = Korlen->MVBestSubsets(Korlen->PRegressData, Korlen->Y, 10, 32, 2, TSubsetCriterion::scBIC);
  ASSERT_EQ(B.Models.size(), Rows->size() - 1);
  for (std::size_t m = 0; m < B.Models.size(); ++m) {
    const auto& Row = (*Rows)[m + 1];
    EXPECT_EQ(Row[0], std::to_string(B.Models[m].Size));
    EXPECT_EQ(Row[1], std::to_string(B.Models[m].Rank));
    EXPECT_EQ(std::strtod(Row[3].c_str(), nullptr), static_cast<double>(B.Models[m].RSS));
    EXPECT_EQ(std::strtod(Row[8].c_str(), nullptr), static_cast<double>(B.Models[m].BIC));
  }
  EXPECT_EQ((*Rows)[5][2], "wt + qsec + am");  // size 3, rank 1
  EXPECT_NE(Run("select " + File).Out.find("\nBest by BIC: size 3, wt + qsec + am\n"), std::string::npos);
  EXPECT_NE(Run("select --criterion adjr2 " + File).Out.find("Best by adjusted R\xC2\xB2: size 5, disp + hp + wt + qsec + am"),
            std::string::npos);
  // A name the component's Windows-1252 notes can hold comes through them.
  const std::string Named = Mtcars("gr\xC3\xB6\xC3\x9F" "e");
  EXPECT_NE(Run("select --criterion cp " + Named).Out.find("Best by Cp: size 3, gr\xC3\xB6\xC3\x9F" "e + qsec + am\n"),
            std::string::npos);
}

TEST_F(SelectTest, StepsFollowTheChosenDirection) {
  const std::string File = Mtcars();
  const auto Forward = ParseCsv(Run("select --csv --method forward " + File).Out);
  ASSERT_TRUE(Forward);
  EXPECT_EQ((*Forward)[0], (std::vector<std::string>{"step", "action", "term", "terms", "df.residual", "rss", "AIC"}));
  ASSERT_EQ(Forward->size(), 5u);
  const std::vector<std::string> Start((*Forward)[1].begin(), (*Forward)[1].begin() + 5);
  EXPECT_EQ(Start, (std::vector<std::string>{"0", "start", "", "(Intercept)", "31"}));
  EXPECT_EQ((*Forward)[4][1] + " " + (*Forward)[4][2] + ": " + (*Forward)[4][3], "add hp: cyl + hp + wt");
  const auto Backward = ParseCsv(Run("select --csv --method backward " + File).Out);
  ASSERT_TRUE(Backward);
  ASSERT_EQ(Backward->size(), 9u);
  EXPECT_EQ(Backward->back()[3], "wt + qsec + am");
  EXPECT_EQ(Backward->back()[4], "28");
  const TRun Text = Run("select --method both " + File);
  EXPECT_NE(Text.Out.find("Stepwise search by AIC, both ways from the full model"), std::string::npos);
}

// Over a formula's terms the search keeps marginality as step() does: x1
// stays while x1:x2 does, though lm(y ~ x2 + x1:x2) has the lower AIC
// (-732.31668925369502); R 4.2.2's step(lm(y ~ x1*x2, d), direction =
// "both") stops at the start, AIC -730.53424396449475.
TEST_F(SelectTest, FormulaStepsKeepMarginality) {
  std::string Csv = "x1,x2,y\n";
  char Line[96];
  for (long long i = 0; i < 300; ++i) {
    const double x1 = Uniform(i, 1) * 2 - 1, x2 = Uniform(i, 2) * 2 - 1;
    std::snprintf(Line, sizeof Line, "%.17g,%.17g,%.17g\n", x1, x2, 1 + 0.3 * x2 + 0.8 * x1 * x2 + Uniform(i, 3));
    Csv += Line;
  }
  const auto Steps = ParseCsv(Run("select --csv --method both --formula 'y ~ x1*x2' " + Write("d.csv", Csv)).Out);
  ASSERT_TRUE(Steps);
  ASSERT_EQ(Steps->size(), 2u);
  EXPECT_EQ((*Steps)[1][3], "x1 + x2 + x1:x2");
  EXPECT_NEAR(std::stod((*Steps)[1][6]), -730.53424396449475, 1e-9 * 730.5);
}

TEST_F(SelectTest, OptionsOutsideTheirValuesAreRefused) {
  const std::string File = Mtcars();
  for (const char* Options : {"--no-intercept", "--method sideways", "--criterion r2", "--nbest 0", "--nbest x"}) {
    const TRun R = Run(std::string("select ") + Options + " " + File);
    EXPECT_EQ(R.Status, 2) << Options;
    EXPECT_EQ(R.Out, "") << Options;
    EXPECT_NE(R.Err, "") << Options;
  }
  // The component's searches keep the constant too: select has no --no-intercept.
  const TRun Texts = Run("select --report-texts --no-intercept --no-scan " + File);
  EXPECT_EQ(Texts.Status, 2);
  EXPECT_EQ(Texts.Err, "varnel: --no-intercept is not an option of select; varnel select --help lists its options\n");
}

TEST(ProgressLineTest, ShowsOnlyOnceDueAndEndsItsLine) {
  std::ostringstream Late, Due;
  {
    TProgressLine Line(Late, "search", std::chrono::hours(1));
    Line.Show(0.5);
    Line.Show(1);
  }
  EXPECT_EQ(Late.str(), "");
  {
    TProgressLine Line(Due, "search", std::chrono::seconds(0));
    Line.Show(0.256);
    Line.Show(0.3);  // within a tenth of a second of the last: not shown
    Line.Show(1);
  }
  EXPECT_EQ(Due.str(), "\rsearch 25%\rsearch 100%\n");
  std::ostringstream Unfinished;
  {
    TProgressLine Line(Unfinished, "search", std::chrono::seconds(0));
    Line.Show(0.5);
  }
  EXPECT_EQ(Unfinished.str(), "\rsearch 50%\n");
}

}  // namespace
}  // namespace varnel::cli
