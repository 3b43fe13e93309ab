// SPDX-License-Identifier: Apache-2.0
// A file the tool writes whole: -o, --plot and --report. The target is
// looked up once, before any analysis, as the kernel looks it up (links
// followed under the kernel's own rules, such as its protection of links in
// sticky folders), and from then on named by its folder, held open, and its
// final name in it. Writing makes a new file beside it (".varnel-XXXXXXXX",
// registered for removal on a signal), writes and syncs every byte, gives it
// the old file's mode, owner and group, and only then renames it into
// place: a failure at any point leaves the old file as it was.
//
// A file with several hard links is replaced under the name given; its
// other names keep the old contents. Writing into it in place could not
// keep the old bytes when the write fails.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <sys/stat.h>

#include "posix_io.h"

namespace varnel::cli {

class TOutputTarget {
 public:
  // Throws TInputError (exit status 2) when Path cannot take the output: a
  // directory, FIFO or device, a link to nothing, a link the kernel refuses
  // to follow, a folder that is not there or not writable.
  explicit TOutputTarget(const std::string& Path);
  TOutputTarget(const TOutputTarget&) = delete;
  TOutputTarget& operator=(const TOutputTarget&) = delete;

  // The path as messages show it.
  const std::string& Shown() const { return FShown; }
  // Whether Status (of an input file) is the target itself.
  bool Is(const struct stat& Status) const;
  // Whether both name the same file, or the same name in the same folder.
  bool SameAs(const TOutputTarget& Other) const;
  // Replaces the target with Bytes; TWriteError names the target and the
  // reason when that fails, and the old file is then left as it was.
  void Write(std::string_view Bytes) const;
  // The same with the bytes Produce writes, as it writes them: the old
  // file stays until all is written, and when Produce throws.
  void Write(const std::function<void(std::ostream&)>& Produce) const;

 private:
  std::string FShown, FName;
  TUniqueFd FFolder{-1};
  struct stat FFolderStatus {};
  bool FExists = false;
  struct stat FStatus {};
};

}  // namespace varnel::cli
