// SPDX-License-Identifier: Apache-2.0
// The gather behind AllGather with the largest single transfer as a
// parameter, so that the tests can take the path for sizes beyond one MPI
// count without gigabytes of data. Not installed.
#pragma once

#include <mpi.h>

#include <cstddef>
#include <span>
#include <vector>

namespace varnel::mpi::detail {

// Every process's Bytes in rank order. When all of them together fit in
// Limit bytes, one MPI_Allgatherv; otherwise each process's bytes are
// broadcast from it in pieces of at most Limit bytes.
std::vector<std::vector<std::byte>> AllGather(MPI_Comm Comm, std::span<const std::byte> Bytes, std::size_t Limit);

}  // namespace varnel::mpi::detail
