// SPDX-License-Identifier: Apache-2.0
#include "output_target.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <optional>
#include <random>
#include <unistd.h>

#include "csv_table.h"
#include "exit_cleanup.h"
#include "output.h"

namespace varnel::cli {
namespace {

[[noreturn]] void Refuse(const std::string& Shown, const std::string& Why) { throw TInputError(Shown + ": " + Why); }

std::string CannotWrite(int Error) { return std::string("cannot write the file: ") + std::strerror(Error); }

std::string KindOf(mode_t Mode) {
  if (S_ISDIR(Mode)) return "a directory";
  return S_ISFIFO(Mode) ? "a FIFO" : "a device or special file";
}

// Where the kernel's look-up of a link ended, as the kernel tells it.
std::string KernelPath(int Fd) {
  const std::string Link = "/proc/self/fd/" + std::to_string(Fd);
  std::string Path(PATH_MAX, '\0');
  const ssize_t Length = ::readlink(Link.c_str(), Path.data(), Path.size());
  if (Length <= 0 || Length >= PATH_MAX || Path[0] != '/') return "";
  Path.resize(static_cast<std::size_t>(Length));
  return Path;
}

// A folder held open for reading where it may be read, so that it can be
// synced after the rename; otherwise only as a place.
TUniqueFd OpenFolder(const std::string& Folder) {
  TUniqueFd Fd(::open(Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!Fd && errno == EACCES) Fd = TUniqueFd(::open(Folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  return Fd;
}

// Read from /proc, because setting the mask to learn it would race with
// another thread creating a file.
mode_t ProcessUmask() {
  std::ifstream Status("/proc/self/status");
  for (std::string Line; std::getline(Status, Line);) {
    if (Line.rfind("Umask:", 0) == 0) return static_cast<mode_t>(std::stoul(Line.substr(6), nullptr, 8));
  }
  const mode_t Mask = ::umask(0);
  ::umask(Mask);
  return Mask;
}

std::string RandomName() {
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::random_device Source;
  std::string Name = ".varnel-";
  for (int i = 0; i < 8; ++i) Name += kLetters[Source() % (sizeof kLetters - 1)];
  return Name;
}

// The new file beside the target, removed on every way out (a signal
// included) until it has been renamed into place.
class TNewFile {
 public:
  explicit TNewFile(int Folder) {
    for (int Try = 0; Try < 100 && !FFile; ++Try) {
      FName = RandomName();
      // Registered and created with the signals held back: the handler never
      // removes a file of that name that another process made.
      TBlockedSignals Blocked;
      FRemoval.emplace(Folder, FName, false);
      FFile = TUniqueFd(
          ::openat(Folder, FName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0600));
      if (FFile) return;
      const int Error = errno;
      FRemoval.reset();
      errno = Error;
      if (Error != EEXIST) return;
    }
  }
  ~TNewFile() {
    if (FRemoval) FRemoval->Remove();
  }
  TNewFile(const TNewFile&) = delete;
  TNewFile& operator=(const TNewFile&) = delete;
  int Fd() const { return FFile.Get(); }
  const std::string& Name() const { return FName; }
  int Close() { return FFile.Close(); }
  void Renamed() { FRemoval.reset(); }

 private:
  std::string FName;
  TUniqueFd FFile{-1};
  std::optional<TRemoval> FRemoval;
};

}  // namespace

TOutputTarget::TOutputTarget(const std::string& Path) : FShown(Printable(Path)) {
  if (Path.empty()) throw TInputError("an output file's name is empty");
  std::string Place = Path;
  struct stat Link {};
  if (::lstat(Path.c_str(), &Link) == 0 && S_ISLNK(Link.st_mode)) {
    // The kernel follows the link, refusing what its rules refuse; the
    // file it reaches is the one replaced.
    const TUniqueFd Target(::open(Path.c_str(), O_PATH | O_CLOEXEC));
    if (!Target && errno == ENOENT) Refuse(FShown, "a link to a file that is not there: the tool replaces only files");
    if (!Target) Refuse(FShown, CannotWrite(errno));
    Place = KernelPath(Target.Get());
    if (Place.empty()) Refuse(FShown, "a link whose end cannot be told here");
  }
  const std::size_t Slash = Place.rfind('/');
  FName = Slash == std::string::npos ? Place : Place.substr(Slash + 1);
  if (FName.empty() || FName == "." || FName == "..") Refuse(FShown, "names a folder, not a file");
  FFolder = OpenFolder(Slash == std::string::npos ? "." : Slash == 0 ? "/" : Place.substr(0, Slash));
  if (!FFolder || ::fstat(FFolder.Get(), &FFolderStatus) != 0) Refuse(FShown, CannotWrite(errno));
  FExists = ::fstatat(FFolder.Get(), FName.c_str(), &FStatus, AT_SYMLINK_NOFOLLOW) == 0;
  if (!FExists && errno != ENOENT) Refuse(FShown, CannotWrite(errno));
  if (FExists && !S_ISREG(FStatus.st_mode))
    Refuse(FShown, "not a regular file (" + KindOf(FStatus.st_mode) + "): the tool writes only regular files");
  if (::faccessat(FFolder.Get(), ".", W_OK, AT_EACCESS) != 0) Refuse(FShown, CannotWrite(errno));
}

bool TOutputTarget::Is(const struct stat& Status) const {
  return FExists && Status.st_dev == FStatus.st_dev && Status.st_ino == FStatus.st_ino;
}

bool TOutputTarget::SameAs(const TOutputTarget& Other) const {
  if (FExists && Other.FExists) return Other.Is(FStatus);
  return FFolderStatus.st_dev == Other.FFolderStatus.st_dev && FFolderStatus.st_ino == Other.FFolderStatus.st_ino &&
         FName == Other.FName;
}

void TOutputTarget::Write(std::string_view Bytes) const {
  Write([Bytes](std::ostream& Out) { Out.write(Bytes.data(), static_cast<std::streamsize>(Bytes.size())); });
}

void TOutputTarget::Write(const std::function<void(std::ostream&)>& Produce) const {
  const auto Fail = [this](int Error) { throw TWriteError(FShown + ": " + CannotWrite(Error)); };
  TNewFile New(FFolder.Get());
  if (New.Fd() < 0) Fail(errno);
  {
    TFdStream Out(New.Fd());
    Produce(Out);
    if (const std::string Failure = Out.Failure(); !Failure.empty()) throw TWriteError(FShown + ": cannot write the file: " + Failure);
  }
  // The old file's mode, owner and group go over; a file that appeared
  // meanwhile, or took the old one's place, is not the one checked.
  struct stat Now {};
  const bool There = ::fstatat(FFolder.Get(), FName.c_str(), &Now, AT_SYMLINK_NOFOLLOW) == 0;
  if (!There && errno != ENOENT) Fail(errno);
  if (There && (!S_ISREG(Now.st_mode) || !Is(Now))) throw TWriteError(FShown + ": another file took its place while the tool ran; left as it is");
  if (There && ::fchown(New.Fd(), Now.st_uid, Now.st_gid) != 0) {
    // Only root gives a file away; the group stays where the caller is in it.
    const int GroupKept = ::fchown(New.Fd(), static_cast<uid_t>(-1), Now.st_gid);
    (void)GroupKept;
  }
  if (::fchmod(New.Fd(), There ? Now.st_mode & 0777 : 0666 & ~ProcessUmask()) != 0) Fail(errno);
  if (::fsync(New.Fd()) != 0) Fail(errno);
  if (const int Error = New.Close(); Error != 0) Fail(Error);
  if (::renameat(FFolder.Get(), New.Name().c_str(), FFolder.Get(), FName.c_str()) != 0) Fail(errno);
  New.Renamed();
  ::fsync(FFolder.Get());  // the rename made lasting, where the folder could be opened for it
}

}  // namespace varnel::cli
