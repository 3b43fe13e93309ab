// SPDX-License-Identifier: Apache-2.0
// The figures a picture draws beside the data, as R's graphics compute them,
// so that a picture shows the same lines as R's for the same data.
#pragma once

#include <span>
#include <vector>

#include "plots/figure.h"

namespace varnel::cli {

// R's lowess(x, y, f, iter): the robust locally weighted smoother, with
// delta = 1 % of the range of x. The points come back in increasing x
// (ties in their order in the data), each with its smoothed value.
struct TSmooth {
  std::vector<double> X, Y;
};
TSmooth Lowess(std::span<const double> X, std::span<const double> Y, double F = 2.0 / 3.0, int Iterations = 3);

// R's ppoints(n): the probabilities at which a normal Q-Q plot takes its
// theoretical quantiles, (i − a) / (n + 1 − 2a) with a = 3/8 for n ≤ 10 and
// 1/2 above.
std::vector<double> PlottingPositions(int n);

// R's quantile(x, p) of type 7 (NaN for no values).
double Quantile(std::vector<double> Values, double p);

// R's pretty(c(Low, High), n): about n + 1 round break points covering
// [Low, High], spaced 1, 2 or 5 times a power of ten. Sturges' rule, R's
// hist() default, asks for ceil(log2(count) + 1) intervals.
std::vector<double> PrettyBreaks(double Low, double High, int n);
int SturgesClasses(int Count);

// R's hist() counts: intervals (b[i], b[i+1]], the first closed on the left.
std::vector<int> BinCounts(std::span<const double> Values, const std::vector<double>& Breaks);

// R's extendrange(): the range of the values widened by F of its length at
// each end (a flat range by F of its magnitude, or 1 when that is 0 too).
TAxisRange ExtendedRange(std::span<const double> Values, double F = 0.04);

}  // namespace varnel::cli
