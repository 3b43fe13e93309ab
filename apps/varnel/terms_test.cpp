// SPDX-License-Identifier: Apache-2.0
// Whole terms through the tool: a factor's dummies enter and leave a
// stepwise search together, and regress gives each term's GVIF as car::vif
// does (R 4.2.2, car 3.1), on lm(mpg ~ cyl + disp + hp + drat + wt + qsec +
// gear, mtcars) with cyl and gear factors.
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <sstream>

#include "tool_fixture.h"
#include "varnel/testing/data_sets.h"

namespace varnel::cli {
namespace {

using nlohmann::ordered_json;

class TermsTest : public ToolTest {
 protected:
  ordered_json Json(const std::string& Command) {
    const testing::TDataSet D = testing::MtcarsData();
    std::ostringstream Text;
    Text.precision(17);
    Text << "cyl,disp,hp,drat,wt,qsec,vs,am,gear,carb,mpg\n";
    for (int i = 0; i < D.N(); ++i) {
      for (int j = 0; j < D.K(); ++j) Text << D.Columns[j][i] << ',';
      Text << D.Y[i] << '\n';
    }
    const TRun R = Run(Command + " --json --factor cyl --factor gear --x cyl,disp,hp,drat,wt,qsec,gear --y mpg " +
                       Write("mtcars.csv", Text.str()));
    EXPECT_EQ(R.Status, 0) << Command << ": " << R.Err;
    EXPECT_EQ(R.Err, "") << Command;
    return R.Status == 0 ? ordered_json::parse(R.Out) : ordered_json();
  }
};

bool Agrees(double a, double b, double Digits) { return std::fabs(a - b) <= std::pow(10.0, -Digits) * std::fabs(b); }

// step(): forward adds cyl's two dummies in one step, backward drops gear's.
TEST_F(TermsTest, StepwiseMovesWholeFactors) {
  const ordered_json Forward = Json("select --method forward")["steps"];
  ASSERT_EQ(Forward.size(), 4u);
  const char* Added[] = {"wt", "cyl", "hp"};
  const int DF[] = {30, 28, 27};
  const double AIC[] = {73.217362866777165, 63.810261688365514, 61.657163268341947};
  for (int s = 1; s <= 3; ++s) {
    EXPECT_EQ(Forward[s]["action"], "add");
    EXPECT_EQ(Forward[s]["term"], Added[s - 1]);
    EXPECT_EQ(Forward[s]["df.residual"], DF[s - 1]);
    EXPECT_TRUE(Agrees(Forward[s]["AIC"], AIC[s - 1], 12)) << s;
  }
  EXPECT_EQ(Forward[3]["terms"], "cyl + hp + wt");
  const ordered_json Backward = Json("select --method backward")["steps"];
  ASSERT_EQ(Backward.size(), 5u);
  EXPECT_EQ(Backward[1]["term"], "gear");
  EXPECT_EQ(Backward[1]["df.residual"], 24);
  EXPECT_TRUE(Agrees(Backward[1]["rss"], 155.89166421809452, 12));
  EXPECT_EQ(Backward[4]["terms"], "cyl + hp + wt");
}

TEST_F(TermsTest, RegressGivesEachTermsGVIF) {
  const ordered_json J = Json("regress");
  const auto& T = J["terms"];
  ASSERT_EQ(T.size(), 7u);
  const char* Names[] = {"cyl", "disp", "hp", "drat", "wt", "qsec", "gear"};
  const double GVIF[] = {19.8616863616883634, 15.5804993801116893, 8.0230873343035025, 4.9434573559376176,
                         9.5010908004270576,  5.2070220790169586,  13.4810920016468820};
  const double Adjusted[] = {2.1110767848095464, 3.9472141289916980, 2.8325054870738562, 2.2233887100409628,
                             3.0823839476007944, 2.2818900234272812, 1.9161577857592564};
  for (int t = 0; t < 7; ++t) {
    EXPECT_EQ(T[t]["term"], Names[t]);
    EXPECT_EQ(T[t]["df"], t == 0 || t == 6 ? 2 : 1);
    EXPECT_TRUE(Agrees(T[t]["gvif"], GVIF[t], 10)) << t;
    EXPECT_TRUE(Agrees(T[t]["gvif.adj"], Adjusted[t], 10)) << t;
  }
  // The coefficients' vif: empty for the dummies of the three-level factors,
  // the term's GVIF for a numeric one.
  const auto& C = J["coefficients"];
  ASSERT_EQ(C.size(), 10u);
  for (int j : {1, 2, 8, 9}) EXPECT_TRUE(C[j]["vif"].is_null()) << C[j]["term"];
  EXPECT_TRUE(Agrees(C[3]["vif"], GVIF[1], 10));
}

}  // namespace
}  // namespace varnel::cli
