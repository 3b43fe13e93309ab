// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "varnel/korlen.h"
#include "varnel/testing/message_recorder.h"

namespace varnel {
namespace {

// R 4.2: quantile(x), mean((x - m)^4) / mean((x - m)^2)^2 - 3 and
// acf(x, lag.max = 1)$acf[2], for two Longley columns (GNP, Unemployed),
// the unemployed plus 1e9 and 1, 2, 3, 4, 10.
struct TShapeCase {
  std::vector<double> Values;
  long double Quartiles[5], Excess, Lag1;
};

const std::vector<double> kUnemployed = {2356, 2325, 3682, 3351, 2099, 1932, 1870, 3578,
                                         2904, 2822, 2936, 4681, 3813, 3931, 4806, 4007};

std::vector<double> Offset(std::vector<double> Values, double By) {
  for (double& v : Values) v += By;
  return Values;
}

TEST(ShapeTest, QuartilesKurtosisAndAutocorrelationAsR) {
  const TShapeCase Cases[] = {
      {{234289, 259426, 258054, 284599, 328975, 346999, 365385, 363112, 397469, 419180, 442769, 444546, 482704,
        502601, 518173, 554894},
       {234289, 317881, 381427, 454085.5, 554894},
       -1.1180699316042033,
       0.79378300911064548},
      {kUnemployed, {1870, 2348.25, 3143.5, 3842.5, 4806}, -1.0652880044938426, 0.4838263946866061},
      {Offset(kUnemployed, 1e9),
       {1000001870, 1000002348.25, 1000003143.5, 1000003842.5, 1000004806},
       -1.0652880044938426,
       0.4838263946866061},
      {{10, 2, 3, 4, 1}, {1, 2, 3, 4, 10}, -0.212, -0.2},
  };
  TKorlen K;
  for (const TShapeCase& C : Cases) {
    const int n = static_cast<int>(C.Values.size());
    const TQuartileRec Q = K.GetQuartiles(C.Values, n);
    ASSERT_EQ(Q.N, n);
    const long double Got[] = {Q.Min, Q.Q1, Q.Median, Q.Q3, Q.Max};
    for (int i = 0; i < 5; ++i) EXPECT_NEAR(Got[i], C.Quartiles[i], 1e-15L * std::fabs(C.Quartiles[i])) << i;
    EXPECT_NEAR(K.GetExcessKurtosis(C.Values, n), C.Excess, 1e-12L) << C.Values[0];
    EXPECT_NEAR(K.GetAutocorrelation(C.Values, n), C.Lag1, 1e-12L) << C.Values[0];
  }
}

// Values beyond 1e22 are their own minimum and maximum; equal values have
// no kurtosis or autocorrelation; a value that is not a number is reported.
TEST(ShapeTest, HugeEqualAndBadValues) {
  TKorlen K;
  const std::vector<double> Huge = {3e22, 5e22, 4e22};
  const TQuartileRec Q = K.GetQuartiles(Huge, 3);
  EXPECT_EQ(Q.Min, Huge[0]);
  EXPECT_EQ(Q.Max, Huge[1]);
  EXPECT_EQ(Q.Median, Huge[2]);
  const std::vector<double> Same(7, 2.5);
  EXPECT_TRUE(std::isnan(K.GetExcessKurtosis(Same, 7)));
  EXPECT_TRUE(std::isnan(K.GetAutocorrelation(Same, 7)));
  EXPECT_EQ(K.GetQuartiles(Same, 1).Q3, 2.5L);
  EXPECT_EQ(K.GetQuartiles(Same, 8).N, 0);  // more than the span holds
  testing::TMessageRecorder Messages;
  const std::vector<double> Bad = {1, std::numeric_limits<double>::quiet_NaN(), 3};
  EXPECT_EQ(K.GetQuartiles(Bad, 3).N, 0);
  EXPECT_EQ(Messages.Count("Error occurred in  GetQuartiles"), 1);
}

}  // namespace
}  // namespace varnel
