// SPDX-License-Identifier: Apache-2.0
#include "csv_table.h"

#include <csv.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <iostream>
#include <memory>
#include <numeric>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>

#include "output.h"
#include "posix_io.h"
#include "progress_line.h"

namespace varnel::cli {
namespace {

// What the parser's callbacks collect. They cannot throw through the C
// library, so they keep the first problem and ignore everything after it.
struct TParseState {
  std::string Shown;  // the path as messages show it
  const TColumnPicker* Pick = nullptr;
  // The fields of the current row: the first Fields strings of Row, which
  // keep their storage from row to row.
  std::vector<std::string> Row;
  std::size_t Fields = 0;
  std::size_t RowBytes = 0;      // their bytes, one separator each included
  bool HaveHeader = false;
  std::vector<std::string> Header;
  std::vector<int> Slot;  // header position -> column of Table, or -1
  int DataRows = 0;
  TCsvTable Table;
  std::exception_ptr Problem;
};

std::string Trim(std::string_view Text) {
  const auto First = Text.find_first_not_of(" \t");
  if (First == std::string_view::npos) return {};
  return std::string(Text.substr(First, Text.find_last_not_of(" \t") - First + 1));
}

void CheckRowLength(const TParseState& State, std::size_t Pending) {
  if (State.RowBytes + Pending <= kMaxRowBytes) return;
  const std::string Row = State.HaveHeader ? "data row " + std::to_string(State.DataRows + 1) : "the header row";
  throw TInputError(State.Shown + ": " + Row + " is longer than 1 MiB");
}

// A column whose name was changed, and the name the file gave it.
struct TRenamed {
  std::size_t Column;
  std::string From;
};

// With two columns of one name, --y and --x would pick one of them by
// position and the tables would show two rows of that name; a column named
// as the constant term would give that term's row twice. So, as R's
// make.unique: a name met before, or the constant term's, becomes the first
// of name.1, name.2, ... that no column bears and no earlier renaming took.
std::vector<TRenamed> MakeUnique(std::vector<std::string>& Names) {
  std::unordered_set<std::string> Taken(Names.begin(), Names.end());
  std::unordered_set<std::string> Seen{std::string(kConstantTerm)};
  std::unordered_map<std::string, std::size_t> NextSuffix;
  std::vector<TRenamed> Renamed;
  for (std::size_t c = 0; c < Names.size(); ++c) {
    if (Seen.insert(Names[c]).second) continue;
    std::size_t& Suffix = NextSuffix.try_emplace(Names[c], 1).first->second;
    std::string Unique;
    do {
      Unique = Names[c] + "." + std::to_string(Suffix++);
    } while (Taken.count(Unique) != 0);
    Taken.insert(Unique);
    Renamed.push_back({c, std::move(Names[c])});
    Names[c] = std::move(Unique);
  }
  return Renamed;
}

// The names in full, so that they can be given to --y and --x as shown.
void SayRenamed(const std::string& Shown, const std::vector<TRenamed>& Renamed, const std::vector<std::string>& Names) {
  std::string Line = "varnel: " + Shown + ": columns renamed to keep every name unique:";
  for (std::size_t i = 0; i < Renamed.size(); ++i) {
    const TRenamed& R = Renamed[i];
    Line += std::string(i ? ", \"" : " \"") + Printable(R.From) + "\" (column " + std::to_string(R.Column + 1) +
            ") to \"" + Printable(Names[R.Column]) + "\"";
  }
  std::cerr << Line << '\n';
}

void TakeHeader(TParseState& State) {
  for (std::size_t c = 0; c < State.Fields; ++c) State.Header.push_back(Trim(State.Row[c]));
  if (const auto Renamed = MakeUnique(State.Header); !Renamed.empty()) SayRenamed(State.Shown, Renamed, State.Header);
  std::vector<int> Keep(State.Header.size());
  std::iota(Keep.begin(), Keep.end(), 0);
  if (*State.Pick) Keep = (*State.Pick)(State.Header);
  State.Slot.assign(State.Header.size(), -1);
  for (std::size_t i = 0; i < Keep.size(); ++i) {
    State.Slot.at(Keep[i]) = static_cast<int>(i);
    State.Table.Names.push_back(State.Header[Keep[i]]);
  }
  State.Table.Columns.assign(Keep.size(), {});
  State.Table.Header = State.Header;
  State.HaveHeader = true;
}

void TakeDataRow(TParseState& State) {
  const int Number = State.DataRows + 1;
  if (State.Fields != State.Header.size()) {
    throw TInputError(State.Shown + ": data row " + std::to_string(Number) + " has " +
                      std::to_string(State.Fields) + " fields, the header " + std::to_string(State.Header.size()) +
                      "; a field that holds the separator needs quotes (--sep gives another separator)");
  }
  for (std::size_t c = 0; c < State.Fields; ++c) {
    if (State.Slot[c] >= 0) State.Table.Columns[State.Slot[c]].Add(State.Row[c]);
  }
  State.DataRows = Number;
}

template <class Step>
void Guarded(TParseState& State, Step&& Work) {
  if (State.Problem) return;
  try {
    Work();
  } catch (...) {
    State.Problem = std::current_exception();
  }
}

void OnField(void* Text, std::size_t Length, void* Data) {
  auto& State = *static_cast<TParseState*>(Data);
  Guarded(State, [&] {
    State.RowBytes += Length + 1;
    CheckRowLength(State, 0);
    if (State.Fields == State.Row.size()) State.Row.emplace_back();
    State.Row[State.Fields++].assign(Text ? static_cast<const char*>(Text) : "", Text ? Length : 0);
  });
}

void OnRowEnd(int /*Terminator*/, void* Data) {
  auto& State = *static_cast<TParseState*>(Data);
  Guarded(State, [&] {
    if (State.Fields == 0) return;
    if (State.HaveHeader) {
      TakeDataRow(State);
    } else {
      TakeHeader(State);
    }
  });
  State.Fields = 0;
  State.RowBytes = 0;
}

// Opening a FIFO waits for a writer, for ever if none comes; O_NONBLOCK
// makes the open return at once. Blocking is switched back on for the
// reading, so that a pipe whose writer is slow is waited for, while one with
// no writer at all reads as empty. Regular files and devices are read alike,
// under the limits above, so that /dev/stdin and process substitution work.
TUniqueFd OpenForReading(const std::string& Path, const std::string& Shown) {
  if (Path == "-") return TUniqueFd(::dup(STDIN_FILENO));
  TUniqueFd File(::open(Path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (!File) throw TInputError(Shown + ": cannot open the file: " + std::strerror(errno));
  const int Flags = ::fcntl(File.Get(), F_GETFL);
  if (Flags == -1 || ::fcntl(File.Get(), F_SETFL, Flags & ~O_NONBLOCK) == -1) {
    throw TInputError(Shown + ": cannot read the file: " + std::strerror(errno));
  }
  return File;
}

[[noreturn]] void ParserFailed(csv_parser& Parser, const TParseState& State) {
  if (csv_error(&Parser) == CSV_ENOMEM) throw std::bad_alloc();
  throw TInputError(State.Shown + ": " + csv_strerror(csv_error(&Parser)));
}

// The separator the header line holds most of, of comma, semicolon and
// tab (outside quotes); a comma when it holds none.
char GuessedSeparator(std::string_view Start) {
  int Count[3] = {};
  bool Quoted = false;
  for (char c : Start) {
    if (c == '"') Quoted = !Quoted;
    if (Quoted) continue;
    if (c == '\n' || c == '\r') break;
    Count[0] += c == ',';
    Count[1] += c == ';';
    Count[2] += c == '\t';
  }
  const int Most = static_cast<int>(std::max_element(Count, Count + 3) - Count);
  return Count[Most] == 0 ? ',' : ",;\t"[Most];
}

// Turns runs of blanks outside quotes into one space and drops the blanks
// at the ends of lines, so that the parser can split at single spaces. The
// state carries over from one block to the next.
class TBlankRuns {
 public:
  void Filter(const char* Data, std::size_t Size, std::string& Out) {
    Out.clear();
    for (std::size_t i = 0; i < Size; ++i) {
      const char c = Data[i];
      if (FQuoted) {
        FQuoted = c != '"';
      } else if (c == ' ' || c == '\t') {
        FPending = !FLineStart;
        continue;
      } else if (c == '\n' || c == '\r') {
        FPending = false;
        FLineStart = true;
      } else {
        if (FPending) Out += ' ';
        FPending = FLineStart = false;
        FQuoted = c == '"';
      }
      Out += c;
    }
  }

 private:
  bool FQuoted = false, FPending = false, FLineStart = true;
};

void Parse(csv_parser& Parser, const char* Data, std::size_t Size, TParseState& State) {
  if (csv_parse(&Parser, Data, Size, OnField, OnRowEnd, &State) != Size) ParserFailed(Parser, State);
}

// The first block decides the separator (and loses a byte-order mark).
void Start(csv_parser& Parser, std::string_view& Block, const TReadOptions& Options, TParseState& State) {
  constexpr std::string_view kBom = "\xEF\xBB\xBF";
  if (Block.substr(0, 3) == kBom) Block.remove_prefix(3);
  char Separator = Options.Blanks ? ' ' : Options.Separator;
  if (Separator == 0) {
    Separator = GuessedSeparator(Block);
    State.Table.Guessed = true;
  }
  State.Table.Separator = Separator;
  csv_set_delim(&Parser, static_cast<unsigned char>(Separator));
}

// A regular file's size, for the reading's progress; 0 for anything else.
std::uint64_t RegularSize(int Fd) {
  struct stat Status {};
  return ::fstat(Fd, &Status) == 0 && S_ISREG(Status.st_mode) ? static_cast<std::uint64_t>(Status.st_size) : 0;
}

void Feed(csv_parser& Parser, int Fd, const TReadOptions& Options, TParseState& State) {
  std::vector<char> Buffer(std::size_t{1} << 16);
  std::string Filtered;
  TBlankRuns Blanks;
  std::uint64_t Total = 0;
  const std::uint64_t Size = RegularSize(Fd);
  TProgressLine Progress(std::cerr, "varnel: reading " + State.Shown);
  while (!State.Problem) {
    const ssize_t Read = ::read(Fd, Buffer.data(), Buffer.size());
    if (Read < 0 && errno == EINTR) continue;
    if (Read < 0) throw TInputError(State.Shown + ": cannot read the file: " + std::strerror(errno));
    if (Read == 0) return Progress.Show(1);
    std::string_view Block(Buffer.data(), static_cast<std::size_t>(Read));
    if (Total == 0) Start(Parser, Block, Options, State);
    Total += static_cast<std::uint64_t>(Read);
    if (Total > kMaxFileBytes) throw TInputError(State.Shown + ": the file is larger than 256 MiB");
    if (Options.Blanks) {
      Blanks.Filter(Block.data(), Block.size(), Filtered);
      Block = Filtered;
    }
    Parse(Parser, Block.data(), Block.size(), State);
    if (Size > 0) Progress.Show(static_cast<double>(Total) / static_cast<double>(Size));
    // A field still being collected counts towards its row.
    Guarded(State, [&] { CheckRowLength(State, Parser.entry_pos); });
  }
}

std::string NoHeader(int Fd, const std::string& Shown) {
  struct stat Status {};
  const bool Fifo = ::fstat(Fd, &Status) == 0 && S_ISFIFO(Status.st_mode);
  return Shown + ": no header row" + (Fifo ? " (a pipe with no writer reads as empty)" : "");
}

}  // namespace

TCsvTable ReadCsv(const std::string& Path, const TReadOptions& Options, const TColumnPicker& Pick) {
  TParseState State;
  State.Shown = Path == "-" ? std::string("standard input") : Printable(Path);
  State.Pick = &Pick;
  const TUniqueFd File = OpenForReading(Path, State.Shown);
  if (!File) throw TInputError(State.Shown + ": cannot read it: " + std::strerror(errno));
  csv_parser Parser;
  if (csv_init(&Parser, CSV_STRICT | CSV_STRICT_FINI) != 0) throw TInputError("cannot start the CSV parser");
  const std::unique_ptr<csv_parser, void (*)(csv_parser*)> Owned(&Parser, csv_free);
  // The parser grows a field's buffer by this much at a time: by its default
  // of 128 bytes, a field of a megabyte is thousands of reallocations, each
  // a full copy where realloc cannot grow in place.
  csv_set_blk_size(&Parser, std::size_t{1} << 16);
  Feed(Parser, File.Get(), Options, State);
  if (State.Problem) std::rethrow_exception(State.Problem);
  if (csv_fini(&Parser, OnField, OnRowEnd, &State) != 0) ParserFailed(Parser, State);
  if (State.Problem) std::rethrow_exception(State.Problem);
  if (!State.HaveHeader) throw TInputError(NoHeader(File.Get(), State.Shown));
  return std::move(State.Table);
}

}  // namespace varnel::cli
