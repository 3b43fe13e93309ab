// SPDX-License-Identifier: Apache-2.0
// Where each process's rows begin when several processes read one file:
// the file is cut into equal byte ranges, each process counts the rows of
// its range (for both quote states the range may begin in, since a range
// can begin inside a quoted field), and the counts, gathered in rank order,
// tell every process which quote state is true, the number of each row and
// where each block of rows begins. Each process then reads whole blocks, so
// the blocks, and the states merged from them, are those of one process
// reading everything.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "processes/processes.h"
#include "reading/row_reader.h"

namespace varnel::cli {

// What a range says about its rows, for one quote state at its start.
// Rows are lines (ended by '\n', '\r' or "\r\n" outside quotes) that are
// not empty, as the reader has them; the header is row 0.
struct TRangeSide {
  bool Ended = false;             // a row ends in the range
  bool LeadFilled = false;        // something not empty before the first row end (in the range, when none)
  std::uint64_t Rows = 0;         // rows that begin after a row end in the range and end in it
  std::uint64_t TailStart = 0;    // after the last row end
  bool TailFilled = false;
  std::vector<std::uint64_t> Marks;  // the start of every kMarkRows-th of those rows (kept, not sent)
};

struct TRangeRows {
  TRangeSide Side[2];  // [0] begins outside quotes, [1] inside
  bool OddQuotes = false;
};

inline constexpr std::uint64_t kMarkRows = 1024;

// The rows of a range, its bytes given piece by piece in order: Offset is
// where they begin in the file; Separator and Blanks tell an empty row as
// the reader does; every Every-th row of a side is marked.
class TRowScan {
 public:
  TRowScan(std::uint64_t Offset, char Separator, bool Blanks, std::uint64_t Every = kMarkRows);
  void Add(const char* Bytes, std::size_t Size);
  const TRangeSide& Rows(int Side) const { return FRows.Side[Side]; }
  TRangeRows Finish();

 private:
  // The row open on a side: where it begins, and whether the bytes seen of
  // it hold anything that is not empty.
  struct TOpen {
    std::uint64_t Start = 0;
    bool Filled = false;
  };
  void EndRow(int Side, const char* Bytes, std::uint64_t Begin, std::uint64_t Stop);

  TRangeRows FRows;
  TOpen FOpen[2];
  int FParity = 0;  // quotes passed, odd: side 1 is then outside quotes
  std::uint64_t FOffset;
  char FSeparator;
  bool FBlanks;
  std::uint64_t FEvery;
};

// The rows of Size bytes at Data, which are the file's bytes from Offset.
TRangeRows ScanRange(const char* Data, std::size_t Size, std::uint64_t Offset, char Separator, bool Blanks);

// A process's part of the files: the whole blocks [FirstBlock, FirstBlock
// + Blocks) of Total, and the pieces of the files that hold them. Each
// file's rows are cut into blocks of their own, in the files' order.
struct TFilesPart {
  std::vector<TRowsPiece> Pieces;
  std::size_t FirstBlock = 0, Blocks = 0, Total = 0;
};

// This process's part of the reader's files, each cut into blocks of
// BlockRows data rows; the blocks are dealt out in equal runs in rank
// order. Each file is cut into one byte range per process, so that every
// process scans as many bytes whatever the files' sizes. Collective: every
// process calls it.
TFilesPart PartOfFiles(const TRowReader& Reader, std::size_t BlockRows, TProcesses& Processes);

}  // namespace varnel::cli
