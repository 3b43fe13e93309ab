// SPDX-License-Identifier: Apache-2.0
#include "varnel/cluster/kmeans_bounds.h"

#include <cstddef>

namespace varnel {

void TBounds::Reset(int N, int K, int k) {
  FK = K;
  Fk = k;
  for (std::vector<double>* v : {&FUpper, &FToNext, &FBeyond}) v->resize(N);
  FNear.resize(N);
  FNext.resize(N);
  FAt.assign(static_cast<std::size_t>(K) * k, 0.0);
  FShift.assign(K, 0.0);
  FReach.assign(K, 0.0);
  FMost = {-1, -1, -1};
  FMoves = 0;
}

void TBounds::Set(int t, int c, double D2, int Next, double ToNext, double Beyond) {
  FNear[t] = c;
  FNext[t] = Next < 0 ? c : Next;
  SetUpper(t, D2);
  FToNext[t] = Lowered(ToNext, FShift[FNext[t]]);
  FBeyond[t] = Lowered(Beyond, MostBut(c, FNext[t]));
}

// A reach only grows within the epoch, so a centre enters the three
// largest or moves up among them, never down.
void TBounds::Moved(int c, const double* Centre) {
  const double* At = FAt.data() + static_cast<std::size_t>(c) * Fk;
  double D2 = 0;
  for (int j = 0; j < Fk; ++j) D2 += (Centre[j] - At[j]) * (Centre[j] - At[j]);
  FShift[c] = TrueUpper(D2);
  FReach[c] = std::max(FReach[c], FShift[c]);
  ++FMoves;
  int r = static_cast<int>(std::find(FMost.begin(), FMost.end(), c) - FMost.begin());
  if (r == 3) {
    if (FMost[2] >= 0 && FReach[c] <= FReach[FMost[2]]) return;
    r = 2;
  }
  for (; r > 0 && (FMost[r - 1] < 0 || FReach[c] > FReach[FMost[r - 1]]); --r) FMost[r] = FMost[r - 1];
  FMost[r] = c;
}

// Each bound is carried from where the centres began the epoch to where
// they stand now: by the shift of its own centres, or by the largest reach
// of the centres it covers.
void TBounds::Settle(const double* Centres) {
  if (FMoves > 0) {
    for (std::size_t t = 0; t < FNear.size(); ++t) {
      const int Near = FNear[t], Next = FNext[t];
      FUpper[t] = Raised(FUpper[t], FShift[Near]);
      FToNext[t] = Lowered(FToNext[t], FShift[Next]);
      FBeyond[t] = Lowered(FBeyond[t], MostBut(Near, Next));
    }
    std::fill(FShift.begin(), FShift.end(), 0.0);
    std::fill(FReach.begin(), FReach.end(), 0.0);
    FMost = {-1, -1, -1};
    FMoves = 0;
  }
  std::copy(Centres, Centres + FAt.size(), FAt.begin());
}

}  // namespace varnel
