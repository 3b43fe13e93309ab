// SPDX-License-Identifier: Apache-2.0
// varnel anova --formula ... --formula ...: nested models as R 4.2.2's
// anova(fit1, fit2, ...) tables them, on mtcars (cyl a text factor) with
// one value of hp missing: every model is fitted to the rows complete in
// all the columns any of them reads.
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <string>

#include "tool_fixture.h"

namespace varnel::cli {
namespace {

using nlohmann::ordered_json;

const char* const kCars =
    "wt,hp,cyl,mpg\n"
    "2.62,110,six,21\n2.875,110,six,21\n2.32,93,four,22.8\n3.215,110,six,21.4\n3.44,NA,eight,18.7\n"
    "3.46,105,six,18.1\n3.57,245,eight,14.3\n3.19,62,four,24.4\n3.15,95,four,22.8\n3.44,123,six,19.2\n"
    "3.44,123,six,17.8\n4.07,180,eight,16.4\n3.73,180,eight,17.3\n3.78,180,eight,15.2\n5.25,205,eight,10.4\n"
    "5.424,215,eight,10.4\n5.345,230,eight,14.7\n2.2,66,four,32.4\n1.615,52,four,30.4\n1.835,65,four,33.9\n"
    "2.465,97,four,21.5\n3.52,150,eight,15.5\n3.435,150,eight,15.2\n3.84,245,eight,13.3\n3.845,175,eight,19.2\n"
    "1.935,66,four,27.3\n2.14,91,four,26\n1.513,113,four,30.4\n3.17,264,eight,15.8\n2.77,175,six,19.7\n"
    "3.57,335,eight,15\n2.78,109,four,21.4\n";

bool Agrees(double a, double b, double Digits) { return std::fabs(a - b) <= std::pow(10.0, -Digits) * std::fabs(b); }

class NestedAnovaTest : public ToolTest {
 protected:
  ordered_json Anova(const std::string& Formulas) {
    const TRun R = Run("anova " + Write("cars.csv", kCars) + " " + Formulas + " --json");
    EXPECT_EQ(R.Status, 0) << R.Err;
    return R.Status == 0 ? ordered_json::parse(R.Out) : ordered_json();
  }
};

TEST_F(NestedAnovaTest, ThreeModelsAsR) {
  const ordered_json J =
      Anova("--formula 'mpg ~ wt' --formula 'mpg ~ wt + hp' --formula 'mpg ~ wt*hp + cyl'");
  const auto& A = J["anova"];
  ASSERT_EQ(A.size(), 3u);
  EXPECT_EQ(A[0]["term"], "mpg ~ wt");
  EXPECT_EQ(A[2]["term"], "mpg ~ wt*hp + cyl");
  const int Df[] = {29, 28, 25};
  const double Rss[] = {278.28051627619476, 194.90350720473410, 123.13706620099141};
  for (std::size_t m = 0; m < 3; ++m) {
    EXPECT_EQ(A[m]["df.residual"], Df[m]);
    EXPECT_TRUE(Agrees(A[m]["rss"], Rss[m], 10)) << m;
  }
  for (const char* Column : {"df", "sumsq", "statistic", "p.value"}) EXPECT_TRUE(A[0][Column].is_null()) << Column;
  EXPECT_EQ(A[1]["df"], 1);
  EXPECT_EQ(A[2]["df"], 3);
  EXPECT_TRUE(Agrees(A[1]["sumsq"], 83.377009071460662, 10));
  EXPECT_TRUE(Agrees(A[2]["sumsq"], 71.766441003742685, 10));
  // Both F tests take the largest model's residual mean square.
  EXPECT_TRUE(Agrees(A[1]["statistic"], 16.9276830372440230, 10));
  EXPECT_TRUE(Agrees(A[2]["statistic"], 4.8568127654999627, 10));
  EXPECT_TRUE(Agrees(A[1]["p.value"], 0.00036920111899433217, 10));
  EXPECT_TRUE(Agrees(A[2]["p.value"], 0.00849555191490186830, 10));
  EXPECT_EQ(J["meta"]["n"], 31);
  EXPECT_EQ(J["meta"]["response"], "mpg");
}

TEST_F(NestedAnovaTest, TransformedResponseAndNoConstantAsR) {
  const ordered_json J = Anova("--formula 'log(mpg) ~ wt - 1' --formula 'log(mpg) ~ wt + hp'");
  const auto& A = J["anova"];
  ASSERT_EQ(A.size(), 2u);
  EXPECT_EQ(A[0]["df.residual"], 30);
  EXPECT_TRUE(Agrees(A[0]["rss"], 39.18560187913394799, 10));
  EXPECT_TRUE(Agrees(A[1]["rss"], 0.35627850238134173, 10));
  EXPECT_EQ(A[1]["df"], 2);
  EXPECT_TRUE(Agrees(A[1]["statistic"], 1525.8022127102254, 10));
  EXPECT_TRUE(Agrees(A[1]["p.value"], 2.6380519775133806e-29, 9));
}

TEST_F(NestedAnovaTest, RefusalsNameTheCause) {
  const std::string Data = Write("cars.csv", kCars);
  const auto Refused = [&](const std::string& Arguments, const std::string& Says) {
    const TRun R = Run("anova " + Data + " " + Arguments);
    EXPECT_EQ(R.Status, 2) << Arguments;
    EXPECT_NE(R.Err.find(Says), std::string::npos) << R.Err;
    EXPECT_TRUE(R.Out.empty());
  };
  Refused("--formula 'mpg ~ wt'", "two or more models");
  Refused("--formula 'mpg ~ wt' --formula 'log(mpg) ~ wt'", "different responses");
  Refused("--formula 'mpg ~ wt' --formula 'mpg ~ torque'", "no column named \"torque\"");
}

}  // namespace
}  // namespace varnel::cli
