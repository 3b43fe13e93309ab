// SPDX-License-Identifier: Apache-2.0
// Inference for the accurate fit: two-sided p-values and confidence limits
// from the t and F distributions, variance-inflation factors from the
// fit's inverse, the likelihood criteria of a normal linear model, and every
// observation's influence measures and limits, by the definitions R's
// summary.lm, confint, logLik, AIC, BIC, influence.measures and predict use.
#include <cmath>
#include <limits>
#include <vector>

#include "varnel/core/checked.h"
#include "varnel/core/guard.h"
#include "varnel/core/rows.h"
#include "varnel/dist/distributions.h"
#include "varnel/korlen.h"
#include "varnel/regression/inference_fit.h"

namespace varnel {
namespace {

constexpr Extended kLn2Pi = 1.837877066409345483560659472811235L;
constexpr Extended kNaN = std::numeric_limits<Extended>::quiet_NaN();

// VIF_j = Σ (x_j − c_j)² · (X'X)⁻¹_jj with c_j the mean, or 0 through the
// origin (car::vif's value for such a model); the centred sum of squares
// from the shifted rows' own sums.
Extended VarianceInflation(const TInferenceFit& F, int j, int n) {
  const TShiftedInverse& S = F.S;
  const Extended About = F.Intercept() ? Finite(S.Diagonal[j] - Div(S.Sums[j] * S.Sums[j], n)) : S.Diagonal[j];
  return Finite(About * S.Inv[j][j]);
}

// Σ (e_i − e_{i−1})² / Σ e_i², from the fit's own residuals.
Extended DurbinWatsonOf(const TInferenceFit& F, const TRegressData& X, std::span<const double> Y) {
  Extended Previous = 0, Num = 0, Den = 0;
  for (int i = 0; i < F.R.N; ++i) {
    const Extended e = Y[i] - FittedOf(F, X, i);
    if (i > 0) Num += (e - Previous) * (e - Previous);
    Den += e * e;
    Previous = e;
  }
  return Div(Num, Den);
}

// The model's fields from the record: adjusted R² on the total degrees of
// freedom (n − 1, or n through the origin), logLik = −n/2 (ln 2π + ln(SSE/n)
// + 1), with the coefficients and σ as the parameters of AIC and BIC.
void ModelFields(TModelInference& M, const TInferenceFit& F) {
  const TMultStatRec& R = F.R;
  const Extended n = R.N;
  M.R2 = R.R2;
  M.AdjR2 = Finite(1 - Div(R.MSE, Div(R.SST, R.DFTot)));
  M.Sigma = R.RMSE;
  M.F = R.F;
  M.FPValue = FProbability(static_cast<double>(R.F), R.K, M.DFResidual, TTail::Upper);
  M.Deviance = R.SSE;
  M.LogLik = Finite(-n / 2 * (kLn2Pi + Ln(Div(R.SSE, n)) + 1));
  const Extended Parameters = F.Parameters + 1;
  M.AIC = Finite(-2 * M.LogLik + 2 * Parameters);
  M.BIC = Finite(-2 * M.LogLik + Ln(n) * Parameters);
}

void CoefficientFields(TModelInference& M, const TInferenceFit& F, Extended t) {
  const TMultStatRec& R = F.R;
  for (int j = F.First; j <= R.K; ++j) {
    TCoefficientInference& C = M.Coefficients[j];
    C.Estimate = R.Beta[j];
    C.StdError = R.StdErr[j];
    C.Statistic = R.TCalc[j];
    C.PValue = StudentTTwoSided(static_cast<double>(R.TCalc[j]), M.DFResidual);
    C.ConfLow = Finite(R.Beta[j] - t * R.StdErr[j]);
    C.ConfHigh = Finite(R.Beta[j] + t * R.StdErr[j]);
    if (j > 0) C.VIF = VarianceInflation(F, j, R.N);
  }
}

// What every observation's measures share: the scale s, SSE, the parameter
// count p, the degrees of freedom left with one observation out, √(X'X)⁻¹_jj
// and the t quantile of the limits.
struct TInfluenceScale {
  Extended s, Sse, t;
  int p, LeftOut;
  Extended RootInv[MaxVars + 1];
};

// A leverage within 10 ε of 1 is taken as 1, as R's lm.influence does: the
// fit passes through the observation, and what divides by 1 − h is undefined.
Extended Leverage(Extended h) {
  return h > 1 - 10 * std::numeric_limits<double>::epsilon() ? 1 : h;
}

// R's formulas, unchecked: an undefined measure becomes NaN (an infinity
// too, as R's own rstandard and cooks.distance make it).
Extended Defined(Extended x) { return std::isfinite(x) ? x : kNaN; }

void ObservationFields(TObservationInference& O, const TInfluenceScale& c, Extended y, Extended Fitted, Extended h,
                       const Extended* Change, int First, int k) {
  const Extended e = y - Fitted, om = 1 - h;
  O.Fitted = Fitted;
  O.Residual = e;
  O.Hat = h;
  const Extended LeftOut = om > 0 ? c.Sse - e * e / om : c.Sse;
  O.Sigma = c.LeftOut > 0 ? std::sqrt(std::fmax(LeftOut, 0) / c.LeftOut) : kNaN;
  O.StdResid = Defined(e / (c.s * std::sqrt(om)));
  O.StudResid = Defined(e / (O.Sigma * std::sqrt(om)));
  O.CooksD = Defined(O.StdResid * O.StdResid * h / (c.p * om));
  O.DFFITS = Defined(O.StudResid * std::sqrt(h / om));
  O.CovRatio = Defined(std::pow(O.Sigma / c.s, 2 * c.p) / om);
  for (int j = First; j <= k; ++j) O.DFBetas[j] = Defined(Change[j] * e / om / (O.Sigma * c.RootInv[j]));
  const Extended Mean = c.t * c.s * std::sqrt(h), New = c.t * c.s * std::sqrt(1 + h);
  O.ConfLow = Fitted - Mean;
  O.ConfHigh = Fitted + Mean;
  O.PredLow = Fitted - New;
  O.PredHigh = Fitted + New;
}

void ObservationMeasures(const TInferenceFit& F, const TRegressData& X, std::span<const double> Y, Extended t,
                         std::span<TObservationInference> Out) {
  const TMultStatRec& R = F.R;
  TInfluenceScale c{R.RMSE, R.SSE, t, F.Parameters, R.N - F.Parameters - 1, {}};
  for (int j = F.First; j <= R.K; ++j) c.RootInv[j] = Sqrt(F.S.Inv[j][j]);
  for (int i = 0; i < R.N; ++i) {
    Extended Change[MaxVars + 1] = {};
    const Extended h = Leverage(LeverageAndChange(F, i, Change));
    TObservationInference O{};
    ObservationFields(O, c, Y[i], FittedOf(F, X, i), h, Change, F.First, R.K);
    Out[i] = O;
  }
}

}  // namespace

TModelInference TKorlen::MVInference(const TRegressData* X, std::span<const double> Y, Byte k, int n,
                                     Extended Level, bool Intercept, std::span<TObservationInference> Observations) {
  TModelInference Result{};
  if (X == nullptr || !FitCountsValid(k, n) || !Holds(Y, n) || !(Level > 0 && Level < 1)) return Result;
  if (!Observations.empty() && !Holds(Observations, n)) return Result;
  Guard("Error occurred in  MVInference", [&] {
    const TInferenceFit Fit = InferenceFit(*this, *X, Y, k, n, Intercept);
    if (!Fit.Fitted) return;  // the scan has reported the data
    TModelInference M{};
    M.N = n;
    M.K = k;
    M.Intercept = Intercept;
    M.DFResidual = Fit.R.DFErr;
    M.Level = Level;
    ModelFields(M, Fit);
    M.DurbinWatson = DurbinWatsonOf(Fit, *X, Y);
    const Extended t = StudentTQuantile(static_cast<double>((1 - Level) / 2), M.DFResidual, TTail::Upper);
    CoefficientFields(M, Fit, t);
    if (!Observations.empty()) ObservationMeasures(Fit, *X, Y, t, Observations);
    Result = M;
  });
  return Result;
}

}  // namespace varnel
