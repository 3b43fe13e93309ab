// SPDX-License-Identifier: Apache-2.0
// select on a file beyond the component's box: the best subsets and the
// stepwise search from the merged moments, against R's figures.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "tool_fixture.h"

namespace varnel::cli {
namespace {

using nlohmann::json;

// 30,000 rows: eight predictors x1..x8 uniform on [0, 1) from one integer
// LCG (exact in double), a four-level factor g and the response; x5..x8
// play no part in y and x4 a small one.
std::string SelectFile() {
  std::uint64_t s = 20261210;
  const auto Next = [&s] {
    s = (1103515245ULL * s + 12345ULL) % 2147483648ULL;
    return static_cast<double>(s) / 2147483648.0;
  };
  std::string Text = "x1,x2,x3,x4,x5,x6,x7,x8,g,y\n";
  char Line[512];
  static const double Effect[] = {0, 0.3, 0.01, 0.6};
  for (int i = 0; i < 30000; ++i) {
    double x[8];
    for (double& v : x) v = Next();
    const int Level = static_cast<int>(Next() * 4);
    const double y = 1 + 2 * x[0] + 0.5 * x[1] + 0.05 * x[2] + 0.02 * x[3] + Effect[Level] + 2 * (Next() - 0.5);
    std::snprintf(Line, sizeof Line, "%.17g,%.17g,%.17g,%.17g,%.17g,%.17g,%.17g,%.17g,%c,%.17g\n", x[0], x[1], x[2],
                  x[3], x[4], x[5], x[6], x[7], "abcd"[Level], y);
    Text += Line;
  }
  return Text;
}

void ExpectDigits(const json& Value, double Expected, double Digits = 10) {
  EXPECT_NEAR(Value.get<double>(), Expected, std::pow(10.0, -Digits) * std::fabs(Expected)) << Expected;
}

class StreamedSelectTest : public ToolTest {};

const std::string kPredictors = " --y y --x x1,x2,x3,x4,x5,x6,x7,x8,g";

// R 4.2.2: d <- read.csv(f); every subset of the 11 columns of
// model.matrix(~ x1 + ... + x8 + g, d) fitted by lm.fit and ranked by RSS
// within its size; AIC and BIC as AIC(lm) and BIC(lm) give them, Cp on the
// full model's residual mean square.
TEST_F(StreamedSelectTest, BestSubsetsBeyondTheBoxAsR) {
  const TRun R = Run(Write("select.csv", SelectFile()) + " select" + kPredictors + " --nbest 2 --json");
  ASSERT_EQ(R.Status, 0) << R.Err;
  const json J = json::parse(R.Out);
  EXPECT_EQ(J["meta"]["n"], 30000);
  const json& B = J["best"];
  ASSERT_EQ(B.size(), 21U);  // one model of all 11
  struct TWant {
    std::size_t Row;
    const char* Terms;
    double Rss, R2, AdjR2, Cp, AIC, BIC;
  };
  const TWant Want[] = {
      {0, "x1", 12478.929698325135, 0.44783640992662588, 0.44781800324651144, 7381.460786112053, 58827.638479758112,
       58852.565337740045},
      {3, "x1 + x2", 11835.113236850049, 0.47632378963869615, 0.47628887439981482, 5455.0722845350174,
       57240.514868931074, 57273.750679573648},
      {8, "x1 + x2 + x3 + gb + gd", 10016.893553120844, 0.55677577810087486, 0.55670189262012881,
       15.057556345083867, 52242.581230930911, 52300.743899555418},
      {9, "x1 + x2 + gb + gc + gd", 10018.894585437693, 0.55668723707895751, 0.55661333683842273,
       21.051139830433385, 52248.573605105557, 52306.736273730065},
      {15, "x1 + x2 + x3 + x4 + x8 + gb + gc + gd", 10013.021024784803, 0.55694712846507932, 0.55682894557780394,
       9.4583824156943592, 52236.980996583741, 52320.070523190181},
      {19, "x1 + x2 + x3 + x4 + x5 + x6 + x8 + gb + gc + gd", 10012.11634056655, 0.55698715863576775,
       0.55683943352277154, 10.748630881786085, 52238.270350851744, 52337.977782779475},
      {20, "x1 + x2 + x3 + x4 + x5 + x6 + x7 + x8 + gb + gc + gd", 10011.866400844929, 0.55699821788662729,
       0.55683571890025796, 12, 52239.521429745902, 52347.537814334275},
  };
  for (const TWant& W : Want) {
    const json& Row = B[W.Row];
    EXPECT_EQ(Row["terms"], W.Terms) << W.Row;
    EXPECT_EQ(Row["size"], W.Row / 2 + 1);
    EXPECT_EQ(Row["rank"], W.Row % 2 + 1);
    ExpectDigits(Row["rss"], W.Rss);
    ExpectDigits(Row["r.squared"], W.R2);
    ExpectDigits(Row["adj.r.squared"], W.AdjR2);
    ExpectDigits(Row["cp"], W.Cp);
    ExpectDigits(Row["AIC"], W.AIC);
    ExpectDigits(Row["BIC"], W.BIC);
  }
  // The ranks of every size as R's: the terms of the rows not checked above.
  const char* Terms[] = {nullptr, "gd", "x1 + gd", nullptr, "x1 + x2 + gd", "x1 + gb + gd", "x1 + x2 + gb + gd",
                         "x1 + x2 + gc + gd", nullptr, nullptr, "x1 + x2 + x3 + gb + gc + gd",
                         "x1 + x2 + x3 + x4 + gb + gd", "x1 + x2 + x3 + x4 + gb + gc + gd",
                         "x1 + x2 + x3 + x6 + gb + gc + gd", "x1 + x2 + x3 + x4 + x6 + gb + gc + gd", nullptr,
                         "x1 + x2 + x3 + x4 + x6 + x8 + gb + gc + gd", "x1 + x2 + x3 + x4 + x6 + x7 + gb + gc + gd",
                         "x1 + x2 + x3 + x4 + x6 + x7 + x8 + gb + gc + gd"};
  for (std::size_t r = 0; r < std::size(Terms); ++r) {
    if (Terms[r]) {
      EXPECT_EQ(B[r]["terms"], Terms[r]) << r;
    }
  }
  // BIC, the default criterion, is lowest at size 5; Cp at size 8 (8.4535,
  // against 8.4628 at size 7).
  const std::string File = (Dir / "select.csv").string();
  EXPECT_NE(Run(File + " select" + kPredictors).Out.find("Best by BIC: size 5, x1 + x2 + x3 + gb + gd"),
            std::string::npos);
  EXPECT_NE(Run(File + " select" + kPredictors + " --criterion cp").Out.find(
                "Best by Cp: size 8, x1 + x2 + x3 + x4 + x6 + gb + gc + gd"),
            std::string::npos);
}

// R 4.2.2: step(lm(y ~ x1 + ... + x8 + g, d)) backward and both ways, and
// step(lm(y ~ 1, d), scope = ~ x1 + ... + x8 + g, direction = "forward"):
// the factor g enters as one term of three columns.
TEST_F(StreamedSelectTest, StepwiseBeyondTheBoxAsStep) {
  const std::string File = Write("select.csv", SelectFile());
  const TRun Forward = Run(File + " select" + kPredictors + " --method forward --json");
  ASSERT_EQ(Forward.Status, 0) << Forward.Err;
  const json F = json::parse(Forward.Out)["steps"];
  ASSERT_EQ(F.size(), 7U);
  const char* Added[] = {nullptr, "x1", "g", "x2", "x3", "x4", "x6"};
  const double Rss[] = {22600.058972861425, 12478.929698325135, 10663.064345050783, 10018.894585437693,
                        10014.810672648287, 10013.356349898886, 10012.685546756309};
  const double AIC[] = {-8495.3459790601755, -26310.673512522244, -31022.346266644283, -32889.738387174803,
                        -32899.969513050011, -32902.326345356196, -32902.336137844264};
  const int Df[] = {29999, 29998, 29995, 29994, 29993, 29992, 29991};
  for (std::size_t s = 0; s < F.size(); ++s) {
    EXPECT_EQ(F[s]["action"], s == 0 ? "start" : "add");
    if (Added[s]) {
      EXPECT_EQ(F[s]["term"], Added[s]);
    }
    EXPECT_EQ(F[s]["df.residual"], Df[s]);
    ExpectDigits(F[s]["rss"], Rss[s]);
    ExpectDigits(F[s]["AIC"], AIC[s]);
  }
  EXPECT_EQ(F[2]["terms"], "x1 + g");
  EXPECT_EQ(F[6]["terms"], "x1 + x2 + x3 + x4 + x6 + g");
  for (const char* Method : {"backward", "both"}) {
    const TRun R = Run(File + " select" + kPredictors + " --method " + Method + " --json");
    ASSERT_EQ(R.Status, 0) << R.Err;
    const json S = json::parse(R.Out)["steps"];
    ASSERT_EQ(S.size(), 4U) << Method;
    const char* Dropped[] = {nullptr, "x5", "x7", "x8"};
    const double BackRss[] = {10011.866400844929, 10012.099558702414, 10012.347441290267, 10012.685546756309};
    const double BackAIC[] = {-32898.790562534457, -32900.091926136556, -32901.349186261046, -32902.336137844264};
    for (std::size_t s = 0; s < S.size(); ++s) {
      if (Dropped[s]) {
        EXPECT_EQ(S[s]["term"], Dropped[s]);
      }
      EXPECT_EQ(S[s]["action"], s == 0 ? "start" : "drop");
      EXPECT_EQ(S[s]["df.residual"], 29988 + static_cast<int>(s));
      ExpectDigits(S[s]["rss"], BackRss[s]);
      ExpectDigits(S[s]["AIC"], BackAIC[s]);
    }
    EXPECT_EQ(S[3]["terms"], "x1 + x2 + x3 + x4 + x6 + g");
  }
}

TEST_F(StreamedSelectTest, SameBytesForAnyThreads) {
  const std::string File = Write("select.csv", SelectFile());
  for (const char* Method : {"exhaustive --nbest 3", "both"}) {
    const std::string Args = File + " select" + kPredictors + " --json --method " + Method + " --threads ";
    const TRun One = Run(Args + "1");
    ASSERT_EQ(One.Status, 0) << One.Err;
    EXPECT_EQ(Run(Args + "2").Out, One.Out) << Method;
    EXPECT_EQ(Run(Args + "3").Out, One.Out) << Method;
  }
}

// 41 predictors are beyond the box whatever the rows: the exhaustive search
// is refused in one line that names the way that runs, and the stepwise
// search runs. A column that repeats another is named and left out.
TEST_F(StreamedSelectTest, WideFilesAndAliasedColumns) {
  std::string Text;
  for (int j = 1; j <= 41; ++j) Text += "x" + std::to_string(j) + ",";
  Text += "copy,y\n";
  std::uint64_t s = 7;
  for (int i = 0; i < 200; ++i) {
    double Sum = 0, First = 0;
    for (int j = 1; j <= 41; ++j) {
      s = (1103515245ULL * s + 12345ULL) % 2147483648ULL;
      const double x = static_cast<double>(s) / 2147483648.0;
      if (j == 1) First = x;
      Sum += j <= 3 ? j * x : 0;
      Text += std::to_string(x) + ",";
    }
    s = (1103515245ULL * s + 12345ULL) % 2147483648ULL;
    Text += std::to_string(First) + "," + std::to_string(Sum + static_cast<double>(s) / 2147483648.0) + "\n";
  }
  const std::string File = Write("wide.csv", Text);
  std::string All = "x1";
  for (int j = 2; j <= 41; ++j) All += ",x" + std::to_string(j);
  const TRun Refused = Run(File + " select --y y --x " + All);
  EXPECT_EQ(Refused.Status, 2);
  EXPECT_EQ(Refused.Out, "");
  EXPECT_NE(Refused.Err.find("at most 40 predictors"), std::string::npos) << Refused.Err;
  EXPECT_NE(Refused.Err.find("--method forward, backward or both"), std::string::npos) << Refused.Err;
  const TRun Stepwise = Run(File + " select --y y --x " + All + " --method forward --json");
  ASSERT_EQ(Stepwise.Status, 0) << Stepwise.Err;
  const json S = json::parse(Stepwise.Out)["steps"];
  ASSERT_GE(S.size(), 4U);
  EXPECT_EQ(S[1]["term"], "x3");  // the largest effect enters first
  // 26 predictors, one a copy of x1: beyond the box by its columns.
  std::string Some = "x1";
  for (int j = 2; j <= 24; ++j) Some += ",x" + std::to_string(j);
  const TRun Aliased = Run(File + " select --y y --x " + Some + ",copy,x25 --json");
  ASSERT_EQ(Aliased.Status, 0) << Aliased.Err;
  EXPECT_NE(Aliased.Err.find("copy not defined because of singularities"), std::string::npos) << Aliased.Err;
  const json B = json::parse(Aliased.Out)["best"];
  EXPECT_EQ(B.size(), 25U);
  EXPECT_EQ(B.back()["terms"].get<std::string>().find("copy"), std::string::npos);
  // A million of each size of 25 would keep more models than memory is
  // given for: refused before the search.
  const TRun Many = Run(File + " select --y y --x " + Some + ",copy,x25 --nbest 1000000");
  EXPECT_EQ(Many.Status, 2);
  EXPECT_NE(Many.Err.find("models in memory"), std::string::npos) << Many.Err;
}

}  // namespace
}  // namespace varnel::cli
