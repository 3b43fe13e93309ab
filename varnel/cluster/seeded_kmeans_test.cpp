// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <numeric>
#include <vector>

#include "varnel/cluster/seeded_kmeans.h"
#include "varnel/korlen.h"
#include "varnel/testing/message_recorder.h"

namespace varnel {
namespace {

// 200 observations of three variables in four groups, by integer
// arithmetic that R repeats exactly:
//   t <- 0:199; g <- t %% 4
//   x <- cbind(g*3 + ((t*37) %% 101)/50, (g %% 2)*4 + ((t*53) %% 97)/40, ((t*71) %% 89)/30)
class SeededKMeansTest : public ::testing::Test {
 protected:
  static constexpr int N = 200;
  std::unique_ptr<TKorlen> K = std::make_unique<TKorlen>();
  std::unique_ptr<TClusterCenters> Centres = std::make_unique<TClusterCenters>();
  std::unique_ptr<TClusterAssignment> Assignment = std::make_unique<TClusterAssignment>();

  void SetUp() override {
    for (int t = 0; t < N; ++t) {
      const int g = t % 4;
      (*K->PRegressData)[1][t] = g * 3 + ((t * 37) % 101) / 50.0;
      (*K->PRegressData)[2][t] = (g % 2) * 4 + ((t * 53) % 97) / 40.0;
      (*K->PRegressData)[3][t] = ((t * 71) % 89) / 30.0;
    }
  }
  TKMeansRec Run(int Clusters, std::uint64_t Seed, int Starts = 10) {
    return K->KMeansClusters(K->PRegressData, 3, N, static_cast<Byte>(Clusters), Seed, Starts, *Centres, *Assignment);
  }
};

// R 4.2, kmeans(x, K, nstart = 10, iter.max = 100) over set.seed(1..20):
// the largest tot.withinss of the 20, and the least of nstart = 2000.
TEST_F(SeededKMeansTest, NoWorseThanRsTenStarts) {
  struct TCase {
    int Clusters;
    double RWorstOfTen, RBest;
  };
  for (const TCase& C : {TCase{4, 314.843096944444, 314.843096944444}, TCase{6, 241.84251987037, 232.338584863076},
                         TCase{9, 175.081170870432, 149.596650904442}}) {
    for (std::uint64_t Seed = 1; Seed <= 5; ++Seed) {
      const TKMeansRec Rec = Run(C.Clusters, Seed);
      ASSERT_EQ(Rec.N, N);
      EXPECT_LE(Rec.TotWithinSS, C.RWorstOfTen * (1 + 1e-12)) << C.Clusters << " seed " << Seed;
      EXPECT_GE(Rec.TotWithinSS, C.RBest * (1 - 1e-12)) << C.Clusters << " seed " << Seed;
      EXPECT_NEAR(Rec.TotSS, 3382.25510709722, 1e-9);
    }
  }
}

// The record agrees with itself and with the data: sizes add up, every
// centre is its cluster's mean, the sums of squares are those of the
// assignment, and no single move would lower the total.
TEST_F(SeededKMeansTest, RecordCentresAndAssignmentAgree) {
  const int Clusters = 6;
  const TKMeansRec Rec = Run(Clusters, 7);
  ASSERT_EQ(Rec.N, N);
  EXPECT_EQ(Rec.Clusters, Clusters);
  EXPECT_EQ(Rec.Starts, 10);
  EXPECT_EQ(std::accumulate(Rec.Size.begin(), Rec.Size.begin() + Clusters, 0), N);
  long double Mean[Clusters][3] = {}, Within[Clusters] = {}, Total = 0;
  int Size[Clusters] = {};
  for (int t = 0; t < N; ++t) {
    const int c = (*Assignment)[t] - 1;
    ASSERT_TRUE(c >= 0 && c < Clusters);
    ++Size[c];
    for (int j = 0; j < 3; ++j) Mean[c][j] += (*K->PRegressData)[j + 1][t];
  }
  for (int c = 0; c < Clusters; ++c) {
    EXPECT_EQ(Size[c], Rec.Size[c]);
    for (int j = 0; j < 3; ++j) EXPECT_NEAR((*Centres)[c][j], Mean[c][j] / Size[c], 1e-13);
  }
  auto Distance = [&](int t, int c) {
    long double d = 0;
    for (int j = 0; j < 3; ++j) d += std::pow((*K->PRegressData)[j + 1][t] - Mean[c][j] / Size[c], 2);
    return d;
  };
  for (int t = 0; t < N; ++t) {
    const int a = (*Assignment)[t] - 1;
    Within[a] += Distance(t, a);
    for (int b = 0; b < Clusters && Size[a] > 1; ++b) {
      if (b == a) continue;
      const long double Change = Size[b] / (Size[b] + 1.0L) * Distance(t, b) - Size[a] / (Size[a] - 1.0L) * Distance(t, a);
      EXPECT_GE(Change, -1e-12L) << "moving " << t << " to " << b + 1;
    }
  }
  for (int c = 0; c < Clusters; ++c) {
    EXPECT_NEAR(Rec.WithinSS[c], Within[c], 1e-11L);
    Total += Within[c];
  }
  EXPECT_NEAR(Rec.TotWithinSS, Total, 1e-11L);
  EXPECT_NEAR(Rec.BetweenSS, Rec.TotSS - Rec.TotWithinSS, 1e-11L);
}

TEST_F(SeededKMeansTest, SameSeedSameClustersAndBadRequests) {
  const TKMeansRec First = Run(9, 42, 3);
  const TClusterAssignment Kept = *Assignment;
  const TClusterCenters KeptCentres = *Centres;
  // Progress hears each start once, and listening changes nothing.
  std::vector<double> Heard;
  const TKMeansRec Again = K->KMeansClusters(K->PRegressData, 3, N, 9, 42, 3, *Centres, *Assignment,
                                             [&Heard](double Done) { Heard.push_back(Done); });
  EXPECT_EQ(Heard, (std::vector<double>{1.0 / 3, 2.0 / 3, 1.0}));
  EXPECT_EQ(First.TotWithinSS, Again.TotWithinSS);
  EXPECT_EQ(Kept, *Assignment);
  EXPECT_EQ(KeptCentres, *Centres);
  EXPECT_EQ(Run(3, 1, 0).N, 0);
  EXPECT_EQ(K->KMeansClusters(K->PRegressData, 3, 2, 3, 1, 1, *Centres, *Assignment).N, 0);
  // Five clusters of four distinct points: nothing to draw the fifth from.
  for (int t = 0; t < N; ++t) {
    for (int j = 1; j <= 3; ++j) (*K->PRegressData)[j][t] = t % 4;
  }
  testing::TMessageRecorder Messages;
  EXPECT_EQ(Run(5, 1).N, 0);
  EXPECT_EQ(Messages.Count("Error occurred in  KMeansClusters"), 1);
  EXPECT_EQ(Run(4, 1).TotWithinSS, 0);
}

// One run of the seeded k-means, everything it returns kept.
struct TRun {
  TKMeansRec Rec;
  std::unique_ptr<TClusterCenters> Centres = std::make_unique<TClusterCenters>();
  std::unique_ptr<TClusterAssignment> Assignment = std::make_unique<TClusterAssignment>();
  std::vector<double> Heard;
};

TRun RunWith(const TRegressData& X, int k, int N, int Clusters, std::uint64_t Seed, int Starts, TKMeansWork Work) {
  TRun R;
  R.Rec = SeededKMeans(&X, k, N, Clusters, Seed, Starts, *R.Centres, *R.Assignment,
                       [&R](double Done) { R.Heard.push_back(Done); }, Work);
  return R;
}

// The same bits everywhere: every centre, assignment, size, sum of squares
// and iteration count, and the same progress heard.
void ExpectSameRun(const TRun& A, const TRun& B, const std::string& What) {
  ASSERT_GT(A.Rec.N, 0) << What;
  EXPECT_EQ(A.Rec.Iterations, B.Rec.Iterations) << What;
  EXPECT_EQ(A.Rec.TotWithinSS, B.Rec.TotWithinSS) << What;
  EXPECT_EQ(A.Rec.WithinSS, B.Rec.WithinSS) << What;
  EXPECT_EQ(A.Rec.Size, B.Rec.Size) << What;
  EXPECT_EQ(std::memcmp(A.Centres->data(), B.Centres->data(), sizeof(TClusterCenters)), 0) << What;
  EXPECT_EQ(*A.Assignment, *B.Assignment) << What;
  EXPECT_EQ(A.Heard, B.Heard) << What;
}

// Data sets by integer arithmetic: groups in 24 variables with a spread
// that differs by group and a few far observations; a grid of 3 variables
// with 89 distinct points among 500 (ties of every kind, duplicates); and 40
// observations of 2 variables whose first start with seed 23 and 10
// clusters empties a cluster in Lloyd's iterations.
void FillGroups(TRegressData& X, int N) {
  for (int t = 0; t < N; ++t) {
    const int g = t % 7;
    for (int j = 1; j <= 24; ++j) {
      const double Noise = ((t * 37 + j * 101) % 211 - 105) / 40.0 * (1 + g % 3);
      X[j][t] = (t % 50 == 0 ? 40 : ((g * 13 + j * 7) % 17) * 3.0) + Noise;
    }
  }
}

void FillGrid(TRegressData& X, int N) {
  for (int t = 0; t < N; ++t) X[1][t] = t % 6, X[2][t] = t * 7 / 5 % 5, X[3][t] = t * 3 / 7 % 4;
}

void FillEmptying(TRegressData& X, int N) {
  for (int t = 0; t < N; ++t) {
    const double a = (t * 37) % 101, b = (t * 53) % 97;
    X[1][t] = a * a / 1000;
    X[2][t] = b / 10;
  }
}

// The bounds only spare distances: with them and without, every decision
// and so every bit of the result is the same.
TEST(SeededKMeansWorkTest, BoundsChangeNoDecision) {
  const auto X = std::make_unique<TRegressData>();
  struct TCase {
    void (*Fill)(TRegressData&, int);
    int k, N, Clusters, Starts;
    std::uint64_t Seed;
  };
  for (const TCase& C : {TCase{FillGroups, 24, 700, 2, 4, 1}, TCase{FillGroups, 24, 700, 10, 4, 2},
                         TCase{FillGroups, 24, 700, 30, 3, 3}, TCase{FillGrid, 3, 500, 5, 6, 4},
                         TCase{FillGrid, 3, 500, 30, 6, 5}, TCase{FillEmptying, 2, 40, 10, 3, 23}}) {
    C.Fill(*X, C.N);
    const std::string What = std::to_string(C.N) + " observations, " + std::to_string(C.Clusters) + " clusters";
    ExpectSameRun(RunWith(*X, C.k, C.N, C.Clusters, C.Seed, C.Starts, {true, 1}),
                  RunWith(*X, C.k, C.N, C.Clusters, C.Seed, C.Starts, {false, 1}), What);
  }
}

// The starts are drawn in one order and taken in it, whatever the number of
// threads; the best start is the first of the least.
TEST(SeededKMeansWorkTest, ThreadsChangeNothing) {
  const auto X = std::make_unique<TRegressData>();
  FillGroups(*X, 700);
  const TRun One = RunWith(*X, 24, 700, 10, 9, 7, {true, 1});
  EXPECT_EQ(One.Heard.size(), 7u);
  for (unsigned Threads : {2u, 3u, 8u}) {
    ExpectSameRun(One, RunWith(*X, 24, 700, 10, 9, 7, {true, Threads}), std::to_string(Threads) + " threads");
  }
  // A start that fails fails the whole call, on any number of threads: five
  // distinct points cannot seed six clusters.
  for (int t = 0; t < 500; ++t) (*X)[3][t] = (*X)[2][t] = (*X)[1][t] = t % 5;
  testing::TMessageRecorder Messages;
  for (unsigned Threads : {1u, 4u}) EXPECT_EQ(RunWith(*X, 3, 500, 6, 1, 5, {true, Threads}).Rec.N, 0);
  EXPECT_EQ(Messages.Count("Error occurred in  KMeansClusters"), 2);
}

}  // namespace
}  // namespace varnel
