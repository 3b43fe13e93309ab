// SPDX-License-Identifier: Apache-2.0
#include "varnel/testing/reference_diagnostics.h"

#include <cmath>

namespace varnel::testing {
namespace {

using TColumn = std::vector<long double>;

long double Dot(const TColumn& a, const TColumn& b) {
  long double s = 0;
  for (std::size_t i = 0; i < a.size(); ++i) s += a[i] * b[i];
  return s;
}

// Removes from v its components along the basis vectors, twice over.
void Orthogonalise(TColumn& v, const std::vector<TColumn>& Basis) {
  for (int Pass = 0; Pass < 2; ++Pass) {
    for (const TColumn& q : Basis) {
      const long double c = Dot(q, v);
      for (std::size_t i = 0; i < v.size(); ++i) v[i] -= c * q[i];
    }
  }
}

}  // namespace

TReferenceDiagnostics ReferenceDiagnostics(const TDataSet& Data) {
  const int n = Data.N(), p = Data.K() + 1;
  std::vector<TColumn> Basis;
  for (int j = 0; j < p; ++j) {
    TColumn v(n, 1.0L);
    if (j > 0) v.assign(Data.Columns[j - 1].begin(), Data.Columns[j - 1].end());
    Orthogonalise(v, Basis);
    const long double Norm = std::sqrt(Dot(v, v));
    for (long double& x : v) x /= Norm;
    Basis.push_back(std::move(v));
  }
  TReferenceDiagnostics D;
  D.Residuals.assign(Data.Y.begin(), Data.Y.end());
  Orthogonalise(D.Residuals, Basis);
  D.Hat.assign(n, 0.0L);
  for (const TColumn& q : Basis) {
    for (int i = 0; i < n; ++i) D.Hat[i] += q[i] * q[i];
  }
  D.SSE = Dot(D.Residuals, D.Residuals);
  const long double Mse = D.SSE / (n - p), s = std::sqrt(Mse);
  long double Num = 0;
  for (int i = 0; i < n; ++i) {
    const long double e = D.Residuals[i], h = D.Hat[i];
    D.Fitted.push_back(Data.Y[i] - e);
    D.Standardised.push_back(e / s);
    D.Studentised.push_back(e / (s * std::sqrt(1 - h)));
    D.Cook.push_back(e * e * h / ((1 - h) * (1 - h) * p * Mse));
    if (i > 0) Num += (e - D.Residuals[i - 1]) * (e - D.Residuals[i - 1]);
  }
  D.DurbinWatson = Num / D.SSE;
  return D;
}

}  // namespace varnel::testing
