// SPDX-License-Identifier: Apache-2.0
#include "reading/row_index.h"

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

#include "csv_table.h"
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

TFilePart PartOfFile(int Descriptor, std::uint64_t Size, char Separator, bool Blanks, std::size_t BlockRows,
                     TProcesses& Processes, const std::string& Shown) {
  const auto P = static_cast<std::uint64_t>(Processes.Count()), Rank = static_cast<std::uint64_t>(Processes.Rank());
  const std::uint64_t Begin = Size * Rank / P, End = Size * (Rank + 1) / P;
  TRangeRows Mine;
  std::exception_ptr Error;
  try {
    // The reader skips a byte-order mark before the header, which would
    // otherwise fill a line that is empty.
    std::uint64_t From = Begin;
    char Mark[3] = {};
    if (Begin == 0 && End >= 3 && ::pread(Descriptor, Mark, 3, 0) == 3 && std::string_view(Mark, 3) == "\xEF\xBB\xBF")
      From = 3;
    TRowScan Scan(From, Separator, Blanks);
    ScanFile(Descriptor, From, End, Scan, Shown, [] { return false; });
    Mine = Scan.Finish();
  } catch (...) {
    Error = std::current_exception();
  }
  Agree(Processes, Error);
  std::vector<TRangeRows> Ranges;
  for (const std::string& Bytes : Processes.AllGather(Packed(Mine))) Ranges.push_back(Unpacked(Bytes));
  const TJoined J = Join(Ranges);
  // Block k begins at data row k·BlockRows, row k·BlockRows + 1 with the
  // header; each process finds the starts among its own rows.
  const std::uint64_t DataRows = J.Rows > 0 ? J.Rows - 1 : 0;
  const std::uint64_t Total = (DataRows + BlockRows - 1) / BlockRows;
  const TRangeSide& Own = Mine.Side[J.Side[Rank]];
  TPacker Found;
  if (Own.Ended) {
    for (std::uint64_t k = 0; k < Total; ++k) {
      const std::uint64_t Row = k * BlockRows + 1;
      if (Row < J.Base[Rank] || Row >= J.Base[Rank] + Own.Rows) continue;
      const std::uint64_t Local = Row - J.Base[Rank];
      Found.Put(k).Put(SkipRows(Descriptor, Own.Marks[Local / kMarkRows], End, Local % kMarkRows, Separator, Blanks, Shown));
    }
  }
  std::vector<std::uint64_t> Starts(Total + 1, Size);
  for (std::uint64_t k = 0; k < Total; ++k) {
    if (const auto At = J.Across.find(k * BlockRows + 1); At != J.Across.end()) Starts[k] = At->second;
  }
  for (const std::string& Bytes : Processes.AllGather(Found.Bytes())) {
    TUnpacker In(Bytes);
    while (!In.Done()) {
      const auto k = In.Get<std::uint64_t>();
      Starts[k] = In.Get<std::uint64_t>();
    }
  }
  TFilePart Part;
  Part.Total = static_cast<std::size_t>(Total);
  Part.FirstBlock = static_cast<std::size_t>(Total * Rank / P);
  const auto Last = static_cast<std::size_t>(Total * (Rank + 1) / P);
  Part.Blocks = Last - Part.FirstBlock;
  Part.Begin = Starts[Part.FirstBlock];
  Part.End = Starts[Last];
  Part.FirstRow = Part.FirstBlock * BlockRows;
  Part.Rows = static_cast<std::size_t>(std::min<std::uint64_t>(Last * BlockRows, DataRows) -
                                       std::min<std::uint64_t>(Part.FirstRow, DataRows));
  return Part;
}

}  // namespace varnel::cli
