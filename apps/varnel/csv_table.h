// Reading a CSV file of named numeric columns.
#pragma once

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

struct TCsvTable {
  std::vector<std::string> Names;               // from the header row
  std::vector<std::vector<double>> Columns;     // Columns[c][row]
  int Rows() const { return Columns.empty() ? 0 : static_cast<int>(Columns[0].size()); }
};

// Reads a header row of names and rows of numbers separated by Separator,
// with quoted fields as RFC 4180 allows. More than MaxRows data rows, a
// missing or non-numeric cell, or a ragged row raise TInputError.
TCsvTable ReadCsv(const std::string& Path, char Separator, int MaxRows);

}  // namespace varnel::cli
