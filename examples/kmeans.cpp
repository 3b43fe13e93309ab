// SPDX-License-Identifier: Apache-2.0
// k-means of the six swiss variables into three clusters from ten
// k-means++ starts: the same seed gives the same clusters on every
// machine. Prints the sums of squares and each cluster's size and centre.
#include <cstdio>
#include <memory>

#include "swiss_data.h"

int main(int argc, char** argv) {
  const auto Korlen = std::make_unique<varnel::TKorlen>();
  const int N = example::LoadSwiss(*Korlen, example::DataPath(argc, argv), true);
  const int K = 6, Clusters = 3;
  const auto Centres = std::make_unique<varnel::TClusterCenters>();
  const auto Assignment = std::make_unique<varnel::TClusterAssignment>();
  const varnel::TKMeansRec Result =
      Korlen->KMeansClusters(Korlen->PRegressData, K, N, Clusters, /*Seed=*/1, /*Starts=*/10, *Centres, *Assignment);
  if (Result.N == 0) return 1;
  std::printf("total SS %.9Lg = within %.9Lg + between %.9Lg\n", Result.TotSS, Result.TotWithinSS, Result.BetweenSS);
  for (int c = 0; c < Clusters; ++c) {
    std::printf("cluster %d: %2d provinces, within SS %10.4Lf, centre", c + 1, Result.Size[c], Result.WithinSS[c]);
    for (int j = 0; j < K; ++j) std::printf(" %.2f", (*Centres)[c][j]);
    std::printf("\n");
  }
  return 0;
}
