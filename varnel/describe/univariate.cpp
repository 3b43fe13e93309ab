// SPDX-License-Identifier: Apache-2.0
// Statistics of one variable: sums, extremes, moments and the median of the
// first N values of an array, and the two summaries built from them.
//
// The moment sums are taken about the first value rather than about zero.
// Variance and the central moments do not change under a shift, but raw
// power sums of data whose mean is large against their spread cancel
// catastrophically (a variable near 10^6 with a spread of 0.1 keeps only a
// few digits even in extended precision). The first value is never further
// than √N standard deviations from the mean, so the shifted sums keep more
// than ten significant digits of the fourth moment at the full 19,999
// observations, and a constant variable gives an exact 0.
#include <algorithm>
#include <cmath>
#include <vector>

#include "varnel/core/checked.h"
#include "varnel/core/guard.h"
#include "varnel/core/rows.h"
#include "varnel/korlen.h"

namespace varnel {
namespace {

// Counts a one-variable method accepts as a position bound: N < MaxObs.
bool WithinObs(std::span<const double> A, int N) { return N < MaxObs && Holds(A, N); }

// Σd, Σd², Σd³, Σd⁴ of d = x - x[0] over the first N values.
struct TPowerSums {
  Extended S1 = 0, S2 = 0, S3 = 0, S4 = 0;
};

TPowerSums ShiftedPowerSums(std::span<const double> A, int N) {
  TPowerSums P;
  const Extended Origin = N > 0 ? Finite(A[0]) : 0;
  for (int i = 0; i < N; ++i) {
    const Extended d = A[i] - Origin;
    const Extended d2 = d * d;
    P.S1 += d;
    P.S2 += d2;
    P.S3 += d2 * d;
    P.S4 += d2 * d2;
  }
  Finite(P.S1);
  Finite(P.S2);
  Finite(P.S3);
  Finite(P.S4);
  return P;
}

// Second, third and fourth central moments (divisor N).
struct TCentralMoments {
  Extended Mu2 = 0, Mu3 = 0, Mu4 = 0;
};

TCentralMoments CentralMoments(std::span<const double> A, int N) {
  const TPowerSums P = ShiftedPowerSums(A, N);
  const Extended m1 = Div(P.S1, N), m2 = Div(P.S2, N), m3 = Div(P.S3, N), m4 = Div(P.S4, N);
  TCentralMoments C;
  C.Mu2 = Finite(m2 - m1 * m1);
  C.Mu3 = Finite(m3 - 3 * m1 * m2 + 2 * m1 * m1 * m1);
  C.Mu4 = Finite(m4 - 4 * m1 * m3 + 6 * m1 * m1 * m2 - 3 * m1 * m1 * m1 * m1);
  return C;
}

// Rounds to single precision; a value beyond its range overflows.
Single ToSingle(Extended x) {
  const Single s = static_cast<Single>(Finite(x));
  if (std::isinf(s)) throw EOverflow();
  return s;
}

Extended RowSum(std::span<const double> A, int N) {
  Extended s = 0;
  for (int i = 0; i < N; ++i) s += A[i];
  return Finite(s);
}

}  // namespace

Extended TKorlen::GetSum(std::span<const double> A, int N) {
  Extended Result = 0;
  if (N < 2 || !WithinObs(A, N)) return Result;
  Guard("Error occurred in  GetSum", [&] { Result = WithinDouble(RowSum(A, N)); });
  return Result;
}

Extended TKorlen::GetMin(std::span<const double> A, int N) {
  Extended Result = 0;
  if (N < 2 || !WithinObs(A, N)) return Result;
  Guard("Error occurred in  GetMin", [&] {
    Extended Min = 1E22L;
    for (int i = 0; i < N; ++i) {
      if (Min > Finite(A[i])) Min = A[i];
    }
    Result = Min;
  });
  return Result;
}

Extended TKorlen::GetMax(std::span<const double> A, int N) {
  Extended Result = 0;
  if (N < 2 || !WithinObs(A, N)) return Result;
  Guard("Error occurred in  GetMax", [&] {
    Extended Max = -1E22L;
    for (int i = 0; i < N; ++i) {
      if (Max < Finite(A[i])) Max = A[i];
    }
    Result = Max;
  });
  return Result;
}

Extended TKorlen::GetMean(std::span<const double> A, int N) {
  Extended Result = 0;
  if (N < 2 || !WithinObs(A, N)) return Result;
  Guard("Error occurred in  GetMean", [&] { Result = WithinDouble(Div(RowSum(A, N), N)); });
  return Result;
}

Extended TKorlen::GetVariance(std::span<const double> A, int N) {
  Extended Result = 0;
  if (N < 2 || !Holds(A, N)) return Result;
  Guard("Error occurred in  GetVariance", [&] {
    const TPowerSums P = ShiftedPowerSums(A, N);
    Result = WithinDouble(Div(Finite(P.S2 - Div(P.S1 * P.S1, N)), N - 1));
  });
  return Result;
}

Extended TKorlen::GetCoefficientOfVariation(std::span<const double> A, int N) {
  Extended Result = 0;
  if (N < 3 || !Holds(A, N)) return Result;
  const Extended Mean = GetMean(A, N);
  const Extended Variance = GetVariance(A, N);
  Guard("Error occurred in  GetCoefficientOfVariation", [&] {
    if (Mean != 0) Result = WithinDouble(Div(100 * Sqrt(Variance), Mean));
  });
  return Result;
}

Single TKorlen::GetSkew(std::span<const double> A, int N) {
  if (!Holds(A, N)) return 0;
  const TCentralMoments C = CentralMoments(A, N);
  return ToSingle(C.Mu3 * Finite(std::exp(-1.5L * Ln(C.Mu2))));
}

Single TKorlen::GetKurtosis(std::span<const double> A, int N) {
  if (!Holds(A, N)) return 0;
  const TCentralMoments C = CentralMoments(A, N);
  return ToSingle(Div(C.Mu4, Finite(C.Mu2 * C.Mu2)));
}

Extended TKorlen::GetMedian(std::span<const double> A, int N) {
  if (N < 1 || !WithinObs(A, N)) return 0;
  std::vector<double> Sorted(A.begin(), A.begin() + N);
  for (const double x : Sorted) Finite(x);
  // Only the middle values are needed: selection finds them in linear time.
  // The values below the upper middle one are all no larger than it, so the
  // lower middle one is their largest. A zero in the middle may be -0 or +0
  // among equals, and which one a full sort leaves there is kept by sorting.
  const bool Even = N % 2 == 0;
  const auto Middle = Sorted.begin() + N / 2;
  std::nth_element(Sorted.begin(), Middle, Sorted.end());
  if (Even) Sorted[N / 2 - 1] = *std::max_element(Sorted.begin(), Middle);
  if (*Middle == 0 || (Even && Sorted[N / 2 - 1] == 0)) {
    Sorted.assign(A.begin(), A.begin() + N);
    std::sort(Sorted.begin(), Sorted.end());
  }
  if (!Even) return Sorted[(N - 1) / 2];
  return Finite((Extended(Sorted[N / 2 - 1]) + Sorted[N / 2]) * 0.5L);
}

Extended TKorlen::GetTotalVariation(const TVector& V, Byte K) {
  if (K > 26) return 0;  // beyond the vector
  Extended s = 0;
  for (int i = 0; i < K; ++i) s += V[i];
  return Finite(s);
}

namespace {

// The eleven statistics of one variable, in the order they are computed.
struct TStatistics {
  Extended Sum, Min, Max, Range, Mean, StdDev, Variance, Skew, Kurtosis, CoefVar, Median;
};

TStatistics Describe(TKorlen& Korlen, std::span<const double> A, int N) {
  TStatistics S{};
  S.Sum = Korlen.GetSum(A, N);
  S.Min = Korlen.GetMin(A, N);
  S.Max = Korlen.GetMax(A, N);
  S.Range = Finite(S.Max - S.Min);
  S.Mean = Korlen.GetMean(A, N);
  S.Variance = Korlen.GetVariance(A, N);
  S.StdDev = Sqrt(S.Variance);
  S.Skew = Korlen.GetSkew(A, N);
  S.Kurtosis = Korlen.GetKurtosis(A, N);
  S.CoefVar = Korlen.GetCoefficientOfVariation(A, N);
  S.Median = Korlen.GetMedian(A, N);
  return S;
}

}  // namespace

TUnivarStatRec TKorlen::UnivariateSummary(const TRegressData* X, Byte K, int N) {
  if (X == nullptr || K < 1 || K > MaxVars || N <= K || N >= MaxObs) return {};
  TUnivarStatRec Rec{};
  Rec.NVars = K;
  Rec.N = N;
  const bool Done = Guard("Error occurred in  UnivariateSummary", [&] {
    for (int j = 1; j <= K; ++j) {
      const TStatistics S = Describe(*this, (*X)[j], N);
      const int e = j - 1;
      Rec.Sum[e] = S.Sum;
      Rec.Min[e] = S.Min;
      Rec.Max[e] = S.Max;
      Rec.Range[e] = S.Range;
      Rec.Mean[e] = S.Mean;
      Rec.StdDev[e] = S.StdDev;
      Rec.Variance[e] = S.Variance;
      Rec.Skew[e] = S.Skew;
      Rec.Kurtosis[e] = S.Kurtosis;
      Rec.CoefVar[e] = S.CoefVar;
      Rec.Median[e] = S.Median;
    }
  });
  return Done ? Rec : TUnivarStatRec{};
}

TYSummaryRec TKorlen::YSummary(std::span<const double> A, int N) {
  if (N < 1 || !WithinObs(A, N)) return {};
  TYSummaryRec Rec{};
  const bool Done = Guard("Error occurred in  UnivariateSummary", [&] {
    const TStatistics S = Describe(*this, A, N);
    Rec = {N, S.Sum, S.Min, S.Max, S.Range, S.Mean, S.StdDev, S.Variance, S.Skew, S.Kurtosis, S.CoefVar, S.Median};
  });
  return Done ? Rec : TYSummaryRec{};
}

}  // namespace varnel
