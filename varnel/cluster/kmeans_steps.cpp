// SPDX-License-Identifier: Apache-2.0
// The steps of k-means clustering: initial centres, nearest-centre
// assignment, the within-cluster sum of squares and the recomputed centres.
// Centre q (1..K) is row q - 1 of the table and variable j column j - 1.
// A cluster count outside 1..100 or a variable count above 24 does not fit
// the table; each step then reports the failure with its own message.
#include "varnel/cluster/kmeans_steps.h"

#include <memory>

#include <array>
#include <cmath>

#include "varnel/core/checked.h"
#include "varnel/core/faults.h"
#include "varnel/core/guard.h"
#include "varnel/core/textfile.h"
#include "varnel/korlen.h"

namespace varnel {
namespace {

// The data sizes that stay inside the data matrix and the assignment table.
bool DataSizesValid(const TRegressData* X, int N) { return X != nullptr && N <= MaxObs; }

// Sizes that do not fit the tables are a failure of the step, reported by
// its guard like any other.
void Require(bool SizesFit) {
  if (!SizesFit) throw EVarnelError("k-means sizes outside the centre or assignment table");
}

// Even spacing of K centres over [Lo, Hi], each stored as a double and the
// next one built from that double.
void SpreadCentres(TClusterCenters& C, int j, Extended Lo, Extended Hi, int K) {
  const Extended h = Div(Finite(Hi - Lo), K);
  C[0][j] = ToDouble(Lo + 0.5L * h);
  for (int q = 1; q < K; ++q) C[q][j] = ToDouble(h + C[q - 1][j]);
}

void AppendInitialBlock(const TClusterCenters& C, int k, int K, const std::string& FileName) {
  TTextFile F(FileName);
  F.Append();
  F.WriteLn();
  F.WriteLn("Initial Cluster Centers:");
  for (int q = 0; q < K; ++q) {
    F.Write("Cluster#: ");
    F.Write(std::int64_t{q + 1}, 3);
    for (int j = 0; j < k; ++j) {
      F.Write("  ");
      F.Write(Extended(C[q][j]), 8, 2);
    }
    F.WriteLn();
  }
  F.WriteLn();
  F.Close();
}

void AppendMeansBlock(const TClusterCenters& C, const std::array<int, 100>& Count, Extended SSE, int k, int K,
                      const std::string& FileName) {
  TTextFile F(FileName);
  F.Append();
  F.WriteLn();
  for (int q = 0; q < K; ++q) {
    F.Write("Cluster#: ");
    F.Write(std::int64_t{q + 1}, 3);
    F.Write(" N:");
    F.Write(std::int64_t{Count[q]}, 5);
    for (int j = 0; j < k; ++j) {
      F.Write("  ");
      F.Write(Extended(C[q][j]), 6, 2);
    }
    F.WriteLn();
  }
  F.Write("Total SSE: ");
  F.Write(SSE, 12, 2);
  F.WriteLn();
  F.WriteLn();
  F.Close();
}

}  // namespace

bool InitialClusterCenters(const TVector& Min, const TVector& Max, int k, int K, const std::string& FileName,
                           TClusterCenters& Centres) {
  return Guard("ClusterInitialError", [&] {
    Require(ClusterSizesValid(k, K));
    const auto C = std::make_unique<TClusterCenters>();  // 20 KB: a work block, not stack
    for (int j = 0; j < k; ++j) SpreadCentres(*C, j, Min[j], Max[j], K);
    AppendInitialBlock(*C, k, K, FileName);
    Centres = *C;
  });
}

TClusterCenters TKorlen::ComputeInitialClusterCenters(const TVector& /*Unused*/, const TVector& Min,
                                                      const TVector& Max, Byte k, Byte K,
                                                      const std::string& FileName) {
  TClusterCenters Centres{};
  InitialClusterCenters(Min, Max, k, K, FileName, Centres);
  return Centres;
}

TClusterCenters TKorlen::ComputeInitialClusterCentersStdDev(const TVector& Mean, const TMatrix& Cov, Byte k,
                                                            Byte K) {
  TClusterCenters Centres{};
  Guard("ClusterInitialStdDevError", [&] {
    Require(ClusterSizesValid(k, K));
    const auto C = std::make_unique<TClusterCenters>();
    for (int j = 0; j < k; ++j) {
      const Extended Spread = Finite(4 * Sqrt(Cov[j][j]));
      SpreadCentres(*C, j, Finite(Mean[j] - Spread), Finite(Mean[j] + Spread), K);
    }
    Centres = *C;
  });
  return Centres;
}

TClusterAssignment TKorlen::AssignDataToCluster(const TRegressData* X, const TClusterCenters& C, Byte K, Byte k,
                                                int N) {
  TClusterAssignment A{};
  Guard("ClusterAssignError", [&] {
    Require(ClusterSizesValid(k, K) && DataSizesValid(X, N));
    std::array<double, MaxVars> x{};
    for (int t = 0; t < N; ++t) {
      for (int j = 0; j < k; ++j) x[j] = (*X)[j + 1][t];
      int Best = 0;
      Extended BestDist = 0;
      for (int q = 0; q < K; ++q) {
        Extended Sum = 0;
        for (int j = 0; j < k; ++j) {
          const Extended d = Extended(x[j]) - C[q][j];
          Sum += d * d;
        }
        const Extended Dist = Sqrt(Sum);
        if (q == 0 || Dist < BestDist) {
          Best = q;
          BestDist = Dist;
        }
      }
      A[t] = static_cast<Byte>(Best + 1);
    }
  });
  return A;
}

// Observations whose cluster number lies outside the table (0 is what an
// interrupted assignment leaves) belong to no cluster and add nothing.
Extended TKorlen::CalcClusterSSE(const TRegressData* X, const TClusterAssignment& A, const TClusterCenters& C,
                                 Byte k, int N) {
  if (k > MaxVars || !DataSizesValid(X, N)) return 0;
  Extended SSE = 0;
  for (int t = 0; t < N; ++t) {
    const int a = A[t];
    if (a < 1 || a > 100) continue;
    for (int j = 0; j < k; ++j) {
      const Extended d = C[a - 1][j] - Extended((*X)[j + 1][t]);
      SSE += d * d;
    }
  }
  return Finite(SSE);
}

TClusterCenters TKorlen::ComputeClusterMeans(const TRegressData* X, const TClusterAssignment& A, Byte K, Byte k,
                                             int N, const std::string& FileName) {
  TClusterCenters Centres{};
  Guard("ClusterMeansError", [&] {
    Require(ClusterSizesValid(k, K) && DataSizesValid(X, N));
    std::array<int, 100> Count{};
    const auto Sums = std::make_unique<TClusterCenters>();
    TClusterCenters& Sum = *Sums;
    for (int t = 0; t < N; ++t) {
      const int a = A[t];
      if (a < 1 || a > K) continue;
      for (int j = 0; j < k; ++j) Sum[a - 1][j] = ToDouble(Sum[a - 1][j] + Extended((*X)[j + 1][t]));
      ++Count[a - 1];
    }
    for (int q = 0; q < K; ++q) {
      if (Count[q] == 0) continue;
      for (int j = 0; j < k; ++j) Centres[q][j] = ToDouble(Div(Sum[q][j], Count[q]));
    }
    const Extended SSE = CalcClusterSSE(X, A, Centres, k, N);
    AppendMeansBlock(Centres, Count, SSE, k, K, FileName);
  });
  return Centres;
}

}  // namespace varnel
