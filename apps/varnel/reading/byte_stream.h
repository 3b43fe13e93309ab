// SPDX-License-Identifier: Apache-2.0
// The bytes of an input file: as they are, or inflated when the file is
// gzip-compressed (told by its first bytes, so also on standard input). A
// workbook or a Parquet file is refused in one line that says what it is.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "posix_io.h"

namespace varnel::cli {

class TByteStream {
 public:
  // Path "-" is standard input; Shown names the input in messages.
  TByteStream(const std::string& Path, const std::string& Shown);
  // The bytes of Text, held in memory by the caller (and kept alive here):
  // read as a regular file of those bytes would be.
  TByteStream(std::shared_ptr<const std::string> Text, const std::string& Shown);
  ~TByteStream();
  TByteStream(const TByteStream&) = delete;
  TByteStream& operator=(const TByteStream&) = delete;

  // Up to Size bytes into Out; 0 at the end. Throws TInputError when the
  // file cannot be read or its compressed stream is damaged.
  std::size_t Read(char* Out, std::size_t Size);

  // Whether the stream can be read again from its start (a regular file).
  bool Rewindable() const { return FRewindable; }
  // Back to the first byte, for another pass over the data.
  void Rewind();
  // From now on the bytes [Begin, End) of the file alone, and a rewind
  // goes back to Begin: a process's part of a file that several read. A
  // regular, uncompressed file only.
  void Restrict(std::uint64_t Begin, std::uint64_t End);

  bool Fifo() const { return FFifo; }
  bool Compressed() const { return FInflater != nullptr; }
  // How far the raw file has been read, and its size (0 when unknown).
  std::uint64_t RawRead() const { return FRawRead; }
  std::uint64_t RawSize() const { return FRawSize; }

 private:
  struct TInflater;
  void Start();
  std::size_t ReadRaw(char* Out, std::size_t Size);

  std::string FShown;
  TUniqueFd FFile;
  bool FRewindable = false, FFifo = false;
  std::uint64_t FRawRead = 0, FRawSize = 0;
  bool FRestricted = false;
  std::uint64_t FBegin = 0, FEnd = 0;  // the part read, when restricted
  // Bytes read ahead to look at the file's first bytes, given out first.
  std::vector<char> FPending;
  std::size_t FPendingAt = 0;
  std::unique_ptr<TInflater> FInflater;
  std::shared_ptr<const std::string> FText;  // the bytes when held in memory, not in FFile
};

}  // namespace varnel::cli
