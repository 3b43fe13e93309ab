// The writer of the tool's named result tables.
#include "results.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <set>
#include <stdexcept>
#include <string_view>

#include <nlohmann/json.hpp>

#include "csv_table.h"
#include "output.h"

namespace varnel::cli {
namespace {

using TJson = nlohmann::ordered_json;

// Below this a p-value is shown as a bound, as R's format.pval shows it: a
// difference from 1 smaller than ε cannot be told from rounding.
constexpr double kSmallestShownPValue = std::numeric_limits<double>::epsilon();

// Every writer checks first, so that a caller's mistake never leaves half a
// table in the output.
void CheckShape(const TResultTable& Table) {
  for (std::size_t r = 0; r < Table.Rows.size(); ++r) {
    if (Table.Rows[r].size() == Table.Columns.size()) continue;
    throw std::logic_error("result table " + Table.Name + ": row " + std::to_string(r + 1) + " has " +
                           std::to_string(Table.Rows[r].size()) + " cells for " +
                           std::to_string(Table.Columns.size()) + " columns");
  }
}


std::string Quoted(const std::string& Name) { return "\"" + Printable(Name, kShownCellBytes) + "\""; }

// --- CSV ---

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Readers commonly trim unquoted fields, so outer blanks are quoted too.
std::string CsvField(const std::string& Text) {
  const bool Plain = Text.find_first_of(",\"\r\n") == std::string::npos &&
                     (Text.empty() || (!IsBlank(Text.front()) && !IsBlank(Text.back())));
  if (Plain) return Text;
  std::string Out = "\"";
  for (char c : Text) Out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return Out + "\"";
}

std::string CsvCell(const TCell& Cell) {
  if (const auto* Number = std::get_if<double>(&Cell)) return ShortestNumber(*Number);
  if (const auto* Count = std::get_if<long long>(&Cell)) return std::to_string(*Count);
  if (const auto* Text = std::get_if<std::string>(&Cell)) return CsvField(*Text);
  return {};
}

// A lone empty field would make a blank line, which readers skip as no row.
void CsvLine(const std::vector<std::string>& Fields, std::ostream& Out) {
  if (Fields.size() == 1 && Fields[0].empty()) {
    Out << "\"\"\r\n";
    return;
  }
  for (std::size_t c = 0; c < Fields.size(); ++c) Out << (c ? "," : "") << Fields[c];
  Out << "\r\n";
}

// --- JSON ---

// An ordered_json object keeps only the last of two equal keys.
void RequireDistinct(const std::vector<std::string>& Keys, const std::string& Where) {
  std::set<std::string> Seen;
  for (const auto& Key : Keys) {
    if (!Seen.insert(Key).second) throw TInputError(Where + ": " + Quoted(Key) + " is used twice; JSON needs distinct names");
  }
}

void CheckJsonKeys(const TResults& Results) {
  std::vector<std::string> Names = {"meta"};
  for (const auto& Table : Results.Tables) {
    CheckShape(Table);
    RequireDistinct(Table.Columns, "the table " + Quoted(Table.Name));
    Names.push_back(Table.Name);
  }
  RequireDistinct(Names, "the results");
}

TJson JsonNumber(double Value) { return std::isfinite(Value) ? TJson(Value) : TJson(nullptr); }

TJson JsonCell(const TCell& Cell) {
  if (const auto* Number = std::get_if<double>(&Cell)) return JsonNumber(*Number);
  if (const auto* Count = std::get_if<long long>(&Cell)) return TJson(*Count);
  if (const auto* Text = std::get_if<std::string>(&Cell)) return TJson(*Text);
  return TJson(nullptr);
}

TJson JsonMeta(const TMeta& Meta) {
  TJson Out = TJson::object();
  Out["command"] = Meta.Command;
  Out["file"] = Meta.File;
  Out["n"] = Meta.N;
  Out["k"] = Meta.K;
  Out["level"] = JsonNumber(Meta.Level);
  Out["response"] = Meta.Response;
  Out["predictors"] = Meta.Predictors;
  Out["version"] = Meta.Version;
  return Out;
}

TJson JsonTable(const TResultTable& Table) {
  TJson Rows = TJson::array();
  for (const auto& Cells : Table.Rows) {
    TJson Row = TJson::object();
    for (std::size_t c = 0; c < Cells.size(); ++c) Row[Table.Columns[c]] = JsonCell(Cells[c]);
    Rows.push_back(std::move(Row));
  }
  return Rows;
}

// --- text ---

bool EndsWith(const std::string& Text, const std::string& End) {
  return Text.size() >= End.size() && Text.compare(Text.size() - End.size(), End.size(), End) == 0;
}

bool IsPValueColumn(const std::string& Name) { return EndsWith(Name, "p.value"); }

void AppendSignificant(std::string& Out, double Value, int Digits) {
  char Buffer[64];
  Out.append(Buffer, std::to_chars(Buffer, Buffer + sizeof Buffer, Value, std::chars_format::general, Digits).ptr);
}

void AppendNumber(std::string& Out, double Value, bool PValue) {
  if (!std::isfinite(Value)) {
    Out += "NA";
  } else if (!PValue) {
    AppendSignificant(Out, Value, 7);
  } else if (Value < kSmallestShownPValue) {
    Out += "< 2.2e-16";
  } else {
    AppendSignificant(Out, Value, 4);
  }
}

void AppendCell(std::string& Out, const TCell& Cell, bool PValue) {
  if (const auto* Number = std::get_if<double>(&Cell)) return AppendNumber(Out, *Number, PValue);
  if (const auto* Count = std::get_if<long long>(&Cell)) {
    char Buffer[24];
    Out.append(Buffer, std::to_chars(Buffer, Buffer + sizeof Buffer, *Count).ptr);
    return;
  }
  if (const auto* Text = std::get_if<std::string>(&Cell)) {
    Out += Printable(*Text);
  } else {
    Out += "NA";
  }
}

// Every shown cell of a table, header first, row by row: their texts one
// after another in one string (a table of 20,000 observations has close to
// a million cells) and where each ends.
struct TGrid {
  std::size_t Columns = 0;
  std::string Texts;
  std::vector<std::size_t> Ends;
  std::vector<bool> Left;  // text and numbers take their own sides

  std::string_view Cell(std::size_t i) const {
    const std::size_t Begin = i ? Ends[i - 1] : 0;
    return std::string_view(Texts).substr(Begin, Ends[i] - Begin);
  }
};

// The header and "NA" follow their column, which is a text column when any
// of its cells is text.
TGrid TextGrid(const TResultTable& Table) {
  TGrid Grid;
  Grid.Columns = Table.Columns.size();
  std::vector<bool> TextColumn(Grid.Columns, false), PValue(Grid.Columns);
  for (const auto& Cells : Table.Rows) {
    for (std::size_t c = 0; c < Cells.size(); ++c) TextColumn[c] = TextColumn[c] || std::holds_alternative<std::string>(Cells[c]);
  }
  const std::size_t Count = (Table.Rows.size() + 1) * Grid.Columns;
  Grid.Texts.reserve(Count * 10);
  Grid.Ends.reserve(Count);
  Grid.Left.reserve(Count);
  for (std::size_t c = 0; c < Grid.Columns; ++c) {
    PValue[c] = IsPValueColumn(Table.Columns[c]);
    Grid.Texts += Printable(Table.Columns[c]);
    Grid.Ends.push_back(Grid.Texts.size());
    Grid.Left.push_back(TextColumn[c]);
  }
  for (const auto& Cells : Table.Rows) {
    for (std::size_t c = 0; c < Cells.size(); ++c) {
      AppendCell(Grid.Texts, Cells[c], PValue[c]);
      Grid.Ends.push_back(Grid.Texts.size());
      Grid.Left.push_back(std::holds_alternative<std::string>(Cells[c]) ||
                          (std::holds_alternative<std::monostate>(Cells[c]) && TextColumn[c]));
    }
  }
  return Grid;
}

// Characters, not bytes, so that names in UTF-8 line up.
std::size_t ShownWidth(std::string_view Text) {
  std::size_t Width = 0;
  for (unsigned char c : Text) Width += (c & 0xC0) != 0x80;
  return Width;
}

// The whole table laid out in one string and written at once.
void WriteGrid(const TGrid& Grid, std::ostream& Out) {
  const std::size_t Cells = Grid.Ends.size();
  std::vector<std::size_t> Shown(Cells), Width(Grid.Columns, 0);
  for (std::size_t i = 0; i < Cells; ++i) {
    Shown[i] = ShownWidth(Grid.Cell(i));
    Width[i % Grid.Columns] = std::max(Width[i % Grid.Columns], Shown[i]);
  }
  std::size_t LineWidth = 0;
  for (std::size_t w : Width) LineWidth += w + 2;
  std::string Text;
  Text.reserve(Cells / std::max<std::size_t>(Grid.Columns, 1) * LineWidth);
  for (std::size_t i = 0; i < Cells; ++i) {
    const std::size_t c = i % Grid.Columns, Padding = Width[c] - Shown[i];
    if (c) Text.append(2, ' ');
    if (!Grid.Left[i]) Text.append(Padding, ' ');
    Text += Grid.Cell(i);
    if (Grid.Left[i]) Text.append(Padding, ' ');
    if (c + 1 == Grid.Columns) {
      Text.erase(Text.find_last_not_of(' ') + 1);
      Text += '\n';
    }
  }
  Out << Text;
}

}  // namespace

std::string ShortestNumber(double Value) {
  if (!std::isfinite(Value)) return {};
  char Buffer[64];
  return std::string(Buffer, std::to_chars(Buffer, Buffer + sizeof Buffer, Value).ptr);
}

const TResultTable& FindTable(const TResults& Results, const std::string& Name) {
  if (Name.empty() && !Results.Tables.empty()) return Results.Tables.front();
  std::string Names;
  for (const auto& Table : Results.Tables) {
    if (Table.Name == Name) return Table;
    Names += (Names.empty() ? "" : ", ") + Table.Name;
  }
  if (Names.empty()) throw TInputError("no table " + Quoted(Name) + "; there are no tables");
  throw TInputError("no table " + Quoted(Name) + "; the tables are " + Names);
}

void WriteCsv(const TResultTable& Table, std::ostream& Out) {
  CheckShape(Table);
  std::vector<std::string> Fields;
  for (const auto& Column : Table.Columns) Fields.push_back(CsvField(Column));
  CsvLine(Fields, Out);
  for (const auto& Cells : Table.Rows) {
    Fields.clear();
    for (const auto& Cell : Cells) Fields.push_back(CsvCell(Cell));
    CsvLine(Fields, Out);
  }
}

void WriteJson(const TResults& Results, std::ostream& Out) {
  CheckJsonKeys(Results);
  TJson Json = TJson::object();
  Json["meta"] = JsonMeta(Results.Meta);
  for (const auto& Table : Results.Tables) Json[Table.Name] = JsonTable(Table);
  Out << Json.dump(2, ' ', false, TJson::error_handler_t::replace) << '\n';
}

void WriteText(const TResults& Results, std::ostream& Out, bool Raw) {
  for (const auto& Table : Results.Tables) CheckShape(Table);
  for (const auto& Table : Results.Tables) {
    if (!Table.Title.empty()) Out << Printable(Table.Title) << '\n';
    WriteGrid(TextGrid(Table), Out);
    for (const auto& Note : Table.Notes) Out << ShownComponentText(Note, Raw);
    Out << '\n';
  }
}

}  // namespace varnel::cli
