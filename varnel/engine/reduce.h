// SPDX-License-Identifier: Apache-2.0
// Reduction of a data set to one state: per-batch states, computed on any
// number of threads, merged in one fixed order. Batches are cut at fixed
// row boundaries and the merge tree depends only on how many there are, so
// the result is the same bits for any number of threads.
#pragma once

#include <algorithm>
#include <cstddef>
#include <exception>
#include <thread>
#include <utility>
#include <vector>

#include "varnel/engine/batch.h"
#include "varnel/engine/moments.h"
#include "varnel/export.h"

namespace varnel::engine {

// Merges the states pairwise, level by level: (0,1), (2,3), …, an odd last
// state moving up a level as it is. State needs Merge(const State&).
template <class State>
State MergeTree(std::vector<State> States) {
  if (States.empty()) return State{};
  while (States.size() > 1) {
    std::size_t Kept = 0;
    for (std::size_t i = 0; i < States.size(); i += 2) {
      if (i + 1 < States.size()) States[i].Merge(States[i + 1]);
      if (Kept != i) States[Kept] = std::move(States[i]);
      ++Kept;
    }
    States.resize(Kept);
  }
  return std::move(States.front());
}

// The same tree as MergeTree, built as the states arrive in order, so that
// a stream of batches keeps one state per level (log2 of their number)
// instead of one per batch: two states of the same level merge at once, and
// Result folds what is left from the right.
template <class State>
class TMergeStack {
 public:
  void Push(State Next) {
    std::size_t Level = 0;
    while (!FLevels.empty() && FLevels.back() == Level) {
      FStates.back().Merge(Next);
      Next = std::move(FStates.back());
      FStates.pop_back();
      FLevels.pop_back();
      ++Level;
    }
    FStates.push_back(std::move(Next));
    FLevels.push_back(Level);
  }
  bool Empty() const { return FStates.empty(); }
  State Result() {
    if (FStates.empty()) return State();
    while (FStates.size() > 1) {
      State Right = std::move(FStates.back());
      FStates.pop_back();
      FStates.back().Merge(Right);
    }
    State Whole = std::move(FStates.back());
    FStates.clear();
    FLevels.clear();
    return Whole;
  }

 private:
  std::vector<State> FStates;
  std::vector<std::size_t> FLevels;
};

// The number of workers for a requested count: 0 asks for one per core.
inline std::size_t WorkerCount(std::size_t Threads, std::size_t Tasks) {
  if (Threads == 0) Threads = std::max(1u, std::thread::hardware_concurrency());
  return std::max<std::size_t>(1, std::min(Threads, Tasks));
}

// Results[i] = Make(i) for i < Count, worker w taking i = w, w + T, …; with
// one worker everything runs on the calling thread. The exception of the
// lowest failing index is rethrown, so a failure is reported the same way
// whatever the number of threads.
template <class Result, class Fn>
std::vector<Result> MapIndices(std::size_t Count, std::size_t Threads, Fn Make) {
  std::vector<Result> Results(Count);
  std::vector<std::exception_ptr> Errors(Count);
  const std::size_t Workers = WorkerCount(Threads, Count);
  const auto Work = [&](std::size_t First) {
    for (std::size_t i = First; i < Count; i += Workers) {
      try {
        Results[i] = Make(i);
      } catch (...) {
        Errors[i] = std::current_exception();
      }
    }
  };
  if (Workers == 1) {
    Work(0);
  } else {
    std::vector<std::jthread> Pool;  // joined on every path out of the scope
    Pool.reserve(Workers - 1);
    for (std::size_t w = 1; w < Workers; ++w) Pool.emplace_back(Work, w);
    Work(0);
  }
  for (const auto& Error : Errors) {
    if (Error) std::rethrow_exception(Error);
  }
  return Results;
}

// Cuts Data into batches of BatchRows rows, gives each batch a state of
// its own (State(P) then Add, on Threads workers) and merges them in tree
// order.
template <class State, class Fn>
State ReduceBatches(const TBatch& Data, std::size_t Threads, std::size_t BatchRows, Fn MakeState) {
  const std::vector<TBatch> Batches = CutBatches(Data, BatchRows);
  if (Batches.empty()) return MakeState(TBatch{Data.Columns, Data.FirstRow});
  return MergeTree(MapIndices<State>(Batches.size(), Threads, [&](std::size_t i) { return MakeState(Batches[i]); }));
}

// The moments of every row of Data; the same bits for any Threads.
VARNEL_API TMoments Accumulate(const TBatch& Data, std::size_t Threads = 1, std::size_t BatchRows = kBatchRows);

}  // namespace varnel::engine
