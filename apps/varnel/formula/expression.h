// SPDX-License-Identifier: Apache-2.0
// A model formula's text as an expression tree, and the tree written back
// as R deparses it, which is how terms and coefficients are named.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace varnel::cli::formula {

enum class TNode : std::uint8_t { Number, Name, Dot, Call, Unary, Binary, Paren };

struct TExpression {
  TNode Kind = TNode::Number;
  // Number: the number as deparsed; Name: the name; Call: the function;
  // Unary, Binary: the operator ("+", "-", "*", "/", "^", ":", "~").
  std::string Text;
  double Value = 0;                    // a Number's value
  bool Quoted = false;                 // a Name written in backquotes
  std::vector<TExpression> Operands;   // a call's arguments; an operator's operands; Paren's one
  std::vector<std::string> ArgNames;   // a call's argument names ("" when positional)
  std::size_t Position = 0;            // where it begins in the text, from 0
  int Column = -1;                     // a Name's data column, once bound to the data
};

// "y ~ rhs" as the response and the right side. A text that does not parse
// raises TInputError naming the character (from 1) where it goes wrong.
struct TFormulaText {
  TExpression Response, Right;
};
TFormulaText ParseFormula(const std::string& Text);

// As R's deparse: "x * 2", "x^2", "x/2", "-x", "f(a, raw = TRUE)", names
// that are not syntactic in backquotes, numbers with up to 15 digits.
std::string Deparse(const TExpression& Expression);
// A number as R deparses it: 2, 0.5, 1e+05, 1e-10.
std::string DeparseNumber(double Value);
// A column name as R writes it in a formula: in backquotes unless it is a
// syntactic name.
std::string DeparseName(const std::string& Name);

}  // namespace varnel::cli::formula
