// SPDX-License-Identifier: Apache-2.0
// The varnel tool's command line as a function, so that main stays a
// one-liner and the parsing and dispatch can be driven from tests and fuzzers.
#pragma once

namespace varnel::cli {

// Parses the arguments, runs the chosen command and returns the exit status:
// 0 success, 1 the component rejected the analysis, 2 bad input or options.
int RunCommandLine(int argc, char** argv);

}  // namespace varnel::cli
