// SPDX-License-Identifier: Apache-2.0
// The influence of each observation on the fit of Fertility on the five
// indicators, as R's cooks.distance, hatvalues and rstudent give it: the
// three provinces of largest Cook's distance, and Durbin-Watson.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <numeric>
#include <vector>

#include "swiss_data.h"

int main(int argc, char** argv) {
  const auto Korlen = std::make_unique<varnel::TKorlen>();
  const int N = example::LoadSwiss(*Korlen, example::DataPath(argc, argv));
  std::vector<varnel::TObservationInference> Rows(static_cast<std::size_t>(N));
  const varnel::TModelInference Fit = Korlen->MVInference(Korlen->PRegressData, Korlen->Y, 5, N, 0.95L, true, Rows);
  if (Fit.N == 0) return 1;
  std::vector<int> Order(static_cast<std::size_t>(N));
  std::iota(Order.begin(), Order.end(), 0);
  std::sort(Order.begin(), Order.end(), [&](int a, int b) { return Rows[a].CooksD > Rows[b].CooksD; });
  std::printf("%5s %12s %12s %12s\n", "row", "cooksd", "hat", "rstudent");
  for (int r = 0; r < 3; ++r) {
    const varnel::TObservationInference& O = Rows[static_cast<std::size_t>(Order[r])];
    std::printf("%5d %12.9Lg %12.9Lg %12.9Lg\n", Order[r] + 1, O.CooksD, O.Hat, O.StudResid);
  }
  std::printf("\nDurbin-Watson %.9Lg\n", Fit.DurbinWatson);
  return 0;
}
