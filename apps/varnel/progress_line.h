// SPDX-License-Identifier: Apache-2.0
// How far a long step has come, on one line of standard error: nothing
// while the step is younger than a second, then its percentage, rewritten
// in place at most ten times a second, and a line end once it is done.
// Given std::cerr, the line is shown only when standard error is a
// terminal; another stream (a test's) is always written.
#pragma once

#include <chrono>
#include <ostream>
#include <string>

namespace varnel::cli {

class TProgressLine {
 public:
  using TClock = std::chrono::steady_clock;
  TProgressLine(std::ostream& Out, std::string What, TClock::duration After = std::chrono::seconds(1));
  ~TProgressLine();  // ends a line left open
  TProgressLine(const TProgressLine&) = delete;
  TProgressLine& operator=(const TProgressLine&) = delete;

  void Show(double FractionDone);

 private:
  std::ostream& FOut;
  std::string FWhat;
  TClock::time_point FStart, FShown;
  TClock::duration FAfter;
  bool FEnabled;  // whether the line is written at all
  bool FOpen = false;
};

}  // namespace varnel::cli
