// SPDX-License-Identifier: Apache-2.0
// Distances between two given vectors, and the interval builder. Variable i
// sits at entry i - 1 of each vector; sizes outside 1..24 give 0 silently.
#include <cmath>

#include "varnel/core/checked.h"
#include "varnel/core/guard.h"
#include "varnel/korlen.h"

namespace varnel {
namespace {

bool PairSizeValid(int n) { return n >= 1 && n <= MaxVars; }

}  // namespace

TIntervalRec TKorlen::MakePiped(Extended a, Extended b, Extended s) {
  return {Finite(a + b * s), Finite(a - b * s)};
}

Extended TKorlen::GetLDistance(const TVector& x, const TVector& y, Byte n) {
  Extended Result = 0;
  if (!PairSizeValid(n)) return Result;
  Guard("Error occurred in  LDistance", [&] {
    Extended Sum = 0;
    for (int i = 0; i < n; ++i) Sum += x[i] - y[i];
    Result = Finite(Sum);
  });
  return Result;
}

Extended TKorlen::GetEuclideanDistance(const TVector& x, const TVector& y, Byte n) {
  Extended Result = 0;
  if (!PairSizeValid(n)) return Result;
  Guard("Error occurred in  EuclideanDistances", [&] {
    Extended Sum = 0;
    for (int i = 0; i < n; ++i) {
      const Extended d = x[i] - y[i];
      Sum += d * d;
    }
    Result = Sqrt(Sum);
  });
  return Result;
}

Extended TKorlen::GetNormEuclideanDistance(const TVector& x, const TVector& y, const TMatrix& C, Byte n) {
  Extended Result = 0;
  if (!PairSizeValid(n)) return Result;
  Guard("Error occurred in  NormEuclideanDistances", [&] {
    Extended Sum = 0;
    for (int i = 0; i < n; ++i) {
      const Extended d = Div(x[i] - y[i], Sqrt(C[i][i]));
      Sum += d * d;
    }
    Result = Sqrt(Sum);
  });
  return Result;
}

}  // namespace varnel
