// What the tool writes: the component's Windows-1252 texts as UTF-8 with
// terminal line ends (or the raw bytes), and tables aligned for a terminal or
// as CSV.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace varnel::cli {

// Windows-1252 to UTF-8.
std::string ToUtf8(const std::string& Text);

// Line ends "\r\n" and lone "\r" become "\n".
std::string TerminalLineEnds(const std::string& Text);

// Text from the user's files (names, cells, paths) as it is safe to show on a
// terminal: control characters, DEL and the UTF-8 forms of the C1 controls
// become \xNN, so that no escape sequence reaches the terminal. Text longer
// than MaxBytes is cut there and ends in "...".
std::string Printable(const std::string& Text, std::size_t MaxBytes = std::string::npos);

struct TTable {
  std::string Title;
  std::vector<std::string> Header;
  std::vector<std::vector<std::string>> Rows;
};

class TOutput {
 public:
  TOutput(std::ostream& Out, bool Raw, bool Csv) : FOut(Out), FRaw(Raw), FCsv(Csv) {}
  bool Csv() const { return FCsv; }
  // A text of the component, converted unless raw; a line end is added when
  // the text does not end in one.
  void ComponentText(const std::string& Text);
  // The tool's own text (already UTF-8), followed by a line end.
  void Line(const std::string& Text = {});
  void Heading(const std::string& Text);
  void Table(const TTable& Table);
  // A number as the tables show it: 10 significant digits (or Digits), or 17
  // in CSV.
  std::string Number(long double Value, int Digits = 10) const;

 private:
  std::ostream& FOut;
  bool FRaw;
  bool FCsv;
};

}  // namespace varnel::cli
