// SPDX-License-Identifier: Apache-2.0
// File descriptors for the tool's own reading and writing: an owner that
// closes, a checked write, and an output stream that remembers why its first
// write failed, so that a full disk or a closed standard output is reported
// instead of lost.
#pragma once

#include <ostream>
#include <stdexcept>
#include <streambuf>
#include <string>
#include <vector>

namespace varnel::cli {

// A write that failed: the tool exits with 1. The text names the file and the reason.
class TWriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TUniqueFd {
 public:
  explicit TUniqueFd(int Fd) : FFd(Fd) {}
  TUniqueFd(TUniqueFd&& Other) noexcept : FFd(Other.FFd) { Other.FFd = -1; }
  TUniqueFd& operator=(TUniqueFd&& Other) noexcept {
    if (this != &Other) {
      Close();
      FFd = Other.FFd;
      Other.FFd = -1;
    }
    return *this;
  }
  ~TUniqueFd();
  TUniqueFd(const TUniqueFd&) = delete;
  TUniqueFd& operator=(const TUniqueFd&) = delete;
  int Get() const { return FFd; }
  explicit operator bool() const { return FFd >= 0; }
  // Closes now; returns 0 or the errno of a failed close.
  int Close();

 private:
  int FFd;
};

// Writes all Size bytes, going on after short writes and interruptions.
// Returns 0, or the errno of the failure (EIO for a write that wrote nothing).
int WriteAll(int Fd, const char* Data, std::size_t Size);

// Standard output, 0, 1 and 2, reopened on /dev/null when the tool was started
// with them closed, so that no file the tool opens takes their place. Writing
// to a descriptor reopened this way fails with EBADF, as writing to a closed one does.
void ReserveStandardDescriptors();

// Creates or truncates Path and writes Text into it; a failure throws
// TWriteError and leaves no partly written file behind.
void WriteWholeFile(const std::string& Path, const std::string& Text);

// An output stream over a descriptor it does not own. After a failed write
// the stream is bad and Failure() says why.
class TFdStream : public std::ostream {
 public:
  explicit TFdStream(int Fd);
  // Flushes; empty when everything written so far reached the descriptor,
  // otherwise the reason of the first failure.
  std::string Failure();

 private:
  class TBuffer : public std::streambuf {
   public:
    explicit TBuffer(int Fd);
    int Error() const { return FError; }

   protected:
    int_type overflow(int_type c) override;
    int sync() override;

   private:
    bool Drain();
    int FFd;
    int FError = 0;
    std::vector<char> FData = std::vector<char>(std::size_t{1} << 16);
  };
  TBuffer FBuffer;
};

}  // namespace varnel::cli
