// SPDX-License-Identifier: Apache-2.0
#include "varnel/testing/cluster_files.h"

#include <stdlib.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace varnel::testing {

TTempDir::TTempDir() {
  std::string Pattern = (std::filesystem::temp_directory_path() / "varnel-XXXXXX").string();
  if (mkdtemp(Pattern.data()) == nullptr) throw std::runtime_error("cannot create a temporary directory");
  FPath = Pattern;
}

TTempDir::~TTempDir() {
  std::error_code Error;
  std::filesystem::remove_all(FPath, Error);
}

std::string TTempDir::File(const std::string& Name) const { return (FPath / Name).string(); }

std::string ReadWholeFile(const std::string& FileName) {
  std::ifstream In(FileName, std::ios::binary);
  std::ostringstream Text;
  Text << In.rdbuf();
  return Text.str();
}

}  // namespace varnel::testing
