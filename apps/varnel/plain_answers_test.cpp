// SPDX-License-Identifier: Apache-2.0
// What the tool says when a request is not what it seems: each answer names
// what is wrong and what to do instead, or does what was asked.
#include <gtest/gtest.h>

#include <memory>
#include <nlohmann/json.hpp>

#include "data_set.h"
#include "tool_fixture.h"
#include "varnel/korlen.h"

namespace varnel::cli {
namespace {

using nlohmann::ordered_json;

const std::string kCommands =
    "the commands are regress, diagnose, describe, select, pca, distance, cluster, predict, anova, glm, table, verbs, about and example";

class PlainAnswersTest : public ToolTest {
 protected:
  void ExpectRefused(const std::string& Arguments, const std::string& Line) {
    const TRun R = Run(Arguments);
    EXPECT_EQ(R.Status, 2) << Arguments;
    EXPECT_EQ(R.Err, "varnel: " + Line + "\n") << Arguments;
    EXPECT_EQ(R.Out, "") << Arguments;
  }
};

TEST_F(PlainAnswersTest, CommandLineMistakesAreNamed) {
  const std::string Longley = std::string(VARNEL_EXAMPLES) + "/longley.csv";
  const TRun Version = Run("--version");
  EXPECT_EQ(Version.Status, 0);
  EXPECT_EQ(Version.Out.rfind("varnel ", 0), 0u) << Version.Out;
  ExpectRefused("regress ''", "FILE is an empty name: name a file, or - for standard input");
  ExpectRefused("regres " + Longley, "unknown command \"regres\"; " + kCommands + " (varnel --help)");
  ExpectRefused("frobnicate", "no command or file named \"frobnicate\"; " + kCommands + " (varnel --help)");
  ExpectRefused("cluster --no-intercept --alpha 99 " + Longley,
                "--no-intercept is not an option of cluster; varnel cluster --help lists its options");
  ExpectRefused("pca --level 0.9 " + Longley, "--level is not an option of pca; varnel pca --help lists its options");
  ExpectRefused("--level 0.9 describe " + Longley,
                "--level is not an option of describe; varnel describe --help lists its options");
  ExpectRefused("distance --report-texts " + Longley,
                "--report-texts is not an option of distance; varnel distance --help lists its options");
  ExpectRefused(Longley + " --beta-threshold 1",
                "--beta-threshold is not an option of the full analysis (varnel FILE); varnel --help lists its options");
  ExpectRefused("regress " + Longley + " no-such.csv", "no-such.csv: cannot open the file: No such file or directory");
  ExpectRefused("table x", "table takes no FILE: \"x\" is not expected");
  ExpectRefused("regress --csv --json " + Longley, "--csv writes one table and --json every table: give one of them");
  ExpectRefused("regress --scan --no-scan " + Longley, "--scan and --no-scan contradict each other: give one of them");
  // Each command keeps what it uses, and the full analysis its own.
  EXPECT_EQ(Run("distance --level 0.9 --csv " + Longley).Status, 0);
  EXPECT_EQ(Run(Longley + " --level 0.9 --no-intercept --alpha 99 --report-texts").Status, 0);
  EXPECT_EQ(Run("regress").Status, 0);  // no FILE, standard input /dev/null: the built-in example
}

TEST_F(PlainAnswersTest, ScanIsAskedForAndNamesWhatItRefuses) {
  const std::string Centred = Write("centred.csv", "a,b,c,y\n-2,1,1,3\n-1,-1,2,5\n0,0,3,4\n1,-2,4,9\n2,2,5,1\n");
  const std::string Totals = Write("totals.csv", "a,b,y\n1,5,3\n2,4,5\n3,3,4\n4,2,9\n5,1,1\n");
  for (const auto& File : {Centred, Totals}) {
    EXPECT_EQ(Run("regress " + File).Status, 0) << File;
    EXPECT_EQ(Run("regress --no-scan " + File).Status, 0) << File;
  }
  const TRun Zero = Run("regress --scan " + Centred);
  EXPECT_EQ(Zero.Status, 1);
  EXPECT_EQ(Zero.Err, "varnel: the plausibility scan (--scan) refuses the predictors of " + Centred +
                          ": \"a\" and \"b\" each sum to about zero (within 0.01; the scan allows one such predictor); "
                          "\"a\" and \"b\" have nearly the same total (their sums differ by less than 1); without "
                          "--scan they are analysed\n");
  const TRun Same = Run("select --scan " + Totals);
  EXPECT_EQ(Same.Status, 1);
  EXPECT_EQ(Same.Err, "varnel: the plausibility scan (--scan) refuses the predictors of " + Totals +
                          ": \"a\" and \"b\" have nearly the same total (their sums differ by less than 1); without "
                          "--scan they are analysed\n");
  EXPECT_EQ(Run("regress --scan " + std::string(VARNEL_EXAMPLES) + "/longley.csv").Status, 0);
}

// The tool's verdict is the component's, so that --scan refuses exactly
// what the component would: sums just inside and outside both thresholds.
TEST(ScanVerdictTest, AgreesWithTheComponentsScan) {
  const std::vector<std::vector<std::vector<double>>> Variants = {
      {{-1, 0, 1, 0.0099}, {1, 1, 1, 2}},             // one sum within 0.01 of zero
      {{-1, 0, 1, 0.0099}, {1, 1, -1, -0.995}},       // two
      {{1, 2, 3, 4}, {2, 2, 3, 3.0001}},              // totals 1e-4 apart
      {{1, 2, 3, 4}, {2, 2, 3, 4}},                   // totals 1 apart
      {{1, 2, 3, 4}, {3, 2, 1, 4.5}, {7, 8, 9, 10}},  // totals 0.5 apart
      {{1e15, 2, 3, 4}, {1e15, 2, 3, 4.9}, {1, 1, 1, 1}},
  };
  auto Korlen = std::make_unique<TKorlen>();
  for (std::size_t v = 0; v < Variants.size(); ++v) {
    TAnalysisData Data;
    Data.X = Variants[v];
    for (std::size_t j = 0; j < Data.X.size(); ++j) Data.XNames.push_back("x" + std::to_string(j + 1));
    Data.Y.assign(Data.X[0].size(), 1.0);
    Load(*Korlen, Data);
    EXPECT_EQ(ScanRefusal(Data).empty(), Korlen->MVCheckXData(Korlen->PRegressData, Data.K(), Data.N())) << v;
    EXPECT_EQ(ScanRefusal(Data).empty(), v == 0 || v == 3) << v;
  }
}

// R 4.2: summary(lm(y ~ x1 + x2)) on y = 2 x1 + 3 x2 warns "essentially
// perfect fit: summary may be unreliable"; on data with noise it does not.
TEST_F(PlainAnswersTest, PerfectFitIsSaidAsRSaysIt) {
  const TRun Perfect = Run("regress " + Write("p.csv", "x1,x2,y\n1,3,11\n2,1,7\n3,4,18\n4,1,11\n5,9,37\n6,2,18\n"));
  EXPECT_EQ(Perfect.Status, 0);
  EXPECT_EQ(Perfect.Err, "varnel: essentially perfect fit: summary may be unreliable\n");
  const TRun Noisy = Run("diagnose " + Write("n.csv", "x1,x2,y\n1,3,11\n2,1,7.5\n3,4,18\n4,1,11\n5,9,37\n6,2,18\n"));
  EXPECT_EQ(Noisy.Status, 0);
  EXPECT_EQ(Noisy.Err, "");
  // Residuals of exactly zero leave no scale for a test, and a model whose
  // every predictor is aliased has none left: each refusal says which.
  const TRun Exact = Run("regress " + Write("e.csv", "x1,x2,y\n1,3,2\n2,1,4\n3,4,6\n4,1,8\n5,9,10\n"));
  EXPECT_EQ(Exact.Status, 1);
  EXPECT_NE(Exact.Err.find("varnel: y is an exact linear function of the predictors (a perfect fit)"),
            std::string::npos)
      << Exact.Err;
  const TRun Nothing = Run("regress " + Write("c.csv", "x1,y\n1,2\n1,4\n1,6\n1,8\n"));
  EXPECT_EQ(Nothing.Status, 1);
  EXPECT_NE(Nothing.Err.find("varnel: no predictor is left once the aliased ones are out"), std::string::npos)
      << Nothing.Err;
}

}  // namespace
}  // namespace varnel::cli
