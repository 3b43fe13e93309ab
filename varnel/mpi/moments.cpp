// SPDX-License-Identifier: Apache-2.0
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <iterator>
#include <span>
#include <stdexcept>
#include <string>

#include "varnel/engine/flat_moments.h"
#include "varnel/mpi.h"

namespace varnel::mpi {
namespace {

using engine::TMoments;
using engine::TTreeNode;

engine::TMoments MergePacked(std::size_t Leaves, const detail::TPackedNodes& All) {
  std::vector<std::pair<TTreeNode, TMoments>> States;
  States.reserve(All.size());
  for (const auto& [Node, Bytes] : All) States.emplace_back(Node, engine::FromFlat(Bytes));
  return engine::MergeNodes<TMoments>(Leaves, std::move(States));
}

// What a process says of its part of the rows, so that every process can
// check the parts of all of them and refuse a bad split alike.
struct TPart {
  std::uint64_t Failed = 0, FirstRow = 0, Rows = 0, TotalRows = 0, BatchRows = 0;
};

std::vector<TPart> GatherParts(MPI_Comm Comm, const TPart& Mine) {
  const auto Bytes = AllGather(Comm, std::as_bytes(std::span(&Mine, 1)));
  std::vector<TPart> Parts(Bytes.size());
  for (std::size_t r = 0; r < Parts.size(); ++r) {
    if (Bytes[r].size() != sizeof(TPart)) throw std::runtime_error("varnel::mpi: a process sent a malformed part");
    std::memcpy(&Parts[r], Bytes[r].data(), sizeof(TPart));
  }
  return Parts;
}

// The parts with rows, taken in order of their first rows, must follow
// each other from row 0 to TotalRows, each starting on a batch boundary.
void CheckParts(const std::vector<TPart>& Parts, std::size_t TotalRows, std::size_t BatchRows) {
  if (BatchRows == 0) throw std::invalid_argument("varnel::mpi: batch size of 0 rows");
  for (std::size_t r = 0; r < Parts.size(); ++r) {
    if (Parts[r].Failed)
      throw std::runtime_error("varnel::mpi: process " + std::to_string(r) + " could not take its rows");
    if (Parts[r].TotalRows != TotalRows || Parts[r].BatchRows != BatchRows)
      throw std::invalid_argument("varnel::mpi: the processes give different row or batch counts");
  }
  std::vector<TPart> Held;
  std::copy_if(Parts.begin(), Parts.end(), std::back_inserter(Held), [](const TPart& p) { return p.Rows > 0; });
  std::sort(Held.begin(), Held.end(), [](const TPart& a, const TPart& b) { return a.FirstRow < b.FirstRow; });
  std::uint64_t Next = 0;
  for (const TPart& Part : Held) {
    if (Part.FirstRow != Next) throw std::invalid_argument("varnel::mpi: the processes' rows leave a gap or overlap");
    if (Part.FirstRow % BatchRows != 0)
      throw std::invalid_argument("varnel::mpi: a process's rows do not start on a batch boundary");
    if (Part.Rows > TotalRows - Next) throw std::invalid_argument("varnel::mpi: the processes hold more than the rows");
    Next += Part.Rows;
  }
  if (Next != TotalRows) throw std::invalid_argument("varnel::mpi: the processes hold fewer than the rows");
}

// The process's batches, each its own state as Accumulate makes it, merged
// into the nodes of the global tree that they make. A node's states merged
// by MergeTree are the node: its first state is aligned on its size, so
// the pairs fall as in the whole tree.
detail::TPackedNodes PackedNodes(const engine::TBatch& Mine, std::size_t Leaves, std::size_t Threads,
                                 std::size_t BatchRows) {
  const std::vector<engine::TBatch> Batches = engine::CutBatches(Mine, BatchRows);
  const std::size_t First = Mine.FirstRow / BatchRows;
  std::vector<TMoments> States = engine::MapIndices<TMoments>(Batches.size(), Threads, [&](std::size_t i) {
    TMoments State(Mine.Cols());
    State.Add(Batches[i]);
    return State;
  });
  detail::TPackedNodes Packed;
  for (const TTreeNode& Node : engine::NodesOf(First, First + Batches.size(), Leaves)) {
    const std::size_t Begin = Node.First() - First;
    const std::size_t End = std::min(Node.First() + (std::size_t{1} << Node.Level), Leaves) - First;
    std::vector<TMoments> Part(std::make_move_iterator(States.begin() + Begin),
                               std::make_move_iterator(States.begin() + End));
    Packed.emplace_back(Node, engine::ToFlat(engine::MergeTree(std::move(Part))));
  }
  return Packed;
}

}  // namespace

TMoments AllMergeNodes(MPI_Comm Comm, std::size_t Leaves, const std::vector<std::pair<TTreeNode, TMoments>>& Mine) {
  return AllMergeNodes<TMoments>(
      Comm, Leaves, Mine, [](const TMoments& State) { return engine::ToFlat(State); },
      [](std::span<const std::byte> Bytes) { return engine::FromFlat(Bytes); });
}

TMoments AllMerge(MPI_Comm Comm, const TMoments& Mine) {
  const auto Flats = AllGather(Comm, engine::ToFlat(Mine));
  std::vector<TMoments> States;
  States.reserve(Flats.size());
  for (const auto& Flat : Flats) States.push_back(engine::FromFlat(Flat));
  return engine::MergeTree(std::move(States));
}

TMoments AccumulateDistributed(MPI_Comm Comm, const engine::TBatch& Mine, std::size_t TotalRows, std::size_t Threads,
                               std::size_t BatchRows) {
  std::exception_ptr Failure;
  try {
    Mine.Check();
  } catch (...) {
    Failure = std::current_exception();
  }
  const auto Parts = GatherParts(Comm, {Failure != nullptr, Mine.FirstRow, Mine.Rows(), TotalRows, BatchRows});
  if (Failure) std::rethrow_exception(Failure);
  CheckParts(Parts, TotalRows, BatchRows);

  // As Accumulate over no rows: an empty state of the data's width.
  if (TotalRows == 0) return TMoments(Mine.Cols());
  const std::size_t Leaves = (TotalRows - 1) / BatchRows + 1;
  detail::TPackedNodes Packed;
  try {
    Packed = PackedNodes(Mine, Leaves, Threads, BatchRows);
  } catch (...) {
    Failure = std::current_exception();
  }
  return MergePacked(Leaves, detail::ExchangeNodes(Comm, Leaves, Packed, Failure));
}

}  // namespace varnel::mpi
