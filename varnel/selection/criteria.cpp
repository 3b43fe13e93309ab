// Criteria that rate a sub-model of p predictors against the full model of k.
// The integer parts (degrees of freedom) are formed in int arithmetic first,
// as the formulas are defined; the degenerate cases return their fixed value
// without a message, and only a genuine fault is reported.
#include "varnel/core/checked.h"
#include "varnel/core/guard.h"
#include "varnel/korlen.h"

namespace varnel {

Extended TKorlen::CalcCp(Byte p, int n, Extended SSEp, Extended MSEk) {
  Extended Cp = 0;
  Guard("Error occurred in  CalcCp", [&] {
    const int Offset = n - 2 * (p + 1);
    const Extended Scaled = Finite(MSEk) != 0 ? Div(SSEp, MSEk) : Finite(SSEp);
    Cp = Finite(Scaled - Offset);
  });
  return Cp;
}

Extended TKorlen::CalcFp(Byte k, Byte p, Extended R2p, Extended R2k, int n) {
  const int DFDropped = k - p;
  const int DFErr = n - k - 1;
  if (DFDropped == 0 || DFErr == 0) return 0;
  Extended F = 0;
  Guard("Error occurred in  CalcFp", [&] {
    const Extended Numerator = Div(Finite(R2k - R2p), DFDropped);
    const Extended Denominator = Div(Finite(1 - R2k), DFErr);
    F = Div(Numerator, Denominator);
  });
  return F;
}

Extended TKorlen::CalcMSEp(Byte p, int n, Extended SSEp) {
  const int d = n - p - 1;
  if (d == 0) return 0;
  Extended MSE = 0;
  Guard("Error occurred in  CalcMSEp", [&] { MSE = Div(SSEp, d); });
  return MSE;
}

}  // namespace varnel
