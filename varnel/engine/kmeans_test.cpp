// SPDX-License-Identifier: Apache-2.0
#include "varnel/engine/kmeans.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>

#include "varnel/engine/errors.h"
#include "varnel/engine/reduce.h"

namespace varnel::engine {
namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// A uniform in [0, 1) from integer arithmetic that is exact in double, so
// that R, forming the same numbers, sees the very same data.
double Uniform(long long i, int k) {
  static const long long Multiplier[] = {0, 1103515245, 1664525, 22695477, 134775813};
  return static_cast<double>((i * Multiplier[k] + 12345) % 2147483648LL) / 2147483648.0;
}

// Rows i = 1..n of three columns: cluster i mod 4 about (0,0,0), (8,0,0),
// (0,8,0), (0,0,8), each coordinate plus 2·U. In R:
//   u <- function(i, m) ((i * m + 12345) %% 2147483648) / 2147483648
//   i <- 1:2000; g <- i %% 4
//   x <- cbind(8 * (g == 1) + 2 * u(i, 1103515245), 8 * (g == 2) + 2 * u(i, 1664525),
//              8 * (g == 3) + 2 * u(i, 22695477))
std::vector<std::vector<double>> Separated(long long n) {
  std::vector<std::vector<double>> X(3, std::vector<double>(static_cast<std::size_t>(n)));
  for (long long i = 1; i <= n; ++i) {
    for (int j = 0; j < 3; ++j) X[j][i - 1] = 8.0 * (i % 4 == j + 1) + 2 * Uniform(i, j + 1);
  }
  return X;
}

// 30,000 rows, ten clusters on a 5 × 2 grid of spacing 3 (a third column
// apart by (g·3) mod 7), each coordinate plus 3·U: neighbours overlap. In R:
//   i <- 1:30000; g <- i %% 10
//   x <- cbind(3 * (g %% 5) + 3 * u(i, 1103515245), 3 * (g %/% 5) + 3 * u(i, 1664525),
//              (g * 3) %% 7 + 3 * u(i, 22695477))
std::vector<std::vector<double>> Overlapping() {
  std::vector<std::vector<double>> X(3, std::vector<double>(30000));
  for (long long i = 1; i <= 30000; ++i) {
    const long long g = i % 10;
    X[0][i - 1] = 3.0 * static_cast<double>(g % 5) + 3 * Uniform(i, 1);
    X[1][i - 1] = 3.0 * static_cast<double>(g / 5) + 3 * Uniform(i, 2);
    X[2][i - 1] = static_cast<double>((g * 3) % 7) + 3 * Uniform(i, 3);
  }
  return X;
}

TLloydPass PassOver(const TBatch& Data, std::size_t Threads, std::size_t BatchRows,
                    std::shared_ptr<const TKMeansScaling> Scaling = nullptr) {
  return [=](std::shared_ptr<const TCentres> C, std::shared_ptr<const TCentres> Previous) {
    return ReduceBatches<TLloydSums>(Data, Threads, BatchRows, [&](const TBatch& B) {
      TLloydSums S(C, Scaling, Previous);
      S.Add(B);
      return S;
    });
  };
}

TKMeansSample SampleOf(const TBatch& Data, std::size_t Step) {
  TKMeansSample S(Data.Cols(), Step, 0);
  S.Add(Data);
  return S;
}

// Value agrees with Expected to Digits significant digits.
void ExpectDigits(long double Value, long double Expected, double Digits) {
  const auto e = static_cast<double>(Expected);
  EXPECT_NEAR(static_cast<double>(Value), e, std::pow(10.0, -Digits) * std::fabs(e)) << e;
}

// Rows A then B in one state agree with the merge of A's state and B's,
// count for count and to 15 digits for the sums; a row missing any value,
// the response's included, takes no part.
TEST(EngineKMeansTest, SumsOfPartsMergeToTheWhole) {
  auto X = Separated(1001);
  X.push_back(std::vector<double>(1001, 1.0));  // a response: only its gaps matter
  X[3][10] = NaN;
  X[1][20] = NaN;
  const TBatch All = MakeBatch(X);
  const auto C = std::make_shared<const TCentres>(4, 3, std::vector<double>{1, 1, 1, 9, 1, 1, 1, 9, 1, 1, 1, 9});
  TLloydSums Whole(C), A(C), B(C);
  Whole.Add(All.Slice(0, 377));
  Whole.Add(All.Slice(377, 1001));
  A.Add(All.Slice(0, 377));
  B.Add(All.Slice(377, 1001));
  A.Merge(B);
  EXPECT_EQ(A.Rows(), 999u);
  for (std::size_t c = 0; c < 4; ++c) {
    EXPECT_EQ(A.Count(c), Whole.Count(c));
    ExpectDigits(A.WithinSS(c), Whole.WithinSS(c), 15);
    for (std::size_t j = 0; j < 3; ++j) ExpectDigits(A.DeviationSum(c, j), Whole.DeviationSum(c, j), 15);
  }
  // The clusters as generated (251 rows in cluster 1), less a gap in clusters 1 and 3.
  EXPECT_EQ(Whole.Count(0), 250u);
  EXPECT_EQ(Whole.Count(1), 250u);
  EXPECT_EQ(Whole.Count(3), 249u);
  TLloydSums Other(std::make_shared<const TCentres>(4, 3, std::vector<double>(12, 0.0)));
  EXPECT_THROW(A.Merge(Other), EEngineError);
}

// The nearest centre: the lowest index among equal distances, and the
// distance in extended precision.
TEST(EngineKMeansTest, NearestCentreTakesTheLowestOfEqualOnes) {
  const TCentres C(3, 2, {0, 0, 2, 0, 0, 2});
  const double x = 1.9;
  const std::vector<double> Between{1, 1}, NearSecond{x, 0.5};
  EXPECT_EQ(NearestCentre(Between, C).Cluster, 0u);
  const TNearestCentre N = NearestCentre(NearSecond, C);
  EXPECT_EQ(N.Cluster, 1u);
  EXPECT_EQ(N.Distance2, (x - 2.0L) * (x - 2.0L) + 0.25L);
  EXPECT_THROW(NearestCentre(std::vector<double>{1}, C), EEngineError);
  EXPECT_THROW(TCentres(2, 2, {1, 2, 3}), EEngineError);
}

// From the start the sample gives (k-means++ on every 37th row, seed 3, one
// Lloyd pass there), Lloyd's passes over 2,000 rows in batches of 300 on
// three threads converge where R's do from the same centres:
//   s <- matrix(c(<the start below>), 4, 3, byrow = TRUE)
//   k <- kmeans(x, centers = s, algorithm = "Lloyd", iter.max = 100)
// to 12 digits; iter 2, sizes 500 each.
TEST(EngineKMeansTest, LloydConvergesWhereRDoesFromTheSameStart) {
  const auto X = Separated(2000);
  const TBatch Data = MakeBatch(X);
  const TKMeansSample Sample = SampleOf(Data, 37);
  ASSERT_EQ(Sample.Rows(), 55u);
  const TCentres Start = SampleStart(Sample, {4, 3, 1, 1, 1});
  const std::vector<double> Printed = {
      1.0403452704527549, 0.89329325061823639, 9.0617406844560584, 1.1572420265791672,
      8.8359354914032995, 0.99396442608641722, 9.1312816398484369, 0.77857773218836102,
      0.92618816771677559, 1.1132859826231232, 0.78099043645824373, 0.98297541509740627};
  for (std::size_t i = 0; i < Printed.size(); ++i) EXPECT_NEAR(Start.Values()[i], Printed[i], 1e-16 * 10);
  const TLloydResult Fit = Lloyd(PassOver(Data, 3, 300), Start, 100);
  const double Centres[4][3] = {{0.99639925710856914, 0.83977141539752487, 8.9979583790153264},
                                {0.9926705980077386, 8.8422212056890128, 0.99682156894356011},
                                {9.0049419389069083, 0.84067099598050121, 0.99168475887179375},
                                {1.0001279162093997, 0.8413216251060367, 0.99109518908709293}};
  const double Within[4] = {484.02221959970393, 482.51154190872211, 484.74415710733354, 481.06422308079368};
  EXPECT_TRUE(Fit.Converged);
  EXPECT_EQ(Fit.Passes, 2);
  for (std::size_t c = 0; c < 4; ++c) {
    EXPECT_EQ(Fit.Sums.Count(c), 500u);
    ExpectDigits(Fit.Sums.WithinSS(c), Within[c], 12);
    for (std::size_t j = 0; j < 3; ++j) ExpectDigits(Fit.Centres.Centre(c)[j], Centres[c][j], 12);
  }
  ExpectDigits(Fit.Sums.TotWithinSS(), 1932.3421416965532, 12);
}

// Ten overlapping clusters in 30,000 rows: the best of ten starts (the
// sample is every row) then Lloyd's passes reach a total within-cluster
// sum of squares no larger than R's best of ten starts of its default
// method, set.seed(1); kmeans(x, 10, nstart = 10): 67359.142044112377.
// The passes give the same bits on one thread and three, the starts on
// one and four.
// A pass counts the rows whose nearest centre moved from the previous
// centres' cluster: none when the centres are the same, every row of a
// cluster whose centre is moved past another.
TEST(EngineKMeansTest, APassCountsTheRowsThatChangeCluster) {
  const std::vector<std::vector<double>> X = {{0, 0.1, 0.2, 5, 5.1}};
  const TBatch Data = MakeBatch(X);
  const auto Centres = std::make_shared<const TCentres>(2, 1, std::vector<double>{0.1, 5.05});
  const auto Swapped = std::make_shared<const TCentres>(2, 1, std::vector<double>{5.05, 0.1});
  const auto Moved = std::make_shared<const TCentres>(2, 1, std::vector<double>{0.1, 0.16});
  const auto Pass = [&](std::shared_ptr<const TCentres> Previous) {
    TLloydSums Sums(Centres, nullptr, std::move(Previous));
    Sums.Add(Data);
    return Sums.Changed();
  };
  EXPECT_EQ(Pass(nullptr), 0u);
  EXPECT_EQ(Pass(Centres), 0u);
  EXPECT_EQ(Pass(Swapped), 5u);
  EXPECT_EQ(Pass(Moved), 1u);  // 0.2 was nearer 0.16
}

TEST(EngineKMeansTest, TenClustersAtLeastAsWellAsRsBestOfTen) {
  const auto X = Overlapping();
  const TBatch Data = MakeBatch(X);
  const std::size_t Step = SampleStep(30000, 50000);
  ASSERT_EQ(Step, 1u);
  const TKMeansSample Sample = SampleOf(Data, Step);
  const TCentres Start = SampleStart(Sample, {10, 1, 10, 100, 1});
  EXPECT_EQ(SampleStart(Sample, {10, 1, 10, 100, 4}), Start);
  const TLloydResult Fit = Lloyd(PassOver(Data, 3, 4096), Start, 100);
  EXPECT_TRUE(Fit.Converged);
  EXPECT_EQ(Fit.Sums.Rows(), 30000u);
  EXPECT_LE(static_cast<double>(Fit.Sums.TotWithinSS()), 67359.142044112377 * (1 + 1e-12));
  const TLloydResult One = Lloyd(PassOver(Data, 1, 4096), Start, 100);
  EXPECT_EQ(One.Centres, Fit.Centres);
  EXPECT_EQ(One.Sums.TotWithinSS(), Fit.Sums.TotWithinSS());
}

// The sample takes complete rows 0, Step, 2·Step, … of the data set, however
// the batches cut it, and standardises them; the counts of complete rows
// tell each batch where its rows begin.
TEST(EngineKMeansTest, SampleIsTheSameRowsWhateverTheBatches) {
  std::vector<std::vector<double>> X = {{0, 1, NaN, 3, 4, 5, 6, 7, 8, 9}, {0, 10, 20, 30, 40, 50, 60, 70, 80, 90}};
  const TBatch Data = MakeBatch(X);
  TCompleteRows Rows;
  std::vector<TBatch> Batches = CutBatches(Data, 4);
  for (const TBatch& B : Batches) Rows.Add(B);
  EXPECT_EQ(Rows.Total(), 9u);
  EXPECT_EQ(Rows.Before(8), 7u);
  EXPECT_THROW(Rows.Before(5), EEngineError);
  const auto Scaling = std::make_shared<const TKMeansScaling>(TKMeansScaling{{1, 10}, {2, 10}});
  TKMeansSample Merged;
  for (const TBatch& B : Batches) {
    TKMeansSample Part(2, 3, Rows.Before(B.FirstRow), Scaling);
    Part.Add(B);
    Merged.Merge(Part);
  }
  // Complete rows 0, 3, 6: data rows 0, 4, 7.
  EXPECT_EQ(Merged.Columns()[0], (std::vector<double>{-0.5, 1.5, 3}));
  EXPECT_EQ(Merged.Columns()[1], (std::vector<double>{-1, 3, 6}));
  TMoments M(2);
  M.Add(Data);
  const TKMeansScaling S = ScalingOf(M, 2);
  EXPECT_NEAR(static_cast<double>(S.Centre[0]), 43.0 / 9, 1e-15 * 5);
  X[1].assign(10, 7.0);
  TMoments Flat(2);
  Flat.Add(MakeBatch(X));
  EXPECT_THROW(ScalingOf(Flat, 2), EEngineError);
}

// A sample of fewer distinct rows than clusters leaves k-means++ nothing
// to draw; an empty cluster keeps its centre when every row sits on its
// own centre (nothing far to refill it from); the limit of passes ends
// with sums about the centres returned.
TEST(EngineKMeansTest, DegenerateDataAndThePassLimit) {
  const std::vector<std::vector<double>> Same = {{1, 1, 1, 1}, {2, 2, 2, 2}};
  EXPECT_THROW(SampleStart(SampleOf(MakeBatch(Same), 1), {2, 1, 1, 10, 1}), EEngineError);
  EXPECT_THROW(SampleStart(SampleOf(MakeBatch(Same), 1), {5, 1, 1, 10, 1}), EEngineError);
  const TBatch Data = MakeBatch(Same);
  const TCentres Far(2, 2, {1, 2, 100, 100});
  const TLloydResult Fit = Lloyd(PassOver(Data, 1, 2), Far, 10);
  EXPECT_TRUE(Fit.Converged);
  EXPECT_EQ(Fit.Centres, Far);
  EXPECT_EQ(Fit.Sums.Count(1), 0u);
  const auto X = Separated(400);
  const TCentres Start(4, 3, {0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3});
  const TLloydResult Cut = Lloyd(PassOver(MakeBatch(X), 1, 100), Start, 1);
  EXPECT_FALSE(Cut.Converged);
  EXPECT_EQ(Cut.Passes, 1);
  EXPECT_EQ(Cut.Sums.Centres(), Cut.Centres);
}

// An empty cluster takes the row farthest from its nearest centre, the
// lower row of equal distances, never the last row of another cluster:
// rows 0, 1 and 30 about centres 0.5, 25 and 100 leave the third empty;
// 30 (25 from its centre) is its cluster's only row, so row 0 (0.25, as
// row 1) moves, and the first cluster's mean is then 1. However the rows
// are cut and merged, the same row is taken.
TEST(EngineKMeansTest, AnEmptyClusterTakesTheFarthestRowThatCanGo) {
  const std::vector<std::vector<double>> X = {{0, 1, 30}};
  const TBatch Data = MakeBatch(X);
  const auto C = std::make_shared<const TCentres>(3, 1, std::vector<double>{0.5, 25, 100});
  TLloydSums Whole(C), Late(C), Early(C);
  Whole.Add(Data);
  Late.Add(Data.Slice(1, 3));
  Early.Add(Data.Slice(0, 1));
  Late.Merge(Early);
  for (const TLloydSums* S : {&Whole, &Late}) {
    EXPECT_EQ(S->Empty(), 1u);
    EXPECT_EQ(S->Refilled(), 1u);
    EXPECT_EQ(S->Means().Values(), (std::vector<double>{1, 30, 0}));
  }
  // Two empty clusters take the two farthest rows, farthest first: 11 then
  // 10; the passes go on to the partition {0, 1, 2}, {11}, {10}.
  const std::vector<std::vector<double>> Y = {{0, 1, 2, 10, 11}};
  const TLloydResult Fit = Lloyd(PassOver(MakeBatch(Y), 1, 2), TCentres(3, 1, {1, 50, 60}), 10);
  EXPECT_TRUE(Fit.Converged);
  EXPECT_EQ(Fit.Passes, 2);
  EXPECT_EQ(Fit.Centres.Values(), (std::vector<double>{1, 11, 10}));
  EXPECT_EQ(Fit.Sums.Count(0), 3u);
  EXPECT_EQ(Fit.Sums.Empty(), 0u);
  // Rows given one after another as the clustering sees them, numbered
  // from First: row 0, merged after rows 1 and 2, still wins the tie.
  TLloydSums Held(C), First(C);
  Held.AddRows(std::vector<double>{1, 30}, 1);
  First.AddRows(std::vector<double>{0}, 0);
  Held.Merge(First);
  EXPECT_EQ(Held.Means().Values(), Whole.Means().Values());
  EXPECT_EQ(Held.TotWithinSS(), Whole.TotWithinSS());
}

// Two of four centres far from every row: the first pass leaves them
// empty, they are refilled, and the passes end with four clusters of rows,
// the same bits on one thread and three.
TEST(EngineKMeansTest, CentresFarFromTheRowsAreRefilled) {
  const std::vector<std::vector<double>> Columns = Separated(2000);  // the batch's views need them alive
  const TBatch Data = MakeBatch(Columns);
  const TCentres Start(4, 3, {1, 1, 1, 9, 1, 1, 500, 500, 500, -500, 0, 0});
  const TLloydResult Fit = Lloyd(PassOver(Data, 3, 300), Start, 100);
  EXPECT_TRUE(Fit.Converged);
  EXPECT_GE(Fit.Passes, 3);
  for (std::size_t c = 0; c < 4; ++c) EXPECT_GT(Fit.Sums.Count(c), 0u) << c;
  const TLloydResult One = Lloyd(PassOver(Data, 1, 300), Start, 100);
  EXPECT_EQ(One.Centres.Values(), Fit.Centres.Values());
  EXPECT_EQ(One.Sums.TotWithinSS(), Fit.Sums.TotWithinSS());
  EXPECT_EQ(One.Passes, Fit.Passes);
}

}  // namespace
}  // namespace varnel::engine
