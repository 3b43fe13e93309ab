// The data an analysis runs on: a response and up to 24 named predictors.
#pragma once

#include <string>
#include <vector>

#include <varnel/korlen.h>

#include "csv_table.h"

namespace varnel::cli {

struct TAnalysisData {
  std::string Source;                    // a file name, or "built-in example"
  std::vector<std::string> XNames;
  std::string YName;
  std::vector<std::vector<double>> X;    // X[j][i]: observation i of predictor j + 1
  std::vector<double> Y;
  int K() const { return static_cast<int>(X.size()); }
  int N() const { return static_cast<int>(Y.size()); }
  // The number of observation i's data row in the file, counting from 1:
  // how the tool names an observation everywhere.
  long long RowNumber(int i) const { return i + 1LL; }
};

// The five observations of the component's example text.
TAnalysisData ExampleData();

// The header positions of the predictors (by names; empty: every other
// column) followed by the response (by name; empty: the last column).
// Unknown names, a predictor named twice, the response among the
// predictors, no predictor or more than 24 raise TInputError.
std::vector<int> PickColumns(const std::vector<std::string>& Names, const std::string& Source,
                             const std::string& YName, const std::vector<std::string>& XNames);

// The picked columns of a table. The names are kept as shown to the user:
// control characters escaped.
TAnalysisData SelectColumns(const TCsvTable& Table, const std::string& Source, const std::string& YName,
                            const std::vector<std::string>& XNames);

// Writes the data into rows 1..k and Y of the component and prepares row 0.
void Load(TKorlen& Korlen, const TAnalysisData& Data);

}  // namespace varnel::cli
