// SPDX-License-Identifier: Apache-2.0
// The shared sums of the subset searches. A sub-model's normal equations are
// exactly the full model's entries for its predictors, so one pass over the
// data serves every model the searches look at.
#include "varnel/selection/subset_fits.h"

#include <cmath>

#include "varnel/core/checked.h"
#include "varnel/regression/shifted_fit.h"

namespace varnel {

void Sweep(TMatrix& A, int Size, int p) {
  const Extended Pivot = A[p][p];
  for (int i = 0; i < Size; ++i) {
    if (i == p) continue;
    const Extended Factor = Div(A[i][p], Pivot);
    for (int j = 0; j < Size; ++j) {
      if (j != p) A[i][j] = Finite(A[i][j] - Factor * A[p][j]);
    }
  }
  for (int i = 0; i < Size; ++i) {
    if (i == p) continue;
    A[i][p] = Div(A[i][p], Pivot);
    A[p][i] = A[i][p];
  }
  A[p][p] = Div(-1, Pivot);
}

TSubsetSums SubsetSums(const TRegressData& X, std::span<const double> Y, int k, int n) {
  TSubsetSums S;
  S.K = k;
  S.N = n;
  CentredCrossProducts(X, Y, k, n, S.C.Get());
  S.Full.Get() = S.C.Get();
  for (int p = 0; p < k; ++p) {
    if (!(S.Full[p][p] > LostPivot * S.C[p][p])) throw EZeroDivide();
    Sweep(S.Full.Get(), k + 1, p);
  }
  return S;
}

Extended SubsetRSS(const TSubsetSums& S, std::uint32_t Terms, TMatrix& Work) {
  int Index[MaxVars + 1];
  int m = 0;
  for (int j = 0; j < S.K; ++j) {
    if (Terms & (1u << j)) Index[m++] = j;
  }
  Index[m] = S.K;
  for (int a = 0; a <= m; ++a) {
    for (int b = 0; b <= m; ++b) Work[a][b] = S.C[Index[a]][Index[b]];
  }
  // Symmetric elimination without exchanges: the pivots are the residual
  // sums of squares of each column on the ones before it, Y's last.
  for (int p = 0; p < m; ++p) {
    for (int i = p + 1; i <= m; ++i) {
      const Extended Factor = Div(Work[i][p], Work[p][p]);
      for (int j = p + 1; j <= i; ++j) Work[i][j] = Finite(Work[i][j] - Factor * Work[j][p]);
    }
  }
  return Finite(Work[m][m]);
}

Extended LogScaledRSS(Extended RSS, int n) { return Finite(n * Ln(Div(RSS, n))); }

}  // namespace varnel
