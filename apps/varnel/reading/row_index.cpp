// SPDX-License-Identifier: Apache-2.0
#include "reading/row_index.h"

#include <sys/mman.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
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

const char* Find(const char* At, const char* End, char c) {
  const auto* Found = static_cast<const char*>(std::memchr(At, c, static_cast<std::size_t>(End - At)));
  return Found ? Found : End;
}

// A row end at Stop for a side: the row [Start, Stop) is counted when it is
// not empty, and the next one begins after Stop.
void EndRow(TRangeSide& Side, const char*& Start, const char* Stop, const char* Data, std::uint64_t Offset,
            char Separator, bool Blanks) {
  const bool Row = AnyFilled(Start, Stop, Separator, Blanks);
  if (!Side.Ended) {
    Side.Ended = true;
    Side.LeadFilled = Row;
  } else if (Row) {
    if (Side.Rows % kMarkRows == 0) Side.Marks.push_back(Offset + static_cast<std::uint64_t>(Start - Data));
    ++Side.Rows;
  }
  Start = Stop + 1;
}

// The start of the Skip-th row that is not empty after the row that begins
// at At (outside quotes), within End.
const char* SkipRows(const char* At, const char* End, std::uint64_t Skip, char Separator, bool Blanks) {
  for (; Skip > 0; --Skip) {
    for (;;) {  // past this row's end, then past any empty rows
      bool Quoted = false;
      while (At < End && (Quoted || (*At != '\n' && *At != '\r'))) Quoted ^= *At++ == '"';
      if (At < End) ++At;
      const char* Next = At;
      while (Next < End && *Next != '\n' && *Next != '\r' && !Filled(*Next, Separator, Blanks)) ++Next;
      if (Next == End || (*Next != '\n' && *Next != '\r')) break;  // a row that is not empty, or the end
      At = Next;
    }
  }
  return At;
}

// The file's bytes mapped for reading, unmapped when done.
struct TMapped {
  const char* Data = nullptr;
  std::size_t Size = 0;
  void* Base = nullptr;
  std::size_t Mapped = 0;
  TMapped(int Descriptor, std::uint64_t Begin, std::uint64_t End, const std::string& Shown) {
    if (End == Begin) return;
    const auto Page = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
    const std::uint64_t From = Begin / Page * Page;
    Mapped = static_cast<std::size_t>(End - From);
    Base = ::mmap(nullptr, Mapped, PROT_READ, MAP_PRIVATE | MAP_POPULATE, Descriptor, static_cast<off_t>(From));
    if (Base == MAP_FAILED) throw TInputError(Shown + ": cannot read the file: " + std::strerror(errno));
    Data = static_cast<const char*>(Base) + (Begin - From);
    Size = static_cast<std::size_t>(End - Begin);
  }
  ~TMapped() {
    if (Base && Base != MAP_FAILED) ::munmap(Base, Mapped);
  }
  TMapped(const TMapped&) = delete;
  TMapped& operator=(const TMapped&) = delete;
};

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

TRangeRows ScanRange(const char* Data, std::size_t Size, std::uint64_t Offset, char Separator, bool Blanks) {
  TRangeRows R;
  const char* const End = Data + Size;
  const char* Start[2] = {Data, Data};
  int Parity = 0;  // quotes passed, odd: side 1 is then outside quotes
  const char* Quote = Find(Data, End, '"');
  const char* Return = Find(Data, End, '\r');
  for (const char* At = Data;;) {
    const char* const Stop = std::min({Find(At, std::min(Quote, Return), '\n'), Quote, Return});
    if (Stop == End) break;
    if (*Stop == '"') {
      Parity ^= 1;
      Quote = Find(Stop + 1, End, '"');
    } else {
      if (*Stop == '\r') Return = Find(Stop + 1, End, '\r');
      EndRow(R.Side[Parity], Start[Parity], Stop, Data, Offset, Separator, Blanks);
    }
    At = Stop + 1;
  }
  for (int s = 0; s < 2; ++s) {
    TRangeSide& Side = R.Side[s];
    if (Side.Ended) {
      Side.TailStart = Offset + static_cast<std::uint64_t>(Start[s] - Data);
      Side.TailFilled = AnyFilled(Start[s], End, Separator, Blanks);
    } else {
      Side.LeadFilled = AnyFilled(Data, End, Separator, Blanks);
    }
  }
  R.OddQuotes = Parity != 0;
  return R;
}

TFilePart PartOfFile(int Descriptor, std::uint64_t Size, char Separator, bool Blanks, std::size_t BlockRows,
                     TProcesses& Processes, const std::string& Shown) {
  const auto P = static_cast<std::uint64_t>(Processes.Count()), Rank = static_cast<std::uint64_t>(Processes.Rank());
  const std::uint64_t Begin = Size * Rank / P, End = Size * (Rank + 1) / P;
  TRangeRows Mine;
  std::exception_ptr Error;
  std::unique_ptr<TMapped> Bytes;
  try {
    Bytes = std::make_unique<TMapped>(Descriptor, Begin, End, Shown);
    Mine = ScanRange(Bytes->Data, Bytes->Size, Begin, Separator, Blanks);
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
      const char* const Mark = Bytes->Data + (Own.Marks[Local / kMarkRows] - Begin);
      Found.Put(k).Put(Begin + static_cast<std::uint64_t>(
                                   SkipRows(Mark, Bytes->Data + Bytes->Size, Local % kMarkRows, Separator, Blanks) -
                                   Bytes->Data));
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
