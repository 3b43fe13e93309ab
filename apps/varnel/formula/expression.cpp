// SPDX-License-Identifier: Apache-2.0
#include "formula/expression.h"

#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "csv_table.h"

namespace varnel::cli::formula {
namespace {

bool NameStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '.' || static_cast<unsigned char>(c) >= 0x80; }
bool NameChar(char c) { return NameStart(c) || std::isdigit(static_cast<unsigned char>(c)) || c == '_'; }

bool Reserved(const std::string& Name) {
  static const std::array<const char*, 19> Words = {"if", "else", "repeat", "while", "function", "for", "next",
                                                    "break", "TRUE", "FALSE", "NULL", "Inf", "NaN", "NA", "NA_integer_",
                                                    "NA_real_", "NA_character_", "in", "..."};
  for (const char* Word : Words) {
    if (Name == Word) return true;
  }
  return false;
}

bool Syntactic(const std::string& Name) {
  if (Name.empty() || !NameStart(Name[0])) return false;
  if (Name[0] == '.' && Name.size() > 1 && std::isdigit(static_cast<unsigned char>(Name[1]))) return false;
  for (char c : Name) {
    if (!NameChar(c)) return false;
  }
  return !Reserved(Name);
}

// Recursive descent with R's precedence, lowest first: ~, + -, * /, :,
// unary - +, ^ (right to left, its exponent may carry a sign).
class TParser {
 public:
  explicit TParser(const std::string& Text) : FText(Text) {}

  TFormulaText Formula() {
    Skip();
    if (Peek() == '~') Fail("the formula has no response: write it as y ~ terms");
    TFormulaText Parsed;
    Parsed.Response = Sum();
    if (!Take('~')) Fail(AtEnd() ? "a formula is y ~ terms: the ~ is missing" : "expected + - * / ^ : or ~ here");
    Parsed.Right = Sum();
    if (!AtEnd()) Fail(Peek() == '~' ? "a formula has one ~" : "expected + - * / ^ or : here");
    return Parsed;
  }

 private:
  const std::string& FText;
  std::size_t FAt = 0;

  [[noreturn]] void Fail(const std::string& Why) const {
    throw TInputError("--formula \"" + FText + "\": character " + std::to_string(FAt + 1) + ": " + Why);
  }
  void Skip() {
    while (FAt < FText.size() && std::isspace(static_cast<unsigned char>(FText[FAt]))) ++FAt;
  }
  bool AtEnd() const { return FAt >= FText.size(); }
  char Peek() const { return AtEnd() ? '\0' : FText[FAt]; }
  bool Take(char c) {
    if (Peek() != c) return false;
    ++FAt;
    Skip();
    return true;
  }

  static TExpression Binary(const std::string& Op, TExpression Left, TExpression Right) {
    TExpression Node;
    Node.Kind = TNode::Binary;
    Node.Text = Op;
    Node.Position = Left.Position;
    Node.Operands.push_back(std::move(Left));
    Node.Operands.push_back(std::move(Right));
    return Node;
  }

  TExpression Sum() {
    TExpression Left = Product();
    while (Peek() == '+' || Peek() == '-') {
      const std::string Op(1, Peek());
      Take(Peek());
      Left = Binary(Op, std::move(Left), Product());
    }
    return Left;
  }
  TExpression Product() {
    TExpression Left = Colon();
    while (Peek() == '*' || Peek() == '/' || Peek() == '%') {
      std::string Op(1, Peek());
      if (Op == "%") {
        if (FText.compare(FAt, 4, "%in%") != 0) Fail("the one %-operator of a formula is %in%");
        Op = "%in%";
        FAt += 3;
      }
      Take(FText[FAt]);
      Left = Binary(Op, std::move(Left), Colon());
    }
    return Left;
  }
  TExpression Colon() {
    TExpression Left = Signed();
    while (Peek() == ':') {
      Take(':');
      Left = Binary(":", std::move(Left), Signed());
    }
    return Left;
  }
  TExpression Signed() {
    if (Peek() != '-' && Peek() != '+') return Power();
    TExpression Node;
    Node.Kind = TNode::Unary;
    Node.Text = std::string(1, Peek());
    Node.Position = FAt;
    Take(Peek());
    Node.Operands.push_back(Signed());
    return Node;
  }
  TExpression Power() {
    TExpression Base = Primary();
    if (Peek() != '^') return Base;
    Take('^');
    return Binary("^", std::move(Base), Signed());
  }

  TExpression Primary() {
    TExpression Node;
    Node.Position = FAt;
    const char c = Peek();
    if (AtEnd()) Fail("the formula ends where a term is expected");
    if (c == '(') {
      Take('(');
      Node.Kind = TNode::Paren;
      Node.Operands.push_back(Sum());
      if (!Take(')')) Fail("expected ) here");
      return Node;
    }
    if (std::isdigit(static_cast<unsigned char>(c)) || (c == '.' && FAt + 1 < FText.size() &&
                                                        std::isdigit(static_cast<unsigned char>(FText[FAt + 1])))) {
      return Number();
    }
    if (c == '`') return QuotedName();
    if (!NameStart(c)) Fail(std::string("'") + c + "' cannot begin a term");
    const std::size_t Begin = FAt;
    while (FAt < FText.size() && NameChar(FText[FAt])) ++FAt;
    Node.Text = FText.substr(Begin, FAt - Begin);
    Skip();
    if (Node.Text == ".") {
      Node.Kind = TNode::Dot;
      return Node;
    }
    Node.Kind = TNode::Name;
    if (Peek() == '(') return Call(std::move(Node));
    return Node;
  }

  TExpression Number() {
    TExpression Node;
    Node.Kind = TNode::Number;
    Node.Position = FAt;
    const char* const Begin = FText.data() + FAt;
    const auto [End, Error] = std::from_chars(Begin, FText.data() + FText.size(), Node.Value);
    if (Error != std::errc() || !std::isfinite(Node.Value)) Fail("not a number");
    FAt += static_cast<std::size_t>(End - Begin);
    if (FAt < FText.size() && NameChar(FText[FAt])) Fail("a number runs into a name");
    Node.Text = DeparseNumber(Node.Value);
    Skip();
    return Node;
  }

  TExpression QuotedName() {
    TExpression Node;
    Node.Kind = TNode::Name;
    Node.Quoted = true;
    Node.Position = FAt;
    const std::size_t Close = FText.find('`', FAt + 1);
    if (Close == std::string::npos) Fail("the backquote is not closed");
    Node.Text = FText.substr(FAt + 1, Close - FAt - 1);
    if (Node.Text.empty()) Fail("an empty name");
    FAt = Close + 1;
    Skip();
    return Node;
  }

  // f(a, b, name = c)
  TExpression Call(TExpression Node) {
    Node.Kind = TNode::Call;
    Take('(');
    while (Peek() != ')') {
      std::string ArgName;
      const std::size_t Mark = FAt;
      if (NameStart(Peek())) {
        std::size_t End = FAt;
        while (End < FText.size() && NameChar(FText[End])) ++End;
        std::size_t After = End;
        while (After < FText.size() && std::isspace(static_cast<unsigned char>(FText[After]))) ++After;
        if (After < FText.size() && FText[After] == '=' && (After + 1 >= FText.size() || FText[After + 1] != '=')) {
          ArgName = FText.substr(Mark, End - Mark);
          FAt = After + 1;
          Skip();
        }
      }
      Node.ArgNames.push_back(ArgName);
      Node.Operands.push_back(Sum());
      if (Peek() == ')') break;
      if (!Take(',')) Fail("expected , or ) here");
    }
    Take(')');
    return Node;
  }
};

}  // namespace

TFormulaText ParseFormula(const std::string& Text) { return TParser(Text).Formula(); }

std::string DeparseNumber(double Value) {
  // R's choice: the fewest significant digits (at most 15) that give the
  // value back at 15, in fixed notation unless scientific is shorter.
  if (Value == 0) return "0";
  char Buffer[64];
  int Digits = 1;
  for (; Digits < 15; ++Digits) {
    std::snprintf(Buffer, sizeof Buffer, "%.*e", Digits - 1, Value);
    char Full[64];
    std::snprintf(Full, sizeof Full, "%.14e", Value);
    if (std::strtod(Buffer, nullptr) == std::strtod(Full, nullptr)) break;
  }
  std::snprintf(Buffer, sizeof Buffer, "%.*e", Digits - 1, Value);
  const int Exponent = static_cast<int>(std::floor(std::log10(std::fabs(std::strtod(Buffer, nullptr)))));
  const int Sign = Value < 0 ? 1 : 0;
  const int FixedWidth = Sign + (Exponent >= 0 ? std::max(Digits, Exponent + 1) + (Digits > Exponent + 1 ? 1 : 0)
                                               : 2 + (-Exponent - 1) + Digits);
  const int SciWidth = Sign + Digits + (Digits > 1 ? 1 : 0) + (std::abs(Exponent) >= 100 ? 5 : 4);
  if (FixedWidth <= SciWidth) {
    std::snprintf(Buffer, sizeof Buffer, "%.*f", std::max(0, Digits - 1 - Exponent), Value);
    return Buffer;
  }
  std::snprintf(Buffer, sizeof Buffer, "%.*e", Digits - 1, Value);
  std::string Text = Buffer;  // 1e+05: C's two-digit exponent is R's
  return Text;
}

std::string DeparseName(const std::string& Name) { return Syntactic(Name) ? Name : "`" + Name + "`"; }

std::string Deparse(const TExpression& E) {
  switch (E.Kind) {
    case TNode::Number:
      return E.Text;
    case TNode::Name:
      return E.Quoted ? DeparseName(E.Text) : E.Text;
    case TNode::Dot:
      return ".";
    case TNode::Paren:
      return "(" + Deparse(E.Operands[0]) + ")";
    case TNode::Unary:
      return E.Text + Deparse(E.Operands[0]);
    case TNode::Binary: {
      const bool Tight = E.Text == "^" || E.Text == ":" || E.Text == "/";
      const std::string Op = Tight ? E.Text : " " + E.Text + " ";
      return Deparse(E.Operands[0]) + Op + Deparse(E.Operands[1]);
    }
    case TNode::Call: {
      std::string Text = E.Text + "(";
      for (std::size_t a = 0; a < E.Operands.size(); ++a) {
        if (a) Text += ", ";
        if (!E.ArgNames[a].empty()) Text += E.ArgNames[a] + " = ";
        Text += Deparse(E.Operands[a]);
      }
      return Text + ")";
    }
  }
  return {};
}

}  // namespace varnel::cli::formula
