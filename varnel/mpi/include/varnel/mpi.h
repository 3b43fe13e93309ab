// SPDX-License-Identifier: Apache-2.0
/// \file
/// The engine's reductions over an MPI communicator. Each process reduces
/// the rows it holds to the nodes of the merge tree that its batches make,
/// the nodes travel as bytes, and every process merges all of them in the
/// tree's fixed order: the result is the same bits as one process's
/// reduction of every row, whatever the number of processes and however
/// the rows are shared out.
///
/// Every function here is collective: every process of the communicator
/// calls it, in the same order. A fault found on one process (a bad
/// argument, a state that cannot be packed) is reported after the exchange
/// on every process, so that none is left waiting in a collective call.
/// The processes are assumed to share one byte order (one machine type).
#pragma once

#include <mpi.h>

#include <cstddef>
#include <exception>
#include <span>
#include <utility>
#include <vector>

#include "varnel/engine/batch.h"
#include "varnel/engine/moments.h"
#include "varnel/engine/reduce.h"
#include "varnel/mpi_export.h"

/// The engine's reductions across the processes of an MPI communicator.
namespace varnel::mpi {

/// Every process's Bytes, in rank order, on every process. Sizes beyond
/// what one MPI count holds (INT_MAX) are sent in pieces. A failing MPI call
/// throws std::runtime_error naming it (MPI calls only return when the
/// communicator's error handler lets them; the default one aborts).
VARNEL_MPI_API std::vector<std::vector<std::byte>> AllGather(MPI_Comm Comm, std::span<const std::byte> Bytes);

namespace detail {

using TPackedNodes = std::vector<std::pair<engine::TTreeNode, std::vector<std::byte>>>;

// Gathers every process's packed nodes, with its Leaves and whether it
// failed to make them. After the exchange: rethrows Failure where it is
// set, throws std::runtime_error elsewhere when some process failed, and
// std::invalid_argument on every process when the Leaves differ. The
// nodes come back in rank order, each process's in its own order.
VARNEL_MPI_API TPackedNodes ExchangeNodes(MPI_Comm Comm, std::size_t Leaves, const TPackedNodes& Mine,
                                          std::exception_ptr Failure);

}  // namespace detail

/// The root of the merge tree over Leaves states, on every process, from
/// the nodes each process holds (engine::NodesOf gives a process's nodes
/// for its batches): the same bits as engine::MergeTree over all the states
/// in one process. Pack(const State&) gives a state's bytes, Unpack(bytes)
/// the state back; a node travels with its level and index. Throws
/// std::invalid_argument (on every process) when the nodes do not cover
/// the states once.
template <class State, class Pack, class Unpack>
State AllMergeNodes(MPI_Comm Comm, std::size_t Leaves, const std::vector<std::pair<engine::TTreeNode, State>>& Mine,
                    Pack&& P, Unpack&& U) {
  detail::TPackedNodes Packed;
  std::exception_ptr Failure;
  try {
    Packed.reserve(Mine.size());
    for (const auto& [Node, Held] : Mine) Packed.emplace_back(Node, P(Held));
  } catch (...) {
    Failure = std::current_exception();
  }
  const detail::TPackedNodes All = detail::ExchangeNodes(Comm, Leaves, Packed, Failure);
  // Every process unpacks and merges the same bytes in the same order, so
  // a fault here is met by all of them alike.
  std::vector<std::pair<engine::TTreeNode, State>> States;
  States.reserve(All.size());
  for (const auto& [Node, Bytes] : All) States.emplace_back(Node, U(std::span<const std::byte>(Bytes)));
  return engine::MergeNodes<State>(Leaves, std::move(States));
}

/// The same for moments, through their flat form.
VARNEL_MPI_API engine::TMoments AllMergeNodes(MPI_Comm Comm, std::size_t Leaves,
                                              const std::vector<std::pair<engine::TTreeNode, engine::TMoments>>& Mine);

/// Each process's one state merged in rank order, as engine::MergeTree
/// merges P states: the bits depend on the number of processes only, not on
/// timing.
VARNEL_MPI_API engine::TMoments AllMerge(MPI_Comm Comm, const engine::TMoments& Mine);

/// The moments of all rows of all processes, on every process: the same bits
/// as engine::Accumulate over all TotalRows rows in one process. Mine holds
/// the global rows [Mine.FirstRow, Mine.FirstRow + Mine.Rows()); the parts
/// of all processes must cover [0, TotalRows) once, in any rank order.
/// Batches are cut at global multiples of BatchRows, so a part with rows
/// must start on one (its end is then the next part's start, or TotalRows);
/// a process may hold no rows, wherever its FirstRow. Threads workers
/// accumulate a process's batches. Throws std::invalid_argument on every
/// process for parts that break this, or for TotalRows or BatchRows that
/// differ between processes; a fault in one process's rows (an infinite
/// value, columns of different lengths) is rethrown there and reported as
/// std::runtime_error on the others.
VARNEL_MPI_API engine::TMoments AccumulateDistributed(MPI_Comm Comm, const engine::TBatch& Mine,
                                                      std::size_t TotalRows, std::size_t Threads = 1,
                                                      std::size_t BatchRows = engine::kBatchRows);

}  // namespace varnel::mpi
