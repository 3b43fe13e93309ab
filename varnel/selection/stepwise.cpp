// SPDX-License-Identifier: Apache-2.0
// Nested models on the first 1, 2, ..., k predictors in column order. Nothing
// here picks variables: the caller orders the columns and reads the criteria.
// A fault that the fit passes on ends the method and reaches the caller.
#include <cmath>
#include <string>

#include "varnel/core/checked.h"
#include "varnel/core/format.h"
#include "varnel/core/rows.h"
#include "varnel/korlen.h"

namespace varnel {
namespace {

bool NestedCountsValid(const TRegressData* X, std::span<const double> Y, int k, int n) {
  return X != nullptr && k >= 1 && k <= MaxVars && n > k && n < MaxObs && Holds(Y, n);
}

// One block per nested model, in the order given: the fit's summary, then
// its criteria against the full model.
std::string NestedReport(TKorlen& Korlen, const TRegressData* X, std::span<const double> Y, Byte k, int n,
                                const std::string& Title, bool Forward) {
  if (!NestedCountsValid(X, Y, k, n)) return "";
  const TMultStatRec Full = Korlen.MVRegression(X, Y, k, n);
  std::string S = Title + "\r\n";
  for (int Step = 1; Step <= k; ++Step) {
    const Byte p = static_cast<Byte>(Forward ? Step : k + 1 - Step);
    const TMultStatRec Sub = Korlen.MVRegression(X, Y, p, n);
    const Extended Cp = Korlen.CalcCp(p, n, Sub.SSE, Full.MSE);
    const Extended F = Korlen.CalcFp(k, p, Sub.R2, Full.R2, n);
    const Extended MSEp = Korlen.CalcMSEp(p, n, Sub.SSE);
    S += Korlen.MVRegressionMemo(Sub);
    S += "Mallow's C: " + Format(" %9.3f ", {Cp}) + "  F Stat(p) : " + Format(" %9.3f ", {F}) +
         "  MSE(p) : " + Format(" %9.3f ", {MSEp}) + "\r\n\r\n\r\n";
  }
  return S + "\r\n";
}

}  // namespace

std::string TKorlen::MVStepwiseForward(const TRegressData* X, std::span<const double> Y, Byte k, int n,
                                       const std::string& Title) {
  return NestedReport(*this, X, Y, k, n, Title, true);
}

std::string TKorlen::MVStepwiseBackward(const TRegressData* X, std::span<const double> Y, Byte k, int n,
                                        const std::string& Title) {
  return NestedReport(*this, X, Y, k, n, Title, false);
}

std::string TKorlen::MVOptimalForwardModel(const TRegressData* X, std::span<const double> Y, Byte k, int n) {
  if (!NestedCountsValid(X, Y, k, n)) return "";
  const Extended MSEk = MVRegression(X, Y, k, n).MSE;
  TVector Cp{};
  for (int p = 1; p < k; ++p) Cp[p] = CalcCp(p, n, MVRegression(X, Y, p, n).SSE, MSEk);
  // The first p whose Cp lies strictly closest to its parameter count; the
  // full model is never a candidate.
  Extended Nearest = 1E20L;
  int Best = 0;
  for (int p = 1; p < k; ++p) {
    const Extended D = Finite(std::fabs((p + 1) - Cp[p]));
    if (D < Nearest) {
      Nearest = D;
      Best = p;
    }
  }
  return Format("Best Stepwise Model (1-at-a-timeBestModel) : %3d", {Best});
}

}  // namespace varnel
