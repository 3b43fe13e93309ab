// SPDX-License-Identifier: Apache-2.0
// Confidence limits of the mean response and prediction limits of a new
// response at every observation: one algorithm, four operations that differ
// in the side of the interval and in the added 1 of a new observation.
#include <string>
#include <string_view>
#include <vector>

#include "varnel/core/checked.h"
#include "varnel/core/guard.h"
#include "varnel/core/rows.h"
#include "varnel/korlen.h"
#include "varnel/regression/refit.h"

namespace varnel {
namespace {

enum class TSide { Upper, Lower };
enum class TInterval { Confidence, Prediction };

// The message names the stage the work had reached; written out in full so
// that showing it allocates nothing.
constexpr std::string_view kInitialCalcs = "Error occurred in  MultiVarRegressionCI Initial Calcs";
constexpr std::string_view kAfterRegression = "Error occurred in  MultiVarRegressionCI After Regression";
constexpr std::string_view kAfterInversion = "Error occurred in  MultiVarRegressionCI After Matrix Inversion";

void Transpose(const TMatrix& M, int Size, TMatrix& T) {
  T = TMatrix{};
  for (int r = 0; r < Size; ++r) {
    for (int c = 0; c < Size; ++c) T[c][r] = M[r][c];
  }
}

// r = x · Inv for observations First..First+W-1, the W sums of each entry
// side by side, each adding its terms in increasing t: R[j][q] is entry j of
// observation First + q − Column. Nothing is checked here; Quadratic checks
// in order.
template <int W>
void RowTimesInverse(const TMatrix& InvT, const TShiftedInverse& S, int Size, int First, int Column,
                     Extended (*R)[4]) {
  for (int j = 0; j < Size; ++j) {
    Extended r[W] = {};
    for (int t = 0; t < Size; ++t) {
      const Extended c = InvT[j][t];
      const double* z = S.Row(t) + First;
#pragma GCC unroll 4
      for (int q = 0; q < W; ++q) r[q] += z[q] * c;
    }
#pragma GCC unroll 4
    for (int q = 0; q < W; ++q) R[j][Column + q] = r[q];
  }
}

// q = x · Inv · x' for observation i from its entries of r: the sums and
// checks of VectorMatrixProduct and DotProduct, in their order.
Extended Quadratic(const Extended (*R)[4], int Column, const TShiftedInverse& S, int Size, int i) {
  Extended q = 0;
  for (int j = 0; j < Size; ++j) q += Finite(R[j][Column]) * S.Row(j)[i];
  return Finite(q);
}

// The fit's own inverse of the shifted cross products serves the limits;
// when the data scan rejected the data the zero record's empty cross
// products are inverted instead, which is what reports the rejection.
void Limits(TKorlen& Korlen, const TRegressData* X, std::span<const double> Y, std::span<double> Out, Byte k,
            int n, TSide Side, TInterval Interval) {
  FillObsArray(Out, 0);
  if (X == nullptr || !FitCountsValid(k, n) || !Holds(Y, n) || !Holds(Out, n)) return;
  // Guard shows the message as it reads when the fault arrives, so the stage
  // reached so far is written into it as the work goes on.
  std::string_view Message = kInitialCalcs;
  Guard(Message, [&] {
    std::vector<double> Fitted(n);
    const TInverseFit Fit = FitWithInverse(Korlen, X, Y, k, n);
    const TMultStatRec& R = Fit.R;
    for (int i = 0; i < R.N; ++i) Fitted[i] = ToDouble(FittedValue(R, *X, i));
    Message = kAfterRegression;
    const TShiftedInverse& Inv = Fit.S;
    if (!Fit.Fitted) {
      Extended Det = 0;
      Korlen.InvertMatrix(Korlen.CrossProducts(X, R.K, R.N), R.K + 1, Det);
    }
    const Extended t = Korlen.TTableValue2(R.N - (R.K + 1));
    Message = kAfterInversion;
    THeapMatrix InvT;
    Transpose(Inv.G.Get(), k + 1, InvT.Get());
    Extended Block[MaxVars + 1][4];
    for (int i = 0; i < R.N; ++i) {
      // r for four observations at a time; a fault still stops at the first
      // observation whose own steps meet it, with the limits before it written.
      if (i % 4 == 0) {
        if (i + 4 <= R.N) {
          RowTimesInverse<4>(InvT.Get(), Inv, k + 1, i, 0, Block);
        } else {
          for (int f = i; f < R.N; ++f) RowTimesInverse<1>(InvT.Get(), Inv, k + 1, f, f - i, Block);
        }
      }
      const Extended q = Quadratic(Block, i % 4, Inv, k + 1, i);
      const Extended RootMse = Sqrt(R.MSE);
      const Extended Half = Interval == TInterval::Prediction ? Sqrt(q + 1) * RootMse : Sqrt(q) * RootMse;
      const Extended Width = t * Half;
      Out[i] = ToDouble(Side == TSide::Upper ? Fitted[i] + Width : Fitted[i] - Width);
    }
  });
}

}  // namespace

void TKorlen::MVPredictedYCIUpper(const TRegressData* X, std::span<const double> Y, std::span<double> Out, Byte k,
                                  int n) {
  Limits(*this, X, Y, Out, k, n, TSide::Upper, TInterval::Confidence);
}

void TKorlen::MVPredictedYCILower(const TRegressData* X, std::span<const double> Y, std::span<double> Out, Byte k,
                                  int n) {
  Limits(*this, X, Y, Out, k, n, TSide::Lower, TInterval::Confidence);
}

void TKorlen::MVPredictedYPIUpper(const TRegressData* X, std::span<const double> Y, std::span<double> Out, Byte k,
                                  int n) {
  Limits(*this, X, Y, Out, k, n, TSide::Upper, TInterval::Prediction);
}

void TKorlen::MVPredictedYPILower(const TRegressData* X, std::span<const double> Y, std::span<double> Out, Byte k,
                                  int n) {
  Limits(*this, X, Y, Out, k, n, TSide::Lower, TInterval::Prediction);
}

}  // namespace varnel
