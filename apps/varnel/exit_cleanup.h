// SPDX-License-Identifier: Apache-2.0
// What the tool removes when a signal ends it: the temporary files and
// folders it has made and not yet handed over. SIGHUP, SIGINT, SIGPIPE and
// SIGTERM are caught while anything is registered; the handler removes what
// is registered and lets the signal take its course as it would have (the
// exit status is the usual one). A signal the caller ignores (nohup, a
// background job) stays ignored.
//
// The handler may not allocate, so an entry is copied into a fixed slot
// before the thing it names is created: register first, then create inside
// a TBlockedSignals scope.
#pragma once

#include <csignal>
#include <string>

namespace varnel::cli {

// The signals above are held back from this thread while the object lives.
// Threads started inside the scope inherit the mask and never take them.
class TBlockedSignals {
 public:
  TBlockedSignals();
  ~TBlockedSignals();
  TBlockedSignals(const TBlockedSignals&) = delete;
  TBlockedSignals& operator=(const TBlockedSignals&) = delete;

 private:
  sigset_t FPrevious;
};

// One registered file or empty folder, Name relative to the open folder
// FolderFd (or AT_FDCWD). The destructor forgets the entry; Remove()
// removes the thing now and forgets it; Release() only forgets it (the
// file has been renamed into its place).
class TRemoval {
 public:
  // Throws std::length_error when the name is too long or every slot is taken.
  TRemoval(int FolderFd, const std::string& Name, bool Folder);
  ~TRemoval();
  TRemoval(const TRemoval&) = delete;
  TRemoval& operator=(const TRemoval&) = delete;
  void Remove();
  void Release();

 private:
  int FSlot;
};

}  // namespace varnel::cli
