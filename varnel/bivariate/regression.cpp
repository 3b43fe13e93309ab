// SPDX-License-Identifier: Apache-2.0
// Simple least squares of Y on one X, and what is built on its record:
// fitted values, residuals, the fitted value for a given x, and the quadratic
// fit handed to the multiple-regression core.
#include <memory>

#include "varnel/bivariate/shifted_sums.h"
#include "varnel/core/checked.h"
#include "varnel/core/guard.h"
#include "varnel/core/rows.h"
#include "varnel/korlen.h"

namespace varnel {
namespace {

// Keeps Fisher's z and the t of r finite when r is exactly 1 or -1.
constexpr Extended Tiny = 1e-20L;

// The raw sums the record reports, and the same sums taken about the first
// observation. The corrected sums come from the second set: it is exact for
// constant data (so a constant X divides by zero instead of leaving rounding
// noise for a slope) and does not lose the digits that SumX2 - SumX²/n
// cancels away when the mean is large against the spread.
struct TPairSums {
  Extended X = 0, Y = 0, XY = 0, X2 = 0, Y2 = 0;
  TShiftedSums D;
};

TPairSums Accumulate(std::span<const double> X, std::span<const double> Y, int n) {
  TPairSums S;
  const Extended X0 = X[0], Y0 = Y[0];
  for (int i = 0; i < n; ++i) {
    const Extended x = X[i], y = Y[i];
    S.X += x;
    S.Y += y;
    S.XY += x * y;
    S.X2 += x * x;
    S.Y2 += y * y;
    const Extended dx = x - X0, dy = y - Y0;
    S.D.Dx += dx;
    S.D.Dy += dy;
    S.D.DxDy += dx * dy;
    S.D.Dx2 += dx * dx;
    S.D.Dy2 += dy * dy;
  }
  return S;
}

// Fills the record from the sums on; a fault leaves the fields from the
// failing one on at 0.
void FitLine(TBivarStatRec& Rec, std::span<const double> X, std::span<const double> Y, int n) {
  const TPairSums S = Accumulate(X, Y, n);
  Rec.SumX = Finite(S.X);
  Rec.SumY = Finite(S.Y);
  Rec.SumXY = Finite(S.XY);
  Rec.SumX2 = Finite(S.X2);
  Rec.SumY2 = Finite(S.Y2);
  Rec.MeanX = Div(Rec.SumX, n);
  Rec.MeanY = Div(Rec.SumY, n);
  FitCorrelation(Rec, S.D, n);
  Rec.B1 = Div(Rec.SXY, Rec.SXX);
  Rec.B0 = Finite(Rec.MeanY - Rec.B1 * Rec.MeanX);
}

// Writes Value(x, y) for every observation of a fresh fit, stopping at the
// first value that is not a double. Positions from n on keep what they held.
template <class Compute>
void FillFromFit(TKorlen& Korlen, std::span<const double> X, std::span<const double> Y, std::span<double> Out,
                 int n, const char* Message, Compute Value) {
  if (n <= 2 || n >= MaxObs || !Holds(X, n) || !Holds(Y, n) || !Holds(Out, n)) return;
  Guard(Message, [&] {
    const TBivarStatRec Rec = Korlen.BVRegression(X, Y, n);
    for (int i = 0; i < Rec.N; ++i) {
      const Extended Fitted = Rec.B1 * X[i] + Rec.B0;
      Out[i] = ToDouble(Value(Fitted, Extended(Y[i])));
    }
  });
}

}  // namespace

void FitCorrelation(TBivarStatRec& Rec, const TShiftedSums& S, int n) {
  Rec.SXX = Finite(S.Dx2 - Div(S.Dx * S.Dx, n));
  Rec.SYY = Finite(S.Dy2 - Div(S.Dy * S.Dy, n));
  Rec.SXY = Finite(S.DxDy - Div(S.Dx * S.Dy, n));
  const Extended R = Div(Rec.SXY, Sqrt(Rec.SXX * Rec.SYY));
  // Rounding may carry a perfect correlation a unit in the last place past
  // ±1, where Fisher's z would take the logarithm of a negative number.
  Rec.R = R > 1 ? 1 : (R < -1 ? -1 : R);
}

TBivarStatRec TKorlen::BVRegression(std::span<const double> X, std::span<const double> Y, int n) {
  if (!Holds(X, n) || !Holds(Y, n)) return {};
  TBivarStatRec Rec{};
  Rec.N = n;
  if (n <= 2) return Rec;
  Rec.DF = n - 2;
  Guard("Divide by zero calculating r, B1 or B0", [&] { FitLine(Rec, X, Y, n); });
  Rec.FisherZ = Finite(0.5L * Ln(Div(1 + Rec.R + Tiny, 1 - Rec.R + Tiny)));
  Rec.TStatR = Finite(Rec.R * Sqrt(Div(Rec.DF, (1 - Rec.R + Tiny) * (1 + Rec.R + Tiny))));
  return Rec;
}

Extended TKorlen::BVCalcYValue(const TBivarStatRec& Rec, Extended x) { return Finite(Rec.B0 + Rec.B1 * x); }

Extended TKorlen::BVRegressionReverse(const TBivarStatRec& Rec, Extended x) {
  Extended Result = 0;
  Guard("Error occurred in  BivarRegressionReverse", [&] {
    if (Rec.N > 0 && Finite(Rec.SXY) > 0) Result = Finite(Rec.B1 * x + Rec.B0);
  });
  return Result;
}

void TKorlen::BVResiduals(std::span<const double> X, std::span<const double> Y, std::span<double> Out, int n) {
  FillFromFit(*this, X, Y, Out, n, "Error occurred in  BivarResiduals",
              [](Extended Fitted, Extended y) { return y - Fitted; });
}

void TKorlen::BVPredictedY(std::span<const double> X, std::span<const double> Y, std::span<double> Out, int n) {
  FillFromFit(*this, X, Y, Out, n, "Error occurred in  BivarPredictedY",
              [](Extended Fitted, Extended) { return Fitted; });
}

TMultStatRec TKorlen::BVQuadraticRegression(std::span<const double> X, std::span<const double> Y, int n) {
  // The core rejects n outside 3..MaxObs - 1 without reading the matrix, so
  // only a count it can accept is copied in.
  const int Filled = n > 0 && n < MaxObs ? n : 0;
  if (!Holds(X, Filled)) return {};
  const auto Data = NewWorkMatrix();
  for (int i = 0; i < Filled; ++i) {
    (*Data)[0][i] = 1.0;
    (*Data)[1][i] = X[i];
    (*Data)[2][i] = ToDouble(Extended(X[i]) * X[i]);
  }
  return MVRegression(Data.get(), Y, 2, n);
}

}  // namespace varnel
