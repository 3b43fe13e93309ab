// SPDX-License-Identifier: Apache-2.0
// The combination table of the all-subsets search and the reader of the
// combination files "vars<k>.txt" that fill it.
#pragma once

#include <array>
#include <string>

#include "varnel/core/types.h"

namespace varnel {

// One combination of predictors and what its fit scored.
struct TCombinationRec {
  int Count = 0;                 // m, the number of variables
  std::array<Byte, 12> Vars{};   // variable numbers in file order; first m used
  Single Index = 0;              // weighted index factor
  Extended R2 = 0;
  Extended F = 0;
  Extended MSE = 0;              // MSE(p), later the accuracy
  Extended Cp = 0;
  Extended Simp = 0;             // 1 - m/k, later divided by its maximum
};

inline constexpr int MaxCombinations = 256;

struct TCombinationTable {
  std::array<TCombinationRec, MaxCombinations> Entries{};  // entry j at index j - 1
  int Lines = 0;                                           // L, the lines read
};

// Reads the combination file of k predictors. A line is a count digit 1..9,
// one ignored character, then that many variable numbers 1..k on the same
// line; the rest of the line is ignored. Anything else (an empty line, a
// count of 0, a missing or foreign number, more than MaxCombinations lines,
// an overlong line) is a malformed file and raises EConvertError; a read
// failure raises EInOutError. The file is closed on every path.
TCombinationTable ReadCombinationFile(const std::string& FileName, int k);

}  // namespace varnel
