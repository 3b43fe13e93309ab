// SPDX-License-Identifier: Apache-2.0
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
  // A decimal comma in a comma-separated file is read from quoted cells, so
  // --decimal , is taken; the points then say what is wrong.
  EXPECT_NE(Comma2.Err.find("column \"y\": '3.1' is not a number; with a decimal point, the numbers read without "
                            "--decimal ,\n"),
            std::string::npos)
      << Comma2.Err;
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
  // "-" is text without --na: one such cell among numbers is named, not
  // made a factor of 25 levels.
  const TRun Own = Run("regress " + File);
  EXPECT_EQ(Own.Status, 2);
  EXPECT_NE(Own.Err.find(": column \"x\" holds numbers and a cell that is not a number (data row 6 '-'); --na TEXT "
                         "reads such a cell as missing, --factor \"x\" makes the column a factor\n"),
            std::string::npos)
      << Own.Err;
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
  EXPECT_NE(Help.Out.find("any number of rows and up to 1,000 predictors"), std::string::npos);
  EXPECT_NE(Help.Out.find("exhaustive search 40"), std::string::npos);
}

// Two columns of one name, or one named as the constant term, are renamed as
// R's make.unique renames them, so that --y, --x and the tables see every
// column under a name of its own; one line on standard error says so.
TEST_F(ReadingTest, RepeatedAndReservedNamesAreMadeUnique) {
  const std::string Twice = Write("twice.csv", "a,y,y\n1,2,3\n2,3,5\n3,5,6\n4,4,9\n5,7,8\n");
  const TRun Last = Run("regress --json " + Twice);
  ASSERT_EQ(Last.Status, 0) << Last.Err;
  EXPECT_EQ(Last.Err,
            "varnel: " + Twice + ": columns renamed to keep every name unique: \"y\" (column 3) to \"y.1\"\n");
  EXPECT_EQ(ordered_json::parse(Last.Out)["meta"]["response"], "y.1");
  EXPECT_EQ(ordered_json::parse(Run("regress --json --y y " + Twice).Out)["meta"]["predictors"],
            ordered_json::array({"a", "y.1"}));

  // The second "a" skips a.1, which a column already bears; --x a is the first.
  std::string Three = "a,a,a.1,y\n", First = "a,y\n";
  for (int i = 1; i <= 8; ++i) {
    const std::string A = std::to_string(i), Y = std::to_string(i * i % 7 + 2 * i);
    Three += A + "," + std::to_string(20 + i * 3 % 5) + "," + std::to_string(50 - i % 4) + "," + Y + "\n";
    First += A + "," + Y + "\n";
  }
  const std::string Columns = Write("three.csv", Three);
  const TRun All = Run("regress --json " + Columns);
  ASSERT_EQ(All.Status, 0) << All.Err;
  EXPECT_EQ(ordered_json::parse(All.Out)["meta"]["predictors"], ordered_json::array({"a", "a.2", "a.1"}));
  EXPECT_NE(All.Err.find("\"a\" (column 2) to \"a.2\"\n"), std::string::npos) << All.Err;
  const ordered_json Picked = ordered_json::parse(Run("regress --json --x a --y y " + Columns).Out);
  const ordered_json Alone = ordered_json::parse(Run("regress --json " + Write("first.csv", First)).Out);
  EXPECT_EQ(Picked["coefficients"], Alone["coefficients"]);

  // A column named as the constant term, beside names with control characters.
  const std::string Reserved = Write("reserved.csv", "(Intercept),q\x1b,q\x1b,y\n1,10,31,4\n3,12,35,5\n2,15,33,9\n"
                                                     "5,11,38,8\n4,17,30,12\n6,14,36,13\n");
  const TRun Terms = Run("regress --json " + Reserved);
  ASSERT_EQ(Terms.Status, 0) << Terms.Err;
  EXPECT_EQ(Terms.Err, "varnel: " + Reserved +
                           ": columns renamed to keep every name unique: \"(Intercept)\" (column 1) to "
                           "\"(Intercept).1\", \"q\\x1b\" (column 3) to \"q\\x1b.1\"\n");
  const ordered_json Coefficients = ordered_json::parse(Terms.Out)["coefficients"];
  std::vector<std::string> Names;
  for (const auto& Row : Coefficients) Names.push_back(Row["term"]);
  EXPECT_EQ(Names, (std::vector<std::string>{"(Intercept)", "(Intercept).1", "q\\x1b", "q\\x1b.1"}));
}

}  // namespace
}  // namespace varnel::cli
