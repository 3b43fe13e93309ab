// SPDX-License-Identifier: Apache-2.0
#include "varnel/engine/reduce.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <stdexcept>
#include <string>

#include "varnel/engine/errors.h"
#include "varnel/engine/flat_moments.h"
#include "varnel/engine/inference.h"
#include "varnel/engine/least_squares.h"

namespace varnel::engine {
namespace {

// Three predictors and a response near 1e6, with a few missing values.
std::vector<std::vector<double>> Design(std::size_t n) {
  std::mt19937 Engine(99);
  std::normal_distribution<double> Noise(0, 1);
  std::vector<std::vector<double>> C(4, std::vector<double>(n));
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = 0; j < 3; ++j) C[j][i] = 1e6 + (j + 1) * Noise(Engine);
    C[3][i] = 2 * C[0][i] - C[1][i] + 0.5 * C[2][i] + Noise(Engine);
    if (i % 997 == 5) C[i % 4][i] = std::nan("");
  }
  return C;
}

// The whole state, bit for bit, through its flat form.
TEST(EngineReduceTest, ThreadCountNeverChangesTheBits) {
  for (std::size_t n : {5037u, 5000u, 999u}) {  // an uneven last batch, even batches, a single batch
    const auto Columns = Design(n);
    const TBatch Data = MakeBatch(Columns);
    const TMoments One = Accumulate(Data, 1, 1000);
    const TFit Fit = Solve(One);
    const long double Sse = StreamedSse(Fit, Data, 1, 1000);
    for (std::size_t Threads : {2u, 3u, 8u}) {
      EXPECT_EQ(ToFlat(Accumulate(Data, Threads, 1000)), ToFlat(One)) << n << " rows, " << Threads << " threads";
      EXPECT_EQ(StreamedSse(Fit, Data, Threads, 1000), Sse) << n << " rows, " << Threads << " threads";
    }
  }
}

// The tree gives the same state as one batch to within a few units in the
// last place of long double, and the streamed SSE matches the co-moments'.
TEST(EngineReduceTest, BatchedStateAgreesWithOneBatch) {
  const auto Columns = Design(5037);
  const TBatch Data = MakeBatch(Columns);
  const TMoments Batched = Accumulate(Data, 3, 1000), Whole = Accumulate(Data, 1, 1u << 20);
  ASSERT_EQ(Batched.Count(), Whole.Count());
  EXPECT_EQ(Batched.Incomplete(), 6u);
  for (std::size_t j = 0; j < 4; ++j) {
    EXPECT_NEAR(Batched.Mean(j), Whole.Mean(j), 1e-18L * 1e6);
    for (std::size_t k = 0; k < 4; ++k) EXPECT_NEAR(Batched.CoMoment(j, k), Whole.CoMoment(j, k), 1e-16L * 5037 * 9);
  }
  const TFit Fit = Solve(Batched);
  EXPECT_NEAR(StreamedSse(Fit, Data, 2, 1000), Fit.MomentSse, 1e-12L * Fit.MomentSse);
}

// A failure in any batch reaches the caller, whichever thread met it.
TEST(EngineReduceTest, AFailingBatchIsReportedForAnyThreadCount) {
  auto Columns = Design(5037);
  Columns[1][3500] = HUGE_VAL;
  for (std::size_t Threads : {1u, 3u}) EXPECT_THROW(Accumulate(MakeBatch(Columns), Threads, 1000), EOverflow);
  EXPECT_EQ(Accumulate(MakeBatch(std::vector<std::vector<double>>(2)), 2).Count(), 0u);
}

}  // namespace
}  // namespace varnel::engine

namespace {

// A state that records the shape of the merges made into it.
struct TShape {
  std::string Tree;
  void Merge(const TShape& Other) { Tree = "(" + Tree + " " + Other.Tree + ")"; }
};

}  // namespace

// A stream of batches is merged in the very tree of the in-memory
// reduction, so that both give the same bits.
TEST(EngineReduceTest, MergeStackBuildsTheTreeOfMergeTree) {
  for (std::size_t Count = 1; Count <= 40; ++Count) {
    std::vector<TShape> States;
    varnel::engine::TMergeStack<TShape> Stack;
    for (std::size_t i = 0; i < Count; ++i) {
      States.push_back({std::to_string(i)});
      Stack.Push({std::to_string(i)});
    }
    EXPECT_EQ(Stack.Result().Tree, varnel::engine::MergeTree(States).Tree) << Count << " states";
  }
  EXPECT_EQ(varnel::engine::MergeTree(std::vector<TShape>{{"0"}, {"1"}, {"2"}, {"3"}, {"4"}}).Tree,
            "(((0 1) (2 3)) 4)");
}

namespace varnel::engine {
namespace {

// Contiguous parts of Leaves states, cut at Parts − 1 random places (so
// that some parts are empty and the others uneven).
std::vector<std::size_t> Cuts(std::size_t Leaves, std::size_t Parts, std::mt19937& Engine) {
  std::vector<std::size_t> At(Parts - 1);
  for (auto& a : At) a = std::uniform_int_distribution<std::size_t>(0, Leaves)(Engine);
  At.push_back(0);
  At.push_back(Leaves);
  std::sort(At.begin(), At.end());
  return At;
}

// Each part merges its nodes on its own; gathered in any order, the nodes
// make the very tree of one reduction.
TEST(EngineReduceTest, PartsMergedAsNodesMakeTheOneTree) {
  std::mt19937 Engine(4);
  for (std::size_t Leaves = 1; Leaves <= 70; ++Leaves) {
    std::vector<TShape> All;
    for (std::size_t i = 0; i < Leaves; ++i) All.push_back({std::to_string(i)});
    for (std::size_t Parts : {1, 2, 3, 7, 100}) {
      const std::vector<std::size_t> At = Cuts(Leaves, Parts, Engine);
      std::vector<std::pair<TTreeNode, TShape>> Gathered;
      for (std::size_t p = 0; p + 1 < At.size(); ++p) {
        for (const TTreeNode& Node : NodesOf(At[p], At[p + 1], Leaves)) {
          const std::size_t End = std::min(Node.First() + (std::size_t{1} << Node.Level), Leaves);
          ASSERT_GE(Node.First(), At[p]);
          ASSERT_LE(End, At[p + 1]);
          Gathered.push_back({Node, MergeTree(std::vector<TShape>(All.begin() + Node.First(), All.begin() + End))});
        }
      }
      std::shuffle(Gathered.begin(), Gathered.end(), Engine);
      EXPECT_EQ(MergeNodes(Leaves, Gathered).Tree, MergeTree(All).Tree) << Leaves << " states in " << Parts;
    }
  }
  std::vector<std::pair<TTreeNode, TShape>> Missing = {{{0, 0}, {"0"}}, {{0, 2}, {"2"}}};
  EXPECT_THROW(MergeNodes(3, Missing), std::invalid_argument);
  std::vector<std::pair<TTreeNode, TShape>> Twice = {{{1, 0}, {"(0 1)"}}, {{0, 1}, {"1"}}, {{0, 2}, {"2"}}};
  EXPECT_THROW(MergeNodes(3, Twice), std::invalid_argument);
}

// 1,024 processes simulated in one: 3,001 batches of moments dealt out in
// uneven and empty parts, each part's nodes sent in their flat form and
// merged on arrival, give the bytes of one process's reduction.
TEST(EngineReduceTest, AThousandPartsGiveTheBitsOfOne) {
  const std::vector<std::vector<double>> Columns = Design(3001 * 7);
  const std::vector<TBatch> Batches = CutBatches(MakeBatch(Columns), 7);
  ASSERT_EQ(Batches.size(), 3001U);
  std::vector<TMoments> States;
  TMergeStack<TMoments> One;
  for (const TBatch& Batch : Batches) {
    TMoments State(4);
    State.Add(Batch);
    States.push_back(State);
    One.Push(std::move(State));
  }
  std::mt19937 Engine(8);
  const std::vector<std::size_t> At = Cuts(States.size(), 1024, Engine);
  std::vector<std::pair<TTreeNode, TMoments>> Received;
  for (std::size_t p = 0; p + 1 < At.size(); ++p) {
    for (const TTreeNode& Node : NodesOf(At[p], At[p + 1], States.size())) {
      const std::size_t End = std::min(Node.First() + (std::size_t{1} << Node.Level), States.size());
      const TMoments Part = MergeTree(std::vector<TMoments>(States.begin() + Node.First(), States.begin() + End));
      Received.push_back({Node, FromFlat(ToFlat(Part))});
    }
  }
  EXPECT_EQ(ToFlat(MergeNodes(States.size(), std::move(Received))), ToFlat(One.Result()));
}

}  // namespace
}  // namespace varnel::engine
