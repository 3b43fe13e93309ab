// SPDX-License-Identifier: Apache-2.0
// glm run as a user would, against R 4.2.2's glm, summary.glm and
// confint.default on mtcars and warpbreaks (tension a text factor).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "tool_fixture.h"

namespace varnel::cli {
namespace {

using nlohmann::ordered_json;

const char* const kCars =
    "wt,hp,am,mpg\n2.62,110,1,21\n2.875,110,1,21\n2.32,93,1,22.8\n3.215,110,0,21.4\n3.44,175,0,18.7\n"
    "3.46,105,0,18.1\n3.57,245,0,14.3\n3.19,62,0,24.4\n3.15,95,0,22.8\n3.44,123,0,19.2\n3.44,123,0,17.8\n"
    "4.07,180,0,16.4\n3.73,180,0,17.3\n3.78,180,0,15.2\n5.25,205,0,10.4\n5.424,215,0,10.4\n5.345,230,0,14.7\n"
    "2.2,66,1,32.4\n1.615,52,1,30.4\n1.835,65,1,33.9\n2.465,97,0,21.5\n3.52,150,0,15.5\n3.435,150,0,15.2\n"
    "3.84,245,0,13.3\n3.845,175,0,19.2\n1.935,66,1,27.3\n2.14,91,1,26\n1.513,113,1,30.4\n3.17,264,1,15.8\n"
    "2.77,175,1,19.7\n3.57,335,1,15\n2.78,109,1,21.4\n";

const char* const kWarpbreaks =
    "breaks,wool,tension\n26,A,L\n30,A,L\n54,A,L\n25,A,L\n70,A,L\n52,A,L\n51,A,L\n26,A,L\n67,A,L\n18,A,M\n21,A,M\n"
    "29,A,M\n17,A,M\n12,A,M\n18,A,M\n35,A,M\n30,A,M\n36,A,M\n36,A,H\n21,A,H\n24,A,H\n18,A,H\n10,A,H\n43,A,H\n"
    "28,A,H\n15,A,H\n26,A,H\n27,B,L\n14,B,L\n29,B,L\n19,B,L\n29,B,L\n31,B,L\n41,B,L\n20,B,L\n44,B,L\n42,B,M\n"
    "26,B,M\n19,B,M\n16,B,M\n39,B,M\n28,B,M\n21,B,M\n39,B,M\n29,B,M\n20,B,H\n21,B,H\n24,B,H\n17,B,H\n13,B,H\n"
    "15,B,H\n15,B,H\n16,B,H\n28,B,H\n";

// Agreement to 9 significant digits.
void ExpectNear(const ordered_json& Cell, double R, const std::string& What) {
  ASSERT_TRUE(Cell.is_number()) << What;
  EXPECT_NEAR(Cell.get<double>(), R, 1e-9 * std::fabs(R)) << What;
}

struct TTerm {
  const char* Name;
  double Estimate, StdErr, P, Low, High;
};
struct TModel {
  double NullDeviance, Deviance, Aic, Bic;
  int Iterations;
};

class GlmTest : public ToolTest {
 protected:
  ordered_json Fit(const std::string& File, const std::string& Options) {
    const TRun R = Run("glm " + File + " " + Options + " --json");
    EXPECT_EQ(R.Status, 0) << R.Err;
    return R.Status == 0 ? ordered_json::parse(R.Out) : ordered_json();
  }
  static void ExpectAsR(const ordered_json& Out, const std::vector<TTerm>& Terms, const TModel& M) {
    const ordered_json& Rows = Out["coefficients"];
    ASSERT_EQ(Rows.size(), Terms.size());
    for (const TTerm& T : Terms) {
      const auto Named = [&T](const ordered_json& r) { return r["term"] == T.Name; };
      const auto Row = std::find_if(Rows.begin(), Rows.end(), Named);
      ASSERT_NE(Row, Rows.end()) << T.Name;
      ExpectNear((*Row)["estimate"], T.Estimate, std::string(T.Name) + " estimate");
      ExpectNear((*Row)["std.error"], T.StdErr, std::string(T.Name) + " std.error");
      if (!std::isnan(T.P)) ExpectNear((*Row)["p.value"], T.P, std::string(T.Name) + " p.value");
      if (!std::isnan(T.Low)) ExpectNear((*Row)["conf.low"], T.Low, std::string(T.Name) + " conf.low");
      if (!std::isnan(T.High)) ExpectNear((*Row)["conf.high"], T.High, std::string(T.Name) + " conf.high");
    }
    const ordered_json& Model = Out["model"][0];
    ExpectNear(Model["null.deviance"], M.NullDeviance, "null.deviance");
    ExpectNear(Model["deviance"], M.Deviance, "deviance");
    ExpectNear(Model["AIC"], M.Aic, "AIC");
    if (!std::isnan(M.Bic)) ExpectNear(Model["BIC"], M.Bic, "BIC");
    EXPECT_EQ(Model["iterations"], M.Iterations);
  }
};

TEST_F(GlmTest, LogisticAndProbitAsR) {
  const std::string Cars = Write("cars.csv", kCars);
  ExpectAsR(Fit(Cars, "--y am --x wt,hp --family binomial"),
            {{"(Intercept)", 18.866298717204096, 7.4435580602052740, 0.011258198716613689, 4.2771930023689340,
              33.455404432039259},
             {"wt", -8.0834751824446283, 3.0686751130546961, 0.0084338125997070225, -14.097967884286209,
              -2.068982480603046},
             {"hp", 0.036255596082216547, 0.017734153650769347, 0.040914646459029938, 0.0014972936304091175,
              0.071013898534023984}},
            {43.229733276857807, 10.059110472266989, 16.059110472266987, 20.456318180666166, 8});
  ExpectAsR(Fit(Cars, "--y am --x wt,hp --family binomial --link probit"),
            {{"(Intercept)", 10.405519549499060, 3.6203397249351368, NAN, NAN, NAN},
             {"wt", -4.5421915176549001, 1.5120529348568941, NAN, NAN, NAN},
             {"hp", 0.021258960840616792, 0.009190388857521237, NAN, NAN, NAN}},
            {43.229733276857807, 9.8605071392150769, 15.860507139215079, 20.25771484761426, 9});
  // Through the origin the null model's mean is the inverse link of 0.
  ExpectAsR(Fit(Cars, "--y am --x wt,hp --family binomial --no-intercept"),
            {{"wt", -0.816811012014680538, 0.3974373543583147872, NAN, NAN, NAN},
             {"hp", 0.012311545661181787, 0.0079837946273917763, NAN, NAN, NAN}},
            {44.361419555836498, 37.039726262675970, 41.039726262675970, NAN, 4});
}

// The Gamma family's dispersion is estimated: t statistics on 29 df.
TEST_F(GlmTest, PoissonWithATextFactorAndGammaWithLogLinkAsR) {
  const std::string Warp = Write("warp.csv", kWarpbreaks);
  ExpectAsR(Fit(Warp, "--y breaks --x wool,tension --ref tension=L --family poisson"),
            {{"(Intercept)", 3.69196314495379285, 0.045410692599177349, NAN, NAN, NAN},
             {"woolB", -0.20598844264886310, 0.051571168646442171, NAN, NAN, NAN},
             {"tensionM", -0.32132043160019125, 0.060265801934335277, NAN, NAN, NAN},
             {"tensionH", -0.51848849651734341, 0.063959443312719605, NAN, NAN, NAN}},
            {297.37221180460534, 210.39188876245385, 493.05596641795768, 501.01190260421475, 4});
  const ordered_json Gamma = Fit(Write("cars.csv", kCars), "--y mpg --x wt,hp --family Gamma --link log");
  ExpectAsR(Gamma,
            {{"(Intercept)", 3.8258701726410984, 0.071138396932221265, 1.3268192816389226e-30, 3.6864414767360301,
              3.9652988685461668},
             {"wt", -0.19698666595880882, 0.028153613538703721, 1.0789938067607325e-07, -0.25216673452932736,
              -0.14180659738829027},
             {"hp", -0.0015601051287639184, 0.00040177888295748451, 5.4916738229823130e-04, -0.0023475772691093216,
              -0.00077263298841851521}},
            {2.7352896502848743, 0.36816082819816204, 145.27526500641022, 151.13820861760914, 4});
  ExpectNear(Gamma["model"][0]["dispersion"], 0.013315871556002109, "dispersion");
}

// Table observations: fitted, residuals(f), residuals(f, "pearson"),
// hatvalues, cooks.distance and rstandard, at rows 1 and 15 (a logistic fit,
// dispersion 1, and a Gamma fit, whose dispersion scales Cook's distance and
// A formula's terms, as glm(am ~ log(hp) + I(wt^2), binomial, d) and
// glm(breaks ~ wool*tension, poisson, w) in R 4.2.2 (tension's levels in
// the order read.csv gives them, H first).
TEST_F(GlmTest, FormulaAsR) {
  const ordered_json Logistic =
      Fit(Write("cars.csv", kCars), "--family binomial --formula 'am ~ log(hp) + I(wt^2)'");
  const double Estimate[] = {-23.0981966343268041, 7.8601932061380522, -1.6731609234746070};
  const double StdErr[] = {14.82937118408030308, 4.16229563160265137, 0.70429252365700135};
  const char* const LogisticTerms[] = {"(Intercept)", "log(hp)", "I(wt^2)"};
  ASSERT_EQ(Logistic["coefficients"].size(), 3u);
  for (std::size_t j = 0; j < 3; ++j) {
    EXPECT_EQ(Logistic["coefficients"][j]["term"], LogisticTerms[j]);
    ExpectNear(Logistic["coefficients"][j]["estimate"], Estimate[j], "estimate");
    ExpectNear(Logistic["coefficients"][j]["std.error"], StdErr[j], "std.error");
  }
  ExpectNear(Logistic["model"][0]["deviance"], 9.8516625917915555, "deviance");
  ExpectNear(Logistic["model"][0]["AIC"], 15.8516625917915537, "AIC");
  EXPECT_EQ(Logistic["model"][0]["iterations"], 8);
  const ordered_json Poisson = Fit(Write("warp.csv", kWarpbreaks), "--family poisson --formula 'breaks ~ wool*tension'");
  const char* const Terms[] = {"(Intercept)", "woolB", "tensionL", "tensionM", "woolB:tensionL", "woolB:tensionM"};
  const double PoissonEstimate[] = {3.200938124190502609,  -0.268263986603645421, 0.595798725786425232,
                                    -0.022884293841625412, -0.188363173690406227, 0.449813640618291266};
  ASSERT_EQ(Poisson["coefficients"].size(), 6u);
  for (std::size_t j = 0; j < 6; ++j) {
    EXPECT_EQ(Poisson["coefficients"][j]["term"], Terms[j]);
    ExpectNear(Poisson["coefficients"][j]["estimate"], PoissonEstimate[j], Terms[j]);
  }
  ExpectNear(Poisson["model"][0]["deviance"], 182.30513128584673, "deviance");
  ExpectNear(Poisson["model"][0]["AIC"], 468.96920894135053, "AIC");
}

// the standardised residual).
TEST_F(GlmTest, ObservationsAsR) {
  const std::string Cars = Write("cars.csv", kCars);
  const auto Expect = [](const ordered_json& Rows, std::size_t i, const std::vector<double>& R) {
    const char* const Names[] = {".fitted", ".resid", ".pearson", ".hat", ".cooksd", ".std.resid"};
    EXPECT_EQ(Rows[i]["row"], i + 1);
    for (std::size_t c = 0; c < R.size(); ++c) ExpectNear(Rows[i][Names[c]], R[c], Names[c]);
  };
  const ordered_json Logistic = Fit(Cars, "--y am --x wt,hp --family binomial")["observations"];
  ASSERT_EQ(Logistic.size(), 32u);
  Expect(Logistic, 0, {0.842335536516938155, 0.58579321384482852, 0.43263768600782809, 0.184073534724686405,
                       0.0172510983588934977, 0.64851320893049691});
  Expect(Logistic, 3, {0.041728034824475548, -0.29197141232590851, -0.20867459278982281, 0.095146138545975714,
                       0.0016867556512335858, -0.30693831779658165});
  const ordered_json Gamma = Fit(Cars, "--y mpg --x wt,hp --family Gamma --link log")["observations"];
  Expect(Gamma, 0, {23.0612459383411625, -0.0921924945899677828, -0.0893813779122045043, 0.0442769148204859714,
                    0.0096942996181968947, -0.8172308067128219999});
  Expect(Gamma, 14, {11.84455922436201369, -0.12730349997919763, -0.12195972825994476, 0.18577111718285205,
                     0.10433432943086289, -1.22259409357797533});
}

// Bliss's beetles: deaths of n insects at each dose.
const char* const kBeetles =
    "dose,n,dead\n1.6907,59,6\n1.7242,60,13\n1.7552,62,18\n1.7842,56,28\n1.8113,63,52\n1.8369,59,53\n"
    "1.8610,62,61\n1.8839,60,60\n";

// Proportions with their trials as prior weights, the weights' column read
// by the formula too: glm(dead/n ~ dose, binomial(link = "cloglog"), d,
// weights = n) in R 4.2.2.
TEST_F(GlmTest, PriorWeightsAsR) {
  const ordered_json J =
      Fit(Write("beetles.csv", kBeetles), "--family binomial --link cloglog --formula 'dead/n ~ dose' --weights n");
  ExpectAsR(J,
            {{"(Intercept)", -39.572309214211202, 3.2402899027239447, NAN, NAN, NAN},
             {"dose", 22.041169045266024, 1.7993648319956366, NAN, NAN, NAN}},
            {284.2024494808314330, 3.4464387330246642, 33.6444769501171379, 33.8033600334768067, 4});
  const ordered_json& First = J["observations"][0];
  ExpectNear(First[".hat"], 0.2522200878015049552, ".hat");
  ExpectNear(First[".cooksd"], 0.0075126000518805714, ".cooksd");
  ExpectNear(First[".std.resid"], 0.2088177121124547841, ".std.resid");
  EXPECT_EQ(J["meta"]["weights"], "n");
}

// A rate: glm(dead ~ dose + offset(log(n)), poisson, d), saved and
// predicted at new doses and trials as predict.glm(se.fit = TRUE) on
// both scales.
TEST_F(GlmTest, OffsetSavedAndPredictedAsR) {
  const std::string Model = (Dir / "rate.json").string();
  const ordered_json J = Fit(Write("beetles.csv", kBeetles),
                             "--family poisson --formula 'dead ~ dose + offset(log(n))' --save-model " + Model);
  ExpectAsR(J,
            {{"(Intercept)", -18.6146050799839173, 2.0018925918410710, NAN, NAN, NAN},
             {"dose", 9.9938345236467452, 1.0941222248715463, NAN, NAN, NAN}},
            {108.638827423029909, 12.255009643241138, 57.731705682790370, NAN, 4});
  const std::string New = Write("new.csv", "n,dose\n50,1.75\n40,1.9\n");
  const auto Predicted = [&](const std::string& Type) {
    const TRun R = Run("predict " + Model + " " + New + Type + " --json");
    EXPECT_EQ(R.Status, 0) << R.Err;
    return R.Status == 0 ? ordered_json::parse(R.Out)["predictions"] : ordered_json();
  };
  const ordered_json Link = Predicted(""), Mean = Predicted(" --type response");
  const double LinkFit[] = {2.7866283418260340, 4.0625599690588334}, LinkSe[] = {0.104343692638618091, 0.097411356195080193};
  const double MeanFit[] = {16.226218206332586, 58.122913649364918}, MeanSe[] = {1.6931035252087163, 5.6618318445941744};
  for (std::size_t i = 0; i < 2; ++i) {
    ExpectNear(Link[i][".fitted"], LinkFit[i], "link");
    ExpectNear(Link[i][".se.fit"], LinkSe[i], "link se");
    ExpectNear(Mean[i][".fitted"], MeanFit[i], "response");
    ExpectNear(Mean[i][".se.fit"], MeanSe[i], "response se");
  }
  EXPECT_EQ(ordered_json::parse(Slurp(Model))["formula"], "dead ~ dose + offset(log(n))");
  const TRun Interval = Run("predict " + Model + " " + New + " --interval confidence");
  EXPECT_EQ(Interval.Status, 2);
  EXPECT_EQ(Interval.Err, "varnel: --interval is for linear models; a generalised model's predictions have standard "
                          "errors only, as R's predict.glm\n");
  // Only glm takes an offset: lm's is the response less it.
  const TRun Linear = Run("regress " + Write("b.csv", kBeetles) + " --formula 'dead ~ dose + offset(log(n))'");
  EXPECT_EQ(Linear.Status, 2);
  EXPECT_NE(Linear.Err.find("offset() is taken by glm"), std::string::npos) << Linear.Err;
}

// --step as R's step(): forward from the constant over breaks ~
// wool*tension (the interaction only once both its terms are in), then the
// chosen model's tables; and both ways from y ~ x1*x2, where dropping x1
// alone would lower the AIC (to 532.691) but x1:x2 keeps it, as step()
// keeps it.
TEST_F(GlmTest, StepwiseAsR) {
  const TRun Forward = Run("glm " + Write("warp.csv", kWarpbreaks) +
                           " --family poisson --formula 'breaks ~ wool*tension' --step forward --json");
  ASSERT_EQ(Forward.Status, 0) << Forward.Err;
  const ordered_json J = ordered_json::parse(Forward.Out);
  const ordered_json& Steps = J["steps"];
  ASSERT_EQ(Steps.size(), 4u);
  const char* const Terms[] = {"(Intercept)", "tension", "wool + tension", "wool + tension + wool:tension"};
  const double Deviance[] = {297.37221180460529, 226.43064129656196, 210.39188876245387, 182.30513128584676};
  const double Aic[] = {574.03628946010917, 507.09471895206576, 493.05596641795773, 468.96920894135059};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(Steps[i]["terms"], Terms[i]);
    ExpectNear(Steps[i]["deviance"], Deviance[i], "deviance");
    ExpectNear(Steps[i]["AIC"], Aic[i], "AIC");
  }
  EXPECT_EQ(Steps[3]["action"], "add");
  EXPECT_EQ(Steps[3]["term"], "wool:tension");
  EXPECT_EQ(J["coefficients"].size(), 6u);
  ExpectNear(J["model"][0]["AIC"], 468.96920894135059, "the chosen model's AIC");

  std::string Counts = "x1,x2,y\n";
  char Line[96];
  for (long long i = 0; i < 200; ++i) {
    const double x1 = Uniform(i, 1) * 2 - 1, x2 = Uniform(i, 2) * 2 - 1;
    const int y = static_cast<int>(std::exp(1 + 0.3 * x2 + 0.8 * x1 * x2) * (0.5 + Uniform(i, 3)));
    std::snprintf(Line, sizeof Line, "%.17g,%.17g,%d\n", x1, x2, y);
    Counts += Line;
  }
  const TRun Both =
      Run("glm " + Write("counts.csv", Counts) + " --family poisson --formula 'y ~ x1*x2' --step both --json");
  ASSERT_EQ(Both.Status, 0) << Both.Err;
  const ordered_json Kept = ordered_json::parse(Both.Out)["steps"];
  ASSERT_EQ(Kept.size(), 1u);
  EXPECT_EQ(Kept[0]["terms"], "x1 + x2 + x1:x2");
  ExpectNear(Kept[0]["AIC"], 534.4907151520357, "AIC");
  EXPECT_EQ(Run("glm " + Write("c.csv", Counts) + " --family poisson --formula 'y ~ x1*x2' --step both "
                "--save-model " + (Dir / "m.json").string()).Status, 2);
}

// A generated logistic file of 50,000 rows: the same bytes on 1 and 3
// threads.
TEST_F(GlmTest, ThreadsGiveTheSameBytes) {
  std::string Text = "x1,x2,y\n";
  std::uint64_t State = 12345;
  const auto Uniform = [&State] {
    State = State * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(State >> 11) / 9007199254740992.0;
  };
  for (int i = 0; i < 50000; ++i) {
    const double x1 = 50 + 10 * Uniform(), x2 = Uniform() - 0.5;
    const double p = 1 / (1 + std::exp(-(0.2 * (x1 - 55) + 2 * x2)));
    Text += std::to_string(x1) + "," + std::to_string(x2) + "," + (Uniform() < p ? "1" : "0") + "\n";
  }
  const std::string File = Write("large.csv", Text);
  const TRun One = Run("glm " + File + " --family binomial --threads 1 --json");
  const TRun Three = Run("glm " + File + " --family binomial --threads 3 --json");
  ASSERT_EQ(One.Status, 0) << One.Err;
  EXPECT_EQ(One.Out, Three.Out);
  EXPECT_EQ(ordered_json::parse(One.Out)["model"][0]["nobs"], 50000);
}

// A response outside the family's domain ends the run with status 2,
// naming its row; complete separation is said in R's words and plainly.
TEST_F(GlmTest, RefusalsAndWarnings) {
  const std::string Counts = Write("counts.csv", "x,y\n1,2\n2,0\n3,-1\n4,5\n");
  const TRun Negative = Run("glm " + Counts + " --family poisson");
  EXPECT_EQ(Negative.Status, 2);
  EXPECT_NE(Negative.Err.find("data row 3"), std::string::npos) << Negative.Err;
  EXPECT_NE(Negative.Err.find("negative values not allowed for the 'Poisson' family"), std::string::npos);
  const TRun Zero = Run("glm " + Write("zero.csv", "x,y\n1,2\n2,0\n3,1\n") + " --family Gamma");
  EXPECT_EQ(Zero.Status, 2) << Zero.Err;
  EXPECT_EQ(Run("glm " + Counts + " --family poisson --link logit").Status, 2);

  const TRun Separated = Run("glm " + Write("sep.csv", "x,y\n1,0\n2,0\n3,0\n4,1\n5,1\n6,1\n") + " --family binomial");
  EXPECT_EQ(Separated.Status, 0) << Separated.Err;
  EXPECT_NE(Separated.Err.find("glm.fit: fitted probabilities numerically 0 or 1 occurred"), std::string::npos)
      << Separated.Err;
  EXPECT_NE(Separated.Err.find("separate the outcomes"), std::string::npos) << Separated.Err;

  // A predictor that is a multiple of another is aliased, as lm aliases it.
  const TRun Aliased = Run("glm " + Write("twice.csv", "x,x2,y\n1,2,1\n2,4,3\n3,6,2\n4,8,6\n5,10,7\n") +
                           " --family poisson --json");
  ASSERT_EQ(Aliased.Status, 0) << Aliased.Err;
  EXPECT_NE(Aliased.Err.find("x2 not defined because of singularities"), std::string::npos) << Aliased.Err;
  const ordered_json Rows = ordered_json::parse(Aliased.Out)["coefficients"];
  ASSERT_EQ(Rows.size(), 3u);
  EXPECT_TRUE(Rows[2]["estimate"].is_null());
  EXPECT_EQ(ordered_json::parse(Aliased.Out)["model"][0]["df.residual"], 3);
}

}  // namespace
}  // namespace varnel::cli
