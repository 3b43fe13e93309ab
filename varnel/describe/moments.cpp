// SPDX-License-Identifier: Apache-2.0
#include "varnel/describe/moments.h"

#include <cmath>
#include <limits>

namespace varnel {

TShapeMoments ShapeMoments(std::span<const double> Values) {
  constexpr Extended kNaN = std::numeric_limits<Extended>::quiet_NaN();
  const auto n = static_cast<Extended>(Values.size());
  if (Values.size() < 2) return {kNaN, kNaN, kNaN, kNaN};
  // About the first value (a double's difference is exact in extended
  // precision), then about the mean of those differences, corrected once.
  const Extended Shift = Values[0];
  Extended Mean = 0;
  for (const double x : Values) Mean += x - Shift;
  Mean /= n;
  Extended Drift = 0;
  for (const double x : Values) Drift += (x - Shift) - Mean;
  Mean += Drift / n;
  Extended m2 = 0, m3 = 0, m4 = 0;
  for (const double x : Values) {
    const Extended d = (x - Shift) - Mean, d2 = d * d;
    m2 += d2;
    m3 += d2 * d;
    m4 += d2 * d2;
  }
  const Extended Variance = m2 / (n - 1);
  m2 /= n;
  m3 /= n;
  m4 /= n;
  if (!(m2 > 0) || !std::isfinite(m4)) return {kNaN, kNaN, kNaN, Variance};
  const Extended Kurtosis = m4 / (m2 * m2);
  return {m3 / (m2 * std::sqrt(m2)), Kurtosis, Kurtosis - 3, Variance};
}

}  // namespace varnel
