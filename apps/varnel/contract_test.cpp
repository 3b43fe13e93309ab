// The tool's output contract: every table of every command loads as CSV with
// a strict CSV reader and as JSON with a JSON parser, the two agree cell for
// cell, and a number reads back to the same double in both.
#include <gtest/gtest.h>

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
                                  "diagnose --no-intercept", "select --method both", "select --nbest 3 --criterion cp"};
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

TEST_F(ContractTest, RequestsThatCannotBeMetGiveOneLineAndNoOutput) {
  const std::string Longley = std::string(VARNEL_EXAMPLES) + "/longley.csv";
  for (const char* Request : {"regress --csv --table nope", "cluster --csv", "regress --level 1", "regress --level 95"}) {
    const TRun R = Run(std::string(Request) + " " + Longley);
    EXPECT_EQ(R.Status, 2) << Request;
    EXPECT_EQ(R.Out, "") << Request;
    EXPECT_NE(R.Err, "") << Request;
  }
  EXPECT_EQ(Lines(Run("cluster --json " + Longley).Err), 1);
  const TRun NoFreedom = Run("table --df 0");  // was an uncaught domain error
  EXPECT_EQ(NoFreedom.Status, 2);
  EXPECT_EQ(NoFreedom.Out, "");
  EXPECT_EQ(Run("table --df 1 --level 0.999999").Status, 0);
  EXPECT_NE(Run("regress --csv --table nope " + Longley).Err.find("coefficients, model"), std::string::npos);
}

}  // namespace
}  // namespace varnel::cli
