// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "varnel/core/textfile.h"
#include "varnel/korlen.h"
#include "varnel/testing/data_sets.h"
#include "varnel/testing/cluster_files.h"
#include "varnel/testing/message_recorder.h"

namespace varnel {
namespace {

using testing::TMessageRecorder;

using testing::Vec;

class KMeansStepsTest : public ::testing::Test {
 protected:
  TKorlen Korlen;
  testing::TTempDir Dir;
  std::string Report = Dir.File("report.txt");
  TMessageRecorder Messages;

  void SetUp() override {
    TTextFile F(Report);
    F.Rewrite();
    // Five observations of two variables.
    const double X1[] = {0, 1, 2, 3, 10};
    for (int t = 0; t < 5; ++t) {
      (*Korlen.PRegressData)[1][t] = X1[t];
      (*Korlen.PRegressData)[2][t] = 1;
    }
  }
  std::string Written() const { return testing::ReadWholeFile(Report); }
};

TEST_F(KMeansStepsTest, InitialCentresSpreadOverTheRangeAndAppendTheirBlock) {
  const TClusterCenters C =
      Korlen.ComputeInitialClusterCenters(Vec({99, 99, 99}), Vec({0, 5, -1e6L}), Vec({10, 5, 0}), 3, 4, Report);
  const double Want[4][3] = {{1.25, 5, -875000}, {3.75, 5, -625000}, {6.25, 5, -375000}, {8.75, 5, -125000}};
  for (int q = 0; q < 4; ++q) {
    for (int j = 0; j < 3; ++j) EXPECT_EQ(C[q][j], Want[q][j]) << q << " " << j;
    EXPECT_EQ(C[q][3], 0);
  }
  EXPECT_EQ(C[4][0], 0);
  EXPECT_EQ(Written(),
            "\r\nInitial Cluster Centers:\r\n"
            "Cluster#:   1      1.25      5.00  -875000.00\r\n"
            "Cluster#:   2      3.75      5.00  -625000.00\r\n"
            "Cluster#:   3      6.25      5.00  -375000.00\r\n"
            "Cluster#:   4      8.75      5.00  -125000.00\r\n"
            "\r\n");
  // Each centre builds on the double of the one before it.
  const TClusterCenters Thirds = Korlen.ComputeInitialClusterCenters({}, Vec({0}), Vec({1}), 1, 3, Report);
  const long double h = 1.0L / 3;
  EXPECT_EQ(Thirds[0][0], static_cast<double>(0.5L * h));
  EXPECT_EQ(Thirds[2][0], static_cast<double>(h + static_cast<double>(h + Thirds[0][0])));
  EXPECT_TRUE(Messages.Messages().empty());
}

TEST_F(KMeansStepsTest, InitialCentresFailWithoutDeliveringCentres) {
  for (int K : {0, 101, 255}) EXPECT_EQ(Korlen.ComputeInitialClusterCenters({}, Vec({0}), Vec({1}), 1, K, Report), TClusterCenters{});
  EXPECT_EQ(Korlen.ComputeInitialClusterCenters({}, Vec({0}), Vec({1}), 25, 2, Report), TClusterCenters{});
  EXPECT_EQ(Korlen.ComputeInitialClusterCenters({}, Vec({0}), Vec({1}), 1, 2, Dir.File("none/r.txt")),
            TClusterCenters{});
  EXPECT_EQ(Messages.Count("ClusterInitialError"), 5);
  EXPECT_EQ(Written(), "");
  const TClusterCenters S = Korlen.ComputeInitialClusterCentersStdDev(Vec({10}), Korlen.IdentityMatrix(0), 1, 4);
  for (int q = 0; q < 4; ++q) EXPECT_EQ(S[q][0], 10);  // a zero variance puts every centre at the mean
  TMatrix Cov{};
  Cov[0][0] = 4;
  const TClusterCenters T = Korlen.ComputeInitialClusterCentersStdDev(Vec({10}), Cov, 1, 4);
  EXPECT_EQ(T[0][0], 4);
  EXPECT_EQ(T[1][0], 8);
  EXPECT_EQ(T[2][0], 12);
  EXPECT_EQ(T[3][0], 16);
  Cov[0][0] = -4;
  EXPECT_EQ(Korlen.ComputeInitialClusterCentersStdDev(Vec({10}), Cov, 1, 4), TClusterCenters{});
  EXPECT_EQ(Korlen.ComputeInitialClusterCentersStdDev(Vec({10}), Cov, 1, 0), TClusterCenters{});
  EXPECT_EQ(Messages.Count("ClusterInitialStdDevError"), 2);
}

TEST_F(KMeansStepsTest, AssignmentTakesTheNearestCentreAndTheLowerOnTies) {
  TClusterCenters C{};
  C[0][0] = 0, C[1][0] = 2;
  C[0][1] = C[1][1] = 1;
  const TClusterAssignment A = Korlen.AssignDataToCluster(Korlen.PRegressData, C, 2, 2, 5);
  const int Want[] = {1, 1, 2, 2, 2, 0};  // observation 1 is as far from both
  for (int t = 0; t < 6; ++t) EXPECT_EQ(A[t], Want[t]) << t;
  EXPECT_TRUE(Messages.Messages().empty());
  EXPECT_EQ(Korlen.AssignDataToCluster(Korlen.PRegressData, C, 101, 2, 5), TClusterAssignment{});
  EXPECT_EQ(Korlen.AssignDataToCluster(nullptr, C, 2, 2, 5), TClusterAssignment{});
  (*Korlen.PRegressData)[1][3] = NAN;
  const TClusterAssignment Partial = Korlen.AssignDataToCluster(Korlen.PRegressData, C, 2, 2, 5);
  EXPECT_EQ(Partial[2], 2);
  EXPECT_EQ(Partial[3], 0);
  EXPECT_EQ(Partial[4], 0);
  EXPECT_EQ(Messages.Count("ClusterAssignError"), 3);
}

TEST_F(KMeansStepsTest, MeansAverageEachClusterAndEmptyOnesGoToTheOrigin) {
  TClusterAssignment A{};
  const Byte Clusters[] = {1, 1, 2, 2, 2};
  for (int t = 0; t < 5; ++t) A[t] = Clusters[t];
  const TClusterCenters C = Korlen.ComputeClusterMeans(Korlen.PRegressData, A, 3, 2, 5, Report);
  EXPECT_EQ(C[0][0], 0.5);
  EXPECT_EQ(C[0][1], 1);
  EXPECT_EQ(C[1][0], 5);
  EXPECT_EQ(C[2][0], 0);
  EXPECT_EQ(Korlen.CalcClusterSSE(Korlen.PRegressData, A, C, 2, 5), 38.5L);
  EXPECT_EQ(Written(),
            "\r\n"
            "Cluster#:   1 N:    2    0.50    1.00\r\n"
            "Cluster#:   2 N:    3    5.00    1.00\r\n"
            "Cluster#:   3 N:    0    0.00    0.00\r\n"
            "Total SSE:        38.50\r\n"
            "\r\n");
  EXPECT_TRUE(Messages.Messages().empty());
  // An observation without a cluster (as an interrupted assignment leaves
  // it) is counted nowhere and adds nothing to the sum of squares.
  A[4] = 0;
  const TClusterCenters D = Korlen.ComputeClusterMeans(Korlen.PRegressData, A, 2, 2, 5, Report);
  EXPECT_EQ(D[1][0], 2.5);
  EXPECT_EQ(Korlen.CalcClusterSSE(Korlen.PRegressData, A, D, 2, 5), 1);
  EXPECT_EQ(Korlen.CalcClusterSSE(Korlen.PRegressData, A, D, 25, 5), 0);
  EXPECT_TRUE(Messages.Messages().empty());
}

TEST_F(KMeansStepsTest, MeansReportAMissingFileAndBadSizes) {
  TClusterAssignment A{};
  A.fill(1);
  const TClusterCenters C = Korlen.ComputeClusterMeans(Korlen.PRegressData, A, 1, 2, 5, Dir.File("missing.txt"));
  EXPECT_EQ(C[0][0], 3.2);  // computed before the file step failed
  EXPECT_FALSE(FileExists(Dir.File("missing.txt")));
  EXPECT_EQ(Korlen.ComputeClusterMeans(Korlen.PRegressData, A, 0, 2, 5, Report), TClusterCenters{});
  EXPECT_EQ(Korlen.ComputeClusterMeans(Korlen.PRegressData, A, 1, 2, 20001, Report), TClusterCenters{});
  EXPECT_EQ(Messages.Count("ClusterMeansError"), 3);
  EXPECT_EQ(Written(), "");
  // A file step of the initial centres needs the file too.
  EXPECT_EQ(Korlen.ComputeInitialClusterCenters({}, Vec({0}), Vec({1}), 1, 2, Dir.File("missing.txt")),
            TClusterCenters{});
  EXPECT_EQ(Messages.Count("ClusterInitialError"), 1);
  EXPECT_FALSE(FileExists(Dir.File("missing.txt")));
  (*Korlen.PRegressData)[2][0] = INFINITY;
  EXPECT_THROW(Korlen.CalcClusterSSE(Korlen.PRegressData, A, C, 2, 5), EMathError);
}

}  // namespace
}  // namespace varnel
