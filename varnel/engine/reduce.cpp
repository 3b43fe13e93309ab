// SPDX-License-Identifier: Apache-2.0
#include "varnel/engine/reduce.h"

namespace varnel::engine {

TMoments Accumulate(const TBatch& Data, std::size_t Threads, std::size_t BatchRows) {
  return ReduceBatches<TMoments>(Data, Threads, BatchRows, [&](const TBatch& Batch) {
    TMoments State(Data.Cols());
    State.Add(Batch);
    return State;
  });
}

}  // namespace varnel::engine
