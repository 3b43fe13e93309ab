// SPDX-License-Identifier: Apache-2.0
// regress --weights against R 4.2.2's lm(weights = ), within the box and
// beyond it.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <sstream>
#include <string>

#include "firm_file.h"
#include "tool_fixture.h"

namespace varnel::cli {
namespace {

using nlohmann::json;

void ExpectDigits(const json& Value, double Expected, double Digits = 10) {
  EXPECT_NEAR(Value.get<double>(), Expected, std::pow(10.0, -Digits) * std::fabs(Expected)) << Expected;
}

// swiss with weights w = (i mod 5) + 0.5 of data row i, the third 0.
std::string WeightedSwiss() {
  std::istringstream In(Slurp(std::string(VARNEL_EXAMPLES) + "/swiss.csv"));
  std::string Line, Text;
  std::getline(In, Line);
  Text = Line + ",w\n";
  for (int i = 1; std::getline(In, Line); ++i) {
    const std::string w = i == 3 ? "0" : std::to_string(i % 5) + ".5";
    Text += Line + "," + w + "\n";
  }
  return Text;
}

class WeightedFitTest : public ToolTest {};

// R: w as above; f <- lm(Fertility ~ ., d, weights = w); summary(f),
// logLik, AIC, BIC, car::vif, car::durbinWatsonTest(f)$dw, anova(f); and
// through the origin lm(Fertility ~ . - 1, d, weights = w).
TEST_F(WeightedFitTest, SwissAsR) {
  const std::string File = Write("swiss.csv", WeightedSwiss());
  const TRun R = Run(File + " regress --y Fertility --weights w --json");
  ASSERT_EQ(R.Status, 0) << R.Err;
  const json J = json::parse(R.Out);
  const double Estimates[] = {64.37287418741921385, -0.17110988273675445, -0.22604887485609032,
                              -0.89011389850911216, 0.11074430608546779,  1.18540903876425063};
  const double Errors[] = {10.523034607573702459, 0.077143308902150820, 0.266605199837928186,
                           0.208276528042476344,  0.036208918412576709, 0.354682838998929106};
  const json& C = J["coefficients"];
  ASSERT_EQ(C.size(), 6U);
  for (int j = 0; j < 6; ++j) {
    ExpectDigits(C[j]["estimate"], Estimates[j]);
    ExpectDigits(C[j]["std.error"], Errors[j]);
  }
  ExpectDigits(C[3]["p.value"], 1.1556964065358314e-04);
  const json& M = J["model"][0];
  ExpectDigits(M["sigma"], 11.027576779552209);
  ExpectDigits(M["r.squared"], 0.68118749898848041);
  ExpectDigits(M["adj.r.squared"], 0.64133593636204045);
  ExpectDigits(M["statistic"], 17.09311891666048);
  EXPECT_EQ(M["df.residual"], 40);  // 47 rows, one of weight 0, 6 coefficients
  EXPECT_EQ(M["nobs"], 46);
  ExpectDigits(M["logLik"], -157.20599012009868);
  ExpectDigits(M["AIC"], 328.41198024019735);
  ExpectDigits(M["BIC"], 341.21247001562102);
  ExpectDigits(M["deviance"], 4864.2979851567625);
  ExpectDigits(M["durbin.watson"], 1.5088180791506851);
  EXPECT_EQ(J["meta"]["weights"], "w");
  EXPECT_EQ(J["meta"]["n"], 46);
  const double Vif[] = {2.6302052927701487, 3.7763430373598821, 2.4633905910399307, 2.0594386059687082,
                        1.0903787583913682};
  for (int j = 0; j < 5; ++j) ExpectDigits(C[j + 1]["vif"], Vif[j]);
  const double SumSq[] = {2328.3726460405460, 3719.5842708043183, 1253.8281394279156, 1733.1035127465218,
                          1358.3644192752622, 4864.2979851567625};
  for (int j = 0; j < 6; ++j) ExpectDigits(J["anova"][j]["sumsq"], SumSq[j]);

  const TRun Origin = Run(File + " regress --y Fertility --weights w --json --no-intercept");
  ASSERT_EQ(Origin.Status, 0) << Origin.Err;
  const json O = json::parse(Origin.Out);
  const double OriginErrors[] = {0.080244823644309321, 0.305059528899725985, 0.285323197453548394,
                                 0.049741220783019166, 0.325841339295121324};
  for (int j = 0; j < 5; ++j) ExpectDigits(O["coefficients"][j]["std.error"], OriginErrors[j]);
  ExpectDigits(O["coefficients"][4]["estimate"], 2.79897478826328028);
  const json& OM = O["model"][0];
  ExpectDigits(OM["sigma"], 15.15373135084219491);
  ExpectDigits(OM["r.squared"], 0.98336830290989408);
  ExpectDigits(OM["adj.r.squared"], 0.98134004716719825);
  ExpectDigits(OM["statistic"], 484.83447240378671950);
  ExpectDigits(OM["logLik"], -172.39491348458861353);
  ExpectDigits(OM["AIC"], 356.78982696917722706);
}

// The same weights with none of them 0 (the third 3.5 here):
// sqrt(diag(vcovHC(f, type))) for HC0 to HC4, and HC3 through the origin.
TEST_F(WeightedFitTest, RobustErrorsAsSandwich) {
  std::string Text = WeightedSwiss();
  const std::size_t Third = Text.find(",0\n");
  ASSERT_NE(Third, std::string::npos);
  const std::string File = Write("swiss.csv", Text.replace(Third, 3, ",3.5\n"));
  // (Intercept), Agriculture, Examination and Infant.Mortality
  const double Errors[5][4] = {
      {10.233553916542996731, 0.065182341044494094, 0.244603872856220678, 0.379025210394898449},
      {10.95679365023968543, 0.06978899669542471, 0.26189085265897860, 0.40581219900763782},
      {11.745657004501005360, 0.073261412209711232, 0.274468402372811560, 0.439515026431340050},
      {13.702789956405320382, 0.083186414536389239, 0.310354533152067014, 0.523789897218932765},
      {17.310283113507054509, 0.091563961789927248, 0.332079951595339651, 0.752865993151836888}};
  const char* const Kinds[] = {"HC0", "HC1", "HC2", "HC3", "HC4"};
  for (int k = 0; k < 5; ++k) {
    const TRun R = Run(File + " regress --y Fertility --weights w --json --vcov " + Kinds[k]);
    ASSERT_EQ(R.Status, 0) << R.Err;
    const json J = json::parse(R.Out);
    for (int j = 0; j < 3; ++j) ExpectDigits(J["coefficients"][j]["std.error"], Errors[k][j]);
    ExpectDigits(J["coefficients"][5]["std.error"], Errors[k][3]);
    EXPECT_EQ(J["meta"]["vcov"], Kinds[k]);
  }
  const TRun Origin = Run(File + " regress --y Fertility --weights w --json --vcov HC3 --no-intercept");
  ASSERT_EQ(Origin.Status, 0) << Origin.Err;
  const double Through[] = {0.094945549234417767, 0.599420260451895670, 0.269305216963668215,
                            0.068428551722880218, 0.645987511016648308};
  for (int j = 0; j < 5; ++j) ExpectDigits(json::parse(Origin.Out)["coefficients"][j]["std.error"], Through[j]);
}

// 25,000 rows read in blocks, a fifth of weight 0: R's figures, and the
// same bytes on one thread and on three.
TEST_F(WeightedFitTest, BeyondTheBoxAsR) {
  const std::string Args = Write("firms.csv", FirmFile(25000)) + " regress --y y --x a,b --weights w --json";
  const TRun One = Run(Args + " --threads 1");
  ASSERT_EQ(One.Status, 0) << One.Err;
  const json J = json::parse(One.Out);
  const double Estimates[] = {149.5082795048107300, 2.9634381101037968, -1.9805884093962198};
  const double Errors[] = {9.573025112293352734, 0.015434514862475813, 0.015711231918603540};
  for (int j = 0; j < 3; ++j) {
    ExpectDigits(J["coefficients"][j]["estimate"], Estimates[j]);
    ExpectDigits(J["coefficients"][j]["std.error"], Errors[j]);
  }
  const json& M = J["model"][0];
  ExpectDigits(M["sigma"], 2034.5315764534378);
  ExpectDigits(M["r.squared"], 0.72702906221417907);
  ExpectDigits(M["adj.r.squared"], 0.72700169259089886);
  ExpectDigits(M["statistic"], 26563.356563922676);
  ExpectDigits(M["logLik"], -172377.29403291683);
  ExpectDigits(M["AIC"], 344762.58806583367);
  ExpectDigits(M["BIC"], 344794.19200352294);
  EXPECT_EQ(M["df.residual"], 19947);
  EXPECT_EQ(Run(Args + " --threads 3").Out, One.Out);
}

// diagnose --weights as R's influence.measures, lm.influence and
// predict(f, interval = "prediction") of lm(mpg ~ wt + hp, d, weights = w)
// on mtcars' first 12 rows: the row of weight 0 left out, as R leaves it.
TEST_F(WeightedFitTest, DiagnoseAsInfluenceMeasures) {
  const std::string File = Write("cars.csv",
                                 "mpg,wt,hp,w\n21,2.62,110,1\n21,2.875,110,2\n22.8,2.32,93,0\n21.4,3.215,110,1.5\n"
                                 "18.7,3.44,175,1\n18.1,3.46,105,0.5\n14.3,3.57,245,2\n24.4,3.19,62,1\n"
                                 "22.8,3.15,95,3\n19.2,3.44,123,1\n17.8,3.44,123,0.7\n16.4,4.07,180,1.2\n");
  const TRun R = Run("diagnose --y mpg --x wt,hp --weights w --json " + File);
  ASSERT_EQ(R.Status, 0) << R.Err;
  const json Rows = json::parse(R.Out)["observations"];
  ASSERT_EQ(Rows.size(), 11u);
  EXPECT_EQ(Rows[2]["row"], 4);
  struct TExpected {
    double Hat, Sigma, StdResid, CooksD, Dffits, CovRatio, DfbWt, Fitted, PredLow;
  };
  const TExpected Expected[] = {
      {0.35835652201744250, 1.4119827335341357, -0.77596418552001101, 0.1120943254580166748, -0.56408926171725360,
       1.8396443437040533, 0.497172476386862849, 21.853715852958075, 18.162310438224644},
      {0.12099926115147903, 1.4574096295518499, 0.34416248410532185, 0.0054349966285248885, 0.12033817175821544,
       1.6238724210561792, 0.011104986727920214, 21.038142735917532, 18.300089471264243}};
  for (int k = 0; k < 2; ++k) {
    const json& Row = Rows[k == 0 ? 0 : 2];
    const TExpected& E = Expected[k];
    ExpectDigits(Row[".hat"], E.Hat);
    ExpectDigits(Row[".sigma"], E.Sigma);
    ExpectDigits(Row[".std.resid"], E.StdResid);
    ExpectDigits(Row[".cooksd"], E.CooksD);
    ExpectDigits(Row["dffits"], E.Dffits);
    ExpectDigits(Row["covratio"], E.CovRatio);
    ExpectDigits(Row["dfb.wt"], E.DfbWt);
    ExpectDigits(Row[".fitted"], E.Fitted);
    ExpectDigits(Row["pred.low"], E.PredLow);
  }
  EXPECT_EQ(json::parse(R.Out)["meta"]["weights"], "w");
}

TEST_F(WeightedFitTest, RefusedWeights) {
  const std::string Rows = "a,y,w\n1,2,1\n2,3,1\n3,5,2\n4,4,1\n";
  const TRun Negative = Run(Write("negative.csv", Rows + "5,7,-1\n") + " regress --y y --x a --weights w");
  EXPECT_EQ(Negative.Status, 2);
  EXPECT_NE(Negative.Err.find("negative"), std::string::npos) << Negative.Err;
  EXPECT_NE(Negative.Err.find("row 5"), std::string::npos) << Negative.Err;
  const std::string File = Write("w.csv", Rows);
  EXPECT_EQ(Run(File + " regress --y y --x a --weights nosuch").Status, 2);
  EXPECT_EQ(Run("regress --weights w").Status, 2);  // the built-in example has no such column
  EXPECT_EQ(Run(File + " regress --y y --x a,w --weights w").Status, 2);
  const TRun Zero = Run(Write("zero.csv", Rows + "5,7,0\n6,6,1\n") + " regress --y y --x a --weights w --vcov HC0");
  EXPECT_EQ(Zero.Status, 2);
  EXPECT_NE(Zero.Err.find("weight of 0"), std::string::npos) << Zero.Err;
}

}  // namespace
}  // namespace varnel::cli
