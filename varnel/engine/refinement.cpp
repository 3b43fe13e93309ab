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

namespace {

// The kept predictors' means, as the pass centres them.
std::vector<long double> KeptMeans(const TFit& Fit) {
  std::vector<long double> Means(Fit.Kept.size());
  for (std::size_t a = 0; a < Means.size(); ++a) {
    const std::size_t j = Fit.Kept[a];
    Means[a] = static_cast<long double>(Fit.Shift[j]) + Fit.MeanAboutShift[j];
  }
  return Means;
}

// w = G·v for the predictors' block G of the fit's (X'X)⁻¹.
void InverseTimes(const TFit& Fit, const std::vector<long double>& v, std::vector<long double>& w) {
  const std::size_t q = v.size(), First = Fit.Intercept ? 1 : 0, Rank = Fit.Rank();
  w.resize(q);
  for (std::size_t a = 0; a < q; ++a) {
    long double s = 0;
    for (std::size_t b = 0; b < q; ++b) s += Fit.XtXInv[(First + a) * Rank + First + b] * v[b];
    w[a] = s;
  }
}

}  // namespace

TResidualProducts::TResidualProducts(const TFit& Fit) : FSums(Fit.Rank()) {
  const std::size_t q = Fit.Kept.size();
  if (ConditionBound(Fit) <= kRefineInverseAbove) return;
  FInverse.assign(q * q, 0);
  if (Fit.Intercept) InverseTimes(Fit, KeptMeans(Fit), FMeansInverse);
}

namespace {

// Σ w·wᵀ, lower triangle, for w = G·z of one row's design values z.
void AddInverseProducts(const TFit& Fit, const std::vector<long double>& z, std::vector<long double>& w,
                        std::vector<long double>& Sums) {
  const std::size_t q = z.size();
  InverseTimes(Fit, z, w);
  for (std::size_t a = 0; a < q; ++a) {
    for (std::size_t b = 0; b <= a; ++b) Sums[a * q + b] += w[a] * w[b];
  }
}

// G moved to 2G − Σ w·wᵀ, and with a constant the inverse rebuilt about
// the means as Solve builds it, but for its corner: x̄ᵀGx̄ formed from u =
// G·x̄ as 2x̄ᵀu − Σ (uᵀz)², which an error in u changes only to second order
// (x̄ᵀu alone takes the cancellation of G's large entries against each
// other twice over, once in u and once in the product, when a pair of
// predictors is near-collinear).
void RefineInverse(const TResidualProducts& Products, TFit& Fit) {
  const std::vector<long double>& Sums = Products.InverseSums();
  const std::size_t q = Fit.Kept.size(), First = Fit.Intercept ? 1 : 0, Rank = Fit.Rank();
  std::vector<long double> G(q * q);
  for (std::size_t a = 0; a < q; ++a) {
    for (std::size_t b = 0; b <= a; ++b) {
      const long double Old = Fit.XtXInv[(First + a) * Rank + First + b];
      G[a * q + b] = G[b * q + a] = Finite(2 * Old - Sums[a * q + b]);
    }
  }
  if (!Fit.Intercept) {
    Fit.XtXInv = G;
    return;
  }
  const std::vector<long double> Means = KeptMeans(Fit), &u = Products.MeansInverse();
  long double Quadratic = 0;
  for (std::size_t a = 0; a < q; ++a) Quadratic += 2 * Means[a] * u[a];
  Fit.XtXInv = InverseWithConstant(Fit.N, Means, G);
  Fit.XtXInv[0] = Finite(1 / static_cast<long double>(Fit.N) + (Quadratic - Products.MeansSquares()));
}

}  // namespace

void TResidualProducts::Add(const TFit& Fit, const TBatch& Batch) {
  Batch.Check();
  if (Batch.Cols() != Fit.K + 1) throw EEngineError("the batch does not have the fit's columns");
  const std::size_t First = Fit.Intercept ? 1 : 0, q = Fit.Kept.size();
  std::vector<double> Row(Batch.Cols());
  std::vector<long double> z(q), w;
  for (std::size_t i = 0; i < Batch.Rows(); ++i) {
    if (!CompleteRow(Batch, i, Row)) continue;
    const long double r = Fit.Residual(Row);
    if (Fit.Intercept) FSums[0] += r;
    for (std::size_t a = 0; a < q; ++a) {
      z[a] = Fit.Design(Row, Fit.Kept[a]);
      FSums[First + a] += r * z[a];
    }
    if (!FInverse.empty()) AddInverseProducts(Fit, z, w, FInverse);
    if (!FMeansInverse.empty()) {
      long double t = 0;
      for (std::size_t a = 0; a < q; ++a) t += FMeansInverse[a] * z[a];
      FMeansSquares += t * t;
    }
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
  for (std::size_t c = 0; c < FInverse.size(); ++c) FInverse[c] += Other.FInverse[c];
  FMeansSquares += Other.FMeansSquares;
  FCount += Other.FCount;
}

TFit Refined(const TFit& Fit, const TResidualProducts& Products) {
  if (Fit.Weighted) throw EEngineError("a weighted fit is not refined");
  const std::size_t Rank = Fit.Rank(), First = Fit.Intercept ? 1 : 0;
  const std::size_t q = Fit.Kept.size();
  if (Products.Count() != Fit.N || Products.Sums().size() != Rank ||
      !(Products.InverseSums().empty() || Products.InverseSums().size() == q * q))
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
  if (!Products.InverseSums().empty()) RefineInverse(Products, Out);
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
