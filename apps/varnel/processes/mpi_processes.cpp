// SPDX-License-Identifier: Apache-2.0
// varnel-mpi: the tool as one process of an MPI run. Rank 0 writes; every
// other rank's standard output and error go nowhere, since rank 0 says
// whatever the run has to say.
#include <fcntl.h>
#include <mpi.h>
#include <varnel/mpi.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "command_line.h"
#include "csv_table.h"
#include "processes/processes.h"

namespace varnel::cli {
namespace {

constexpr int kPartTag = 7;

void Check(int Status, const char* Call) {
  if (Status != MPI_SUCCESS) throw TInputError(std::string("MPI: ") + Call + " failed");
}

// Waits for a request by testing it now and then. MPI's own blocking
// calls spin at full speed while they wait: a process that finishes its
// part first would take a core from the workers of the others, which on a
// machine with as many processes as cores is the one they need.
void Await(MPI_Request& Request) {
  for (int Done = 0;;) {
    Check(MPI_Test(&Request, &Done, MPI_STATUS_IGNORE), "MPI_Test");
    if (Done) return;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
}

// Every process has arrived: the exchange that follows does not wait.
void AllArrive() {
  MPI_Request Request;
  Check(MPI_Ibarrier(MPI_COMM_WORLD, &Request), "MPI_Ibarrier");
  Await(Request);
}

class TMpiProcesses final : public TProcesses {
 public:
  TMpiProcesses() {
    Check(MPI_Comm_rank(MPI_COMM_WORLD, &FRank), "MPI_Comm_rank");
    Check(MPI_Comm_size(MPI_COMM_WORLD, &FCount), "MPI_Comm_size");
    MPI_Comm Local;
    Check(MPI_Comm_split_type(MPI_COMM_WORLD, MPI_COMM_TYPE_SHARED, FRank, MPI_INFO_NULL, &Local), "MPI_Comm_split_type");
    MPI_Comm_size(Local, &FLocal);
    MPI_Comm_free(&Local);
  }
  int Rank() const override { return FRank; }
  int Count() const override { return FCount; }
  int LocalCount() const override { return FLocal; }

  // The library's gather, once every process has arrived.
  std::vector<std::string> AllGather(const std::string& Bytes) override {
    AllArrive();
    std::vector<std::string> Each;
    for (const auto& Theirs : mpi::AllGather(MPI_COMM_WORLD, std::as_bytes(std::span(Bytes.data(), Bytes.size()))))
      Each.emplace_back(reinterpret_cast<const char*>(Theirs.data()), Theirs.size());
    return Each;
  }

  void SendToFirst(const std::string& Bytes) override {
    if (Bytes.size() > INT_MAX) throw TInputError("MPI: a part of rows exceeds 2 GiB");
    MPI_Request Request;
    Check(MPI_Isend(Bytes.data(), static_cast<int>(Bytes.size()), MPI_BYTE, 0, kPartTag, MPI_COMM_WORLD, &Request),
          "MPI_Isend");
    Await(Request);
  }

  std::string ReceiveFrom(int From) override {
    MPI_Status Status;
    for (int Waiting = 0; !Waiting;) {
      Check(MPI_Iprobe(From, kPartTag, MPI_COMM_WORLD, &Waiting, &Status), "MPI_Iprobe");
      if (!Waiting) std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    int Size = 0;
    MPI_Get_count(&Status, MPI_BYTE, &Size);
    std::string Bytes(static_cast<std::size_t>(Size), '\0');
    Check(MPI_Recv(Bytes.data(), Size, MPI_BYTE, From, kPartTag, MPI_COMM_WORLD, MPI_STATUS_IGNORE), "MPI_Recv");
    return Bytes;
  }

 private:
  int FRank = 0, FCount = 1, FLocal = 1;
};

void Silence() {
  const int Null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (Null < 0) return;
  ::dup2(Null, STDOUT_FILENO);
  ::dup2(Null, STDERR_FILENO);
  ::close(Null);
}

}  // namespace
}  // namespace varnel::cli

int main(int argc, char** argv) {
  int Provided = 0;
  if (MPI_Init_thread(&argc, &argv, MPI_THREAD_SERIALIZED, &Provided) != MPI_SUCCESS || Provided < MPI_THREAD_SERIALIZED) {
    std::fputs("varnel: MPI did not start with threads (MPI_THREAD_SERIALIZED)\n", stderr);
    return 2;
  }
  int Status = 0;
  {
    varnel::cli::TMpiProcesses Processes;
    if (Processes.Rank() > 0) varnel::cli::Silence();
    Status = varnel::cli::RunCommandLine(argc, argv, Processes);
  }
  MPI_Finalize();
  return Status;
}
