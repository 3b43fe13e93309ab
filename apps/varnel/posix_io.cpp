#include "posix_io.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
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

namespace {

// umask can only be read by setting it; the tool runs no threads while it writes.
mode_t CurrentUmask() {
  const mode_t Mask = ::umask(0);
  ::umask(Mask);
  return Mask;
}

std::string TemplateBeside(const std::string& Path) {
  const std::filesystem::path Target(Path);
  return (Target.parent_path() / ("." + Target.filename().string() + ".varnel-XXXXXX")).string();
}

// A link is followed, so that the file it names is replaced, not the link.
std::string Resolved(const std::string& Path) {
  std::error_code Error;
  const std::filesystem::path Real = std::filesystem::canonical(Path, Error);
  return Error ? Path : Real.string();
}

// A file that is there must be a regular one: renaming onto a device, a
// FIFO or a directory would replace it (or fail only at the end).
std::string Refusal(const std::string& Path, const std::string& Shown) {
  const std::string Kind = SpecialFileKind(Path);
  return Kind.empty() ? "" : Shown + ": not a regular file (" + Kind + "): the tool writes only regular files";
}

}  // namespace

std::string SpecialFileKind(const std::string& Path) {
  struct stat Status {};
  if (::stat(Path.c_str(), &Status) != 0 || S_ISREG(Status.st_mode)) return "";
  return S_ISDIR(Status.st_mode) ? "a directory" : S_ISFIFO(Status.st_mode) ? "a FIFO" : "a device or special file";
}

TReplacement::TReplacement(const std::string& Path)
    : FShown(Printable(Path)), FPath(Resolved(Path)), FTemporary(TemplateBeside(FPath)), FProblem(Refusal(FPath, FShown)),
      FFile(FProblem.empty() ? ::mkostemp(FTemporary.data(), O_CLOEXEC) : -1) {
  if (FProblem.empty() && !FFile) FProblem = FShown + ": cannot write the file: " + std::strerror(errno);
}

TReplacement::~TReplacement() {
  if (FProblem.empty() && !FCommitted) ::unlink(FTemporary.c_str());
}

std::string TReplacement::Commit() {
  if (!FProblem.empty()) return FProblem;
  int Error = ::fchmod(FFile.Get(), 0666 & ~CurrentUmask()) != 0 ? errno : 0;
  const int CloseError = FFile.Close();
  if (Error == 0) Error = CloseError;
  if (Error == 0 && ::rename(FTemporary.c_str(), FPath.c_str()) != 0) Error = errno;
  FCommitted = Error == 0;
  return FCommitted ? "" : FShown + ": cannot write the file: " + std::strerror(Error);
}

void WriteFileAtomically(const std::string& Path, const std::string& Text) {
  TReplacement File(Path);
  if (!File.Problem().empty()) throw TWriteError(File.Problem());
  const int Error = WriteAll(File.Fd(), Text.data(), Text.size());
  const std::string Problem = Error ? Printable(Path) + ": cannot write the file: " + std::strerror(Error) : File.Commit();
  if (!Problem.empty()) throw TWriteError(Problem);
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
