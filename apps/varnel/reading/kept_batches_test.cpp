// SPDX-License-Identifier: Apache-2.0
// Blocks kept in memory between passes: a pass over them gives the same
// state as the pass over the file, bit for bit, on any threads; beyond the
// budget every pass reads the file again.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "data_set.h"
#include "processes/state_packing.h"
#include "reading/row_reader.h"
#include "reading/streamed_data.h"
#include "tool_fixture.h"

namespace varnel::cli {
namespace {

class KeptBatchesTest : public ToolTest {
 protected:
  // 150,000 rows of x1, x2 and y: several blocks.
  std::string File() {
    std::string Csv = "x1,x2,y\n";
    char Line[96];
    for (long long i = 0; i < 150000; ++i) {
      std::snprintf(Line, sizeof Line, "%.17g,%.17g,%.17g\n", Uniform(i, 1), Uniform(i, 2), Uniform(i, 3));
      Csv += Line;
    }
    return Write("rows.csv", Csv);
  }
  static std::unique_ptr<TStreamedData> Open(const std::string& Path, std::size_t Threads) {
    auto Reader = std::make_unique<TRowReader>(Path, TReadOptions{}, [&](const std::vector<std::string>& Names) {
      return PickColumns(Names, Path, "y", {}, true, kMaxStreamedPredictors);
    });
    std::vector<TRowText> First(1);
    EXPECT_TRUE(Reader->Next(BlockRowsFor(Reader->Header().Names.size()), First[0]));
    return std::make_unique<TStreamedData>(std::move(Reader), std::move(First), TDataRules{}, Threads);
  }
  // The packed moments of one pass.
  static std::string Pass(TStreamedData& Data) {
    const engine::TMoments M = Data.Reduce<engine::TMoments>([](const engine::TBatch& Batch) {
      engine::TMoments Part(3);
      Part.Add(Batch);
      return Part;
    });
    TPacker Out;
    PackState(Out, M);
    return Out.Bytes();
  }
};

TEST_F(KeptBatchesTest, KeptPassesAreThePassOverTheFile) {
  const std::string Path = File();
  const std::string FromFile = Pass(*Open(Path, 1));
  for (std::size_t Threads : {1, 3}) {
    const auto Data = Open(Path, Threads);
    Data->KeepBatches(std::size_t(64) << 20);
    EXPECT_EQ(Pass(*Data), FromFile) << Threads;
    std::filesystem::resize_file(Path, 0);  // the next passes cannot read the file
    EXPECT_EQ(Pass(*Data), FromFile) << Threads;
    // A failure is the lowest failing block's, as over the file.
    try {
      Data->ForEachBatch([](std::size_t Index, const engine::TBatch&) {
        if (Index >= 1) throw std::runtime_error("block " + std::to_string(Index));
      });
      ADD_FAILURE() << "no failure";
    } catch (const std::runtime_error& Error) {
      EXPECT_STREQ(Error.what(), "block 1");
    }
    File();
  }
  // Beyond the budget nothing is kept: the file is read again.
  const auto Data = Open(Path, 2);
  Data->KeepBatches(1000);
  EXPECT_EQ(Pass(*Data), FromFile);
  std::filesystem::resize_file(Path, 0);
  EXPECT_ANY_THROW(Pass(*Data));
}

}  // namespace
}  // namespace varnel::cli
