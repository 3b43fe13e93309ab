// SPDX-License-Identifier: Apache-2.0
/// \file
/// The library's fault classes. Arithmetic faults are detected explicitly
/// (see checked.h) and thrown as these exceptions; guarded operations catch
/// them in Guard (guard.h), unguarded ones let them reach their caller.
#pragma once

#include <stdexcept>
#include <string>

#include "varnel/export.h"

namespace varnel {

/// The base of every fault the library raises; what() gives its text.
class VARNEL_API EVarnelError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;  ///< a fault with the given text
};

/// An arithmetic fault: a division by zero, an invalid operation or an
/// overflow, or another result that would not be finite. What the unguarded
/// operations let reach their caller.
class VARNEL_API EMathError : public EVarnelError {
 public:
  using EVarnelError::EVarnelError;  ///< a fault with the given text
};

/// A division by zero.
class VARNEL_API EZeroDivide : public EMathError {
 public:
  EZeroDivide() : EMathError("Floating point division by zero") {}  ///< with the text "Floating point division by zero"
};

/// An invalid operation: a result that is not a number, such as the square
/// root or logarithm of a negative number, or 0/0.
class VARNEL_API EInvalidOp : public EMathError {
 public:
  EInvalidOp() : EMathError("Invalid floating point operation") {}  ///< with the text "Invalid floating point operation"
};

/// A result, or a value of the input, too large for its type (an infinity).
class VARNEL_API EOverflow : public EMathError {
 public:
  EOverflow() : EMathError("Floating point overflow") {}  ///< with the text "Floating point overflow"
};

/// A file that cannot be opened, read or written.
class VARNEL_API EInOutError : public EVarnelError {
 public:
  using EVarnelError::EVarnelError;  ///< a fault with the given text
};

/// A text that does not convert to the value asked for: a bad number, an
/// unknown class or property of a text form.
class VARNEL_API EConvertError : public EVarnelError {
 public:
  using EVarnelError::EVarnelError;  ///< a fault with the given text
};

}  // namespace varnel
