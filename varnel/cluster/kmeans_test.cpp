// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "varnel/core/format.h"
#include "varnel/core/textfile.h"
#include "varnel/korlen.h"
#include "varnel/testing/cluster_files.h"
#include "varnel/testing/message_recorder.h"
#include "varnel/testing/report_lines.h"

namespace varnel {
namespace {

using testing::TMessageRecorder;
using TPoints = std::vector<std::vector<double>>;  // [observation][variable]

// Lloyd's algorithm written out independently: centres spread evenly over
// each variable's range, squared distances, ties to the lower cluster,
// means summed in extended precision.
struct TLloyd {
  std::vector<std::vector<long double>> Centres;
  std::vector<int> Assignment, Count;

  TLloyd(const TPoints& P, int K, int Rounds) : Centres(K, std::vector<long double>(P[0].size())) {
    const int k = static_cast<int>(P[0].size());
    for (int j = 0; j < k; ++j) {
      double Lo = P[0][j], Hi = P[0][j];
      for (const auto& x : P) Lo = std::min(Lo, x[j]), Hi = std::max(Hi, x[j]);
      const long double h = (static_cast<long double>(Hi) - Lo) / K;
      double c = static_cast<double>(Lo + h / 2);
      for (int q = 0; q < K; ++q, c = static_cast<double>(h + c)) Centres[q][j] = c;
    }
    for (int r = 0; r < Rounds; ++r) {
      Assignment.clear();
      for (const auto& x : P) {
        int Best = 0;
        long double BestD = 0;
        for (int q = 0; q < K; ++q) {
          long double D = 0;
          for (int j = 0; j < k; ++j) D += (x[j] - Centres[q][j]) * (x[j] - Centres[q][j]);
          if (q == 0 || D < BestD) Best = q, BestD = D;
        }
        Assignment.push_back(Best);
      }
      Count.assign(K, 0);
      std::vector<std::vector<long double>> Sum(K, std::vector<long double>(k));
      for (std::size_t t = 0; t < P.size(); ++t) {
        ++Count[Assignment[t]];
        for (int j = 0; j < k; ++j) Sum[Assignment[t]][j] += P[t][j];
      }
      for (int q = 0; q < K; ++q) {
        for (int j = 0; j < k; ++j) Centres[q][j] = Count[q] ? Sum[q][j] / Count[q] : 0;
      }
    }
  }
};

// Points around K well-separated sites, in a random order.
TPoints Blobs(int k, int n, int K, unsigned Seed) {
  std::mt19937 Engine(Seed);
  std::normal_distribution<double> Noise(0, 1);
  TPoints P(n, std::vector<double>(k));
  for (int t = 0; t < n; ++t) {
    const int Site = static_cast<int>(Engine() % K);
    for (int j = 0; j < k; ++j) P[t][j] = 10.0 * Site + 3 * j + Noise(Engine);
  }
  return P;
}

class KMeansTest : public ::testing::Test {
 protected:
  TKorlen Korlen;
  testing::TTempDir Dir;
  std::string Report = Dir.File("kmeans.txt");

  void Load(const TPoints& P) {
    for (std::size_t t = 0; t < P.size(); ++t) {
      for (std::size_t j = 0; j < P[t].size(); ++j) (*Korlen.PRegressData)[j + 1][t] = P[t][j];
    }
  }
  std::vector<std::string> Lines() const { return testing::ReportLines(testing::ReadWholeFile(Report)); }
};

TEST_F(KMeansTest, ReportFollowsTheFileLayout) {
  Load({{0, 1}, {1, 1}, {2, 1}, {3, 1}, {10, 1}});
  TMessageRecorder Messages;
  Korlen.KMeansClustering(Korlen.PRegressData, 2, 5, 2, 1, Report);
  const std::string Means =
      "\r\n"
      "Cluster#:   1 N:    4    1.50    1.00\r\n"
      "Cluster#:   2 N:    1   10.00    1.00\r\n"
      "Total SSE:         5.00\r\n"
      "\r\n";
  EXPECT_EQ(testing::ReadWholeFile(Report),
            "Cluster Results:\r\n\r\n"
            "\r\nInitial Cluster Centers:\r\n"
            "Cluster#:   1      2.50      1.00\r\n"
            "Cluster#:   2      7.50      1.00\r\n"
            "\r\n" +
                Means + Means +
                "\r\nFinal Cluster Assignments:\r\n\r\n"
                "Data Point: 1 Cluster: 1\r\n"
                "Data Point: 2 Cluster: 1\r\n"
                "Data Point: 3 Cluster: 1\r\n"
                "Data Point: 4 Cluster: 1\r\n"
                "Data Point: 5 Cluster: 2\r\n");
  EXPECT_TRUE(Messages.Messages().empty());
}

TEST_F(KMeansTest, AgreesWithLloydsAlgorithm) {
  for (const auto& [k, n, K, Iterations] : {std::tuple{2, 300, 3, 0}, std::tuple{5, 2000, 4, 6},
                                             std::tuple{24, 19999, 10, 10}}) {
    const TPoints P = Blobs(k, n, K, 100u + k);
    Load(P);
    const TLloyd Ref(P, K, Iterations + 1);
    for (int q = 0; q < K; ++q) ASSERT_GT(Ref.Count[q], 0) << "the reference emptied a cluster";
    // Driving the public steps gives the centres to full precision.
    TTextFile(Report).Rewrite();
    TClusterCenters C = Korlen.ComputeInitialClusterCenters(
        {}, Korlen.MinVector(Korlen.PRegressData, k, n), Korlen.MaxVector(Korlen.PRegressData, k, n), k, K, Report);
    TClusterAssignment A{};
    for (int r = 0; r <= Iterations; ++r) {
      A = Korlen.AssignDataToCluster(Korlen.PRegressData, C, K, k, n);
      C = Korlen.ComputeClusterMeans(Korlen.PRegressData, A, K, k, n, Report);
    }
    for (int q = 0; q < K; ++q) {
      for (int j = 0; j < k; ++j) {
        EXPECT_NEAR(C[q][j], static_cast<double>(Ref.Centres[q][j]), 1e-11 * (1 + std::fabs(C[q][j]))) << q << j;
      }
    }
    // The whole procedure reports the same clusters.
    Korlen.KMeansClustering(Korlen.PRegressData, k, n, K, Iterations, Report);
    const std::vector<std::string> L = Lines();
    ASSERT_EQ(L.size(), 2u + (K + 3) + (Iterations + 1) * (K + 3) + 3 + n);
    const std::size_t LastBlock = L.size() - n - 3 - (K + 2);
    for (int q = 0; q < K; ++q) {
      std::string Want = "Cluster#: " + Format("%3d", {q + 1}) + " N:" + Format("%5d", {Ref.Count[q]});
      for (int j = 0; j < k; ++j) Want += "  " + Format("%6.2f", {C[q][j]});
      EXPECT_EQ(L[LastBlock + q], Want);
    }
    for (int t = 0; t < n; ++t) {
      ASSERT_EQ(L[L.size() - n + t], "Data Point: " + std::to_string(t + 1) +
                                          " Cluster: " + std::to_string(Ref.Assignment[t] + 1));
    }
  }
}

TEST_F(KMeansTest, IterationCountSetsTheNumberOfMeansBlocks) {
  Load(Blobs(3, 40, 2, 9));
  for (int Iterations : {0, 3}) {
    Korlen.KMeansClustering(Korlen.PRegressData, 3, 40, 2, Iterations, Report);
    int Blocks = 0;
    for (const std::string& Line : Lines()) Blocks += Line.rfind("Total SSE: ", 0) == 0;
    EXPECT_EQ(Blocks, Iterations + 1);
    EXPECT_EQ(Lines().back().rfind("Data Point: 40 Cluster: ", 0), 0u);
  }
  // One cluster: its recomputed centre is the mean of the data.
  Load({{1, 2}, {3, 4}, {8, 0}});
  Korlen.KMeansClustering(Korlen.PRegressData, 2, 3, 1, 0, Report);
  EXPECT_EQ(Lines()[7], "Cluster#:   1 N:    3    4.00    2.00");
}

TEST_F(KMeansTest, FailedInitialCentresStopTheRun) {
  Load(Blobs(2, 20, 2, 4));
  for (int K : {0, 101}) {
    TMessageRecorder Messages;
    Korlen.KMeansClustering(Korlen.PRegressData, 2, 20, K, 5, Report);
    EXPECT_EQ(Messages.Texts(), std::vector<std::string>{"ClusterInitialError"}) << K;
    EXPECT_EQ(testing::ReadWholeFile(Report), "Cluster Results:\r\n\r\n");
  }
  TMessageRecorder Messages;
  Korlen.KMeansClustering(Korlen.PRegressData, 2, 20, 2, 5, Dir.File("no/such/dir.txt"));
  EXPECT_EQ(Messages.Texts(), std::vector<std::string>{"KMeansClusterError"});
  Korlen.KMeansClustering(nullptr, 2, 20, 2, 5, Report);
  Korlen.KMeansClustering(Korlen.PRegressData, 2, 20001, 2, 5, Report);
  EXPECT_EQ(Messages.Messages().size(), 1u);
}

TEST_F(KMeansTest, NoObservationsGiveEmptyClusters) {
  TMessageRecorder Messages;
  Korlen.KMeansClustering(Korlen.PRegressData, 1, 0, 2, 0, Report);
  const std::vector<std::string> L = Lines();
  EXPECT_EQ(L[8], "Cluster#:   1 N:    0    0.00");
  EXPECT_EQ(L[10], "Total SSE:         0.00");
  EXPECT_EQ(L.back(), "");
  EXPECT_EQ(L[L.size() - 2], "Final Cluster Assignments:");
  EXPECT_TRUE(Messages.Messages().empty());
}

}  // namespace
}  // namespace varnel
