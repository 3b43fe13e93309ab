// SPDX-License-Identifier: Apache-2.0
// The model matrix of a formula's terms, as R's model.matrix builds it:
// which columns each term makes, their names, and each row's values from
// the data's raw values.
#pragma once

#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "formula/terms.h"

namespace varnel::cli::formula {

// A data column the formula reads: its name and, for a factor, its levels
// with the reference first (empty: numbers).
struct TSourceColumn {
  std::string Name;
  std::vector<std::string> Levels;
  bool Factor() const { return !Levels.empty(); }
};

// A value that cannot be computed: the term (or response) as R labels it
// and why. The caller names the data row.
class TEvaluationError : public std::runtime_error {
 public:
  TEvaluationError(std::string Label, const std::string& Why) : std::runtime_error(Why), Label(std::move(Label)) {}
  std::string Label;
};

// The refusal of a value that cannot be computed, naming the data row of
// Source and the term (or the response).
std::string EvaluationRefusal(const std::string& Source, long long Row, const TEvaluationError& Error);

class TDesign {
 public:
  // Names read by the formula that are not among Columns, a factor in
  // arithmetic or as the response, an unknown function or a misused poly()
  // raise TInputError.
  TDesign(TModelTerms Model, std::vector<TSourceColumn> Columns);

  const std::vector<std::string>& ColumnNames() const { return FNames; }  // as model.matrix's, but the constant
  const std::vector<int>& TermOf() const { return FTermOf; }
  std::vector<std::string> TermLabels() const;
  // Each term's variables (increasing): a term contains another whose
  // variables are among its own, as R's marginality takes it.
  std::vector<std::vector<int>> TermVariables() const;
  const std::string& ResponseLabel() const { return FModel.Variables[0].Label; }
  bool Intercept() const { return FModel.Intercept; }
  // Raw[c]: the row's value of Columns[c], a factor's the index of its
  // level. Writes the K design values into Row and returns the response;
  // a value out of its function's domain, a division by zero or any value
  // that is not finite raises TEvaluationError. Without Response the
  // response is not computed (its columns need not hold a value) and NaN
  // is returned. Offset takes the sum of the formula's offsets.
  double Evaluate(std::span<const double> Raw, std::span<double> Row, bool Response = true,
                  double* Offset = nullptr) const;
  // Whether the formula has offset() terms, which the model matrix leaves
  // out and the linear predictor adds.
  bool HasOffset() const { return !FModel.Offsets.empty(); }
  // The columns of Columns that the design row j reads.
  const std::vector<int>& SourcesOf(std::size_t j) const { return FSources[FTermOf[j]]; }

 private:
  // A factor in a term: coded by contrasts (its levels but the first) or
  // by indicators of every level.
  struct TPart {
    int Variable;
    int Count;    // columns it contributes
    int First;    // a factor's first level coded; poly's first power
  };
  struct TVariableKind {
    int Factor = -1;  // the factor's column, or -1
    int Powers = 0;   // poly's degree; 0: one value
  };
  void Bind(TExpression& E, const std::string& Label, bool Arithmetic);
  void Classify();
  void Lay();
  void Name(std::size_t Term, const std::vector<TPart>& Parts);
  double Value(const TExpression& E, std::span<const double> Raw, const std::string& Label) const;
  double Call(const TExpression& E, std::span<const double> Raw, const std::string& Label) const;

  TModelTerms FModel;
  std::vector<TSourceColumn> FColumns;
  std::vector<std::string> FLabels;         // per variable, as errors name it
  std::vector<TVariableKind> FKinds;        // per variable
  std::vector<std::vector<TPart>> FParts;   // per term
  std::vector<std::vector<int>> FSources;   // per term: the columns it reads
  std::vector<std::string> FNames;
  std::vector<int> FTermOf;
};

}  // namespace varnel::cli::formula
