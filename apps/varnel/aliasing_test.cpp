// SPDX-License-Identifier: Apache-2.0
// Aliased predictors through the tool, as R's lm treats them: left out of
// the fit, which is then the fit without them bit for bit, kept in the
// tables in their place with nothing but their names, and named on
// standard error; and the component's texts naming rows and terms as the
// tables do.
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <string>

#include "tool_fixture.h"

namespace varnel::cli {
namespace {

using nlohmann::ordered_json;

// R's LifeCycleSavings (50 countries) with popdep = pop15 + pop75, a
// constant and a copy of pop75 beside its columns.
const char kSavings[] =
    "pop15,pop75,dpi,ddpi,popdep,one,pop75b,sr\n"
    "29.35,2.87,2329.68,2.87,32.22,1,2.87,11.43\n23.32,4.41,1507.99,3.93,27.73,1,4.41,12.07\n"
    "23.8,4.43,2108.47,3.82,28.23,1,4.43,13.17\n41.89,1.67,189.13,0.22,43.56,1,1.67,5.75\n"
    "42.19,0.83,728.47,4.56,43.02,1,0.83,12.88\n31.72,2.85,2982.88,2.43,34.57,1,2.85,8.79\n"
    "39.74,1.34,662.86,2.67,41.08,1,1.34,0.6\n44.75,0.67,289.52,6.51,45.42,1,0.67,11.9\n"
    "46.64,1.06,276.65,3.08,47.7,1,1.06,4.98\n47.64,1.14,471.24,2.8,48.78,1,1.14,10.78\n"
    "24.42,3.93,2496.53,3.99,28.35,1,3.93,16.85\n46.31,1.19,287.77,2.19,47.5,1,1.19,3.59\n"
    "27.84,2.37,1681.25,4.32,30.21,1,2.37,11.24\n25.06,4.7,2213.82,4.52,29.76,1,4.7,12.64\n"
    "23.31,3.35,2457.12,3.44,26.66,1,3.35,12.55\n25.62,3.1,870.85,6.28,28.72,1,3.1,10.67\n"
    "46.05,0.87,289.71,1.48,46.92,1,0.87,3.01\n47.32,0.58,232.44,3.19,47.9,1,0.58,7.7\n"
    "34.03,3.08,1900.1,1.12,37.11,1,3.08,1.27\n41.31,0.96,88.94,1.54,42.27,1,0.96,9\n"
    "31.16,4.19,1139.95,2.99,35.35,1,4.19,11.34\n24.52,3.48,1390,3.54,28,1,3.48,14.28\n"
    "27.01,1.91,1257.28,8.21,28.92,1,1.91,21.1\n41.74,0.91,207.68,5.81,42.65,1,0.91,3.98\n"
    "21.8,3.73,2449.39,1.57,25.53,1,3.73,10.35\n32.54,2.47,601.05,8.12,35.01,1,2.47,15.48\n"
    "25.95,3.67,2231.03,3.62,29.62,1,3.67,10.25\n24.71,3.25,1740.7,7.66,27.96,1,3.25,14.65\n"
    "32.61,3.17,1487.52,1.76,35.78,1,3.17,10.67\n45.04,1.21,325.54,2.48,46.25,1,1.21,7.3\n"
    "43.56,1.2,568.56,3.61,44.76,1,1.2,4.44\n41.18,1.05,220.56,1.03,42.23,1,1.05,2.02\n"
    "44.19,1.28,400.06,0.67,45.47,1,1.28,12.7\n46.26,1.12,152.01,2,47.38,1,1.12,12.78\n"
    "28.96,2.85,579.51,7.48,31.81,1,2.85,12.49\n31.94,2.28,651.11,2.19,34.22,1,2.28,11.14\n"
    "31.92,1.52,250.96,2,33.44,1,1.52,13.3\n27.74,2.87,768.79,4.35,30.61,1,2.87,11.77\n"
    "21.44,4.54,3299.49,3.01,25.98,1,4.54,6.86\n23.49,3.73,2630.96,2.7,27.22,1,3.73,14.13\n"
    "43.42,1.08,389.66,2.96,44.5,1,1.08,5.13\n46.12,1.21,249.87,1.13,47.33,1,1.21,2.81\n"
    "23.27,4.46,1813.93,2.01,27.73,1,4.46,7.81\n29.81,3.43,4001.89,2.45,33.24,1,3.43,7.56\n"
    "46.4,0.9,813.39,0.53,47.3,1,0.9,9.22\n45.25,0.56,138.33,5.14,45.81,1,0.56,18.56\n"
    "41.12,1.73,380.47,10.23,42.85,1,1.73,7.72\n28.13,2.72,766.54,1.88,30.85,1,2.72,9.24\n"
    "43.69,2.07,123.58,16.71,45.76,1,2.07,8.89\n47.2,0.66,242.69,5.08,47.86,1,0.66,4.71\n";

// R's CO2 at three concentrations: Type is a function of Plant.
const char kPlants[] =
    "Plant,Type,conc,uptake\n"
    "Qn1,Quebec,95,16\nQn1,Quebec,350,37.2\nQn1,Quebec,1000,39.7\nQn2,Quebec,95,13.6\nQn2,Quebec,350,41.8\n"
    "Qn2,Quebec,1000,44.3\nQn3,Quebec,95,16.2\nQn3,Quebec,350,42.1\nQn3,Quebec,1000,45.5\nQc1,Quebec,95,14.2\n"
    "Qc1,Quebec,350,34.6\nQc1,Quebec,1000,38.7\nQc2,Quebec,95,9.3\nQc2,Quebec,350,38.8\nQc2,Quebec,1000,42.4\n"
    "Qc3,Quebec,95,15.1\nQc3,Quebec,350,34\nQc3,Quebec,1000,41.4\nMn1,Mississippi,95,10.6\nMn1,Mississippi,350,30\n"
    "Mn1,Mississippi,1000,35.5\nMn2,Mississippi,95,12\nMn2,Mississippi,350,31.8\nMn2,Mississippi,1000,31.5\nMn3,Mississippi,95,11.3\n"
    "Mn3,Mississippi,350,27.9\nMn3,Mississippi,1000,27.8\nMc1,Mississippi,95,10.5\nMc1,Mississippi,350,18.9\nMc1,Mississippi,1000,21.9\n"
    "Mc2,Mississippi,95,7.7\nMc2,Mississippi,350,13\nMc2,Mississippi,1000,14.4\nMc3,Mississippi,95,10.6\nMc3,Mississippi,350,17.9\n"
    "Mc3,Mississippi,1000,19.9\n";

// The CSV with the cell of data row Row, column Column (both from 1) made NA.
std::string WithMissing(std::string Csv, int Row, int Column) {
  std::size_t Start = 0;
  for (int r = 0; r < Row; ++r) Start = Csv.find('\n', Start) + 1;
  for (int c = 1; c < Column; ++c) Start = Csv.find(',', Start) + 1;
  return Csv.replace(Start, Csv.find_first_of(",\n", Start) - Start, "NA");
}

class AliasingToolTest : public ToolTest {
 protected:
  ordered_json Json(const std::string& File, const std::string& Arguments, const std::string& Err) {
    const TRun R = Run(Arguments + " --json " + Write("data.csv", File));
    EXPECT_EQ(R.Status, 0) << Arguments << ": " << R.Err;
    EXPECT_EQ(R.Err, Err) << Arguments;
    return R.Status == 0 ? ordered_json::parse(R.Out) : ordered_json();
  }
  // Every row of Table in With equals the row of Without of the same key,
  // but for the columns that With leaves empty for the aliased term.
  static void ExpectSameFit(const ordered_json& With, const ordered_json& Without, const std::string& Table,
                            const std::string& Key) {
    for (const auto& Row : Without[Table]) {
      const auto Found = std::find_if(With[Table].begin(), With[Table].end(),
                                      [&](const ordered_json& R) { return R[Key] == Row[Key]; });
      ASSERT_NE(Found, With[Table].end()) << Row[Key];
      for (const auto& [Column, Cell] : Row.items()) EXPECT_EQ((*Found)[Column], Cell) << Table << " " << Column;
    }
  }
  static void ExpectEmptyRow(const ordered_json& Row) {
    for (const auto& [Column, Cell] : Row.items()) {
      if (Column != "term") {
        EXPECT_TRUE(Cell.is_null()) << Column;
      }
    }
  }
};

bool Agrees(double a, double b, double Digits) { return std::fabs(a - b) <= std::pow(10.0, -Digits) * std::fabs(b); }

// R 4.2.2: anova(lm(uptake ~ Plant + Type + conc)): a factor's dummies
// enter as one term, and the term aliased on those before it is left out;
// through the origin there is no table (R's would take its sums about zero).
TEST_F(AliasingToolTest, SequentialAnovaAsR) {
  const ordered_json J = Json(kPlants, "regress --x Plant,Type,conc --y uptake",
                              "varnel: TypeQuebec not defined because of singularities\n");
  const auto& A = J["anova"];
  ASSERT_EQ(A.size(), 3u);
  const char* const Terms[] = {"Plant", "conc", "Residuals"};
  const int Df[] = {11, 1, 23};
  const double SumSq[] = {1765.31638888889, 2051.95250343356, 1679.04082989978};
  const double F[] = {2.19834802116093, 28.1082548670295}, P[] = {0.0536633720150473, 2.21376096180623e-05};
  for (std::size_t t = 0; t < 3; ++t) {
    EXPECT_EQ(A[t]["term"], Terms[t]);
    EXPECT_EQ(A[t]["df"], Df[t]);
    EXPECT_TRUE(Agrees(A[t]["sumsq"], SumSq[t], 10)) << t;
    EXPECT_TRUE(Agrees(A[t]["meansq"], SumSq[t] / Df[t], 10)) << t;
    if (t == 2) break;
    EXPECT_TRUE(Agrees(A[t]["statistic"], F[t], 10)) << t;
    EXPECT_TRUE(Agrees(A[t]["p.value"], P[t], 10)) << t;
  }
  EXPECT_TRUE(A[2]["statistic"].is_null());
  const ordered_json Origin = Json(kPlants, "regress --x Plant,Type,conc --y uptake --no-intercept",
                                   "varnel: TypeQuebec not defined because of singularities\n");
  EXPECT_FALSE(Origin.contains("anova"));
}

// R 4.2.2: lm(uptake ~ Plant + Type + conc), the factors' levels in byte
// order: TypeQuebec NA, the rest as lm(uptake ~ Plant + conc).
TEST_F(AliasingToolTest, NestedFactorAsR) {
  const ordered_json J = Json(kPlants, "regress --x Plant,Type,conc --y uptake",
                              "varnel: TypeQuebec not defined because of singularities\n");
  const auto& C = J["coefficients"];
  ASSERT_EQ(C.size(), 14u);
  EXPECT_EQ(C[12]["term"], "TypeQuebec");
  ExpectEmptyRow(C[12]);
  const double Estimates[] = {7.555850543628467, -5.399999999999993, -0.966666666666643, 8.266666666666678,
                              7.999999999999992, 5.233333333333340,  12.066666666666691, 13.066666666666663,
                              13.066666666666679, 13.866666666666651, 16.133333333333344, 17.499999999999986};
  for (int j = 0; j < 12; ++j) EXPECT_TRUE(Agrees(C[j]["estimate"], Estimates[j], 10)) << j;
  EXPECT_TRUE(Agrees(C[13]["estimate"], 0.019814843162017, 10));
  EXPECT_TRUE(Agrees(C[13]["std.error"], 0.00373743542562541, 10));
  const auto& M = J["model"][0];
  EXPECT_EQ(M["df"], 12);
  EXPECT_EQ(M["df.residual"], 23);
  EXPECT_TRUE(Agrees(M["sigma"], 8.544107631170965, 10));
  EXPECT_TRUE(Agrees(M["r.squared"], 0.694514880937073, 10));
  EXPECT_TRUE(Agrees(M["statistic"], 4.357506924983310, 10));
  EXPECT_TRUE(Agrees(M["AIC"], 268.492099697987101, 10));
  EXPECT_TRUE(Agrees(M["BIC"], 290.661364836372684, 10));
  const ordered_json Without = Json(kPlants, "regress --x Plant,conc --y uptake", "");
  ExpectSameFit(J, Without, "coefficients", "term");
  EXPECT_EQ(J["model"], Without["model"]);
}

// R 4.2.2: lm(sr ~ pop15 + pop75 + dpi + ddpi + popdep): popdep NA.
TEST_F(AliasingToolTest, SumOfTwoColumnsAsR) {
  const std::string Line = "varnel: popdep not defined because of singularities\n";
  const ordered_json J = Json(kSavings, "--x pop15,pop75,dpi,ddpi,popdep --y sr", Line);
  const auto& C = J["coefficients"];
  ASSERT_EQ(C.size(), 6u);
  ExpectEmptyRow(C[5]);
  const double Estimates[] = {28.56608654074679520818, -0.46119314712276754387, -1.69149767674953666052,
                              -0.00033690186914134848, 0.40969492787067102180};
  const double Errors[] = {7.35451610617873718923, 0.14464222476093713254, 1.08359893070335511212,
                           0.00093110718231768832, 0.19619712759252680434};
  const double VIF[] = {5.9376613774246287, 6.6291053049367967, 2.8843692089126587, 1.0743085660911318};
  for (int j = 0; j < 5; ++j) {
    EXPECT_TRUE(Agrees(C[j]["estimate"], Estimates[j], 10)) << j;
    EXPECT_TRUE(Agrees(C[j]["std.error"], Errors[j], 10)) << j;
    if (j > 0) {
      EXPECT_TRUE(Agrees(C[j]["vif"], VIF[j - 1], 10)) << j;
    }
  }
  const auto& M = J["model"][0];
  EXPECT_EQ(M["df"], 4);
  EXPECT_EQ(M["df.residual"], 45);
  EXPECT_TRUE(Agrees(M["sigma"], 3.80266864822187944, 10));
  EXPECT_TRUE(Agrees(M["AIC"], 282.19613714756707168, 10));
  // dfbetas(f)[1:2, "pop75"]; popdep's column is there, empty.
  const auto& O = J["observations"];
  EXPECT_TRUE(Agrees(O[0]["dfb.pop75"], -0.026529519201852324, 9));
  EXPECT_TRUE(Agrees(O[1]["dfb.pop75"], 0.040843712901300087, 9));
  for (const auto& Row : O) EXPECT_TRUE(Row["dfb.popdep"].is_null());
  const ordered_json Without = Json(kSavings, "--x pop15,pop75,dpi,ddpi --y sr", "");
  ExpectSameFit(J, Without, "coefficients", "term");
  ExpectSameFit(J, Without, "observations", "row");
  EXPECT_EQ(J["model"], Without["model"]);
  // The other fits say the same one line and nothing else.
  for (const char* Command : {"diagnose", "select", "select --method both", "select --report-texts"}) {
    const TRun R = Run(std::string(Command) + " --x pop15,pop75,dpi,ddpi,popdep --y sr " + Write("s.csv", kSavings));
    EXPECT_EQ(R.Status, 0) << Command << ": " << R.Err;
    EXPECT_EQ(R.Err, Line) << Command;
  }
}

// A constant beside the intercept is aliased; through the origin it is the
// intercept, as R's lm(sr ~ 0 + pop15 + one + pop75) fits it.
TEST_F(AliasingToolTest, ConstantColumn) {
  const ordered_json J = Json(kSavings, "regress --x pop15,one,pop75 --y sr",
                              "varnel: one not defined because of singularities\n");
  ASSERT_EQ(J["coefficients"].size(), 4u);
  ExpectEmptyRow(J["coefficients"][2]);
  EXPECT_TRUE(Agrees(J["coefficients"][0]["estimate"], 30.62766213681403471, 10));
  // The full analysis describes the fit's predictors: no word from the
  // component about the constant's correlations.
  const TRun Full = Run("--x pop15,one,pop75 --y sr " + Write("s.csv", kSavings));
  EXPECT_EQ(Full.Status, 0);
  EXPECT_EQ(Full.Err, "varnel: one not defined because of singularities\n");
  const ordered_json Origin = Json(kSavings, "regress --no-intercept --x pop15,one,pop75 --y sr", "");
  const double Through[] = {-0.47084333816508928, 30.62766213681405958, -1.93412897424175445};
  ASSERT_EQ(Origin["coefficients"].size(), 3u);
  for (int j = 0; j < 3; ++j) EXPECT_TRUE(Agrees(Origin["coefficients"][j]["estimate"], Through[j], 10)) << j;
}

// R 4.2.2: mahalanobis() of pop15, pop75, dpi and pchisq on 3 df: the copy
// of pop75 adds no dimension.
TEST_F(AliasingToolTest, DistanceOnASingularCovarianceUsesItsRank) {
  const ordered_json J =
      Json(kSavings, "distance --x pop15,pop75,dpi,pop75b --y sr",
           "varnel: pop75b left out of the distances: a linear combination of the columns before it (singular "
           "covariance)\n");
  const auto& D = J["distances"];
  ASSERT_EQ(D.size(), 50u);
  const int Rows[] = {0, 22, 45};
  const double D2[] = {2.3379366877618479, 7.7261835988686407, 1.8789592785597529};
  const double P[] = {0.505292227089775725, 0.052022957066847154, 0.597905039567037111};
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(Agrees(D[Rows[i]]["d2"], D2[i], 10)) << i;
    EXPECT_TRUE(Agrees(D[Rows[i]]["p.value"], P[i], 10)) << i;
  }
  const TRun R = Run("distance --x pop15,one --y sr " + Write("s.csv", kSavings));
  EXPECT_EQ(R.Status, 0) << R.Err;
  const TRun Constant = Run("distance --x one --y sr " + Write("s.csv", kSavings));
  EXPECT_EQ(Constant.Status, 2);
  EXPECT_EQ(Lines(Constant.Err), 1) << Constant.Err;
}

// With Belgium's dpi missing, Zambia is the 45th row used and data row 46:
// R's resid/sigma of lm(sr ~ pop15 + pop75 + dpi + ddpi) passes 2.5 there
// and lies in [2, 2.5] for Chile (row 7).
TEST_F(AliasingToolTest, TextsNameRowsAndTermsAsTheTables) {
  const std::string File = Write("s.csv", WithMissing(kSavings, 3, 3));
  const TRun R = Run("--x pop15,pop75,dpi,ddpi --y sr " + File);
  ASSERT_EQ(R.Status, 0) << R.Err;
  EXPECT_NE(R.Out.find("Strong Outliers   (z[i]> 2.5): 46,"), std::string::npos) << R.Out;
  EXPECT_NE(R.Out.find("Moderate Outliers (z[i]> 2.0): 7,"), std::string::npos) << R.Out;
  // Coefficients 29.04, -0.4687, -1.823, -0.000304, 0.4111 against 0.
  EXPECT_NE(R.Out.find("parameters were => threshold (+): (Intercept) ddpi "), std::string::npos) << R.Out;
  EXPECT_NE(R.Out.find("parameters were <= threshold (-): pop15 pop75 dpi "), std::string::npos) << R.Out;
}

}  // namespace
}  // namespace varnel::cli
