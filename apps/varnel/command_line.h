// SPDX-License-Identifier: Apache-2.0
// The varnel tool's command line as a function, so that main stays a
// one-liner and the parsing and dispatch can be driven from tests and fuzzers.
#pragma once

#include "processes/processes.h"

namespace varnel::cli {

// Parses the arguments, runs the chosen command and returns the exit status:
// 0 success, 1 the component rejected the analysis, 2 bad input or options.
// Under mpirun every process runs it with the run's processes: each reads
// its part of the data and rank 0 writes the results.
int RunCommandLine(int argc, char** argv, TProcesses& Processes = OneProcess());

}  // namespace varnel::cli
