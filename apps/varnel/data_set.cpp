// SPDX-License-Identifier: Apache-2.0
#include "data_set.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string_view>
#include <utility>

#include "output.h"
#include "results.h"

namespace varnel::cli {
namespace {


// The file's columns, for an error that names one it lacks: at most 30, so
// that a wide file still gives one readable line.
std::string ColumnList(const std::vector<std::string>& Names) {
  constexpr std::size_t kShown = 30;
  std::string Text;
  for (std::size_t c = 0; c < Names.size() && c < kShown; ++c) Text += (c ? ", " : "") + Quoted(Names[c]);
  return Names.size() > kShown ? Text + ", ... (" + std::to_string(Names.size()) + " in all)" : Text;
}

int ColumnOf(const std::vector<std::string>& Names, const std::string& Source, const std::string& Name) {
  const auto Found = std::find(Names.begin(), Names.end(), Name);
  if (Found == Names.end()) {
    throw TInputError(Source + ": no column named " + Quoted(Name) + "; the columns are " + ColumnList(Names));
  }
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

std::vector<int> CarriedColumns(const std::vector<std::string>& Names, const std::string& Source,
                                const std::string& Key, const std::string& Weights, int YColumn) {
  const std::string Shown = Printable(Source);
  std::vector<int> Carried;
  for (const auto& [Option, Name] : {std::pair{"--cluster", &Key}, std::pair{"--weights", &Weights}}) {
    if (Name->empty()) continue;
    const int c = ColumnOf(Names, Shown, *Name);
    const std::string Which = Shown + ": the column " + Quoted(*Name) + " of " + Option;
    if (c == YColumn) throw TInputError(Which + " cannot also be the response");
    if (std::find(Carried.begin(), Carried.end(), c) != Carried.end()) throw TInputError(Which + " is named twice");
    Carried.push_back(c);
  }
  return Carried;
}

std::vector<int> PickColumns(const std::vector<std::string>& Names, const std::string& Source,
                             const std::string& YName, const std::vector<std::string>& XNames, bool Response,
                             std::size_t MaxPredictors, const std::string& Key, const std::string& Weights) {
  const std::string Shown = Printable(Source);
  if (Names.empty()) throw TInputError(Shown + ": no columns");
  const int YColumn = !Response       ? -1
                      : YName.empty() ? static_cast<int>(Names.size()) - 1
                                      : ColumnOf(Names, Shown, YName);
  const std::vector<int> Carried = CarriedColumns(Names, Source, Key, Weights, YColumn);
  const auto IsCarried = [&Carried](int c) { return std::find(Carried.begin(), Carried.end(), c) != Carried.end(); };
  std::vector<int> Columns;
  if (XNames.empty()) {
    for (int c = 0; c < static_cast<int>(Names.size()); ++c) {
      if (c != YColumn && !IsCarried(c)) Columns.push_back(c);
    }
  } else {
    Columns = NamedPredictors(Names, Shown, YColumn, XNames);
    for (int c : Columns) {
      if (IsCarried(c))
        throw TInputError(Shown + ": the column " + Quoted(Names[static_cast<std::size_t>(c)]) +
                          " of --cluster or --weights cannot also be a predictor");
    }
  }
  if (Columns.empty()) throw TInputError(Shown + ": no predictor columns: the file's one column is the response");
  if (Columns.size() > MaxPredictors) {
    const std::string Why = Shown + ": " + std::to_string(Columns.size()) + " predictors, at most " +
                            std::to_string(MaxPredictors) + " are possible; --x A,B,... names the ones to use";
    if (MaxPredictors == static_cast<std::size_t>(MaxVars)) throw TCapacityError(Why);
    throw TInputError(Why);
  }
  if (Response) Columns.push_back(YColumn);
  Columns.insert(Columns.end(), Carried.begin(), Carried.end());
  return Columns;
}

namespace {

using TKind = TCellKind;

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

// from_chars refuses a number beyond double's range either way. One too
// small for a double is 0, as R reads it; one too large is Beyond. Extended
// precision, whose exponent reaches 4932, tells the two apart.
TKind OutOfRange(const char* Begin, const char* End, double& Value) {
  long double Wide = 0;
  const auto [Last, Error] = std::from_chars(Begin, End, Wide);
  if (Error != std::errc() || Last != End || std::fabs(Wide) >= 1) return TKind::Beyond;
  Value = std::copysign(0.0, static_cast<double>(Wide));
  return TKind::Number;
}

// A whole finite number, with Decimal as its decimal mark; from_chars takes
// no plus sign, so one is skipped, but not in front of a minus. "inf",
// "nan" and hexadecimal are not numbers.
TKind ReadNumber(std::string_view Text, char Decimal, double& Value) {
  char Buffer[64];
  if (Decimal != '.') {
    if (Text.size() > sizeof Buffer || Text.find('.') != std::string_view::npos) return TKind::Text;
    std::replace_copy(Text.begin(), Text.end(), Buffer, Decimal, '.');
    Text = std::string_view(Buffer, Text.size());
  }
  if (Text.empty()) return TKind::Text;
  const char* Begin = Text.data() + (Text[0] == '+' && Text.size() > 1 && Text[1] != '-');
  const char* const End = Text.data() + Text.size();
  const auto [Last, Error] = std::from_chars(Begin, End, Value);
  if (Last != End) return TKind::Text;
  if (Error == std::errc::result_out_of_range) return OutOfRange(Begin, End, Value);
  return Error == std::errc() && std::isfinite(Value) ? TKind::Number : TKind::Text;
}

// The missing spellings are looked at first, so that --na -999 makes a
// number missing. They are compared as text, as R's na.strings: -999.0 is
// not -999.
TKind ClassifyCell(std::string_view Cell, const TDataRules& Rules, double& Value) {
  const std::string_view Text = Trimmed(Cell);
  const bool Missing = std::find(Rules.Missing.begin(), Rules.Missing.end(), Text) != Rules.Missing.end();
  return Missing ? TKind::Missing : ReadNumber(Text, Rules.Decimal, Value);
}

TCells Classify(const TTextColumn& Column, const TDataRules& Rules) {
  TCells Cells{std::vector<TKind>(Column.Size()), std::vector<double>(Column.Size())};
  for (std::size_t r = 0; r < Column.Size(); ++r) Cells.Kind[r] = ClassifyCell(Column.Cell(r), Rules, Cells.Value[r]);
  return Cells;
}

std::string Where(const std::string& Source, std::size_t Row, const std::string& Column) {
  return Source + ": data row " + std::to_string(Row + 1) + ", column " + Quoted(Column);
}

// A no-break space looks like a blank but keeps a cell from being a
// number: it is shown escaped.
std::string Shown(std::string_view Cell) {
  std::string Text = Printable(std::string(Trimmed(Cell)), kShownCellBytes);
  for (std::size_t At = 0; (At = Text.find("\xC2\xA0", At)) != std::string::npos;) Text.replace(At, 2, "\\xc2\\xa0");
  return "'" + Text + "'";
}

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
    throw TCapacityError(Source + ": " + std::to_string(Kept.size()) + " rows to analyse, at most " +
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

// --ref's level first, the others after it in their order.
void Relevel(TLevels& Levels, const std::string& Name, const TDataRules& Rules, const std::string& Source) {
  for (const auto& [Factor, Level] : Rules.References) {
    if (Factor != Name) continue;
    const auto Found = std::find(Levels.Names.begin(), Levels.Names.end(), Level);
    if (Found == Levels.Names.end()) {
      throw TInputError(Source + ": --ref " + Printable(Name + "=" + Level, kShownCellBytes) + ": the factor " +
                        Quoted(Name) + " has no level " + Quoted(Level) + " in the rows used");
    }
    const auto At = static_cast<std::size_t>(Found - Levels.Names.begin());
    std::rotate(Levels.Names.begin(), Found, Found + 1);
    for (std::size_t& Of : Levels.Of) Of = Of == At ? 0 : Of < At ? Of + 1 : Of;
  }
}

// Each --ref must name a factor that is read.
void CheckReferences(const TDataRules& Rules, const std::vector<std::string>& Names, const std::vector<bool>& Factor,
                     const std::string& Source) {
  for (const auto& Reference : Rules.References) {
    const auto Found = std::find(Names.begin(), Names.end(), Reference.first);
    if (Found == Names.end() || !Factor[static_cast<std::size_t>(Found - Names.begin())]) {
      throw TInputError(Source + ": --ref " + Quoted(Reference.first) +
                        (Found == Names.end() ? " is not a column the model uses" : " is not a factor"));
    }
  }
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
    throw TCapacityError(Why + " has " + std::to_string(Levels.Names.size()) + " levels, which make " +
                      std::to_string(Total) + " predictors with the others; at most " + std::to_string(MaxVars) +
                      " are possible");
  }
  for (std::size_t l = 1; l < Levels.Names.size(); ++l) {
    std::vector<double> Dummy(Levels.Of.size());
    for (std::size_t i = 0; i < Levels.Of.size(); ++i) Dummy[i] = Levels.Of[i] == l;
    Data.XNames.push_back(Printable(Name + Levels.Names[l]));
    Data.TermOf.push_back(static_cast<int>(Data.TermNames.size()));
    Data.X.push_back(std::move(Dummy));
  }
  Data.TermNames.push_back(Printable(Name));
  Data.Dummies = true;
}

long long MissingCount(const TCells& Cells) {
  return std::count(Cells.Kind.begin(), Cells.Kind.end(), TKind::Missing);
}

int FirstTextRow(const TCells& Cells) {
  const auto Found = std::find_if(Cells.Kind.begin(), Cells.Kind.end(),
                                  [](TKind Kind) { return Kind == TKind::Text || Kind == TKind::Beyond; });
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

bool ReadsWithOtherMark(std::string_view Cell, char Decimal) {
  double Value = 0;
  return ReadNumber(Trimmed(Cell), Decimal == '.' ? ',' : '.', Value) == TKind::Number;
}

std::string DecimalHint(char Decimal) {
  return Decimal == '.' ? "with a decimal comma, --decimal , reads the numbers"
                        : "with a decimal point, the numbers read without --decimal ,";
}

constexpr const char* kBeyond = " is beyond the range of a double (about 1.8e308); --na TEXT reads such a cell as missing";

// The cells of a column that are neither numbers nor missing.
struct TNonNumbers {
  std::vector<std::size_t> Rows;
  std::size_t Numbers = 0;  // the column's cells that are
  bool OtherMark = true;    // whether each reads as a number with the other decimal mark
  int FirstBeyond = -1;
};

TNonNumbers NonNumbers(const TTextColumn& Column, const TCells& Cells, char Decimal) {
  TNonNumbers Found;
  for (std::size_t r = 0; r < Cells.Kind.size(); ++r) {
    const TKind Kind = Cells.Kind[r];
    Found.Numbers += Kind == TKind::Number;
    if (Kind != TKind::Text && Kind != TKind::Beyond) continue;
    if (Kind == TKind::Beyond && Found.FirstBeyond < 0) Found.FirstBeyond = static_cast<int>(r);
    Found.OtherMark = Found.OtherMark && Kind == TKind::Text && ReadsWithOtherMark(Column.Cell(r), Decimal);
    Found.Rows.push_back(r);
  }
  return Found;
}

std::string FirstCells(const TTextColumn& Column, const std::vector<std::size_t>& Rows) {
  constexpr std::size_t kShownCells = 3;
  std::string Text;
  for (std::size_t i = 0; i < Rows.size() && i < kShownCells; ++i) {
    Text += (i ? ", data row " : "data row ") + std::to_string(Rows[i] + 1) + " " + Shown(Column.Cell(Rows[i]));
  }
  return Rows.size() > kShownCells ? Text + ", ..." : Text;
}

// Whether a predictor that --factor does not name is a factor: a text
// column, most of whose non-missing cells are not numbers. A column of
// numbers with a few cells that are not (inf, 0x4, 1,002.5, a no-break
// space) is refused, naming them, rather than made silently a factor with
// a level for each value; so is a column whose cells are numbers with the
// other decimal mark, and one holding a number beyond double's range.
bool IsTextColumn(const TTextColumn& Column, const TCells& Cells, const std::string& Name, const std::string& Source,
                  char Decimal) {
  const TNonNumbers Found = NonNumbers(Column, Cells, Decimal);
  if (Found.Rows.empty()) return false;
  if (!Found.OtherMark && Found.Rows.size() > Found.Numbers) return true;
  if (Found.FirstBeyond >= 0) {
    const auto Row = static_cast<std::size_t>(Found.FirstBeyond);
    throw TInputError(Where(Source, Row, Name) + ": " + Shown(Column.Cell(Row)) + kBeyond);
  }
  const std::string What = Source + ": column " + Quoted(Name) + " holds " +
                           (Found.Numbers ? "numbers and " : "") +
                           (Found.Rows.size() == 1 ? "a cell that is not a number"
                                                   : std::to_string(Found.Rows.size()) + " cells that are not numbers") +
                           " (" + FirstCells(Column, Found.Rows) + ")";
  if (Found.OtherMark) throw TInputError(What + "; " + DecimalHint(Decimal));
  throw TInputError(What + "; --na TEXT reads such a cell as missing, --factor " + Quoted(Name) +
                    " makes the column a factor");
}

// The response takes numbers only.
void CheckResponse(const TTextColumn& Column, const TCells& Cells, const std::string& Name, const std::string& Source,
                   char Decimal) {
  const TNonNumbers Found = NonNumbers(Column, Cells, Decimal);
  if (Found.Rows.empty()) return;
  const std::size_t Row = Found.Rows.front();
  const std::string Cell = Where(Source, Row, Name) + ": " + Shown(Column.Cell(Row));
  if (Cells.Kind[Row] == TKind::Beyond) throw TInputError(Cell + kBeyond);
  throw TInputError(Cell + " is not a number; " +
                    (Found.OtherMark ? DecimalHint(Decimal) : "--na TEXT reads such a cell as missing"));
}

}  // namespace

TCellKind ReadCell(std::string_view Cell, const TDataRules& Rules, double& Value) {
  return ClassifyCell(Cell, Rules, Value);
}

bool PlainNumbersRead(const TDataRules& Rules) {
  return Rules.Decimal == '.' && std::none_of(Rules.Missing.begin(), Rules.Missing.end(), [](const std::string& Text) {
           double Value = 0;
           const auto [Last, Error] = std::from_chars(Text.data(), Text.data() + Text.size(), Value);
           return Error == std::errc() && Last == Text.data() + Text.size() && std::isfinite(Value);
         });
}

std::string_view TrimmedCell(std::string_view Cell) { return Trimmed(Cell); }

std::string ShownCell(std::string_view Cell) { return Shown(Cell); }

std::vector<bool> FactorColumns(const TCsvTable& Table, const std::string& Source, const TDataRules& Rules) {
  const bool Response = !Rules.NoResponse;
  const std::size_t Predictors = Table.Names.size() - (Response ? 1 : 0);
  std::vector<TCells> Cells;
  for (const auto& Column : Table.Columns) Cells.push_back(Classify(Column, Rules));
  CheckFactorNames(Rules.Factors, std::vector<std::string>(Table.Names.begin(), Table.Names.begin() + Predictors), Source);
  if (Response) CheckResponse(Table.Columns.back(), Cells.back(), Table.Names.back(), Source, Rules.Decimal);
  std::vector<bool> Factor(Predictors);
  for (std::size_t i = 0; i < Predictors; ++i) {
    Factor[i] = std::find(Rules.Factors.begin(), Rules.Factors.end(), Table.Names[i]) != Rules.Factors.end() ||
                IsTextColumn(Table.Columns[i], Cells[i], Table.Names[i], Source, Rules.Decimal);
  }
  return Factor;
}

TAnalysisData SelectColumns(const TCsvTable& Table, const std::string& Source, const std::string& YName,
                            const std::vector<std::string>& XNames, const TDataRules& Rules) {
  const bool Response = !Rules.NoResponse;
  const std::vector<int> Columns = PickColumns(Table.Names, Source, YName, XNames, Response);
  const std::size_t Predictors = Columns.size() - (Response ? 1 : 0);
  const std::string Name = Printable(Source);
  std::vector<TCells> Cells;
  std::vector<std::string> Names;
  for (int c : Columns) {
    Cells.push_back(Classify(Table.Columns[c], Rules));
    Names.push_back(Table.Names[c]);
  }
  const auto Named = Names.begin() + static_cast<std::ptrdiff_t>(Predictors);
  CheckFactorNames(Rules.Factors, std::vector<std::string>(Names.begin(), Named), Name);
  if (Response) CheckResponse(Table.Columns[Columns.back()], Cells.back(), Names.back(), Name, Rules.Decimal);
  std::vector<bool> Factor(Predictors);
  for (std::size_t i = 0; i < Predictors; ++i) {
    Factor[i] = std::find(Rules.Factors.begin(), Rules.Factors.end(), Names[i]) != Rules.Factors.end() ||
                IsTextColumn(Table.Columns[Columns[i]], Cells[i], Names[i], Name, Rules.Decimal);
  }
  CheckReferences(Rules, Names, Factor, Name);
  TAnalysisData Data;
  Data.Source = Name;
  const std::vector<std::size_t> Kept = CompleteRows(Cells, Names, Name, Rules, Data);
  for (std::size_t r : Kept) Data.Rows.push_back(static_cast<long long>(r) + 1);
  // Without a response the analyses read the predictors only; Y holds as
  // many zeros, so that the observations are counted alike.
  if (Response) Data.YName = Printable(Names.back());
  Data.Y = Response ? Numbers(Cells.back(), Kept) : std::vector<double>(Kept.size());
  for (std::size_t i = 0; i < Predictors; ++i) {
    const int FirstText = FirstTextRow(Cells[i]);
    if (Factor[i]) {
      const TTextColumn& Column = Table.Columns[Columns[i]];
      TLevels Levels = LevelsOf(Column, Cells[i], Kept);
      Relevel(Levels, Names[i], Rules, Name);
      AddDummies(Names[i], Levels, Name, FirstText, Column, Data);
      Data.Missing.resize(Data.X.size(), MissingCount(Cells[i]));
      continue;
    }
    if (Data.X.size() == static_cast<std::size_t>(MaxVars)) {
      throw TCapacityError(Name + ": " + std::to_string(Columns.size()) + " columns make more than " +
                        std::to_string(MaxVars) + " predictors with the dummies");
    }
    Data.XNames.push_back(Printable(Names[i]));
    Data.TermOf.push_back(static_cast<int>(Data.TermNames.size()));
    Data.TermNames.push_back(Data.XNames.back());
    Data.X.push_back(Numbers(Cells[i], Kept));
    Data.Missing.push_back(MissingCount(Cells[i]));
  }
  Data.Missing.push_back(Response ? MissingCount(Cells.back()) : 0);
  for (const std::string& Column : Table.Header) {
    if (std::find(Names.begin(), Names.end(), Column) == Names.end()) Data.Unused.push_back(Printable(Column));
  }
  return Data;
}

namespace {

std::vector<bool> RawFactorColumns(const TCsvTable& Table, const std::vector<TCells>& Cells, const std::string& Name,
                                   const std::vector<std::string>& Numeric, const TDataRules& Rules) {
  std::vector<bool> Factor;
  for (std::size_t c = 0; c < Table.Names.size(); ++c) {
    const bool Response = std::find(Numeric.begin(), Numeric.end(), Table.Names[c]) != Numeric.end();
    if (Response) CheckResponse(Table.Columns[c], Cells[c], Table.Names[c], Name, Rules.Decimal);
    Factor.push_back(!Response && (std::find(Rules.Factors.begin(), Rules.Factors.end(), Table.Names[c]) != Rules.Factors.end() ||
                                   IsTextColumn(Table.Columns[c], Cells[c], Table.Names[c], Name, Rules.Decimal)));
  }
  CheckFactorNames(Rules.Factors, Table.Names, Name);
  return Factor;
}

}  // namespace

std::vector<bool> FormulaFactorColumns(const TCsvTable& Table, const std::string& Source,
                                       const std::vector<std::string>& Numeric, const TDataRules& Rules) {
  std::vector<TCells> Cells;
  for (const auto& Column : Table.Columns) Cells.push_back(Classify(Column, Rules));
  return RawFactorColumns(Table, Cells, Printable(Source), Numeric, Rules);
}

TRawData SelectRawColumns(const TCsvTable& Table, const std::string& Source, const std::vector<std::string>& Numeric,
                          const TDataRules& Rules) {
  const std::string Name = Printable(Source);
  std::vector<TCells> Cells;
  for (const auto& Column : Table.Columns) Cells.push_back(Classify(Column, Rules));
  const std::vector<bool> Factor = RawFactorColumns(Table, Cells, Name, Numeric, Rules);
  CheckReferences(Rules, Table.Names, Factor, Name);
  TAnalysisData Dropped;
  const std::vector<std::size_t> Kept = CompleteRows(Cells, Table.Names, Name, Rules, Dropped);
  TRawData Data{Name, {}, {}, std::move(Dropped.Dropped), {}};
  for (std::size_t r : Kept) Data.Rows.push_back(static_cast<long long>(r) + 1);
  for (std::size_t c = 0; c < Table.Names.size(); ++c) {
    TRawColumn Column{Table.Names[c], {}, {}, MissingCount(Cells[c])};
    if (!Factor[c]) {
      Column.Values = Numbers(Cells[c], Kept);
    } else {
      TLevels Levels = LevelsOf(Table.Columns[c], Cells[c], Kept);
      Relevel(Levels, Table.Names[c], Rules, Name);
      if (Levels.Names.size() < 2) {
        throw TInputError(Name + ": column " + Quoted(Table.Names[c]) + " as a factor has the one level " +
                          Quoted(Levels.Names.front()) + " in the rows used, and a factor needs two");
      }
      Column.Levels = std::move(Levels.Names);
      for (std::size_t Of : Levels.Of) Column.Values.push_back(static_cast<double>(Of));
    }
    Data.Columns.push_back(std::move(Column));
  }
  for (const std::string& Column : Table.Header) {
    if (std::find(Table.Names.begin(), Table.Names.end(), Column) == Table.Names.end()) Data.Unused.push_back(Printable(Column));
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

namespace {

// "a", "b" and "c".
std::string NameList(const std::vector<std::string>& Names) {
  std::string Text;
  for (std::size_t i = 0; i < Names.size(); ++i) {
    Text += (i == 0 ? "" : i + 1 == Names.size() ? " and " : ", ") + Quoted(Names[i]);
  }
  return Text;
}

}  // namespace

namespace {

const TResultTable* TableNamed(const TResults& Results, const std::string& Name) {
  for (const auto& Table : Results.Tables) {
    if (Table.Name == Name) return &Table;
  }
  return nullptr;
}

// The fitted values from the estimates, the constant's first when the fit
// has one; empty when the table does not match the data.
std::vector<Extended> FittedValues(const TAnalysisData& Data, const TResultTable& Coefficients) {
  const std::vector<double> Beta = NumbersOf(Coefficients, "estimate");
  const bool Constant = !Coefficients.Rows.empty() && Coefficients.Rows[0][0] == TCell{std::string(kConstantTerm)};
  const std::size_t First = Constant ? 1 : 0;
  if (Beta.size() != First + Data.X.size()) return {};
  std::vector<Extended> Fitted(static_cast<std::size_t>(Data.N()), Constant ? Beta[0] : 0.0);
  for (std::size_t j = 0; j < Data.X.size(); ++j) {
    for (std::size_t i = 0; i < Fitted.size(); ++i) Fitted[i] += Extended(Beta[First + j]) * Data.X[j][i];
  }
  return Fitted;
}

}  // namespace

bool EssentiallyPerfectFit(const TAnalysisData& Data, const TResults& Results) {
  const TResultTable* Coefficients = TableNamed(Results, "coefficients");
  const TResultTable* Model = TableNamed(Results, "model");
  if (!Coefficients || !Model) return false;
  const std::vector<double> Sigma = NumbersOf(*Model, "sigma");
  const std::vector<Extended> Fitted = FittedValues(Data, *Coefficients);
  if (Sigma.size() != 1 || !std::isfinite(Sigma[0]) || Fitted.size() < 2) return false;
  Extended Mean = 0, Squares = 0;
  for (Extended f : Fitted) Mean += f;
  Mean /= Fitted.size();
  for (Extended f : Fitted) Squares += (f - Mean) * (f - Mean);
  const Extended Variance = Squares / (Fitted.size() - 1);
  return Extended(Sigma[0]) * Sigma[0] < (Mean * Mean + Variance) * 1e-30L;
}

// The scan's own sums, in extended precision and added left to right as it
// adds them, against its two thresholds: more than one predictor whose sum
// is within 0.01 of zero, or two whose sums differ by less than 1.
std::string ScanRefusal(const TAnalysisData& Data) {
  const int k = Data.K(), n = Data.N();
  if (n <= 2 || n <= k) return {};
  std::vector<std::string> NearZero, Similar;
  for (int j = 0; j < k; ++j) {
    Extended Sum = 0;
    for (int i = 0; i < n; ++i) Sum += Data.X[j][i];
    if (std::fabs(Sum) < 0.01L) NearZero.push_back(Data.XNames[j]);
  }
  for (int a = 1; a < k; ++a) {
    for (int b = 0; b < a; ++b) {
      Extended Difference = 0;
      for (int i = 0; i < n; ++i) Difference += Extended(Data.X[a][i]) - Data.X[b][i];
      if (std::fabs(Difference) < 1.0L) Similar.push_back(NameList({Data.XNames[b], Data.XNames[a]}));
    }
  }
  std::string Why;
  if (NearZero.size() > 1) {
    Why = NameList(NearZero) + " each sum to about zero (within 0.01; the scan allows one such predictor)";
  }
  if (!Similar.empty()) {
    constexpr std::size_t kShownPairs = 3;
    std::string Pairs;
    for (std::size_t p = 0; p < Similar.size() && p < kShownPairs; ++p) Pairs += (p ? "; " : "") + Similar[p];
    if (Similar.size() > kShownPairs) Pairs += "; and " + std::to_string(Similar.size() - kShownPairs) + " more pairs";
    Why += (Why.empty() ? "" : "; ") + Pairs + (Similar.size() == 1 ? " have" : " each have") +
           " nearly the same total (their sums differ by less than 1)";
  }
  return Why;
}

}  // namespace varnel::cli
