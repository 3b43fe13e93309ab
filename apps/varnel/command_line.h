// SPDX-License-Identifier: Apache-2.0
// The varnel tool's command line as a function, so that main stays a
// one-liner and the parsing and dispatch can be driven from tests and fuzzers.
#pragma once

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "processes/processes.h"
#include "results.h"

namespace varnel::cli {

// Parses the arguments, runs the chosen command and returns the exit status:
// 0 success, 1 the component rejected the analysis, 2 bad input or options.
// Under mpirun every process runs it with the run's processes: each reads
// its part of the data and rank 0 writes the results.
int RunCommandLine(int argc, char** argv, TProcesses& Processes = OneProcess());

// A table of a row per observation, made whole (see TRowStream): per
// column its cells, NaN where not available; a column of Counts holds
// whole numbers.
struct TStreamedTable {
  std::string Name, Title;
  std::vector<std::string> Columns;
  std::vector<bool> Counts;
  std::vector<std::vector<double>> Values;
};

// What a command gives its caller in this process: the tables (Stream
// never set: a table of a row per observation is Stream below), and the
// component's messages, which the tool shows on standard error.
struct TInProcessResults {
  TResults Results;
  std::optional<TStreamedTable> Stream;
  std::vector<std::string> Messages;
};

// A refused or failed command: the tool's one line, after the component's
// messages, and its exit status (1 or 2).
class TCommandFailure : public std::runtime_error {
 public:
  TCommandFailure(int Status, const std::string& Message) : std::runtime_error(Message), FStatus(Status) {}
  int Status() const { return FStatus; }

 private:
  int FStatus;
};

// A command of the tool run for a caller in this process, as the command
// line would run it on a file holding Text (CSV), which messages call Name.
// Arguments are the command line's after the program's name, with neither
// a file nor an option that writes (--csv, --json, --table, -o, --plot,
// --report, --report-texts, --raw). The tables come back instead of being
// written; the tool's other lines (rows left out, warnings) still go to
// standard error. Callers on several threads may run commands at once.
TInProcessResults RunCommandInProcess(const std::vector<std::string>& Arguments, std::shared_ptr<const std::string> Text,
                                      const std::string& Name);

}  // namespace varnel::cli
