// SPDX-License-Identifier: Apache-2.0
// Figures of one variable beside the component's own: quartiles as R's
// quantile (type 7) gives them, the excess kurtosis and the lag-1
// autocorrelation from moments about the mean, formed in extended precision
// after the mean, so that an offset common to the values costs no digits.
#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "varnel/core/checked.h"
#include "varnel/core/guard.h"
#include "varnel/core/rows.h"
#include "varnel/korlen.h"

namespace varnel {
namespace {

constexpr Extended kNaN = std::numeric_limits<Extended>::quiet_NaN();

bool Counted(std::span<const double> A, int N) { return N >= 1 && N <= MaxObs && Holds(A, N); }

Extended MeanOf(std::span<const double> A, int N) {
  Extended s = 0;
  for (int i = 0; i < N; ++i) s += Finite(A[i]);
  return s / N;
}

// x(h) of the values in order with h = (N − 1) p, between neighbours.
// Selection rather than a sort: the h-th value is put in place, and the one
// after it is the least of the rest. Quantiles are asked for in increasing
// order, so each selection runs on what lies past the one before.
class TOrderedValues {
 public:
  explicit TOrderedValues(std::vector<double> Values) : FValues(std::move(Values)) {}
  Extended Quantile(Extended p) {
    const Extended h = (FValues.size() - 1) * p;
    const auto Low = static_cast<std::size_t>(std::floor(h));
    const auto At = FValues.begin() + static_cast<std::ptrdiff_t>(Low);
    std::nth_element(FValues.begin() + static_cast<std::ptrdiff_t>(FFrom), At, FValues.end());
    FFrom = Low;
    if (Low + 1 >= FValues.size()) return *At;
    const double Next = *std::min_element(At + 1, FValues.end());
    return *At + (h - Low) * (Extended(Next) - *At);
  }
  Extended Min() const { return *std::min_element(FValues.begin(), FValues.end()); }
  Extended Max() const { return *std::max_element(FValues.begin(), FValues.end()); }

 private:
  std::vector<double> FValues;
  std::size_t FFrom = 0;
};

}  // namespace

TQuartileRec TKorlen::GetQuartiles(std::span<const double> A, int N) {
  TQuartileRec Result{};
  if (!Counted(A, N)) return Result;
  Guard("Error occurred in  GetQuartiles", [&] {
    for (int i = 0; i < N; ++i) Finite(A[i]);
    TOrderedValues Values(std::vector<double>(A.begin(), A.begin() + N));
    const Extended Min = Values.Min(), Max = Values.Max();
    const Extended Q1 = Values.Quantile(0.25L), Median = Values.Quantile(0.5L), Q3 = Values.Quantile(0.75L);
    Result = {N, Min, Q1, Median, Q3, Max};
  });
  return Result;
}

Extended TKorlen::GetExcessKurtosis(std::span<const double> A, int N) {
  Extended Result = 0;
  if (!Counted(A, N)) return Result;
  Guard("Error occurred in  GetExcessKurtosis", [&] {
    const Extended Mean = MeanOf(A, N);
    Extended m2 = 0, m4 = 0;
    for (int i = 0; i < N; ++i) {
      const Extended d2 = (A[i] - Mean) * (A[i] - Mean);
      m2 += d2;
      m4 += d2 * d2;
    }
    Result = m2 > 0 ? Finite(Finite(m4 / N) / ((m2 / N) * (m2 / N)) - 3) : kNaN;
  });
  return Result;
}

Extended TKorlen::GetAutocorrelation(std::span<const double> A, int N) {
  Extended Result = 0;
  if (!Counted(A, N)) return Result;
  Guard("Error occurred in  GetAutocorrelation", [&] {
    const Extended Mean = MeanOf(A, N);
    Extended Lagged = 0, Squares = 0;
    for (int i = 0; i < N; ++i) {
      Squares += (A[i] - Mean) * (A[i] - Mean);
      if (i + 1 < N) Lagged += (A[i] - Mean) * (A[i + 1] - Mean);
    }
    Result = Squares > 0 ? Finite(Lagged / Finite(Squares)) : kNaN;
  });
  return Result;
}

}  // namespace varnel
