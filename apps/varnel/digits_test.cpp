// SPDX-License-Identifier: Apache-2.0
// Figures the tool's tables take from extended precision and from the
// distribution functions rather than from the component's short forms.
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>

#include "tool_fixture.h"

namespace varnel::cli {
namespace {

const std::string kSwiss = std::string(VARNEL_EXAMPLES) + "/swiss.csv";

// describe's skewness and kurtosis against R's mean((x - mean(x))^k)
// ratios, to 12 significant digits; excess.kurtosis is kurtosis − 3.
TEST_F(ToolTest, DescribeShowsShapeToTwelveDigits) {
  const TRun R = Run("describe " + kSwiss + " --y Fertility --json");
  ASSERT_EQ(R.Status, 0) << R.Err;
  const auto Rows = nlohmann::json::parse(R.Out)["variables"];
  const std::pair<std::string, std::pair<double, double>> Expected[] = {
      {"Catholic", {0.49462736803369284, 1.3932364479385486}},
      {"Fertility", {-0.47062691160960468, 3.4032319247531646}}};
  for (const auto& [Name, Shape] : Expected) {
    for (const auto& Row : Rows) {
      if (Row["variable"] != Name) continue;
      EXPECT_NEAR(Row["skew"].get<double>(), Shape.first, 1e-12 * std::fabs(Shape.first)) << Name;
      EXPECT_NEAR(Row["kurtosis"].get<double>(), Shape.second, 1e-12 * Shape.second) << Name;
      EXPECT_NEAR(Row["excess.kurtosis"].get<double>(), Shape.second - 3, 1e-14) << Name;
    }
  }
}

// Each normal probability from the distribution (R's pnorm), beside the
// component's four-decimal table value, labelled.
TEST_F(ToolTest, TableShowsTrueProbabilitiesBesideTheComponentsTable) {
  for (const auto& [Z, Above] : {std::pair{"6", 9.8658764503769809e-10}, std::pair{"3.3", 0.00048342414238377744}}) {
    const TRun R = Run(std::string("table --z ") + Z + " --json");
    ASSERT_EQ(R.Status, 0) << R.Err;
    const auto Rows = nlohmann::json::parse(R.Out)["values"];
    bool True = false, Component = false;
    for (const auto& Row : Rows) {
      if (Row["quantity"] == std::string("P(Z > ") + Z + ")") {
        EXPECT_NEAR(Row["value"].get<double>(), Above, 1e-14 * Above) << Z;
        True = true;
      }
      if (Row["quantity"] == std::string("P(Z > ") + Z + ") (the component's table)") {
        EXPECT_NEAR(Row["value"].get<double>(), 0.001, 1e-15) << Z;  // the table stops at 0.001
        Component = true;
      }
    }
    EXPECT_TRUE(True && Component) << R.Out;
  }
}

}  // namespace
}  // namespace varnel::cli
