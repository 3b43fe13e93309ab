// SPDX-License-Identifier: Apache-2.0
// The statistical tables the component carries instead of evaluating
// distribution functions: areas under the standard normal curve, Student t
// critical values and chi-square critical values. Each is the usual printed
// table, every value rounded to the printed decimals.
#pragma once

#include <array>

#include "varnel/core/types.h"

namespace varnel {

// Entry i is the area under the standard normal density between 0 and
// z = i / 100 (z = 0.00 to 3.10), to four decimals.
inline constexpr int NormalAreaCount = 311;
extern const std::array<double, NormalAreaCount> NormalAreaTable;

// Columns of a t row, by upper-tail probability.
enum TTailColumn { tc10, tc05, tc025, tc01, tc005 };

struct TTTableRow {
  Byte DF;  // equal to the row number; a label only
  std::array<Single, 5> Value;
};

// Rows for 1 to 29 degrees of freedom, then one row of the limiting
// (standard normal) values that serves 30 degrees of freedom and more.
inline constexpr int TTableRows = 30;
extern const std::array<TTTableRow, TTableRows> TTable;

struct TChiSquareTableRow {
  Byte DF;  // equal to the row number; a label only
  Single C05;  // exceeded with probability 0.05
  Single C01;  // exceeded with probability 0.01
};

inline constexpr int ChiSquareTableRows = 30;
extern const std::array<TChiSquareTableRow, ChiSquareTableRows> ChiSquareTable;

// The area from 0 to |z| with z clamped to [-3.1, 3.1] and rounded to the
// nearest hundredth (an exact half to the even neighbour). A NaN has no
// entry and raises EInvalidOp.
Extended NormalArea(Extended z);

}  // namespace varnel
