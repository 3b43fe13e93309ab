// SPDX-License-Identifier: Apache-2.0
// A private temporary folder under TMPDIR that is removed on every way out of
// the tool: normal returns and exceptions through the destructor, and
// SIGHUP, SIGINT, SIGPIPE and SIGTERM through a signal handler, after which
// the signal takes its course as it would have (the exit status is the
// usual one).
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "exit_cleanup.h"

namespace varnel::cli {

class TScratchFolder {
 public:
  // Throws TInputError when TMPDIR (or /tmp) is missing, not a folder or not
  // writable.
  TScratchFolder();
  ~TScratchFolder();
  TScratchFolder(const TScratchFolder&) = delete;
  TScratchFolder& operator=(const TScratchFolder&) = delete;

  const std::filesystem::path& Path() const { return FPath; }
  // The path of a file the folder will hold. Every file put into the folder
  // is named here first, because the signal handler can remove only what it
  // knows without allocating.
  std::filesystem::path File(const std::string& Name);

 private:
  std::filesystem::path FPath;
  std::unique_ptr<TRemoval> FFolder;
  std::vector<std::unique_ptr<TRemoval>> FFiles;
};

// Makes a folder the current one while the object lives (the all-subsets
// search reads its combination file from the current folder).
class TCurrentFolder {
 public:
  explicit TCurrentFolder(const std::filesystem::path& Folder);
  ~TCurrentFolder();
  TCurrentFolder(const TCurrentFolder&) = delete;
  TCurrentFolder& operator=(const TCurrentFolder&) = delete;

 private:
  int FPrevious;
};

}  // namespace varnel::cli
