// SPDX-License-Identifier: Apache-2.0
// The writer of the tool's named result tables.
#include "results.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <future>
#include <limits>
#include <set>
#include <stdexcept>
#include <string_view>
#include <thread>

#include <nlohmann/json.hpp>

#include "csv_table.h"
#include "output.h"
#include "significant.h"

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
  if (Results.Stream) {
    RequireDistinct(Results.Stream->Columns, "the table " + Quoted(Results.Stream->Name));
    Names.push_back(Results.Stream->Name);
  }
  RequireDistinct(Names, "the results");
}

// The writer builds the text itself, so that every number is the shortest
// decimal that reads back to the same double (std::to_chars): nlohmann's
// dump writes up to 17 digits where fewer name the same double. The layout
// is dump(2)'s: two blanks per level, one member or element a line.
class TJsonText {
 public:
  std::string Text;

  // A string escaped as nlohmann escapes it; invalid UTF-8 becomes U+FFFD.
  void String(const std::string& Value) { Text += TJson(Value).dump(-1, ' ', false, TJson::error_handler_t::replace); }
  // A whole number keeps its ".0", as it had, so that a reader sees a
  // floating-point number where the column holds them.
  void Number(double Value) {
    if (!std::isfinite(Value)) return Null();
    const std::size_t Start = Text.size();
    Text += ShortestNumber(Value);
    if (Text.find_first_of(".e", Start) == std::string::npos) Text += ".0";
  }
  void Count(long long Value) {
    char Buffer[24];
    Text.append(Buffer, std::to_chars(Buffer, Buffer + sizeof Buffer, Value).ptr);
  }
  void Null() { Text += "null"; }
  void Boolean(bool Value) { Text += Value ? "true" : "false"; }

  // An object's or an array's opening, each member's start (its key for an
  // object), and its closing; Empty gives "{}" or "[]".
  void Open(char Bracket) {
    Text += Bracket;
    ++FDepth;
    FFirst = true;
  }
  TJsonText& Key(const std::string& Name) {
    Element();
    String(Name);
    Text += ": ";
    return *this;
  }
  void Element() {
    Text += FFirst ? "\n" : ",\n";
    Text.append(2 * FDepth, ' ');
    FFirst = false;
  }
  void Close(char Bracket) {
    --FDepth;
    if (!FFirst) {
      Text += '\n';
      Text.append(2 * FDepth, ' ');
    }
    Text += Bracket;
    FFirst = false;
  }

 private:
  std::size_t FDepth = 0;
  bool FFirst = true;
};

void JsonCell(TJsonText& Json, const TCell& Cell) {
  if (const auto* Number = std::get_if<double>(&Cell)) return Json.Number(*Number);
  if (const auto* Count = std::get_if<long long>(&Cell)) return Json.Count(*Count);
  if (const auto* Text = std::get_if<std::string>(&Cell)) return Json.String(*Text);
  Json.Null();
}

// A command without a response (the unsupervised ones given --x alone, and
// table) has null there.
void JsonMeta(TJsonText& Json, const TMeta& Meta) {
  Json.Open('{');
  Json.Key("command").String(Meta.Command);
  Json.Key("file").String(Meta.File);
  Json.Key("n").Count(Meta.N);
  Json.Key("dropped").Count(Meta.Dropped);
  Json.Key("k").Count(Meta.K);
  Json.Key("level").Number(Meta.Level);
  Json.Key("response");
  if (Meta.Response.empty()) {
    Json.Null();
  } else {
    Json.String(Meta.Response);
  }
  Json.Key("predictors").Open('[');
  for (const auto& Name : Meta.Predictors) {
    Json.Element();
    Json.String(Name);
  }
  Json.Close(']');
  if (Meta.Scaled) Json.Key("scaled").Boolean(*Meta.Scaled);
  if (Meta.Vcov) Json.Key("vcov").String(*Meta.Vcov);
  if (Meta.Weights) Json.Key("weights").String(*Meta.Weights);
  Json.Key("version").String(Meta.Version);
  Json.Close('}');
}

// The keys are the same in every row: escaped once.
std::vector<std::string> JsonKeys(const std::vector<std::string>& Columns) {
  std::vector<std::string> Keys;
  for (const auto& Column : Columns) Keys.push_back(TJson(Column).dump(-1, ' ', false, TJson::error_handler_t::replace) + ": ");
  return Keys;
}

void JsonRows(TJsonText& Json, const std::vector<std::string>& Keys, const std::vector<std::vector<TCell>>& Rows) {
  for (const auto& Cells : Rows) {
    Json.Element();
    Json.Open('{');
    for (std::size_t c = 0; c < Cells.size(); ++c) {
      Json.Element();
      Json.Text += Keys[c];
      JsonCell(Json, Cells[c]);
    }
    Json.Close('}');
  }
}

void JsonTable(TJsonText& Json, const TResultTable& Table) {
  Json.Open('[');
  JsonRows(Json, JsonKeys(Table.Columns), Table.Rows);
  Json.Close(']');
}

void Flush(std::string& Text, std::ostream& Out) {
  Out.write(Text.data(), static_cast<std::streamsize>(Text.size()));
  Text.clear();
}

// --- text ---

bool EndsWith(const std::string& Text, const std::string& End) {
  return Text.size() >= End.size() && Text.compare(Text.size() - End.size(), End.size(), End) == 0;
}

bool IsPValueColumn(const std::string& Name) { return EndsWith(Name, "p.value"); }

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

// The shown cells of some consecutive rows of a table (or of its header):
// their texts one after another in one string (a table of 20,000
// observations has close to a million cells), where each ends, its width
// and its side.
struct TGridPart {
  std::string Texts;
  std::vector<std::size_t> Ends;
  std::vector<std::uint32_t> Widths;
  std::vector<std::uint8_t> Left;  // text and numbers take their own sides

  std::string_view Cell(std::size_t i) const {
    const std::size_t Begin = i ? Ends[i - 1] : 0;
    return std::string_view(Texts).substr(Begin, Ends[i] - Begin);
  }
};

// How a table's columns are shown: the header and "NA" follow their
// column, which is a text column when any of its cells is text.
struct TColumnKinds {
  std::vector<bool> Text, PValue;
};

TColumnKinds KindsOf(const TResultTable& Table) {
  TColumnKinds Kinds{std::vector<bool>(Table.Columns.size()), std::vector<bool>(Table.Columns.size())};
  for (std::size_t c = 0; c < Table.Columns.size(); ++c) Kinds.PValue[c] = IsPValueColumn(Table.Columns[c]);
  for (const auto& Cells : Table.Rows) {
    for (std::size_t c = 0; c < Cells.size(); ++c) Kinds.Text[c] = Kinds.Text[c] || std::holds_alternative<std::string>(Cells[c]);
  }
  return Kinds;
}

// Characters, not bytes, so that names in UTF-8 line up.
std::size_t ShownWidth(std::string_view Text) {
  std::size_t Width = 0;
  for (unsigned char c : Text) Width += (c & 0xC0) != 0x80;
  return Width;
}

// Numbers and "NA" are ASCII: their width is their length.
void AddCell(TGridPart& Part, std::size_t Begin, bool Text, bool Left) {
  const std::string_view Shown = std::string_view(Part.Texts).substr(Begin);
  Part.Ends.push_back(Part.Texts.size());
  Part.Widths.push_back(static_cast<std::uint32_t>(Text ? ShownWidth(Shown) : Shown.size()));
  Part.Left.push_back(Left);
}

TGridPart HeaderPart(const TResultTable& Table, const TColumnKinds& Kinds) {
  TGridPart Part;
  for (std::size_t c = 0; c < Table.Columns.size(); ++c) {
    const std::size_t Begin = Part.Texts.size();
    Part.Texts += Printable(Table.Columns[c]);
    AddCell(Part, Begin, true, Kinds.Text[c]);
  }
  return Part;
}

TGridPart RowsPart(const TResultTable& Table, const TColumnKinds& Kinds, std::size_t First, std::size_t End) {
  TGridPart Part;
  const std::size_t Count = (End - First) * Table.Columns.size();
  Part.Texts.reserve(Count * 12);
  Part.Ends.reserve(Count);
  Part.Widths.reserve(Count);
  Part.Left.reserve(Count);
  for (std::size_t r = First; r < End; ++r) {
    const auto& Cells = Table.Rows[r];
    for (std::size_t c = 0; c < Cells.size(); ++c) {
      const std::size_t Begin = Part.Texts.size();
      AppendCell(Part.Texts, Cells[c], Kinds.PValue[c]);
      const bool Text = std::holds_alternative<std::string>(Cells[c]);
      AddCell(Part, Begin, Text, Text || (std::holds_alternative<std::monostate>(Cells[c]) && Kinds.Text[c]));
    }
  }
  return Part;
}

// The part's lines, each cell padded to its column's width; written into
// blanks, so that a cell's padding is already there.
std::string LaidOut(const TGridPart& Part, const std::vector<std::size_t>& Width) {
  const std::size_t Columns = Width.size(), Cells = Part.Ends.size(), Rows = Columns ? Cells / Columns : 0;
  std::size_t Shown = 0;
  for (std::uint32_t w : Part.Widths) Shown += w;
  // Every cell's bytes, its padding, two blanks between cells, a line end.
  std::size_t Bytes = Part.Texts.size() - Shown + Rows * (2 * Columns - 1);
  for (std::size_t w : Width) Bytes += Rows * w;
  std::string Text(Bytes, ' ');
  std::size_t At = 0;
  for (std::size_t i = 0, c = 0; i < Cells; ++i) {
    const std::size_t Padding = Width[c] - Part.Widths[i];
    const std::string_view Cell = Part.Cell(i);
    if (c) At += 2;
    if (!Part.Left[i]) At += Padding;
    std::copy(Cell.begin(), Cell.end(), Text.begin() + static_cast<std::ptrdiff_t>(At));
    At += Cell.size();
    if (++c < Columns) {
      if (Part.Left[i]) At += Padding;
      continue;
    }
    c = 0;
    while (At > 0 && Text[At - 1] == ' ') --At;  // the previous line's end stops it
    Text[At++] = '\n';
  }
  Text.resize(At);
  return Text;
}

// Runs Work(0) .. Work(Count - 1), all but the first on threads of their
// own; their exceptions reach the caller. With deferred allowed as well, a
// thread that cannot be started leaves its part to get(), in this thread.
template <class TWork>
void InParallel(std::size_t Count, const TWork& Work) {
  std::vector<std::future<void>> Others;
  for (std::size_t p = 1; p < Count; ++p) {
    Others.push_back(std::async(std::launch::async | std::launch::deferred, Work, p));
  }
  Work(0);
  for (auto& Other : Others) Other.get();
}

// Formatting is most of the time of writing a large table, and the rows'
// texts do not depend on each other: large tables are formatted and laid
// out in as many parts as there are processors, at most four.
std::size_t PartsFor(const TResultTable& Table) {
  constexpr std::size_t kCellsPerPart = 50000;
  const std::size_t Cells = Table.Rows.size() * Table.Columns.size();
  const std::size_t Processors = std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 4);
  return std::clamp<std::size_t>(Cells / kCellsPerPart, 1, Processors);
}

void WriteGrid(const TResultTable& Table, std::ostream& Out) {
  const TColumnKinds Kinds = KindsOf(Table);
  const std::size_t Count = PartsFor(Table), Rows = Table.Rows.size();
  std::vector<TGridPart> Parts(Count + 1);
  Parts[0] = HeaderPart(Table, Kinds);
  InParallel(Count, [&](std::size_t p) { Parts[p + 1] = RowsPart(Table, Kinds, Rows * p / Count, Rows * (p + 1) / Count); });
  std::vector<std::size_t> Width(Table.Columns.size(), 0);
  for (const auto& Part : Parts) {
    for (std::size_t i = 0; i < Part.Widths.size(); ++i) {
      Width[i % Width.size()] = std::max<std::size_t>(Width[i % Width.size()], Part.Widths[i]);
    }
  }
  std::vector<std::string> Lines(Parts.size());
  InParallel(Parts.size(), [&](std::size_t p) { Lines[p] = LaidOut(Parts[p], Width); });
  for (const auto& Text : Lines) Out.write(Text.data(), static_cast<std::streamsize>(Text.size()));
}

// A stream's parts as rows of cells, a few thousand rows at a time.
class TStreamRows {
 public:
  explicit TStreamRows(const TRowStream& Stream) : FStream(Stream) {}
  // Calls Rows(chunk) for consecutive chunks of every part, in order.
  void ForEachChunk(const std::function<void(const std::vector<std::vector<TCell>>&)>& Rows) const {
    const std::size_t Width = FStream.Columns.size();
    FStream.Produce([&](const std::vector<double>& Part) {
      if (Width == 0 || Part.size() % Width != 0) throw std::logic_error("result stream " + FStream.Name + ": a part is not whole rows");
      std::vector<std::vector<TCell>> Chunk;
      for (std::size_t Begin = 0; Begin < Part.size(); Begin += kChunkRows * Width) {
        const std::size_t End = std::min(Part.size(), Begin + kChunkRows * Width);
        Chunk.resize((End - Begin) / Width);
        for (std::size_t r = 0; r < Chunk.size(); ++r) {
          Chunk[r].resize(Width);
          for (std::size_t c = 0; c < Width; ++c) Chunk[r][c] = CellOf(Part[Begin + r * Width + c], FStream.Counts[c]);
        }
        Rows(Chunk);
      }
    });
  }

 private:
  static constexpr std::size_t kChunkRows = 4096;
  static TCell CellOf(double Value, bool Count) {
    if (std::isnan(Value)) return {};
    if (Count) return static_cast<long long>(Value);
    return Value;
  }
  const TRowStream& FStream;
};

void WriteStreamText(const TRowStream& Stream, std::ostream& Out) {
  TResultTable Chunk{Stream.Name, Stream.Title, Stream.Columns, {}, {}};
  const TColumnKinds Kinds{std::vector<bool>(Stream.Columns.size()), KindsOf(Chunk).PValue};
  std::vector<std::size_t> Width;
  const auto Widen = [&Width](const TGridPart& Part) {
    for (std::size_t i = 0; i < Part.Widths.size(); ++i) {
      Width[i % Width.size()] = std::max<std::size_t>(Width[i % Width.size()], Part.Widths[i]);
    }
  };
  if (!Stream.Title.empty()) Out << Printable(Stream.Title) << '\n';
  TGridPart Header = HeaderPart(Chunk, Kinds);
  Width.assign(Stream.Columns.size(), 0);
  Widen(Header);
  bool First = true;
  TStreamRows(Stream).ForEachChunk([&](const std::vector<std::vector<TCell>>& Rows) {
    Chunk.Rows = Rows;
    const TGridPart Part = RowsPart(Chunk, Kinds, 0, Rows.size());
    Widen(Part);
    std::string Text = First ? LaidOut(Header, Width) : std::string();
    Text += LaidOut(Part, Width);
    Flush(Text, Out);
    First = false;
  });
  if (First) {
    std::string Text = LaidOut(Header, Width);
    Flush(Text, Out);
  }
  Out << '\n';
}

}  // namespace

std::string ShortestNumber(double Value) {
  if (!std::isfinite(Value)) return {};
  char Buffer[64];
  return std::string(Buffer, std::to_chars(Buffer, Buffer + sizeof Buffer, Value).ptr);
}

std::vector<double> NumbersOf(const TResultTable& Table, const std::string& Column) {
  const auto At = std::find(Table.Columns.begin(), Table.Columns.end(), Column);
  if (At == Table.Columns.end()) return {};
  const auto j = static_cast<std::size_t>(At - Table.Columns.begin());
  std::vector<double> Values;
  Values.reserve(Table.Rows.size());
  for (const auto& Row : Table.Rows) {
    const TCell& Cell = Row[j];
    Values.push_back(std::holds_alternative<double>(Cell)      ? std::get<double>(Cell)
                     : std::holds_alternative<long long>(Cell) ? static_cast<double>(std::get<long long>(Cell))
                                                               : std::nan(""));
  }
  return Values;
}

namespace {

[[noreturn]] void NoTable(const TResults& Results, const std::string& Name) {
  std::string Names;
  for (const auto& Table : Results.Tables) Names += (Names.empty() ? "" : ", ") + Table.Name;
  if (Results.Stream) Names += (Names.empty() ? "" : ", ") + Results.Stream->Name;
  if (Names.empty()) throw TInputError("no table " + Quoted(Name) + "; there are no tables");
  throw TInputError("no table " + Quoted(Name) + "; the tables are " + Names);
}

}  // namespace

const TResultTable& FindTable(const TResults& Results, const std::string& Name) {
  if (Name.empty() && !Results.Tables.empty()) return Results.Tables.front();
  for (const auto& Table : Results.Tables) {
    if (Table.Name == Name) return Table;
  }
  NoTable(Results, Name);
}

void KeepOnly(TResults& Results, const std::string& Name) {
  const bool Stream = Results.Stream && (Name.empty() ? Results.Tables.empty() : Results.Stream->Name == Name);
  if (Stream) {
    Results.Tables.clear();
    return;
  }
  TResultTable Kept = FindTable(Results, Name);
  Results.Tables = {std::move(Kept)};
  Results.Stream.reset();
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

void WriteCsv(const TRowStream& Stream, std::ostream& Out) {
  std::vector<std::string> Fields;
  for (const auto& Column : Stream.Columns) Fields.push_back(CsvField(Column));
  CsvLine(Fields, Out);
  TStreamRows(Stream).ForEachChunk([&](const std::vector<std::vector<TCell>>& Rows) {
    for (const auto& Cells : Rows) {
      Fields.clear();
      for (const auto& Cell : Cells) Fields.push_back(CsvCell(Cell));
      CsvLine(Fields, Out);
    }
  });
}

void WriteJson(const TResults& Results, std::ostream& Out) {
  CheckJsonKeys(Results);
  TJsonText Json;
  Json.Open('{');
  Json.Key("meta");
  JsonMeta(Json, Results.Meta);
  for (const auto& Table : Results.Tables) {
    Json.Key(Table.Name);
    JsonTable(Json, Table);
  }
  if (Results.Stream) {
    Json.Key(Results.Stream->Name);
    Json.Open('[');
    const std::vector<std::string> Keys = JsonKeys(Results.Stream->Columns);
    TStreamRows(*Results.Stream).ForEachChunk([&](const std::vector<std::vector<TCell>>& Rows) {
      JsonRows(Json, Keys, Rows);
      Flush(Json.Text, Out);
    });
    Json.Close(']');
  }
  Json.Close('}');
  Json.Text += '\n';
  Flush(Json.Text, Out);
}

void WriteText(const TResults& Results, std::ostream& Out, bool Raw) {
  for (const auto& Table : Results.Tables) CheckShape(Table);
  for (const auto& Table : Results.Tables) {
    if (!Table.Title.empty()) Out << Printable(Table.Title) << '\n';
    WriteGrid(Table, Out);
    for (const auto& Note : Table.Notes) Out << ShownComponentText(Note, Raw);
    Out << '\n';
  }
  if (Results.Stream) WriteStreamText(*Results.Stream, Out);
}

}  // namespace varnel::cli
