// SPDX-License-Identifier: Apache-2.0
#include "reading/byte_stream.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

#include "csv_table.h"

namespace varnel::cli {
namespace {

// Opening a FIFO waits for a writer, for ever if none comes; O_NONBLOCK
// makes the open return at once. Blocking is switched back on for the
// reading, so that a pipe whose writer is slow is waited for, while one with
// no writer at all reads as empty. Regular files and devices are read alike,
// so that /dev/stdin and process substitution work.
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

constexpr std::size_t kRawBlock = std::size_t{256} << 10;

// What a file's first bytes say it is, when it is not text to be read.
const char* Refused(std::string_view Start) {
  if (Start.substr(0, 4) == std::string_view("PK\x03\x04", 4))
    return "is a zip archive (an xlsx workbook?), not a text file; save the sheet as CSV";
  if (Start.substr(0, 4) == "PAR1") return "is a Parquet file, not a text file; write it out as CSV";
  return nullptr;
}

}  // namespace

// zlib's inflater over the raw file, with gzip's header and any number of
// concatenated members (as gzip -c a b > c makes).
struct TByteStream::TInflater {
  z_stream Stream{};
  std::vector<char> In = std::vector<char>(kRawBlock);
  bool Ended = false;
  TInflater() {
    if (inflateInit2(&Stream, 15 + 16) != Z_OK) throw std::bad_alloc();
  }
  ~TInflater() { inflateEnd(&Stream); }
};

TByteStream::TByteStream(const std::string& Path, const std::string& Shown)
    : FShown(Shown), FFile(OpenForReading(Path, Shown)) {
  if (!FFile) throw TInputError(Shown + ": cannot read it: " + std::strerror(errno));
  struct stat Status {};
  const bool Known = ::fstat(FFile.Get(), &Status) == 0;
  FFifo = Known && S_ISFIFO(Status.st_mode);
  if (Known && S_ISREG(Status.st_mode)) {
    FRewindable = true;
    FRawSize = static_cast<std::uint64_t>(Status.st_size);
  }
  Start();
}

TByteStream::TByteStream(std::shared_ptr<const std::string> Text, const std::string& Shown)
    : FShown(Shown), FFile(-1), FRewindable(true), FRawSize(Text->size()), FText(std::move(Text)) {
  Start();
}

TByteStream::~TByteStream() = default;

// Reads the first bytes, to tell a compressed file from text.
void TByteStream::Start() {
  std::vector<char> First(std::size_t{64} << 10);
  std::size_t Have = 0;
  FPending.clear();
  FPendingAt = 0;
  while (Have < 4) {
    const std::size_t Got = ReadRaw(First.data() + Have, First.size() - Have);
    if (Got == 0) break;
    Have += Got;
  }
  First.resize(Have);
  FPending = std::move(First);
  const std::string_view Begin(FPending.data(), Have);
  if (const char* Why = Refused(Begin)) throw TInputError(FShown + " " + Why);
  if (Begin.substr(0, 2) == "\x1f\x8b") FInflater = std::make_unique<TInflater>();
}

std::size_t TByteStream::ReadRaw(char* Out, std::size_t Size) {
  if (FPendingAt < FPending.size()) {
    const std::size_t n = std::min(Size, FPending.size() - FPendingAt);
    std::memcpy(Out, FPending.data() + FPendingAt, n);
    FPendingAt += n;
    return n;
  }
  if (FRestricted) Size = static_cast<std::size_t>(std::min<std::uint64_t>(Size, FEnd - FRawRead));
  if (FText) Size = static_cast<std::size_t>(std::min<std::uint64_t>(Size, FRawSize - FRawRead));
  if (Size == 0) return 0;
  if (FText) {
    std::memcpy(Out, FText->data() + FRawRead, Size);
    FRawRead += Size;
    return Size;
  }
  for (;;) {
    const ssize_t Got = ::read(FFile.Get(), Out, Size);
    if (Got < 0 && errno == EINTR) continue;
    if (Got < 0) throw TInputError(FShown + ": cannot read the file: " + std::strerror(errno));
    FRawRead += static_cast<std::uint64_t>(Got);
    return static_cast<std::size_t>(Got);
  }
}

std::size_t TByteStream::Read(char* Out, std::size_t Size) {
  if (!FInflater) return ReadRaw(Out, Size);
  z_stream& Z = FInflater->Stream;
  Z.next_out = reinterpret_cast<Bytef*>(Out);
  Z.avail_out = static_cast<uInt>(std::min<std::size_t>(Size, 1u << 30));
  while (Z.avail_out > 0 && Z.next_out == reinterpret_cast<Bytef*>(Out)) {
    if (Z.avail_in == 0) {
      const std::size_t Got = ReadRaw(FInflater->In.data(), FInflater->In.size());
      if (Got == 0) {
        if (!FInflater->Ended) throw TInputError(FShown + ": the compressed data end early (a truncated .gz file)");
        break;
      }
      Z.next_in = reinterpret_cast<Bytef*>(FInflater->In.data());
      Z.avail_in = static_cast<uInt>(Got);
    }
    FInflater->Ended = false;
    const int Status = inflate(&Z, Z_NO_FLUSH);
    if (Status == Z_STREAM_END) {
      FInflater->Ended = true;
      inflateReset(&Z);  // another member may follow
    } else if (Status == Z_MEM_ERROR) {
      throw std::bad_alloc();
    } else if (Status != Z_OK && Status != Z_BUF_ERROR) {
      throw TInputError(FShown + ": the compressed data are damaged (" + (Z.msg ? Z.msg : "zlib error") + ")");
    }
  }
  return static_cast<std::size_t>(reinterpret_cast<char*>(Z.next_out) - Out);
}

void TByteStream::Restrict(std::uint64_t Begin, std::uint64_t End) {
  if (!FRewindable || FInflater || Begin > End || End > FRawSize)
    throw TInputError(FShown + ": only a regular, uncompressed file can be read in parts");
  FRestricted = true;
  FBegin = Begin;
  FEnd = End;
  Rewind();
}

void TByteStream::Rewind() {
  if (FRestricted) {
    if (!FText && ::lseek(FFile.Get(), static_cast<off_t>(FBegin), SEEK_SET) != static_cast<off_t>(FBegin))
      throw TInputError(FShown + ": cannot read the file a second time");
    FRawRead = FBegin;
    FPending.clear();
    FPendingAt = 0;
    return;
  }
  if (!FRewindable || (!FText && ::lseek(FFile.Get(), 0, SEEK_SET) != 0))
    throw TInputError(FShown + ": cannot read the file a second time");
  FRawRead = 0;
  FInflater.reset();
  Start();
}

}  // namespace varnel::cli
