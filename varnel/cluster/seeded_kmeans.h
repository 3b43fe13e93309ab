// SPDX-License-Identifier: Apache-2.0
// The seeded k-means behind TKorlen::KMeansClusters, with the two choices
// that must not change its results open to the tests: the distance bounds
// that spare most of the distance work, and the threads the starts run on.
#pragma once

#include <cstdint>
#include <functional>

#include "varnel/core/types.h"

namespace varnel {

struct TKMeansWork {
  bool Bounds = true;    // false: every distance computed, every step
  unsigned Threads = 0;  // 0: one per core
};

// What KMeansClusters returns, for the same arguments, worked as Work says.
TKMeansRec SeededKMeans(const TRegressData* X, int k, int N, int K, std::uint64_t Seed, int Starts,
                        TClusterCenters& Centres, TClusterAssignment& Assignment,
                        const std::function<void(double FractionDone)>& Progress, TKMeansWork Work);

}  // namespace varnel
