// SPDX-License-Identifier: Apache-2.0
// The library's fault classes. Arithmetic faults are detected explicitly
// (see checked.h) and thrown as these exceptions; guarded operations catch
// them in Guard (guard.h), unguarded ones let them reach their caller.
#pragma once

#include <stdexcept>
#include <string>

#include "varnel/export.h"

namespace varnel {

class VARNEL_API EVarnelError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class VARNEL_API EMathError : public EVarnelError {
 public:
  using EVarnelError::EVarnelError;
};

class VARNEL_API EZeroDivide : public EMathError {
 public:
  EZeroDivide() : EMathError("Floating point division by zero") {}
};

class VARNEL_API EInvalidOp : public EMathError {
 public:
  EInvalidOp() : EMathError("Invalid floating point operation") {}
};

class VARNEL_API EOverflow : public EMathError {
 public:
  EOverflow() : EMathError("Floating point overflow") {}
};

class VARNEL_API EInOutError : public EVarnelError {
 public:
  using EVarnelError::EVarnelError;
};

class VARNEL_API EConvertError : public EVarnelError {
 public:
  using EVarnelError::EVarnelError;
};

}  // namespace varnel
