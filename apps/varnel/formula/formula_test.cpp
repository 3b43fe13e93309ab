// SPDX-License-Identifier: Apache-2.0
// Formulas expanded into terms and model-matrix columns, compared with the
// labels and column names R gives for the same formulas on the same data:
// attr(terms(f, data = d), "term.labels") and colnames(model.matrix(f, d)).
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "csv_table.h"
#include "formula/design.h"
#include "formula/expression.h"
#include "formula/terms.h"

namespace varnel::cli::formula {
namespace {

using TNames = std::vector<std::string>;

// R's d: y, x, x1..x4 numbers, a a factor of p, q, r, b one of u, v, and
// a column with a blank in its name.
const TNames kColumns = {"y", "x", "x1", "x2", "x3", "x4", "a", "b", "my col"};

std::vector<TSourceColumn> Sources(const std::vector<std::string>& ALevels = {"p", "q", "r"}) {
  std::vector<TSourceColumn> Columns;
  for (const std::string& Name : kColumns) Columns.push_back({Name, {}});
  Columns[6].Levels = ALevels;
  Columns[7].Levels = {"u", "v"};
  return Columns;
}

TDesign DesignOf(const std::string& Formula, const std::vector<std::string>& ALevels = {"p", "q", "r"}) {
  return TDesign(ExpandTerms(Formula, kColumns), Sources(ALevels));
}

// R's names with "(Intercept)" left out, as the tables add the constant.
void ExpectDesign(const std::string& Formula, const TNames& Labels, const TNames& Columns, bool Intercept = true,
                  const std::vector<std::string>& ALevels = {"p", "q", "r"}) {
  const TDesign Design = DesignOf(Formula, ALevels);
  EXPECT_EQ(Design.TermLabels(), Labels) << Formula;
  EXPECT_EQ(Design.ColumnNames(), Columns) << Formula;
  EXPECT_EQ(Design.Intercept(), Intercept) << Formula;
}

TEST(FormulaTerms, ExpandAsR) {
  ExpectDesign("y ~ I(x*2) + log(x1)", {"I(x * 2)", "log(x1)"}, {"I(x * 2)", "log(x1)"});
  ExpectDesign("y ~ x2*x3", {"x2", "x3", "x2:x3"}, {"x2", "x3", "x2:x3"});
  ExpectDesign("y ~ (x+x1+x2)^2 - x:x1", {"x", "x1", "x2", "x:x2", "x1:x2"}, {"x", "x1", "x2", "x:x2", "x1:x2"});
  ExpectDesign("y ~ x:x + x", {"x"}, {"x"});
  ExpectDesign("y ~ x - 1", {"x"}, {"x"}, false);
  ExpectDesign("y ~ 0 + x", {"x"}, {"x"}, false);
  ExpectDesign("y ~ x/a", {"x", "x:a"}, {"x", "x:aq", "x:ar"});
  ExpectDesign("y ~ x %in% a", {"x:a"}, {"x:ap", "x:aq", "x:ar"});
  ExpectDesign("y ~ exp(x) + sqrt(x1) + abs(x2) + log2(x) + log10(x1) + log(x+1)",
               {"exp(x)", "sqrt(x1)", "abs(x2)", "log2(x)", "log10(x1)", "log(x + 1)"},
               {"exp(x)", "sqrt(x1)", "abs(x2)", "log2(x)", "log10(x1)", "log(x + 1)"});
}

TEST(FormulaTerms, DeparseAsR) {
  const TNames Labels = {"I(x^2)", "I(x/2)", "I(-x)", "I(2^-x)", "I((x + 1)^2)", "I(x * 1e+05)", "I(x * 0.001)",
                         "I(1e-10 * x)"};
  ExpectDesign("y ~ I(x^2) + I(x/2) + I(-x) + I(2^-x) + I((x+1)^2) + I(x*100000) + I(x*0.001) + I(1e-10*x) - 1", Labels,
               Labels, false);
  ExpectDesign("y ~ `my col` + a:`my col`", {"`my col`", "`my col`:a"}, {"`my col`", "`my col`:aq", "`my col`:ar"});
}

TEST(FormulaTerms, DotStandsForTheOtherColumns) {
  const TDesign Design = DesignOf("log(y) ~ . - `my col`");
  EXPECT_EQ(Design.ResponseLabel(), "log(y)");
  EXPECT_EQ(Design.TermLabels(), (TNames{"x", "x1", "x2", "x3", "x4", "a", "b"}));
  EXPECT_EQ(Design.ColumnNames(), (TNames{"x", "x1", "x2", "x3", "x4", "aq", "ar", "bv"}));
}

// A factor is coded by contrasts where the term without it comes before,
// else by indicators of every level; without the constant the first
// factor takes every level.
TEST(FormulaTerms, FactorCodingAsR) {
  ExpectDesign("y ~ a - 1", {"a"}, {"ap", "aq", "ar"}, false);
  ExpectDesign("y ~ a + b - 1", {"a", "b"}, {"ap", "aq", "ar", "bv"}, false);
  ExpectDesign("y ~ x + a:b", {"x", "a:b"}, {"x", "ap:bu", "aq:bu", "ar:bu", "ap:bv", "aq:bv", "ar:bv"});
  ExpectDesign("y ~ a + a:b", {"a", "a:b"}, {"aq", "ar", "ap:bv", "aq:bv", "ar:bv"});
  ExpectDesign("y ~ b:a + a", {"a", "b:a"}, {"aq", "ar", "bv:ap", "bv:aq", "bv:ar"});
  ExpectDesign("y ~ b:a - 1", {"b:a"}, {"bu:ap", "bv:ap", "bu:aq", "bv:aq", "bu:ar", "bv:ar"}, false);
  ExpectDesign("y ~ a:x", {"a:x"}, {"ap:x", "aq:x", "ar:x"});
  ExpectDesign("y ~ x:a + x", {"x", "x:a"}, {"x", "x:aq", "x:ar"});
  ExpectDesign("y ~ x*a - x", {"a", "x:a"}, {"aq", "ar", "x:ap", "x:aq", "x:ar"});
  ExpectDesign("y ~ x3 + a*b", {"x3", "a", "b", "a:b"}, {"x3", "aq", "ar", "bv", "aq:bv", "ar:bv"});
  ExpectDesign("y ~ (a + b + x)^3 - a:b:x", {"a", "b", "x", "a:b", "a:x", "b:x"},
               {"aq", "ar", "bv", "x", "aq:bv", "ar:bv", "aq:x", "ar:x", "bv:x"});
  ExpectDesign("y ~ -1 + x + a", {"x", "a"}, {"x", "ap", "aq", "ar"}, false);
  // relevel(a, "r"): the levels r, p, q.
  ExpectDesign("y ~ a*x", {"a", "x", "a:x"}, {"ap", "aq", "x", "ap:x", "aq:x"}, true, {"r", "p", "q"});
}

TEST(FormulaTerms, PolyRawPowers) {
  ExpectDesign("y ~ poly(x, 2, raw = TRUE) + a", {"poly(x, 2, raw = TRUE)", "a"},
               {"poly(x, 2, raw = TRUE)1", "poly(x, 2, raw = TRUE)2", "aq", "ar"});
  ExpectDesign("y ~ poly(x, 2, raw = TRUE):a", {"poly(x, 2, raw = TRUE):a"},
               {"poly(x, 2, raw = TRUE)1:ap", "poly(x, 2, raw = TRUE)2:ap", "poly(x, 2, raw = TRUE)1:aq",
                "poly(x, 2, raw = TRUE)2:aq", "poly(x, 2, raw = TRUE)1:ar", "poly(x, 2, raw = TRUE)2:ar"});
  ExpectDesign("y ~ x + I(x^2):a + poly(x1, 3, raw = TRUE)", {"x", "poly(x1, 3, raw = TRUE)", "I(x^2):a"},
               {"x", "poly(x1, 3, raw = TRUE)1", "poly(x1, 3, raw = TRUE)2", "poly(x1, 3, raw = TRUE)3", "I(x^2):ap",
                "I(x^2):aq", "I(x^2):ar"});
}

// Row 5 of R's d: model.matrix(y ~ log(x1) + x2:x3 + a:x + I(x^2/2) +
// poly(x, 2, raw = TRUE), d)[5, ], to 17 digits.
TEST(FormulaDesign, EvaluatesARowAsR) {
  const TDesign Design = DesignOf("y ~ log(x1) + x2:x3 + a:x + I(x^2/2) + poly(x, 2, raw = TRUE)");
  EXPECT_EQ(Design.ColumnNames(), (TNames{"log(x1)", "I(x^2/2)", "poly(x, 2, raw = TRUE)1", "poly(x, 2, raw = TRUE)2",
                                          "x2:x3", "ap:x", "aq:x", "ar:x"}));
  const std::vector<double> Raw = {5.5, 5 / 3.0, std::pow(5, 1.5), std::sin(5), std::cos(5), 3.5, 1, 0, 0};
  std::vector<double> Row(8);
  EXPECT_EQ(Design.Evaluate(Raw, Row), 5.5);
  const double R[] = {2.41415686865115076, 1.38888888888888906, 1.66666666666666674, 2.77777777777777812,
                      -0.27201055544468489, 0, 1.66666666666666674, 0};
  for (std::size_t j = 0; j < Row.size(); ++j) EXPECT_NEAR(Row[j], R[j], 1e-15 * std::fabs(R[j])) << j;
}

TEST(FormulaDesign, ValuesOutOfDomainNameTheTerm) {
  const TDesign Design = DesignOf("log(y) ~ sqrt(x) + I(x1/x2)");
  std::vector<double> Row(2);
  const auto Failure = [&](std::vector<double> Raw) -> std::string {
    try {
      Design.Evaluate(Raw, Row);
    } catch (const TEvaluationError& Error) {
      return Error.Label + ": " + Error.what();
    }
    return "no error";
  };
  EXPECT_EQ(Failure({-1, 1, 1, 1, 0, 0, 0, 0, 0}), "the response log(y): log of the negative value -1 is not a number");
  EXPECT_EQ(Failure({1, -2.5, 1, 1, 0, 0, 0, 0, 0}), "sqrt(x): sqrt of the negative value -2.5 is not a number");
  EXPECT_EQ(Failure({1, 1, 1, 0, 0, 0, 0, 0, 0}), "I(x1/x2): x1/x2 divides by zero");
  EXPECT_EQ(Failure({0, 1, 1, 1, 0, 0, 0, 0, 0}), "the response log(y): log of zero is -Inf");
}

TEST(FormulaErrors, NamePositionAndReason) {
  const auto Message = [](const std::string& Formula) -> std::string {
    try {
      DesignOf(Formula);
    } catch (const TInputError& Error) {
      return Error.what();
    }
    return "no error";
  };
  EXPECT_EQ(Message("y ~ x +"), "--formula \"y ~ x +\": character 8: the formula ends where a term is expected");
  EXPECT_EQ(Message("y x"), "--formula \"y x\": character 3: expected + - * / ^ : or ~ here");
  EXPECT_EQ(Message("y ~ log(x"), "--formula \"y ~ log(x\": character 10: expected , or ) here");
  EXPECT_EQ(Message("y ~ (x + x1)^1.5"), "--formula \"y ~ (x + x1)^1.5\": character 14: the power of terms is a whole "
                                         "number from 1 (I() makes ^ arithmetic)");
  EXPECT_EQ(Message("y ~ x + 2"), "--formula \"y ~ x + 2\": character 9: a number as a term is 0 or 1 (the constant); "
                                  "I(2) is the number");
  EXPECT_EQ(Message("y ~ log(a)"), "--formula \"y ~ log(a)\": log(a): \"a\" is a factor, not a number to compute with");
  EXPECT_EQ(Message("y ~ poly(x, 2)"), "--formula \"y ~ poly(x, 2)\": poly(x, 2): poly() gives raw powers only: write "
                                       "poly(x, d, raw = TRUE)");
  EXPECT_EQ(Message("y ~ cos(x)"), "--formula \"y ~ cos(x)\": cos(x): unknown function cos(); the functions are log, "
                                   "log2, log10, exp, sqrt, abs, I and poly(x, d, raw = TRUE)");
  EXPECT_EQ(Message("y ~ y + x"), "--formula: the response y is also among the terms");
  EXPECT_EQ(Message("y ~ 1"), "--formula \"y ~ 1\" has no term but the constant");
}

}  // namespace
}  // namespace varnel::cli::formula
