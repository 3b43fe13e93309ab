// SPDX-License-Identifier: Apache-2.0
#include "varnel/engine/observations.h"

#include <cmath>

#include "varnel/dist/distributions.h"
#include "varnel/engine/errors.h"

namespace varnel::engine {

TObservationMeasures::TObservationMeasures(const TFit& Fit, const TInference& Inference, double Level)
    : FFit(Fit), FSse(Inference.Sse), FSigma(Inference.Sigma), FFirst(Fit.Intercept ? 1 : 0) {
  if (Fit.DfResidual < 2) throw EEngineError("the measures of each observation need two residual degrees of freedom");
  FQuantile = StudentTQuantile((1 - Level) / 2, static_cast<double>(Fit.DfResidual), TTail::Upper);
  if (Fit.Intercept) {
    for (std::size_t j : Fit.Kept) FMean.push_back(Fit.MeanAboutShift[j]);
  }
}

void TObservationMeasures::Of(std::span<const double> Row, TObservation& Out) const { Of(Row, 1, Out); }

// A weighted fit's row of weight w: the leverage w·x'(X'WX)⁻¹x, the
// residual y − ŷ, and the measures of its weighted residual √w·e, as R's
// lm.influence takes them; the limits of a new observation are of
// variance σ²/w, as predict.lm assumes of the data fitted.
void TObservationMeasures::Of(std::span<const double> Row, long double Weight, TObservation& Out) const {
  const TFit& F = FFit;
  const long double Count = F.Weighted ? F.WeightSum : static_cast<long double>(F.N);
  const std::size_t m = F.Kept.size(), Rank = F.Rank();
  // With an intercept the design row is (1, x) and (X'X)⁻¹(1, x)' is
  // (1/n − x̄'Sd, Sd) with d = x − x̄ and S the slopes' block, formed about
  // the means so that data far from zero keep their digits.
  std::vector<long double> d(m), Az(Rank);
  for (std::size_t a = 0; a < m; ++a) {
    const std::size_t j = F.Kept[a];
    d[a] = F.Intercept ? (static_cast<long double>(Row[j]) - F.Shift[j]) - FMean[a] : Row[j];
  }
  long double Spread = F.Intercept ? 1.0L / Count : 0;  // x'(X'WX)⁻¹x
  for (std::size_t a = 0; a < m; ++a) {
    long double s = 0;
    for (std::size_t b = 0; b < m; ++b) s += F.XtXInv[(FFirst + a) * Rank + FFirst + b] * d[b];
    Az[FFirst + a] = s;
    Spread += d[a] * s;
  }
  if (F.Intercept) {
    long double s = 1.0L / Count;
    for (std::size_t a = 0; a < m; ++a) s -= (static_cast<long double>(F.Shift[F.Kept[a]]) + FMean[a]) * Az[1 + a];
    Az[0] = s;
  }
  const long double Hat = Weight * Spread, Raw = F.Residual(Row), e = std::sqrt(Weight) * Raw, Rest = 1 - Hat;
  const auto df = static_cast<long double>(F.DfResidual), p = static_cast<long double>(Rank);
  Out.Residual = Raw;
  Out.Fitted = static_cast<long double>(Row[F.K]) - Raw;
  Out.Hat = Hat;
  Out.Sigma = std::sqrt((FSse - e * e / Rest) / (df - 1));
  Out.StdResid = e / (FSigma * std::sqrt(Rest));
  Out.StudResid = e / (Out.Sigma * std::sqrt(Rest));
  Out.CooksD = Out.StdResid * Out.StdResid * Hat / (p * Rest);
  Out.Dffits = Out.StudResid * std::sqrt(Hat / Rest);
  Out.CovRatio = std::pow(Out.Sigma / FSigma, 2 * p) / Rest;
  Out.DfBetas.resize(Rank);
  for (std::size_t c = 0; c < Rank; ++c)
    Out.DfBetas[c] = Az[c] * (std::sqrt(Weight) * e) / Rest / (Out.Sigma * std::sqrt(F.XtXInv[c * Rank + c]));
  const long double Mean = FQuantile * FSigma * std::sqrt(Spread),
                    New = FQuantile * FSigma * std::sqrt(1 / Weight + Spread);
  Out.ConfLow = Out.Fitted - Mean;
  Out.ConfHigh = Out.Fitted + Mean;
  Out.PredLow = Out.Fitted - New;
  Out.PredHigh = Out.Fitted + New;
}

}  // namespace varnel::engine
