// SPDX-License-Identifier: Apache-2.0
// Processes that each read a part of the files must read, between them,
// exactly the rows one reader reads, numbered alike and cut into the same
// blocks: quoted line ends, CR and CRLF line ends and empty lines included,
// wherever the byte ranges happen to cut, and several files of which some
// may hold no row. The processes are simulated by
// threads that exchange through a barrier.
#include "reading/row_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <barrier>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "reading/row_reader.h"

namespace varnel::cli {
namespace {

// Count threads gathering through shared slots.
class TThreadProcesses final : public TProcesses {
 public:
  struct TShared {
    explicit TShared(int Count) : Sync(Count), Slots(static_cast<std::size_t>(Count)) {}
    std::barrier<> Sync;
    std::vector<std::string> Slots;
  };
  TThreadProcesses(TShared& Shared, int Rank, int Count) : FShared(Shared), FRank(Rank), FCount(Count) {}
  int Rank() const override { return FRank; }
  int Count() const override { return FCount; }
  std::vector<std::string> AllGather(const std::string& Bytes) override {
    FShared.Slots[static_cast<std::size_t>(FRank)] = Bytes;
    FShared.Sync.arrive_and_wait();
    std::vector<std::string> All = FShared.Slots;
    FShared.Sync.arrive_and_wait();
    return All;
  }
  void SendToFirst(const std::string&) override {}
  std::string ReceiveFrom(int) override { return {}; }

 private:
  TShared& FShared;
  int FRank, FCount;
};

// A file of the troublesome kinds of row, with a header; Fancy: a
// byte-order mark and empty lines before the header, which has a quoted
// line end.
std::string TroublesomeFile(std::mt19937& Random, int Rows, bool Fancy) {
  std::string Text = Fancy ? "\xEF\xBB\xBF\n \r\n\"a\nx\",b,c\n" : "a,b,c\n";
  const char* const Ends[] = {"\n", "\r\n", "\r"};
  for (int r = 0; r < Rows; ++r) {
    switch (Random() % 8) {
      case 0: Text += "\"x\ny\"," + std::to_string(r) + ",\"q\"\"\r\"\""; break;  // quoted line ends and quotes
      case 1: Text += "  \t"; break;                                                // an empty line, not a row
      case 2: Text += "\"" + std::to_string(r) + "\",,"; break;
      default: Text += std::to_string(r) + "," + std::to_string(Random() % 100) + ",z"; break;
    }
    Text += Ends[Random() % 3];
  }
  if (Random() % 2) Text += "last,row,unended";
  return Text;
}

// Every row's text, read from the blocks of a part or of the whole, and
// where each block begins: its first data row of all, its file and its
// first data row in that file.
struct TRowsRead {
  std::vector<std::string> Texts;
  std::vector<std::tuple<std::size_t, std::size_t, std::size_t>> BlockFirst;
};

void ReadBlocks(TRowReader& Reader, std::size_t BlockRows, TRowsRead& Out) {
  TRowText Block;
  while (Reader.Next(BlockRows, Block)) {
    Out.BlockFirst.emplace_back(Block.FirstRow, Block.File, Block.FileFirstRow);
    for (std::size_t r = 0; r < Block.Rows(); ++r) Out.Texts.emplace_back(Block.Row(r));
  }
}

TEST(RowIndexTest, PartsReadTheRowsAndBlocksOfOneReader) {
  std::mt19937 Random(11);
  std::vector<std::string> Paths;
  for (int Trial = 0; Trial < 60; ++Trial) {
    const bool Fancy = Random() % 2;
    const std::size_t Files = Trial < 20 ? 1 : 1 + Random() % 4;
    for (std::string& Path : Paths) std::remove(Path.c_str());
    Paths.clear();
    for (std::size_t f = 0; f < Files; ++f) {
      Paths.push_back(::testing::TempDir() + "row_index_test_" + std::to_string(f) + ".csv");
      const int Rows = Random() % 5 == 0 ? 0 : 1 + static_cast<int>(Random() % 120);
      std::ofstream(Paths.back(), std::ios::binary) << TroublesomeFile(Random, Rows, Fancy);
    }
    const std::size_t BlockRows = 1 + Random() % 9;
    TRowsRead Whole;
    {
      TRowReader Reader(Paths, {});
      ReadBlocks(Reader, BlockRows, Whole);
    }
    for (int Count = 1; Count <= 6; ++Count) {
      TThreadProcesses::TShared Shared(Count);
      std::vector<TRowsRead> Parts(static_cast<std::size_t>(Count));
      std::vector<TFilesPart> Cut(static_cast<std::size_t>(Count));
      {
        std::vector<std::jthread> Threads;
        for (int Rank = 0; Rank < Count; ++Rank) {
          Threads.emplace_back([&, Rank] {
            TThreadProcesses Processes(Shared, Rank, Count);
            TRowReader Reader(Paths, {});
            TFilesPart Part = PartOfFiles(Reader, BlockRows, Processes);
            Reader.ReadParts(Part.Pieces);
            ReadBlocks(Reader, BlockRows, Parts[static_cast<std::size_t>(Rank)]);
            Cut[static_cast<std::size_t>(Rank)] = std::move(Part);
          });
        }
      }
      TRowsRead Joined;
      std::size_t Blocks = 0;
      for (int Rank = 0; Rank < Count; ++Rank) {
        const auto& Part = Parts[static_cast<std::size_t>(Rank)];
        Joined.Texts.insert(Joined.Texts.end(), Part.Texts.begin(), Part.Texts.end());
        Joined.BlockFirst.insert(Joined.BlockFirst.end(), Part.BlockFirst.begin(), Part.BlockFirst.end());
        ASSERT_EQ(Cut[static_cast<std::size_t>(Rank)].FirstBlock, Blocks)
            << "trial " << Trial << ", rank " << Rank << " of " << Count << ", blocks of " << BlockRows;
        EXPECT_EQ(Part.BlockFirst.size(), Cut[static_cast<std::size_t>(Rank)].Blocks);
        Blocks += Part.BlockFirst.size();
      }
      ASSERT_EQ(Joined.Texts, Whole.Texts) << "trial " << Trial << ", " << Count << " processes, " << Files << " files";
      ASSERT_EQ(Joined.BlockFirst, Whole.BlockFirst) << "trial " << Trial << ", " << Count << " processes";
      EXPECT_EQ(Cut.front().Total, Whole.BlockFirst.size());
    }
  }
  for (const std::string& Path : Paths) std::remove(Path.c_str());
}

// The scan reads a range a megabyte at a time: fed in pieces of any size,
// rows that run across pieces included, it counts as in one piece.
TEST(RowIndexTest, AScanFedInPiecesCountsAsInOne) {
  std::mt19937 Random(5);
  for (int Trial = 0; Trial < 200; ++Trial) {
    const std::string Text = TroublesomeFile(Random, 1 + static_cast<int>(Random() % 60), Random() % 2);
    const std::size_t From = Random() % Text.size();
    const TRangeRows Whole = ScanRange(Text.data() + From, Text.size() - From, From, ',', false);
    TRowScan Scan(From, ',', false);
    for (std::size_t At = From; At < Text.size();) {
      const std::size_t Piece = std::min<std::size_t>(1 + Random() % 40, Text.size() - At);
      Scan.Add(Text.data() + At, Piece);
      At += Piece;
    }
    const TRangeRows Pieces = Scan.Finish();
    ASSERT_EQ(Pieces.OddQuotes, Whole.OddQuotes);
    for (int s = 0; s < 2; ++s) {
      const TRangeSide &A = Pieces.Side[s], &B = Whole.Side[s];
      ASSERT_EQ(std::tie(A.Ended, A.LeadFilled, A.Rows, A.TailStart, A.TailFilled, A.Marks),
                std::tie(B.Ended, B.LeadFilled, B.Rows, B.TailStart, B.TailFilled, B.Marks))
          << "trial " << Trial << ", side " << s;
    }
  }
}

// A quote in a range that begins inside a quoted field: the count for the
// other start state is the one that holds.
TEST(RowIndexTest, ARangeCountsRowsForBothQuoteStates) {
  const std::string Text = "x\"\ny\nz\n";  // from outside: rows end at the 2nd and 3rd '\n'
  const TRangeRows R = ScanRange(Text.data(), Text.size(), 0, ',', false);
  EXPECT_TRUE(R.OddQuotes);
  EXPECT_FALSE(R.Side[0].Ended);  // from outside, every '\n' lies within the quotes
  EXPECT_TRUE(R.Side[0].LeadFilled);
  EXPECT_TRUE(R.Side[1].Ended);   // from inside, the quote closes the field: "y" and "z" follow
  EXPECT_EQ(R.Side[1].Rows, 2u);
  EXPECT_EQ(R.Side[1].TailStart, 7u);
  EXPECT_FALSE(R.Side[1].TailFilled);
}

}  // namespace
}  // namespace varnel::cli
