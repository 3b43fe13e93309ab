// SPDX-License-Identifier: Apache-2.0
#include "reading/row_index.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <map>
#include <string_view>
#include <memory>
#include <optional>

#include "csv_table.h"
#include "posix_io.h"
#include "processes/packing.h"

namespace varnel::cli {
namespace {

// The reader's test of an empty row, one byte at a time.
bool Filled(char c, char Separator, bool Blanks) { return (c != ' ' && c != '\t') || (!Blanks && c == Separator); }

bool AnyFilled(const char* At, const char* End, char Separator, bool Blanks) {
  for (; At < End; ++At) {
    if (Filled(*At, Separator, Blanks)) return true;
  }
  return false;
}


// Which of 64 bytes are a quote, '\n' or '\r', one bit each: the scan
// then visits only those, not every byte.
std::uint64_t SpecialBits(const char* At) {
#if defined(__SSE2__)
  const __m128i Quote = _mm_set1_epi8('"'), Line = _mm_set1_epi8('\n'), Return = _mm_set1_epi8('\r');
  std::uint64_t Bits = 0;
  for (int k = 0; k < 4; ++k) {
    const __m128i Bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(At + 16 * k));
    const __m128i Hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(Bytes, Quote), _mm_cmpeq_epi8(Bytes, Line)),
                                     _mm_cmpeq_epi8(Bytes, Return));
    Bits |= static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm_movemask_epi8(Hit))) << (16 * k);
  }
  return Bits;
#else
  std::uint64_t Bits = 0;
  for (int k = 0; k < 64; ++k) Bits |= static_cast<std::uint64_t>(At[k] == '"' || At[k] == '\n' || At[k] == '\r') << k;
  return Bits;
#endif
}

std::string Packed(const TRangeRows& Range) {
  TPacker Out;
  Out.Put(Range.OddQuotes);
  for (const TRangeSide& Side : Range.Side)
    Out.Put(Side.Ended).Put(Side.LeadFilled).Put(Side.Rows).Put(Side.TailStart).Put(Side.TailFilled);
  return Out.Take();
}

TRangeRows Unpacked(const std::string& Bytes) {
  TUnpacker In(Bytes);
  TRangeRows Range;
  In.Read(Range.OddQuotes);
  for (TRangeSide& Side : Range.Side) {
    In.Read(Side.Ended);
    In.Read(Side.LeadFilled);
    In.Read(Side.Rows);
    In.Read(Side.TailStart);
    In.Read(Side.TailFilled);
  }
  return Range;
}

// The ranges in rank order, joined: each range's true side, the number of
// its first own row, and the rows that run across range ends (their
// number and where they begin). Every process computes the same.
struct TJoined {
  std::vector<int> Side;
  std::vector<std::uint64_t> Base;
  std::map<std::uint64_t, std::uint64_t> Across;  // row -> its start
  std::uint64_t Rows = 0;  // with the header
};

TJoined Join(const std::vector<TRangeRows>& Ranges) {
  TJoined J;
  int Side = 0;
  std::uint64_t Row = 0, Start = 0;
  bool Filled = false;  // the row begun before this range
  for (const TRangeRows& Range : Ranges) {
    const TRangeSide& S = Range.Side[Side];
    J.Side.push_back(Side);
    if (!S.Ended) {
      Filled = Filled || S.LeadFilled;
    } else {
      if (Filled || S.LeadFilled) J.Across.emplace(Row++, Start);
      Start = S.TailStart;
      Filled = S.TailFilled;
    }
    J.Base.push_back(Row);
    if (S.Ended) Row += S.Rows;
    Side ^= Range.OddQuotes ? 1 : 0;
  }
  if (Filled) J.Across.emplace(Row++, Start);
  J.Rows = Row;
  return J;
}

}  // namespace

TRowScan::TRowScan(std::uint64_t Offset, char Separator, bool Blanks, std::uint64_t Every)
    : FOffset(Offset), FSeparator(Separator), FBlanks(Blanks), FEvery(Every) {
  FOpen[0].Start = FOpen[1].Start = Offset;
}

// A row end at Stop (in the bytes given now, which begin at Begin) for a
// side: the row is counted when it is not empty, and the next one begins
// after Stop.
void TRowScan::EndRow(int Side, const char* Bytes, std::uint64_t Begin, std::uint64_t Stop) {
  TOpen& Open = FOpen[Side];
  TRangeSide& Made = FRows.Side[Side];
  const std::uint64_t From = std::max(Open.Start, Begin);
  const bool Row = Open.Filled || AnyFilled(Bytes + (From - Begin), Bytes + (Stop - Begin), FSeparator, FBlanks);
  if (!Made.Ended) {
    Made.Ended = true;
    Made.LeadFilled = Row;
  } else if (Row) {
    if (Made.Rows % FEvery == 0) Made.Marks.push_back(Open.Start);
    ++Made.Rows;
  }
  Open = {Stop + 1, false};
}

void TRowScan::Add(const char* Bytes, std::size_t Size) {
  const std::uint64_t Begin = FOffset;
  const char* const End = Bytes + Size;
  const auto Special = [&](const char* At) {
    if (*At == '"') {
      FParity ^= 1;
    } else {
      EndRow(FParity, Bytes, Begin, Begin + static_cast<std::uint64_t>(At - Bytes));
    }
  };
  const char* At = Bytes;
  for (; End - At >= 64; At += 64) {
    for (std::uint64_t Bits = SpecialBits(At); Bits != 0; Bits &= Bits - 1) Special(At + std::countr_zero(Bits));
  }
  for (; At < End; ++At) {
    if (*At == '"' || *At == '\n' || *At == '\r') Special(At);
  }
  // The rows still open keep whether these bytes filled them.
  FOffset += Size;
  for (TOpen& Open : FOpen) {
    if (!Open.Filled && Open.Start < FOffset)
      Open.Filled = AnyFilled(Bytes + (std::max(Open.Start, Begin) - Begin), End, FSeparator, FBlanks);
  }
}

TRangeRows TRowScan::Finish() {
  for (int s = 0; s < 2; ++s) {
    TRangeSide& Side = FRows.Side[s];
    if (Side.Ended) {
      Side.TailStart = FOpen[s].Start;
      Side.TailFilled = FOpen[s].Filled;
    } else {
      Side.LeadFilled = FOpen[s].Filled;
    }
  }
  FRows.OddQuotes = FParity != 0;
  return std::move(FRows);
}

TRangeRows ScanRange(const char* Data, std::size_t Size, std::uint64_t Offset, char Separator, bool Blanks) {
  TRowScan Scan(Offset, Separator, Blanks);
  Scan.Add(Data, Size);
  return Scan.Finish();
}

namespace {

constexpr std::size_t kScanBytes = std::size_t{1} << 20;

// Feeds the file's bytes [Begin, End) to Scan, a megabyte a read, until
// Enough() says so.
template <class Fn>
void ScanFile(int Descriptor, std::uint64_t Begin, std::uint64_t End, TRowScan& Scan, const std::string& Shown,
              Fn Enough) {
  std::vector<char> Buffer(kScanBytes);
  for (std::uint64_t At = Begin; At < End && !Enough();) {
    const ssize_t Got = ::pread(Descriptor, Buffer.data(), static_cast<std::size_t>(std::min<std::uint64_t>(kScanBytes, End - At)),
                                static_cast<off_t>(At));
    if (Got < 0 && errno == EINTR) continue;
    if (Got <= 0) throw TInputError(Shown + ": cannot read the file: " + (Got < 0 ? std::strerror(errno) : "it ended early"));
    Scan.Add(Buffer.data(), static_cast<std::size_t>(Got));
    At += static_cast<std::uint64_t>(Got);
  }
}

// The start of the Skip-th row that is not empty after the row that begins
// at Mark, within End: a scan from Mark that marks every row.
std::uint64_t SkipRows(int Descriptor, std::uint64_t Mark, std::uint64_t End, std::uint64_t Skip, char Separator,
                       bool Blanks, const std::string& Shown) {
  if (Skip == 0) return Mark;
  TRowScan Scan(Mark, Separator, Blanks, 1);
  ScanFile(Descriptor, Mark, End, Scan, Shown, [&] { return Scan.Rows(0).Marks.size() >= Skip; });
  const TRangeRows Rows = Scan.Finish();
  const TRangeSide& Side = Rows.Side[0];
  return Side.Marks.size() >= Skip ? Side.Marks[Skip - 1] : Side.TailStart;  // the file's last row, unended
}

}  // namespace

namespace {

TUniqueFd OpenToScan(const std::string& Path, const std::string& Shown) {
  TUniqueFd File(::open(Path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
  if (!File) throw TInputError(Shown + ": cannot open the file: " + std::strerror(errno));
  return File;
}

std::uint64_t SizeOf(const TUniqueFd& File, const std::string& Shown) {
  struct stat Status {};
  if (::fstat(File.Get(), &Status) != 0) throw TInputError(Shown + ": cannot read the file: " + std::strerror(errno));
  return static_cast<std::uint64_t>(Status.st_size);
}

// The rows of this process's byte range of a file. The reader skips a
// byte-order mark before the header, which would otherwise fill a line
// that is empty: no range holds its bytes, however small the ranges.
TRangeRows ScanOwnRange(const TUniqueFd& File, std::uint64_t Size, const TProcesses& Processes, char Separator,
                        bool Blanks, const std::string& Shown) {
  const auto P = static_cast<std::uint64_t>(Processes.Count()), Rank = static_cast<std::uint64_t>(Processes.Rank());
  const std::uint64_t Begin = Size * Rank / P, End = Size * (Rank + 1) / P;
  char Mark[3] = {};
  const bool Marked = ::pread(File.Get(), Mark, 3, 0) == 3 && std::string_view(Mark, 3) == "\xEF\xBB\xBF";
  const std::uint64_t From = std::min(std::max<std::uint64_t>(Begin, Marked ? 3 : 0), End);
  TRowScan Scan(From, Separator, Blanks);
  ScanFile(File.Get(), From, End, Scan, Shown, [] { return false; });
  return Scan.Finish();
}

// What every process knows of a file once the ranges are gathered.
struct TFileRows {
  TJoined Joined;
  std::uint64_t Size = 0, Blocks = 0, FirstBlock = 0, FirstRow = 0;  // the blocks and data rows of the files before
  std::vector<std::uint64_t> Starts;  // each block's start, then the file's end
};

// Every file's ranges, gathered in one exchange and joined.
std::vector<TFileRows> JoinFiles(const std::vector<TRangeRows>& Mine, const std::vector<std::uint64_t>& Sizes,
                                 std::size_t BlockRows, TProcesses& Processes) {
  TPacker Out;
  for (const TRangeRows& Range : Mine) Out.Put(Packed(Range));
  std::vector<std::vector<TRangeRows>> Ranges(Mine.size());
  for (const std::string& Bytes : Processes.AllGather(Out.Bytes())) {
    TUnpacker In(Bytes);
    for (auto& OfFile : Ranges) OfFile.push_back(Unpacked(In.Get<std::string>()));
  }
  std::vector<TFileRows> Files(Mine.size());
  std::uint64_t Blocks = 0, Rows = 0;
  for (std::size_t f = 0; f < Files.size(); ++f) {
    TFileRows& F = Files[f];
    F.Joined = Join(Ranges[f]);
    const std::uint64_t DataRows = F.Joined.Rows > 0 ? F.Joined.Rows - 1 : 0;
    F.Size = Sizes[f];
    F.Blocks = (DataRows + BlockRows - 1) / BlockRows;
    F.FirstBlock = Blocks;
    F.FirstRow = Rows;
    F.Starts.assign(F.Blocks + 1, F.Size);
    // Block k begins at data row k·BlockRows, row k·BlockRows + 1 with the
    // header.
    for (std::uint64_t k = 0; k < F.Blocks; ++k) {
      if (const auto At = F.Joined.Across.find(k * BlockRows + 1); At != F.Joined.Across.end()) F.Starts[k] = At->second;
    }
    Blocks += F.Blocks;
    Rows += DataRows;
  }
  return Files;
}

// The blocks that begin among this process's own rows of a file, as
// (block, start) pairs.
void FindOwnStarts(const TFileRows& F, const TRangeRows& Mine, std::size_t File, std::size_t BlockRows,
                   const TRowReader& Reader, const TProcesses& Processes, TPacker& Found) {
  const auto Rank = static_cast<std::size_t>(Processes.Rank());
  const TRangeSide& Own = Mine.Side[F.Joined.Side[Rank]];
  const std::uint64_t Base = F.Joined.Base[Rank];
  if (!Own.Ended) return;
  const std::uint64_t End = F.Size * (Rank + 1) / static_cast<std::uint64_t>(Processes.Count());
  const std::uint64_t First = Base <= 1 ? 0 : (Base - 1 + BlockRows - 1) / BlockRows;
  const std::string& Shown = Reader.Shown(File);
  std::optional<TUniqueFd> Open;
  for (std::uint64_t k = First; k < F.Blocks && k * BlockRows + 1 < Base + Own.Rows; ++k) {
    const std::uint64_t Local = k * BlockRows + 1 - Base;
    if (!Open) Open.emplace(OpenToScan(Reader.Path(File), Shown));
    const std::uint64_t Start = SkipRows(Open->Get(), Own.Marks[Local / kMarkRows], End, Local % kMarkRows,
                                         Reader.Header().Separator, Reader.Options().Blanks, Shown);
    Found.Put(File).Put(k).Put(Start);
  }
}

// The pieces of the files that hold the blocks [First, Last).
std::vector<TRowsPiece> PiecesOf(const std::vector<TFileRows>& Files, std::uint64_t First, std::uint64_t Last,
                                 std::size_t BlockRows) {
  std::vector<TRowsPiece> Pieces;
  for (std::size_t f = 0; f < Files.size(); ++f) {
    const TFileRows& F = Files[f];
    const std::uint64_t From = std::max(First, F.FirstBlock), To = std::min(Last, F.FirstBlock + F.Blocks);
    if (From >= To) continue;
    TRowsPiece Piece;
    Piece.File = f;
    Piece.Begin = F.Starts[From - F.FirstBlock];
    Piece.End = F.Starts[To - F.FirstBlock];
    Piece.FileFirstRow = static_cast<std::size_t>((From - F.FirstBlock) * BlockRows);
    Piece.FirstRow = static_cast<std::size_t>(F.FirstRow) + Piece.FileFirstRow;
    Pieces.push_back(Piece);
  }
  return Pieces;
}

}  // namespace

TFilesPart PartOfFiles(const TRowReader& Reader, std::size_t BlockRows, TProcesses& Processes) {
  const std::size_t Count = Reader.Files();
  const char Separator = Reader.Header().Separator;
  const bool Blanks = Reader.Options().Blanks;
  std::vector<TRangeRows> Mine(Count);
  std::vector<std::uint64_t> Sizes(Count);
  std::exception_ptr Error;
  try {
    for (std::size_t f = 0; f < Count; ++f) {  // one file open at a time
      const TUniqueFd File = OpenToScan(Reader.Path(f), Reader.Shown(f));
      Sizes[f] = SizeOf(File, Reader.Shown(f));
      Mine[f] = ScanOwnRange(File, Sizes[f], Processes, Separator, Blanks, Reader.Shown(f));
    }
  } catch (...) {
    Error = std::current_exception();
  }
  Agree(Processes, Error);
  std::vector<TFileRows> Files = JoinFiles(Mine, Sizes, BlockRows, Processes);
  TPacker Found;
  try {
    for (std::size_t f = 0; f < Count; ++f) FindOwnStarts(Files[f], Mine[f], f, BlockRows, Reader, Processes, Found);
  } catch (...) {
    Error = std::current_exception();
  }
  Agree(Processes, Error);
  for (const std::string& Bytes : Processes.AllGather(Found.Bytes())) {
    TUnpacker In(Bytes);
    while (!In.Done()) {
      const auto f = In.Get<std::size_t>();
      const auto k = In.Get<std::uint64_t>();
      Files[f].Starts[k] = In.Get<std::uint64_t>();
    }
  }
  const auto P = static_cast<std::uint64_t>(Processes.Count()), Rank = static_cast<std::uint64_t>(Processes.Rank());
  const std::uint64_t Total = Files.empty() ? 0 : Files.back().FirstBlock + Files.back().Blocks;
  const std::uint64_t First = Total * Rank / P, Last = Total * (Rank + 1) / P;
  TFilesPart Part;
  Part.Pieces = PiecesOf(Files, First, Last, BlockRows);
  Part.Total = static_cast<std::size_t>(Total);
  Part.FirstBlock = static_cast<std::size_t>(First);
  Part.Blocks = static_cast<std::size_t>(Last - First);
  return Part;
}

}  // namespace varnel::cli
