// SPDX-License-Identifier: Apache-2.0
/// \file
/// The engine's faults. They derive from the library's hierarchy so that a
/// caller catching EVarnelError sees them too; the engine never reports
/// through the component's message handler.
#pragma once

#include "varnel/core/faults.h"
#include "varnel/export.h"

namespace varnel::engine {

/// A call the engine cannot carry out on what it was given: columns of
/// different lengths, a state of another width, a fit with nothing to fit.
class VARNEL_API EEngineError : public EVarnelError {
 public:
  using EVarnelError::EVarnelError;
};

/// A flat state that is not one this build wrote: wrong magic, version,
/// size, checksum, or a field that no accumulation can produce.
class VARNEL_API EFlatStateError : public EEngineError {
 public:
  using EEngineError::EEngineError;
};

}  // namespace varnel::engine
