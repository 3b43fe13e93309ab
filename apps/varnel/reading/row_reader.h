// SPDX-License-Identifier: Apache-2.0
// A delimited text file read as blocks of whole data rows: the rows are cut
// in one pass over the bytes (quote-aware, at memchr speed where a line has
// no quote), and each block's fields are split on whatever thread takes it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <memory>
#include <utility>
#include <vector>

#include "csv_table.h"
#include "reading/byte_stream.h"

namespace varnel::cli {

// Bytes that growing leaves unset, for a buffer that a read fills at once:
// zeroing each megabyte first would cost as much as a pass over it.
class TBytes {
 public:
  TBytes() = default;
  TBytes(const TBytes& Other) { assign(Other.data(), Other.data() + Other.size()); }
  TBytes& operator=(const TBytes& Other) {
    if (this != &Other) assign(Other.data(), Other.data() + Other.size());
    return *this;
  }
  // A buffer moved from is empty.
  TBytes(TBytes&& Other) noexcept
      : FData(std::move(Other.FData)), FSize(std::exchange(Other.FSize, 0)), FCapacity(std::exchange(Other.FCapacity, 0)) {}
  TBytes& operator=(TBytes&& Other) noexcept {
    FData = std::move(Other.FData);
    FSize = std::exchange(Other.FSize, 0);
    FCapacity = std::exchange(Other.FCapacity, 0);
    return *this;
  }

  // Never null, so that the memchr of an empty buffer is defined.
  char* data() { return FData ? FData.get() : FNone; }
  const char* data() const { return FData ? FData.get() : FNone; }
  std::size_t size() const { return FSize; }
  std::size_t capacity() const { return FCapacity; }
  void clear() { FSize = 0; }
  // At least Bytes of room, the bytes held kept.
  void reserve(std::size_t Bytes);
  // The bytes a larger size adds are unset.
  void resize(std::size_t Bytes) {
    if (Bytes > FCapacity) reserve(std::max(Bytes, 2 * FCapacity));
    FSize = Bytes;
  }
  // [Begin, End) of another buffer.
  void assign(const char* Begin, const char* End);
  void erase_front(std::size_t Bytes);
  bool operator==(const TBytes& Other) const {
    return std::string_view(data(), size()) == std::string_view(Other.data(), Other.size());
  }

 private:
  std::unique_ptr<char[]> FData;
  std::size_t FSize = 0, FCapacity = 0;
  char FNone[1] = {};  // data() before anything is held
};

// Whole rows as the file has them: Text holds them with their line ends
// (and any empty lines, which are not rows); Begin and End mark each row
// without its line end. A block's rows come from one file, File of the
// reader's: FirstRow counts the data rows before the block in all the
// files, FileFirstRow those in its own file.
struct TRowText {
  std::size_t FirstRow = 0, File = 0, FileFirstRow = 0;
  TBytes Text;
  std::vector<std::size_t> Begin, End;
  std::size_t Rows() const { return Begin.size(); }
  std::string_view Row(std::size_t r) const { return std::string_view(Text.data() + Begin[r], End[r] - Begin[r]); }
};

// The picked columns' cells of a block, row by row, quotes removed. The
// cells borrow from the block's text (or the arena): keep both alive.
// Cells of the columns Split was asked to read as numbers come with their
// value where they are plain numbers (Parsed); the others are left to the
// cell rules.
struct TFieldBlock {
  std::size_t FirstRow = 0, Rows = 0, Picked = 0;
  std::vector<std::string_view> Cells;
  std::vector<double> Values;
  std::vector<unsigned char> Parsed;  // empty when no column was read as numbers
  std::string Arena;
  std::string_view Cell(std::size_t r, std::size_t c) const { return Cells[r * Picked + c]; }
  bool Number(std::size_t r, std::size_t c, double& Value) const {
    if (Parsed.empty() || !Parsed[r * Picked + c]) return false;
    Value = Values[r * Picked + c];
    return true;
  }
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

// How far a block's text is known to hold no quote and no carriage return
// (from the last scan on): a row whose '\n' comes before Until is cut there
// with one search. The text is scanned once as it is read, not per row.
struct TPlainText {
  std::size_t Until = 0, Scanned = 0;
};

// The input in messages: its file ("standard input" for "-"), or the
// first and how many more.
std::string InputName(const std::vector<std::string>& Paths);

// The bytes [Begin, End) of a file of the reader's, Begin the start of its
// data row FileFirstRow + 1, which is row FirstRow + 1 of all the files.
struct TRowsPiece {
  std::size_t File = 0;
  std::uint64_t Begin = 0, End = 0;
  std::size_t FileFirstRow = 0, FirstRow = 0;
};

// The rows of one file, or of several read one after the other as one
// data set: each must have the header row of the first. A block never
// holds rows of two files.
class TRowReader {
 public:
  // Reads the header row at once: Pick sees its names (see ReadCsv). The
  // other files' header rows are checked at once too, so that a file that
  // does not fit is refused before any row is read.
  TRowReader(const std::string& Path, const TReadOptions& Options, const TColumnPicker& Pick = {});
  TRowReader(std::vector<std::string> Paths, const TReadOptions& Options, const TColumnPicker& Pick = {});

  const THeader& Header() const { return FHeader; }
  const TReadOptions& Options() const { return FOptions; }
  // The input in messages: its file, or the first and how many more.
  const std::string& Shown() const { return FShown; }
  std::size_t Files() const { return FFiles.size(); }
  const std::string& Path(std::size_t File) const { return FFiles[File].Path; }
  const std::string& Shown(std::size_t File) const { return FFiles[File].Shown; }
  // Whether every file is a regular file, not compressed: one that
  // several processes can read in parts.
  bool Seekable() const;
  // The bytes of the file being read.
  TByteStream& Bytes() { return *FBytes; }
  // How far the reading has come, 0 to 1; negative when a size is unknown.
  double ReadFraction() const;

  // The next block of at most MaxRows rows; false when no row is left.
  bool Next(std::size_t MaxRows, TRowText& Block);
  // Back to the first data row, for another pass (regular files only).
  void Rewind();
  // From now on the rows of these pieces alone, in order (a process's part
  // of the files); a rewind comes back to the first.
  void ReadParts(std::vector<TRowsPiece> Pieces);

  // The block's fields; a row of another length than the header's, or
  // malformed quotes, raise TInputError naming the data row. Numbers, per
  // picked column: read its plain numbers (what std::from_chars reads
  // whole, finite, with nothing around it) as the row is split, for a
  // caller whose cell rules read such a cell as that number.
  void Split(const TRowText& Block, TFieldBlock& Fields, const std::vector<bool>& Numbers = {}) const;

 private:
  struct TFile {
    std::string Path, Shown;
    bool Seekable = false;
    std::uint64_t Size = 0;  // 0 when unknown
  };
  void Open(std::size_t File);
  std::string_view HeaderRow();
  std::vector<std::string> HeaderNames(std::string_view Line, std::size_t File) const;
  void CheckRewindable() const;
  void CheckHeader(std::size_t File);
  void OpenPiece(std::size_t Piece);
  bool NextInFile(std::size_t MaxRows, TRowText& Block);
  bool SplitPlain(std::string_view Row, const std::vector<bool>& Numbers, std::size_t r, TFieldBlock& Out) const;
  bool NextRowIn(TBytes& Text, std::size_t& At, bool Erase, std::size_t ReadBytes, std::string_view& Row,
                 TPlainText* Plain);
  bool NextRow(std::string_view& Row);
  bool Fill();
  bool Append(TBytes& Text, std::size_t Bytes);

  std::vector<TFile> FFiles;
  std::string FShown;
  TReadOptions FOptions;
  std::unique_ptr<TByteStream> FBytes;
  std::size_t FFile = 0;        // the file being read
  std::size_t FRowsBefore = 0;  // the data rows of the files before it
  THeader FHeader;
  std::vector<int> FSlot;  // header position -> picked column (its first), or -1
  std::vector<std::pair<std::size_t, std::size_t>> FRepeats;  // a column picked again: its slot, its first slot
  void CopyRepeats(std::size_t r, TFieldBlock& Out) const;
  TBytes FBuffer;
  std::size_t FAt = 0;
  bool FEnded = false, FFirst = true;
  bool FAtHeader = false;  // the row read next is a header row
  std::size_t FDataRows = 0;
  bool FInPart = false;
  std::vector<TRowsPiece> FPieces;
  std::size_t FPiece = 0;
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
