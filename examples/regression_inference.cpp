// SPDX-License-Identifier: Apache-2.0
// A multiple regression with its inference, as R's summary(lm(Fertility ~
// ., swiss)) and confint show it: estimates, standard errors, t values,
// two-sided p-values and 95 % limits, then the model's R², sigma and F.
#include <cstdio>
#include <memory>

#include "swiss_data.h"

int main(int argc, char** argv) {
  const auto Korlen = std::make_unique<varnel::TKorlen>();  // 160 KB: on the heap
  const int N = example::LoadSwiss(*Korlen, example::DataPath(argc, argv));
  const int K = 5;
  const varnel::TModelInference Fit = Korlen->MVInference(Korlen->PRegressData, Korlen->Y, K, N, 0.95L);
  if (Fit.N == 0) return 1;  // the fit failed: its message went to the handler
  std::printf("%-17s %12s %12s %9s %12s %12s %12s\n", "term", "estimate", "std.error", "t", "p.value", "conf.low",
              "conf.high");
  for (int j = 0; j <= K; ++j) {
    const varnel::TCoefficientInference& C = Fit.Coefficients[static_cast<std::size_t>(j)];
    std::printf("%-17s %12.9Lg %12.9Lg %9.5Lf %12.6Lg %12.9Lg %12.9Lg\n", j == 0 ? "(Intercept)" : example::kNames[j],
                C.Estimate, C.StdError, C.Statistic, C.PValue, C.ConfLow, C.ConfHigh);
  }
  std::printf("\nR2 %.9Lg, adjusted %.9Lg; sigma %.9Lg on %d df; F %.6Lg, p %.6Lg\n", Fit.R2, Fit.AdjR2, Fit.Sigma,
              Fit.DFResidual, Fit.F, Fit.FPValue);
  return 0;
}
