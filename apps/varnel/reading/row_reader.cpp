// SPDX-License-Identifier: Apache-2.0
#include "reading/row_reader.h"

#include <csv.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <iostream>
#include <memory>
#include <new>
#include <numeric>
#include <unordered_map>
#include <unordered_set>

#include "output.h"

namespace varnel::cli {
namespace {

constexpr std::size_t kReadBytes = std::size_t{256} << 10;
constexpr std::size_t kBlockReadBytes = std::size_t{1} << 20;

std::string Trim(std::string_view Text) {
  const auto First = Text.find_first_not_of(" \t");
  if (First == std::string_view::npos) return {};
  return std::string(Text.substr(First, Text.find_last_not_of(" \t") - First + 1));
}

// Where the row starting at Begin ends: Length bytes of row, then Next
// bytes to the start of the one after (the line end included). A line end
// is \n, \r\n or \r outside quotes. False when the bytes end first.
bool FindRowEnd(const char* Begin, const char* End, std::size_t& Length, std::size_t& Next) {
  const auto* Line = static_cast<const char*>(std::memchr(Begin, '\n', static_cast<std::size_t>(End - Begin)));
  const char* const LineEnd = Line ? Line : End;
  const auto Span = static_cast<std::size_t>(LineEnd - Begin);
  if (!std::memchr(Begin, '"', Span)) {
    const auto* Return = static_cast<const char*>(std::memchr(Begin, '\r', Span));
    if (!Return && !Line) return false;
    const char* const Stop = Return ? Return : Line;
    Length = static_cast<std::size_t>(Stop - Begin);
    Next = Length + 1 + (Return && Return + 1 == Line);
    return true;
  }
  bool Quoted = false;
  for (const char* At = Begin; At < End; ++At) {
    if (*At == '"') {
      Quoted = !Quoted;
    } else if (!Quoted && (*At == '\n' || *At == '\r')) {
      Length = static_cast<std::size_t>(At - Begin);
      Next = Length + 1 + (*At == '\r' && At + 1 < End && At[1] == '\n');
      return true;
    }
  }
  return false;
}

// The end of the line starting at At when it lies in plain text; null when
// it does not, or the plain text ends first.
const char* PlainLineEnd(const TBytes& Text, std::size_t At, TPlainText& Plain) {
  if (Plain.Until < At) Plain.Until = Plain.Scanned = At;  // past a quote or return: look again from here
  if (Plain.Until == Plain.Scanned && Plain.Scanned < Text.size()) {
    const char* const From = Text.data() + Plain.Scanned;
    const std::size_t Bytes = Text.size() - Plain.Scanned;
    const auto* Return = static_cast<const char*>(std::memchr(From, '\r', Bytes));
    const std::size_t Before = Return ? static_cast<std::size_t>(Return - From) : Bytes;
    const auto* Quote = static_cast<const char*>(std::memchr(From, '"', Before));
    Plain.Until = Plain.Scanned + (Quote ? static_cast<std::size_t>(Quote - From) : Before);
    Plain.Scanned = Text.size();
  }
  return static_cast<const char*>(std::memchr(Text.data() + At, '\n', Plain.Until - At));
}

// A line of blanks holds no row, as the parser skips it; a separator among
// the blanks (a tab-separated file) makes it a row of empty fields.
bool IsEmptyRow(std::string_view Row, char Separator, bool Blanks) {
  for (const char c : Row) {
    if ((c != ' ' && c != '\t') || (!Blanks && c == Separator)) return false;
  }
  return true;
}

// The separator the header line holds most of, of comma, semicolon and
// tab (outside quotes); a comma when it holds none.
char GuessedSeparator(std::string_view Line) {
  int Count[3] = {};
  bool Quoted = false;
  for (char c : Line) {
    if (c == '"') Quoted = !Quoted;
    if (Quoted) continue;
    Count[0] += c == ',';
    Count[1] += c == ';';
    Count[2] += c == '\t';
  }
  const int Most = static_cast<int>(std::max_element(Count, Count + 3) - Count);
  return Count[Most] == 0 ? ',' : ",;\t"[Most];
}

// Runs of blanks outside quotes become one space, and the blanks at the
// ends go, so that the fields split at single spaces.
void CollapseBlanks(std::string_view Row, std::string& Out) {
  bool Quoted = false, Pending = false, Start = true;
  for (const char c : Row) {
    if (Quoted) {
      Quoted = c != '"';
    } else if (c == ' ' || c == '\t') {
      Pending = !Start;
      continue;
    } else {
      if (Pending) Out += ' ';
      Pending = Start = false;
      Quoted = c == '"';
    }
    Out += c;
  }
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

// The fields of rows that hold quotes, split by libcsv in strict mode; the
// fields are appended to an arena whose capacity was reserved beforehand,
// so that the views into it stay valid.
class TQuotedRows {
 public:
  explicit TQuotedRows(char Separator) {
    if (csv_init(&FParser, CSV_STRICT | CSV_STRICT_FINI) != 0) throw std::bad_alloc();
    csv_set_delim(&FParser, static_cast<unsigned char>(Separator));
    csv_set_blk_size(&FParser, std::size_t{1} << 16);
  }
  ~TQuotedRows() { csv_free(&FParser); }
  TQuotedRows(const TQuotedRows&) = delete;
  TQuotedRows& operator=(const TQuotedRows&) = delete;

  // False with the parser's complaint in Problem.
  bool Split(std::string_view Row, std::vector<std::string_view>& Fields, std::string& Arena, std::string& Problem) {
    TSink Sink{&Fields, &Arena, 0};
    const bool Parsed = csv_parse(&FParser, Row.data(), Row.size(), OnField, OnRow, &Sink) == Row.size() &&
                        csv_fini(&FParser, OnField, OnRow, &Sink) == 0;
    if (!Parsed) {
      if (csv_error(&FParser) == CSV_ENOMEM) throw std::bad_alloc();
      Problem = csv_strerror(csv_error(&FParser));
      csv_fini(&FParser, nullptr, nullptr, nullptr);
      return false;
    }
    if (Sink.Rows != 1) Problem = "a quoted field holds a line end the row cannot take";
    return Sink.Rows == 1;
  }

 private:
  struct TSink {
    std::vector<std::string_view>* Fields;
    std::string* Arena;
    int Rows;
  };
  static void OnField(void* Text, std::size_t Length, void* Data) {
    auto& Sink = *static_cast<TSink*>(Data);
    const std::size_t At = Sink.Arena->size();
    if (Text) Sink.Arena->append(static_cast<const char*>(Text), Length);
    Sink.Fields->emplace_back(Sink.Arena->data() + At, Text ? Length : 0);
  }
  static void OnRow(int, void* Data) { ++static_cast<TSink*>(Data)->Rows; }

  csv_parser FParser{};
};

// Splits one row into its fields; unquoted rows at memchr speed.
void SplitRow(std::string_view Row, char Separator, bool Blanks, TQuotedRows& Quoted,
              std::vector<std::string_view>& Fields, std::string& Arena, std::string& Problem) {
  Fields.clear();
  if (Blanks) {
    const std::size_t At = Arena.size();
    CollapseBlanks(Row, Arena);
    Row = std::string_view(Arena).substr(At);
  }
  if (std::memchr(Row.data(), '"', Row.size())) {
    Quoted.Split(Row, Fields, Arena, Problem);
    return;
  }
  for (;;) {
    const auto* Stop = static_cast<const char*>(std::memchr(Row.data(), Separator, Row.size()));
    if (!Stop) {
      Fields.push_back(Row);
      return;
    }
    const auto Length = static_cast<std::size_t>(Stop - Row.data());
    Fields.push_back(Row.substr(0, Length));
    Row.remove_prefix(Length + 1);
  }
}

std::string RowName(std::size_t DataRow) {
  return DataRow == 0 ? "the header row" : "data row " + std::to_string(DataRow);
}

}  // namespace

void TBytes::reserve(std::size_t Bytes) {
  if (Bytes <= FCapacity) return;
  auto Larger = std::make_unique_for_overwrite<char[]>(Bytes);
  if (FSize) std::memcpy(Larger.get(), FData.get(), FSize);
  FData = std::move(Larger);
  FCapacity = Bytes;
}

void TBytes::assign(const char* Begin, const char* End) {
  const auto Bytes = static_cast<std::size_t>(End - Begin);
  FSize = 0;
  reserve(Bytes);
  if (Bytes) std::memcpy(FData.get(), Begin, Bytes);
  FSize = Bytes;
}

void TBytes::erase_front(std::size_t Bytes) {
  if (FSize > Bytes) std::memmove(FData.get(), FData.get() + Bytes, FSize - Bytes);
  FSize = Bytes < FSize ? FSize - Bytes : 0;
}

TCsvTable EmptyTable(const TRowReader& Reader) {
  const THeader& Header = Reader.Header();
  TCsvTable Table;
  Table.Header = Header.Names;
  for (const int c : Header.Picked) Table.Names.push_back(Header.Names[static_cast<std::size_t>(c)]);
  Table.Columns.assign(Header.Picked.size(), {});
  Table.Separator = Header.Separator;
  Table.Guessed = Header.Guessed;
  return Table;
}

void AddRows(const TFieldBlock& Fields, TCsvTable& Table) {
  for (std::size_t r = 0; r < Fields.Rows; ++r) {
    for (std::size_t c = 0; c < Fields.Picked; ++c) Table.Columns[c].Add(Fields.Cell(r, c));
  }
}

std::size_t BlockRowsFor(std::size_t Columns) {
  constexpr std::size_t kCells = std::size_t{1} << 21;
  std::size_t Rows = 65536;
  while (Rows > 256 && Rows * std::max<std::size_t>(Columns, 1) > kCells) Rows /= 2;
  return Rows;
}

std::string InputName(const std::vector<std::string>& Paths) {
  if (Paths.empty()) return {};
  std::string Name = Paths[0] == "-" ? std::string("standard input") : Paths[0];
  const std::size_t More = Paths.size() - 1;
  if (More > 0) Name += " and " + std::to_string(More) + (More == 1 ? " more file" : " more files");
  return Name;
}

TRowReader::TRowReader(const std::string& Path, const TReadOptions& Options, const TColumnPicker& Pick)
    : TRowReader(std::vector<std::string>{Path}, Options, Pick) {}

TRowReader::TRowReader(std::vector<std::string> Paths, const TReadOptions& Options, const TColumnPicker& Pick)
    : FShown(Printable(InputName(Paths))), FOptions(Options) {
  for (std::string& Path : Paths) {
    if (Path == "-" && Paths.size() > 1) throw TInputError("standard input (-) is read alone, not among several files");
    std::string Shown = Path == "-" ? std::string("standard input") : Printable(Path);
    FFiles.push_back({std::move(Path), std::move(Shown)});
  }
  if (FFiles.empty()) throw TInputError("no input file");
  const std::size_t More = FFiles.size() - 1;
  Open(0);
  const std::string_view Line = HeaderRow();
  FHeader.Blanks = Options.Blanks;
  FHeader.Separator = Options.Blanks ? ' ' : Options.Separator;
  if (FHeader.Separator == 0) {
    FHeader.Separator = GuessedSeparator(Line);
    FHeader.Guessed = true;
  }
  FHeader.Names = HeaderNames(Line, 0);
  if (const auto Renamed = MakeUnique(FHeader.Names); !Renamed.empty()) SayRenamed(Shown(0), Renamed, FHeader.Names);
  if (More > 0) {
    CheckRewindable();  // file 0, open now
    for (std::size_t f = 1; f <= More; ++f) CheckHeader(f);
    Open(0);
    HeaderRow();
  }
  FHeader.Picked.resize(FHeader.Names.size());
  std::iota(FHeader.Picked.begin(), FHeader.Picked.end(), 0);
  if (Pick) FHeader.Picked = Pick(FHeader.Names);
  FSlot.assign(FHeader.Names.size(), -1);
  for (std::size_t i = 0; i < FHeader.Picked.size(); ++i) {
    int& Slot = FSlot.at(static_cast<std::size_t>(FHeader.Picked[i]));
    if (Slot < 0) {
      Slot = static_cast<int>(i);
    } else {
      FRepeats.emplace_back(i, static_cast<std::size_t>(Slot));
    }
  }
}

// A column picked twice (a formula's and the weights') is split once, into
// its first slot, and copied into the others.
void TRowReader::CopyRepeats(std::size_t r, TFieldBlock& Out) const {
  const std::size_t First = r * Out.Picked;
  for (const auto& [To, From] : FRepeats) {
    Out.Cells[First + To] = Out.Cells[First + From];
    if (Out.Parsed.empty()) continue;
    Out.Parsed[First + To] = Out.Parsed[First + From];
    Out.Values[First + To] = Out.Values[First + From];
  }
}

// One file open at a time, so that a folder of many parts needs no more.
void TRowReader::Open(std::size_t File) {
  FBytes.reset();
  FBytes = FOptions.Text ? std::make_unique<TByteStream>(FOptions.Text, FFiles[File].Shown)
                         : std::make_unique<TByteStream>(FFiles[File].Path, FFiles[File].Shown);
  FFile = File;
  FFiles[File].Seekable = FBytes->Rewindable() && !FBytes->Compressed();
  FFiles[File].Size = FBytes->RawSize();
  FBuffer.clear();
  FAt = 0;
  FEnded = false;
  FFirst = true;
  FDataRows = 0;
}

// The header row of the file just opened, a view into the buffer valid
// until the next read; the first data row comes next. The header's names
// are left alone: the workers may be splitting another file's rows.
std::string_view TRowReader::HeaderRow() {
  std::string_view Line;
  FAtHeader = true;
  const bool Found = NextRow(Line);
  FAtHeader = false;
  FFirst = false;  // a byte-order mark is looked for at the file's start only
  if (!Found) {
    throw TInputError(Shown(FFile) + ": no header row" +
                      (FBytes->Fifo() ? " (a pipe with no writer reads as empty)" : ""));
  }
  FDataRows = 0;
  return Line;
}

std::vector<std::string> TRowReader::HeaderNames(std::string_view Line, std::size_t File) const {
  TQuotedRows Quoted(FHeader.Separator);
  std::vector<std::string_view> Fields;
  std::string Arena, Problem;
  Arena.reserve(2 * Line.size() + 16);
  SplitRow(Line, FHeader.Separator, FHeader.Blanks, Quoted, Fields, Arena, Problem);
  if (!Problem.empty()) throw TInputError(Shown(File) + ": the header row: " + Problem);
  std::vector<std::string> Names;
  for (const auto Field : Fields) Names.push_back(Trim(Field));
  return Names;
}

// Among several files each is read again for every pass, so each must be
// a file that can be; and each has the first one's columns.
void TRowReader::CheckRewindable() const {
  if (!FBytes->Rewindable())
    throw TInputError(Shown(FFile) + ": among several files each must be a regular file (a pipe is read alone)");
}

void TRowReader::CheckHeader(std::size_t File) {
  Open(File);
  CheckRewindable();
  std::vector<std::string> Names = HeaderNames(HeaderRow(), File);
  MakeUnique(Names);
  if (Names != FHeader.Names) {
    throw TInputError(Shown(File) + ": its header row differs from the one of " + Shown(0) +
                      "; the files must have the same columns in the same order");
  }
}

bool TRowReader::Seekable() const {
  return std::all_of(FFiles.begin(), FFiles.end(), [](const TFile& File) { return File.Seekable; });
}

double TRowReader::ReadFraction() const {
  std::uint64_t Total = 0, Read = FBytes->RawRead();
  for (std::size_t f = 0; f < FFiles.size(); ++f) {
    if (FFiles[f].Size == 0) return -1;
    Total += FFiles[f].Size;
    if (f < FFile) Read += FFiles[f].Size;
  }
  return static_cast<double>(Read) / static_cast<double>(Total);
}

bool TRowReader::Fill() {
  FBuffer.erase_front(FAt);
  FAt = 0;
  return Append(FBuffer, kReadBytes);
}

// Reads at most Bytes more onto the end of Text.
bool TRowReader::Append(TBytes& Text, std::size_t Bytes) {
  if (FEnded) return false;
  const std::size_t Have = Text.size();
  Text.resize(Have + Bytes);
  const std::size_t Got = FBytes->Read(Text.data() + Have, Bytes);
  Text.resize(Have + Got);
  FEnded = Got == 0;
  if (FFirst && Text.size() >= 3) {
    FFirst = false;
    if (std::string_view(Text.data(), 3) == "\xEF\xBB\xBF") FAt = 3;
  }
  return !FEnded;
}

// The next row of Text from At on (a view into Text, valid until Text
// changes), reading more onto Text's end while the row is not whole; the
// reads erase Text's rows before At when Erase. Rows are counted: the
// header is row 0, then the data rows.
bool TRowReader::NextRowIn(TBytes& Text, std::size_t& At, bool Erase, std::size_t ReadBytes, std::string_view& Row,
                           TPlainText* Plain) {
  for (;;) {
    const char* const Begin = Text.data() + At;
    const char* const End = Text.data() + Text.size();
    std::size_t Length = 0, Next = 0;
    const char* const Line = Plain ? PlainLineEnd(Text, At, *Plain) : nullptr;
    if (Line) Length = static_cast<std::size_t>(Line - Begin), Next = Length + 1;
    const bool Found = Line || FindRowEnd(Begin, End, Length, Next);
    if (!Found && !FEnded && static_cast<std::size_t>(End - Begin) <= kMaxRowBytes) {
      if (Erase) {
        Fill();
      } else {
        Append(Text, ReadBytes);
      }
      continue;
    }
    if (!Found) {
      if (Begin == End) return false;
      Length = Next = static_cast<std::size_t>(End - Begin);
    }
    const std::size_t Number = FAtHeader ? 0 : FDataRows + 1;
    if (Length > kMaxRowBytes) throw TInputError(Shown(FFile) + ": " + RowName(Number) + " is longer than 1 MiB");
    Row = std::string_view(Begin, Length);
    At += Next;
    const char Separator = FAtHeader ? '\0' : FHeader.Separator;
    if (IsEmptyRow(Row, Separator, FOptions.Blanks)) continue;
    if (!FAtHeader) ++FDataRows;
    return true;
  }
}

bool TRowReader::NextRow(std::string_view& Row) { return NextRowIn(FBuffer, FAt, true, kReadBytes, Row, nullptr); }

// The block's text is read into directly: what the buffer holds beyond the
// rows given, then the file's bytes, at most a megabyte a read, sized from
// the rows so far so that few bytes are read beyond the block's last row;
// the rows are offsets into it, and the bytes after the last one go back to
// the buffer.
bool TRowReader::NextInFile(std::size_t MaxRows, TRowText& Block) {
  Block.FirstRow = FRowsBefore + FDataRows;
  Block.File = FFile;
  Block.FileFirstRow = FDataRows;
  Block.Begin.clear();
  Block.End.clear();
  Block.Text.assign(FBuffer.data() + FAt, FBuffer.data() + FBuffer.size());
  FBuffer.clear();
  FAt = 0;
  std::size_t At = 0;
  std::string_view Row;
  TPlainText Plain;
  const auto ReadBytes = [&] {
    const std::size_t Rows = Block.Rows(), Left = MaxRows - Rows;
    const std::size_t Wanted = Rows == 0 ? kReadBytes : At / Rows * Left + At / Rows / 2 + 1;
    return std::clamp(Wanted, kReadBytes / 4, kBlockReadBytes);
  };
  while (Block.Rows() < MaxRows && NextRowIn(Block.Text, At, false, ReadBytes(), Row, &Plain)) {
    const auto Begin = static_cast<std::size_t>(Row.data() - Block.Text.data());
    Block.Begin.push_back(Begin);
    Block.End.push_back(Begin + Row.size());
  }
  FBuffer.assign(Block.Text.data() + At, Block.Text.data() + Block.Text.size());
  Block.Text.resize(At);
  return Block.Rows() > 0;
}

// A file (or piece) that ends ends the block; the next block begins with
// the next one.
bool TRowReader::Next(std::size_t MaxRows, TRowText& Block) {
  while (!NextInFile(MaxRows, Block)) {
    if (FInPart) {
      if (FPiece + 1 >= FPieces.size()) return false;
      OpenPiece(FPiece + 1);
    } else {
      if (FFile + 1 >= FFiles.size()) return false;
      FRowsBefore += FDataRows;
      Open(FFile + 1);
      HeaderRow();
    }
  }
  return true;
}

void TRowReader::ReadParts(std::vector<TRowsPiece> Pieces) {
  FPieces = std::move(Pieces);
  FInPart = true;
  Rewind();
}

void TRowReader::OpenPiece(std::size_t Piece) {
  const TRowsPiece& Part = FPieces[Piece];
  if (Part.File != FFile) Open(Part.File);
  FBytes->Restrict(Part.Begin, Part.End);
  FPiece = Piece;
  FBuffer.clear();
  FAt = 0;
  FEnded = false;
  FFirst = false;  // a piece begins at a data row: no header to skip
  FDataRows = Part.FileFirstRow;
  FRowsBefore = Part.FirstRow - Part.FileFirstRow;
}

void TRowReader::Rewind() {
  if (FInPart) {
    if (!FPieces.empty()) return OpenPiece(0);
    FBuffer.clear();
    FAt = 0;
    FEnded = true;  // a process with no rows
    return;
  }
  FRowsBefore = 0;
  if (FFile != 0) {
    Open(0);
  } else {
    FBytes->Rewind();
    FBuffer.clear();
    FAt = 0;
    FEnded = false;
    FFirst = true;
  }
  HeaderRow();  // read again and skipped
}

// A row without quotes, its number columns read as its fields are found
// (from_chars finds a number's end, so such a field needs no search for
// its separator). False when the row is not that plain: a field count
// other than the header's, or a number cell that is not a plain number;
// the general split then takes the row.
bool TRowReader::SplitPlain(std::string_view Row, const std::vector<bool>& Numbers, std::size_t r,
                            TFieldBlock& Out) const {
  const char Separator = FHeader.Separator;
  const char* At = Row.data();
  const char* const End = At + Row.size();
  const std::size_t Columns = FHeader.Names.size(), First = r * Out.Picked;
  for (std::size_t c = 0; c < Columns; ++c) {
    const int Slot = FSlot[c];
    const char* Stop = nullptr;
    if (Slot >= 0 && Numbers[static_cast<std::size_t>(Slot)]) {
      double Value = 0;
      const auto [After, Error] = std::from_chars(At, End, Value);
      if (Error != std::errc() || !std::isfinite(Value) || (After != End && *After != Separator)) return false;
      Stop = After;
      Out.Values[First + static_cast<std::size_t>(Slot)] = Value;
    } else {
      Stop = static_cast<const char*>(std::memchr(At, Separator, static_cast<std::size_t>(End - At)));
      if (!Stop) Stop = End;
    }
    if ((Stop == End) != (c + 1 == Columns)) return false;
    if (Slot >= 0) {
      Out.Cells[First + static_cast<std::size_t>(Slot)] = std::string_view(At, static_cast<std::size_t>(Stop - At));
      Out.Parsed[First + static_cast<std::size_t>(Slot)] = Numbers[static_cast<std::size_t>(Slot)];
    }
    At = Stop + 1;
  }
  return true;
}

void TRowReader::Split(const TRowText& Block, TFieldBlock& Out, const std::vector<bool>& Numbers) const {
  const std::size_t Picked = FHeader.Picked.size(), Columns = FHeader.Names.size();
  Out.FirstRow = Block.FirstRow;
  Out.Rows = Block.Rows();
  Out.Picked = Picked;
  // Every row sets each of its cells (and, split plain, whether each was
  // parsed): the storage is kept from block to block, not cleared.
  Out.Cells.resize(Out.Rows * Picked);
  // A separator that can be part of a number, or blanks, leave every row
  // to the general split.
  const bool Plain = !Numbers.empty() && !FHeader.Blanks && std::strchr("0123456789+-.eEinfatyINFATY()xXpP", FHeader.Separator) == nullptr;
  Out.Parsed.resize(Plain ? Out.Rows * Picked : 0);
  Out.Values.resize(Out.Parsed.size());
  Out.Arena.clear();
  Out.Arena.reserve(2 * Block.Text.size() + 16);
  TQuotedRows Quoted(FHeader.Separator);
  std::vector<std::string_view> Fields;
  std::string Problem;
  for (std::size_t r = 0; r < Out.Rows; ++r) {
    const std::string_view Row = Block.Row(r);
    if (Plain) {
      if (!std::memchr(Row.data(), '"', Row.size()) && SplitPlain(Row, Numbers, r, Out)) {
        CopyRepeats(r, Out);
        continue;
      }
      std::fill_n(Out.Parsed.begin() + static_cast<std::ptrdiff_t>(r * Picked), Picked, 0);
    }
    const std::size_t Number = Block.FileFirstRow + r + 1;
    const std::string& File = Shown(Block.File);
    SplitRow(Row, FHeader.Separator, FHeader.Blanks, Quoted, Fields, Out.Arena, Problem);
    if (!Problem.empty()) throw TInputError(File + ": data row " + std::to_string(Number) + ": " + Problem);
    if (Fields.size() != Columns) {
      throw TInputError(File + ": data row " + std::to_string(Number) + " has " + std::to_string(Fields.size()) +
                        " fields, the header " + std::to_string(Columns) +
                        "; a field that holds the separator needs quotes (--sep gives another separator)");
    }
    for (std::size_t c = 0; c < Columns; ++c) {
      if (FSlot[c] >= 0) Out.Cells[r * Picked + static_cast<std::size_t>(FSlot[c])] = Fields[c];
    }
    CopyRepeats(r, Out);
  }
}

}  // namespace varnel::cli
