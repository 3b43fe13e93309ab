// SPDX-License-Identifier: Apache-2.0
#include "varnel/engine/batch.h"

#include <algorithm>

#include "varnel/engine/errors.h"

namespace varnel::engine {

void TBatch::Check() const {
  for (const auto& Column : Columns) {
    if (Column.size() != Rows()) throw EEngineError("batch columns differ in length");
  }
}

TBatch TBatch::Slice(std::size_t Begin, std::size_t End) const {
  End = std::min(End, Rows());
  Begin = std::min(Begin, End);
  TBatch Part{{}, FirstRow + Begin};
  Part.Columns.reserve(Columns.size());
  for (const auto& Column : Columns) Part.Columns.push_back(Column.subspan(Begin, End - Begin));
  return Part;
}

std::vector<TBatch> CutBatches(const TBatch& Data, std::size_t BatchRows) {
  Data.Check();
  if (BatchRows == 0) throw EEngineError("batch size of 0 rows");
  std::vector<TBatch> Batches;
  for (std::size_t Begin = 0; Begin < Data.Rows();) {
    const std::size_t Length = std::min(BatchRows, Data.Rows() - Begin);
    Batches.push_back(Data.Slice(Begin, Begin + Length));
    Begin += Length;
  }
  return Batches;
}

}  // namespace varnel::engine
