// SPDX-License-Identifier: Apache-2.0
// Started by mpirun with several processes, the tool becomes varnel-mpi,
// the build of it that links MPI, so that a plain start neither loads nor
// initialises MPI.
#pragma once

namespace varnel::cli {

// Returns only when the tool runs as it is: not under mpirun, or as one
// process. Otherwise it executes varnel-mpi in its place, or, where none
// was built, ends the process with status 2 and one line (from rank 0).
void BecomeMpiToolIfStarted(char** argv);

}  // namespace varnel::cli
