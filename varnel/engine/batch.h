// SPDX-License-Identifier: Apache-2.0
/// \file
/// A batch: a window of rows of a data set, column by column, borrowed from
/// whoever holds the data. NaN marks a missing value.
#pragma once

#include <cmath>
#include <cstddef>
#include <span>
#include <vector>

#include "varnel/export.h"

/// The engine: mergeable statistics with no fixed capacity, which report
/// every fault as an exception, never through the message handler.
namespace varnel::engine {

/// The rows a data set is cut into for reduction. Fixed, so that the cut and
/// hence every merged result is the same whatever the number of threads.
inline constexpr std::size_t kBatchRows = 65536;

/// A non-owning view: Columns[j][i] is column j of global row FirstRow + i.
/// The spans must outlive the batch and every column must have the same
/// length (Check enforces it; the engine's operations call it).
struct VARNEL_API TBatch {
  std::vector<std::span<const double>> Columns;  ///< the columns, each over the batch's rows
  std::size_t FirstRow = 0;  ///< the global index of the batch's row 0

  std::size_t Cols() const { return Columns.size(); }  ///< the number of columns
  std::size_t Rows() const { return Columns.empty() ? 0 : Columns.front().size(); }  ///< the first column's length; 0 without columns

  /// Throws EEngineError unless every column has the length of the first.
  void Check() const;

  /// Rows [Begin, End) of this batch (indices relative to it), clamped to
  /// its length.
  TBatch Slice(std::size_t Begin, std::size_t End) const;
};

/// Row i of the batch into Row (Cols() values); false when one of them is
/// missing (NaN): the rows the analyses take are the complete ones.
inline bool CompleteRow(const TBatch& Batch, std::size_t i, std::span<double> Row) {
  bool Complete = true;
  for (std::size_t j = 0; j < Row.size(); ++j) Complete = !std::isnan(Row[j] = Batch.Columns[j][i]) && Complete;
  return Complete;
}

/// A batch over whole columns, e.g. std::vector<std::vector<double>>.
template <class Container>
TBatch MakeBatch(const std::vector<Container>& Columns, std::size_t FirstRow = 0) {
  TBatch Batch{{}, FirstRow};
  Batch.Columns.reserve(Columns.size());
  for (const auto& Column : Columns) Batch.Columns.emplace_back(Column);
  return Batch;
}

/// The data cut at every BatchRows rows counted from its first: the last
/// batch holds what remains. No batch for no rows.
VARNEL_API std::vector<TBatch> CutBatches(const TBatch& Data, std::size_t BatchRows = kBatchRows);

}  // namespace varnel::engine
