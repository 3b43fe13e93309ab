// The files analysts have, read through the tool as a user runs it.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "tool_fixture.h"

namespace varnel::cli {
namespace {

using nlohmann::ordered_json;

// R 4.2: lm(y ~ region + x) on these ten rows, the fourth dropped for its
// missing x (na.omit): (Intercept), regionNorth, regionSouth, x.
const double kFactorFit[] = {-0.67836091753774674, 1.66250725900115870, 2.55782520325203233, 1.72691637630661998};

const char* const kRows[][4] = {{"a1", "North", "1.5", "3.1"},  {"a2", "South", "2.25", "6.0"},
                                {"a3", "East", "3.1", "5.2"},   {"a4", "North", "NA", "9.9"},
                                {"a5", "East", "5.05", "8.1"},  {"a6", "South", "6.3", "12.7"},
                                {"a7", "North", "7.7", "14.2"}, {"a8", "East", "8.2", "12.9"},
                                {"a9", "South", "9.9", "18.8"}, {"a10", "North", "10.4", "19.5"}};

// The rows with Separator between fields and Decimal as the decimal mark.
std::string FactorFile(const std::string& Separator, char Decimal, const std::string& Before = "") {
  std::string Text = Before + "id" + Separator + "region" + Separator + "x" + Separator + "y\r\n";
  for (const auto& Row : kRows) {
    for (int c = 0; c < 4; ++c) {
      std::string Cell = Row[c];
      for (char& ch : Cell) ch = ch == '.' ? Decimal : ch;
      Text += (c ? Separator : "") + Cell;
    }
    Text += "\r\n";
  }
  return Text;
}

class ReadingTest : public ToolTest {
 protected:
  ordered_json Coefficients(const std::string& Arguments, TRun* Out = nullptr) {
    const TRun R = Run("regress --json --x region,x --y y " + Arguments);
    if (Out) *Out = R;
    EXPECT_EQ(R.Status, 0) << Arguments << ": " << R.Err;
    return R.Status == 0 ? ordered_json::parse(R.Out) : ordered_json();
  }
  void ExpectFactorFit(const ordered_json& Results) {
    ASSERT_TRUE(Results.contains("coefficients"));
    const auto& C = Results["coefficients"];
    ASSERT_EQ(C.size(), 4u);
    const char* Terms[] = {"(Intercept)", "regionNorth", "regionSouth", "x"};
    for (int j = 0; j < 4; ++j) {
      EXPECT_EQ(C[j]["term"], Terms[j]);
      EXPECT_NEAR(C[j]["estimate"].get<double>(), kFactorFit[j], 1e-12 * std::fabs(kFactorFit[j])) << j;
    }
    EXPECT_EQ(Results["model"][0]["nobs"], 9);
    EXPECT_EQ(Results["meta"]["n"], 9);
    EXPECT_EQ(Results["meta"]["dropped"], 1);
  }
};

// A text column left unread, a factor coded as R codes it, a missing value
// dropped and said; then the same data as semicolons with decimal commas
// behind a byte-order mark, as tabs, and aligned by blanks.
TEST_F(ReadingTest, FactorsMissingValuesAndFormatsAsR) {
  TRun Comma;
  ExpectFactorFit(Coefficients(Write("comma.csv", FactorFile(",", '.')) + " --verbose", &Comma));
  EXPECT_NE(Comma.Err.find("1 row with a missing value left out (data rows 4)"), std::string::npos) << Comma.Err;
  EXPECT_NE(Comma.Err.find("columns not used: id"), std::string::npos) << Comma.Err;
  EXPECT_NE(Comma.Err.find("separator comma (from the header line)"), std::string::npos) << Comma.Err;
  TRun Semi;
  ExpectFactorFit(Coefficients(Write("semi.csv", FactorFile(";", ',', "\xEF\xBB\xBF")) + " --decimal , --verbose", &Semi));
  EXPECT_NE(Semi.Err.find("separator semicolon"), std::string::npos) << Semi.Err;
  const std::string Tabs = Write("tabs.tsv", FactorFile("\t", '.'));
  ExpectFactorFit(Coefficients(Tabs));
  ExpectFactorFit(Coefficients(Tabs + " --sep '\\t'"));
  ExpectFactorFit(Coefficients(Tabs + " --sep tab"));
  ExpectFactorFit(Coefficients(Write("aligned.txt", "  " + FactorFile("   \t ", '.')) + " --sep space"));
  // Quoted numbers are numbers.
  std::string Quoted = FactorFile(",", '.');
  Quoted.replace(Quoted.find(",8.2,"), 5, ",\"8.2\",");
  ExpectFactorFit(Coefficients(Write("quoted.csv", Quoted)));

  const TRun Fail = Run("regress --missing fail --x region,x " + Write("fail.csv", FactorFile(",", '.')));
  EXPECT_EQ(Fail.Status, 2);
  EXPECT_EQ(Lines(Fail.Err), 1) << Fail.Err;
  EXPECT_NE(Fail.Err.find("data row 4, column \"x\": missing value"), std::string::npos) << Fail.Err;
  const TRun Comma2 = Run("regress --decimal , " + Write("c.csv", FactorFile(",", '.')));
  EXPECT_EQ(Comma2.Status, 2);
  EXPECT_NE(Comma2.Err.find("decimal mark cannot also be the separator"), std::string::npos) << Comma2.Err;
}

// Every missing spelling, one of the user's own, rows named in order; a
// numeric column made a factor has its levels in numeric order.
TEST_F(ReadingTest, MissingSpellingsAndNumericFactors) {
  std::string Text = "cyl,x,y\n";
  const char* Cells[] = {"", "NA", "NaN", ".", "null", "-"};
  for (int i = 0; i < 30; ++i) {
    const int Cyl = i % 3 == 0 ? 4 : i % 3 == 1 ? 6 : 10;
    const std::string X = i < 6 ? Cells[i] : std::to_string(i * 0.5 + (i % 4));
    Text += std::to_string(Cyl) + "," + X + "," + std::to_string(i * 1.5 + Cyl) + "\n";
  }
  const std::string File = Write("missing.csv", Text);
  const TRun R = Run("regress --json --na - --factor cyl " + File);
  ASSERT_EQ(R.Status, 0) << R.Err;
  EXPECT_NE(R.Err.find("6 rows with a missing value left out (data rows 1, 2, 3, 4, 5, 6)"), std::string::npos) << R.Err;
  const ordered_json J = ordered_json::parse(R.Out);
  EXPECT_EQ(J["meta"]["n"], 24);
  EXPECT_EQ(J["coefficients"][1]["term"], "cyl6");
  EXPECT_EQ(J["coefficients"][2]["term"], "cyl10");
  const TRun Own = Run("regress " + File);  // "-" is text without --na: x becomes a factor of 25 levels
  EXPECT_EQ(Own.Status, 2);
  EXPECT_NE(Own.Err.find("data row 6, column \"x\": '-' is not a number; as a factor it has"), std::string::npos)
      << Own.Err;
  EXPECT_NE(Own.Err.find("at most 24 are possible"), std::string::npos) << Own.Err;
  EXPECT_EQ(Run("regress --factor nope " + File).Status, 2);
  const ordered_json Described = ordered_json::parse(Run("describe --json --na - " + File).Out);
  EXPECT_EQ(Described["variables"][1]["variable"], "x");
  EXPECT_EQ(Described["variables"][1]["missing"], 6);
  EXPECT_EQ(Described["variables"][1]["n"], 24);
  EXPECT_EQ(Described["variables"][0]["missing"], 0);
}

// Standard input by "-" and by a pipe; -o writes the file whole, and leaves
// an existing one as it was when the run fails.
TEST_F(ReadingTest, StandardInputAndOutputFile) {
  const std::string File = Write("comma.csv", FactorFile(",", '.'));
  const TRun Direct = Run("regress --csv --x region,x " + File);
  ASSERT_EQ(Direct.Status, 0) << Direct.Err;
  EXPECT_EQ(Run("regress --csv --x region,x -", "", "", File).Out, Direct.Out);
  EXPECT_EQ(Run("regress --csv --x region,x", "cat " + File + " |", "", "").Out, Direct.Out);
  EXPECT_NE(Run("regress --csv").Out.find("\r\nX1,"), std::string::npos);  // /dev/null: the example
  const std::string Target = (Dir / "out.csv").string();
  EXPECT_EQ(Run("regress --csv --x region,x " + File + " -o " + Target).Out, "");
  EXPECT_EQ(Slurp(Target), Direct.Out);
  EXPECT_EQ(Run("regress --csv --x nope " + File + " -o " + Target).Status, 2);
  EXPECT_EQ(Slurp(Target), Direct.Out);
  const TRun NoFolder = Run("regress " + File + " --x region,x -o " + (Dir / "no" / "out.csv").string());
  EXPECT_EQ(NoFolder.Status, 2);
  EXPECT_NE(NoFolder.Err.find("out.csv: cannot write the file"), std::string::npos) << NoFolder.Err;
  for (const auto& Entry : std::filesystem::directory_iterator(Dir)) {
    EXPECT_EQ(Entry.path().filename().string().find(".varnel-"), std::string::npos) << Entry.path();
  }
  const TRun Help = Run("--help");
  EXPECT_NE(Help.Out.find("19,999 rows used"), std::string::npos);
  EXPECT_NE(Help.Out.find("24 predictors"), std::string::npos);
}

}  // namespace
}  // namespace varnel::cli
