// SPDX-License-Identifier: Apache-2.0
// Factorials, permutations and combinations of small numbers, and the
// elementary tests: chi-square goodness of fit, the one-sample t statistic,
// confidence intervals of a mean, standardised values and mean-square ratios.
#include <cmath>
#include <cstdint>

#include "varnel/core/checked.h"
#include "varnel/core/guard.h"
#include "varnel/core/messages.h"
#include "varnel/core/rows.h"
#include "varnel/korlen.h"

namespace varnel {
namespace {

// 1! to 25!. Up to 18! the values are exact; from 19! on they carry 13
// significant digits, and permutations and combinations are worked out from
// these values, not from the exact factorials.
constexpr Extended FactorialTable[25] = {
    1.0L,
    2.0L,
    6.0L,
    24.0L,
    120.0L,
    720.0L,
    5040.0L,
    40320.0L,
    362880.0L,
    3628800.0L,
    39916800.0L,
    479001600.0L,
    6227020800.0L,
    87178291200.0L,
    1307674368000.0L,
    20922789888000.0L,
    355687428096000.0L,
    6402373705728000.0L,
    1.216451004088E17L,
    2.432902008177E18L,
    5.109094217171E19L,
    1.124000727778E21L,
    2.585201673888E22L,
    6.204484017332E23L,
    1.551121004333E25L,
};

// The first factorial the table holds to 13 significant digits only, the
// largest n whose factorial fits the 64-bit integer, and the relative error
// of a 13-digit value.
constexpr int FirstRoundedFactorial = 19;
constexpr int LargestInt64Factorial = 20;
constexpr Extended RoundedFactorialError = 5e-13L;

bool CountsValid(Byte n, Byte r) { return n >= 1 && n <= 25 && r >= 1 && r <= 24 && n > r; }

// The whole number nearest to Numerator / Denominator, where the operands are
// products of table factorials. Up to 20! each factorial is a 64-bit integer
// and the quotient is the answer. Beyond, the 13 digits of n! may not fix the
// quotient to the unit: unless the worst error of the rounded factorials in
// it stays below one half, the quotient is refused (reported, and 0).
std::int64_t FactorialQuotient(Extended Numerator, Extended Denominator, std::initializer_list<int> Factors,
                               int n, const char* Message) {
  const Extended q = Numerator / Denominator;
  if (n > LargestInt64Factorial) {
    int Rounded = 0;
    for (int f : Factors) Rounded += f >= FirstRoundedFactorial;
    if (q * Rounded * RoundedFactorialError >= 0.5L) {
      ShowMessage(Message);
      return 0;
    }
  }
  return static_cast<std::int64_t>(std::nearbyint(q));
}

}  // namespace

// 0! is not defined here: 0 and anything above 25 give 0.
Extended TKorlen::Factorial(Byte n) {
  if (n < 1 || n > 25) return 0;
  return FactorialTable[n - 1];
}

std::int64_t TKorlen::Permutations(Byte n, Byte r) {
  if (!CountsValid(n, r)) return 0;
  const char* const Message = "Error occurred in  Permutations";
  const Extended a = std::nearbyint(Factorial(n));
  const Extended b = std::nearbyint(Factorial(n - r));
  if (std::fabs(b) < 0.01L) {
    ShowMessage(Message);
    return 0;
  }
  return FactorialQuotient(a, b, {n, n - r}, n, Message);
}

std::int64_t TKorlen::Combinations(Byte n, Byte r) {
  if (!CountsValid(n, r)) return 0;
  const char* const Message = "Error occurred in  Combinations";
  const Extended a = std::nearbyint(Factorial(n));
  const Extended b = std::nearbyint(Factorial(n - r));
  const Extended d = std::nearbyint(Factorial(r));
  if (std::fabs(b) < 0.01L || std::fabs(d) < 0.01L) {
    ShowMessage(Message);
    return 0;
  }
  return FactorialQuotient(a, b * d, {n, n - r, r}, n, Message);
}

// Cells whose expected count is 1e-06 or less are left out.
Extended TKorlen::CalcChiSquare(std::span<const double> Observed, std::span<const double> Expected, int N) {
  Extended Sum = 0;
  if (N <= 2 || N >= MaxObs || !Holds(Observed, N) || !Holds(Expected, N)) return 0;
  const bool Done = Guard("Error occurred in  ChiSquare", [&] {
    for (int i = 0; i < N; ++i) {
      const Extended e = Finite(Expected[i]);
      if (e <= 1e-06L) continue;
      const Extended d = Finite(Observed[i]) - e;
      Sum = Finite(Sum + Div(d * d, e));
    }
  });
  return Done ? Sum : 0;
}

Extended TKorlen::CalcT(int N, Extended Mean, Extended HypMean, Extended S) {
  Extended t = 0;
  const bool Done = Guard("Error occurred in  TCalculated", [&] {
    if (Finite(S) > 0 && N > 0) t = Div(Finite(Finite(Mean - HypMean) * Sqrt(N)), S);
  });
  return Done ? t : 0;
}

// The t value is looked up at N degrees of freedom, the same N that divides
// the standard deviation.
TIntervalRec TKorlen::SmallSampleCIforMean(int N, Extended Mean, Extended S) {
  TIntervalRec Interval;
  if (N <= 0) return Interval;
  const bool Done = Guard("Error occurred in  SmallSampleCIforMean", [&] {
    const Extended h = Finite(Extended(TTableValue2(N)) * Div(S, Sqrt(N)));
    Interval.Upper = Finite(Mean + h);
    Interval.Lower = Finite(Mean - h);
  });
  return Done ? Interval : TIntervalRec{};
}

// An unknown level text gives z = 0, so both limits are the mean.
TIntervalRec TKorlen::LargeSampleCIforMean(const std::string& Level, Extended Mean, Extended SE) {
  TIntervalRec Interval;
  const bool Done = Guard("Error occurred in  LargeSampleCIfor Mean", [&] {
    const Extended h = Finite(ZTableValue2(Level) * SE);
    Interval.Upper = Finite(Mean + h);
    Interval.Lower = Finite(Mean - h);
  });
  return Done ? Interval : TIntervalRec{};
}

Extended TKorlen::GetZValue(Extended X, Extended Mean, Extended S) {
  if (Finite(S) > 0) return Div(Finite(X - Mean), S);
  return 0;
}

Extended TKorlen::GetCenterValue(Extended X, Extended Mean) { return Finite(X - Mean); }

Extended TKorlen::CalcF(Extended A, Extended B) {
  if (Finite(B) != 0) return Div(A, B);
  return 0;
}

}  // namespace varnel
