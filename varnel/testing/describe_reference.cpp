// SPDX-License-Identifier: Apache-2.0
#include "varnel/testing/describe_reference.h"

#include "varnel/testing/digits.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace varnel::testing {

::testing::AssertionResult SameDigits(long double a, long double b, int Digits) {
  return AgreesTo(a, b, Digits, 1e-30L);
}

long double RefMean(const std::vector<double>& x) {
  long double s = 0;
  for (double v : x) s += v;
  return s / x.size();
}

long double RefCentralMoment(const std::vector<double>& x, int Order) {
  const long double m = RefMean(x);
  long double s = 0;
  for (double v : x) s += std::pow(v - m, static_cast<long double>(Order));
  return s / x.size();
}

long double RefVariance(const std::vector<double>& x) { return RefCovariance(x, x); }

long double RefMedian(std::vector<double> x) {
  const std::size_t h = x.size() / 2;
  std::nth_element(x.begin(), x.begin() + h, x.end());
  const long double Upper = x[h];
  if (x.size() % 2 == 1) return Upper;
  return (*std::max_element(x.begin(), x.begin() + h) + Upper) / 2;
}

long double RefCovariance(const std::vector<double>& x, const std::vector<double>& y) {
  const long double mx = RefMean(x), my = RefMean(y);
  long double s = 0;
  for (std::size_t i = 0; i < x.size(); ++i) s += (x[i] - mx) * (y[i] - my);
  return s / (x.size() - 1);
}

long double RefCorrelation(const std::vector<double>& x, const std::vector<double>& y) {
  return RefCovariance(x, y) / std::sqrt(RefVariance(x) * RefVariance(y));
}

std::vector<double> SpreadValues(int n, double Offset, double Scale, std::uint32_t Seed) {
  std::mt19937 Engine(Seed);
  std::uniform_real_distribution<double> Unit(-1.0, 1.0);
  std::vector<double> x(n);
  for (double& v : x) v = Offset + Scale * Unit(Engine);
  return x;
}

}  // namespace varnel::testing
