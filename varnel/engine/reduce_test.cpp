// SPDX-License-Identifier: Apache-2.0
#include "varnel/engine/reduce.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

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
