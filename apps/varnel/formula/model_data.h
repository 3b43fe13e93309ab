// SPDX-License-Identifier: Apache-2.0
// A data set as a model formula makes it: the design's columns named as
// R's model.matrix names them, the terms as R labels them and the response
// as computed.
#pragma once

#include <string>
#include <vector>

#include "csv_table.h"
#include "data_set.h"
#include "formula/terms.h"

namespace varnel::cli::formula {

// The header positions of the columns the formula reads, in header order
// (without Response, those its terms read); an unknown name raises
// TInputError listing the columns. '.' stands for the columns of Dot
// (empty: the header's).
std::vector<int> FormulaColumns(const std::string& Formula, const std::vector<std::string>& Header,
                                const std::string& Source, bool Response = true,
                                const std::vector<std::string>& Dot = {});

// The names the formula's response reads, and those its terms read.
std::vector<std::string> ResponseColumns(const std::string& Formula);
std::vector<std::string> TermColumns(const TModelTerms& Model);

// The refusal of offset() where only glm takes it.
std::string OffsetRefusal();

// The expanded terms as a formula that reads the same design again: the
// response, the terms in their order, "- 1" without the constant.
std::string ExpandedFormula(const TModelTerms& Model);

// The data of Table (the columns FormulaColumns picked) under Formula. A
// value that cannot be computed raises TInputError naming the data row and
// the term; a design beyond the component's 24 columns a TCapacityError.
TAnalysisData FormulaData(const TCsvTable& Table, const std::string& Source, const std::string& Formula,
                          const TDataRules& Rules);

// Whether the formula keeps the constant.
bool FormulaIntercept(const std::string& Formula);

}  // namespace varnel::cli::formula
