// SPDX-License-Identifier: Apache-2.0
// regress --cluster against R 4.2.2's sandwich::vcovCL, within the box and
// beyond it.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <string>

#include "firm_file.h"
#include "tool_fixture.h"

namespace varnel::cli {
namespace {

using nlohmann::json;

void ExpectDigits(const json& Value, double Expected, double Digits = 10) {
  EXPECT_NEAR(Value.get<double>(), Expected, std::pow(10.0, -Digits) * std::fabs(Expected)) << Expected;
}

void ExpectErrors(const std::string& Out, const double (&Expected)[3], std::size_t Count = 3) {
  const json J = json::parse(Out);
  ASSERT_EQ(J["coefficients"].size(), Count);
  for (std::size_t j = 0; j < Count; ++j) ExpectDigits(J["coefficients"][j]["std.error"], Expected[j]);
}

class ClusterErrorsTest : public ToolTest {};

// R: d <- the 600 rows; f <- lm(y ~ a + b, d); sqrt(diag(vcovCL(f, cluster
// = ~firm))) (type HC1, cadjust), type = "HC0", ~gid the same, and
// lm(y ~ a + b - 1, d) through the origin; t = coef/se, p and limits on
// f$df.residual.
TEST_F(ClusterErrorsTest, WithinTheBoxAsR) {
  // The last row's firm is missing: it is left out, as from a refit
  // without it, and its response would pull every figure far away.
  const std::string File = Write("firms.csv", FirmFile(600) + "10,10,1000000,NA,NA,3,1\n");
  const std::string Args = File + " regress --y y --x a,b --json";
  const double Hc1[3] = {202.227736500126952, 0.144348560913740986, 0.067358613559095962};
  const TRun R = Run(Args + " --cluster firm");
  ASSERT_EQ(R.Status, 0) << R.Err;
  ExpectErrors(R.Out, Hc1);
  const json J = json::parse(R.Out);
  EXPECT_EQ(J["meta"]["vcov"], "CL-HC1 by firm");
  EXPECT_EQ(J["meta"]["n"], 600);
  const json& A = J["coefficients"][1];
  ExpectDigits(A["estimate"], 3.1255091265475308);
  ExpectDigits(A["statistic"], 21.6525132413010688);
  ExpectDigits(A["p.value"], 3.5852093521167964e-77, 8);
  ExpectDigits(J["coefficients"][0]["conf.low"], -433.1487828662477568);
  ExpectDigits(J["coefficients"][2]["conf.low"], -2.2171804997882218);

  const TRun Hc0 = Run(Args + " --cluster firm --vcov HC0");
  ASSERT_EQ(Hc0.Status, 0) << Hc0.Err;
  ExpectErrors(Hc0.Out, {201.889845309217861, 0.144107376850677898, 0.067246067760248746});
  EXPECT_EQ(json::parse(Hc0.Out)["meta"]["vcov"], "CL-HC0 by firm");
  // A key of numbers groups the rows as the texts do.
  const TRun Numbers = Run(Args + " --cluster gid");
  ASSERT_EQ(Numbers.Status, 0) << Numbers.Err;
  ExpectErrors(Numbers.Out, Hc1);
  const TRun Origin = Run(Args + " --cluster firm --no-intercept");
  ASSERT_EQ(Origin.Status, 0) << Origin.Err;
  ExpectErrors(Origin.Out, {0.161474547984714806, 0.066684908213707303}, 2);
  // Weighted: vcovCL(lm(y ~ a + b, d, weights = v), cluster = ~firm), the
  // scores w·e·x; a weight of 0 is refused, as with --vcov.
  const TRun Weighted = Run(Args + " --cluster firm --weights v");
  ASSERT_EQ(Weighted.Status, 0) << Weighted.Err;
  ExpectErrors(Weighted.Out, {206.320864618298941, 0.144278954734989640, 0.059752283048370533});
  const TRun WeightedHc0 = Run(Args + " --cluster firm --weights v --vcov HC0");
  ASSERT_EQ(WeightedHc0.Status, 0) << WeightedHc0.Err;
  ExpectErrors(WeightedHc0.Out, {205.976134444971677, 0.144037886973058304, 0.059652446248393595});
  EXPECT_EQ(Run(Args + " --cluster firm --weights w").Status, 2);
}

// The same model on 25,000 rows, read in blocks: R's figures, and the same
// bytes on one thread and on three.
TEST_F(ClusterErrorsTest, BeyondTheBoxAsR) {
  const std::string Args = Write("firms.csv", FirmFile(25000)) + " regress --y y --x a,b --json --cluster firm";
  const TRun One = Run(Args + " --threads 1");
  ASSERT_EQ(One.Status, 0) << One.Err;
  ExpectErrors(One.Out, {204.501992137141428, 0.078632071453511990, 0.014194482844746814});
  const json J = json::parse(One.Out);
  ExpectDigits(J["coefficients"][1]["statistic"], 38.31347854956519683);
  EXPECT_EQ(Run(Args + " --threads 3").Out, One.Out);
  const TRun Hc0 = Run(Args + " --vcov HC0 --no-intercept --threads 3");
  ASSERT_EQ(Hc0.Status, 0) << Hc0.Err;
  EXPECT_EQ(json::parse(Hc0.Out)["meta"]["vcov"], "CL-HC0 by firm");
}

TEST_F(ClusterErrorsTest, RefusedRequests) {
  const std::string File = Write("firms.csv", FirmFile(100));
  const std::string Args = File + " regress --y y --x a,b --cluster ";
  for (const char* Kind : {"HC2", "HC3", "HC4", "const"}) {
    const TRun R = Run(Args + "firm --vcov " + Kind);
    EXPECT_EQ(R.Status, 2) << Kind;
    EXPECT_NE(R.Err.find(Kind), std::string::npos) << R.Err;
  }
  for (const char* Column : {"a", "y", "nosuch"}) EXPECT_EQ(Run(Args + Column).Status, 2) << Column;
  // Without --x, the cluster column is not a predictor.
  const TRun Default = Run(File + " regress --y y --x a,b,gid,w,v --json --cluster firm");
  EXPECT_EQ(json::parse(Run(File + " regress --y y --json --cluster firm").Out)["coefficients"],
            json::parse(Default.Out)["coefficients"]);
  const TRun One = Run(Write("one.csv", "a,b,y,firm\n1,2,3,x\n2,1,5,x\n3,3,4,x\n4,0,9,x\n5,5,1,x\n") +
                       " regress --y y --x a,b --cluster firm");
  EXPECT_EQ(One.Status, 2);
  EXPECT_NE(One.Err.find("two clusters"), std::string::npos) << One.Err;
}

}  // namespace
}  // namespace varnel::cli
