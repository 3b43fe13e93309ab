// SPDX-License-Identifier: Apache-2.0
// Runs the calling sequence of the component's example text: fill two
// predictors and the response, prepare, fit, and print the regression record.
#include <cstdio>
#include <memory>
#include <string>
#include <utility>

#include <varnel/korlen.h>

namespace {

void PrintVector(const char* Name, const varnel::TVector& V, int Count) {
  std::printf("%-7s", Name);
  for (int j = 0; j < Count; ++j) std::printf(" %14.6Lg", V[j]);
  std::printf("\n");
}

}  // namespace

int main() {
  // The component is 161,616 bytes: it lives on the heap.
  const auto Owner = std::make_unique<varnel::TKorlen>();
  varnel::TKorlen& Korlen = *Owner;
  const double X1[] = {1, 2, 3, 4, 5}, X2[] = {21, 20, 25, 24, 26}, Y[] = {12, 23, 46, 32, 39};
  for (int i = 0; i < 5; ++i) {
    (*Korlen.PRegressData)[1][i] = X1[i];
    (*Korlen.PRegressData)[2][i] = X2[i];
    Korlen.Y[i] = Y[i];
  }
  Korlen.MVPrepare();
  Korlen.MultStatRec = Korlen.MVRegression(Korlen.PRegressData, Korlen.Y, 2, 5);

  const varnel::TMultStatRec& Rec = Korlen.MultStatRec;
  std::printf("Multiple regression of Y on X1, X2 (k = %d, n = %d)\n\n", Rec.K, Rec.N);
  const std::pair<const char*, long double> Scalars[] = {
      {"R", Rec.R},     {"R2", Rec.R2},   {"F", Rec.F},     {"RMSE", Rec.RMSE}, {"MSE", Rec.MSE},
      {"MSR", Rec.MSR}, {"SSE", Rec.SSE}, {"SSR", Rec.SSR}, {"SST", Rec.SST},   {"S2", Rec.S2},
      {"S", Rec.S}};
  for (const auto& [Name, Value] : Scalars) std::printf("%-7s %14.6Lg\n", Name, Value);
  std::printf("DFReg   %14d\nDFErr   %14d\nDFTot   %14d\n\n", Rec.DFReg, Rec.DFErr, Rec.DFTot);
  std::printf("%-7s %14s %14s %14s\n", "", "b0", "b1 (X1)", "b2 (X2)");
  PrintVector("Beta", Rec.Beta, 3);
  PrintVector("StdErr", Rec.StdErr, 3);
  PrintVector("TCalc", Rec.TCalc, 3);
  std::printf("\nCorr. Coef.: %.3Lf\n", Rec.R);
  return Rec.N == 5 ? 0 : 1;
}
