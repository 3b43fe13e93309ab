// Figures of one variable beside the component's own: quartiles as R's
// quantile (type 7) gives them, the excess kurtosis and the lag-1
// autocorrelation from moments about the mean, formed in extended precision
// after the mean, so that an offset common to the values costs no digits.
#include <algorithm>
#include <cmath>
#include <limits>
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

// x(h) of the sorted values with h = (N − 1) p, between neighbours.
Extended Quantile(const std::vector<double>& Sorted, Extended p) {
  const Extended h = (Sorted.size() - 1) * p;
  const auto Low = static_cast<std::size_t>(std::floor(h));
  if (Low + 1 >= Sorted.size()) return Sorted.back();
  return Sorted[Low] + (h - Low) * (Extended(Sorted[Low + 1]) - Sorted[Low]);
}

}  // namespace

TQuartileRec TKorlen::GetQuartiles(std::span<const double> A, int N) {
  TQuartileRec Result{};
  if (!Counted(A, N)) return Result;
  Guard("Error occurred in  GetQuartiles", [&] {
    std::vector<double> Sorted(A.begin(), A.begin() + N);
    for (double x : Sorted) Finite(x);
    std::sort(Sorted.begin(), Sorted.end());
    Result = {N, Sorted.front(), Quantile(Sorted, 0.25L), Quantile(Sorted, 0.5L), Quantile(Sorted, 0.75L),
              Sorted.back()};
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
