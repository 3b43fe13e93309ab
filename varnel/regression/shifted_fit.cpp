// SPDX-License-Identifier: Apache-2.0
// The normal equations about shift points near the means. X'X formed about
// zero carries the square of every predictor's offset: on year or timestamp
// columns its condition number passes what 80 bits resolve, while the same
// design about its centre is well conditioned. The slopes are solved there;
// the intercept and the entries of (X'X)⁻¹ follow by the algebra of the
// shift.
#include "varnel/regression/shifted_fit.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <type_traits>
#include <vector>

#include "varnel/core/checked.h"
#include "varnel/core/guard.h"
#include "varnel/linalg/matrix.h"
#include "varnel/regression/refit.h"
#include "varnel/regression/sums.h"

namespace varnel {
namespace {

// The shift of one column: the mean of up to 64 evenly spaced values, since
// only its nearness to the centre matters and a sample of 64 puts it within
// about an eighth of a standard deviation, rounded to a multiple of the
// power of two nearest below 1/1024 of the sample's range. A shift with few
// low bits lets x − s be exact in double far more often: always for
// integer-valued data and for values within a factor 2 of the shift (every
// offset column). A non-finite sample keeps its first value, whose faults
// are met where the sums are checked.
double ShiftOf(const double* x, int n) {
  const int Step = std::max(1, n / 64);
  double Sum = 0, Lo = x[0], Hi = x[0];
  int Count = 0;
  for (int i = 0; i < n && Count < 64; i += Step, ++Count) {
    Sum += x[i];
    Lo = std::min(Lo, x[i]);
    Hi = std::max(Hi, x[i]);
  }
  const double Mean = Sum / Count, Range = Hi - Lo;
  if (!std::isfinite(Mean) || !std::isfinite(Range)) return x[0];
  if (!(Range > 0)) return Mean;
  const double Grid = std::ldexp(1.0, std::ilogb(Range) - 10);
  const double Steps = Mean / Grid;
  return std::fabs(Steps) < 0x1p52 ? std::nearbyint(Steps) * Grid : Mean;
}

// z_j(i) = x_j(i) − s_j rounded to double, one row per predictor; a column
// whose shift is 0 is read where it is. The difference is exact for every
// value within a factor 2 of the shift (every column whose offset passes its
// spread) and for integer-valued data; elsewhere it moves the value by at
// most half a unit in the last place of |x − s|, no more than the rounding
// that the column's values of that size already carry.
void ShiftRows(const TRegressData& X, int k, int n, TShiftedInverse& S) {
  S.Z = std::make_unique_for_overwrite<double[]>(std::size_t(k) * std::size_t(n));
  S.Rows[0] = X[0].data();
  for (int j = 1; j <= k; ++j) {
    const double* x = X[j].data();
    if (S.Shift[j] == 0) {
      S.Rows[j] = x;
      continue;
    }
    double* z = S.Z.get() + std::size_t(j - 1) * n;
    const double Shift = S.Shift[j];
    for (int i = 0; i < n; ++i) z[i] = x[i] - Shift;
    S.Rows[j] = z;
  }
}

// Z'Z into M: n and the sums of the shifted predictors in row and column 0,
// the cross products of the shifted rows, which the same blocked sums as X'X
// form, each row's sums written straight into its upper part.
void ShiftedCrossProducts(const TShiftedInverse& S, int k, int n, TMatrix& M) {
  M = TMatrix{};
  for (int j = 0; j <= k; ++j) M[0][j] = M[j][0] = S.Sums[j];
  const double* Rows[MaxVars] = {};
  for (int j = 1; j <= k; ++j) Rows[j - 1] = S.Row(j);
  for (int j = 1; j <= k; ++j) ProductSums(Rows[j - 1], Rows + (j - 1), k - j + 1, n, M[j].data() + j);
  for (int j = 1; j <= k; ++j) {
    for (int l = j; l <= k; ++l) M[l][j] = Finite(M[j][l]);
  }
}

// (X'X)⁻¹ = B G Bᵀ with B = A⁻¹, the identity with −s in row 0, formed in
// Inv: row 0 of B G first, then column 0 of that times Bᵀ.
void UnshiftedInverse(const TMatrix& G, const double* Shift, int k, TMatrix& Inv) {
  Inv = G;
  for (int l = 0; l <= k; ++l) {
    Extended s = G[0][l];
    for (int m = 1; m <= k; ++m) s -= Shift[m] * G[m][l];
    Inv[0][l] = Finite(s);
  }
  for (int r = 0; r <= k; ++r) {
    Extended s = Inv[r][0];
    for (int m = 1; m <= k; ++m) s -= Inv[r][m] * Shift[m];
    Inv[r][0] = Finite(s);
  }
}

// Σ (Y[i] − ŷ(i))² in increasing i, each ŷ(i) exactly as FittedValue forms
// it; six observations' sums run side by side.
Extended ResidualSumOfSquares(const TMultStatRec& Rec, const TRegressData& X, std::span<const double> Y) {
  const int n = Rec.N;
  Extended Sse = 0;
  int i = 0;
  for (; i + 6 <= n; i += 6) {
    Extended s[6] = {};
    for (int j = 1; j <= Rec.K; ++j) {
      const Extended b = Rec.Beta[j];
      const double* x = X[j].data() + i;
      for (int q = 0; q < 6; ++q) s[q] += b * x[q];
    }
    for (int q = 0; q < 6; ++q) {
      const Extended e = Y[i + q] - (s[q] + Rec.Beta[0]);
      Sse += e * e;
    }
  }
  for (; i < n; ++i) {
    const Extended e = Y[i] - FittedValue(Rec, X, i);
    Sse += e * e;
  }
  return Sse;
}

// r(i) = y(i) − s_y − g0 − Σ g_j (x_j(i) − s_j), the residuals of the
// shifted fit, from the data themselves in extended precision, six
// observations at a time, rounded to double: the refinement needs them to a
// few digits of their own size.
std::vector<double> ShiftedResiduals(const TRegressData& X, std::span<const double> Y, double ShiftY,
                                     const TShiftedInverse& S, const Extended* g, int k, int n) {
  std::vector<double> r(n);
  const auto Block = [&](auto W, int i) {
    Extended t[W.value];
    for (int q = 0; q < W.value; ++q) t[q] = (Extended(Y[i + q]) - ShiftY) - g[0];
    for (int j = 1; j <= k; ++j) {
      const Extended b = g[j], Shift = S.Shift[j];
      const double* x = X[j].data() + i;
      for (int q = 0; q < W.value; ++q) t[q] -= b * (x[q] - Shift);
    }
    for (int q = 0; q < W.value; ++q) r[i + q] = ToDouble(t[q]);
  };
  int i = 0;
  for (; i + 6 <= n; i += 6) Block(std::integral_constant<int, 6>{}, i);
  for (; i < n; ++i) Block(std::integral_constant<int, 1>{}, i);
  return r;
}

// One step of iterative refinement: the first solution's error is G times
// d = Z'r. Z'Z carries the rounding of its own sums, so that first solution
// is good to about κ·2⁻⁶⁴; r and Z'r read the data again and are far more
// accurate than that when the fit is close, which is when the shift algebra
// of the intercept needs the slopes to the last bit. Row 0 of d is formed
// from C[0] as the first solution's row 0 was, so that a row 0 other than
// ones keeps the same meaning.
void Refine(const TRegressData& X, std::span<const double> Y, double ShiftY, const TShiftedInverse& S,
            const Extended* C, int k, int n, Extended* g) {
  const std::vector<double> r = ShiftedResiduals(X, Y, ShiftY, S, g, k, n);
  Extended d[MaxVars + 1] = {};
  d[0] = C[0];
  for (int m = 0; m <= k; ++m) d[0] -= g[m] * S.Sums[m];
  const double* Rows[MaxVars] = {};
  for (int j = 1; j <= k; ++j) Rows[j - 1] = S.Row(j);
  ProductSums(r.data(), Rows, k, n, d + 1);
  Extended Step[MaxVars + 1] = {};
  for (int j = 0; j <= k; ++j) {
    for (int m = 0; m <= k; ++m) Step[j] += S.G[j][m] * Finite(d[m]);
  }
  for (int j = 0; j <= k; ++j) g[j] = Finite(g[j] + Finite(Step[j]));
}

// Whether the first solution's own error may pass what rounding the data to
// double already leaves undetermined. With κ the condition number of X, the
// normal equations solved in extended precision err by about κ²·2⁻⁶⁴ and
// the data's rounding moves the least-squares solution by about κ·2⁻⁵³; the
// cancellation in the intercept's shift algebra multiplies both alike. So
// the refinement is needed once κ may pass 2¹¹, taken with a factor 2 of
// margin as κ² passing 2²⁰. κ² is the condition number of Z'Z scaled to a
// unit diagonal, at most (k + 1)·Σ Z'Z_jj·G_jj.
bool MayMissWhatTheDataDetermine(const TShiftedInverse& S, int k) {
  Extended Bound = 0;
  for (int j = 0; j <= k; ++j) Bound += S.Diagonal[j] * S.G[j][j];
  return !(Bound * (k + 1) <= Extended(1 << 20));
}

}  // namespace

void Summarise(TMultStatRec& Rec, Extended Sse, int k, int DFTot) {
  Rec.DFReg = k;
  Rec.DFTot = DFTot;
  Rec.DFErr = Rec.DFTot - Rec.DFReg;
  Rec.SSE = Finite(Sse);
  Rec.SSR = Finite(Rec.SST - Rec.SSE);
  Rec.R2 = Div(Rec.SSR, Rec.SST);
  Rec.R = Sqrt(Rec.R2);
  Rec.MSR = Div(Rec.SSR, Rec.DFReg);
  Rec.MSE = Div(Rec.SSE, Rec.DFErr);
  Rec.RMSE = Sqrt(Rec.MSE);
  // 1 − R² is taken as SSE/SST: subtracted from 1 it keeps no digit once
  // the fit explains all but 2⁻⁶⁴ of the variation, and F is then noise.
  const Extended Explained = Div(Rec.R2, k);
  const Extended Unexplained = Div(Div(Rec.SSE, Rec.SST), Extended(Rec.DFErr));
  Rec.F = Div(Explained, Unexplained);
  Rec.S2 = Rec.MSE;
  Rec.S = Sqrt(Rec.S2);
}

TShiftedInverse ShiftedInverse(const TRegressData& X, int k, int n) {
  TShiftedInverse S;
  for (int j = 1; j <= k; ++j) S.Shift[j] = ShiftOf(X[j].data(), n);
  ShiftRows(X, k, n, S);
  const double* Rows[MaxVars] = {};
  for (int j = 1; j <= k; ++j) Rows[j - 1] = S.Row(j);
  Extended Sums[MaxVars] = {};
  RowSums(Rows, k, n, Sums);
  S.Sums[0] = n;
  for (int j = 1; j <= k; ++j) S.Sums[j] = Finite(Sums[j - 1]);
  THeapMatrix M;
  ShiftedCrossProducts(S, k, n, M.Get());
  for (int j = 0; j <= k; ++j) S.Diagonal[j] = M[j][j];
  Extended Floor[MaxVars + 1];
  for (int p = 0; p <= k; ++p) Floor[p] = LostPivot * M[p][p];
  Extended Det = 0;
  GaussJordanInverse(M.Get(), k + 1, Det, Floor, S.G.Get());
  UnshiftedInverse(S.G.Get(), S.Shift, k, S.Inv.Get());
  return S;
}

void CentredCrossProducts(const TRegressData& X, std::span<const double> Y, int k, int n, TMatrix& M) {
  TShiftedInverse S;
  for (int j = 1; j <= k; ++j) S.Shift[j] = ShiftOf(X[j].data(), n);
  ShiftRows(X, k, n, S);
  std::vector<double> ShiftedY(n);
  const double ShiftY = ShiftOf(Y.data(), n);
  for (int i = 0; i < n; ++i) ShiftedY[i] = Y[i] - ShiftY;
  const double* Rows[MaxVars + 1] = {};
  for (int j = 1; j <= k; ++j) Rows[j - 1] = S.Row(j);
  Rows[k] = ShiftedY.data();
  Extended Sums[MaxVars + 1] = {};
  RowSums(Rows, k + 1, n, Sums);
  M = TMatrix{};
  for (int a = 0; a <= k; ++a) ProductSums(Rows[a], Rows + a, k + 1 - a, n, M[a].data() + a);
  for (int a = 0; a <= k; ++a) {
    for (int b = a; b <= k; ++b) {
      const Extended Correction = Finite(Finite(Sums[a]) * Finite(Sums[b])) / n;
      M[a][b] = M[b][a] = Finite(Finite(M[a][b]) - Correction);
    }
  }
}

void StartRecord(TMultStatRec& Rec, std::span<const double> Y, int k, int n) {
  Rec.N = n;
  Rec.K = k;
  Extended SumY2 = 0, SumY = 0;
  for (int i = 0; i < n; ++i) {
    SumY2 += Extended(Y[i]) * Y[i];
    SumY += Y[i];
  }
  Finite(SumY2);
  const Extended Mean = Div(SumY, n);
  for (int i = 0; i < n; ++i) {
    const Extended d = Y[i] - Mean;
    Rec.SST += d * d;
  }
  Finite(Rec.SST);
}

void CompleteRecord(TMultStatRec& Rec, const TRegressData& X, std::span<const double> Y, const TMatrix& Inv) {
  const Extended Sse = ResidualSumOfSquares(Rec, X, Y);
  Guard("Error computing regression coefficients", [&] { Summarise(Rec, Sse, Rec.K, Rec.N - 1); });
  for (int j = 0; j <= Rec.K; ++j) {
    Rec.StdErr[j] = Finite(Sqrt(Inv[j][j]) * Rec.RMSE);
    Rec.TCalc[j] = Div(Rec.Beta[j], Rec.StdErr[j]);
  }
}

// y − s_y = g0 + Σ g_j (x_j − s_j), with s_y chosen as the predictors'
// shifts are, gives the slopes g_j and the intercept g0 + s_y − Σ g_j s_j.
TMultStatRec ShiftedCoefficients(const TRegressData& X, std::span<const double> Y, const TShiftedInverse& S, int k,
                                 int n) {
  TMultStatRec Rec{};
  StartRecord(Rec, Y, k, n);
  const double ShiftY = ShiftOf(Y.data(), n);
  // Entry 0 reads row 0 as X'Y does and takes the shift off the implied
  // constant, so that the fit is least squares with an intercept exactly
  // when row 0 holds ones, as the plain normal equations are.
  const double* Rows[MaxVars] = {X[0].data()};
  Extended C[MaxVars + 1] = {};
  ProductSums(Y.data(), Rows, 1, n, C);
  C[0] = Finite(Finite(C[0]) - Extended(n) * ShiftY);
  for (int j = 1; j <= k; ++j) Rows[j - 1] = S.Row(j);
  CentredProductSums(Y.data(), ShiftY, Rows, k, n, C + 1);
  Extended g[MaxVars + 1] = {};
  for (int j = 0; j <= k; ++j) {
    for (int m = 0; m <= k; ++m) g[j] += S.G[j][m] * Finite(C[m]);
    Finite(g[j]);
  }
  if (MayMissWhatTheDataDetermine(S, k)) Refine(X, Y, ShiftY, S, C, k, n, g);
  Extended Offset = ShiftY;
  for (int j = 1; j <= k; ++j) {
    Rec.Beta[j] = g[j];
    Offset -= g[j] * S.Shift[j];
  }
  Rec.Beta[0] = Finite(g[0] + Finite(Offset));
  return Rec;
}

TMultStatRec ShiftedFitRecord(const TRegressData& X, std::span<const double> Y, const TShiftedInverse& S, int k,
                              int n) {
  TMultStatRec Rec = ShiftedCoefficients(X, Y, S, k, n);
  CompleteRecord(Rec, X, Y, S.Inv.Get());
  return Rec;
}

}  // namespace varnel
