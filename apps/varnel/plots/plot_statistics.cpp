// SPDX-License-Identifier: Apache-2.0
#include "plot_statistics.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>
#include <numeric>

namespace varnel::cli {
namespace {

double Square(double v) { return v * v; }
double Cube(double v) { return v * v * v; }

// The smoothed value at Xs from the points Left..Right (0-based, within
// the sorted data), each weighted by the tricube of its distance (times its
// robustness weight after the first pass); false when no point has weight.
bool LocalFit(std::span<const double> X, std::span<const double> Y, double Xs, std::size_t Left, std::size_t Right,
              std::vector<double>& W, const std::vector<double>* Robustness, double& Ys) {
  const std::size_t n = X.size();
  const double Range = X[n - 1] - X[0];
  const double H = std::max(Xs - X[Left], X[Right] - Xs), H9 = 0.999 * H, H1 = 0.001 * H;
  double Sum = 0;
  std::size_t j = Left;
  for (; j < n; ++j) {
    W[j] = 0;
    const double R = std::fabs(X[j] - Xs);
    if (R <= H9) {
      W[j] = R <= H1 ? 1 : Cube(1 - Cube(R / H));
      if (Robustness) W[j] *= (*Robustness)[j];
      Sum += W[j];
    } else if (X[j] > Xs) {
      break;
    }
  }
  const std::size_t Last = j - 1;
  if (Sum <= 0) return false;
  for (j = Left; j <= Last; ++j) W[j] /= Sum;
  if (H > 0) {
    // A local line rather than a local mean, when the points spread enough.
    double A = 0;
    for (j = Left; j <= Last; ++j) A += W[j] * X[j];
    double B = Xs - A, C = 0;
    for (j = Left; j <= Last; ++j) C += W[j] * Square(X[j] - A);
    if (std::sqrt(C) > 0.001 * Range) {
      B /= C;
      for (j = Left; j <= Last; ++j) W[j] *= B * (X[j] - A) + 1;
    }
  }
  Ys = 0;
  for (j = Left; j <= Last; ++j) Ys += W[j] * Y[j];
  return true;
}

// One pass of the smoother over the sorted points: fitted at every point
// but those within Delta of the last fitted one, which are interpolated.
void SmoothPass(std::span<const double> X, std::span<const double> Y, std::size_t Span, double Delta,
                const std::vector<double>* Robustness, std::vector<double>& Ys, std::vector<double>& W) {
  const std::size_t n = X.size();
  std::size_t Left = 0, Right = Span - 1, Last = 0, i = 0;
  bool First = true;
  for (;;) {
    while (Right < n - 1 && X[i] - X[Left] > X[Right + 1] - X[i]) {
      ++Left;
      ++Right;
    }
    if (!LocalFit(X, Y, X[i], Left, Right, W, Robustness, Ys[i])) Ys[i] = Y[i];
    if (!First && Last + 1 < i) {
      const double Denominator = X[i] - X[Last];
      for (std::size_t j = Last + 1; j < i; ++j) {
        const double Alpha = (X[j] - X[Last]) / Denominator;
        Ys[j] = Alpha * Ys[i] + (1 - Alpha) * Ys[Last];
      }
    }
    First = false;
    Last = i;
    const double Cut = X[Last] + Delta;
    for (i = Last + 1; i < n; ++i) {
      if (X[i] > Cut) break;
      if (X[i] == X[Last]) {
        Ys[i] = Ys[Last];
        Last = i;
      }
    }
    i = std::max(Last + 1, i - 1);
    if (Last >= n - 1) return;
  }
}

// The bisquare robustness weights of the residuals, at six times their
// median absolute value; false when that is zero for all purposes.
bool RobustnessWeights(const std::vector<double>& Residuals, std::vector<double>& Weights) {
  const std::size_t n = Residuals.size();
  std::vector<double> Abs(n);
  double Scale = 0;
  for (std::size_t i = 0; i < n; ++i) Scale += Abs[i] = std::fabs(Residuals[i]);
  Scale /= static_cast<double>(n);
  const std::size_t M1 = n / 2;
  std::nth_element(Abs.begin(), Abs.begin() + static_cast<std::ptrdiff_t>(M1), Abs.end());
  double Cmad = 6 * Abs[M1];
  if (n % 2 == 0) {
    const double Upper = Abs[M1];
    const std::size_t M2 = n - M1 - 1;
    std::nth_element(Abs.begin(), Abs.begin() + static_cast<std::ptrdiff_t>(M2), Abs.end());
    Cmad = 3 * (Upper + Abs[M2]);
  }
  if (Cmad < 1e-7 * Scale) return false;
  const double C9 = 0.999 * Cmad, C1 = 0.001 * Cmad;
  for (std::size_t i = 0; i < n; ++i) {
    const double R = std::fabs(Residuals[i]);
    Weights[i] = R <= C1 ? 1 : R <= C9 ? Square(1 - Square(R / Cmad)) : 0;
  }
  return true;
}

}  // namespace

TSmooth Lowess(std::span<const double> X, std::span<const double> Y, double F, int Iterations) {
  const std::size_t n = std::min(X.size(), Y.size());
  std::vector<std::size_t> Order(n);
  std::iota(Order.begin(), Order.end(), std::size_t{0});
  std::stable_sort(Order.begin(), Order.end(), [&](std::size_t a, std::size_t b) { return X[a] < X[b]; });
  TSmooth Out;
  for (const std::size_t i : Order) {
    Out.X.push_back(X[i]);
    Out.Y.push_back(Y[i]);
  }
  if (n < 2) return Out;
  const std::vector<double> SortedY = Out.Y;
  const auto Span = static_cast<std::size_t>(
      std::clamp(static_cast<long long>(F * static_cast<double>(n) + 1e-7), 2LL, static_cast<long long>(n)));
  const double Delta = 0.01 * (Out.X.back() - Out.X.front());
  std::vector<double> W(n), Robustness(n), Residuals(n);
  for (int Pass = 0; Pass <= Iterations; ++Pass) {
    SmoothPass(Out.X, SortedY, Span, Delta, Pass > 0 ? &Robustness : nullptr, Out.Y, W);
    if (Pass == Iterations) break;
    for (std::size_t i = 0; i < n; ++i) Residuals[i] = SortedY[i] - Out.Y[i];
    if (!RobustnessWeights(Residuals, Robustness)) break;
  }
  return Out;
}

std::vector<double> PlottingPositions(int n) {
  const double a = n <= 10 ? 3.0 / 8.0 : 0.5;
  std::vector<double> P(static_cast<std::size_t>(std::max(n, 0)));
  for (int i = 0; i < n; ++i) P[static_cast<std::size_t>(i)] = (i + 1 - a) / (n + 1 - 2 * a);
  return P;
}

double Quantile(std::vector<double> Values, double p) {
  if (Values.empty()) return std::numeric_limits<double>::quiet_NaN();
  std::sort(Values.begin(), Values.end());
  const double H = (static_cast<double>(Values.size()) - 1) * p;
  const auto Low = static_cast<std::size_t>(std::floor(H));
  const std::size_t High = std::min(Low + 1, Values.size() - 1);
  return Values[Low] + (H - static_cast<double>(Low)) * (Values[High] - Values[Low]);
}

namespace {

// R's pretty() with its defaults but min.n = 1, as hist() calls it: the
// unit between breaks and the first and last multiples of it.
struct TPrettyUnit {
  double Unit = 1, First = 0, Last = 1;
};

TPrettyUnit PrettyUnit(double Low, double High, int n) {
  constexpr double H = 1.5, H5 = 0.5 + 1.5 * H, Eps = 1e-10, ShrinkSmall = 0.75;
  const double Dx = High - Low;
  double Cell = 1;
  bool Small = true;
  if (Dx != 0 || High != 0) {
    Cell = std::max(std::fabs(Low), std::fabs(High));
    const double U = (1 + (H5 >= 1.5 * H + 0.5 ? 1 / (1 + H) : 1.5 / (1 + H5))) * std::max(1, n) * DBL_EPSILON;
    Small = Dx < Cell * U * 3;
  }
  if (Small) {
    if (Cell > 10) Cell = 9 + Cell / 10;
    Cell *= ShrinkSmall;
  } else {
    Cell = n > 1 ? Dx / n : Dx;
  }
  Cell = std::max(Cell, std::ldexp(DBL_MIN, -20));
  const double Base = std::pow(10.0, std::floor(std::log10(Cell)));
  double Unit = Base;
  if (2 * Base - Cell < H * (Cell - Unit)) {
    Unit = 2 * Base;
    if (5 * Base - Cell < H5 * (Cell - Unit)) {
      Unit = 5 * Base;
      if (10 * Base - Cell < H * (Cell - Unit)) Unit = 10 * Base;
    }
  }
  double Ns = std::floor(Low / Unit + Eps), Nu = std::ceil(High / Unit - Eps);
  while (Ns * Unit > Low + Eps * Unit) --Ns;
  while (Nu * Unit < High - Eps * Unit) ++Nu;
  if (Nu - Ns < 1) {  // at least one interval, grown away from zero
    if (Ns >= 0) {
      --Ns;
    } else {
      ++Nu;
    }
  }
  return {Unit, Ns, Nu};
}

}  // namespace

std::vector<double> PrettyBreaks(double Low, double High, int n) {
  const TPrettyUnit P = PrettyUnit(Low, High, n);
  const double First = std::min(P.First * P.Unit, Low), Last = std::max(P.Last * P.Unit, High);
  const int Intervals = static_cast<int>(0.5 + P.Last - P.First);
  std::vector<double> Breaks;
  const double By = (Last - First) / Intervals;
  for (int i = 0; i <= Intervals; ++i) {
    const double b = i == Intervals ? Last : First + i * By;
    Breaks.push_back(std::fabs(b) < 1e-14 * By ? 0.0 : b);
  }
  return Breaks;
}

int SturgesClasses(int Count) { return static_cast<int>(std::ceil(std::log2(std::max(Count, 1)) + 1)); }

std::vector<int> BinCounts(std::span<const double> Values, const std::vector<double>& Breaks) {
  std::vector<int> Counts(Breaks.size() > 1 ? Breaks.size() - 1 : 0, 0);
  for (const double v : Values) {
    // The first break not below v closes v's interval (b[i-1], b[i]].
    const auto Upper = std::lower_bound(Breaks.begin(), Breaks.end(), v);
    if (Upper == Breaks.end()) continue;
    const auto i = static_cast<std::size_t>(std::max<std::ptrdiff_t>(Upper - Breaks.begin(), 1) - 1);
    if (i < Counts.size() && v >= Breaks.front()) ++Counts[i];
  }
  return Counts;
}

TAxisRange ExtendedRange(std::span<const double> Values, double F) {
  double Low = std::numeric_limits<double>::infinity(), High = -Low;
  for (const double v : Values) {
    if (!std::isfinite(v)) continue;
    Low = std::min(Low, v);
    High = std::max(High, v);
  }
  if (Low > High) return {0, 1};
  double Width = (High - Low) * F;
  if (Width == 0) Width = Low != 0 ? std::fabs(Low) * F : 1;
  return {Low - Width, High + Width};
}

}  // namespace varnel::cli
