// SPDX-License-Identifier: Apache-2.0
// Independent reference statistics for the descriptive tests: plain two-pass
// formulas in long double, written without sharing any code or evaluation
// order with the library, and a comparison that states the digits trusted.
#pragma once

#include <cstdint>
#include <gtest/gtest.h>
#include <vector>

namespace varnel::testing {

// |a - b| within `Digits` significant digits of b (absolute near 0).
::testing::AssertionResult SameDigits(long double a, long double b, int Digits);

long double RefMean(const std::vector<double>& x);
// Sample variance (divisor n - 1) from deviations about the mean.
long double RefVariance(const std::vector<double>& x);
// Central moment of the given order, divisor n.
long double RefCentralMoment(const std::vector<double>& x, int Order);
long double RefMedian(std::vector<double> x);
long double RefCovariance(const std::vector<double>& x, const std::vector<double>& y);
long double RefCorrelation(const std::vector<double>& x, const std::vector<double>& y);

// n values Offset + Scale × (uniform in [-1, 1)), reproducible from Seed.
std::vector<double> SpreadValues(int n, double Offset, double Scale, std::uint32_t Seed);

}  // namespace varnel::testing
