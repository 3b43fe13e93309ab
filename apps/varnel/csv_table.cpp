#include "csv_table.h"

#include <csv.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <memory>

namespace varnel::cli {
namespace {

// What the parser's callbacks collect; they cannot throw through the C
// library, so they record the first problem and ignore the rest.
struct TParseState {
  int MaxRows = 0;
  std::vector<std::string> Row;
  std::vector<std::vector<std::string>> Rows;  // the header first
  std::string Problem;
};

void OnField(void* Text, std::size_t Length, void* Data) {
  auto& State = *static_cast<TParseState*>(Data);
  State.Row.emplace_back(Text ? static_cast<const char*>(Text) : "", Text ? Length : 0);
}

void OnRowEnd(int /*Terminator*/, void* Data) {
  auto& State = *static_cast<TParseState*>(Data);
  if (State.Row.empty() || !State.Problem.empty()) {
    State.Row.clear();
    return;
  }
  if (static_cast<int>(State.Rows.size()) > State.MaxRows) {
    State.Problem = "more than " + std::to_string(State.MaxRows) + " data rows";
  } else {
    State.Rows.push_back(std::move(State.Row));
  }
  State.Row.clear();
}

std::string Trim(const std::string& Text) {
  const auto First = Text.find_first_not_of(" \t");
  if (First == std::string::npos) return {};
  return Text.substr(First, Text.find_last_not_of(" \t") - First + 1);
}

double ParseCell(const std::string& Cell, const std::string& Path, int Row, const std::string& Column) {
  const std::string Text = Trim(Cell);
  const std::string Where = Path + ": data row " + std::to_string(Row) + ", column \"" + Column + "\"";
  if (Text.empty()) throw TInputError(Where + ": missing value");
  double Value = 0;
  // from_chars takes no plus sign; skip one, but not in front of a minus.
  const char* Begin = Text.data() + (Text[0] == '+' && Text.size() > 1 && Text[1] != '-');
  const auto [Ptr, Error] = std::from_chars(Begin, Text.data() + Text.size(), Value);
  if (Error != std::errc() || Ptr != Text.data() + Text.size() || !std::isfinite(Value)) {
    throw TInputError(Where + ": '" + Text + "' is not a number");
  }
  return Value;
}

struct TFileCloser {
  void operator()(std::FILE* File) const { std::fclose(File); }
};

}  // namespace

TCsvTable ReadCsv(const std::string& Path, char Separator, int MaxRows) {
  const std::unique_ptr<std::FILE, TFileCloser> File(std::fopen(Path.c_str(), "rb"));
  if (!File) throw TInputError(Path + ": cannot open the file");
  csv_parser Parser;
  if (csv_init(&Parser, CSV_STRICT | CSV_STRICT_FINI) != 0) throw TInputError("cannot start the CSV parser");
  const std::unique_ptr<csv_parser, void (*)(csv_parser*)> Owned(&Parser, csv_free);
  csv_set_delim(&Parser, static_cast<unsigned char>(Separator));
  TParseState State;
  State.MaxRows = MaxRows;
  char Buffer[1 << 16];
  std::size_t Read;
  while (State.Problem.empty() && (Read = std::fread(Buffer, 1, sizeof Buffer, File.get())) > 0) {
    if (csv_parse(&Parser, Buffer, Read, OnField, OnRowEnd, &State) != Read) {
      throw TInputError(Path + ": " + csv_strerror(csv_error(&Parser)));
    }
  }
  if (std::ferror(File.get())) throw TInputError(Path + ": cannot read the file");
  if (State.Problem.empty() && csv_fini(&Parser, OnField, OnRowEnd, &State) != 0) {
    throw TInputError(Path + ": " + csv_strerror(csv_error(&Parser)));
  }
  if (!State.Problem.empty()) throw TInputError(Path + ": " + State.Problem);
  if (State.Rows.empty()) throw TInputError(Path + ": no header row");

  TCsvTable Table;
  for (const std::string& Name : State.Rows[0]) Table.Names.push_back(Trim(Name));
  Table.Columns.assign(Table.Names.size(), {});
  for (std::size_t r = 1; r < State.Rows.size(); ++r) {
    const auto& Row = State.Rows[r];
    const int RowNumber = static_cast<int>(r);
    if (Row.size() != Table.Names.size()) {
      throw TInputError(Path + ": data row " + std::to_string(RowNumber) + " has " + std::to_string(Row.size()) +
                        " fields, the header " + std::to_string(Table.Names.size()));
    }
    for (std::size_t c = 0; c < Row.size(); ++c) {
      Table.Columns[c].push_back(ParseCell(Row[c], Path, RowNumber, Table.Names[c]));
    }
  }
  return Table;
}

}  // namespace varnel::cli
