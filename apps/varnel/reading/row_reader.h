// SPDX-License-Identifier: Apache-2.0
// A delimited text file read as blocks of whole data rows: the rows are cut
// in one pass over the bytes (quote-aware, at memchr speed where a line has
// no quote), and each block's fields are split on whatever thread takes it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "csv_table.h"
#include "reading/byte_stream.h"

namespace varnel::cli {

// Whole rows as the file has them, line ends removed; empty lines are not
// rows. FirstRow counts the data rows before the block.
struct TRowText {
  std::size_t FirstRow = 0;
  std::string Text;
  std::vector<std::size_t> Begin, End;
  std::size_t Rows() const { return Begin.size(); }
  std::string_view Row(std::size_t r) const { return std::string_view(Text).substr(Begin[r], End[r] - Begin[r]); }
};

// The picked columns' cells of a block, row by row, quotes removed. The
// cells borrow from the block's text (or the arena): keep both alive.
struct TFieldBlock {
  std::size_t FirstRow = 0, Rows = 0, Picked = 0;
  std::vector<std::string_view> Cells;
  std::string Arena;
  std::string_view Cell(std::size_t r, std::size_t c) const { return Cells[r * Picked + c]; }
};

// What the header row says: its names (trimmed, made unique), the columns
// picked (header positions), the separator and whether it was guessed.
struct THeader {
  std::vector<std::string> Names;
  std::vector<int> Picked;
  char Separator = ',';
  bool Guessed = false;
  bool Blanks = false;
};

class TRowReader {
 public:
  // Reads the header row at once: Pick sees its names (see ReadCsv).
  TRowReader(const std::string& Path, const TReadOptions& Options, const TColumnPicker& Pick = {});

  const THeader& Header() const { return FHeader; }
  const std::string& Shown() const { return FShown; }
  TByteStream& Bytes() { return FBytes; }

  // The next block of at most MaxRows rows; false when no row is left.
  bool Next(std::size_t MaxRows, TRowText& Block);
  // Back to the first data row, for another pass (a regular file only).
  void Rewind();

  // The block's fields; a row of another length than the header's, or
  // malformed quotes, raise TInputError naming the data row.
  void Split(const TRowText& Block, TFieldBlock& Fields) const;

 private:
  bool NextRow(std::string_view& Row);
  bool Fill();

  std::string FShown;
  TReadOptions FOptions;
  TByteStream FBytes;
  THeader FHeader;
  std::vector<int> FSlot;  // header position -> picked column, or -1
  std::string FBuffer;
  std::size_t FAt = 0;
  bool FEnded = false, FFirst = true;
  std::size_t FDataRows = 0;
};

// The table of the reader's header and picked columns, no rows yet; and a
// block's cells added to such a table.
TCsvTable EmptyTable(const TRowReader& Reader);
void AddRows(const TFieldBlock& Fields, TCsvTable& Table);

// The rows a block holds for a file of Columns columns: 65,536, fewer for
// wide files so that a block stays near 2 M cells. It depends on the file
// alone, so that blocks, and the results merged from them, are the same
// whatever the number of threads.
std::size_t BlockRowsFor(std::size_t Columns);

}  // namespace varnel::cli
