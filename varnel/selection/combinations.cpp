// SPDX-License-Identifier: Apache-2.0
#include "varnel/selection/combinations.h"

#include <charconv>

#include "varnel/core/faults.h"
#include "varnel/core/textfile.h"

namespace varnel {
namespace {

// Far beyond the longest sensible line ("8 1 2 3 4 5 6 7 8" plus a remark);
// a longer one means the file is not a combination file.
constexpr std::size_t kLongestLine = 1024;

[[noreturn]] void Malformed(const std::string& Why) {
  throw EConvertError("Malformed combination file: " + Why);
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// The next line without its "\n".
std::string ReadLine(TTextFile& File) {
  std::string Line;
  while (!File.Eof()) {
    const char c = File.ReadChar();
    if (c == '\n') return Line;
    if (Line.size() == kLongestLine) Malformed("line too long");
    Line += c;
  }
  return Line;
}

// The variable number starting at Pos (after blanks); Pos moves past it.
Byte ReadVariable(const std::string& Line, std::size_t& Pos, int k) {
  while (Pos < Line.size() && IsBlank(Line[Pos])) ++Pos;
  const std::size_t Start = Pos;
  while (Pos < Line.size() && !IsBlank(Line[Pos])) ++Pos;
  if (Start == Pos) Malformed("missing variable number");
  int Value = 0;
  const char* End = Line.data() + Pos;
  const auto [Ptr, Error] = std::from_chars(Line.data() + Start, End, Value);
  if (Error != std::errc() || Ptr != End) Malformed("variable number is not an integer");
  if (Value < 1 || Value > k) Malformed("variable number outside 1.." + std::to_string(k));
  return static_cast<Byte>(Value);
}

TCombinationRec ParseLine(const std::string& Line, int k) {
  if (Line.empty() || Line[0] < '1' || Line[0] > '9') Malformed("count is not a digit 1..9");
  TCombinationRec Rec;
  Rec.Count = Line[0] - '0';
  std::size_t Pos = Line.size() < 2 ? Line.size() : 2;  // the second character is ignored
  for (int v = 0; v < Rec.Count; ++v) Rec.Vars[v] = ReadVariable(Line, Pos, k);
  return Rec;
}

}  // namespace

TCombinationTable ReadCombinationFile(const std::string& FileName, int k) {
  TCombinationTable Table;
  TTextFile File(FileName);
  File.Reset();
  while (!File.Eof()) {
    if (Table.Lines == MaxCombinations) Malformed("more than 256 lines");
    Table.Entries[Table.Lines] = ParseLine(ReadLine(File), k);
    ++Table.Lines;
  }
  File.Close();
  return Table;
}

}  // namespace varnel
