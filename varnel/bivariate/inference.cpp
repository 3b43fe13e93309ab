// SPDX-License-Identifier: Apache-2.0
// Inference on a fitted simple regression (slope interval, intervals of the
// response, the slope's t), the z statistic of a correlation, and Spearman's
// rank correlation of ranks the caller supplies.
#include <algorithm>
#include <cstdint>

#include "varnel/core/checked.h"
#include "varnel/core/guard.h"
#include "varnel/core/rows.h"
#include "varnel/korlen.h"

namespace varnel {
namespace {

// Residual sum of squares of the record's fit. It cannot be negative; a
// perfect fit can leave it a rounding error below 0, which is read as 0
// rather than failing the square root of s.
Extended ResidualSS(const TBivarStatRec& Rec) {
  return std::max(Extended(0), Finite(Rec.SYY - Rec.B1 * Rec.SXY));
}

// Degrees of freedom of the residuals; a count below 2 gives none (and the
// table then gives 0) without overflowing the subtraction.
int ResidualDF(const TBivarStatRec& Rec) { return Rec.N < 2 ? 0 : Rec.N - 2; }

// The residual standard deviation s.
Extended ResidualSD(const TBivarStatRec& Rec) { return Sqrt(Div(ResidualSS(Rec), Extended(Rec.N) - 2)); }

// Centre ± t·s·q, or the all-zero interval when anything fails.
template <class Spread>
TIntervalRec IntervalAbout(TKorlen& Korlen, const TBivarStatRec& Rec, Extended Centre, const char* Message,
                           Spread q) {
  TIntervalRec Interval{};
  Guard(Message, [&] {
    const Extended s = ResidualSD(Rec);
    const Extended t = Korlen.TTableValue2(ResidualDF(Rec));
    const Extended h = Finite(t * s * q());
    Interval = {Finite(Centre + h), Finite(Centre - h)};
  });
  return Interval;
}

// Fisher's transform of a correlation.
Extended FisherTransform(Extended v) { return 0.5L * Ln(Div(1 + v, 1 - v)); }

bool RanksUsable(std::span<const std::int32_t> RanksX, std::span<const std::int32_t> RanksY, int n) {
  return n > 2 && n < MaxObs && Holds(RanksX, n) && Holds(RanksY, n);
}

}  // namespace

TIntervalRec TKorlen::BVRegressionBeta1CI(const TBivarStatRec& Rec) {
  TIntervalRec Interval{};
  Guard("Error occurred in  BivarRegressionBeta1CI", [&] {
    const Extended s = ResidualSD(Rec);
    const Extended t = TTableValue2(ResidualDF(Rec));
    const Extended h = Finite(t * Div(s, Sqrt(Rec.SXX)));
    Interval = {Finite(Rec.B1 + h), Finite(Rec.B1 - h)};
  });
  return Interval;
}

TIntervalRec TKorlen::BVRegressionCI(const TBivarStatRec& Rec, Extended Y0, Extended X0) {
  return IntervalAbout(*this, Rec, Y0, "Error occurred in  BivarRegressionCI", [&] {
    const Extended d = X0 - Rec.MeanX;
    return Sqrt(Div(1, Rec.N) + Div(d * d, Rec.SXX));
  });
}

TIntervalRec TKorlen::BVRegressionPI(const TBivarStatRec& Rec, Extended Y0, Extended X0) {
  return IntervalAbout(*this, Rec, Y0, "Error occurred in  BivarRegressionPI", [&] {
    const Extended d = X0 - Rec.MeanX;
    return Sqrt(Div(d * d, Rec.SXX) + (Div(1, Rec.N) + 1));
  });
}

double TKorlen::BVRegressionTestStatistic(const TBivarStatRec& Rec) {
  double Result = 0;
  Guard("Error occurred in  BivarRegressionTestStatistic", [&] {
    if (!(Finite(Rec.SXX) > 0 && Rec.N > 2 && Rec.N < MaxObs)) return;
    const Extended se = Div(ResidualSD(Rec), Sqrt(Rec.SXX));
    Result = ToDouble(Div(Rec.B1, se));
  });
  return Result;
}

Extended TKorlen::BVCorrelationSampleTestStat(int n, Extended a, Extended b) {
  Extended Result = 0;
  Guard("Error occurred in  BVCorrelationSampleTestStat", [&] {
    if (n <= 3) return;
    const Extended za = FisherTransform(a), zb = FisherTransform(b);
    Result = Div(Finite(zb - za), Div(1, Sqrt(Extended(n) - 3)));
  });
  return Result;
}

Extended TKorlen::SpearmansR(std::span<const std::int32_t> RanksX, std::span<const std::int32_t> RanksY, int n) {
  Extended Result = 0;
  if (!RanksUsable(RanksX, RanksY, n)) return Result;
  Guard("Error occurred in  SpearmansR", [&] {
    Extended D = 0;
    for (int i = 0; i < n; ++i) {
      // Formed in 64 bits: ranks far apart would overflow a 32-bit square.
      const Extended d = std::int64_t(RanksX[i]) - RanksY[i];
      D += d * d;
    }
    const Extended N = n;
    Result = Finite(1 - Div(6 * D, N * N * N - N));
  });
  return Result;
}

Extended TKorlen::SpearmansRStdError(std::span<const std::int32_t> RanksX, std::span<const std::int32_t> RanksY,
                                     int n) {
  Extended Result = 0;
  if (!RanksUsable(RanksX, RanksY, n)) return Result;
  Guard("Error occurred in  SpearmansRStdError", [&] {
    const Extended rs = SpearmansR(RanksX, RanksY, n);
    Result = Sqrt(Div(1 - rs * rs, Extended(n) - 2));
  });
  return Result;
}

}  // namespace varnel
