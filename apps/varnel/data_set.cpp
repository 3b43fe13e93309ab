#include "data_set.h"

#include <algorithm>

namespace varnel::cli {
namespace {

int ColumnOf(const TCsvTable& Table, const std::string& Source, const std::string& Name) {
  const auto Found = std::find(Table.Names.begin(), Table.Names.end(), Name);
  if (Found == Table.Names.end()) throw TInputError(Source + ": no column named \"" + Name + "\"");
  return static_cast<int>(Found - Table.Names.begin());
}

}  // namespace

TAnalysisData ExampleData() {
  return {"built-in example", {"X1", "X2"}, "Y", {{1, 2, 3, 4, 5}, {21, 20, 25, 24, 26}}, {12, 23, 46, 32, 39}};
}

TAnalysisData SelectColumns(const TCsvTable& Table, const std::string& Source, const std::string& YName,
                            const std::vector<std::string>& XNames) {
  if (Table.Names.empty()) throw TInputError(Source + ": no columns");
  const int YColumn = YName.empty() ? static_cast<int>(Table.Names.size()) - 1 : ColumnOf(Table, Source, YName);
  std::vector<int> XColumns;
  if (XNames.empty()) {
    for (int c = 0; c < static_cast<int>(Table.Names.size()); ++c) {
      if (c != YColumn) XColumns.push_back(c);
    }
  } else {
    for (const std::string& Name : XNames) {
      const int c = ColumnOf(Table, Source, Name);
      if (c == YColumn) throw TInputError(Source + ": the response \"" + Name + "\" cannot also be a predictor");
      XColumns.push_back(c);
    }
  }
  if (XColumns.empty()) throw TInputError(Source + ": no predictor columns");
  if (XColumns.size() > static_cast<std::size_t>(MaxVars)) {
    throw TInputError(Source + ": " + std::to_string(XColumns.size()) + " predictors, at most " +
                      std::to_string(MaxVars) + " are possible");
  }
  TAnalysisData Data;
  Data.Source = Source;
  Data.YName = Table.Names[YColumn];
  Data.Y = Table.Columns[YColumn];
  for (int c : XColumns) {
    Data.XNames.push_back(Table.Names[c]);
    Data.X.push_back(Table.Columns[c]);
  }
  return Data;
}

void Load(TKorlen& Korlen, const TAnalysisData& Data) {
  const int n = std::min(Data.N(), MaxObs);
  for (int j = 0; j < std::min(Data.K(), MaxVars); ++j) {
    std::copy_n(Data.X[j].begin(), n, (*Korlen.PRegressData)[j + 1].begin());
  }
  std::copy_n(Data.Y.begin(), n, Korlen.Y.begin());
  Korlen.MVPrepare();
}

}  // namespace varnel::cli
