// SPDX-License-Identifier: Apache-2.0
#include "varnel/engine/inference.h"

#include <cmath>
#include <numbers>

#include "varnel/core/checked.h"
#include "varnel/dist/distributions.h"
#include "varnel/engine/errors.h"
#include "varnel/engine/reduce.h"

namespace varnel::engine {
namespace {

// The residual sum of one batch, mergeable in the tree like the moments.
struct TResidualSums {
  std::size_t Count = 0;
  long double Sse = 0;
  void Merge(const TResidualSums& Other) {
    Count += Other.Count;
    Sse += Other.Sse;
  }
};

TResidualSums BatchResiduals(const TFit& Fit, const TBatch& Batch) {
  TResidualSums Sums;
  std::vector<double> Row(Batch.Cols());
  for (std::size_t i = 0; i < Batch.Rows(); ++i) {
    if (!CompleteRow(Batch, i, Row)) continue;
    const long double r = Fit.Residual(Row);
    Sums.Sse += r * r;
    ++Sums.Count;
  }
  return Sums;
}

// summary.lm's R², adjusted R² and F; F only when a term besides the
// constant is fitted.
void AddFit(const TFit& Fit, TInference& Out) {
  const long double n = Fit.N, Rdf = Fit.DfResidual, DfInt = Fit.Intercept ? 1 : 0;
  Out.R2 = Finite(1 - Div(Out.Sse, Fit.Sst));
  Out.AdjR2 = Finite(1 - (1 - Out.R2) * ((n - DfInt) / Rdf));
  Out.DfModel = Fit.Rank() - (Fit.Intercept ? 1 : 0);
  if (Out.DfModel == 0) return;
  const long double F = Finite(((Fit.Sst - Out.Sse) / Out.DfModel) / (Out.Sse / Rdf));
  Out.F = F;
  Out.FP = FProbability(static_cast<double>(F), static_cast<double>(Out.DfModel), static_cast<double>(Rdf), TTail::Upper);
}

// logLik.lm, and AIC and BIC counting σ as a parameter; weighted, Sse is
// Σ w e² and the rows of positive weight add half their Σ log w.
void AddLikelihood(const TFit& Fit, TInference& Out) {
  const long double n = Fit.N, Df = Fit.Rank() + 1;
  Out.LogLik = -0.5L * n * (std::log(2 * std::numbers::pi_v<long double>) + 1 - Ln(n) + Ln(Out.Sse));
  if (Fit.Weighted) Out.LogLik += 0.5L * Fit.LogWeightSum;
  Out.AIC = -2 * Out.LogLik + 2 * Df;
  Out.BIC = -2 * Out.LogLik + Ln(n) * Df;
}

}  // namespace

long double StreamedSse(const TFit& Fit, const TBatch& Data, std::size_t Threads, std::size_t BatchRows) {
  if (Data.Cols() != Fit.K + 1) throw EEngineError("data have a different number of columns from the fit");
  const TResidualSums Sums = ReduceBatches<TResidualSums>(
      Data, Threads, BatchRows, [&](const TBatch& Batch) { return BatchResiduals(Fit, Batch); });
  if (Sums.Count != Fit.N) throw EEngineError("data are not the rows the fit was made from");
  return Finite(Sums.Sse);
}

TInference Infer(const TFit& Fit, long double Sse) {
  if (Fit.DfResidual == 0) throw EEngineError("the fit has no residual degrees of freedom");
  if (!(Sse > 0)) throw EEngineError("the fit has no residuals: every observation is fitted exactly");
  TInference Out;
  Out.Sse = Finite(Sse);
  Out.DfResidual = Fit.DfResidual;
  const long double Variance = Sse / Fit.DfResidual;
  Out.Sigma = Sqrt(Variance);
  const std::size_t r = Fit.Rank();
  for (std::size_t j = 0; j < r; ++j) {
    const long double Se = Sqrt(Variance * Fit.XtXInv[j * r + j]);
    Out.StdErr.push_back(Se);
    Out.T.push_back(Div(Fit.Coef[j], Se));
    Out.P.push_back(StudentTTwoSided(static_cast<double>(Out.T.back()), static_cast<double>(Fit.DfResidual)));
  }
  AddFit(Fit, Out);
  AddLikelihood(Fit, Out);
  return Out;
}

}  // namespace varnel::engine
