// SPDX-License-Identifier: Apache-2.0
#include "scratch_folder.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "csv_table.h"
#include "output.h"

namespace varnel::cli {
namespace {

constexpr std::size_t kMaxPath = PATH_MAX - 64;  // room for the file names

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
  const std::filesystem::path Folder = TempFolder();
  std::string Pattern = (Folder / "varnel-XXXXXX").string();
  // Made and registered with the signals held back, so that none can end
  // the tool in between.
  TBlockedSignals Blocked;
  if (::mkdtemp(Pattern.data()) == nullptr) CannotCreate(TempSetting(), std::strerror(errno));
  try {
    FFolder = std::make_unique<TRemoval>(AT_FDCWD, Pattern, true);
  } catch (...) {
    ::rmdir(Pattern.c_str());
    throw;
  }
  FPath = Pattern;
}

TScratchFolder::~TScratchFolder() {
  for (auto& File : FFiles) File->Remove();
  FFolder->Remove();
}

std::filesystem::path TScratchFolder::File(const std::string& Name) {
  std::filesystem::path Path = FPath / Name;
  FFiles.push_back(std::make_unique<TRemoval>(AT_FDCWD, Path.string(), false));
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
