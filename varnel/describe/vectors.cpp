// SPDX-License-Identifier: Apache-2.0
// Per-variable vectors and pairwise matrices of the predictors X1..Xk:
// variable i sits at entry i - 1, pair (i, j) at [i - 1, j - 1]; everything
// beyond k is 0.
#include <cmath>

#include "varnel/bivariate/shifted_sums.h"
#include "varnel/core/checked.h"
#include "varnel/core/guard.h"
#include "varnel/core/rows.h"
#include "varnel/korlen.h"
#include "varnel/linalg/matrix.h"
#include "varnel/regression/sums.h"

namespace varnel {
namespace {

// n > 2, k < n, n < MaxObs, 1 ≤ k ≤ MaxVars, and a matrix to read.
bool CountsValid(const TRegressData* X, int k, int n) {
  return X != nullptr && FitCountsValid(k, n);
}

// A row's sum and sum of squares taken about its first observation, formed
// as a simple regression forms them for either variable of a pair.
struct TRowShifted {
  Extended D = 0, D2 = 0;
};

TRowShifted ShiftedRowSums(const TObsArray& Row, int n) {
  TRowShifted S;
  const Extended X0 = Row[0];
  for (int t = 0; t < n; ++t) {
    const Extended d = Row[t] - X0;
    S.D += d;
    S.D2 += d * d;
  }
  return S;
}

// r of a pair as BVRegression reports it, with the same message when it
// cannot be formed, and 0 then.
Extended PairCorrelation(const TRowShifted& X, const TRowShifted& Y, Extended DxDy, int n) {
  TBivarStatRec Rec{};
  const TShiftedSums S{.Dx = X.D, .Dy = Y.D, .DxDy = DxDy, .Dx2 = X.D2, .Dy2 = Y.D2};
  Guard("Divide by zero calculating r, B1 or B0", [&] { FitCorrelation(Rec, S, n); });
  return Rec.R;
}

Extended RowSum(const TObsArray& Row, int n) {
  Extended s = 0;
  for (int t = 0; t < n; ++t) s += Row[t];
  return WithinDouble(s);
}

}  // namespace

TVector TKorlen::SumVector(const TRegressData* X, Byte k, int n) {
  TVector V = InitVector(0, 0);
  if (!CountsValid(X, k, n)) return V;
  for (int i = 1; i <= k; ++i) V[i - 1] = RowSum((*X)[i], n);
  return V;
}

TVector TKorlen::MeanVector(const TRegressData* X, Byte k, int n) {
  TVector V = InitVector(0, 0);
  if (!CountsValid(X, k, n)) return V;
  for (int i = 1; i <= k; ++i) V[i - 1] = Div(RowSum((*X)[i], n), n);
  return V;
}

TVector TKorlen::VarianceVector(const TRegressData* X, Byte k, int n) {
  TVector V = InitVector(0, 0);
  if (!CountsValid(X, k, n)) return V;
  Guard("Error occurred in  VarianceVector", [&] {
    for (int i = 1; i <= k; ++i) V[i - 1] = Finite(GetVariance((*X)[i], n));
  });
  return V;
}

TVector TKorlen::VarianceProportionsVector(const TRegressData* X, Byte k, int n) {
  if (!CountsValid(X, k, n)) return InitVector(0, 0);
  TVector V = VarianceVector(X, k, n);
  // A failure returns zeros rather than a mixture of shares and variances.
  const bool Done = Guard("Error occurred in  VarianceProportionsVector", [&] {
    Extended Total = 0;
    for (int i = 0; i < k; ++i) Total += V[i];
    if (Finite(Total) > 0) {
      TVector Shares = V;
      for (int i = 0; i < k; ++i) Shares[i] = Div(V[i], Total);
      V = Shares;
    }
  });
  return Done ? V : InitVector(0, 0);
}

TVector TKorlen::MinVector(const TRegressData* X, Byte k, int n) {
  TVector V = InitVector(0, 0);
  if (!CountsValid(X, k, n)) return V;
  for (int i = 1; i <= k; ++i) {
    Extended Min = 1E22L;
    for (int t = 0; t < n; ++t) {
      if (Min > Finite((*X)[i][t])) Min = (*X)[i][t];
    }
    V[i - 1] = Min;
  }
  return V;
}

TVector TKorlen::MaxVector(const TRegressData* X, Byte k, int n) {
  TVector V = InitVector(0, 0);
  if (!CountsValid(X, k, n)) return V;
  for (int i = 1; i <= k; ++i) {
    Extended Max = -1E22L;
    for (int t = 0; t < n; ++t) {
      if (Max < Finite((*X)[i][t])) Max = (*X)[i][t];
    }
    V[i - 1] = Max;
  }
  return V;
}

TMatrix TKorlen::CorrelationMatrix(const TRegressData* X, Byte k, int n) {
  TMatrix R = InitMatrix(0, 0);
  if (!CountsValid(X, k, n)) return R;
  // Each r is the simple regression's of row i on row j, which needs only the
  // sums about the first observation: those of one row are the same in every
  // pair, so only the cross products are formed pair by pair, several in one
  // pass. A pair whose raw sums would fault has a non-finite value, so its
  // shifted sums fault in the same place of the guard.
  const bool Done = Guard("Error occurred in  CorrelationMatrix", [&] {
    TRowShifted Row[MaxVars + 1];
    const double* Data[MaxVars + 1];
    for (int i = 1; i <= k; ++i) {
      Row[i] = ShiftedRowSums((*X)[i], n);
      Data[i] = (*X)[i].data();
    }
    Extended DxDy[MaxVars];
    for (int i = 2; i <= k; ++i) {
      ShiftedProductSums(Data[i], Data + 1, i - 1, n, DxDy);
      for (int j = 1; j < i; ++j) R[i - 1][j - 1] = R[j - 1][i - 1] = PairCorrelation(Row[i], Row[j], DxDy[j - 1], n);
    }
    for (int d = 0; d < k; ++d) R[d][d] = 1;
  });
  // Cleared in place: a second matrix for the failure would double the
  // stack this needs.
  if (!Done) R = TMatrix{};
  return R;
}

TMatrix TKorlen::CovarianceMatrix(const TRegressData* X, Byte k, int n) {
  TMatrix C = InitMatrix(0, 0);
  if (!CountsValid(X, k, n)) return C;
  // The standard deviations come first and outside the guard: a fault in
  // their square root reaches the caller.
  TVector S{};
  for (int i = 1; i <= k; ++i) S[i - 1] = Sqrt(GetVariance((*X)[i], n));
  const bool Done = Guard("Error occurred in  CovarianceMatrix", [&] {
    const TMatrix R = CorrelationMatrix(X, k, n);
    for (int i = 0; i < k; ++i) {
      for (int j = 0; j <= i; ++j) C[i][j] = C[j][i] = WithinDouble(S[i] * S[j] * R[i][j]);
    }
  });
  // Cleared in place: a second matrix for the failure would double the
  // stack this needs.
  if (!Done) C = TMatrix{};
  return C;
}

TMatrix TKorlen::MeansDifferencesMatrix(const TVector& Means, Byte k) {
  TMatrix D = InitMatrix(0, 0);
  if (k < 1 || k > MaxVars) return D;
  const bool Done = Guard("Error occurred in  MeansDifferencesMatrix", [&] {
    for (int i = 0; i < k; ++i) {
      for (int j = 0; j <= i; ++j) D[i][j] = D[j][i] = Finite(Means[i] - Means[j]);
    }
  });
  // Cleared in place: a second matrix for the failure would double the
  // stack this needs.
  if (!Done) D = TMatrix{};
  return D;
}

}  // namespace varnel
