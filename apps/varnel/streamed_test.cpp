// SPDX-License-Identifier: Apache-2.0
// regress on a file beyond the component's box: read in blocks, reduced on
// any number of threads, against R's figures.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>

#include "tool_fixture.h"

namespace varnel::cli {
namespace {

using nlohmann::json;

// 30,000 rows: a text id, timestamps 1.7e9 + 60 i, a 12-level factor,
// three columns of scales 0.01 to 1e4 (one cell missing) and the response.
std::string StreamFile() {
  std::string Text = "id,t,g,a,b,c,y\n";
  char Line[256];
  for (long long i = 1; i <= 30000; ++i) {
    const double t = 1.7e9 + 60.0 * static_cast<double>(i);
    const int Level = static_cast<int>((i * 7) % 12);
    const double a = 0.01 * Uniform(i, 1), b = 100.0 * Uniform(i, 2) + 5.0, c = 1e4 * Uniform(i, 3);
    const double y = 3.0 * a + 0.02 * b + 1e-4 * c + 0.5 * Level + 1e-7 * (t - 1.7e9) + Uniform(i, 4);
    char A[32] = "";
    if (i != 17) std::snprintf(A, sizeof A, "%.17g", a);
    std::snprintf(Line, sizeof Line, "r%lld,%.17g,%c,%s,%.17g,%.17g,%.17g\n", i, t, "abcdefghijkl"[Level], A, b, c, y);
    Text += Line;
  }
  return Text;
}

const json* Row(const json& Table, const std::string& Term) {
  for (const auto& R : Table) {
    if (R.value("term", "") == Term) return &R;
  }
  return nullptr;
}

class StreamedTest : public ToolTest {};

// A figure of the tool's JSON against a reference, to Digits significant
// digits.
void ExpectDigits(const json& Value, double Expected, double Digits = 10) {
  EXPECT_NEAR(Value.get<double>(), Expected, std::pow(10.0, -Digits) * std::fabs(Expected)) << Expected;
}

// R 4.2.2: d <- read.csv(f); fit <- lm(y ~ t + g + a + b + c, d); summary,
// AIC, BIC, car::durbinWatsonTest and car::vif. Ten digits are the target.
TEST_F(StreamedTest, RegressBeyondTheBoxAsR) {
  const std::string File = Write("stream.csv", StreamFile());
  const TRun R = Run(File + " regress --y y --x t,g,a,b,c --json");
  ASSERT_EQ(R.Status, 0) << R.Err;
  EXPECT_NE(R.Err.find("1 row with a missing value left out (data rows 17)"), std::string::npos) << R.Err;
  const json J = json::parse(R.Out);
  EXPECT_EQ(J["meta"]["n"], 29999);
  EXPECT_EQ(J["meta"]["k"], 15);
  const auto Near = [](const json& Value, double Expected) { ExpectDigits(Value, Expected); };
  const json& C = J["coefficients"];
  ASSERT_EQ(C.size(), 16U);
  Near((*Row(C, "(Intercept)"))["estimate"], -1.69846364199580e+02);
  Near((*Row(C, "(Intercept)"))["std.error"], 5.45769922071273e+00);
  Near((*Row(C, "t"))["estimate"], 1.00204224198403e-07);
  Near((*Row(C, "t"))["statistic"], 31.22845652675781);
  Near((*Row(C, "gl"))["estimate"], 5.50125183106876e+00);
  Near((*Row(C, "gl"))["std.error"], 8.16731809422146e-03);
  Near((*Row(C, "a"))["estimate"], 2.98415776055886e+00);
  Near((*Row(C, "a"))["p.value"], 2.39034276788563e-07);
  Near((*Row(C, "b"))["conf.low"], 0.0198577001645187);
  Near((*Row(C, "b"))["conf.high"], 0.0200832360109985);
  Near((*Row(C, "c"))["statistic"], 173.13524720443425);
  Near((*Row(C, "t"))["vif"], 1.00033589423668);
  EXPECT_TRUE((*Row(C, "gl"))["vif"].is_null());
  const json& M = J["model"][0];
  Near(M["r.squared"], 0.976082468964801);
  Near(M["adj.r.squared"], 0.976070503418807);
  Near(M["sigma"], 0.288724358099702);
  Near(M["statistic"], 81574.419544396470883);
  Near(M["AIC"], 10616.984960099027376);
  Near(M["BIC"], 10758.236588653868239);
  Near(M["logLik"], -5291.492480049513688);
  Near(M["durbin.watson"], 0.70572789772559);
  const json& T = J["terms"];
  Near((*Row(T, "g"))["gvif"], 1.00009538827314);
  Near((*Row(T, "g"))["gvif.adj"], 1.00000433563322);
  EXPECT_EQ((*Row(T, "g"))["df"], 11);
}

// R 4.2.2: anova(lm(y ~ t + g + a + b + c, d)) beyond the box, from the
// merged moments: the sequential sums of squares to 10 digits, the factor
// as one term of 11 degrees of freedom.
TEST_F(StreamedTest, RegressAnovaBeyondTheBoxAsR) {
  const TRun R = Run(Write("stream.csv", StreamFile()) + " regress --y y --x t,g,a,b,c --json");
  ASSERT_EQ(R.Status, 0) << R.Err;
  const json A = json::parse(R.Out)["anova"];
  ASSERT_EQ(A.size(), 6U);
  const char* const Terms[] = {"t", "g", "a", "b", "c", "Residuals"};
  const int Df[] = {1, 11, 1, 1, 1, 29983};
  const double SumSq[] = {120.214565266378, 89341.9127494465, 1.4910397343184,
                          10040.34679485,   2498.83644677048, 2499.43549896823};
  const double F[] = {1442.08294707733, 97430.6751581757, 17.8863764928213, 120443.083277906, 29975.8138245406};
  for (std::size_t t = 0; t < 6; ++t) {
    EXPECT_EQ(A[t]["term"], Terms[t]);
    EXPECT_EQ(A[t]["df"], Df[t]);
    ExpectDigits(A[t]["sumsq"], SumSq[t]);
    if (t < 5) ExpectDigits(A[t]["statistic"], F[t]);
  }
  ExpectDigits(A[0]["p.value"], 3.05867896161782e-308, 9);
  ExpectDigits(A[2]["p.value"], 2.35188620747851e-05);
  EXPECT_EQ(A[1]["p.value"], 0.0);  // below the smallest double, as R's 0
}

// Heteroskedasticity-consistent standard errors against R's
// sandwich::vcovHC on lm(Fertility ~ ., swiss) (within the box, on the
// engine all the same) and, beyond it, on the file fitted with t shifted by
// 1.7009e9: R's raw design of timestamps keeps only 7 digits of t's robust
// error, the shifted one 14 (the intercept's then follows from its
// covariance with t). The t values, p-values and limits follow from them
// on the residual degrees of freedom.
TEST_F(StreamedTest, RobustStandardErrorsAsR) {
  const std::string Swiss = std::string(VARNEL_EXAMPLES) + "/swiss.csv";
  const double Errors[5][6] = {
      {9.60679534880802, 0.0595559423449746, 0.229212395853349, 0.17371316372946, 0.0285311573261394, 0.379512368986478},
      {10.2857399428768, 0.0637649614436086, 0.245411608120065, 0.185990058276544, 0.0305475503402278, 0.406333786738198},
      {10.5035402163821, 0.0652271352251081, 0.250028440411011, 0.190826073384248, 0.0305332950931372, 0.416484687678391},
      {11.5174170702854, 0.0715968068555594, 0.273378342953843, 0.210120414967705, 0.0327561951479323, 0.458734715205377},
      {11.0687435839467, 0.0683224522807282, 0.260460204356839, 0.200953396778687, 0.0311282004372954, 0.444540213133305}};
  const char* const Kinds[] = {"HC0", "HC1", "HC2", "HC3", "HC4"};
  for (int k = 0; k < 5; ++k) {
    const TRun R = Run("regress " + Swiss + " --y Fertility --json --vcov " + Kinds[k]);
    ASSERT_EQ(R.Status, 0) << R.Err;
    const json J = json::parse(R.Out);
    EXPECT_EQ(J["meta"]["vcov"], Kinds[k]);
    for (int j = 0; j < 6; ++j) ExpectDigits(J["coefficients"][j]["std.error"], Errors[k][j]);
    if (k != 3) continue;
    const json& Education = J["coefficients"][3];
    ExpectDigits(Education["statistic"], -4.14495689566045);
    ExpectDigits(Education["p.value"], 0.000166090984951061);
    ExpectDigits(Education["conf.low"], -1.29528684969285);
    ExpectDigits(Education["conf.high"], -0.446593276186001);
    EXPECT_DOUBLE_EQ(J["model"][0]["sigma"].get<double>(), 7.16536883200273);  // the fit itself is as without
  }
  // Through the origin: vcovHC(lm(Fertility ~ . - 1, swiss), type = "HC3").
  const TRun Origin = Run("regress " + Swiss + " --y Fertility --json --no-intercept --vcov HC3");
  ASSERT_EQ(Origin.Status, 0) << Origin.Err;
  const double Through[] = {0.0887786039028924, 0.413927929760096, 0.221275343074099, 0.0499945483394404,
                            0.474495389363554};
  const json OriginJson = json::parse(Origin.Out);
  for (int j = 0; j < 5; ++j) ExpectDigits(OriginJson["coefficients"][j]["std.error"], Through[j]);
  const std::string File = Write("stream.csv", StreamFile());
  const std::string Args = " regress --y y --x t,g,a,b,c --json --vcov ";
  const TRun Hc3 = Run(File + Args + "HC3 --threads 1");
  ASSERT_EQ(Hc3.Status, 0) << Hc3.Err;
  const json Parsed = json::parse(Hc3.Out);
  const json& C = Parsed["coefficients"];
  ExpectDigits((*Row(C, "(Intercept)"))["std.error"], 5.45795626073899);
  ExpectDigits((*Row(C, "t"))["std.error"], 3.20889298117356e-09);
  ExpectDigits((*Row(C, "t"))["statistic"], 31.2270383544399);
  ExpectDigits((*Row(C, "t"))["p.value"], 1.09136976569979e-210, 9);
  ExpectDigits((*Row(C, "t"))["conf.low"], 9.39146556256268e-08);
  ExpectDigits((*Row(C, "gb"))["std.error"], 0.0081693508440263);
  ExpectDigits((*Row(C, "a"))["std.error"], 0.57768864182563);
  ExpectDigits((*Row(C, "c"))["std.error"], 5.77492633294243e-07);
  EXPECT_EQ(Run(File + Args + "HC3 --threads 3").Out, Hc3.Out);
  const json Parsed4 = json::parse(Run(File + Args + "HC4").Out);
  const json& C4 = Parsed4["coefficients"];
  ExpectDigits((*Row(C4, "(Intercept)"))["std.error"], 5.45652164291872);
  ExpectDigits((*Row(C4, "t"))["std.error"], 3.20804952749863e-09);
  const TRun Unknown = Run(File + Args + "HC5");
  EXPECT_EQ(Unknown.Status, 2);
  EXPECT_NE(Unknown.Err.find("HC5"), std::string::npos) << Unknown.Err;
}

// R 4.2.2 on the complete rows: sum, mean, sd, quantile (type 7), acf at
// lag 1 and cor, to 12 digits.
TEST_F(StreamedTest, DescribeBeyondTheBoxAsR) {
  const TRun R = Run(Write("stream.csv", StreamFile()) + " describe --y y --x t,a,b,c --json");
  ASSERT_EQ(R.Status, 0) << R.Err;
  const json J = json::parse(R.Out);
  const auto Near = [](const json& Value, double Expected) { ExpectDigits(Value, Expected, 12); };
  const json& V = J["variables"];
  ASSERT_EQ(V.size(), 5U);
  const json& t = V[0];
  EXPECT_EQ(t["n"], 29999);
  Near(t["sum"], 51025300898980);
  Near(t["mean"], 1700900059.968);
  Near(t["sd"], 519606.637345134);
  Near(t["q1"], 1700450090);
  Near(t["q3"], 1701350030);
  Near(t["acf1"], 0.999899990020103);
  const json& a = V[1];
  EXPECT_EQ(a["missing"], 1);
  Near(a["sum"], 149.976993884379);
  Near(a["sd"], 0.00288672392675991);
  Near(a["median"], 0.00499955426901579);
  Near(a["acf1"], -0.498864510831842);
  Near(V[4]["q1"], 3.44725352039393);
  Near(V[4]["acf1"], -0.265905131940855);
  Near(J["correlation"][0]["a"], 0.00043577739497091);
  Near(J["correlation"][1]["c"], -0.00596878601435754);
}

// R 4.2.2: prcomp(d[, c("t", "a", "b", "c")], scale. = TRUE) on the
// complete rows; R's signs turned so that each column's largest entry is
// positive.
TEST_F(StreamedTest, PcaBeyondTheBoxAsR) {
  const TRun R = Run(Write("stream.csv", StreamFile()) + " pca --y y --x t,a,b,c --json");
  ASSERT_EQ(R.Status, 0) << R.Err;
  const json J = json::parse(R.Out);
  const auto Near = [](const json& Value, double Expected) { ExpectDigits(Value, Expected); };
  const double SDev[] = {1.009095416519812, 1.002993945601501, 0.997057343639145, 0.990760434686759};
  for (int j = 0; j < 4; ++j) Near(J["components"][j]["sdev"], SDev[j]);
  Near(J["loadings"][0]["PC1"], 0.707826174214847059);
  Near(J["loadings"][1]["PC1"], -0.000443846542471427);
  Near(J["loadings"][3]["PC2"], -0.70430742222017484);
  // prcomp(..., scale. = TRUE)$x of data rows 1 and 30000 (the 29,999th
  // complete row), R's signs of PC1 to PC3 turned as the loadings are;
  // every score of the file agrees with R to 12.2 digits or more.
  const json& Scores = J["scores"];
  ASSERT_EQ(Scores.size(), 29999U);
  EXPECT_EQ(Scores[0]["row"], 1);
  EXPECT_EQ(Scores[29998]["row"], 30000);
  const double First[] = {-2.5693137503770234, 1.0802615360052994, -0.99841031426899263, 0.17604112746158476};
  const double Last[] = {0.5049466439879140, 2.0812630942650219, 0.15708651325514267, 1.92744585344586028};
  for (int j = 0; j < 4; ++j) {
    const std::string Pc = "PC" + std::to_string(j + 1);
    ExpectDigits(Scores[0][Pc], First[j], 11);
    ExpectDigits(Scores[29998][Pc], Last[j], 11);
  }
}

// splitmix64 of a counter as a uniform in [0, 1): exact in double, so that
// R, reading the file, sees the very numbers written.
double Mixed(std::uint64_t x) {
  std::uint64_t z = x + 0x9E3779B97F4A7C15ULL;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return static_cast<double>((z ^ (z >> 31)) >> 11) * 0x1p-53;
}

// 1,200 rows of 30 columns (scales 1e-2 to 1e2, a common part in two of
// every three): beyond the 24 variables of the box, so read in blocks.
std::string ThirtyColumns(std::string& Names) {
  std::string Text;
  for (int j = 1; j <= 30; ++j) Names += (j > 1 ? "," : "") + ("v" + std::to_string(j));
  Text = Names + "\n";
  char Cell[40];
  for (std::uint64_t i = 1; i <= 1200; ++i) {
    const double Common = Mixed(i * 31) - 0.5;
    for (int j = 1; j <= 30; ++j) {
      const double v = std::pow(10.0, j % 5 - 2) * (Common * (j % 3) + Mixed(i * 31 + static_cast<std::uint64_t>(j)) - 0.5) + j;
      std::snprintf(Cell, sizeof Cell, "%.17g", v);
      Text += (j > 1 ? "," : "") + std::string(Cell);
    }
    Text += "\n";
  }
  return Text;
}

// R 4.2.2: prcomp(d, scale. = TRUE) and prcomp(d) of the 30 columns; the
// loadings' and scores' signs are R's turned as the tool turns them (the
// largest loading of each component positive). 12 digits are the target.
TEST_F(StreamedTest, PcaOfThirtyVariablesAsR) {
  std::string Names;
  const std::string File = Write("wide.csv", ThirtyColumns(Names));
  const TRun R = Run(File + " pca --x " + Names + " --json");
  ASSERT_EQ(R.Status, 0) << R.Err;
  const json J = json::parse(R.Out);
  ASSERT_EQ(J["components"].size(), 30U);
  ExpectDigits(J["components"][0]["sdev"], 3.6505643525011475, 12);
  ExpectDigits(J["components"][1]["sdev"], 1.0691432965159844, 12);
  ExpectDigits(J["components"][29]["sdev"], 0.4054805334020250, 12);
  ExpectDigits(J["loadings"][0]["PC1"], 0.2004960016902988251, 12);
  ExpectDigits(J["loadings"][29]["PC1"], -0.0070322965173887511, 11);
  ASSERT_EQ(J["scores"].size(), 1200U);
  ExpectDigits(J["scores"][0]["PC1"], 5.1740402900361824, 12);
  ExpectDigits(J["scores"][1199]["PC1"], 1.0559398154173469, 12);
  const TRun C = Run(File + " pca --covariance --x " + Names + " --json");
  ASSERT_EQ(C.Status, 0) << C.Err;
  const json Covariance = json::parse(C.Out);
  ExpectDigits(Covariance["components"][0]["sdev"], 95.7644909441682159468, 12);
  ExpectDigits(Covariance["components"][29]["sdev"], 0.0027504900665331379, 12);
}

// A near-perfect fit on data far from zero (x about 1e6 with a spread of
// 10, 1 - R² = 2.5e-11): the residuals come from a second pass. Against the
// exact least-squares solution of the file's doubles (rational arithmetic,
// Python's fractions): R's lm agrees to 7 digits only (intercept
// 0.995691824012793, sigma 2.88685347457360e-05, Durbin-Watson
// 0.705438441676521); the engine is held to 10 digits and better.
TEST_F(StreamedTest, NearPerfectFitFarFromZeroToTheExactSolution) {
  std::string Text = "x,y\n";
  char Line[96];
  for (long long i = 1; i <= 25000; ++i) {
    const double x = 10.0 * Uniform(i, 1) + 1e6;
    const double y = 1.0 + 2.0 * x + 1e-4 * (Uniform(i, 4) - 0.5);
    std::snprintf(Line, sizeof Line, "%.17g,%.17g\n", x, y);
    Text += Line;
  }
  const TRun R = Run(Write("tight.csv", Text) + " regress --json");
  ASSERT_EQ(R.Status, 0) << R.Err;
  const json J = json::parse(R.Out);
  const auto Near = ExpectDigits;
  Near(J["coefficients"][0]["estimate"], 0.9956921344107661, 10);
  Near(J["coefficients"][1]["estimate"], 2.000000004307847, 15);
  Near(J["model"][0]["sigma"], 2.8868562060134792e-05, 13);
  Near(J["model"][0]["durbin.watson"], 0.7054373708144361, 13);
}

// A row of a CSV table by its first field, as named fields.
std::map<std::string, double> CsvRow(const std::string& Csv, const std::string& First) {
  std::istringstream In(Csv);
  std::string Header, Line;
  std::getline(In, Header);
  bool Found = false;
  while (!Found && std::getline(In, Line)) Found = Line.compare(0, First.size() + 1, First + ",") == 0;
  std::map<std::string, double> Row;
  if (!Found) return Row;
  std::istringstream Names(Header), Values(Line);
  std::string Name, Value;
  while (std::getline(Names, Name, ',') && std::getline(Values, Value, ',')) {
    if (!Name.empty() && Name.back() == '\r') Name.pop_back();
    Row[Name] = Value.empty() || Value == "\r" ? NAN : std::stod(Value);
  }
  return Row;
}

// The observations of a file beyond the box, streamed out in the file's
// order, against the exact fit (40-digit arithmetic, mpmath, on the file's
// decimal numbers): 13 digits are the target. R's lm, on the raw
// timestamps, keeps 10.4 digits of these residuals and 12 of the leverages,
// where the tool keeps 14.9 and 15.8.
TEST_F(StreamedTest, DiagnoseStreamsItsRowsToTheExactFit) {
  const std::string File = Write("stream.csv", StreamFile());
  const TRun R = Run(File + " diagnose --y y --x t,g,a,b,c --csv --level 0.9");
  ASSERT_EQ(R.Status, 0) << R.Err;
  EXPECT_EQ(Lines(R.Out), 30000);  // the header and 29,999 complete rows
  struct TExpected {
    const char* Row;
    double Fitted, Resid, Hat, Sigma, Cook, Stud, Dffits, CovRatio, Dfb0, DfbT, DfbGl, DfbC;
  };
  const TExpected Exact[] = {
      {"1", 4.1285796022348544, -0.43825601221239481, 0.00068898233060517339, 0.28871807150804478,
       9.9351783275661119e-5, -1.518460771458306, -0.039871014017656177, 0.99999245448467534, -0.01489402143895248,
       0.014877672785625013, -2.4350825867124019e-6, 0.014809151091862725},
      {"18", 3.8273144830893234, -0.37188369848947536, 0.00065190136360613371, 0.28872117979241858,
       6.7682401485636522e-5, -1.2884575139231416, -0.032908088153485107, 1.0002998976901428, -0.012642841002935745,
       0.01262803314461926, 3.8638314872763256e-5, 0.0080167314282511403},
      {"30000", 1.3664813687505505, 0.29623811109994286, 0.00067751802961657731, 0.28872410079331803,
       4.4637983678453678e-5, 1.0263726326917941, 0.026724689181303194, 1.0006494405592607, -0.010350270720948944,
       0.010375082767727687, -0.014464824596590797, -0.0091687047859793997},
  };
  for (const TExpected& E : Exact) {
    std::map<std::string, double> Got = CsvRow(R.Out, E.Row);
    const auto Near = [&](const char* Column, double Expected) {
      EXPECT_NEAR(Got[Column], Expected, 1e-13 * std::fabs(Expected)) << E.Row << " " << Column;
    };
    Near(".fitted", E.Fitted);
    Near(".resid", E.Resid);
    Near(".hat", E.Hat);
    Near(".sigma", E.Sigma);
    Near(".cooksd", E.Cook);
    Near(".stud.resid", E.Stud);
    Near("dffits", E.Dffits);
    Near("covratio", E.CovRatio);
    // The intercept's dfbeta is a difference of terms of 1e9 (the
    // timestamps' mean times the slope's): 10 digits of it are left.
    EXPECT_NEAR(Got["dfb.(Intercept)"], E.Dfb0, 1e-10 * std::fabs(E.Dfb0)) << E.Row;
    Near("dfb.t", E.DfbT);
    EXPECT_NEAR(Got["dfb.gl"], E.DfbGl, 1e-13 * 0.015) << E.Row;  // digits of the column's scale
    Near("dfb.c", E.DfbC);
  }
  // R 4.2.2: predict(fit, d[1, ], interval = "prediction" and "confidence", level = 0.9).
  std::map<std::string, double> First = CsvRow(R.Out, "1");
  EXPECT_NEAR(First["pred.low"], 3.65349204193373467, 1e-12 * 3.65);
  EXPECT_NEAR(First["pred.high"], 4.6036671625358014, 1e-12 * 4.6);
  EXPECT_NEAR(First["conf.low"], 4.1161135729713250, 1e-12 * 4.1);
  EXPECT_NEAR(First["conf.high"], 4.1410456314982111, 1e-12 * 4.1);
  EXPECT_TRUE(CsvRow(R.Out, "17").empty()) << "row 17 misses a value";
  EXPECT_EQ(CsvRow(R.Out, "30000")["row"], 30000);
}

// Mahalanobis distances streamed out against the exact ones (40 digits,
// mpmath, on the file's numbers; 14 digits are the target): R's
// mahalanobis refuses the covariance of these columns (scales 0.01 to
// 1.7e9) as computationally singular unless given tol = 1e-30, and then
// agrees with the tool to 14.2 digits. p-values and counts from R 4.2.2.
TEST_F(StreamedTest, DistancesStreamedToTheExactOnes) {
  const TRun R = Run(Write("stream.csv", StreamFile()) + " distance --x t,a,b,c --csv");
  ASSERT_EQ(R.Status, 0) << R.Err;
  EXPECT_EQ(Lines(R.Out), 30000);
  const std::pair<const char*, double> Exact[] = {{"1", 8.6772028969783947}, {"2", 11.248134547739626}, {"30000", 8.3657138222030883}};
  for (const auto& [Row, D2] : Exact) EXPECT_NEAR(CsvRow(R.Out, Row)["d2"], D2, 1e-14 * D2) << Row;
  EXPECT_NEAR(CsvRow(R.Out, "1")["p.value"], 0.069694231195150849, 1e-12 * 0.07);
  EXPECT_NEAR(CsvRow(R.Out, "30000")["p.value"], 0.079063774532129871, 1e-12 * 0.08);
  EXPECT_EQ(CsvRow(R.Out, "2")["outlier"], 1);  // above qchisq(0.95, 4) = 9.487729036781154
  EXPECT_EQ(CsvRow(R.Out, "2")["flag"], 1);     // D = 3.35 > 3
  const auto Total = [&](const std::string& Csv, std::size_t Field) {
    std::istringstream In(Csv);
    std::string Line;
    std::getline(In, Line);
    int Sum = 0;
    while (std::getline(In, Line)) {
      std::size_t At = 0;
      for (std::size_t f = 0; f < Field; ++f) At = Line.find(',', At) + 1;
      Sum += Line[At] == '1';
    }
    return Sum;
  };
  EXPECT_EQ(Total(R.Out, 4), 55);   // sum(m > qchisq(0.95, 4))
  EXPECT_EQ(Total(R.Out, 5), 123);  // sum(sqrt(m) > 3)
}

// Blocks are cut at fixed rows and merged in a fixed order: one thread or
// three, a file, its gzip form, or either through a pipe, the same bytes.
TEST_F(StreamedTest, SameBytesForAnyThreadsAndAnyFormOfTheInput) {
  const std::string File = Write("stream.csv", StreamFile());
  ASSERT_EQ(std::system(("gzip -k " + File).c_str()), 0);
  const std::string Args = " regress --y y --x t,g,a,b,c --csv";
  const TRun One = Run(File + Args + " --threads 1");
  ASSERT_EQ(One.Status, 0) << One.Err;
  EXPECT_EQ(Run(File + Args + " --threads 3").Out, One.Out);
  EXPECT_EQ(Run(File + ".gz" + Args + " --threads 2").Out, One.Out);
  EXPECT_EQ(Run("-" + Args, "cat " + File + ".gz |", "", "").Out, One.Out);
  EXPECT_EQ(Run("-" + Args + " --threads 2", "", "", File).Out, One.Out);
  const std::string Observations = " diagnose --y y --x t,g,a,b,c --threads ";
  const TRun Streamed = Run(File + Observations + "1 --json");
  ASSERT_EQ(Streamed.Status, 0) << Streamed.Err;
  EXPECT_EQ(Run(File + Observations + "3 --json").Out, Streamed.Out);
  EXPECT_EQ(Run(File + Observations + "2 --csv").Out, Run(File + Observations + "1 --csv").Out);
  EXPECT_EQ(Run(File + Observations + "3").Out, Run(File + Observations + "1").Out);
  const std::string Distances = " distance --x t,a,b,c --csv --threads ";
  EXPECT_EQ(Run(File + Distances + "3").Out, Run(File + Distances + "1").Out);
  for (const char* Command : {" describe", " pca"}) {
    const std::string Json = std::string(Command) + " --y y --x t,a,b,c --json --threads ";
    const TRun Single = Run(File + Json + "1");
    ASSERT_EQ(Single.Status, 0) << Single.Err;
    EXPECT_EQ(Run(File + Json + "3").Out, Single.Out) << Command;
  }
}

// Blocks are read on several threads; an error is the one of the first
// row that has one, whatever the number of threads.
TEST_F(StreamedTest, TheFirstBadCellIsNamedForAnyThreads) {
  std::string Text = "a,b,y\n";
  for (int i = 1; i <= 150000; ++i) {
    const std::string a = i == 100000 ? "x" : i == 140000 ? "y" : std::to_string(i);
    Text += a + "," + std::to_string(i % 7) + "," + std::to_string(i % 5) + "\n";
  }
  const std::string File = Write("late.csv", Text);
  for (const char* Threads : {"1", "2", "3"}) {
    const TRun R = Run(File + " regress --threads " + Threads);
    EXPECT_EQ(R.Status, 2);
    EXPECT_EQ(R.Err, "varnel: " + File + ": data row 100000, column \"a\": 'x' is not a number; --na TEXT reads such "
                     "a cell as missing\n");
  }
  // A streamed table starts only after a pass over every cell: nothing is
  // written, and -o leaves its file as it was.
  const std::string Old = Write("old.csv", "old\n");
  const TRun Streamed = Run(File + " diagnose --csv -o " + Old);
  EXPECT_EQ(Streamed.Status, 2);
  EXPECT_EQ(Slurp(Old), "old\n");
  EXPECT_EQ(Run(File + " diagnose --csv").Out, "");
}

// --plot beyond the box: the picture beside the tables, the same bytes for
// one thread and three; the series gathered for it leave the tables as
// they are without it.
TEST_F(StreamedTest, PicturesBeyondTheBox) {
  const std::string File = Write("stream.csv", StreamFile());
  const std::string Diagnose = File + " diagnose --y y --x t,a,b --csv";
  const TRun Plain = Run(Diagnose);
  ASSERT_EQ(Plain.Status, 0) << Plain.Err;
  std::string First;
  for (const char* Threads : {"1", "3"}) {
    const std::string Picture = (Dir / (std::string("d") + Threads + ".svg")).string();
    const TRun R = Run(Diagnose + " --threads " + Threads + " --plot " + Picture);
    ASSERT_EQ(R.Status, 0) << R.Err;
    EXPECT_EQ(R.Out, Plain.Out);
    const std::string Svg = Slurp(Picture);
    EXPECT_NE(Svg.find("lm(y ~ t + a + b), n = 29999"), std::string::npos);
    EXPECT_NE(Svg.find("</svg>"), std::string::npos);
    if (First.empty()) First = Svg;
    EXPECT_EQ(Svg, First) << Threads << " threads";
  }
  const std::pair<std::string, std::string> Others[] = {
      {"pca --y y --x t,a,b", "Principal components of 3 variables, n = 29999"},
      {"describe --y y --x t,a,b", "Histograms of the 4 variables (R's Sturges breaks), n = 29999"},
      {"cluster --x a,b,c --scale", "k-means: 3 clusters of 29999 observations on 3 variables"}};
  for (const auto& [Command, Title] : Others) {
    const std::string Picture = (Dir / "p.svg").string();
    const TRun R = Run(File + " " + Command + " --csv --plot " + Picture);
    ASSERT_EQ(R.Status, 0) << Command << ": " << R.Err;
    EXPECT_GT(Lines(R.Out), 1) << Command;
    EXPECT_NE(Slurp(Picture).find(Title), std::string::npos) << Command;
  }
}

// What the engine cannot read, or the component alone gives, is one line
// and exit status 2.
TEST_F(StreamedTest, RefusalsBeyondTheBox) {
  const std::string File = Write("stream.csv", StreamFile());
  const auto Refused = [&](const std::string& Args, const std::string& Said) {
    const TRun R = Run(Args);
    EXPECT_EQ(R.Status, 2) << Args;
    EXPECT_EQ(Lines(R.Err), 1) << R.Err;
    EXPECT_NE(R.Err.find(Said), std::string::npos) << R.Err;
    EXPECT_EQ(R.Out, "");
  };
  Refused(File + " regress --y y --x t,g,a,b,c --report-texts", "--report-texts");
  Refused(File + " regress --y y --x t,a --scan", "--scan (the component's plausibility scan) is for data within");
  Refused(Write("book.xlsx", std::string("PK\x03\x04", 4) + "rest") + " regress", "zip archive");
  Refused(Write("table.parquet", "PAR1rest") + " regress", "Parquet");
  ASSERT_EQ(std::system(("gzip -k " + File + " && head -c 20000 " + File + ".gz > " + File + ".cut.gz").c_str()), 0);
  Refused(File + ".cut.gz regress --y y --x t,g,a,b,c", "end early");
  std::string Text = StreamFile();
  Text.replace(Text.find("\nr25000,") + 1 + std::string("r25000,").size(), 0, "x");
  Refused(Write("bad.csv", Text) + " regress --y y --x t,a", "data row 25000 'x1701500000'");
}

// The rows of StreamFile from First to Last, with its header.
std::string StreamPart(const std::string& Whole, int First, int Last) {
  const auto RowStart = [&](int Row) { return Row > 30000 ? Whole.size() : Whole.find("\nr" + std::to_string(Row) + ",") + 1; };
  return Whole.substr(0, Whole.find('\n') + 1) + Whole.substr(RowStart(First), RowStart(Last + 1) - RowStart(First));
}

// A folder of part files is one data set: its files in name order, the
// ones beside the parts left out, a part with no row read as none; the
// result is R's on the whole file, and the same bytes for any number of
// threads and for the files named one by one.
TEST_F(StreamedTest, AFolderOfPartsIsOneDataSet) {
  const std::string Whole = StreamFile();
  std::filesystem::create_directories(Dir / "parts");
  Write("parts/part-00000.csv", StreamPart(Whole, 1, 12000));
  Write("parts/part-00001.csv", StreamPart(Whole, 12001, 12000));  // the header alone
  Write("parts/part-00002.csv", StreamPart(Whole, 12001, 25000));
  Write("parts/part-00003.csv", StreamPart(Whole, 25001, 30000));
  Write("parts/_SUCCESS", "");
  Write("parts/.part-00000.csv.crc", "not a part");
  const std::string Folder = (Dir / "parts").string();
  const TRun R = Run(Folder + " regress --y y --x t,g,a,b,c --json --threads 1");
  ASSERT_EQ(R.Status, 0) << R.Err;
  EXPECT_NE(R.Err.find(Folder + "/part-00000.csv and 3 more files: 1 row with a missing value left out (data rows 17)"),
            std::string::npos) << R.Err;
  const json J = json::parse(R.Out);
  EXPECT_EQ(J["meta"]["n"], 29999);
  const json& C = J["coefficients"];
  ExpectDigits((*Row(C, "(Intercept)"))["estimate"], -1.69846364199580e+02);
  ExpectDigits((*Row(C, "gl"))["std.error"], 8.16731809422146e-03);
  ExpectDigits((*Row(C, "c"))["statistic"], 173.13524720443425);
  ExpectDigits(J["model"][0]["durbin.watson"], 0.70572789772559);
  EXPECT_EQ(Run(Folder + " regress --y y --x t,g,a,b,c --json --threads 3").Out, R.Out);
  std::string Named;
  for (const char* Part : {"part-00000.csv", "part-00001.csv", "part-00002.csv", "part-00003.csv"}) Named += " " + Folder + "/" + Part;
  EXPECT_EQ(Run(Named + " regress --y y --x t,g,a,b,c --json --threads 2").Out, R.Out);
  // Per-row tables number the rows through the files, in their order.
  const TRun Rows = Run(Folder + " diagnose --y y --x t,g,a,b,c --csv");
  ASSERT_EQ(Rows.Status, 0) << Rows.Err;
  EXPECT_EQ(Lines(Rows.Out), 30000);
  EXPECT_NE(Rows.Out.find("\n12001,"), std::string::npos);
  EXPECT_NE(Rows.Out.find("\n30000,"), std::string::npos);
  EXPECT_EQ(Run(Folder + " diagnose --y y --x t,g,a,b,c --csv --threads 3").Out, Rows.Out);
}

// A file that does not fit among the others is refused before any row is
// read; a bad cell is named in its own file, by its row there.
TEST_F(StreamedTest, SeveralFilesRefused) {
  const std::string Whole = StreamFile();
  const std::string First = Write("first.csv", StreamPart(Whole, 1, 20000));
  const auto Refused = [&](const std::string& Args, const std::string& Said) {
    const TRun R = Run(Args);
    EXPECT_EQ(R.Status, 2) << Args;
    EXPECT_EQ(R.Err, "varnel: " + Said + "\n");
    EXPECT_EQ(R.Out, "");
  };
  const std::string Other = Write("other.csv", "id,t,g,a,b,y,c\n" + StreamPart(Whole, 20001, 30000).substr(16));
  Refused(First + " " + Other + " regress", Other + ": its header row differs from the one of " + First +
                                                "; the files must have the same columns in the same order");
  std::string Text = StreamPart(Whole, 20001, 30000);
  Text.replace(Text.find("\nr20005,") + 1 + std::string("r20005,").size(), 0, "x");
  const std::string Bad = Write("bad.csv", Text);
  Refused(First + " " + Bad + " regress --y y --x t,a", Bad + ": data row 5, column \"t\": 'x1701200300' is not a number; "
                                                           "--na TEXT reads such a cell as missing");
  Refused(First + " - regress", "standard input (-) is read alone, not among several files");
  std::filesystem::create_directories(Dir / "empty");
  Write("empty/_SUCCESS", "");
  Refused((Dir / "empty").string() + " regress", (Dir / "empty").string() + ": the folder holds no data file");
}

}  // namespace
}  // namespace varnel::cli
