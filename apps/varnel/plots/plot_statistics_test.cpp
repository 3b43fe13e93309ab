// SPDX-License-Identifier: Apache-2.0
// The lines drawn beside the data against R 4.2's own figures.
#include "plots/plot_statistics.h"

#include <gtest/gtest.h>

#include <cmath>

namespace varnel::cli {
namespace {

// R's cars data: stopping distances at speeds with many ties.
const std::vector<double> kSpeed{4,  4,  7,  7,  8,  9,  10, 10, 10, 11, 11, 12, 12, 12, 12, 13, 13,
                                 13, 13, 14, 14, 14, 14, 15, 15, 15, 16, 16, 17, 17, 17, 18, 18, 18,
                                 18, 19, 19, 19, 20, 20, 20, 20, 20, 22, 23, 24, 24, 24, 24, 25};
const std::vector<double> kDist{2,  10, 4,  22, 16, 10, 18, 26, 34, 17, 28, 14, 20, 24, 28, 26,  34,
                                34, 46, 26, 36, 60, 80, 20, 26, 54, 32, 40, 32, 40, 50, 42, 56,  76,
                                84, 36, 46, 68, 32, 48, 52, 56, 64, 66, 54, 70, 92, 93, 120, 85};

TEST(LowessTest, MatchesRWithTiesRobustnessPassesAndInterpolation) {
  // lowess(cars): f = 2/3, three robustness passes.
  const TSmooth Cars = Lowess(kSpeed, kDist);
  const std::pair<int, double> Expected[] = {{0, 4.9654592771868815},  {2, 13.1244950396664493},
                                             {9, 24.1292771489264908}, {25, 36.7577283416497167},
                                             {39, 56.4912240928771539}, {49, 84.3286980968341879}};
  for (const auto& [i, y] : Expected) EXPECT_NEAR(Cars.Y[i], y, 1e-12 * y) << i;
  EXPECT_EQ(Cars.Y[24], Cars.Y[25]);  // a tie takes its neighbour's value
  // lowess(cars$speed, cars$dist, f = 0.3, iter = 0): a narrow span, no robustness.
  const TSmooth Narrow = Lowess(kSpeed, kDist, 0.3, 0);
  EXPECT_NEAR(Narrow.Y[0], 5.6586849252370968, 1e-12 * 6);
  EXPECT_NEAR(Narrow.Y[19], 41.7690909090909344, 1e-12 * 42);
  EXPECT_NEAR(Narrow.Y[49], 96.6245893930822604, 1e-12 * 97);

  // 300 unsorted points 0.3 apart, closer than delta (0.99): most are interpolated.
  std::vector<double> X, Y;
  for (int i = 1; i <= 300; ++i) {
    X.push_back(((i * 7919) % 1000) / 10.0);
    Y.push_back(std::sin(X.back() / 10) + ((i * 31) % 17) / 17.0);
  }
  const TSmooth S = Lowess(X, Y);
  EXPECT_DOUBLE_EQ(S.X[0], 0.3);
  EXPECT_DOUBLE_EQ(S.X[299], 99.6);
  const std::pair<int, double> Spread[] = {{0, 1.51080843644784379},   {1, 1.50182086201269294},
                                           {76, 0.66980662000671187},  {149, 0.11614433476700903},
                                           {212, 0.71062809567292362}, {299, 1.05014969990849960}};
  for (const auto& [i, y] : Spread) EXPECT_NEAR(S.Y[i], y, 1e-12) << i;

  // A small set with runs of equal x.
  const std::vector<double> Xt{1, 1, 1, 2, 2, 3, 5, 8, 8, 8, 9, 10, 13}, Yt{3, 1, 4, 1, 5, 9, 2, 6, 5, 3, 5, 8, 9};
  const double Rt[] = {2.9310460658363375, 2.9310460658363375, 2.9310460658363375, 2.9737485809547968,
                       2.9737485809547968, 2.9335441376648155, 3.4151403345574649, 4.7683356745076679,
                       4.7683356745076679, 4.7683356745076679, 5.7692122000332233, 6.6552723399334450,
                       9.3648814587587950};
  const TSmooth T = Lowess(Xt, Yt);
  for (int i = 0; i < 13; ++i) EXPECT_NEAR(T.Y[i], Rt[i], 1e-13 * 10) << i;
  EXPECT_EQ(Lowess(std::vector<double>{2.5}, std::vector<double>{7}).Y, std::vector<double>{7});
}

TEST(HistogramBreaksTest, AreRsSturgesBreaksAndCounts) {
  const auto Expect = [](double Low, double High, int n, const std::vector<double>& R) {
    const std::vector<double> B = PrettyBreaks(Low, High, n);
    ASSERT_EQ(B.size(), R.size()) << Low << " " << High;
    for (std::size_t i = 0; i < R.size(); ++i) EXPECT_NEAR(B[i], R[i], 1e-9 * (std::fabs(R[i]) + 1)) << i;
  };
  // hist(longley$GNP), hist(c(-3.2, 5.7, 100)), pretty(c(0.013, 0.921), 7), hist(rep(5, 10)).
  Expect(234289, 554894, 5, {200000, 250000, 300000, 350000, 400000, 450000, 500000, 550000, 600000});
  Expect(-3.2, 100, 3, {-50, 0, 50, 100});
  Expect(0.013, 0.921, 7, {0, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9, 1});
  Expect(5, 5, 5, {0, 5});
  Expect(1e6 + 0.1, 1e6 + 0.35, 5, {1e6 + 0.05, 1e6 + 0.1, 1e6 + 0.15, 1e6 + 0.2, 1e6 + 0.25, 1e6 + 0.3, 1e6 + 0.35});
  EXPECT_EQ(SturgesClasses(47), 7);
  EXPECT_EQ(SturgesClasses(16), 5);
  // hist(swiss$Catholic)$counts: a value on a break falls in the interval it closes.
  const std::vector<double> Catholic{9.96,  84.84, 93.4,  33.77, 5.16,  90.57, 92.85, 97.16, 97.67, 91.38, 98.61, 8.52,
                                     2.27,  4.43,  2.82,  24.2,  3.3,   12.11, 2.15,  2.84,  5.23,  4.52,  15.14, 4.2,
                                     2.4,   5.23,  2.56,  7.72,  18.46, 6.1,   99.71, 99.68, 100,   98.96, 98.22, 99.06,
                                     99.46, 96.83, 5.62,  13.79, 11.22, 16.92, 4.97,  8.65,  42.34, 50.43, 58.33};
  const auto B = PrettyBreaks(2.15, 100, SturgesClasses(47));
  EXPECT_EQ(BinCounts(Catholic, B), (std::vector<int>{20, 6, 1, 1, 1, 2, 0, 0, 1, 15}));
}

TEST(QuantilePositionsTest, AreRsPpointsAndType7) {
  const std::vector<double> Five = PlottingPositions(5), Twelve = PlottingPositions(12);
  EXPECT_DOUBLE_EQ(Five[0], 0.11904761904761904);
  EXPECT_DOUBLE_EQ(Five[4], 0.88095238095238093);
  EXPECT_DOUBLE_EQ(Twelve[0], 0.041666666666666664);
  EXPECT_DOUBLE_EQ(Twelve[11], 0.95833333333333337);
  EXPECT_DOUBLE_EQ(Quantile({4, 1, 3, 2}, 0.25), 1.75);  // quantile(1:4, 0.25)
  EXPECT_TRUE(std::isnan(Quantile({}, 0.5)));
  const TAxisRange R = ExtendedRange(std::vector<double>{1, NAN, 3});
  EXPECT_DOUBLE_EQ(R.Low, 0.92);
  EXPECT_DOUBLE_EQ(R.High, 3.08);
}

}  // namespace
}  // namespace varnel::cli
