// SPDX-License-Identifier: Apache-2.0
#include "posix_io.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "output.h"

namespace varnel::cli {

TUniqueFd::~TUniqueFd() { Close(); }

int TUniqueFd::Close() {
  if (FFd < 0) return 0;
  const int Result = ::close(FFd);
  FFd = -1;
  return Result == 0 ? 0 : errno;
}

int WriteAll(int Fd, const char* Data, std::size_t Size) {
  while (Size > 0) {
    const ssize_t Written = ::write(Fd, Data, Size);
    if (Written < 0 && errno == EINTR) continue;
    if (Written < 0) return errno;
    if (Written == 0) return EIO;
    Data += Written;
    Size -= static_cast<std::size_t>(Written);
  }
  return 0;
}

void ReserveStandardDescriptors() {
  for (int Fd = 0; Fd <= 2; ++Fd) {
    // open takes the lowest free number, which is Fd when Fd is closed and
    // the lower ones are open (as the loop has made sure).
    if (::fcntl(Fd, F_GETFD) == -1 && errno == EBADF) ::open("/dev/null", O_RDONLY);
  }
}

void WriteWholeFile(const std::string& Path, const std::string& Text) {
  TUniqueFd File(::open(Path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0666));
  if (!File) throw TWriteError(Printable(Path) + ": cannot write the file: " + std::strerror(errno));
  int Error = WriteAll(File.Get(), Text.data(), Text.size());
  const int CloseError = File.Close();
  if (Error == 0) Error = CloseError;
  if (Error == 0) return;
  ::unlink(Path.c_str());
  throw TWriteError(Printable(Path) + ": cannot write the file: " + std::strerror(Error));
}

TFdStream::TBuffer::TBuffer(int Fd) : FFd(Fd) { setp(FData.data(), FData.data() + FData.size()); }

bool TFdStream::TBuffer::Drain() {
  if (FError == 0) FError = WriteAll(FFd, pbase(), static_cast<std::size_t>(pptr() - pbase()));
  setp(FData.data(), FData.data() + FData.size());  // what could not be written is dropped
  return FError == 0;
}

TFdStream::TBuffer::int_type TFdStream::TBuffer::overflow(int_type c) {
  if (!Drain()) return traits_type::eof();
  if (!traits_type::eq_int_type(c, traits_type::eof())) {
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
  }
  return traits_type::not_eof(c);
}

int TFdStream::TBuffer::sync() { return Drain() ? 0 : -1; }

TFdStream::TFdStream(int Fd) : std::ostream(nullptr), FBuffer(Fd) { rdbuf(&FBuffer); }

std::string TFdStream::Failure() {
  flush();
  if (FBuffer.Error() != 0) return std::strerror(FBuffer.Error());
  return bad() ? "write failed" : "";
}

}  // namespace varnel::cli
