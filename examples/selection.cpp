// SPDX-License-Identifier: Apache-2.0
// Best-subset selection: the model of least residual sum of squares of
// each size 1..5 (branch and bound), and the best of them by BIC.
#include <bit>
#include <cstdio>
#include <memory>
#include <string>

#include "swiss_data.h"

namespace {

std::string TermsOf(std::uint32_t Terms) {
  std::string Names;
  for (int j = 1; j <= 5; ++j) {
    if (Terms & (1u << (j - 1))) Names += std::string(Names.empty() ? "" : " + ") + example::kNames[j];
  }
  return Names;
}

}  // namespace

int main(int argc, char** argv) {
  const auto Korlen = std::make_unique<varnel::TKorlen>();
  const int N = example::LoadSwiss(*Korlen, example::DataPath(argc, argv));
  const varnel::TBestSubsets Best =
      Korlen->MVBestSubsets(Korlen->PRegressData, Korlen->Y, 5, N, 1, varnel::TSubsetCriterion::scBIC);
  if (Best.N == 0) return 1;
  for (const varnel::TSubsetModel& Model : Best.Models)
    std::printf("size %d: RSS %.9Lg, BIC %.6Lf  %s\n", Model.Size, Model.RSS, Model.BIC, TermsOf(Model.Terms).c_str());
  std::printf("\nbest by BIC: %s\n", TermsOf(Best.Best.Terms).c_str());
  return 0;
}
