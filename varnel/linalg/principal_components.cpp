// SPDX-License-Identifier: Apache-2.0
// Principal components of the predictors: the eigen-decomposition of their
// covariance or correlation matrix, formed in one pass of cross products
// about each variable's first observation, and the scores from it.
#include <algorithm>
#include <cmath>

#include "varnel/core/checked.h"
#include "varnel/core/guard.h"
#include "varnel/korlen.h"
#include "varnel/linalg/eigen.h"
#include "varnel/linalg/matrix.h"
#include "varnel/linalg/principal_components.h"
#include "varnel/linalg/spectral_kernels.h"
#include "varnel/linalg/symmetric_eigen.h"
#include "varnel/regression/sums.h"

namespace varnel {
namespace {

// The covariance matrix (denominator N − 1) and the means of variables
// 1..k: sums of d = x − x(0), so that an offset common to a column costs no
// digits, then C = (Σ dᵢdⱼ − Σdᵢ Σdⱼ / N) / (N − 1).
void Covariance(const TRegressData& X, int k, int N, TMatrix& C, TVector& Mean) {
  const double* Rows[MaxVars];
  Extended D[MaxVars] = {};
  for (int j = 0; j < k; ++j) {
    Rows[j] = X[j + 1].data();
    const Extended x0 = Rows[j][0];
    for (int t = 0; t < N; ++t) D[j] += Rows[j][t] - x0;
    Mean[j] = Finite(x0 + Div(D[j], N));
  }
  for (int i = 0; i < k; ++i) {
    Extended P[MaxVars] = {};
    ShiftedProductSums(Rows[i], Rows, i + 1, N, P);
    for (int m = 0; m <= i; ++m) C[i][m] = C[m][i] = Div(Finite(P[m] - D[i] * D[m] / N), N - 1);
  }
}

// Scores[j + 1][t] = Σᵥ (x − centreᵥ) · rotation[v][j] / scaleᵥ, summed in
// variable order in extended precision.
void WriteScores(const TRegressData& X, const TPrincipalComponentsRec& P, int k, int N, TRegressData& Out) {
  for (int j = 0; j < k; ++j) {
    Extended Weight[MaxVars];
    for (int v = 0; v < k; ++v) Weight[v] = Div(P.Rotation[v][j], P.Scale[v]);
    for (int t = 0; t < N; ++t) {
      Extended s = 0;
      for (int v = 0; v < k; ++v) s += (X[v + 1][t] - P.Centre[v]) * Weight[v];
      Out[j + 1][t] = ToDouble(s);
    }
  }
}

}  // namespace

void ComponentsOfCovariance(TMatrix& C, int k, bool Scaled, TPrincipalComponentsRec& P) {
  for (int j = 0; j < k; ++j) P.Scale[j] = 1;
  if (Scaled) spectral::Correlate(C, P.Scale, k);
  TVector d{}, e{};
  THeapMatrix Z;
  spectral::Diagonalise(C, k, !Scaled, d, Z.Get(), e);
  spectral::OrderEigenpairs(d, C, k);
  P.Rotation = C;
  spectral::ComponentFigures(d, k, P);
}

TPrincipalComponentsRec TKorlen::MVPrincipalComponents(const TRegressData* X, Byte k, int N, bool Scaled,
                                                       TRegressData* Scores) {
  TPrincipalComponentsRec Result{};
  if (X == nullptr || k < 1 || k > MaxVars || N < 2 || N > MaxObs) return Result;
  const bool Done = Guard("Error occurred in  MVPrincipalComponents", [&] {
    THeapMatrix Z;
    TPrincipalComponentsRec& P = Result;
    Covariance(*X, k, N, Z.Get(), P.Centre);
    ComponentsOfCovariance(Z.Get(), k, Scaled, P);
    if (Scores != nullptr) WriteScores(*X, P, k, N, *Scores);
    P.N = N;
    P.K = k;
    P.Scaled = Scaled;
  });
  // Cleared in place: a second record for the failure would double the
  // stack this needs.
  if (!Done) Result = TPrincipalComponentsRec{};
  return Result;
}

}  // namespace varnel
