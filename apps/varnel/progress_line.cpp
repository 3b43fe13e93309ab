// SPDX-License-Identifier: Apache-2.0
#include "progress_line.h"

#include <cmath>
#include <iostream>
#include <unistd.h>
#include <utility>

namespace varnel::cli {

// Standard error redirected to a file or a pipe would keep every rewrite of
// the line; there the line is left out.
TProgressLine::TProgressLine(std::ostream& Out, std::string What, TClock::duration After)
    : FOut(Out),
      FWhat(std::move(What)),
      FStart(TClock::now()),
      FAfter(After),
      FEnabled(&Out != &std::cerr || ::isatty(STDERR_FILENO) == 1) {}

TProgressLine::~TProgressLine() {
  if (FOpen) FOut << '\n' << std::flush;
}

void TProgressLine::Show(double FractionDone) {
  if (!FEnabled) return;
  const bool Done = FractionDone >= 1;
  const TClock::time_point Now = TClock::now();
  if (Now - FStart < FAfter) return;
  if (FOpen && !Done && Now - FShown < std::chrono::milliseconds(100)) return;
  // A search that finished before its line was due leaves no trace.
  if (Done && !FOpen) return;
  const int Percent = static_cast<int>(std::floor(std::fmin(std::fmax(FractionDone, 0), 1) * 100));
  FOut << '\r' << FWhat << ' ' << Percent << '%' << std::flush;
  FShown = Now;
  FOpen = true;
  if (Done) {
    FOut << '\n' << std::flush;
    FOpen = false;
  }
}

}  // namespace varnel::cli
