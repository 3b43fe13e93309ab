// SPDX-License-Identifier: Apache-2.0
#include "formula/terms.h"

#include <algorithm>

#include "csv_table.h"

namespace varnel::cli::formula {
namespace {

using TTermSet = std::vector<std::vector<int>>;

// Appends the terms not already there, keeping the first of repeats.
void AddNew(TTermSet& To, const TTermSet& From) {
  for (const auto& Term : From) {
    if (std::find(To.begin(), To.end(), Term) == To.end()) To.push_back(Term);
  }
}

std::vector<int> Union(const std::vector<int>& A, const std::vector<int>& B) {
  std::vector<int> Both;
  std::set_union(A.begin(), A.end(), B.begin(), B.end(), std::back_inserter(Both));
  return Both;
}

// a:b, each term of the left with each of the right, the left's outer.
TTermSet Interact(const TTermSet& Left, const TTermSet& Right) {
  TTermSet Out;
  for (const auto& l : Left) {
    for (const auto& r : Right) AddNew(Out, {Union(l, r)});
  }
  return Out;
}

class TExpander {
 public:
  TExpander(const std::string& Text, const std::vector<std::string>& Columns, bool Whole)
      : FColumns(Columns), FWhole(Whole) {
    FModel.Text = Text;
  }

  TModelTerms Expand(const TFormulaText& Parsed) {
    Variable(Parsed.Response);
    NamesRead(Parsed.Response, FResponseNames);
    TTermSet Terms = Terms_(Parsed.Right, false);
    std::stable_sort(Terms.begin(), Terms.end(), [](const auto& a, const auto& b) { return a.size() < b.size(); });
    for (auto& Variables : Terms) {
      if (Variables.empty()) continue;
      if (Variables.front() == 0) {
        throw TInputError("--formula: the response " + FModel.Variables[0].Label + " is also among the terms");
      }
      TTerm Term{Variables, ""};
      for (int v : Variables) Term.Label += (Term.Label.empty() ? "" : ":") + FModel.Variables[v].Label;
      FModel.Terms.push_back(std::move(Term));
    }
    if (FModel.Terms.empty() && FWhole) throw TInputError("--formula \"" + FModel.Text + "\" has no term but the constant");
    return std::move(FModel);
  }

 private:
  const std::vector<std::string>& FColumns;
  bool FWhole;
  std::vector<std::string> FResponseNames;
  TModelTerms FModel;

  [[noreturn]] void Fail(const TExpression& At, const std::string& Why) const {
    throw TInputError("--formula \"" + FModel.Text + "\": character " + std::to_string(At.Position + 1) + ": " + Why);
  }

  int Variable(const TExpression& Expression) {
    const std::string Label = Deparse(Expression);
    for (std::size_t v = 0; v < FModel.Variables.size(); ++v) {
      if (FModel.Variables[v].Label == Label) return static_cast<int>(v);
    }
    FModel.Variables.push_back({Expression, Label});
    return static_cast<int>(FModel.Variables.size() - 1);
  }

  // A number as a term: 1 the constant, 0 its absence; Negative: on the
  // right of a minus, where each means the other.
  TTermSet Constant(const TExpression& E, bool Negative) {
    if (E.Value != 0 && E.Value != 1) Fail(E, "a number as a term is 0 or 1 (the constant); I(" + E.Text + ") is the number");
    FModel.Intercept = (E.Value == 1) != Negative;
    return {};
  }

  TTermSet Dot(const TExpression& E) {
    if (FColumns.empty() && FWhole) Fail(E, ". stands for the data's columns, and there are none");
    TTermSet Out;
    for (const std::string& Column : FColumns) {
      if (std::find(FResponseNames.begin(), FResponseNames.end(), Column) != FResponseNames.end()) continue;
      TExpression Name;
      Name.Kind = TNode::Name;
      Name.Text = Column;
      Name.Quoted = true;
      Name.Position = E.Position;
      AddNew(Out, {{Variable(Name)}});
    }
    return Out;
  }

  // offset(x): no term, a value added to the linear predictor.
  TTermSet Offset(const TExpression& E, bool Negative) {
    if (Negative) Fail(E, "an offset is added to the model, not removed");
    if (E.Operands.size() != 1 || !E.ArgNames[0].empty()) Fail(E, "offset() takes one value");
    const int v = Variable(E.Operands[0]);
    if (std::find(FModel.Offsets.begin(), FModel.Offsets.end(), v) == FModel.Offsets.end()) FModel.Offsets.push_back(v);
    return {};
  }

  TTermSet Power(const TExpression& E, bool Negative) {
    const TExpression& Exponent = E.Operands[1];
    if (Exponent.Kind != TNode::Number || Exponent.Value < 1 || Exponent.Value != static_cast<int>(Exponent.Value)) {
      Fail(Exponent, "the power of terms is a whole number from 1 (I() makes ^ arithmetic)");
    }
    const TTermSet Base = Terms_(E.Operands[0], Negative);
    TTermSet Out = Base;
    for (int i = 1; i < static_cast<int>(Exponent.Value); ++i) AddNew(Out, Interact(Out, Base));
    return Out;
  }

  // a/b: a, then b within all of a.
  TTermSet Nest(const TTermSet& Outer, const TTermSet& Inner) {
    std::vector<int> All;
    for (const auto& Term : Outer) All = Union(All, Term);
    TTermSet Out = Outer;
    AddNew(Out, Interact({All}, Inner));
    return Out;
  }

  TTermSet Binary(const TExpression& E, bool Negative) {
    const std::string& Op = E.Text;
    if (Op == "^") return Power(E, Negative);
    TTermSet Left = Terms_(E.Operands[0], Negative);
    if (Op == "-") {
      const TTermSet Right = Terms_(E.Operands[1], !Negative);
      std::erase_if(Left, [&](const auto& Term) { return std::find(Right.begin(), Right.end(), Term) != Right.end(); });
      return Left;
    }
    const TTermSet Right = Terms_(E.Operands[1], Negative);
    if (Op == "+") {
      AddNew(Left, Right);
      return Left;
    }
    if (Op == ":") return Interact(Left, Right);
    if (Op == "*") {
      TTermSet Out = Left;
      AddNew(Out, Right);
      AddNew(Out, Interact(Left, Right));
      return Out;
    }
    if (Op == "/") return Nest(Left, Right);
    if (Op == "%in%") {  // each term of the left within all of the right
      std::vector<int> All;
      for (const auto& Term : Right) All = Union(All, Term);
      return Interact(Left, {All});
    }
    Fail(E, "'" + Op + "' is not a term operator");
  }

  TTermSet Terms_(const TExpression& E, bool Negative) {
    switch (E.Kind) {
      case TNode::Number:
        return Constant(E, Negative);
      case TNode::Dot:
        return Dot(E);
      case TNode::Paren:
        return Terms_(E.Operands[0], Negative);
      case TNode::Unary:
        if (E.Text == "+") return Terms_(E.Operands[0], Negative);
        if (E.Operands[0].Kind == TNode::Number) return Constant(E.Operands[0], !Negative);
        Fail(E, "a term is removed as a - b; -" + Deparse(E.Operands[0]) + " alone removes nothing");
      case TNode::Binary:
        return Binary(E, Negative);
      case TNode::Call:
        if (E.Text == "offset") return Offset(E, Negative);
        return {{Variable(E)}};
      case TNode::Name:
        return {{Variable(E)}};
    }
    return {};
  }
};

}  // namespace

void NamesRead(const TExpression& E, std::vector<std::string>& Names) {
  if (E.Kind == TNode::Name) {
    if (std::find(Names.begin(), Names.end(), E.Text) == Names.end()) Names.push_back(E.Text);
    return;
  }
  for (std::size_t a = 0; a < E.Operands.size(); ++a) {
    // poly's raw = TRUE names no column.
    if (E.Kind == TNode::Call && a < E.ArgNames.size() && E.ArgNames[a] == "raw") continue;
    NamesRead(E.Operands[a], Names);
  }
}

TModelTerms ExpandTerms(const std::string& Text, const std::vector<std::string>& Columns, bool Whole) {
  return TExpander(Text, Columns, Whole).Expand(ParseFormula(Text));
}

}  // namespace varnel::cli::formula
