// SPDX-License-Identifier: Apache-2.0
// The inference operations' fit: the accurate fit with the constant as every
// multiple regression of the library forms it, or the fit through the origin
// from the uncentred cross products, and the per-observation quantities
// that R's lm.influence reads off the QR factors.
#include "varnel/regression/inference_fit.h"

#include "varnel/core/checked.h"
#include "varnel/core/guard.h"
#include "varnel/regression/refit.h"
#include "varnel/regression/sums.h"

namespace varnel {
namespace {

// The inverse of X'X for the predictors alone, written to rows and columns
// 1..k of S.G and S.Inv. A pivot lost against its own column's sum of squares
// is reported as the accurate fit reports one.
void OriginInverse(const TRegressData& X, int k, int n, TShiftedInverse& S) {
  for (int j = 1; j <= k; ++j) S.Rows[j] = X[j].data();
  THeapMatrix M;
  for (int a = 0; a < k; ++a) {
    Extended Sums[MaxVars] = {};
    ProductSums(S.Rows[a + 1], S.Rows + a + 1, k - a, n, Sums);
    for (int b = a; b < k; ++b) M[a][b] = M[b][a] = Finite(Sums[b - a]);
  }
  Extended Floor[MaxVars];
  for (int a = 0; a < k; ++a) Floor[a] = LostPivot * M[a][a];
  Extended Det = 0;
  THeapMatrix I;
  GaussJordanInverse(M.Get(), k, Det, Floor, I.Get());
  for (int a = 0; a < k; ++a) {
    S.Diagonal[a + 1] = M[a][a];
    for (int b = 0; b < k; ++b) S.G[a + 1][b + 1] = S.Inv[a + 1][b + 1] = I[a][b];
  }
}

// b += (X'X)⁻¹ X'r with r the residuals of b formed in extended precision.
void RefineOrigin(const TRegressData& X, std::span<const double> Y, const TShiftedInverse& S, int k, int n,
                  TVector& b) {
  Extended Step[MaxVars + 1] = {};
  for (int i = 0; i < n; ++i) {
    Extended r = Y[i];
    for (int j = 1; j <= k; ++j) r -= b[j] * X[j][i];
    for (int j = 1; j <= k; ++j) Step[j] += r * X[j][i];
  }
  TVector Change{};
  for (int j = 1; j <= k; ++j) {
    for (int m = 1; m <= k; ++m) Change[j] += S.Inv[j][m] * Finite(Step[m]);
  }
  for (int j = 1; j <= k; ++j) b[j] = Finite(b[j] + Finite(Change[j]));
}

void OriginFit(const TRegressData& X, std::span<const double> Y, int k, int n, TInferenceFit& F) {
  OriginInverse(X, k, n, F.S);
  TMultStatRec& Rec = F.R;
  Rec.N = n;
  Rec.K = k;
  Extended C[MaxVars] = {};
  ProductSums(Y.data(), F.S.Rows + 1, k, n, C);
  for (int j = 1; j <= k; ++j) {
    for (int m = 1; m <= k; ++m) Rec.Beta[j] += F.S.Inv[j][m] * Finite(C[m - 1]);
    Finite(Rec.Beta[j]);
  }
  // One step always: the uncentred normal equations square the design's
  // condition, and the step costs one pass over the data.
  RefineOrigin(X, Y, F.S, k, n, Rec.Beta);
  Extended SumY2 = 0, Sse = 0;
  for (int i = 0; i < n; ++i) {
    SumY2 += Extended(Y[i]) * Y[i];
    const Extended e = Y[i] - FittedOf(F, X, i);
    Sse += e * e;
  }
  Rec.SST = Finite(SumY2);
  Summarise(Rec, Sse, k, n);  // through the origin: SST = Σ y², n − k residual degrees of freedom
  for (int j = 1; j <= k; ++j) {
    Rec.StdErr[j] = Finite(Sqrt(F.S.Inv[j][j]) * Rec.RMSE);
    Rec.TCalc[j] = Div(Rec.Beta[j], Rec.StdErr[j]);
  }
}

}  // namespace

TInferenceFit InferenceFit(TKorlen& Korlen, const TRegressData& X, std::span<const double> Y, int k, int n,
                           bool Intercept) {
  TInferenceFit F;
  F.First = Intercept ? 0 : 1;
  F.Parameters = Intercept ? k + 1 : k;
  if (Intercept) {
    TInverseFit Fit = FitWithInverse(Korlen, &X, Y, static_cast<Byte>(k), n);
    F.R = Fit.R;
    F.S = std::move(Fit.S);
    F.Fitted = Fit.Fitted;
    return F;
  }
  if (Korlen.ScanData() && !Korlen.MVCheckXData(&X, static_cast<Byte>(k), n)) return F;
  OriginFit(X, Y, k, n, F);
  F.Fitted = true;
  return F;
}

Extended FittedOf(const TInferenceFit& F, const TRegressData& X, int i) {
  if (F.Intercept()) return FittedValue(F.R, X, i);
  Extended s = 0;
  for (int j = 1; j <= F.R.K; ++j) s += F.R.Beta[j] * X[j][i];
  return s;
}

Extended LeverageAndChange(const TInferenceFit& F, int i, Extended* Change) {
  const TShiftedInverse& S = F.S;
  const int k = F.R.K;
  // Each T[j] sums over m in increasing order. Four of them at a time
  // proceed side by side instead of each waiting for its last addition.
  Extended T[MaxVars + 1] = {};
  int j = F.First;
  for (; j + 3 <= k; j += 4) {
    Extended T0 = 0, T1 = 0, T2 = 0, T3 = 0;
    for (int m = F.First; m <= k; ++m) {
      const Extended z = S.Row(m)[i];
      T0 += S.G[j][m] * z;
      T1 += S.G[j + 1][m] * z;
      T2 += S.G[j + 2][m] * z;
      T3 += S.G[j + 3][m] * z;
    }
    T[j] = T0;
    T[j + 1] = T1;
    T[j + 2] = T2;
    T[j + 3] = T3;
  }
  for (; j <= k; ++j) {
    for (int m = F.First; m <= k; ++m) T[j] += S.G[j][m] * S.Row(m)[i];
  }
  Extended h = 0;
  for (j = F.First; j <= k; ++j) {
    h += T[j] * S.Row(j)[i];
    Change[j] = T[j];
  }
  // (X'X)⁻¹ x = A⁻¹ G z for X = Z A: only the constant's entry moves.
  if (F.Intercept()) {
    for (int j = 1; j <= k; ++j) Change[0] -= S.Shift[j] * T[j];
  } else {
    Change[0] = 0;
  }
  return h;
}

}  // namespace varnel
