// Inference for the accurate fit: two-sided p-values and confidence limits
// from the t and F distributions, variance-inflation factors from the
// shifted inverse, and the likelihood criteria of a normal linear model, by
// the definitions R's summary.lm, confint, logLik, AIC and BIC use.
#include <cmath>
#include <vector>

#include "varnel/core/checked.h"
#include "varnel/core/guard.h"
#include "varnel/core/rows.h"
#include "varnel/dist/distributions.h"
#include "varnel/korlen.h"
#include "varnel/regression/refit.h"

namespace varnel {
namespace {

constexpr Extended kLn2Pi = 1.837877066409345483560659472811235L;

// VIF_j = Σ (x_j − x̄_j)² · (X'X)⁻¹_jj; the centred sum of squares from the
// shifted rows' own sums.
Extended VarianceInflation(const TShiftedInverse& S, int j, int n) {
  const Extended Centred = Finite(S.Diagonal[j] - Div(S.Sums[j] * S.Sums[j], n));
  return Finite(Centred * S.Inv[j][j]);
}

// Σ (e_i − e_{i−1})² / Σ e_i², from the fit's own residuals.
Extended DurbinWatsonOf(const TMultStatRec& R, const TRegressData& X, std::span<const double> Y) {
  Extended Previous = 0, Num = 0, Den = 0;
  for (int i = 0; i < R.N; ++i) {
    const Extended e = Y[i] - FittedValue(R, X, i);
    if (i > 0) Num += (e - Previous) * (e - Previous);
    Den += e * e;
    Previous = e;
  }
  return Div(Num, Den);
}

// The model's fields from the record: logLik = −n/2 (ln 2π + ln(SSE/n) + 1),
// with k + 2 parameters (the coefficients and σ) in AIC and BIC.
void ModelFields(TModelInference& M, const TMultStatRec& R) {
  const Extended n = R.N;
  M.R2 = R.R2;
  M.AdjR2 = Finite(1 - Div(R.MSE, Div(R.SST, n - 1)));
  M.Sigma = R.RMSE;
  M.F = R.F;
  M.FPValue = FProbability(static_cast<double>(R.F), R.K, M.DFResidual, TTail::Upper);
  M.Deviance = R.SSE;
  M.LogLik = Finite(-n / 2 * (kLn2Pi + Ln(Div(R.SSE, n)) + 1));
  const Extended Parameters = R.K + 2;
  M.AIC = Finite(-2 * M.LogLik + 2 * Parameters);
  M.BIC = Finite(-2 * M.LogLik + Ln(n) * Parameters);
}

}  // namespace

TModelInference TKorlen::MVInference(const TRegressData* X, std::span<const double> Y, Byte k, int n,
                                     Extended Level) {
  TModelInference Result{};
  if (X == nullptr || !FitCountsValid(k, n) || !Holds(Y, n) || !(Level > 0 && Level < 1)) return Result;
  Guard("Error occurred in  MVInference", [&] {
    const TInverseFit Fit = FitWithInverse(*this, X, Y, k, n);
    if (!Fit.Fitted) return;  // the scan has reported the data
    const TMultStatRec& R = Fit.R;
    TModelInference M{};
    M.N = n;
    M.K = k;
    M.DFResidual = n - k - 1;
    M.Level = Level;
    ModelFields(M, R);
    M.DurbinWatson = DurbinWatsonOf(R, *X, Y);
    const Extended t = StudentTQuantile(static_cast<double>((1 - Level) / 2), M.DFResidual, TTail::Upper);
    for (int j = 0; j <= k; ++j) {
      TCoefficientInference& C = M.Coefficients[j];
      C.Estimate = R.Beta[j];
      C.StdError = R.StdErr[j];
      C.Statistic = R.TCalc[j];
      C.PValue = StudentTTwoSided(static_cast<double>(R.TCalc[j]), M.DFResidual);
      C.ConfLow = Finite(R.Beta[j] - t * R.StdErr[j]);
      C.ConfHigh = Finite(R.Beta[j] + t * R.StdErr[j]);
      if (j > 0) C.VIF = VarianceInflation(Fit.S, j, n);
    }
    Result = M;
  });
  return Result;
}

}  // namespace varnel
