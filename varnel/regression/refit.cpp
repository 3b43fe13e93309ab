// Shared refitting steps of the diagnostics and interval operations.
#include "varnel/regression/refit.h"

#include <vector>

#include "varnel/core/checked.h"

namespace varnel {

TMatrix InverseOfCrossProducts(TKorlen& Korlen, const TRegressData* X, Byte k, int n) {
  Extended Det = 0;
  return Korlen.InvertMatrix(Korlen.CrossProducts(X, k, n), k + 1, Det);
}

TInverseFit FitWithInverse(TKorlen& Korlen, const TRegressData* X, std::span<const double> Y, Byte k, int n) {
  TInverseFit Fit;
  if (Korlen.ScanData() && !Korlen.MVCheckXData(X, k, n)) return Fit;
  Fit.Inv = InverseOfCrossProducts(Korlen, X, k, n);
  Fit.R = Korlen.ComputeResults(X, Y, Fit.Inv, k, n);
  Fit.Fitted = true;
  return Fit;
}

void LeveragesFromInverse(const TMatrix& Inv, const TRegressData& X, int k, int n, std::span<double> H) {
  std::vector<Extended> Sums(n);
  double x[MaxVars + 1];
  double T[MaxVars + 1];
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j <= k; ++j) x[j] = X[j][i];
    for (int j = 0; j <= k; ++j) {
      Extended s = 0;
      for (int m = 0; m <= k; ++m) s += Inv[j][m] * x[m];
      T[j] = ToDouble(s);
    }
    Extended h = 0;
    for (int j = 0; j <= k; ++j) h += Extended(T[j]) * x[j];
    Sums[i] = h;
  }
  for (int i = 0; i < n; ++i) H[i] = ToDouble(Sums[i]);
}

}  // namespace varnel
