// Reading a CSV file of named numeric columns.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace varnel::cli {

// Bad input from the user: a missing file, a malformed cell, an unknown
// column, data beyond the component's capacity. The tool exits with 2.
class TInputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What the reader takes in, whatever the file: a row (one line, or several
// when a quoted field holds line ends) of at most 1 MiB and at most 256 MiB
// in all, so that a runaway file or device ends in an error, not in
// exhausted memory.
inline constexpr std::size_t kMaxRowBytes = std::size_t{1} << 20;
inline constexpr std::uint64_t kMaxFileBytes = std::uint64_t{256} << 20;
// How much of a cell an error message shows.
inline constexpr std::size_t kShownCellBytes = 40;

struct TCsvTable {
  std::vector<std::string> Names;               // from the header row
  std::vector<std::vector<double>> Columns;     // Columns[c][row]
  int Rows() const { return Columns.empty() ? 0 : static_cast<int>(Columns[0].size()); }
};

// Given the header's names, the columns to keep (header positions, in the
// order wanted); raises TInputError to refuse the header.
using TColumnPicker = std::function<std::vector<int>(const std::vector<std::string>& Names)>;

// Reads a header row of names and rows of numbers separated by Separator,
// with quoted fields as RFC 4180 allows. More than MaxRows data rows, a
// missing or non-numeric cell, a ragged row, a row or file beyond the limits
// above, or a file that cannot be read raise TInputError. Pick sees the
// header before any data row is read; only the columns it keeps are stored,
// but every cell is checked. Without Pick every column is kept.
TCsvTable ReadCsv(const std::string& Path, char Separator, int MaxRows, const TColumnPicker& Pick = {});

}  // namespace varnel::cli
