// SPDX-License-Identifier: Apache-2.0
// regress --formula on R's data sets, written as CSV, against lm on the same
// files (R 4.2.2): the coefficients named as R names them, with their
// standard errors, t and p-values, the model's figures and the sequential
// ANOVA by R's terms; and formulas that cannot be computed refused.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tool_fixture.h"

namespace varnel::cli {
namespace {

using nlohmann::ordered_json;

// R's warpbreaks.
const char kWarp[] =
    "breaks,wool,tension\n26,A,L\n30,A,L\n54,A,L\n25,A,L\n70,A,L\n52,A,L\n51,A,L\n26,A,L\n67,A,L\n"
    "18,A,M\n21,A,M\n29,A,M\n17,A,M\n12,A,M\n18,A,M\n35,A,M\n30,A,M\n36,A,M\n36,A,H\n21,A,H\n24,A,H\n"
    "18,A,H\n10,A,H\n43,A,H\n28,A,H\n15,A,H\n26,A,H\n27,B,L\n14,B,L\n29,B,L\n19,B,L\n29,B,L\n31,B,L\n"
    "41,B,L\n20,B,L\n44,B,L\n42,B,M\n26,B,M\n19,B,M\n16,B,M\n39,B,M\n28,B,M\n21,B,M\n39,B,M\n29,B,M\n"
    "20,B,H\n21,B,H\n24,B,H\n17,B,H\n13,B,H\n15,B,H\n15,B,H\n16,B,H\n28,B,H\n";

// R's mtcars, cyl as words.
const char kCars[] =
    "mpg,hp,wt,cyl\n21,110,2.62,six\n21,110,2.875,six\n22.8,93,2.32,four\n21.4,110,3.215,six\n"
    "18.7,175,3.44,eight\n18.1,105,3.46,six\n14.3,245,3.57,eight\n24.4,62,3.19,four\n22.8,95,3.15,four\n"
    "19.2,123,3.44,six\n17.8,123,3.44,six\n16.4,180,4.07,eight\n17.3,180,3.73,eight\n"
    "15.2,180,3.78,eight\n10.4,205,5.25,eight\n10.4,215,5.424,eight\n14.7,230,5.345,eight\n"
    "32.4,66,2.2,four\n30.4,52,1.615,four\n33.9,65,1.835,four\n21.5,97,2.465,four\n15.5,150,3.52,eight\n"
    "15.2,150,3.435,eight\n13.3,245,3.84,eight\n19.2,175,3.845,eight\n27.3,66,1.935,four\n"
    "26,91,2.14,four\n30.4,113,1.513,four\n15.8,264,3.17,eight\n19.7,175,2.77,six\n15,335,3.57,eight\n"
    "21.4,109,2.78,four\n";

// R's swiss.
const char kSwiss[] =
    "Fertility,Agriculture,Examination,Education,Catholic,Infant.Mortality\n80.2,17,15,12,9.96,22.2\n"
    "83.1,45.1,6,9,84.84,22.2\n92.5,39.7,5,5,93.4,20.2\n85.8,36.5,12,7,33.77,20.3\n"
    "76.9,43.5,17,15,5.16,20.6\n76.1,35.3,9,7,90.57,26.6\n83.8,70.2,16,7,92.85,23.6\n"
    "92.4,67.8,14,8,97.16,24.9\n82.4,53.3,12,7,97.67,21\n82.9,45.2,16,13,91.38,24.4\n"
    "87.1,64.5,14,6,98.61,24.5\n64.1,62,21,12,8.52,16.5\n66.9,67.5,14,7,2.27,19.1\n"
    "68.9,60.7,19,12,4.43,22.7\n61.7,69.3,22,5,2.82,18.7\n68.3,72.6,18,2,24.2,21.2\n71.7,34,17,8,3.3,20\n"
    "55.7,19.4,26,28,12.11,20.2\n54.3,15.2,31,20,2.15,10.8\n65.1,73,19,9,2.84,20\n"
    "65.5,59.8,22,10,5.23,18\n65,55.1,14,3,4.52,22.4\n56.6,50.9,22,12,15.14,16.7\n"
    "57.4,54.1,20,6,4.2,15.3\n72.5,71.2,12,1,2.4,21\n74.2,58.1,14,8,5.23,23.8\n72,63.5,6,3,2.56,18\n"
    "60.5,60.8,16,10,7.72,16.3\n58.3,26.8,25,19,18.46,20.9\n65.4,49.5,15,8,6.1,22.5\n"
    "75.5,85.9,3,2,99.71,15.1\n69.3,84.9,7,6,99.68,19.8\n77.3,89.7,5,2,100,18.3\n"
    "70.5,78.2,12,6,98.96,19.4\n79.4,64.9,7,3,98.22,20.2\n65,75.9,9,9,99.06,17.8\n"
    "92.2,84.6,3,3,99.46,16.3\n79.3,63.1,13,13,96.83,18.1\n70.4,38.4,26,12,5.62,20.3\n"
    "65.7,7.7,29,11,13.79,20.5\n72.7,16.7,22,13,11.22,18.9\n64.4,17.6,35,32,16.92,23\n"
    "77.6,37.6,15,7,4.97,20\n67.6,18.7,25,7,8.65,19.5\n35,1.2,37,53,42.34,18\n"
    "44.7,46.6,16,29,50.43,18.2\n42.8,27.7,22,29,58.33,19.3\n";

bool Agrees(double a, double b, double Digits) { return std::fabs(a - b) <= std::pow(10.0, -Digits) * std::fabs(b); }

// What R's summary(lm(...)) and glance give.
struct TLm {
  std::vector<std::string> Terms;
  std::vector<double> Estimate, StdError, Statistic, PValue;
  double RSquared, AdjRSquared, Sigma, F, FPValue, AIC, BIC, LogLik;
  std::vector<std::string> AnovaTerms;
  std::vector<double> AnovaF;
};

class FormulaToolTest : public ToolTest {
 protected:
  ordered_json Regress(const char* Csv, const std::string& Arguments) {
    const TRun R = Run("regress --json " + Arguments + " " + Write("data.csv", Csv));
    EXPECT_EQ(R.Status, 0) << Arguments << ": " << R.Err;
    return R.Status == 0 ? ordered_json::parse(R.Out) : ordered_json();
  }
  // To 10 significant digits.
  static void ExpectAsR(const ordered_json& J, const TLm& R) {
    const auto& C = J["coefficients"];
    ASSERT_EQ(C.size(), R.Terms.size());
    for (std::size_t j = 0; j < R.Terms.size(); ++j) {
      EXPECT_EQ(C[j]["term"], R.Terms[j]);
      EXPECT_TRUE(Agrees(C[j]["estimate"], R.Estimate[j], 10)) << R.Terms[j];
      EXPECT_TRUE(Agrees(C[j]["std.error"], R.StdError[j], 10)) << R.Terms[j];
      EXPECT_TRUE(Agrees(C[j]["statistic"], R.Statistic[j], 10)) << R.Terms[j];
      EXPECT_TRUE(Agrees(C[j]["p.value"], R.PValue[j], 10)) << R.Terms[j];
    }
    const auto& M = J["model"][0];
    EXPECT_TRUE(Agrees(M["r.squared"], R.RSquared, 10));
    EXPECT_TRUE(Agrees(M["adj.r.squared"], R.AdjRSquared, 10));
    EXPECT_TRUE(Agrees(M["sigma"], R.Sigma, 10));
    EXPECT_TRUE(Agrees(M["statistic"], R.F, 10));
    EXPECT_TRUE(Agrees(M["p.value"], R.FPValue, 10));
    EXPECT_TRUE(Agrees(M["AIC"], R.AIC, 10));
    EXPECT_TRUE(Agrees(M["BIC"], R.BIC, 10));
    EXPECT_TRUE(Agrees(M["logLik"], R.LogLik, 10));
    if (R.AnovaTerms.empty()) return;
    const auto& A = J["anova"];
    ASSERT_EQ(A.size(), R.AnovaTerms.size() + 1);
    for (std::size_t t = 0; t < R.AnovaTerms.size(); ++t) {
      EXPECT_EQ(A[t]["term"], R.AnovaTerms[t]);
      EXPECT_TRUE(Agrees(A[t]["statistic"], R.AnovaF[t], 10)) << R.AnovaTerms[t];
    }
  }
};

// d$tension <- relevel(d$tension, "L"); lm(breaks ~ wool*tension, d)
TEST_F(FormulaToolTest, InteractionOfFactorsWithReference) {
  const ordered_json J = Regress(kWarp, "--formula 'breaks ~ wool*tension' --ref tension=L");
  ExpectAsR(J, {{"(Intercept)", "woolB", "tensionH", "tensionM", "woolB:tensionH", "woolB:tensionM"},
                {44.555555555555536, -16.333333333333332, -20, -20.555555555555522, 10.555555555555552, 21.111111111111097},
                {3.646761345736405, 5.157299353878388, 5.1572993538783898, 5.1572993538783827, 7.2935226914728162,
                 7.2935226914728144},
                {12.217842444679707, -3.1670322416034185, -3.8779986631878582, -3.9857208482764088, 1.4472506636465976,
                 2.8945013272931948},
                {2.4259028296310874e-16, 0.0026768025165729266, 0.00031992822569262955, 0.0002280796168627932,
                 0.15432658047014752, 0.0056982869165913179},
                0.37775085644600914, 0.31293323732580169, 10.940284037209222, 5.8279039183073378,
                0.00027719640434769986, 419.26986772323176, 433.1927560491817, -202.63493386161588,
                {"wool", "tension", "wool:tension"},
                {3.7652883611186314, 8.4980466483580148, 4.1890689668510328}});
  EXPECT_EQ(J["meta"]["response"], "breaks");
}

// lm(log(mpg) ~ log(hp) + I(wt^2) + cyl, d), cyl read as text.
TEST_F(FormulaToolTest, TransformsAndATextFactor) {
  const ordered_json J = Regress(kCars, "--formula 'log(mpg) ~ log(hp) + I(wt^2) + cyl'");
  ExpectAsR(J, {{"(Intercept)", "log(hp)", "I(wt^2)", "cylfour", "cylsix"},
                {4.2697517064721726, -0.23052445398115509, -0.020788523307105504, 0.12603862735930713,
                 0.019635095074744119},
                {0.47906993121127078, 0.089963519929389765, 0.0042788646409114353, 0.10339986378279048,
                 0.074338426924613454},
                {8.9125854667535034, -2.5624214588545255, -4.8584204109521369, 1.2189438433311028, 0.26413116186405255},
                {1.5799061712032854e-09, 0.016288728065975623, 4.4559064531245275e-05, 0.23340851484159769,
                 0.79368454234874741},
                0.87734312241984891, 0.85917173314871542, 0.11174564470715255, 48.281565560513819,
                6.3980183438279298e-12, -42.882624318640502, -34.088208901842144, 27.441312159320251,
                {"log(hp)", "I(wt^2)", "cyl"},
                {157.54949153548358, 33.036274229639048, 1.270248238466271}});
  EXPECT_EQ(J["meta"]["response"], "log(mpg)");
}

// lm(Fertility ~ . - Examination, swiss) and, through the origin,
// lm(Fertility ~ (Agriculture + Education + Catholic)^2 - 1, swiss).
TEST_F(FormulaToolTest, DotPowerAndMinusOne) {
  ExpectAsR(Regress(kSwiss, "--formula 'Fertility ~ . - Examination'"),
            {{"(Intercept)", "Agriculture", "Education", "Catholic", "Infant.Mortality"},
             {62.101311555153771, -0.15461748754467519, -0.9802638289535367, 0.12466639316170182, 1.0784421701176763},
             {9.6048861073193983, 0.068189921140535001, 0.14813667908194944, 0.028893503791418654, 0.3818662096613436},
             {6.4655958291717273, -2.2674536787631503, -6.6172931311039669, 4.3146858913915329, 2.8241361577241624},
             {8.4919806902655026e-08, 0.028569679937598316, 5.1399850088171712e-08, 9.5030303481017419e-05,
              0.0072203782155452192},
             0.69934758307760103, 0.67071401956118204, 7.1681662118768781, 24.424049862902461, 1.717430551373862e-10,
             325.24084406398185, 336.34172967424217, -156.62042203199093,
             {"Agriculture", "Education", "Catholic", "Infant.Mortality"},
             {17.415214118810297, 45.343083033517139, 26.962157261917433, 7.9757450373649927}});
  ExpectAsR(Regress(kSwiss, "--formula 'Fertility ~ (Agriculture + Education + Catholic)^2 - 1'"),
            {{"Agriculture", "Education", "Catholic", "Agriculture:Education", "Agriculture:Catholic",
              "Education:Catholic"},
             {0.90453807732025682, 2.1868289818863316, 1.5249901220316788, -0.0056389126322798728,
              -0.015685570082084172, -0.059777306614884861},
             {0.10426730385208528, 0.35422916908039404, 0.20142604698355829, 0.010725734838850318,
              0.0025952293636622619, 0.010052122435868348},
             {8.6751842994180066, 6.1734864679933237, 7.5709678309685469, -0.52573671799668531, -6.044001467349867,
              -5.9467348310029831},
             {7.9951430299026855e-11, 2.450835982664809e-07, 2.6065185590185998e-09, 0.60190331274293296,
              3.7458307864492263e-07, 5.1512982852117317e-07},
             0.96207513129800681, 0.95652515051234932, 14.850416770110304, 173.3474706406621, 1.6578496053822226e-27,
             394.57579741309365, 407.52683062506406, -190.28789870654683, {}, {}});
}

// Each refusal is one line and status 2.
TEST_F(FormulaToolTest, RefusesWhatCannotBeComputed) {
  const std::string File = Write("data.csv", "y,x,g\n1,2,a\n2,-3,b\n3,4,a\n4,5,b\n5,7,a\n");
  const auto Refusal = [&](const std::string& Arguments) {
    const TRun R = Run("regress " + Arguments + " " + File);
    EXPECT_EQ(R.Status, 2) << Arguments;
    EXPECT_TRUE(R.Out.empty()) << Arguments;
    return R.Err;
  };
  EXPECT_EQ(Refusal("--formula 'y ~ log(x) + g'"),
            "varnel: " + File + ": data row 2: the term \"log(x)\" cannot be computed: log of the negative value -3 is "
            "not a number\n");
  EXPECT_EQ(Refusal("--formula 'log(y - 1) ~ x'"),
            "varnel: " + File + ": data row 1: the response log(y - 1) cannot be computed: log of zero is -Inf\n");
  EXPECT_EQ(Refusal("--formula 'y ~ x + z'"),
            "varnel: " + File + ": no column named \"z\" (in the term \"z\"); the columns are \"y\", \"x\", \"g\"\n");
  EXPECT_EQ(Refusal("--formula 'y ~ x' --x x"),
            "varnel: --formula names the response and the terms: give it without --x and --y\n");
  EXPECT_EQ(Refusal("--formula 'y ~ x + g' --ref g=c"),
            "varnel: " + File + ": --ref g=c: the factor \"g\" has no level \"c\" in the rows used\n");
  const TRun Select = Run("select --formula 'y ~ x + g - 1' " + File);
  EXPECT_EQ(Select.Status, 2);
  EXPECT_EQ(Select.Err, "varnel: select keeps the constant in every model: a formula without it (- 1, + 0) is for "
                        "regress, diagnose and the full analysis\n");
  EXPECT_EQ(Refusal("--y y --x x,g --ref x=2"), "varnel: " + File + ": --ref \"x\" is not a factor\n");
}

// --ref without --formula recodes the factor the tool codes from --x.
TEST_F(FormulaToolTest, ReferenceWithoutFormula) {
  const ordered_json J = Regress(kWarp, "--y breaks --x wool,tension --ref tension=M --ref wool=B");
  const auto& C = J["coefficients"];
  ASSERT_EQ(C.size(), 4u);
  // lm(breaks ~ relevel(wool, "B") + relevel(tension, "M")): the names as the tool gives them.
  EXPECT_EQ(C[1]["term"], "woolA");
  EXPECT_EQ(C[2]["term"], "tensionH");
  EXPECT_EQ(C[3]["term"], "tensionL");
  const double R[] = {23.5000000000000107, 5.7777777777777795, -4.7222222222222250, 9.9999999999999982};
  for (int j = 0; j < 4; ++j) EXPECT_TRUE(Agrees(C[j]["estimate"], R[j], 10)) << j;
}

}  // namespace
}  // namespace varnel::cli

namespace varnel::cli {
namespace {

// Beyond the component's rows, on the engine: --ref recodes the factor
// whose levels the reader gathers in a pass of its own. R 4.2.2 on the
// same 21,000 rows: coef(lm(y ~ x + relevel(factor(g), "c"))).
TEST_F(FormulaToolTest, ReferenceBeyondTheBox) {
  std::string Csv = "x,g,y\n";
  char Line[128];
  for (long long i = 0; i < 21000; ++i) {
    const double x = Uniform(i, 1);
    const int g = static_cast<int>(i % 3);
    const double y = 1 + 2 * x + 0.5 * (g == 1) - 0.3 * (g == 2) + Uniform(i, 2);
    std::snprintf(Line, sizeof Line, "%.17g,%c,%.17g\n", x, "abc"[g], y);
    Csv += Line;
  }
  const std::string File = Write("big.csv", Csv);
  const TRun One = Run("regress --json --y y --x x,g --ref g=c --threads 1 " + File);
  ASSERT_EQ(One.Status, 0) << One.Err;
  const ordered_json J = ordered_json::parse(One.Out);
  const auto& C = J["coefficients"];
  ASSERT_EQ(C.size(), 4u);
  EXPECT_EQ(C[2]["term"], "ga");
  EXPECT_EQ(C[3]["term"], "gb");
  const double R[] = {1.1939947047154098, 1.9994281588093323, 0.30030651647133444, 0.8002244008864976};
  for (int j = 0; j < 4; ++j) EXPECT_TRUE(Agrees(C[j]["estimate"], R[j], 10)) << j;
  EXPECT_EQ(Run("regress --json --y y --x x,g --ref g=c --threads 3 " + File).Out, One.Out);
  const TRun Unknown = Run("regress --y y --x x,g --ref g=d " + File);
  EXPECT_EQ(Unknown.Status, 2);
  EXPECT_EQ(Unknown.Err, "varnel: " + File + ": --ref g=d: the factor \"g\" has no level \"d\" in the rows used\n");
  // The formula that --y and --x stand for gives the same table beyond the box.
  const TRun Formula = Run("regress --json --formula 'y ~ x + g' --ref g=c " + File);
  ASSERT_EQ(Formula.Status, 0) << Formula.Err;
  EXPECT_EQ(ordered_json::parse(Formula.Out)["coefficients"], J["coefficients"]);
}

// 21,000 rows of x, z, a text factor g, weights w and y, read in blocks.
std::string FormulaRows() {
  std::string Csv = "x,z,g,w,y\n";
  char Line[160];
  for (long long i = 0; i < 21000; ++i) {
    const double x = 0.5 + Uniform(i, 1), z = Uniform(i, 2) - 0.5, w = 0.25 + Uniform(i, 3);
    const int g = static_cast<int>(i % 3);
    const double y = 3 + 1.5 * x + 2 * z * (g == 1) - 0.4 * (g == 2) + z * z + Uniform(i, 4);
    std::snprintf(Line, sizeof Line, "%.17g,%.17g,%c,%.17g,%.17g\n", x, z, "abc"[g], w, y);
    Csv += Line;
  }
  return Csv;
}

const char kBigModel[] = "--formula 'log(y) ~ log(x) + z*g + I(z^2)'";
const char* const kBigTerms[] = {"(Intercept)", "log(x)", "z", "gb", "gc", "I(z^2)", "z:gb", "z:gc"};

// Beyond the component's rows each block's design is made from its raw
// cells: lm(log(y) ~ log(x) + z*g + I(z^2), d) and anova(fit) in R 4.2.2
// on the same file, and the same bytes on one thread and on three.
TEST_F(FormulaToolTest, FormulaBeyondTheBoxAsR) {
  const std::string Args = "regress --json " + std::string(kBigModel) + " " + Write("big.csv", FormulaRows());
  const TRun One = Run(Args + " --threads 1");
  ASSERT_EQ(One.Status, 0) << One.Err;
  const ordered_json J = ordered_json::parse(One.Out);
  const double Estimate[] = {1.6187425729952813, 0.28718256986377677, -5.1380958670559589e-05,
                             -6.6305495555805220e-03, -8.2926895052657490e-02, 0.17765397470161864,
                             0.39579187090642792, -1.1137292174564406e-03};
  const double StdError[] = {0.00087098663628862284, 0.00136430649992967494, 0.00250747427888572787,
                             0.00102930766919373073, 0.00102931669462150155, 0.00563152633366382268,
                             0.00354603048526221315, 0.00354617186675208491};
  ASSERT_EQ(J["coefficients"].size(), 8u);
  for (std::size_t j = 0; j < 8; ++j) {
    const auto& Row = J["coefficients"][j];
    EXPECT_EQ(Row["term"], kBigTerms[j]);
    // The smallest estimate is 1e-4 of the others: 10 digits of theirs.
    EXPECT_TRUE(Agrees(Row["estimate"], Estimate[j], j == 2 ? 7 : 10)) << j;
    EXPECT_TRUE(Agrees(Row["std.error"], StdError[j], 10)) << j;
  }
  const char* const Terms[] = {"log(x)", "z", "g", "I(z^2)", "z:g"};
  const double F[] = {44267.24433615160524, 8153.83235393635732, 3905.00239483319592, 997.29339840125408,
                      8328.23467855004674};
  for (std::size_t t = 0; t < 5; ++t) {
    EXPECT_EQ(J["anova"][t]["term"], Terms[t]);
    EXPECT_TRUE(Agrees(J["anova"][t]["statistic"], F[t], 10)) << t;
  }
  EXPECT_TRUE(Agrees(J["model"][0]["r.squared"], 0.78769548965322866, 10));
  EXPECT_EQ(J["meta"]["response"], "log(y)");
  EXPECT_EQ(Run(Args + " --threads 3").Out, One.Out);
}

// What fits on the engine only takes a formula at any size: the weighted
// fit's HC1 errors as sandwich::vcovHC(lm(..., weights = w), "HC1").
TEST_F(FormulaToolTest, WeightedRobustFormulaAsSandwich) {
  const std::string File = Write("big.csv", FormulaRows());
  const TRun R = Run("regress --json --weights w --vcov HC1 " + std::string(kBigModel) + " " + File);
  ASSERT_EQ(R.Status, 0) << R.Err;
  const ordered_json J = ordered_json::parse(R.Out);
  const double Estimate[] = {1.61876815318266187, 0.28723285941620996, -0.00041427264243616691,
                             -0.0065173135184811168, -0.082897480004461122, 0.1762255137008574,
                             0.39546162678576563, -0.0010894889631200687};
  const double StdError[] = {0.00090496698137730179, 0.00152343972295127558, 0.00254483465907341319,
                             0.00107494019391233555, 0.00110400611765976132, 0.00602497205655275897,
                             0.00372053174085707579, 0.00375989391974477279};
  ASSERT_EQ(J["coefficients"].size(), 8u);
  for (std::size_t j = 0; j < 8; ++j) {
    EXPECT_EQ(J["coefficients"][j]["term"], kBigTerms[j]);
    EXPECT_TRUE(Agrees(J["coefficients"][j]["estimate"], Estimate[j], 9)) << j;
    EXPECT_TRUE(Agrees(J["coefficients"][j]["std.error"], StdError[j], 10)) << j;
  }
  EXPECT_TRUE(Agrees(J["model"][0]["sigma"], 0.052698355458784811, 10));
  // '.' leaves out the weights' column, as the predictors taken by default do.
  const TRun Dot = Run("regress --json --weights w --formula 'y ~ .' " + File);
  ASSERT_EQ(Dot.Status, 0) << Dot.Err;
  EXPECT_EQ(ordered_json::parse(Dot.Out)["meta"]["predictors"], ordered_json::parse(R"(["x", "z", "gb", "gc"])"));
}

// anova beyond the box: each model's design made block by block in a pass
// of its own, as R 4.2.2's anova(lm(log(y) ~ log(x) + z, d),
// lm(log(y) ~ log(x) + z*g + I(z^2), d)) on the same file.
TEST_F(FormulaToolTest, NestedAnovaBeyondTheBoxAsR) {
  const TRun R = Run("anova --json --formula 'log(y) ~ log(x) + z' " + std::string(kBigModel) + " " +
                     Write("big.csv", FormulaRows()));
  ASSERT_EQ(R.Status, 0) << R.Err;
  const ordered_json J = ordered_json::parse(R.Out);
  const auto& A = J["anova"];
  ASSERT_EQ(A.size(), 2u);
  EXPECT_EQ(A[0]["df.residual"], 20997);
  EXPECT_EQ(A[1]["df.residual"], 20992);
  EXPECT_TRUE(Agrees(A[0]["rss"], 172.191176132566397, 10));
  EXPECT_TRUE(Agrees(A[1]["rss"], 77.808146552748482, 10));
  EXPECT_TRUE(Agrees(A[1]["statistic"], 5092.7535090335632, 10));
  EXPECT_EQ(J["meta"]["n"], 21000);
}

// Refusals beyond the box name the data row, as within it.
TEST_F(FormulaToolTest, RefusalsBeyondTheBox) {
  std::string Csv = FormulaRows();
  Csv.insert(Csv.rfind('\n', Csv.size() - 2) + 1, "-");  // the last row's x negative
  const std::string File = Write("big.csv", Csv);
  const TRun Log = Run("regress " + std::string(kBigModel) + " " + File);
  EXPECT_EQ(Log.Status, 2);
  EXPECT_EQ(Log.Err.rfind("varnel: " + File + ": data row 21000: the term \"log(x)\" cannot be computed: log of the "
                          "negative value -1.137061977759", 0), 0u) << Log.Err;
  const TRun Offset = Run("regress --formula 'y ~ z + offset(w)' " + File);
  EXPECT_EQ(Offset.Status, 2);
  EXPECT_NE(Offset.Err.find("offset() is taken by glm"), std::string::npos) << Offset.Err;
}

}  // namespace
}  // namespace varnel::cli
