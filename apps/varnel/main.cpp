// SPDX-License-Identifier: Apache-2.0
// varnel: the command-line face of the TKorlen component. With no command it
// runs the full analysis (regression, diagnostics, descriptive summary) of
// the built-in example data or of a CSV file.
#include "command_line.h"
#include "processes/mpi_start.h"

int main(int argc, char** argv) {
  varnel::cli::BecomeMpiToolIfStarted(argv);
  return varnel::cli::RunCommandLine(argc, argv);
}
