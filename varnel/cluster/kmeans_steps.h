// SPDX-License-Identifier: Apache-2.0
// Internal entry points of the k-means steps that the whole procedure needs
// beyond what the public methods return.
#pragma once

#include <string>

#include "varnel/core/types.h"

namespace varnel {

// Cluster numbers and variable counts that fit the fixed-size centre table.
inline bool ClusterSizesValid(int k, int K) { return k >= 0 && k <= MaxVars && K >= 1 && K <= 100; }

// Spreads K centres evenly over [Min, Max] of every variable and appends the
// initial-centres block to the report file. On a failure (shown as
// "ClusterInitialError") it returns false and Centres is left unchanged.
bool InitialClusterCenters(const TVector& Min, const TVector& Max, int k, int K, const std::string& FileName,
                           TClusterCenters& Centres);

}  // namespace varnel
