#include "data_set.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string_view>

#include "output.h"
#include "results.h"

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
  TAnalysisData Data;
  Data.Source = "built-in example";
  Data.XNames = {"X1", "X2"};
  Data.YName = "Y";
  Data.X = {{1, 2, 3, 4, 5}, {21, 20, 25, 24, 26}};
  Data.Y = {12, 23, 46, 32, 39};
  return Data;
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

namespace {

enum class TKind : std::uint8_t { Number, Missing, Text };

// Each cell of a column: its kind and, for a number, its value.
struct TCells {
  std::vector<TKind> Kind;
  std::vector<double> Value;
};

std::string_view Trimmed(std::string_view Text) {
  const auto First = Text.find_first_not_of(" \t");
  if (First == std::string_view::npos) return {};
  return Text.substr(First, Text.find_last_not_of(" \t") - First + 1);
}

// A whole finite number, with Decimal as its decimal mark; from_chars takes
// no plus sign, so one is skipped, but not in front of a minus.
bool ReadNumber(std::string_view Text, char Decimal, double& Value) {
  char Buffer[64];
  if (Decimal != '.') {
    if (Text.size() > sizeof Buffer || Text.find('.') != std::string_view::npos) return false;
    std::replace_copy(Text.begin(), Text.end(), Buffer, Decimal, '.');
    Text = std::string_view(Buffer, Text.size());
  }
  if (Text.empty()) return false;
  const char* Begin = Text.data() + (Text[0] == '+' && Text.size() > 1 && Text[1] != '-');
  const auto [End, Error] = std::from_chars(Begin, Text.data() + Text.size(), Value);
  return Error == std::errc() && End == Text.data() + Text.size() && std::isfinite(Value);
}

TCells Classify(const TTextColumn& Column, const TDataRules& Rules) {
  TCells Cells{std::vector<TKind>(Column.Size()), std::vector<double>(Column.Size())};
  for (std::size_t r = 0; r < Column.Size(); ++r) {
    // Most cells are numbers, and no missing spelling reads as one.
    const std::string_view Text = Trimmed(Column.Cell(r));
    if (ReadNumber(Text, Rules.Decimal, Cells.Value[r])) continue;
    const bool Missing = std::find(Rules.Missing.begin(), Rules.Missing.end(), Text) != Rules.Missing.end();
    Cells.Kind[r] = Missing ? TKind::Missing : TKind::Text;
  }
  return Cells;
}

std::string Where(const std::string& Source, std::size_t Row, const std::string& Column) {
  return Source + ": data row " + std::to_string(Row + 1) + ", column " + Quoted(Column);
}

std::string Shown(std::string_view Cell) { return "'" + Printable(std::string(Trimmed(Cell)), kShownCellBytes) + "'"; }

// The rows that every used column holds a value of; the others go, or with
// FailOnMissing the first missing cell is an error.
std::vector<std::size_t> CompleteRows(const std::vector<TCells>& Cells, const std::vector<std::string>& Names,
                                      const std::string& Source, const TDataRules& Rules, TAnalysisData& Data) {
  std::vector<std::size_t> Kept;
  const std::size_t Rows = Cells.empty() ? 0 : Cells[0].Kind.size();
  for (std::size_t r = 0; r < Rows; ++r) {
    std::size_t c = 0;
    while (c < Cells.size() && Cells[c].Kind[r] != TKind::Missing) ++c;
    if (c == Cells.size()) {
      Kept.push_back(r);
      continue;
    }
    if (Rules.FailOnMissing) throw TInputError(Where(Source, r, Names[c]) + ": missing value");
    Data.Dropped.push_back(static_cast<long long>(r) + 1);
  }
  if (Kept.empty()) throw TInputError(Source + ": no row holds a value in every column used");
  if (Kept.size() > static_cast<std::size_t>(MaxObs - 1)) {
    throw TInputError(Source + ": " + std::to_string(Kept.size()) + " rows to analyse, at most " +
                      std::to_string(MaxObs - 1) + " are possible");
  }
  return Kept;
}

std::vector<double> Numbers(const TCells& Cells, const std::vector<std::size_t>& Kept) {
  std::vector<double> Values;
  Values.reserve(Kept.size());
  for (std::size_t r : Kept) Values.push_back(Cells.Value[r]);
  return Values;
}

// A factor's levels in the kept rows: numbers in numeric order, shown as R
// shows them, when every cell is a number; otherwise the texts in byte
// order. Level[i] is row Kept[i]'s level.
struct TLevels {
  std::vector<std::string> Names;
  std::vector<std::size_t> Of;
};

TLevels LevelsOf(const TTextColumn& Column, const TCells& Cells, const std::vector<std::size_t>& Kept) {
  const bool Numeric = std::all_of(Kept.begin(), Kept.end(), [&](std::size_t r) { return Cells.Kind[r] == TKind::Number; });
  std::vector<std::pair<double, std::string>> Keys;
  for (std::size_t r : Kept) {
    Keys.emplace_back(Numeric ? Cells.Value[r] : 0.0,
                      Numeric ? ShortestNumber(Cells.Value[r]) : std::string(Trimmed(Column.Cell(r))));
  }
  std::vector<std::pair<double, std::string>> Sorted = Keys;
  std::sort(Sorted.begin(), Sorted.end());
  Sorted.erase(std::unique(Sorted.begin(), Sorted.end()), Sorted.end());
  TLevels Levels;
  for (const auto& Key : Sorted) Levels.Names.push_back(Key.second);
  for (const auto& Key : Keys) {
    Levels.Of.push_back(static_cast<std::size_t>(std::lower_bound(Sorted.begin(), Sorted.end(), Key) - Sorted.begin()));
  }
  return Levels;
}

// Treatment dummies of a factor against its first level, named as R names
// them (NAMElevel).
void AddDummies(const std::string& Name, const TLevels& Levels, const std::string& Source, int FirstText,
                const TTextColumn& Column, TAnalysisData& Data) {
  // Why the column is a factor, when a cell made it one.
  const std::string Why =
      FirstText < 0 ? Source + ": column " + Quoted(Name) + " as a factor"
                    : Where(Source, static_cast<std::size_t>(FirstText), Name) + ": " +
                          Shown(Column.Cell(static_cast<std::size_t>(FirstText))) + " is not a number; as a factor it";
  if (Levels.Names.size() < 2) {
    throw TInputError(Why + " has the one level " + Quoted(Levels.Names.front()) +
                      " in the rows used, and a factor needs two");
  }
  const std::size_t Total = Data.X.size() + Levels.Names.size() - 1;
  if (Total > static_cast<std::size_t>(MaxVars)) {
    throw TInputError(Why + " has " + std::to_string(Levels.Names.size()) + " levels, which make " +
                      std::to_string(Total) + " predictors with the others; at most " + std::to_string(MaxVars) +
                      " are possible");
  }
  for (std::size_t l = 1; l < Levels.Names.size(); ++l) {
    std::vector<double> Dummy(Levels.Of.size());
    for (std::size_t i = 0; i < Levels.Of.size(); ++i) Dummy[i] = Levels.Of[i] == l;
    Data.XNames.push_back(Printable(Name + Levels.Names[l]));
    Data.X.push_back(std::move(Dummy));
  }
  Data.Dummies = true;
}

long long MissingCount(const TCells& Cells) {
  return std::count(Cells.Kind.begin(), Cells.Kind.end(), TKind::Missing);
}

int FirstTextRow(const TCells& Cells) {
  const auto Found = std::find(Cells.Kind.begin(), Cells.Kind.end(), TKind::Text);
  return Found == Cells.Kind.end() ? -1 : static_cast<int>(Found - Cells.Kind.begin());
}

void CheckFactorNames(const std::vector<std::string>& Factors, const std::vector<std::string>& Predictors,
                      const std::string& Source) {
  for (const std::string& Name : Factors) {
    if (std::find(Predictors.begin(), Predictors.end(), Name) == Predictors.end()) {
      throw TInputError(Source + ": --factor " + Quoted(Name) + " is not one of the predictors");
    }
  }
}

}  // namespace

TAnalysisData SelectColumns(const TCsvTable& Table, const std::string& Source, const std::string& YName,
                            const std::vector<std::string>& XNames, const TDataRules& Rules) {
  const std::vector<int> Columns = PickColumns(Table.Names, Source, YName, XNames);
  const std::string Name = Printable(Source);
  std::vector<TCells> Cells;
  std::vector<std::string> Names;
  for (int c : Columns) {
    Cells.push_back(Classify(Table.Columns[c], Rules));
    Names.push_back(Table.Names[c]);
  }
  CheckFactorNames(Rules.Factors, std::vector<std::string>(Names.begin(), Names.end() - 1), Name);
  if (const int Row = FirstTextRow(Cells.back()); Row >= 0) {
    throw TInputError(Where(Name, static_cast<std::size_t>(Row), Names.back()) + ": " +
                      Shown(Table.Columns[Columns.back()].Cell(static_cast<std::size_t>(Row))) + " is not a number");
  }
  TAnalysisData Data;
  Data.Source = Name;
  const std::vector<std::size_t> Kept = CompleteRows(Cells, Names, Name, Rules, Data);
  for (std::size_t r : Kept) Data.Rows.push_back(static_cast<long long>(r) + 1);
  Data.YName = Printable(Names.back());
  Data.Y = Numbers(Cells.back(), Kept);
  for (std::size_t i = 0; i + 1 < Columns.size(); ++i) {
    const int FirstText = FirstTextRow(Cells[i]);
    const bool Factor = FirstText >= 0 || std::find(Rules.Factors.begin(), Rules.Factors.end(), Names[i]) != Rules.Factors.end();
    if (Factor) {
      const TTextColumn& Column = Table.Columns[Columns[i]];
      AddDummies(Names[i], LevelsOf(Column, Cells[i], Kept), Name, FirstText, Column, Data);
      Data.Missing.resize(Data.X.size(), MissingCount(Cells[i]));
      continue;
    }
    if (Data.X.size() == static_cast<std::size_t>(MaxVars)) {
      throw TInputError(Name + ": " + std::to_string(Columns.size()) + " columns make more than " +
                        std::to_string(MaxVars) + " predictors with the dummies");
    }
    Data.XNames.push_back(Printable(Names[i]));
    Data.X.push_back(Numbers(Cells[i], Kept));
    Data.Missing.push_back(MissingCount(Cells[i]));
  }
  Data.Missing.push_back(MissingCount(Cells.back()));
  for (const std::string& Column : Table.Header) {
    if (std::find(Names.begin(), Names.end(), Column) == Names.end()) Data.Unused.push_back(Printable(Column));
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
