// SPDX-License-Identifier: Apache-2.0
#include "varnel/engine/refinement.h"

#include <cmath>
#include <limits>

#include "varnel/core/checked.h"
#include "varnel/engine/errors.h"
#include "varnel/engine/reduce.h"

namespace varnel::engine {

long double ConditionBound(const TFit& Fit) {
  const std::size_t m = Fit.Kept.size(), First = Fit.Intercept ? 1 : 0, Rank = Fit.Rank();
  long double Sum = 0;
  for (std::size_t a = 0; a < m; ++a) Sum += Fit.KeptCrossProduct[a] * Fit.XtXInv[(First + a) * Rank + First + a];
  return static_cast<long double>(m + 1) * Sum;
}

TResidualProducts::TResidualProducts(const TFit& Fit) : FSums(Fit.Rank()) {}

void TResidualProducts::Add(const TFit& Fit, const TBatch& Batch) {
  Batch.Check();
  if (Batch.Cols() != Fit.K + 1) throw EEngineError("the batch does not have the fit's columns");
  const std::size_t First = Fit.Intercept ? 1 : 0;
  std::vector<double> Row(Batch.Cols());
  for (std::size_t i = 0; i < Batch.Rows(); ++i) {
    if (!CompleteRow(Batch, i, Row)) continue;
    const long double r = Fit.Residual(Row);
    if (Fit.Intercept) FSums[0] += r;
    for (std::size_t a = 0; a < Fit.Kept.size(); ++a) FSums[First + a] += r * Fit.Design(Row, Fit.Kept[a]);
    ++FCount;
  }
}

void TResidualProducts::Merge(const TResidualProducts& Other) {
  if (Other.FSums.empty()) return;
  if (FSums.empty()) {
    *this = Other;
    return;
  }
  for (std::size_t c = 0; c < FSums.size(); ++c) FSums[c] += Other.FSums[c];
  FCount += Other.FCount;
}

TFit Refined(const TFit& Fit, const TResidualProducts& Products) {
  const std::size_t Rank = Fit.Rank(), First = Fit.Intercept ? 1 : 0;
  if (Products.Count() != Fit.N || Products.Sums().size() != Rank)
    throw EEngineError("the residual products are not of the fit's rows");
  // In the centred design the constant is orthogonal to the slopes: its
  // step is the mean residual, the slopes' the slopes' block times theirs.
  TFit Out = Fit;
  Out.MomentSse = std::numeric_limits<long double>::quiet_NaN();
  std::vector<long double> Step(Rank);
  if (Fit.Intercept) Step[0] = Products.Sums()[0] / static_cast<long double>(Fit.N);
  for (std::size_t a = First; a < Rank; ++a) {
    for (std::size_t b = First; b < Rank; ++b) Step[a] += Fit.XtXInv[a * Rank + b] * Products.Sums()[b];
  }
  for (std::size_t c = First; c < Rank; ++c) Out.Coef[c] = Finite(Out.Coef[c] + Step[c]);
  if (Fit.Intercept) {
    Out.Offset = Fit.Offset + Step[0];
    long double Intercept = Out.MeanAboutShift[Fit.K] + Out.Shift[Fit.K] + Out.Offset;
    for (std::size_t a = 0; a < Fit.Kept.size(); ++a) {
      const std::size_t j = Fit.Kept[a];
      Intercept -= Out.Coef[1 + a] * (static_cast<long double>(Out.Shift[j]) + Out.MeanAboutShift[j]);
    }
    Out.Coef[0] = Finite(Intercept);
  }
  return Out;
}

TFit Refined(const TFit& Fit, const TBatch& Data, std::size_t Threads, std::size_t BatchRows) {
  const TResidualProducts Products = ReduceBatches<TResidualProducts>(Data, Threads, BatchRows, [&](const TBatch& Batch) {
    TResidualProducts Part(Fit);
    Part.Add(Fit, Batch);
    return Part;
  });
  return Refined(Fit, Products);
}

}  // namespace varnel::engine
