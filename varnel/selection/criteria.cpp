// SPDX-License-Identifier: Apache-2.0
// Criteria that rate a sub-model of p predictors against the full model of k.
// The integer parts (degrees of freedom) are formed in integer arithmetic
// first, as the formulas are defined, 64 bits wide so that no count a caller
// passes can overflow them; the degenerate cases return their fixed value
// without a message, and only a genuine fault is reported.
#include <cstdint>

#include "varnel/core/checked.h"
#include "varnel/core/guard.h"
#include "varnel/korlen.h"

namespace varnel {

Extended TKorlen::CalcCp(Byte p, int n, Extended SSEp, Extended MSEk) {
  Extended Cp = 0;
  Guard("Error occurred in  CalcCp", [&] {
    const std::int64_t Offset = std::int64_t{n} - 2 * (p + 1);
    const Extended Scaled = Finite(MSEk) != 0 ? Div(SSEp, MSEk) : Finite(SSEp);
    Cp = Finite(Scaled - Extended(Offset));
  });
  return Cp;
}

Extended TKorlen::CalcFp(Byte k, Byte p, Extended R2p, Extended R2k, int n) {
  const int DFDropped = k - p;
  const std::int64_t DFErr = std::int64_t{n} - k - 1;
  if (DFDropped == 0 || DFErr == 0) return 0;
  Extended F = 0;
  Guard("Error occurred in  CalcFp", [&] {
    const Extended Numerator = Div(Finite(R2k - R2p), DFDropped);
    const Extended Denominator = Div(Finite(1 - R2k), Extended(DFErr));
    F = Div(Numerator, Denominator);
  });
  return F;
}

Extended TKorlen::CalcMSEp(Byte p, int n, Extended SSEp) {
  const std::int64_t d = std::int64_t{n} - p - 1;
  if (d == 0) return 0;
  Extended MSE = 0;
  Guard("Error occurred in  CalcMSEp", [&] { MSE = Div(SSEp, Extended(d)); });
  return MSE;
}

}  // namespace varnel
