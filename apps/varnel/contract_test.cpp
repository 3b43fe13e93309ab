// SPDX-License-Identifier: Apache-2.0
// The tool's output contract: every table of every command loads as CSV with
// a strict CSV reader and as JSON with a JSON parser, the two agree cell for
// cell, and a number reads back to the same double in both.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include <nlohmann/json.hpp>

#include "parsed_csv.h"
#include "tool_fixture.h"

namespace varnel::cli {
namespace {

using nlohmann::ordered_json;

// One CSV field against the JSON value of the same cell.
::testing::AssertionResult SameCell(const std::string& Field, const ordered_json& Value) {
  if (Value.is_null()) {
    if (Field.empty()) return ::testing::AssertionSuccess();
  } else if (Value.is_string()) {
    if (Field == Value.get<std::string>()) return ::testing::AssertionSuccess();
  } else {
    char* End = nullptr;
    const double Read = std::strtod(Field.c_str(), &End);
    if (!Field.empty() && *End == '\0' && Read == Value.get<double>()) return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "CSV '" << Field << "' vs JSON " << Value.dump();
}

class ContractTest : public ToolTest {
 protected:
  void ExpectCsvAgrees(const std::string& Command, const std::string& Name, const ordered_json& Rows) {
    const TRun Csv = Run(Command + " --csv --table " + Name);
    ASSERT_EQ(Csv.Status, 0) << Command << " " << Name << ": " << Csv.Err;
    const auto Fields = ParseCsv(Csv.Out);
    ASSERT_TRUE(Fields) << Csv.Out;
    ASSERT_EQ(Fields->size(), Rows.size() + 1) << Name;
    std::vector<std::string> Keys;
    for (const auto& Item : Rows.front().items()) Keys.push_back(Item.key());
    EXPECT_EQ((*Fields)[0], Keys) << Name;
    for (std::size_t r = 0; r < Rows.size(); ++r) {
      std::size_t c = 0;
      for (const auto& Item : Rows[r].items()) EXPECT_TRUE(SameCell((*Fields)[r + 1].at(c++), Item.value())) << Name;
    }
  }
};

TEST_F(ContractTest, EveryTableLoadsAsCsvAndAsJson) {
  const std::string Longley = std::string(VARNEL_EXAMPLES) + "/longley.csv";
  const std::string Commands[] = {"",         "regress",  "diagnose", "describe",
                                  "select",   "pca",      "distance", "regress --no-intercept --level 0.9",
                                  "diagnose --no-intercept", "pca --covariance", "cluster --clusters 4",
                                  "select --method both", "select --nbest 3 --criterion cp", "glm"};
  for (const std::string& Command : Commands) {
    const std::string Line = Command + " " + Longley;
    const TRun Json = Run(Line + " --json");
    ASSERT_EQ(Json.Status, 0) << Line << ": " << Json.Err;
    const ordered_json Results = ordered_json::parse(Json.Out);
    EXPECT_EQ(Results["meta"]["n"], 16);
    EXPECT_EQ(Results["meta"]["k"], 6);
    EXPECT_EQ(Results["meta"]["response"], "Employed");
    EXPECT_FALSE(Results["meta"]["version"].get<std::string>().empty());
    for (const auto& Item : Results.items()) {
      if (Item.key() != "meta") ExpectCsvAgrees(Line, Item.key(), Item.value());
    }
  }
  const TRun Values = Run("table --json --level 0.9");
  EXPECT_EQ(ordered_json::parse(Values.Out)["meta"]["level"], 0.9);
  ExpectCsvAgrees("table --level 0.9", "values", ordered_json::parse(Values.Out)["values"]);
}

TEST_F(ContractTest, TablesAreNamedAsBroomNamesThem) {
  const std::string Longley = std::string(VARNEL_EXAMPLES) + "/longley.csv";
  const ordered_json Fit = ordered_json::parse(Run("diagnose " + Longley + " --json").Out);
  const auto& First = Fit["observations"][0];
  EXPECT_EQ(First["row"], 1);
  for (const char* Column : {".fitted", ".resid", ".hat", ".sigma", ".cooksd", ".std.resid", ".stud.resid", "dffits",
                             "covratio", "dfb.(Intercept)", "dfb.Year", "conf.low", "pred.high"}) {
    EXPECT_TRUE(First.contains(Column)) << Column;
  }
  const ordered_json Regress = ordered_json::parse(Run("regress --no-intercept " + Longley + " --json").Out);
  EXPECT_EQ(Regress["coefficients"][0]["term"], "GNP.deflator");  // no "(Intercept)" through the origin
  EXPECT_EQ(Regress["model"][0]["df.residual"], 10);
}

// R 4.2 on the Longley predictors: prcomp(x, scale. = TRUE / FALSE),
// quantile, mean((x - m)^4) / mean((x - m)^2)^2 - 3 and acf of GNP.
TEST_F(ContractTest, ComponentsClustersAndDescriptionsAsR) {
  const std::string Longley = std::string(VARNEL_EXAMPLES) + "/longley.csv";
  const ordered_json Pca = ordered_json::parse(Run("pca " + Longley + " --json").Out);
  EXPECT_NEAR(Pca["components"][5]["condition.index"].get<double>(), 110.54415344231022, 1e-9);
  EXPECT_NEAR(Pca["components"][0]["sdev"].get<double>(), 2.1455482040188221, 1e-12);
  EXPECT_EQ(Pca["loadings"][5]["variable"], "Year");
  EXPECT_NEAR(std::fabs(Pca["loadings"][5]["PC6"].get<double>()), 0.45040888363559956, 1e-12);
  EXPECT_EQ(Pca["scores"].size(), 16u);
  EXPECT_NEAR(std::fabs(Pca["scores"][0]["PC1"].get<double>()), 3.4788511646159126, 1e-11);
  const ordered_json Cov = ordered_json::parse(Run("pca --covariance " + Longley + " --json").Out);
  EXPECT_NEAR(Cov["components"][0]["sdev"].get<double>(), 99635.849483017941, 1e-7);

  const ordered_json Gnp = ordered_json::parse(Run("describe " + Longley + " --json").Out)["variables"][1];
  EXPECT_EQ(Gnp["variable"], "GNP");
  EXPECT_EQ(Gnp["q1"], 317881);
  EXPECT_EQ(Gnp["q3"], 454085.5);
  EXPECT_NEAR(Gnp["excess.kurtosis"].get<double>(), -1.1180699316042033, 1e-13);
  EXPECT_NEAR(Gnp["acf1"].get<double>(), 0.79378300911064548, 1e-13);
  EXPECT_EQ(Gnp["missing"], 0);
  const ordered_json Huge =
      ordered_json::parse(Run("describe --json " + Write("huge.csv", "x,y\n3e23,1\n5e23,2\n4e23,4\n")).Out);
  EXPECT_EQ(Huge["variables"][0]["min"], 3e23);  // not the component's start at 1e22
  EXPECT_EQ(Huge["variables"][0]["max"], 5e23);

  const TRun First = Run("cluster --clusters 3 --seed 7 " + Longley), Again = Run("cluster --clusters 3 --seed 7 " + Longley);
  EXPECT_EQ(First.Status, 0) << First.Err;
  EXPECT_EQ(First.Out, Again.Out);
  const ordered_json Clusters = ordered_json::parse(Run("cluster --clusters 3 --starts 3 --json " + Longley).Out);
  EXPECT_EQ(Clusters["centres"].size(), 3u);
  EXPECT_TRUE(Clusters["centres"][0].contains("Armed.Forces"));
  EXPECT_EQ(Clusters["assignments"].size(), 16u);
  EXPECT_EQ(Clusters["assignments"][15]["row"], 16);
  const auto& Fit = Clusters["fit"][0];
  EXPECT_NEAR(Fit["between.ratio"].get<double>(), Fit["betweenss"].get<double>() / Fit["totss"].get<double>(), 1e-15);
}

TEST_F(ContractTest, RequestsThatCannotBeMetGiveOneLineAndNoOutput) {
  const std::string Longley = std::string(VARNEL_EXAMPLES) + "/longley.csv";
  for (const char* Request : {"regress --csv --table nope", "cluster --report-texts --csv", "regress --level 1",
                              "regress --level 95"}) {
    const TRun R = Run(std::string(Request) + " " + Longley);
    EXPECT_EQ(R.Status, 2) << Request;
    EXPECT_EQ(R.Out, "") << Request;
    EXPECT_NE(R.Err, "") << Request;
  }
  EXPECT_EQ(Lines(Run("cluster --report-texts --json " + Longley).Err), 1);
  const TRun NoFreedom = Run("table --df 0");  // was an uncaught domain error
  EXPECT_EQ(NoFreedom.Status, 2);
  EXPECT_EQ(NoFreedom.Out, "");
  EXPECT_EQ(Run("table --df 1 --level 0.999999").Status, 0);
  EXPECT_NE(Run("regress --csv --table nope " + Longley).Err.find("coefficients, model"), std::string::npos);
}

}  // namespace
}  // namespace varnel::cli
