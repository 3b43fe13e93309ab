// SPDX-License-Identifier: Apache-2.0
#include "varnel/mpi/gather.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

#include "varnel/mpi.h"

namespace varnel::mpi {
namespace {

void Check(int Result, const char* Call) {
  if (Result == MPI_SUCCESS) return;
  char Text[MPI_MAX_ERROR_STRING];
  int Length = 0;
  std::string Reason = "error " + std::to_string(Result);
  if (MPI_Error_string(Result, Text, &Length) == MPI_SUCCESS) Reason.assign(Text, static_cast<std::size_t>(Length));
  throw std::runtime_error(std::string(Call) + " failed: " + Reason);
}

int RankCount(MPI_Comm Comm) {
  int Size = 0;
  Check(MPI_Comm_size(Comm, &Size), "MPI_Comm_size");
  return Size;
}

int RankOf(MPI_Comm Comm) {
  int Rank = 0;
  Check(MPI_Comm_rank(Comm, &Rank), "MPI_Comm_rank");
  return Rank;
}

// One MPI_Allgatherv into a single buffer, then cut into the processes'
// parts; every count and displacement fits in an int, as the caller checked.
void GatherAtOnce(MPI_Comm Comm, std::span<const std::byte> Bytes, std::vector<std::vector<std::byte>>& Out) {
  std::vector<int> Counts(Out.size()), Displacements(Out.size());
  int At = 0;
  for (std::size_t r = 0; r < Out.size(); ++r) {
    Counts[r] = static_cast<int>(Out[r].size());
    Displacements[r] = At;
    At += Counts[r];
  }
  std::vector<std::byte> All(static_cast<std::size_t>(At));
  Check(MPI_Allgatherv(Bytes.data(), static_cast<int>(Bytes.size()), MPI_BYTE, All.data(), Counts.data(),
                       Displacements.data(), MPI_BYTE, Comm),
        "MPI_Allgatherv");
  for (std::size_t r = 0; r < Out.size(); ++r) {
    std::copy_n(All.begin() + Displacements[r], Counts[r], Out[r].begin());
  }
}

// Each process's bytes broadcast from it straight into every process's
// copy, Limit bytes at a time: no count passes an int, and no buffer of the
// whole is needed.
void GatherInPieces(MPI_Comm Comm, std::span<const std::byte> Bytes, std::size_t Limit,
                    std::vector<std::vector<std::byte>>& Out) {
  const std::size_t Own = static_cast<std::size_t>(RankOf(Comm));
  std::copy(Bytes.begin(), Bytes.end(), Out[Own].begin());
  for (std::size_t r = 0; r < Out.size(); ++r) {
    for (std::size_t At = 0; At < Out[r].size(); At += Limit) {
      const std::size_t Piece = std::min(Limit, Out[r].size() - At);
      Check(MPI_Bcast(Out[r].data() + At, static_cast<int>(Piece), MPI_BYTE, static_cast<int>(r), Comm), "MPI_Bcast");
    }
  }
}

}  // namespace

namespace detail {

std::vector<std::vector<std::byte>> AllGather(MPI_Comm Comm, std::span<const std::byte> Bytes, std::size_t Limit) {
  Limit = std::clamp<std::size_t>(Limit, 1, INT_MAX);
  const std::size_t Ranks = static_cast<std::size_t>(RankCount(Comm));
  const std::uint64_t Size = Bytes.size();
  std::vector<std::uint64_t> Sizes(Ranks);
  Check(MPI_Allgather(&Size, 1, MPI_UINT64_T, Sizes.data(), 1, MPI_UINT64_T, Comm), "MPI_Allgather");
  std::vector<std::vector<std::byte>> Out(Ranks);
  // The sum is compared piece by piece, so that it cannot wrap.
  bool AtOnce = true;
  std::uint64_t Total = 0;
  for (std::size_t r = 0; r < Ranks; ++r) {
    Out[r].resize(Sizes[r]);
    AtOnce = AtOnce && Sizes[r] <= Limit - Total;
    if (AtOnce) Total += Sizes[r];
  }
  // Every process knows every size, so all of them take the same path.
  if (AtOnce) {
    GatherAtOnce(Comm, Bytes, Out);
  } else {
    GatherInPieces(Comm, Bytes, Limit, Out);
  }
  return Out;
}

// A process's nodes as they travel: a header of three u64 (failed, Leaves,
// node count), then per node its level, index and size (u64) and its bytes,
// all in the processes' common byte order.
namespace {

void Put(std::vector<std::byte>& Out, std::uint64_t Value) {
  const auto* const From = reinterpret_cast<const std::byte*>(&Value);
  Out.insert(Out.end(), From, From + sizeof Value);
}

class TReader {
 public:
  explicit TReader(std::span<const std::byte> Bytes) : FBytes(Bytes) {}
  std::uint64_t Word() {
    std::uint64_t Value = 0;
    std::memcpy(&Value, Take(sizeof Value).data(), sizeof Value);
    return Value;
  }
  std::span<const std::byte> Take(std::uint64_t Count) {
    if (Count > FBytes.size() - FAt) throw std::runtime_error("varnel::mpi: a process sent a truncated node packet");
    const auto Part = FBytes.subspan(FAt, static_cast<std::size_t>(Count));
    FAt += static_cast<std::size_t>(Count);
    return Part;
  }
  bool AtEnd() const { return FAt == FBytes.size(); }

 private:
  std::span<const std::byte> FBytes;
  std::size_t FAt = 0;
};

std::vector<std::byte> Packet(std::size_t Leaves, const TPackedNodes& Mine, bool Failed) {
  std::vector<std::byte> Out;
  Put(Out, Failed ? 1 : 0);
  Put(Out, Leaves);
  Put(Out, Failed ? 0 : Mine.size());
  if (Failed) return Out;
  for (const auto& [Node, Bytes] : Mine) {
    Put(Out, Node.Level);
    Put(Out, Node.Index);
    Put(Out, Bytes.size());
    Out.insert(Out.end(), Bytes.begin(), Bytes.end());
  }
  return Out;
}

}  // namespace

TPackedNodes ExchangeNodes(MPI_Comm Comm, std::size_t Leaves, const TPackedNodes& Mine, std::exception_ptr Failure) {
  const std::vector<std::vector<std::byte>> Packets = mpi::AllGather(Comm, Packet(Leaves, Mine, Failure != nullptr));
  if (Failure) std::rethrow_exception(Failure);
  // Every process reads the same packets in the same order: whatever is
  // thrown below is thrown on all of them.
  std::vector<TReader> Readers(Packets.begin(), Packets.end());
  for (std::size_t r = 0; r < Readers.size(); ++r) {
    if (Readers[r].Word() != 0) {
      throw std::runtime_error("varnel::mpi: process " + std::to_string(r) + " could not make its states");
    }
  }
  for (auto& Reader : Readers) {
    if (Reader.Word() != Leaves)
      throw std::invalid_argument("varnel::mpi: the processes give different numbers of states");
  }
  TPackedNodes All;
  for (auto& Reader : Readers) {
    for (std::uint64_t n = Reader.Word(); n > 0; --n) {
      engine::TTreeNode Node;
      Node.Level = Reader.Word();
      Node.Index = Reader.Word();
      // The tree orders nodes by their first state, Index << Level: a node
      // must start inside the tree for that to mean anything.
      if (Node.Level >= 64 || (Node.Index << Node.Level) >> Node.Level != Node.Index || Node.First() >= Leaves)
        throw std::invalid_argument("varnel::mpi: a node lies outside the tree");
      const auto Bytes = Reader.Take(Reader.Word());
      All.emplace_back(Node, std::vector<std::byte>(Bytes.begin(), Bytes.end()));
    }
    if (!Reader.AtEnd()) throw std::runtime_error("varnel::mpi: a process sent a node packet with bytes to spare");
  }
  return All;
}

}  // namespace detail

std::vector<std::vector<std::byte>> AllGather(MPI_Comm Comm, std::span<const std::byte> Bytes) {
  return detail::AllGather(Comm, Bytes, INT_MAX);
}

}  // namespace varnel::mpi
