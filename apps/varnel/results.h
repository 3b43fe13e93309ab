// SPDX-License-Identifier: Apache-2.0
// The results of a command as named tables, and their three forms: text for
// a terminal, CSV of one table, and JSON of them all.
#pragma once

#include <functional>
#include <limits>
#include <optional>
#include <ostream>
#include <string>
#include <variant>
#include <vector>

namespace varnel::cli {

// One cell of a result table: not available, a number, a count or row number, or text.
using TCell = std::variant<std::monostate, double, long long, std::string>;

struct TResultTable {
  std::string Name;                  // what --table and the JSON keys use: "coefficients"
  std::string Title;                 // the heading in text output
  std::vector<std::string> Columns;
  std::vector<std::vector<TCell>> Rows;   // each row has Columns.size() cells
  std::vector<std::string> Notes;    // the component's texts (Windows-1252, "\r\n" line ends) shown after the table in text output only
};

struct TMeta {
  std::string Command;               // "regress", "analysis", ...
  std::string File;                  // the data file, or "(built-in example)"
  long long N = 0, K = 0;            // observations used, predictors
  long long Dropped = 0;             // data rows left out for a missing value
  double Level = std::numeric_limits<double>::quiet_NaN();  // two-sided level; NaN: the command has none (then null)
  std::string Response;
  std::vector<std::string> Predictors;
  std::string Version;               // program version
  std::optional<bool> Scaled;        // cluster: whether each column was standardised first; others: not written
  std::optional<std::string> Vcov;   // regress --vcov: the standard errors' kind; otherwise not written
  std::optional<std::string> Weights;  // regress --weights: the weights' column; otherwise not written
};

// A table of one row per observation of data too long to hold: it is
// written after the other tables, its rows made in parts (a block of the
// file each, in the file's order) while it is written. Every cell is a
// number (NaN: not available) or, in a column of Counts, a whole number.
struct TRowStream {
  std::string Name, Title;
  std::vector<std::string> Columns;
  std::vector<bool> Counts;
  // Calls Part once per part, in order, with its rows' cells row by row.
  using TPart = std::function<void(const std::vector<double>&)>;
  std::function<void(const TPart& Part)> Produce;
};

struct TResults {
  TMeta Meta;
  std::vector<TResultTable> Tables;  // the first is the command's main table, or else the stream
  std::optional<TRowStream> Stream;
};

// The shortest decimal that reads back to the same double (std::to_chars); "" for NaN/inf.
std::string ShortestNumber(double Value);

// The table Name, or the main one when Name is empty; TInputError naming the
// tables there are when no table has that name.
const TResultTable& FindTable(const TResults& Results, const std::string& Name);

// Keeps the one table or stream named Name (the main one when Name is
// empty); TInputError as FindTable's when there is none of that name.
void KeepOnly(TResults& Results, const std::string& Name);

// A column of a table as numbers: counts converted, text and missing
// cells NaN; empty when the table has no such column.
std::vector<double> NumbersOf(const TResultTable& Table, const std::string& Column);

// RFC 4180: a header row, then the rows; CRLF line ends; a field quoted
// (quotes doubled) when it holds a comma, a quote, CR or LF, or leading or
// trailing blanks; numbers by ShortestNumber, counts as integers, not
// available as an empty field; text as it is.
// A row whose length differs from the header's raises std::logic_error
// before anything is written.
void WriteCsv(const TResultTable& Table, std::ostream& Out);
// The same of the stream, its rows written as they are made.
void WriteCsv(const TRowStream& Stream, std::ostream& Out);

// One JSON object: "meta" first, then every table under its name as an array
// of row objects keyed by the column names in column order. Numbers are
// ShortestNumber's (a whole number with ".0"), counts integers. Not
// available and non-finite cells are null, as is an empty response; invalid
// UTF-8 in text is replaced. The stream, if any, comes last, written as
// its rows are made. Two
// columns of a table with one name (a predictor may be named like another
// column) raise TInputError rather than one hiding the other.
void WriteJson(const TResults& Results, std::ostream& Out);

// For reading on a terminal: per table its title, the aligned table (numbers
// to 7 significant digits, p-values as "< 2.2e-16" or to 4, "NA" where not
// available, text made printable), its notes (converted unless Raw), then a
// blank line. The stream's columns take the widths of its header and first
// part, widened where a later cell needs more.
void WriteText(const TResults& Results, std::ostream& Out, bool Raw);

}  // namespace varnel::cli
