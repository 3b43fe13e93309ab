// SPDX-License-Identifier: Apache-2.0
// Least squares by the normal equations. The fit itself is taken about the
// predictors' means (shifted_fit.h); CrossProducts and ComputeResults keep
// the plain X'X with the constant column implied for callers who use them.
// MVRegression is not guarded: a fault in the standard errors, in the cross
// products or in the elimination reaches its caller.
#include <cmath>

#include "varnel/core/checked.h"
#include "varnel/core/guard.h"
#include "varnel/core/rows.h"
#include "varnel/korlen.h"
#include "varnel/regression/shifted_fit.h"
#include "varnel/regression/sums.h"

namespace varnel {
namespace {

// Pointers to rows First..Last of X, for the blocked sums.
struct TRows {
  const double* Row[MaxVars + 1];
  TRows(const TRegressData& X, int First, int Last) {
    for (int j = First; j <= Last; ++j) Row[j - First] = X[j].data();
  }
};

}  // namespace

void TKorlen::MVPrepare() {
  if (PRegressData != nullptr) (*PRegressData)[0].fill(1.0);
}

TMultStatRec TKorlen::MVRegression(const TRegressData* X, std::span<const double> Y, Byte k, int n) {
  if (X == nullptr) return {};
  if (ScanData() && !MVCheckXData(X, k, n)) return {};
  if (!FitCountsValid(k, n)) {
    ShowMessage("Number of vars must be > 0, and n > 2");
    return {};
  }
  if (!Holds(Y, n)) return {};
  return ShiftedFitRecord(*X, Y, ShiftedInverse(*X, k, n), k, n);
}

bool TKorlen::MVCheckXData(const TRegressData* X, Byte k, int n) {
  if (X == nullptr || k < 1 || k > MaxVars || k > n || n > MaxObs) return false;
  bool Passed = false;
  Guard("Error occurred in  CheckData", [&] {
    const bool SumsFormed = FitCountsValid(k, n);
    const TRows Rows(*X, 1, k);
    Extended S[MaxVars] = {};
    if (SumsFormed) RowSums(Rows.Row, k, n, S);
    int ZeroSums = 0;
    for (int j = 0; j < k; ++j) {
      if (std::fabs(Finite(S[j])) < 0.01L) ++ZeroSums;
    }
    // Row a against every row before it; the sums are checked in the order
    // a plain pair-by-pair loop would form them.
    int SimilarPairs = 0;
    for (int a = 2; a <= k; ++a) {
      Extended D[MaxVars] = {};
      DifferenceSums((*X)[a].data(), Rows.Row, a - 1, n, D);
      for (int b = 0; b < a - 1; ++b) {
        if (std::fabs(Finite(D[b])) < 1.0L) ++SimilarPairs;
      }
    }
    Passed = ZeroSums <= 1 && SimilarPairs == 0;
  });
  return Passed;
}

TMatrix TKorlen::CrossProducts(const TRegressData* X, Byte k, int n) {
  TMatrix M{};
  if (X == nullptr || !FitCountsValid(k, n)) return M;
  // Row j against rows j..k in one blocked pass each, the row sums in blocked
  // passes of their own; the sums are then checked in the order in which a
  // plain loop forms them (row sums, diagonal, upper triangle by rows).
  const TRows Rows(*X, 1, k);
  Extended Sums[MaxVars] = {};
  RowSums(Rows.Row, k, n, Sums);
  Extended P[MaxVars][MaxVars] = {};
  for (int j = 1; j <= k; ++j) ProductSums(Rows.Row[j - 1], Rows.Row + (j - 1), k - j + 1, n, P[j - 1] + (j - 1));
  for (int j = 1; j <= k; ++j) M[0][j] = M[j][0] = Finite(Sums[j - 1]);
  for (int j = 1; j <= k; ++j) M[j][j] = Finite(P[j - 1][j - 1]);
  for (int j = 1; j <= k; ++j) {
    for (int l = j + 1; l <= k; ++l) M[j][l] = M[l][j] = Finite(P[j - 1][l - 1]);
  }
  M[0][0] = n;
  return M;
}

TMultStatRec TKorlen::ComputeResults(const TRegressData* X, std::span<const double> Y, const TMatrix& Inv,
                                     Byte k, int n) {
  TMultStatRec Rec{};
  // The callers have checked the counts; only storage bounds, and a count
  // that leaves no observation (whose degrees of freedom could overflow),
  // are enforced here.
  if (X == nullptr || k > MaxVars || n < 1 || n > MaxObs || !Holds(Y, n)) return Rec;
  StartRecord(Rec, Y, k, n);
  TVector XtY{};
  const TRows Rows(*X, 0, k);
  Extended S[MaxVars + 1];
  ProductSums(Y.data(), Rows.Row, k + 1, n, S);
  for (int j = 0; j <= k; ++j) XtY[j] = Finite(S[j]);
  for (int j = 0; j <= k; ++j) {
    Extended b = 0;
    for (int m = 0; m <= k; ++m) b += Inv[j][m] * XtY[m];
    Rec.Beta[j] = Finite(b);
  }
  CompleteRecord(Rec, *X, Y, Inv);
  return Rec;
}

Extended TKorlen::MVCalcYValue(const TMultStatRec& Rec, const TVector& XValues) {
  if (Rec.K > MaxVars) return 0;
  Extended s = 0;
  for (int j = 1; j <= Rec.K; ++j) s += Rec.Beta[j] * XValues[j - 1];
  return Finite(s + Rec.Beta[0]);
}

}  // namespace varnel
