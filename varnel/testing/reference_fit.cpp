// SPDX-License-Identifier: Apache-2.0
#include "varnel/testing/reference_fit.h"

#include <cmath>

namespace varnel::testing {

TReferenceFit ReferenceLeastSquares(const TDataSet& Data) {
  const int n = Data.N(), p = Data.K() + 1;
  // A is n × p, column-major, scaled so that every column has unit norm.
  std::vector<std::vector<long double>> A(p, std::vector<long double>(n, 1.0L));
  for (int j = 1; j < p; ++j) {
    for (int i = 0; i < n; ++i) A[j][i] = Data.Columns[j - 1][i];
  }
  std::vector<long double> Scale(p), b(Data.Y.begin(), Data.Y.end());
  for (int j = 0; j < p; ++j) {
    long double Norm = 0;
    for (long double v : A[j]) Norm += v * v;
    Scale[j] = std::sqrt(Norm);
    for (long double& v : A[j]) v /= Scale[j];
  }
  for (int j = 0; j < p; ++j) {
    long double Norm = 0;
    for (int i = j; i < n; ++i) Norm += A[j][i] * A[j][i];
    Norm = std::sqrt(Norm);
    const long double Alpha = A[j][j] > 0 ? -Norm : Norm;
    std::vector<long double> v(n, 0.0L);
    for (int i = j; i < n; ++i) v[i] = A[j][i];
    v[j] -= Alpha;
    long double vv = 0;
    for (int i = j; i < n; ++i) vv += v[i] * v[i];
    auto Reflect = [&](std::vector<long double>& c) {
      long double Dot = 0;
      for (int i = j; i < n; ++i) Dot += v[i] * c[i];
      const long double f = 2 * Dot / vv;
      for (int i = j; i < n; ++i) c[i] -= f * v[i];
    };
    for (int l = j; l < p; ++l) Reflect(A[l]);
    Reflect(b);
  }
  TReferenceFit Fit;
  Fit.Beta.assign(p, 0.0L);
  for (int j = p - 1; j >= 0; --j) {
    long double s = b[j];
    for (int l = j + 1; l < p; ++l) s -= A[l][j] * Fit.Beta[l];
    Fit.Beta[j] = s / A[j][j];
  }
  for (int j = 0; j < p; ++j) Fit.Beta[j] /= Scale[j];
  for (int i = p; i < n; ++i) Fit.SSE += b[i] * b[i];
  return Fit;
}

}  // namespace varnel::testing
