// SPDX-License-Identifier: Apache-2.0
#include "varnel/testing/quad_reference.h"

#include <cmath>

namespace varnel::testing {
namespace {

using Quad = __float128;

// Newton's iteration from the 80-bit root: each step doubles the digits.
Quad QuadSqrt(Quad x) {
  if (x <= 0) return 0;
  Quad r = std::sqrt(static_cast<long double>(x));
  for (int Step = 0; Step < 3; ++Step) r = (r + x / r) / 2;
  return r;
}

}  // namespace

TQuadFit QuadLeastSquares(const TDataSet& Data, bool Intercept) {
  const int n = Data.N(), First = Intercept ? 1 : 0, p = Data.K() + First;
  std::vector<std::vector<Quad>> A(p, std::vector<Quad>(n, 1));
  for (int j = First; j < p; ++j) {
    for (int i = 0; i < n; ++i) A[j][i] = Data.Columns[j - First][i];
  }
  std::vector<Quad> b(n);
  Quad SumY = 0;
  for (int i = 0; i < n; ++i) SumY += (b[i] = Data.Y[i]);
  const Quad Centre = Intercept ? SumY / n : 0;  // R's SST through the origin is about zero
  Quad Sst = 0;
  for (int i = 0; i < n; ++i) Sst += (b[i] - Centre) * (b[i] - Centre);
  for (int j = 0; j < p; ++j) {
    Quad Norm = 0;
    for (int i = j; i < n; ++i) Norm += A[j][i] * A[j][i];
    Norm = QuadSqrt(Norm);
    const Quad Alpha = A[j][j] > 0 ? -Norm : Norm;
    std::vector<Quad> v(n, 0);
    for (int i = j; i < n; ++i) v[i] = A[j][i];
    v[j] -= Alpha;
    Quad vv = 0;
    for (int i = j; i < n; ++i) vv += v[i] * v[i];
    auto Reflect = [&](std::vector<Quad>& c) {
      if (vv == 0) return;
      Quad Dot = 0;
      for (int i = j; i < n; ++i) Dot += v[i] * c[i];
      const Quad f = 2 * Dot / vv;
      for (int i = j; i < n; ++i) c[i] -= f * v[i];
    };
    for (int l = j; l < p; ++l) Reflect(A[l]);
    Reflect(b);
  }
  // R is upper triangular: R[i][l] = A[l][i]. Rinv by back substitution,
  // column by column; (X'X)⁻¹ = R⁻¹R⁻ᵀ, whose diagonal is the row norms of R⁻¹.
  std::vector<std::vector<Quad>> Rinv(p, std::vector<Quad>(p, 0));
  for (int c = 0; c < p; ++c) {
    for (int i = c; i >= 0; --i) {
      Quad s = i == c ? 1 : 0;
      for (int l = i + 1; l <= c; ++l) s -= A[l][i] * Rinv[l][c];
      Rinv[i][c] = s / A[i][i];
    }
  }
  std::vector<Quad> Beta(p, 0);
  for (int j = p - 1; j >= 0; --j) {
    Quad s = b[j];
    for (int l = j + 1; l < p; ++l) s -= A[l][j] * Beta[l];
    Beta[j] = s / A[j][j];
  }
  Quad Sse = 0;
  for (int i = p; i < n; ++i) Sse += b[i] * b[i];
  const Quad Mse = Sse / (n - p), R2 = 1 - Sse / Sst;
  TQuadFit Fit;
  Fit.SSE = static_cast<long double>(Sse);
  Fit.SST = static_cast<long double>(Sst);
  Fit.R2 = static_cast<long double>(R2);
  Fit.RMSE = static_cast<long double>(QuadSqrt(Mse));
  Fit.F = static_cast<long double>((R2 / (p - First)) / ((1 - R2) / (n - p)));
  for (int j = 0; j < p; ++j) {
    Quad d = 0;
    for (int c = j; c < p; ++c) d += Rinv[j][c] * Rinv[j][c];
    const Quad Se = QuadSqrt(d * Mse);
    Fit.Beta.push_back(static_cast<long double>(Beta[j]));
    Fit.StdErr.push_back(static_cast<long double>(Se));
    Fit.TCalc.push_back(Se == 0 ? 0 : static_cast<long double>(Beta[j] / Se));
  }
  return Fit;
}

}  // namespace varnel::testing
