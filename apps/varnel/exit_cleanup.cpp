// SPDX-License-Identifier: Apache-2.0
#include "exit_cleanup.h"

#include <climits>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <pthread.h>
#include <stdexcept>
#include <unistd.h>

namespace varnel::cli {
namespace {

constexpr int kSignals[] = {SIGHUP, SIGINT, SIGPIPE, SIGTERM};
constexpr std::size_t kSignalCount = std::size(kSignals);
constexpr int kSlots = 8;

struct TSlot {
  bool Used = false;
  bool Folder = false;
  int FolderFd = AT_FDCWD;
  char Name[PATH_MAX] = {};
};

// Changed only while the signals are blocked, so that the handler never
// sees a slot half-written.
TSlot gSlots[kSlots];
int gUsed = 0;
struct sigaction gPrevious[kSignalCount];
bool gInstalled[kSignalCount];

// unlinkat is async-signal-safe; nothing here allocates. Files go before
// folders, which must be empty to go.
void RemoveRegistered() {
  for (const bool Folders : {false, true}) {
    for (const TSlot& Slot : gSlots) {
      if (Slot.Used && Slot.Folder == Folders) ::unlinkat(Slot.FolderFd, Slot.Name, Folders ? AT_REMOVEDIR : 0);
    }
  }
}

void OnSignal(int Signal) {
  RemoveRegistered();
  for (std::size_t i = 0; i < kSignalCount; ++i) {
    if (kSignals[i] == Signal) ::sigaction(Signal, &gPrevious[i], nullptr);
  }
  // The signal is blocked while its handler runs: raised again, it arrives
  // with the restored action as soon as the handler returns.
  ::raise(Signal);
}

bool Ignored(const struct sigaction& Action) {
  return !(Action.sa_flags & SA_SIGINFO) && Action.sa_handler == SIG_IGN;
}

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

}  // namespace

TBlockedSignals::TBlockedSignals() {
  sigset_t Set;
  sigemptyset(&Set);
  for (int Signal : kSignals) sigaddset(&Set, Signal);
  pthread_sigmask(SIG_BLOCK, &Set, &FPrevious);
}

TBlockedSignals::~TBlockedSignals() { pthread_sigmask(SIG_SETMASK, &FPrevious, nullptr); }

TRemoval::TRemoval(int FolderFd, const std::string& Name, bool Folder) : FSlot(-1) {
  if (Name.size() >= PATH_MAX) throw std::length_error("a temporary path too long to register");
  TBlockedSignals Blocked;
  for (int i = 0; i < kSlots && FSlot < 0; ++i) {
    if (!gSlots[i].Used) FSlot = i;
  }
  if (FSlot < 0) throw std::length_error("too many temporary files");
  TSlot& Slot = gSlots[FSlot];
  std::memcpy(Slot.Name, Name.c_str(), Name.size() + 1);
  Slot.FolderFd = FolderFd;
  Slot.Folder = Folder;
  Slot.Used = true;
  if (gUsed++ == 0) InstallHandlers();
}

TRemoval::~TRemoval() { Release(); }

void TRemoval::Remove() {
  if (FSlot < 0) return;
  const TSlot& Slot = gSlots[FSlot];
  ::unlinkat(Slot.FolderFd, Slot.Name, Slot.Folder ? AT_REMOVEDIR : 0);
  Release();
}

void TRemoval::Release() {
  if (FSlot < 0) return;
  TBlockedSignals Blocked;
  gSlots[FSlot].Used = false;
  FSlot = -1;
  if (--gUsed == 0) RestoreHandlers();
}

}  // namespace varnel::cli
