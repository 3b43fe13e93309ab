// SPDX-License-Identifier: Apache-2.0
// Regressions derived from the multiple fit: fits with one computed predictor
// (an interaction or a square) lent a row of the caller's matrix, the removal
// of a predictor, and the stratified simple regression with its report.
#include <algorithm>
#include <memory>
#include <string_view>
#include <vector>

#include "varnel/core/checked.h"
#include "varnel/core/format.h"
#include "varnel/core/guard.h"
#include "varnel/core/rows.h"
#include "varnel/korlen.h"
#include "varnel/regression/refit.h"

namespace varnel {
namespace {

// Puts back the first n entries of a row of the caller's matrix when it goes
// out of scope, so that a row lent to a fit is restored on every path,
// including a fault that ends the fit half way.
class TRowRestorer {
 public:
  TRowRestorer(TObsArray& Row, int n) : FRow(Row), FSaved(Row.begin(), Row.begin() + n) {}
  ~TRowRestorer() { std::copy(FSaved.begin(), FSaved.end(), FRow.begin()); }
  TRowRestorer(const TRowRestorer&) = delete;
  TRowRestorer& operator=(const TRowRestorer&) = delete;

 private:
  TObsArray& FRow;
  std::vector<double> FSaved;
};

// Fits Y on X1..Xk and the product Xa × Xb, which lives in row k + 1 for the
// duration of the fit. k ≤ 23 leaves that row free.
TMultStatRec FitWithProduct(TKorlen& Korlen, TRegressData* X, std::span<const double> Y, Byte k, int n, Byte a,
                            Byte b, std::string_view Message) {
  TMultStatRec Rec{};
  if (X == nullptr || !FitCountsValid(k, n) || k >= MaxVars || !Holds(Y, n)) return Rec;
  if (a < 1 || a > k || b < 1 || b > k) return Rec;
  Guard(Message, [&] {
    TObsArray& Work = (*X)[k + 1];
    const TRowRestorer Restorer(Work, n);
    for (int t = 0; t < n; ++t) Work[t] = ToDouble(Extended((*X)[a][t]) * (*X)[b][t]);
    Rec = Korlen.MVRegression(X, Y, k + 1, n);
  });
  return Rec;
}

// " ß0:…  ß1:… ": the intercept and slope of one stratum.
const char* const kStratumLine = " \xDF" "0:%10.4f  \xDF" "1:%10.4f ";

}  // namespace

TMultStatRec TKorlen::MVInteractionRegression(TRegressData* X, std::span<const double> Y, Byte k, int n, Byte a,
                                              Byte b) {
  return FitWithProduct(*this, X, Y, k, n, a, b, "Error occurred in  MVInteractionRegression");
}

TMultStatRec TKorlen::MVPolynomialRegression(TRegressData* X, std::span<const double> Y, Byte k, int n, Byte a) {
  return FitWithProduct(*this, X, Y, k, n, a, a, "Error occurred in  MVPolynomialRegression");
}

// The record in MultStatRec keeps its predictor count in step with the
// matrix, but a count already 0 stays 0 rather than becoming negative.
void TKorlen::MVRemoveVariable(TRegressData* X, Byte& k, int n, Byte v) {
  if (X == nullptr || !FitCountsValid(k, n) || v < 1 || v > k) return;
  Guard("Error occurred in  RemoveVariable", [&] {
    if (v == k) {
      std::fill_n((*X)[k].begin(), n, 0.0);
    } else {
      for (int r = v; r <= k - 1; ++r) std::copy_n((*X)[r + 1].begin(), n, (*X)[r].begin());
    }
    --k;
    if (MultStatRec.K > 0) --MultStatRec.K;
  });
}

// y = β0 + β1·x + β2·d + β3·d·x. Not guarded: a fault that MVRegression passes
// on reaches the caller after the working matrix is released. Only the first
// MaxObs observations are copied; MVRegression rejects a larger n itself.
std::string TKorlen::DummyXYRegression(std::span<const double> X, std::span<const double> Y,
                                       std::span<const double> D, int n, const std::string& Title) {
  const int Count = std::clamp(n, 0, MaxObs);
  if (!Holds(X, Count) || !Holds(Y, Count) || !Holds(D, Count)) return "";
  const auto W = NewWorkMatrix();
  int NonZero = 0;
  for (int t = 0; t < Count; ++t) {
    (*W)[0][t] = 1.0;
    (*W)[1][t] = X[t];
    (*W)[2][t] = D[t];
    (*W)[3][t] = ToDouble(Extended(D[t]) * X[t]);
    if (Finite(D[t]) > 0) ++NonZero;
  }
  const TMultStatRec R = MVRegression(W.get(), Y, 3, n);
  const std::string CRLF = "\r\n";
  return Title + CRLF + CRLF +
         "Section 1: Parameters for stratification value = 0" + CRLF +
         Format(kStratumLine, {R.Beta[0], R.Beta[1]}) + CRLF +
         "Section 2: Parameters for stratification value > 0" + CRLF +
         Format(kStratumLine, {R.Beta[2], R.Beta[3]}) + CRLF + CRLF +
         Format("Total Observations: %5d", {n}) + CRLF +
         Format("Non-zero obs. (strat. var.): %5d", {NonZero}) + CRLF;
}

}  // namespace varnel
