#include "scratch_folder.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <pthread.h>
#include <unistd.h>

#include "csv_table.h"
#include "output.h"

namespace varnel::cli {
namespace {

constexpr int kSignals[] = {SIGHUP, SIGINT, SIGPIPE, SIGTERM};
constexpr std::size_t kSignalCount = std::size(kSignals);
constexpr int kMaxFiles = 4;
constexpr std::size_t kMaxPath = PATH_MAX - 64;  // room for the file names

// What the signal handler removes. Changed only while the signals are blocked,
// so that the handler never sees it half-written.
char gFolder[PATH_MAX];
char gFiles[kMaxFiles][PATH_MAX];
int gFileCount = 0;
bool gActive = false;
struct sigaction gPrevious[kSignalCount];
bool gInstalled[kSignalCount];

// unlink and rmdir are async-signal-safe; nothing here allocates.
void RemoveKnownFiles() {
  for (int i = 0; i < gFileCount; ++i) ::unlink(gFiles[i]);
  ::rmdir(gFolder);
}

void OnSignal(int Signal) {
  RemoveKnownFiles();
  for (std::size_t i = 0; i < kSignalCount; ++i) {
    if (kSignals[i] == Signal) ::sigaction(Signal, &gPrevious[i], nullptr);
  }
  // The signal is blocked while its handler runs: raised again, it arrives
  // with the restored action as soon as the handler returns.
  ::raise(Signal);
}

class TBlockedSignals {
 public:
  TBlockedSignals() {
    sigset_t Set;
    sigemptyset(&Set);
    for (int Signal : kSignals) sigaddset(&Set, Signal);
    pthread_sigmask(SIG_BLOCK, &Set, &FPrevious);
  }
  ~TBlockedSignals() { pthread_sigmask(SIG_SETMASK, &FPrevious, nullptr); }
  TBlockedSignals(const TBlockedSignals&) = delete;
  TBlockedSignals& operator=(const TBlockedSignals&) = delete;

 private:
  sigset_t FPrevious;
};

bool Ignored(const struct sigaction& Action) {
  return !(Action.sa_flags & SA_SIGINFO) && Action.sa_handler == SIG_IGN;
}

// A signal the caller ignores (nohup, a background job) stays ignored.
void InstallHandlers() {
  struct sigaction Action {};
  Action.sa_handler = OnSignal;
  sigemptyset(&Action.sa_mask);
  for (int Signal : kSignals) sigaddset(&Action.sa_mask, Signal);
  for (std::size_t i = 0; i < kSignalCount; ++i) {
    ::sigaction(kSignals[i], nullptr, &gPrevious[i]);
    gInstalled[i] = !Ignored(gPrevious[i]);
    if (gInstalled[i]) ::sigaction(kSignals[i], &Action, nullptr);
  }
}

void RestoreHandlers() {
  for (std::size_t i = 0; i < kSignalCount; ++i) {
    if (gInstalled[i]) ::sigaction(kSignals[i], &gPrevious[i], nullptr);
  }
}

std::string TempSetting() {
  const char* Value = std::getenv("TMPDIR");
  return Value ? "TMPDIR " + Printable(Value) : std::string("/tmp");
}

[[noreturn]] void CannotCreate(const std::string& Where, const std::string& Reason) {
  throw TInputError("cannot create a temporary folder in " + Where + ": " + Reason +
                    " (set TMPDIR to a writable folder)");
}

std::filesystem::path TempFolder() {
  std::error_code Error;
  std::filesystem::path Folder = std::filesystem::temp_directory_path(Error);
  if (Error) CannotCreate(TempSetting(), Error.message());
  if (Folder.string().size() >= kMaxPath - 16) CannotCreate(TempSetting(), "the path is too long");
  return Folder;
}

}  // namespace

TScratchFolder::TScratchFolder() {
  if (gActive) throw std::logic_error("one scratch folder at a time");
  const std::filesystem::path Folder = TempFolder();
  std::string Pattern = (Folder / "varnel-XXXXXX").string();
  TBlockedSignals Blocked;
  if (::mkdtemp(Pattern.data()) == nullptr) CannotCreate(TempSetting(), std::strerror(errno));
  std::strcpy(gFolder, Pattern.c_str());
  gFileCount = 0;
  gActive = true;
  InstallHandlers();
  FPath = Pattern;
}

TScratchFolder::~TScratchFolder() {
  TBlockedSignals Blocked;
  RemoveKnownFiles();
  RestoreHandlers();
  gFileCount = 0;
  gActive = false;
}

std::filesystem::path TScratchFolder::File(const std::string& Name) {
  std::filesystem::path Path = FPath / Name;
  const std::string Text = Path.string();
  if (gFileCount == kMaxFiles || Text.size() >= PATH_MAX) throw std::logic_error("too many scratch files");
  TBlockedSignals Blocked;
  std::strcpy(gFiles[gFileCount], Text.c_str());
  ++gFileCount;
  return Path;
}

TCurrentFolder::TCurrentFolder(const std::filesystem::path& Folder)
    : FPrevious(::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC)) {
  if (FPrevious >= 0 && ::chdir(Folder.c_str()) == 0) return;
  const int Error = errno;
  if (FPrevious >= 0) ::close(FPrevious);
  throw TInputError("cannot enter the temporary folder " + Printable(Folder.string()) + ": " + std::strerror(Error));
}

TCurrentFolder::~TCurrentFolder() {
  // This fails only if the previous folder has gone; the tool opens no
  // relative path after the search, so staying put is harmless.
  if (::fchdir(FPrevious) != 0) {
  }
  ::close(FPrevious);
}

}  // namespace varnel::cli
