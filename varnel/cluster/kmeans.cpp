// SPDX-License-Identifier: Apache-2.0
// K-means clustering of the observations with its report file: centres
// spread evenly over each variable's range, then alternating nearest-centre
// assignment and recomputation of the centres, a fixed number of times.
// The steps report their own failures and the run goes on with what they
// returned, except after the initial centres: without them there is nothing
// to cluster around, so the run stops there.
#include <memory>

#include "varnel/core/guard.h"
#include "varnel/core/textfile.h"
#include "varnel/korlen.h"
#include "varnel/cluster/kmeans_steps.h"

namespace varnel {
namespace {

void WriteHeading(const std::string& FileName) {
  TTextFile F(FileName);
  F.Rewrite();
  F.WriteLn("Cluster Results:");
  F.WriteLn();
  F.Close();
}

// Data points are numbered from 1: point p is observation p - 1.
void AppendAssignments(const TClusterAssignment& A, int N, const std::string& FileName) {
  TTextFile F(FileName);
  F.Append();
  F.WriteLn();
  F.WriteLn("Final Cluster Assignments:");
  F.WriteLn();
  for (int t = 0; t < N; ++t) {
    F.Write("Data Point: ");
    F.Write(std::int64_t{t + 1});
    F.Write(" Cluster: ");
    F.Write(std::int64_t{A[t]});
    F.WriteLn();
  }
  F.Close();
}

}  // namespace

void TKorlen::KMeansClustering(const TRegressData* X, Byte k, int N, Byte K, Byte Iterations,
                               const std::string& FileName) {
  if (X == nullptr || N > MaxObs) return;
  Guard("KMeansClusterError", [&] {
    WriteHeading(FileName);
    const TVector Min = MinVector(X, k, N);
    const TVector Max = MaxVector(X, k, N);
    const TVector Mean = MeanVector(X, k, N);
    (void)Mean;  // handed to the initial step, which spreads over the range only
    // The centres and the assignment are 20 KB each: work blocks on the heap.
    const auto Centres = std::make_unique<TClusterCenters>();
    const auto Assignment = std::make_unique<TClusterAssignment>();
    if (!InitialClusterCenters(Min, Max, k, K, FileName, *Centres)) return;
    for (int r = 0; r <= Iterations; ++r) {
      *Assignment = AssignDataToCluster(X, *Centres, K, k, N);
      *Centres = ComputeClusterMeans(X, *Assignment, K, k, N, FileName);
    }
    AppendAssignments(*Assignment, N, FileName);
  });
}

}  // namespace varnel
