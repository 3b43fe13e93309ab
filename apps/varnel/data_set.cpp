#include "data_set.h"

#include <algorithm>

#include "output.h"

namespace varnel::cli {
namespace {

std::string Quoted(const std::string& Name) { return "\"" + Printable(Name, kShownCellBytes) + "\""; }

int ColumnOf(const std::vector<std::string>& Names, const std::string& Source, const std::string& Name) {
  const auto Found = std::find(Names.begin(), Names.end(), Name);
  if (Found == Names.end()) throw TInputError(Source + ": no column named " + Quoted(Name));
  return static_cast<int>(Found - Names.begin());
}

std::vector<int> NamedPredictors(const std::vector<std::string>& Names, const std::string& Source, int YColumn,
                                 const std::vector<std::string>& XNames) {
  std::vector<int> Columns;
  for (const std::string& Name : XNames) {
    const int c = ColumnOf(Names, Source, Name);
    if (c == YColumn) throw TInputError(Source + ": the response " + Quoted(Name) + " cannot also be a predictor");
    if (std::find(Columns.begin(), Columns.end(), c) != Columns.end()) {
      throw TInputError(Source + ": the predictor " + Quoted(Name) + " is named twice");
    }
    Columns.push_back(c);
  }
  return Columns;
}

}  // namespace

TAnalysisData ExampleData() {
  return {"built-in example", {"X1", "X2"}, "Y", {{1, 2, 3, 4, 5}, {21, 20, 25, 24, 26}}, {12, 23, 46, 32, 39}};
}

std::vector<int> PickColumns(const std::vector<std::string>& Names, const std::string& Source,
                             const std::string& YName, const std::vector<std::string>& XNames) {
  const std::string Shown = Printable(Source);
  if (Names.empty()) throw TInputError(Shown + ": no columns");
  const int YColumn = YName.empty() ? static_cast<int>(Names.size()) - 1 : ColumnOf(Names, Shown, YName);
  std::vector<int> Columns;
  if (XNames.empty()) {
    for (int c = 0; c < static_cast<int>(Names.size()); ++c) {
      if (c != YColumn) Columns.push_back(c);
    }
  } else {
    Columns = NamedPredictors(Names, Shown, YColumn, XNames);
  }
  if (Columns.empty()) throw TInputError(Shown + ": no predictor columns");
  if (Columns.size() > static_cast<std::size_t>(MaxVars)) {
    throw TInputError(Shown + ": " + std::to_string(Columns.size()) + " predictors, at most " +
                      std::to_string(MaxVars) + " are possible");
  }
  Columns.push_back(YColumn);
  return Columns;
}

TAnalysisData SelectColumns(const TCsvTable& Table, const std::string& Source, const std::string& YName,
                            const std::vector<std::string>& XNames) {
  const std::vector<int> Columns = PickColumns(Table.Names, Source, YName, XNames);
  TAnalysisData Data;
  Data.Source = Printable(Source);
  Data.YName = Printable(Table.Names[Columns.back()]);
  Data.Y = Table.Columns[Columns.back()];
  for (std::size_t i = 0; i + 1 < Columns.size(); ++i) {
    Data.XNames.push_back(Printable(Table.Names[Columns[i]]));
    Data.X.push_back(Table.Columns[Columns[i]]);
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
