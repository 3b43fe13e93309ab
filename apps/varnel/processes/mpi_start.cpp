// SPDX-License-Identifier: Apache-2.0
#include "processes/mpi_start.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace varnel::cli {
namespace {

// The number of processes the launcher started (Open MPI's, then the
// PMI variables of MPICH's and others), 1 when none says.
long LaunchedProcesses() {
  for (const char* Name : {"OMPI_COMM_WORLD_SIZE", "PMI_SIZE", "PMIX_SIZE"}) {
    if (const char* Value = std::getenv(Name)) return std::strtol(Value, nullptr, 10);
  }
  return 1;
}

bool FirstRank() {
  for (const char* Name : {"OMPI_COMM_WORLD_RANK", "PMI_RANK", "PMIX_RANK"}) {
    if (const char* Value = std::getenv(Name)) return std::strtol(Value, nullptr, 10) == 0;
  }
  return true;
}

}  // namespace

void BecomeMpiToolIfStarted(char** argv) {
  if (LaunchedProcesses() <= 1) return;
  std::error_code Error;
  const std::filesystem::path Self = std::filesystem::read_symlink("/proc/self/exe", Error);
  if (!Error) {
    // Beside the tool in a build; in an installed prefix, in libexec.
    for (const auto& Candidate : {Self.parent_path() / "varnel-mpi",
                                  Self.parent_path().parent_path() / "libexec" / "varnel" / "varnel-mpi"}) {
      if (::access(Candidate.c_str(), X_OK) == 0) {
        ::execv(Candidate.c_str(), argv);
        break;
      }
    }
  }
  if (FirstRank())
    std::fputs("varnel: started by mpirun with several processes, but this varnel was built without MPI "
               "(varnel-mpi is not installed beside it)\n",
               stderr);
  std::_Exit(2);
}

}  // namespace varnel::cli
