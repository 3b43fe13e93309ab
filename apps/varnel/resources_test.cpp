// SPDX-License-Identifier: Apache-2.0
// The tool's CSV reader closes its file on every failure.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "csv_table.h"

namespace varnel::cli {
namespace {

namespace fs = std::filesystem;

int OpenDescriptors() {
  return static_cast<int>(std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

TEST(CsvResourceTest, EveryRejectedFileIsClosed) {
  const fs::path Path = fs::temp_directory_path() / "varnel_csv_resources.csv";
  const char* const kBad[] = {"a,b\n1\n", "a,b\n1,\"2\n", "a,b\n1,2\n3\n5,6\n", "a,b\n1,2,3\n", ""};
  const int Before = OpenDescriptors();
  for (int Round = 0; Round < 20; ++Round) {
    for (const char* Content : kBad) {
      std::ofstream(Path, std::ios::binary) << Content;
      EXPECT_THROW(ReadCsv(Path.string(), {}), TInputError) << Content;
    }
  }
  EXPECT_EQ(OpenDescriptors(), Before);
  fs::remove(Path);
}

}  // namespace
}  // namespace varnel::cli
