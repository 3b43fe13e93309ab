// SPDX-License-Identifier: Apache-2.0
// The result writers: what they write reads back to the same values.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <sstream>

#include <nlohmann/json.hpp>

#include "csv_table.h"
#include "parsed_csv.h"
#include "results.h"

namespace varnel::cli {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

const double kAwkwardNumbers[] = {83.1, 0.1 + 0.2, 1e-300, -1.721e-05, 5e-324, 1.7976931348623157e308};
const char* const kAwkwardTexts[] = {"a,b", "say \"hi\"", "two\nlines", " lead", "cr\rend"};

std::uint64_t Bits(double Value) { return std::bit_cast<std::uint64_t>(Value); }

TCsvFields CsvRows(const std::string& Text) {
  const auto Rows = ParseCsv(Text);
  EXPECT_TRUE(Rows.has_value());
  return Rows.value_or(TCsvFields{});
}

// Column order deliberately not alphabetical, so that a sorted JSON object shows.
TResultTable AwkwardTable() {
  TResultTable Table{"coefficients", "Coefficients", {"term", "estimate", "n"}, {}, {"a note\r\n"}};
  for (std::size_t i = 0; i < std::size(kAwkwardNumbers); ++i) {
    const std::string Term = i < std::size(kAwkwardTexts) ? kAwkwardTexts[i] : "plain";
    Table.Rows.push_back({Term, kAwkwardNumbers[i], static_cast<long long>(i) - 2});
  }
  Table.Rows.push_back({std::monostate{}, kNaN, std::monostate{}});
  Table.Rows.push_back({"inf", kInf, 0LL});
  return Table;
}

TResults AwkwardResults() {
  TResults Results;
  Results.Meta = {"regress", "data.csv", 42, 2, 0, 0.95, "y", {"x1", "x2"}, "1.2.3", {}, {}, {}};
  Results.Tables.push_back(AwkwardTable());
  Results.Tables.push_back({"fit", "Fit", {"statistic", "value"}, {{"sigma", 2.5}}, {}});
  return Results;
}

TEST(ResultsCsvTest, AwkwardTextAndNumbersReadBackExactly) {
  const TResultTable Table = AwkwardTable();
  std::ostringstream Out;
  WriteCsv(Table, Out);
  const std::string Text = Out.str();
  EXPECT_EQ(Text.substr(0, 17), "term,estimate,n\r\n");
  EXPECT_EQ(Text.substr(Text.size() - 2), "\r\n");

  const auto Rows = CsvRows(Text);
  ASSERT_EQ(Rows.size(), Table.Rows.size() + 1);
  for (const auto& Row : Rows) ASSERT_EQ(Row.size(), 3u);
  for (std::size_t i = 0; i < std::size(kAwkwardNumbers); ++i) {
    const auto& Row = Rows[i + 1];
    EXPECT_EQ(Row[0], i < std::size(kAwkwardTexts) ? kAwkwardTexts[i] : "plain");
    EXPECT_EQ(Bits(std::strtod(Row[1].c_str(), nullptr)), Bits(kAwkwardNumbers[i])) << Row[1];
    EXPECT_EQ(Row[2], std::to_string(static_cast<long long>(i) - 2));
  }
  EXPECT_EQ(Rows[1][1], "83.1");
  EXPECT_EQ(Rows[2][1], "0.30000000000000004");
  EXPECT_EQ(Rows[7], (std::vector<std::string>{"", "", ""}));
  EXPECT_EQ(Rows[8], (std::vector<std::string>{"inf", "", "0"}));
}

TEST(ResultsCsvTest, OneColumnRowOfNothingIsNotABlankLine) {
  std::ostringstream Out;
  WriteCsv({"t", "", {"only"}, {{std::monostate{}}, {1.5}}, {}}, Out);
  EXPECT_EQ(Out.str(), "only\r\n\"\"\r\n1.5\r\n");
}

TEST(ResultsJsonTest, MetaThenTablesInColumnOrderWithSameDoubles) {
  TResults Results = AwkwardResults();
  Results.Tables[0].Rows[0][0] = std::string("bad \xff utf-8");
  std::ostringstream Out;
  WriteJson(Results, Out);
  ASSERT_EQ(Out.str().back(), '\n');
  const auto Json = nlohmann::ordered_json::parse(Out.str());

  std::vector<std::string> Keys;
  for (const auto& Item : Json.items()) Keys.push_back(Item.key());
  EXPECT_EQ(Keys, (std::vector<std::string>{"meta", "coefficients", "fit"}));
  const auto& Meta = Json["meta"];
  EXPECT_EQ(Meta["command"], "regress");
  EXPECT_EQ(Meta["file"], "data.csv");
  EXPECT_EQ(Meta["n"], 42);
  EXPECT_EQ(Meta["k"], 2);
  EXPECT_EQ(Meta["level"], 0.95);
  EXPECT_EQ(Meta["response"], "y");
  EXPECT_EQ(Meta["predictors"], (std::vector<std::string>{"x1", "x2"}));
  EXPECT_EQ(Meta["version"], "1.2.3");

  const auto& Rows = Json["coefficients"];
  ASSERT_EQ(Rows.size(), Results.Tables[0].Rows.size());
  for (const auto& Row : Rows) {
    std::vector<std::string> Columns;
    for (const auto& Item : Row.items()) Columns.push_back(Item.key());
    EXPECT_EQ(Columns, Results.Tables[0].Columns);
  }
  for (std::size_t i = 0; i < std::size(kAwkwardNumbers); ++i) {
    EXPECT_EQ(Bits(Rows[i]["estimate"].get<double>()), Bits(kAwkwardNumbers[i]));
  }
  EXPECT_EQ(Rows[0]["term"], "bad \xef\xbf\xbd utf-8");
  EXPECT_EQ(Rows[1]["term"], "say \"hi\"");
  EXPECT_EQ(Rows[6]["term"], nullptr);
  EXPECT_EQ(Rows[6]["estimate"], nullptr);
  EXPECT_EQ(Rows[7]["estimate"], nullptr);
  EXPECT_TRUE(Rows[7]["n"].is_number_integer());
  EXPECT_EQ(Json["fit"][0]["value"], 2.5);

  Results.Meta.Level = kNaN;
  std::ostringstream NoLevel;
  WriteJson(Results, NoLevel);
  EXPECT_EQ(nlohmann::json::parse(NoLevel.str())["meta"]["level"], nullptr);
}

// Each number is the shortest text that reads back to its double (nlohmann
// wrote 0.038974589436595423 for the first), a whole number keeps its ".0",
// a count stays an integer; an empty response is null. The layout is
// dump(2)'s, empty arrays included.
TEST(ResultsJsonTest, ShortestNumbersInTheUsualLayout) {
  TResults Results;
  Results.Meta = {"cluster", "d.csv", 3, 1, 0, kNaN, "", {}, "1.0", true, {}, {}};
  Results.Tables.push_back({"t", "", {"p", "observed", "n", "big", "none"},
                            {{0.038974589436595423, 32531.0, 7LL, 1e22, std::monostate{}}}, {}});
  Results.Tables.push_back({"empty", "", {"a"}, {}, {}});
  std::ostringstream Out;
  WriteJson(Results, Out);
  EXPECT_EQ(Out.str(),
            "{\n  \"meta\": {\n    \"command\": \"cluster\",\n    \"file\": \"d.csv\",\n    \"n\": 3,\n"
            "    \"dropped\": 0,\n    \"k\": 1,\n    \"level\": null,\n    \"response\": null,\n"
            "    \"predictors\": [],\n    \"scaled\": true,\n    \"version\": \"1.0\"\n  },\n"
            "  \"t\": [\n    {\n      \"p\": 0.03897458943659542,\n      \"observed\": 32531.0,\n"
            "      \"n\": 7,\n      \"big\": 1e+22,\n      \"none\": null\n    }\n  ],\n"
            "  \"empty\": []\n}\n");
}

// A JSON object keeps one of two equal keys, so the writer refuses rather
// than drop a column or a table.
TEST(ResultsJsonTest, EqualNamesAreRefusedBeforeWriting) {
  TResults Results = AwkwardResults();
  Results.Tables[1].Columns = {"value", "value"};
  std::ostringstream Out;
  EXPECT_THROW(WriteJson(Results, Out), TInputError);
  Results.Tables[1].Columns = {"statistic", "value"};
  Results.Tables[1].Name = "meta";
  EXPECT_THROW(WriteJson(Results, Out), TInputError);
  EXPECT_EQ(Out.str(), "");
}

TEST(ResultsTest, RowOfTheWrongLengthIsRefusedBeforeWriting) {
  TResults Results = AwkwardResults();
  Results.Tables[1].Rows.push_back({"short"});
  std::ostringstream Out;
  EXPECT_THROW(WriteCsv(Results.Tables[1], Out), std::logic_error);
  EXPECT_THROW(WriteJson(Results, Out), std::logic_error);
  EXPECT_THROW(WriteText(Results, Out, false), std::logic_error);
  EXPECT_EQ(Out.str(), "");
}

TEST(ResultsTest, FindTableByNameOrTheMainOne) {
  const TResults Results = AwkwardResults();
  EXPECT_EQ(&FindTable(Results, ""), &Results.Tables[0]);
  EXPECT_EQ(&FindTable(Results, "fit"), &Results.Tables[1]);
  try {
    FindTable(Results, "anova");
    FAIL() << "no exception";
  } catch (const TInputError& Error) {
    const std::string Message = Error.what();
    EXPECT_NE(Message.find("anova"), std::string::npos) << Message;
    EXPECT_NE(Message.find("coefficients, fit"), std::string::npos) << Message;
  }
  EXPECT_THROW(FindTable(TResults{}, ""), TInputError);
}

TEST(ResultsTextTest, AlignedTablesWithNotes) {
  TResults Results;
  Results.Tables.push_back({"coefficients", "Coefficients", {"term", "estimate", "p.value", "n"},
                            {{"(Intercept)", 83.1, 1e-20, 12LL},
                             {"x\x1b", 1234.56789, 0.0123456, std::monostate{}},
                             {std::monostate{}, -1.721e-05, kNaN, 3LL}},
                            {"Fit by \x93least squares\x94.\r\nSecond line"}});
  Results.Tables.push_back({"fit", "Fit", {"statistic", "value"}, {{"sigma", 2.5}}, {}});
  std::ostringstream Out;
  WriteText(Results, Out, false);
  EXPECT_EQ(Out.str(),
            "Coefficients\n"
            "term           estimate    p.value   n\n"
            "(Intercept)        83.1  < 2.2e-16  12\n"
            "x\\x1b          1234.568    0.01235  NA\n"
            "NA           -1.721e-05         NA   3\n"
            "Fit by \xe2\x80\x9cleast squares\xe2\x80\x9d.\nSecond line\n"
            "\n"
            "Fit\n"
            "statistic  value\n"
            "sigma        2.5\n"
            "\n");

  std::ostringstream Raw;
  WriteText(Results, Raw, true);
  EXPECT_NE(Raw.str().find("3\nFit by \x93least squares\x94.\r\nSecond line\r\n\n"), std::string::npos);
}

// A table large enough to be formatted in parts: every line as one table
// of its own would lay it out, with the widths of the whole table (the
// widest cells sit in the last rows), whatever part a row fell into.
TEST(ResultsTextTest, LargeTableLaidOutAsOne) {
  constexpr int kRows = 40000;
  TResults Results;
  Results.Tables.push_back({"t", "", {"row", "name", "value"}, {}, {}});
  auto& Rows = Results.Tables[0].Rows;
  for (int i = 1; i <= kRows; ++i) {
    const TCell Value = i % 5 == 0 ? TCell{} : TCell{i * 0.5};
    Rows.push_back({static_cast<long long>(i), std::string(static_cast<std::size_t>(i % 7), 'x') + "\xc3\x9f", Value});
  }
  std::ostringstream Out;
  WriteText(Results, Out, false);
  std::istringstream Lines(Out.str());
  std::string Line;
  std::getline(Lines, Line);
  EXPECT_EQ(Line, "  row  name       value");
  for (int i = 1; i <= kRows; ++i) {
    ASSERT_TRUE(std::getline(Lines, Line));
    char Expected[64];
    const std::string Name = std::string(static_cast<std::size_t>(i % 7), 'x') + "\xc3\x9f";
    const std::string Value = i % 5 == 0 ? "NA" : std::to_string(i / 2) + (i % 2 ? ".5" : "");
    std::snprintf(Expected, sizeof Expected, "%5d  %s%*s  %7s", i, Name.c_str(), 6 - i % 7, "", Value.c_str());
    ASSERT_EQ(Line, Expected) << "row " << i;
  }
  std::getline(Lines, Line);
  EXPECT_EQ(Line, "");
  EXPECT_FALSE(std::getline(Lines, Line));
}

}  // namespace
}  // namespace varnel::cli

namespace varnel::cli {
namespace {

// A stream of rows in parts writes as the table of the same rows: its CSV
// and JSON byte for byte; its text with the widths its parts need.
TEST(ResultsStreamTest, WrittenAsTheTableOfItsRows) {
  const std::vector<std::vector<double>> Parts = {{1, 0.5, kNaN, 2, 1e-300, 3}, {}, {3, -2.25, 7, 12345678, 6.5, 1}};
  TRowStream Stream{"observations", "Rows", {"row", "value", "p.value"}, {true, false, false}, {}};
  Stream.Produce = [&Parts](const TRowStream::TPart& Part) {
    for (const auto& Cells : Parts) Part(Cells);
  };
  TResultTable Table{"observations", "Rows", Stream.Columns, {}, {}};
  for (const auto& Cells : Parts) {
    for (std::size_t i = 0; i < Cells.size(); i += 3) {
      Table.Rows.push_back({static_cast<long long>(Cells[i]), Cells[i + 1],
                            std::isnan(Cells[i + 2]) ? TCell{} : TCell{Cells[i + 2]}});
    }
  }
  std::ostringstream StreamCsv, TableCsv, StreamJson, TableJson, StreamText;
  WriteCsv(Stream, StreamCsv);
  WriteCsv(Table, TableCsv);
  EXPECT_EQ(StreamCsv.str(), TableCsv.str());
  TResults Streamed{{}, {AwkwardTable()}, Stream}, Held{{}, {AwkwardTable(), Table}, std::nullopt};
  WriteJson(Streamed, StreamJson);
  WriteJson(Held, TableJson);
  EXPECT_EQ(StreamJson.str(), TableJson.str());
  // The first part sets the widths; a wider cell later widens its column.
  WriteText(TResults{{}, {}, Stream}, StreamText, false);
  EXPECT_EQ(StreamText.str(),
            "Rows\n"
            "row   value  p.value\n"
            "  1     0.5       NA\n"
            "  2  1e-300        3\n"
            "       3   -2.25        7\n"
            "12345678     6.5        1\n"
            "\n");
}

TEST(ResultsStreamTest, KeepOnlyTheStreamOrATable) {
  TRowStream Stream{"scores", "", {"row"}, {true}, [](const TRowStream::TPart&) {}};
  TResults Results{{}, {AwkwardTable()}, Stream};
  KeepOnly(Results, "scores");
  EXPECT_TRUE(Results.Tables.empty());
  ASSERT_TRUE(Results.Stream);
  Results = {{}, {AwkwardTable()}, Stream};
  KeepOnly(Results, "");
  EXPECT_EQ(Results.Tables.size(), 1U);
  EXPECT_FALSE(Results.Stream);
  Results = {{}, {}, Stream};
  KeepOnly(Results, "");
  EXPECT_TRUE(Results.Stream);
  try {
    KeepOnly(Results, "loadings");
    FAIL() << "no such table";
  } catch (const TInputError& Error) {
    EXPECT_NE(std::string(Error.what()).find("the tables are scores"), std::string::npos) << Error.what();
  }
}

}  // namespace
}  // namespace varnel::cli
