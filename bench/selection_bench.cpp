// SPDX-License-Identifier: Apache-2.0
// The best-subset search and the stepwise search by AIC on all 19,999
// observations, at k = 16 and 24: on the correlated data every benchmark
// uses, and on pure noise (predictors and response independent standard
// normals), where no predictor stands out and a bound on RSS has the least
// to work with. A call includes its one pass of cross products.
#include <random>

#include "bench_data.h"

namespace varnel::bench {
namespace {

TBenchData Noise(int k, int n) {
  TBenchData D{k, n, std::vector<std::vector<double>>(k, std::vector<double>(n)), std::vector<double>(n)};
  std::mt19937 Engine(20240612u + 31u * k + n);
  std::normal_distribution<double> Normal(0, 1);
  for (auto& Column : D.X) {
    for (double& x : Column) x = Normal(Engine);
  }
  for (double& y : D.Y) y = Normal(Engine);
  return D;
}

void Sizes(::benchmark::internal::Benchmark* B) {
  for (int k : {16, 24}) B->Args({k, 19999});
  B->Unit(::benchmark::kMillisecond);
}

void BM_MVBestSubsets(benchmark::State& State, bool PureNoise, int PerSize) {
  const auto Korlen = Loaded(PureNoise ? Noise(K(State), N(State)) : MakeData(K(State), N(State)));
  for (auto _ : State) {
    benchmark::DoNotOptimize(
        Korlen->MVBestSubsets(Korlen->PRegressData, Korlen->Y, K(State), N(State), PerSize, TSubsetCriterion::scBIC));
  }
}
BENCHMARK_CAPTURE(BM_MVBestSubsets, correlated, false, 1)->Apply(Sizes);
BENCHMARK_CAPTURE(BM_MVBestSubsets, noise, true, 1)->Apply(Sizes);
BENCHMARK_CAPTURE(BM_MVBestSubsets, correlated_10_per_size, false, 10)->Apply(Sizes);
BENCHMARK_CAPTURE(BM_MVBestSubsets, noise_10_per_size, true, 10)->Apply(Sizes);

void BM_MVStepwiseAIC(benchmark::State& State, TStepDirection Direction) {
  const auto Korlen = Loaded(MakeData(K(State), N(State)));
  for (auto _ : State) {
    benchmark::DoNotOptimize(Korlen->MVStepwiseAIC(Korlen->PRegressData, Korlen->Y, K(State), N(State), Direction));
  }
}
BENCHMARK_CAPTURE(BM_MVStepwiseAIC, forward, TStepDirection::sdForward)->Apply(Sizes);
BENCHMARK_CAPTURE(BM_MVStepwiseAIC, both, TStepDirection::sdBoth)->Apply(Sizes);

}  // namespace
}  // namespace varnel::bench
