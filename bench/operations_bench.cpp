// SPDX-License-Identifier: Apache-2.0
// The component's operations over the grid of sizes. Each benchmark times
// whole calls on data loaded once; nothing but the call is timed.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_data.h"

namespace varnel::bench {
namespace {

void BM_MVRegression(benchmark::State& State, bool Scan) {
  const auto Korlen = Loaded(MakeData(K(State), N(State)));
  Korlen->SetScanData(Scan);
  for (auto _ : State) {
    benchmark::DoNotOptimize(Korlen->MVRegression(Korlen->PRegressData, Korlen->Y, K(State), N(State)));
  }
}
BENCHMARK_CAPTURE(BM_MVRegression, scan_off, false)->Apply(Grid);
BENCHMARK_CAPTURE(BM_MVRegression, scan_on, true)->Apply(Grid);

void BM_CrossProducts(benchmark::State& State) {
  const auto Korlen = Loaded(MakeData(K(State), N(State)));
  for (auto _ : State) benchmark::DoNotOptimize(Korlen->CrossProducts(Korlen->PRegressData, K(State), N(State)));
}
BENCHMARK(BM_CrossProducts)->Apply(Grid);

using TObsOperation = void (TKorlen::*)(const TRegressData*, std::span<const double>, std::span<double>, Byte, int);

void BM_Observations(benchmark::State& State, TObsOperation Operation) {
  const auto Korlen = Loaded(MakeData(K(State), N(State)));
  std::vector<double> Out(MaxObs);
  for (auto _ : State) {
    ((*Korlen).*Operation)(Korlen->PRegressData, Korlen->Y, Out, K(State), N(State));
    benchmark::DoNotOptimize(Out.data());
  }
}
BENCHMARK_CAPTURE(BM_Observations, MVStudentResiduals, &TKorlen::MVStudentResiduals)->Apply(Grid);
BENCHMARK_CAPTURE(BM_Observations, MVCooksDistance, &TKorlen::MVCooksDistance)->Apply(Grid);
BENCHMARK_CAPTURE(BM_Observations, MVPredictedYCIUpper, &TKorlen::MVPredictedYCIUpper)->Apply(Grid);

void BM_CorrelationMatrix(benchmark::State& State) {
  const auto Korlen = Loaded(MakeData(K(State), N(State)));
  for (auto _ : State) {
    benchmark::DoNotOptimize(Korlen->CorrelationMatrix(Korlen->PRegressData, K(State), N(State)));
  }
}
BENCHMARK(BM_CorrelationMatrix)->Apply(Grid);

void BM_CovarianceMatrix(benchmark::State& State) {
  const auto Korlen = Loaded(MakeData(K(State), N(State)));
  for (auto _ : State) {
    benchmark::DoNotOptimize(Korlen->CovarianceMatrix(Korlen->PRegressData, K(State), N(State)));
  }
}
BENCHMARK(BM_CovarianceMatrix)->Apply(Grid);

void BM_UnivariateSummary(benchmark::State& State) {
  const auto Korlen = Loaded(MakeData(K(State), N(State)));
  for (auto _ : State) {
    benchmark::DoNotOptimize(Korlen->UnivariateSummary(Korlen->PRegressData, K(State), N(State)));
  }
}
BENCHMARK(BM_UnivariateSummary)->Apply(Grid);

void BM_MahalanobisDistances(benchmark::State& State) {
  const auto Korlen = Loaded(MakeData(K(State), N(State)));
  std::vector<double> Out(MaxObs);
  for (auto _ : State) {
    Korlen->MahalanobisDistances(Korlen->PRegressData, Out, K(State), N(State));
    benchmark::DoNotOptimize(Out.data());
  }
}
BENCHMARK(BM_MahalanobisDistances)->Apply(Grid);

void BM_MVStepwiseForward(benchmark::State& State) {
  const auto Korlen = Loaded(MakeData(K(State), N(State)));
  for (auto _ : State) {
    benchmark::DoNotOptimize(Korlen->MVStepwiseForward(Korlen->PRegressData, Korlen->Y, K(State), N(State), "Forward"));
  }
}
BENCHMARK(BM_MVStepwiseForward)->Apply(Grid);

// Ten clusters, ten iterations; the report goes to a scratch file, written
// as part of the operation.
void BM_KMeansClustering(benchmark::State& State) {
  const auto Korlen = Loaded(MakeData(K(State), N(State)));
  const std::string Report = (std::filesystem::temp_directory_path() / "varnel_kmeans_bench.txt").string();
  for (auto _ : State) Korlen->KMeansClustering(Korlen->PRegressData, K(State), N(State), 10, 10, Report);
  std::remove(Report.c_str());
}
BENCHMARK(BM_KMeansClustering)->Apply(Grid);

}  // namespace
}  // namespace varnel::bench
