// SPDX-License-Identifier: Apache-2.0
// The data an analysis runs on: a response and up to 24 named predictors.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <varnel/korlen.h>

#include "csv_table.h"
#include "results.h"

namespace varnel::cli {

struct TAnalysisData {
  std::string Source;                    // a file name, or "built-in example"
  std::vector<std::string> XNames;
  std::string YName;
  std::vector<std::vector<double>> X;    // X[j][i]: observation i of predictor j + 1
  std::vector<double> Y;
  std::vector<long long> Rows;     // each observation's data row in the file; empty: 1, 2, ...
  std::vector<long long> Dropped;  // the data rows left out for a missing value
  std::vector<std::string> Unused; // the file's columns that no analysis reads
  bool Dummies = false;            // whether a factor was coded
  // Missing[j]: the file's missing cells in the column of predictor j (a
  // factor's count for each of its dummies), then the response's.
  std::vector<long long> Missing;
  long long MissingIn(int j) const { return j < static_cast<int>(Missing.size()) ? Missing[j] : 0; }
  // The model's terms: the file's predictor columns, named as shown, and
  // TermOf[j], the term of predictor j (a factor's dummies share theirs).
  // Empty TermOf: each predictor is a term of its own.
  std::vector<std::string> TermNames;
  std::vector<int> TermOf;
  int K() const { return static_cast<int>(X.size()); }
  int N() const { return static_cast<int>(Y.size()); }
  // The number of observation i's data row in the file, counting from 1:
  // how the tool names an observation everywhere.
  long long RowNumber(int i) const { return Rows.empty() ? i + 1LL : Rows[static_cast<std::size_t>(i)]; }
};

// What a cell means. Missing are the cells whose trimmed text is one of
// Missing (also when it reads as a number, as -999); numbers are read with
// Decimal as their decimal mark. Rows missing a used value are dropped (as
// R's na.omit), or with FailOnMissing the first such cell is an error. A
// predictor named in Factors, or a text column (most of its non-missing
// cells not numbers), is coded as treatment dummies against its first level
// in sorted order (numerically when every level is a number). With
// NoResponse every picked column is a predictor. Key and Weights name the
// columns picked after the response, in that order: the one whose trimmed
// text groups the rows (regress --cluster) and the rows' weights (regress
// --weights, numbers of 0 or more); a row missing either is dropped as for
// any used column.
struct TDataRules {
  char Decimal = '.';
  std::vector<std::string> Missing = {"", "NA", "NaN", ".", "null"};
  bool FailOnMissing = false;
  std::vector<std::string> Factors;
  bool NoResponse = false;
  // A factor's levels given by column name, the reference first (a saved
  // model's coding): used as they are, a cell of another level an error.
  std::map<std::string, std::vector<std::string>> Levels;
  // --ref NAME=LEVEL: the factor's reference level (as R's relevel), the
  // other levels in their order after it.
  std::vector<std::pair<std::string, std::string>> References;
  std::string Key, Weights;
  // A model formula: the picked columns before Key and Weights are the
  // ones it reads, in the file's order, and the rows' design is its terms'
  // (read in blocks). With NoResponse its response is not read.
  std::string Formula;
  // Whether the formula may have offset() terms (glm, and prediction from
  // its model): each batch then holds their sum after the response.
  bool Offsets = false;
};

// What one cell holds under Rules, read as SelectColumns reads it (trimmed,
// the missing spellings first). Beyond: a number beyond double's range.
enum class TCellKind : std::uint8_t { Number, Missing, Text, Beyond };
TCellKind ReadCell(std::string_view Cell, const TDataRules& Rules, double& Value);
// Whether ReadCell reads every plain number (a cell std::from_chars reads
// whole and finite) as that number: the decimal mark is a point and no
// missing spelling is such a number.
bool PlainNumbersRead(const TDataRules& Rules);
// The cell without blanks around it, and as an error message shows it.
std::string_view TrimmedCell(std::string_view Cell);
std::string ShownCell(std::string_view Cell);

// For data read in blocks: which of the table's predictors (its columns,
// the response last unless Rules.NoResponse) are factors, decided from the
// cells given as SelectColumns decides it, with its errors.
std::vector<bool> FactorColumns(const TCsvTable& Table, const std::string& Source, const TDataRules& Rules);

// The five observations of the component's example text.
TAnalysisData ExampleData();

// The header positions of the predictors (by names; empty: every other
// column) followed by the response (by name; empty: the last column).
// Without Response, the predictors alone (by names; empty: every column).
// Unknown names (the error lists the columns), a predictor named twice, the
// response among the predictors, no predictor or more than 24 raise
// TInputError.
// More than MaxPredictors is an error: a TCapacityError for the
// component's 24. The Key and Weights columns (see TDataRules) follow the
// response; they are never among the predictors taken by default, and
// naming one as a predictor, the response or both is an error.
// The header positions of the Key and Weights columns (see TDataRules),
// those named, in that order. An unknown name, a column named twice or
// YColumn (the response's, -1: none) raise TInputError.
std::vector<int> CarriedColumns(const std::vector<std::string>& Names, const std::string& Source,
                                const std::string& Key, const std::string& Weights, int YColumn = -1);

std::vector<int> PickColumns(const std::vector<std::string>& Names, const std::string& Source,
                             const std::string& YName, const std::vector<std::string>& XNames,
                             bool Response = true, std::size_t MaxPredictors = MaxVars, const std::string& Key = "",
                             const std::string& Weights = "");

// The picked columns of a table as numbers, under Rules. The names are kept
// as shown to the user: control characters escaped. A response cell that
// is not a number, a column of numbers with cells that are not (the error
// names the first of them), a number beyond double's range, a factor of one
// level, more than 24 predictors with the dummies or more than 19,999 rows
// left raise TInputError, naming the row, the column and the reason.
TAnalysisData SelectColumns(const TCsvTable& Table, const std::string& Source, const std::string& YName,
                            const std::vector<std::string>& XNames, const TDataRules& Rules = {});

// For data read in blocks under a model formula: which of the table's
// columns are factors. Those named in Numeric (the response's) must hold
// numbers; the others are factors as SelectColumns decides it.
std::vector<bool> FormulaFactorColumns(const TCsvTable& Table, const std::string& Source,
                                       const std::vector<std::string>& Numeric, const TDataRules& Rules);

// The columns of a table as a model formula reads them, rows missing a
// value dropped as SelectColumns drops them: numbers, or a factor's levels
// (ordered as SelectColumns orders them, References applied) and each kept
// row's level index. The columns named in Numeric (the response's) must
// hold numbers; the others are factors as SelectColumns decides it.
struct TRawColumn {
  std::string Name;
  std::vector<std::string> Levels;  // empty: numbers
  std::vector<double> Values;       // a kept row's number, or its level's index
  long long Missing = 0;            // the column's missing cells
};
struct TRawData {
  std::string Source;
  std::vector<TRawColumn> Columns;
  std::vector<long long> Rows, Dropped;
  std::vector<std::string> Unused;
};
TRawData SelectRawColumns(const TCsvTable& Table, const std::string& Source, const std::vector<std::string>& Numeric,
                          const TDataRules& Rules);

// Writes the data into rows 1..k and Y of the component and prepares row 0.
void Load(TKorlen& Korlen, const TAnalysisData& Data);

// Whether a fit's tables (coefficients and model) show what R's summary.lm
// calls an essentially perfect fit: a residual variance below 1e-30 of the
// fitted values' mean² + variance, where the standard errors and tests rest
// on rounding. False without those tables.
bool EssentiallyPerfectFit(const TAnalysisData& Data, const TResults& Results);

// Why the component's plausibility scan of the predictors refuses the data,
// naming them; empty when it passes them, or when the counts (n > 2,
// n > k) leave the scan to the fit's own refusal.
std::string ScanRefusal(const TAnalysisData& Data);

}  // namespace varnel::cli
