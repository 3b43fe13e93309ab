// SPDX-License-Identifier: Apache-2.0
// Residuals and influence diagnostics of a multiple regression. Every
// operation clears its output, refits from its arguments and reports a fault
// with its own message; MVLeverages alone is unguarded, so that the
// operations built on it report its faults as theirs.
#include <vector>

#include "varnel/core/checked.h"
#include "varnel/core/guard.h"
#include "varnel/core/rows.h"
#include "varnel/korlen.h"
#include "varnel/regression/refit.h"

namespace varnel {
namespace {

// The checks made before any fit: the counts, and room for what is read and written.
bool CanFit(const TRegressData* X, std::span<const double> Y, std::span<double> Out, int k, int n) {
  return X != nullptr && FitCountsValid(k, n) && Holds(Y, n) && Holds(Out, n);
}

Extended Residual(const TMultStatRec& R, const TRegressData& X, std::span<const double> Y, int i) {
  return Y[i] - FittedValue(R, X, i);
}

// The residuals of a fit, each rounded to double as a residual array keeps it.
std::vector<double> Residuals(const TMultStatRec& R, const TRegressData& X, std::span<const double> Y) {
  std::vector<double> E(R.N);
  for (int i = 0; i < R.N; ++i) E[i] = ToDouble(Residual(R, X, Y, i));
  return E;
}

// e(i) / s with s = √MSE, the fit's own SSE over N − K − 1.
void StoreStdResiduals(const TMultStatRec& R, const TRegressData& X, std::span<const double> Y,
                       std::span<double> Out) {
  const std::vector<double> E = Residuals(R, X, Y);
  const Extended s = Sqrt(R.MSE);
  for (int i = 0; i < R.N; ++i) Out[i] = ToDouble(Div(E[i], s));
}

}  // namespace

void TKorlen::MVPredictedY(const TRegressData* X, std::span<const double> Y, std::span<double> Out, Byte k,
                           int n) {
  FillObsArray(Out, 0);
  if (!CanFit(X, Y, Out, k, n)) return;
  Guard("Error occurred in  MultiVarPredictedY", [&] {
    const TMultStatRec R = MVRegression(X, Y, k, n);
    for (int i = 0; i < R.N; ++i) Out[i] = ToDouble(FittedValue(R, *X, i));
  });
}

void TKorlen::MVResiduals(const TRegressData* X, std::span<const double> Y, std::span<double> Out, Byte k,
                          int n) {
  FillObsArray(Out, 0);
  if (!CanFit(X, Y, Out, k, n)) return;
  Guard("Error occurred in  MultiVarResiduals", [&] {
    const TMultStatRec R = MVRegression(X, Y, k, n);
    for (int i = 0; i < R.N; ++i) Out[i] = ToDouble(Residual(R, *X, Y, i));
  });
}

void TKorlen::MVStdResiduals(const TRegressData* X, std::span<const double> Y, std::span<double> Out, Byte k,
                             int n) {
  FillObsArray(Out, 0);
  if (!CanFit(X, Y, Out, k, n)) return;
  Guard("Error occurred in  MultiVarStdResiduals",
        [&] { StoreStdResiduals(MVRegression(X, Y, k, n), *X, Y, Out); });
}

void TKorlen::MVLeverages(const TRegressData* X, std::span<double> H, Byte k, int n) {
  FillObsArray(H, 0);
  if (X == nullptr || !FitCountsValid(k, n) || !Holds(H, n)) return;
  LeveragesFromInverse(ShiftedInverse(*X, k, n), k, n, H);
}

// The leverages and the standardised residuals come from one cross-product
// matrix and one inversion, the matrix both would form. The standardised
// residuals keep their own message: a fault in them leaves them 0 from that
// observation on, and the studentised residuals are still formed from them.
void TKorlen::MVStudentResiduals(const TRegressData* X, std::span<const double> Y, std::span<double> Out,
                                 Byte k, int n) {
  FillObsArray(Out, 0);
  if (!CanFit(X, Y, Out, k, n)) return;
  Guard("Error occurred in  MultiVarStudentResiduals", [&] {
    std::vector<double> L(n), S(n);
    const TShiftedInverse Inv = ShiftedInverse(*X, k, n);
    LeveragesFromInverse(Inv, k, n, L);
    Guard("Error occurred in  MultiVarStdResiduals", [&] {
      if (ScanData() && !MVCheckXData(X, k, n)) return;
      StoreStdResiduals(ShiftedFitRecord(*X, Y, Inv, k, n), *X, Y, S);
    });
    for (int i = 0; i < n; ++i) Out[i] = ToDouble(Div(S[i], Sqrt(1 - Extended(L[i]))));
  });
}

// One fit serves the residuals and the leverages. When the data scan rejects
// the data nothing is written, but the leverages are still formed, with their
// own inversion, so that their faults and messages are those of a full call.
void TKorlen::MVCooksDistance(const TRegressData* X, std::span<const double> Y, std::span<double> Out, Byte k,
                              int n) {
  FillObsArray(Out, 0);
  if (!CanFit(X, Y, Out, k, n)) return;
  Guard("Error occurred in  CooksDistance", [&] {
    const TInverseFit Fit = FitWithInverse(*this, X, Y, k, n);
    const TMultStatRec& R = Fit.R;
    std::vector<double> L(n);
    const TShiftedInverse Own = Fit.Fitted ? TShiftedInverse{} : ShiftedInverse(*X, k, n);
    LeveragesFromInverse(Fit.Fitted ? Fit.S : Own, k, n, L);
    const std::vector<double> E = Residuals(R, *X, Y);
    const Extended Scale = Extended(R.K + 1) * R.MSE;
    for (int i = 0; i < R.N; ++i) {
      const Extended Complement = 1 - Extended(L[i]);
      Out[i] = ToDouble(Div(Extended(E[i]) * E[i] * L[i], Complement * Complement * Scale));
    }
  });
}

Extended TKorlen::DurbinWatson(const TRegressData* X, std::span<const double> Y, Byte k, int n) {
  if (X == nullptr || !FitCountsValid(k, n) || !Holds(Y, n)) return 0;
  Extended Result = 0;
  Guard("Error occurred in  DurbinWatson", [&] {
    std::vector<double> E(n);
    MVResiduals(X, Y, E, k, n);
    Extended Den = 0, Num = 0;
    for (int i = 0; i < n; ++i) Den += Extended(E[i]) * E[i];
    for (int i = 1; i < n; ++i) {
      const Extended d = Extended(E[i]) - E[i - 1];
      Num += d * d;
    }
    if (Finite(Den) == 0) return;
    Result = Div(Num, Den);
  });
  return Result;
}

}  // namespace varnel
