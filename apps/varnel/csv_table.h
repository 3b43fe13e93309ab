// SPDX-License-Identifier: Apache-2.0
// Reading a delimited text file of named columns.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace varnel::cli {

// Bad input from the user: a missing file, a malformed cell, an unknown
// column, data beyond the component's capacity. The tool exits with 2.
class TInputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Data beyond the component's 19,999 rows or 24 predictors: the commands
// that run on the engine read such a file in blocks instead.
class TCapacityError : public TInputError {
 public:
  using TInputError::TInputError;
};

// The name of the constant term in the tables; a column of the file never
// bears it.
inline constexpr std::string_view kConstantTerm = "(Intercept)";

// What the reader takes in, whatever the file: a row (one line, or several
// when a quoted field holds line ends) of at most 1 MiB, so that a runaway
// file or device ends in an error, not in exhausted memory.
inline constexpr std::size_t kMaxRowBytes = std::size_t{1} << 20;
// How much of a cell an error message shows.
inline constexpr std::size_t kShownCellBytes = 40;

// The cells of one column as the file has them (quotes removed), one after
// another in one string.
struct TTextColumn {
  std::string Text;
  std::vector<std::uint32_t> Ends;
  std::size_t Size() const { return Ends.size(); }
  std::string_view Cell(std::size_t i) const {
    const std::size_t Begin = i ? Ends[i - 1] : 0;
    return std::string_view(Text).substr(Begin, Ends[i] - Begin);
  }
  void Add(std::string_view Cell) {
    Text.append(Cell);
    Ends.push_back(static_cast<std::uint32_t>(Text.size()));
  }
};

// How fields are separated: one character, or (Separator 0) the one of
// comma, semicolon and tab that the header line holds most of, or (Blanks)
// runs of spaces and tabs, blanks at the ends of a line ignored.
// Text: the input's bytes held in memory, read in place of the file (one
// of that name) by a caller in this process.
struct TReadOptions {
  char Separator = 0;
  bool Blanks = false;
  std::shared_ptr<const std::string> Text;
};

struct TCsvTable {
  std::vector<std::string> Header;   // every name of the header row, trimmed
  std::vector<std::string> Names;    // the kept columns' names
  std::vector<TTextColumn> Columns;  // their cells, Columns[c].Cell(row)
  char Separator = ',';              // the separator read (' ' for runs of blanks)
  bool Guessed = false;              // whether it was guessed from the header
  int Rows() const { return Columns.empty() ? 0 : static_cast<int>(Columns[0].Size()); }
};

// Given the header's names, the columns to keep (header positions, in the
// order wanted); raises TInputError to refuse the header.
using TColumnPicker = std::function<std::vector<int>(const std::vector<std::string>& Names)>;

// Reads a header row of names and rows of fields, with quoted fields as
// RFC 4180 allows and a UTF-8 byte-order mark skipped; "-" is standard
// input. A ragged row, a row or file beyond the limits above, or a file that
// cannot be read raise TInputError. Pick sees the header before any data
// row is read; only the columns it keeps are stored, as text. Without Pick
// every column is kept. Pick and every table see unique names: a name met
// before, or kConstantTerm, becomes name.1 (or .2, ..., the first not taken
// by another column), as R's make.unique does, and one line on standard
// error names the columns renamed.
TCsvTable ReadCsv(const std::string& Path, const TReadOptions& Options, const TColumnPicker& Pick = {});
// Several files read as one table, each with the first one's header row.
TCsvTable ReadCsv(const std::vector<std::string>& Paths, const TReadOptions& Options, const TColumnPicker& Pick = {});

}  // namespace varnel::cli
