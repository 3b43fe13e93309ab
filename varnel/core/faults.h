// The library's fault classes. Arithmetic faults are detected explicitly
// (see checked.h) and thrown as these exceptions; guarded operations catch
// them in Guard (guard.h), unguarded ones let them reach their caller.
#pragma once

#include <stdexcept>
#include <string>

namespace varnel {

class EVarnelError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class EMathError : public EVarnelError {
 public:
  using EVarnelError::EVarnelError;
};

class EZeroDivide : public EMathError {
 public:
  EZeroDivide() : EMathError("Floating point division by zero") {}
};

class EInvalidOp : public EMathError {
 public:
  EInvalidOp() : EMathError("Invalid floating point operation") {}
};

class EOverflow : public EMathError {
 public:
  EOverflow() : EMathError("Floating point overflow") {}
};

class EInOutError : public EVarnelError {
 public:
  using EVarnelError::EVarnelError;
};

class EConvertError : public EVarnelError {
 public:
  using EVarnelError::EVarnelError;
};

}  // namespace varnel
