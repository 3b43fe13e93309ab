// SPDX-License-Identifier: Apache-2.0
// Report files for the clustering tests: a private temporary directory that
// is removed with everything in it, and reading a file back whole.
#pragma once

#include <filesystem>
#include <string>

namespace varnel::testing {

class TTempDir {
 public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  // The path of a file named Name inside the directory.
  std::string File(const std::string& Name) const;

 private:
  std::filesystem::path FPath;
};

// The bytes of the file; empty when it cannot be read.
std::string ReadWholeFile(const std::string& FileName);

}  // namespace varnel::testing
