// SPDX-License-Identifier: Apache-2.0
// Principal components of the six swiss variables, scaled to unit
// variance, as R's summary(prcomp(swiss, scale. = TRUE)): each component's
// standard deviation and share of the variance, and the first loadings.
#include <cstdio>
#include <memory>

#include "swiss_data.h"

int main(int argc, char** argv) {
  const auto Korlen = std::make_unique<varnel::TKorlen>();
  const int N = example::LoadSwiss(*Korlen, example::DataPath(argc, argv), true);
  const int K = 6;
  const varnel::TPrincipalComponentsRec Pca = Korlen->MVPrincipalComponents(Korlen->PRegressData, K, N, true);
  if (Pca.N == 0) return 1;
  std::printf("%4s %12s %12s %12s\n", "PC", "sdev", "proportion", "cumulative");
  for (int j = 0; j < K; ++j)
    std::printf("%4d %12.9Lg %12.5Lf %12.5Lf\n", j + 1, Pca.SDev[j], Pca.Proportion[j], Pca.Cumulative[j]);
  std::printf("\nloadings of PC1:");
  for (int i = 0; i < K; ++i) std::printf(" %s %.4Lf", example::kNames[i], Pca.Rotation[i][0]);
  std::printf("\n");
  return 0;
}
