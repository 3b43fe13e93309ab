// SPDX-License-Identifier: Apache-2.0
/// \file
/// Reduction of a data set to one state: per-batch states, computed on any
/// number of threads, merged in one fixed order. Batches are cut at fixed
/// row boundaries and the merge tree depends only on how many there are, so
/// the result is the same bits for any number of threads.
#pragma once

#include <algorithm>
#include <cstddef>
#include <exception>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#include "varnel/engine/batch.h"
#include "varnel/engine/moments.h"
#include "varnel/export.h"

namespace varnel::engine {

/// Merges the states pairwise, level by level: (0,1), (2,3), …, an odd last
/// state moving up a level as it is. State needs Merge(const State&).
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

/// The same tree as MergeTree, built as the states arrive in order, so that
/// a stream of batches keeps one state per level (log2 of their number)
/// instead of one per batch: two states of the same level merge at once, and
/// Result folds what is left from the right.
template <class State>
class TMergeStack {
 public:
  /// Adds the next state in order, merging the states of equal level.
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
  bool Empty() const { return FStates.empty(); }  ///< whether no state has been pushed since the last Result
  /// The merge of every state pushed, as MergeTree gives it (State() for
  /// none); the stack is empty afterwards.
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

/// A node of the merge tree over Leaves states: level L and index i stand
/// for the states [i·2^L, min((i + 1)·2^L, Leaves)), merged as MergeTree
/// merges them. A part of the states held apart (a process's batches) is
/// the union of a few such nodes; merged there and gathered with the other
/// parts' nodes, they give the root of the one tree: the same bits as one
/// reduction of every state.
struct TTreeNode {
  /// The node's level (0: one state) and its index on that level.
  ///@{
  std::size_t Level = 0, Index = 0;
  ///@}
  std::size_t First() const { return Index << Level; }  ///< the first state the node covers
  bool operator==(const TTreeNode&) const = default;  ///< the same level and index
};

/// The largest nodes whose union is [First, Last), in order: at each place
/// the highest level aligned there that does not pass Last.
inline std::vector<TTreeNode> NodesOf(std::size_t First, std::size_t Last, std::size_t Leaves) {
  std::vector<TTreeNode> Nodes;
  Last = std::min(Last, Leaves);
  for (std::size_t At = First; At < Last;) {
    std::size_t Level = 0;
    while (At % (std::size_t{2} << Level) == 0 && (std::size_t{2} << Level) < 2 * Leaves &&
           std::min(At + (std::size_t{2} << Level), Leaves) <= Last)
      ++Level;
    Nodes.push_back({Level, At >> Level});
    At = std::min(At + (std::size_t{1} << Level), Leaves);
  }
  return Nodes;
}

/// The root of the tree over Leaves states from nodes that cover them once
/// each, in any order: a node's children are merged left with right, a
/// node without a right child is its left child, as MergeTree has them.
/// Throws std::invalid_argument when the nodes leave a state out.
template <class State>
State MergeNodes(std::size_t Leaves, std::vector<std::pair<TTreeNode, State>> Nodes) {
  if (Leaves == 0) return State();
  std::size_t Top = 0;
  while ((std::size_t{1} << Top) < Leaves) ++Top;
  std::sort(Nodes.begin(), Nodes.end(), [](const auto& a, const auto& b) { return a.first.First() < b.first.First(); });
  // Bottom up: at each level, two neighbours that are one node's children
  // become it; a left child whose right one lies past the last state
  // becomes its parent as it is.
  for (std::size_t Level = 0; Level < Top; ++Level) {
    std::vector<std::pair<TTreeNode, State>> Up;
    for (std::size_t k = 0; k < Nodes.size(); ++k) {
      auto& [Node, Held] = Nodes[k];
      if (Node.Level != Level) {
        Up.push_back(std::move(Nodes[k]));
        continue;
      }
      const bool Left = Node.Index % 2 == 0;
      const bool HasRight = ((Node.Index + 1) << Level) < Leaves;
      if (Left && HasRight && k + 1 < Nodes.size() && Nodes[k + 1].first == TTreeNode{Level, Node.Index + 1}) {
        Held.Merge(Nodes[k + 1].second);
        Up.push_back({{Level + 1, Node.Index / 2}, std::move(Held)});
        ++k;
      } else if (Left && !HasRight) {
        Up.push_back({{Level + 1, Node.Index / 2}, std::move(Held)});
      } else {
        throw std::invalid_argument("merge tree: a node's sibling is missing");
      }
    }
    Nodes = std::move(Up);
  }
  if (Nodes.size() != 1 || !(Nodes.front().first == TTreeNode{Top, 0}))
    throw std::invalid_argument("merge tree: the nodes do not cover the states once");
  return std::move(Nodes.front().second);
}

/// The number of workers for a requested count: 0 asks for one per core.
inline std::size_t WorkerCount(std::size_t Threads, std::size_t Tasks) {
  if (Threads == 0) Threads = std::max(1u, std::thread::hardware_concurrency());
  return std::max<std::size_t>(1, std::min(Threads, Tasks));
}

/// Results[i] = Make(i) for i < Count, worker w taking i = w, w + T, …; with
/// one worker everything runs on the calling thread. The exception of the
/// lowest failing index is rethrown, so a failure is reported the same way
/// whatever the number of threads.
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

/// Cuts Data into batches of BatchRows rows, gives each batch a state of
/// its own (State(P) then Add, on Threads workers) and merges them in tree
/// order.
template <class State, class Fn>
State ReduceBatches(const TBatch& Data, std::size_t Threads, std::size_t BatchRows, Fn MakeState) {
  const std::vector<TBatch> Batches = CutBatches(Data, BatchRows);
  if (Batches.empty()) return MakeState(TBatch{Data.Columns, Data.FirstRow});
  return MergeTree(MapIndices<State>(Batches.size(), Threads, [&](std::size_t i) { return MakeState(Batches[i]); }));
}

/// The moments of every row of Data; the same bits for any Threads.
VARNEL_API TMoments Accumulate(const TBatch& Data, std::size_t Threads = 1, std::size_t BatchRows = kBatchRows);

}  // namespace varnel::engine
