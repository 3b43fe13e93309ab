// SPDX-License-Identifier: Apache-2.0
// Run under mpirun with any number of processes: every process runs every
// test, the collective calls in the same order. The expected values are
// one process's reductions of the whole data, which every process computes
// for itself.
#include <gtest/gtest.h>
#include <mpi.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "varnel/engine/errors.h"
#include "varnel/engine/flat_moments.h"
#include "varnel/mpi.h"
#include "varnel/mpi/gather.h"

namespace varnel::mpi {
namespace {

using engine::TMoments;
using engine::TTreeNode;

int Rank() {
  int r = 0;
  MPI_Comm_rank(MPI_COMM_WORLD, &r);
  return r;
}

int Size() {
  int n = 0;
  MPI_Comm_size(MPI_COMM_WORLD, &n);
  return n;
}

// The batches [First, Last) of Leaves that a process holds: uneven parts,
// laid out in reverse rank order, and none for process 1, so that neither
// rank order nor equal shares are assumed anywhere.
std::pair<std::size_t, std::size_t> PartOf(int Process, int Processes, std::size_t Leaves) {
  const auto Weight = [&](int r) -> std::size_t { return Processes > 1 && r == 1 ? 0 : r + 1; };
  std::size_t Total = 0, Before = 0;
  for (int r = 0; r < Processes; ++r) {
    Total += Weight(r);
    if (r > Process) Before += Weight(r);
  }
  return {Leaves * Before / Total, Leaves * (Before + Weight(Process)) / Total};
}

// A merge tree written out: its shape is what the bits of a numeric merge
// depend on, so comparing traces compares merge orders exactly.
struct TTrace {
  std::string S;
  void Merge(const TTrace& Other) { S = "(" + S + " " + Other.S + ")"; }
};

std::vector<std::byte> PackTrace(const TTrace& T) {
  const auto Bytes = std::as_bytes(std::span(T.S));
  return {Bytes.begin(), Bytes.end()};
}

TTrace UnpackTrace(std::span<const std::byte> Bytes) {
  return {std::string(reinterpret_cast<const char*>(Bytes.data()), Bytes.size())};
}

// The nodes this process holds of the tree over Leaves, each merged from
// its leaves as MergeTree merges them.
template <class State>
std::vector<std::pair<TTreeNode, State>> MyNodes(const std::vector<State>& Leaves) {
  const auto [First, Last] = PartOf(Rank(), Size(), Leaves.size());
  std::vector<std::pair<TTreeNode, State>> Nodes;
  for (const TTreeNode& Node : engine::NodesOf(First, Last, Leaves.size())) {
    const std::size_t End = std::min(Node.First() + (std::size_t{1} << Node.Level), Leaves.size());
    std::vector<State> Part(Leaves.begin() + Node.First(), Leaves.begin() + End);
    Nodes.emplace_back(Node, engine::MergeTree(std::move(Part)));
  }
  return Nodes;
}

std::vector<TTrace> TraceLeaves(std::size_t Count) {
  std::vector<TTrace> Leaves;
  for (std::size_t i = 0; i < Count; ++i) Leaves.push_back({std::to_string(i)});
  return Leaves;
}

// Three columns: one far from zero, one with a missing value every 11th
// row, one correlated with both.
std::vector<std::vector<double>> Columns(std::size_t Rows, std::uint64_t Seed) {
  std::vector<std::vector<double>> C(3, std::vector<double>(Rows));
  std::uint64_t x = Seed;
  const auto Uniform = [&] {
    x = x * 6364136223846793005u + 1442695040888963407u;
    return static_cast<double>(x >> 11) * 0x1p-53;
  };
  for (std::size_t i = 0; i < Rows; ++i) {
    C[0][i] = 1e9 + 1000 * Uniform();
    C[1][i] = i % 11 == 3 ? std::nan("") : Uniform() - 0.5;
    C[2][i] = 2e-6 * (C[0][i] - 1e9) + Uniform();
  }
  return C;
}

// Rows [Begin, End) of the columns as a batch of those global rows.
engine::TBatch RowsOf(const std::vector<std::vector<double>>& C, std::size_t Begin, std::size_t End) {
  engine::TBatch Batch{{}, Begin};
  for (const auto& Column : C) Batch.Columns.push_back(std::span(Column).subspan(Begin, End - Begin));
  return Batch;
}

// This process's rows when batches of BatchRows rows are shared as PartOf says.
engine::TBatch MyRows(const std::vector<std::vector<double>>& C, std::size_t BatchRows) {
  const std::size_t Rows = C.front().size(), Leaves = (Rows + BatchRows - 1) / BatchRows;
  const auto [First, Last] = PartOf(Rank(), Size(), Leaves);
  return RowsOf(C, std::min(First * BatchRows, Rows), std::min(Last * BatchRows, Rows));
}

TEST(MpiTest, AllGatherKeepsEachProcessBytesInRankOrder) {
  // Process r sends 5r bytes (process 0 none), each telling its sender.
  const auto BytesOf = [](int r) {
    std::vector<std::byte> B(5 * static_cast<std::size_t>(r));
    for (std::size_t i = 0; i < B.size(); ++i) B[i] = std::byte(static_cast<unsigned char>(37 * r + i));
    return B;
  };
  const std::vector<std::byte> Mine = BytesOf(Rank());
  std::vector<std::vector<std::byte>> Expected;
  for (int r = 0; r < Size(); ++r) Expected.push_back(BytesOf(r));
  EXPECT_EQ(AllGather(MPI_COMM_WORLD, Mine), Expected);
  // Limits below the total take the piecewise path, 1 the most pieces; the
  // exact total is still one transfer.
  std::size_t Total = 0;
  for (const auto& B : Expected) Total += B.size();
  for (std::size_t Limit : {std::size_t{1}, std::size_t{3}, Total, Total + 1}) {
    EXPECT_EQ(detail::AllGather(MPI_COMM_WORLD, Mine, Limit), Expected) << "limit " << Limit;
  }
}

TEST(MpiTest, AllMergeNodesBuildsTheOneProcessTree) {
  for (std::size_t Leaves : {0u, 1u, 2u, 5u, 13u, 16u, 17u, 100u}) {
    const std::vector<TTrace> All = TraceLeaves(Leaves);
    const TTrace Root = AllMergeNodes<TTrace>(MPI_COMM_WORLD, Leaves, MyNodes(All), PackTrace, UnpackTrace);
    EXPECT_EQ(Root.S, engine::MergeTree(All).S) << Leaves << " leaves";
  }
}

// Each fault is met on every process, after the exchange, so none hangs.
TEST(MpiTest, AllMergeNodesFaultsReachEveryProcess) {
  const std::vector<TTrace> All = TraceLeaves(13);
  auto Nodes = MyNodes(All);
  // A state left out: process 0 always holds some.
  auto Fewer = Nodes;
  if (Rank() == 0) Fewer.pop_back();
  EXPECT_THROW(AllMergeNodes<TTrace>(MPI_COMM_WORLD, 13, Fewer, PackTrace, UnpackTrace), std::invalid_argument);
  // A state twice.
  auto Twice = Nodes;
  if (Rank() == 0) Twice.push_back(Twice.front());
  EXPECT_THROW(AllMergeNodes<TTrace>(MPI_COMM_WORLD, 13, Twice, PackTrace, UnpackTrace), std::invalid_argument);
  // Processes that disagree on the size of the tree. (Alone, a process
  // with a wrong size is not found out: node (2, 3) is the last state of 13
  // or the last two of 14.)
  if (Size() > 1) {
    EXPECT_THROW(AllMergeNodes<TTrace>(MPI_COMM_WORLD, Rank() == Size() - 1 ? 14 : 13, Nodes, PackTrace, UnpackTrace),
                 std::invalid_argument);
  }
  // A node placed outside the tree.
  auto Outside = Nodes;
  if (Rank() == 0) Outside.front().first = {70, 1};
  EXPECT_THROW(AllMergeNodes<TTrace>(MPI_COMM_WORLD, 13, Outside, PackTrace, UnpackTrace), std::invalid_argument);
  // Packing fails on process 0: its own exception there, a runtime_error
  // on the others.
  const auto FailingPack = [](const TTrace& T) {
    if (Rank() == 0) throw std::logic_error("cannot pack");
    return PackTrace(T);
  };
  if (Rank() == 0) {
    EXPECT_THROW(AllMergeNodes<TTrace>(MPI_COMM_WORLD, 13, Nodes, FailingPack, UnpackTrace), std::logic_error);
  } else {
    EXPECT_THROW(AllMergeNodes<TTrace>(MPI_COMM_WORLD, 13, Nodes, FailingPack, UnpackTrace), std::runtime_error);
  }
  // And the communicator is still in step: a clean call after the faults.
  EXPECT_EQ(AllMergeNodes<TTrace>(MPI_COMM_WORLD, 13, Nodes, PackTrace, UnpackTrace).S, engine::MergeTree(All).S);
}

TEST(MpiTest, MomentsMatchOneProcessBitForBit) {
  constexpr std::size_t BatchRows = 7;
  for (std::size_t Rows : {0u, 1u, 7u, 8u, 100u, 103u}) {
    const auto C = Columns(Rows, 11 + Rows);
    const std::vector<std::byte> One = engine::ToFlat(engine::Accumulate(RowsOf(C, 0, Rows), 1, BatchRows));
    for (std::size_t Threads : {1u, 2u, 3u}) {
      EXPECT_EQ(engine::ToFlat(AccumulateDistributed(MPI_COMM_WORLD, MyRows(C, BatchRows), Rows, Threads, BatchRows)),
                One)
          << Rows << " rows, " << Threads << " threads";
    }
    // The same through nodes made by hand from per-batch states.
    if (Rows == 0) continue;
    std::vector<TMoments> Leaves;
    for (const engine::TBatch& Batch : engine::CutBatches(RowsOf(C, 0, Rows), BatchRows)) {
      Leaves.emplace_back(3);
      Leaves.back().Add(Batch);
    }
    EXPECT_EQ(engine::ToFlat(AllMergeNodes(MPI_COMM_WORLD, Leaves.size(), MyNodes(Leaves))), One) << Rows << " rows";
  }
  // The default batch size, with three batches.
  const std::size_t Rows = 2 * engine::kBatchRows + 1000;
  const auto C = Columns(Rows, 5);
  EXPECT_EQ(engine::ToFlat(AccumulateDistributed(MPI_COMM_WORLD, MyRows(C, engine::kBatchRows), Rows)),
            engine::ToFlat(engine::Accumulate(RowsOf(C, 0, Rows))));
}

TEST(MpiTest, AccumulateDistributedRefusesBadPartsEverywhere) {
  constexpr std::size_t Rows = 100, BatchRows = 7;
  const auto C = Columns(Rows, 3);
  const engine::TBatch Mine = MyRows(C, BatchRows);
  // Rows missing or beyond the parts.
  EXPECT_THROW(AccumulateDistributed(MPI_COMM_WORLD, Mine, Rows + 1, 1, BatchRows), std::invalid_argument);
  EXPECT_THROW(AccumulateDistributed(MPI_COMM_WORLD, Mine, Rows - 1, 1, BatchRows), std::invalid_argument);
  EXPECT_THROW(AccumulateDistributed(MPI_COMM_WORLD, Mine, Rows, 1, 0), std::invalid_argument);
  // Process 0's part (never empty) moved one row on: a gap before it, or
  // its start off the batch boundaries.
  engine::TBatch Shifted = Mine;
  if (Rank() == 0) Shifted = RowsOf(C, Mine.FirstRow + 1, Rows);
  EXPECT_THROW(AccumulateDistributed(MPI_COMM_WORLD, Shifted, Rows, 1, BatchRows), std::invalid_argument);
  // Processes that disagree on the batch size.
  if (Size() > 1) {
    EXPECT_THROW(AccumulateDistributed(MPI_COMM_WORLD, Mine, Rows, 1, Rank() == 0 ? 14 : BatchRows),
                 std::invalid_argument);
  }
  // Parts cut on 7-row boundaries are refused for batches of 5 unless every
  // part starts on a multiple of 5 as well.
  bool Aligned = true;
  for (int r = 0; r < Size(); ++r) Aligned = Aligned && PartOf(r, Size(), 15).first * 7 % 5 == 0;
  if (Aligned) {
    EXPECT_EQ(engine::ToFlat(AccumulateDistributed(MPI_COMM_WORLD, Mine, Rows, 1, 5)),
              engine::ToFlat(engine::Accumulate(RowsOf(C, 0, Rows), 1, 5)));
  } else {
    EXPECT_THROW(AccumulateDistributed(MPI_COMM_WORLD, Mine, Rows, 1, 5), std::invalid_argument);
  }
}

TEST(MpiTest, AccumulateDistributedFaultsInOneProcessReachEveryProcess) {
  constexpr std::size_t Rows = 100, BatchRows = 7;
  auto C = Columns(Rows, 9);
  const engine::TBatch Mine = MyRows(C, BatchRows);
  // An infinity in process 0's rows: the engine's overflow there, a
  // runtime_error naming process 0 elsewhere.
  if (Rank() == 0) C[2][Mine.FirstRow + Mine.Rows() - 1] = std::numeric_limits<double>::infinity();
  // Columns of different lengths on the last process.
  const std::vector<double> Longer(Mine.Rows() + 1);
  engine::TBatch Ragged = Mine;
  if (Rank() == Size() - 1) Ragged.Columns.push_back(Longer);
  for (std::size_t Threads : {1u, 3u}) {
    if (Rank() == 0) {
      EXPECT_THROW(AccumulateDistributed(MPI_COMM_WORLD, Mine, Rows, Threads, BatchRows), EOverflow);
    } else {
      EXPECT_THROW(AccumulateDistributed(MPI_COMM_WORLD, Mine, Rows, Threads, BatchRows), std::runtime_error);
    }
  }
  if (Rank() == Size() - 1) {
    EXPECT_THROW(AccumulateDistributed(MPI_COMM_WORLD, Ragged, Rows, 1, BatchRows), engine::EEngineError);
  } else {
    EXPECT_THROW(AccumulateDistributed(MPI_COMM_WORLD, Ragged, Rows, 1, BatchRows), std::runtime_error);
  }
}

TEST(MpiTest, AllMergeMergesInRankOrder) {
  // Process r's state from 10r rows of its own (process 0 none), and the
  // tree MergeTree makes over them in rank order.
  const auto StateOf = [](int r) {
    const std::size_t Rows = 10 * static_cast<std::size_t>(r);
    const auto C = Columns(Rows, 100 + r);
    return engine::Accumulate(RowsOf(C, 0, Rows));
  };
  std::vector<TMoments> All;
  for (int r = 0; r < Size(); ++r) All.push_back(StateOf(r));
  EXPECT_EQ(engine::ToFlat(AllMerge(MPI_COMM_WORLD, StateOf(Rank()))), engine::ToFlat(engine::MergeTree(All)));
}

// Shows only failures, with the process that met them, on every process
// but the first, whose output is GoogleTest's own.
class TFailurePrinter : public testing::EmptyTestEventListener {
 public:
  explicit TFailurePrinter(int Process) : FProcess(Process) {}
  void OnTestPartResult(const testing::TestPartResult& Result) override {
    if (Result.failed()) {
      std::fprintf(stderr, "[process %d] %s:%d: %s\n", FProcess, Result.file_name() ? Result.file_name() : "?",
                   Result.line_number(), Result.summary());
    }
  }

 private:
  int FProcess;
};

}  // namespace
}  // namespace varnel::mpi

int main(int argc, char** argv) {
  MPI_Init(&argc, &argv);
  testing::InitGoogleTest(&argc, argv);
  int Rank = 0;
  MPI_Comm_rank(MPI_COMM_WORLD, &Rank);
  if (Rank != 0) {
    auto& Listeners = testing::UnitTest::GetInstance()->listeners();
    // Release hands the default printer over; Append takes the new one.
    std::unique_ptr<testing::TestEventListener>(Listeners.Release(Listeners.default_result_printer()));
    Listeners.Append(std::make_unique<varnel::mpi::TFailurePrinter>(Rank).release());
  }
  // A failure on any process fails the run on every process.
  int Failed = RUN_ALL_TESTS() != 0 ? 1 : 0, AnyFailed = 1;
  MPI_Allreduce(&Failed, &AnyFailed, 1, MPI_INT, MPI_MAX, MPI_COMM_WORLD);
  MPI_Finalize();
  return AnyFailed;
}
