// SPDX-License-Identifier: Apache-2.0
// Checked arithmetic. The library never lets an infinity or a NaN become a
// result: a division checks its divisor, a square root or logarithm its
// argument, and every value that is stored or compared is checked to be
// finite. A non-finite value is an overflow (infinity) or an invalid
// operation (NaN), exactly as a trapping floating-point unit would report it.
#pragma once

#include <cmath>
#include <limits>

#include "varnel/core/faults.h"
#include "varnel/core/types.h"

namespace varnel {

// Throws unless x is finite; returns x so that it can wrap an expression.
inline Extended Finite(Extended x) {
  if (std::isnan(x)) throw EInvalidOp();
  if (std::isinf(x)) throw EOverflow();
  return x;
}

// a / b; 0 / 0 is an invalid operation, any other x / 0 a division by zero.
inline Extended Div(Extended a, Extended b) {
  Finite(a);
  Finite(b);
  if (b == 0) {
    if (a == 0) throw EInvalidOp();
    throw EZeroDivide();
  }
  return Finite(a / b);
}

inline Extended Sqrt(Extended x) {
  if (Finite(x) < 0) throw EInvalidOp();
  return std::sqrt(x);
}

inline Extended Ln(Extended x) {
  if (Finite(x) < 0) throw EInvalidOp();
  if (x == 0) throw EZeroDivide();
  return std::log(x);
}

// A result the caller reads as a number of the data's kind: finite, and
// within the range of double (an extended sum of four 1e308 values is
// finite, and still an overflow of what it describes).
inline Extended WithinDouble(Extended x) {
  if (std::fabs(Finite(x)) > std::numeric_limits<double>::max()) throw EOverflow();
  return x;
}

// Rounds to double as a store into an observation array does; a value
// beyond the range of double overflows there.
inline double ToDouble(Extended x) {
  const double d = static_cast<double>(Finite(x));
  if (std::isinf(d)) throw EOverflow();
  return d;
}

}  // namespace varnel
