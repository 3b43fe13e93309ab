// SPDX-License-Identifier: Apache-2.0
// A formula's terms as R expands them: the variables (each distinct
// expression, the response first) and the terms, sets of variables, in
// R's order (by degree, then as they first appear), with their labels.
#pragma once

#include <string>
#include <vector>

#include "formula/expression.h"

namespace varnel::cli::formula {

struct TVariable {
  TExpression Expression;
  std::string Label;  // as R deparses it
};

struct TTerm {
  std::vector<int> Variables;  // indices into TModelTerms::Variables, increasing
  std::string Label;           // the variables' labels joined by ':'
};

struct TModelTerms {
  std::vector<TVariable> Variables;  // [0]: the response
  std::vector<TTerm> Terms;
  bool Intercept = true;
  std::vector<int> Offsets;  // the variables of offset(...) terms, summed into the linear predictor
  std::string Text;  // the formula as given, for messages
};

// Columns: the data's column names, which '.' stands for (but those the
// response names). A term operator misused (a ^ that is not a whole
// number, a number other than 0 or 1 as a term, the response among the
// terms, no term at all) raises TInputError. Without Whole, '.' stands for
// nothing and no term is not an error: enough to learn the constant.
TModelTerms ExpandTerms(const std::string& Text, const std::vector<std::string>& Columns, bool Whole = true);

// The column names an expression reads, in order of appearance, once each.
void NamesRead(const TExpression& Expression, std::vector<std::string>& Names);

}  // namespace varnel::cli::formula
