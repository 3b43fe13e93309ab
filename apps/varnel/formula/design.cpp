// SPDX-License-Identifier: Apache-2.0
#include "formula/design.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "csv_table.h"
#include "output.h"

namespace varnel::cli::formula {
namespace {

const char* const kFunctions[] = {"log", "log2", "log10", "exp", "sqrt", "abs", "I"};

bool Known(const std::string& Function) {
  return std::find(std::begin(kFunctions), std::end(kFunctions), Function) != std::end(kFunctions);
}

// x^y as R computes it: a square as a product, the rest by pow.
double Power(double x, double y) { return y == 2 ? x * x : std::pow(x, y); }

// Whether Part is a subset of Whole (both increasing).
bool Within(const std::vector<int>& Part, const std::vector<int>& Whole) {
  return std::includes(Whole.begin(), Whole.end(), Part.begin(), Part.end());
}

}  // namespace

std::string EvaluationRefusal(const std::string& Source, long long Row, const TEvaluationError& Error) {
  const bool Response = Error.Label.rfind("the response ", 0) == 0;
  return Source + ": data row " + std::to_string(Row) + ": " +
         (Response ? Error.Label : "the term " + Quoted(Error.Label)) + " cannot be computed: " + Error.what();
}

TDesign::TDesign(TModelTerms Model, std::vector<TSourceColumn> Columns)
    : FModel(std::move(Model)), FColumns(std::move(Columns)) {
  for (std::size_t v = 0; v < FModel.Variables.size(); ++v)
    FLabels.push_back(v == 0 ? "the response " + FModel.Variables[v].Label : FModel.Variables[v].Label);
  Classify();
  Lay();
}

std::vector<std::string> TDesign::TermLabels() const {
  std::vector<std::string> Labels;
  for (const TTerm& Term : FModel.Terms) Labels.push_back(Term.Label);
  return Labels;
}

std::vector<std::vector<int>> TDesign::TermVariables() const {
  std::vector<std::vector<int>> Variables;
  for (const TTerm& Term : FModel.Terms) Variables.push_back(Term.Variables);
  return Variables;
}

void TDesign::Bind(TExpression& E, const std::string& Label, bool Arithmetic) {
  const auto Refuse = [&](const std::string& Why) {
    throw TInputError("--formula \"" + FModel.Text + "\": " + Label + ": " + Why);
  };
  switch (E.Kind) {
    case TNode::Name: {
      const auto Found = std::find_if(FColumns.begin(), FColumns.end(), [&](const auto& C) { return C.Name == E.Text; });
      if (Found == FColumns.end()) Refuse("no column named \"" + E.Text + "\"");
      E.Column = static_cast<int>(Found - FColumns.begin());
      if (Arithmetic && Found->Factor()) Refuse("\"" + E.Text + "\" is a factor, not a number to compute with");
      return;
    }
    case TNode::Dot:
      Refuse(". stands for columns as terms, not within a term");
    case TNode::Number:
      return;
    case TNode::Binary:
      if (E.Text == ":" || E.Text == "%in%") Refuse("'" + E.Text + "' within a function is not arithmetic");
      break;
    case TNode::Call:
      if (!Known(E.Text)) Refuse("unknown function " + E.Text + "(); the functions are log, log2, log10, exp, sqrt, abs, I and poly(x, d, raw = TRUE)");
      if (E.Operands.size() != 1 || !E.ArgNames[0].empty()) Refuse(E.Text + "() takes one value");
      break;
    case TNode::Unary:
    case TNode::Paren:
      break;
  }
  for (TExpression& Operand : E.Operands) Bind(Operand, Label, true);
}

// Each variable's kind, and R's coding of a factor within a term: by
// contrasts where the term without it is among the terms before it (the
// constant counting as the empty term), else by indicators of every level;
// without a constant, the first factor of the first term that has one is
// coded by indicators.
void TDesign::Classify() {
  FKinds.resize(FModel.Variables.size());
  for (std::size_t v = 0; v < FModel.Variables.size(); ++v) {
    TExpression& E = FModel.Variables[v].Expression;
    const std::string& Label = FLabels[v];
    if (std::find(FModel.Offsets.begin(), FModel.Offsets.end(), static_cast<int>(v)) != FModel.Offsets.end()) {
      Bind(E, "offset(" + Label + ")", true);
      continue;
    }
    if (v > 0 && E.Kind == TNode::Name) {
      Bind(E, Label, false);
      if (FColumns[static_cast<std::size_t>(E.Column)].Factor()) FKinds[v].Factor = E.Column;
      continue;
    }
    if (v > 0 && E.Kind == TNode::Call && E.Text == "poly") {
      const auto Arg = [&](std::size_t Position, const std::string& Name) -> TExpression* {
        for (std::size_t a = 0; a < E.Operands.size(); ++a) {
          if (E.ArgNames[a] == Name) return &E.Operands[a];
        }
        std::size_t Seen = 0;
        for (std::size_t a = 0; a < E.Operands.size(); ++a) {
          if (E.ArgNames[a].empty() && Seen++ == Position) return &E.Operands[a];
        }
        return nullptr;
      };
      TExpression* X = Arg(0, "x");
      const TExpression* Degree = Arg(1, "degree");
      const TExpression* Raw = Arg(99, "raw");
      const auto Refuse = [&](const std::string& Why) {
        throw TInputError("--formula \"" + FModel.Text + "\": " + Label + ": " + Why);
      };
      if (!Raw || Raw->Kind != TNode::Name || (Raw->Text != "TRUE" && Raw->Text != "T"))
        Refuse("poly() gives raw powers only: write poly(x, d, raw = TRUE)");
      if (X != &E.Operands[0] || E.Operands.size() != 3) Refuse("poly() takes x, a degree and raw = TRUE");
      if (!Degree || Degree->Kind != TNode::Number || Degree->Value < 1 || Degree->Value > 24 ||
          Degree->Value != std::floor(Degree->Value))
        Refuse("poly()'s degree is a whole number from 1 to 24");
      Bind(*X, Label, true);
      FKinds[v].Powers = static_cast<int>(Degree->Value);
      continue;
    }
    Bind(E, Label, true);
  }
}

namespace {

void ColumnsRead(const TExpression& E, std::vector<int>& Columns) {
  if (E.Column >= 0 && std::find(Columns.begin(), Columns.end(), E.Column) == Columns.end()) Columns.push_back(E.Column);
  for (const TExpression& Operand : E.Operands) ColumnsRead(Operand, Columns);
}

}  // namespace

void TDesign::Lay() {
  bool Indicators = !FModel.Intercept;  // the first factor is still to be coded by indicators
  for (std::size_t t = 0; t < FModel.Terms.size(); ++t) {
    const TTerm& Term = FModel.Terms[t];
    std::vector<TPart> Parts;
    std::vector<int> Sources;
    for (int v : Term.Variables) {
      const TVariableKind& Kind = FKinds[static_cast<std::size_t>(v)];
      ColumnsRead(FModel.Variables[static_cast<std::size_t>(v)].Expression, Sources);
      if (Kind.Factor < 0) {
        Parts.push_back({v, Kind.Powers ? Kind.Powers : 1, Kind.Powers ? 1 : 0});
        continue;
      }
      const int Levels = static_cast<int>(FColumns[static_cast<std::size_t>(Kind.Factor)].Levels.size());
      std::vector<int> Rest;
      std::copy_if(Term.Variables.begin(), Term.Variables.end(), std::back_inserter(Rest), [v](int w) { return w != v; });
      bool Contrasts = Rest.empty();
      for (std::size_t Before = 0; Before < t && !Contrasts; ++Before) Contrasts = Within(Rest, FModel.Terms[Before].Variables);
      if (Indicators) Contrasts = Indicators = false;
      Parts.push_back({v, Contrasts ? Levels - 1 : Levels, Contrasts ? 1 : 0});
    }
    Name(t, Parts);
    FParts.push_back(std::move(Parts));
    FSources.push_back(std::move(Sources));
  }
}

// The term's columns, its first variable's parts changing fastest, each
// named by its parts joined by ':'.
void TDesign::Name(std::size_t Term, const std::vector<TPart>& Parts) {
  std::vector<int> At(Parts.size(), 0);
  for (;;) {
    std::string Name;
    for (std::size_t p = 0; p < Parts.size(); ++p) {
      const TPart& Part = Parts[p];
      const TVariableKind& Kind = FKinds[static_cast<std::size_t>(Part.Variable)];
      std::string Piece = FModel.Variables[static_cast<std::size_t>(Part.Variable)].Label;
      if (Kind.Factor >= 0) Piece += FColumns[static_cast<std::size_t>(Kind.Factor)].Levels[static_cast<std::size_t>(Part.First + At[p])];
      if (Kind.Powers) Piece += std::to_string(Part.First + At[p]);
      Name += (p ? ":" : "") + Piece;
    }
    FNames.push_back(Name);
    FTermOf.push_back(static_cast<int>(Term));
    std::size_t p = 0;
    while (p < Parts.size() && ++At[p] == Parts[p].Count) At[p++] = 0;
    if (p == Parts.size()) return;
  }
}

double TDesign::Evaluate(std::span<const double> Raw, std::span<double> Row, bool Response, double* Offset) const {
  std::vector<double> Values(FModel.Variables.size(), std::numeric_limits<double>::quiet_NaN());
  for (std::size_t v = Response ? 0 : 1; v < Values.size(); ++v) {
    const TExpression& E = FModel.Variables[v].Expression;
    const TVariableKind& Kind = FKinds[v];
    const std::string& Label = FLabels[v];
    if (Kind.Factor >= 0) {
      Values[v] = Raw[static_cast<std::size_t>(Kind.Factor)];
    } else {
      Values[v] = Value(Kind.Powers ? E.Operands[0] : E, Raw, Label);
    }
  }
  std::size_t j = 0;
  for (const std::vector<TPart>& Parts : FParts) {
    std::vector<int> At(Parts.size(), 0);
    for (;;) {
      double Product = 1;
      for (std::size_t p = 0; p < Parts.size(); ++p) {
        const TPart& Part = Parts[p];
        const auto v = static_cast<std::size_t>(Part.Variable);
        const int Index = Part.First + At[p];
        const double Piece = FKinds[v].Factor >= 0 ? double(Values[v] == Index)
                             : FKinds[v].Powers   ? Power(Values[v], Index)
                                                  : Values[v];
        Product = p ? Product * Piece : Piece;
      }
      if (!std::isfinite(Product)) {
        throw TEvaluationError(FModel.Terms[static_cast<std::size_t>(FTermOf[j])].Label, "the value is beyond double's range");
      }
      Row[j++] = Product;
      std::size_t p = 0;
      while (p < Parts.size() && ++At[p] == Parts[p].Count) At[p++] = 0;
      if (p == Parts.size()) break;
    }
  }
  if (Offset) {
    *Offset = 0;
    for (int v : FModel.Offsets) *Offset += Values[static_cast<std::size_t>(v)];
  }
  return Values[0];
}

double TDesign::Value(const TExpression& E, std::span<const double> Raw, const std::string& Label) const {
  double Result = 0;
  switch (E.Kind) {
    case TNode::Number:
      return E.Value;
    case TNode::Name:
      return Raw[static_cast<std::size_t>(E.Column)];
    case TNode::Paren:
      return Value(E.Operands[0], Raw, Label);
    case TNode::Unary:
      Result = Value(E.Operands[0], Raw, Label);
      return E.Text == "-" ? -Result : Result;
    case TNode::Call:
      Result = Call(E, Raw, Label);
      break;
    case TNode::Binary: {
      const double a = Value(E.Operands[0], Raw, Label), b = Value(E.Operands[1], Raw, Label);
      if (E.Text == "/" && b == 0) throw TEvaluationError(Label, Deparse(E) + " divides by zero");
      Result = E.Text == "+" ? a + b : E.Text == "-" ? a - b : E.Text == "*" ? a * b : E.Text == "/" ? a / b : Power(a, b);
      if (E.Text == "^" && std::isnan(Result))
        throw TEvaluationError(Label, Deparse(E) + " is " + DeparseNumber(a) + "^" + DeparseNumber(b) + ", not a number");
      break;
    }
    case TNode::Dot:
      break;
  }
  if (!std::isfinite(Result)) throw TEvaluationError(Label, Deparse(E) + " is beyond double's range");
  return Result;
}

double TDesign::Call(const TExpression& E, std::span<const double> Raw, const std::string& Label) const {
  const double x = Value(E.Operands[0], Raw, Label);
  const std::string& f = E.Text;
  const bool Log = f == "log" || f == "log2" || f == "log10";
  if ((Log && x <= 0) || (f == "sqrt" && x < 0)) {
    throw TEvaluationError(Label, f + " of " + (x == 0 ? "zero" : "the negative value " + DeparseNumber(x)) +
                                      (x == 0 ? " is -Inf" : " is not a number"));
  }
  if (f == "log") return std::log(x);
  if (f == "log2") return std::log2(x);
  if (f == "log10") return std::log10(x);
  if (f == "exp") return std::exp(x);
  if (f == "sqrt") return std::sqrt(x);
  if (f == "abs") return std::fabs(x);
  return x;  // I()
}

}  // namespace varnel::cli::formula
