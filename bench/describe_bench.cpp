// Benchmarks of the descriptive statistics at the capacity limit.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>

#include <varnel/korlen.h>

namespace {

// A component whose k predictors hold n uniform observations each.
std::unique_ptr<varnel::TKorlen> Filled(int k, int n) {
  auto Korlen = std::make_unique<varnel::TKorlen>();
  std::mt19937 Engine(11);
  std::uniform_real_distribution<double> Unit(0.0, 1.0);
  for (int j = 1; j <= k; ++j) {
    for (int i = 0; i < n; ++i) (*Korlen->PRegressData)[j][i] = j * (0.5 + Unit(Engine));
  }
  Korlen->MVPrepare();
  return Korlen;
}

void BM_UnivariateSummary(benchmark::State& State) {
  const int k = static_cast<int>(State.range(0)), n = static_cast<int>(State.range(1));
  auto Korlen = Filled(k, n);
  for (auto _ : State) benchmark::DoNotOptimize(Korlen->UnivariateSummary(Korlen->PRegressData, k, n));
}
BENCHMARK(BM_UnivariateSummary)->Args({24, 19999})->Unit(benchmark::kMillisecond);

void BM_GetMedian(benchmark::State& State) {
  const int n = static_cast<int>(State.range(0));
  auto Korlen = Filled(1, n);
  for (auto _ : State) benchmark::DoNotOptimize(Korlen->GetMedian((*Korlen->PRegressData)[1], n));
}
BENCHMARK(BM_GetMedian)->Arg(19999)->Unit(benchmark::kMicrosecond);

void BM_CovarianceMatrix(benchmark::State& State) {
  const int k = static_cast<int>(State.range(0)), n = static_cast<int>(State.range(1));
  auto Korlen = Filled(k, n);
  for (auto _ : State) benchmark::DoNotOptimize(Korlen->CovarianceMatrix(Korlen->PRegressData, k, n));
}
BENCHMARK(BM_CovarianceMatrix)->Args({24, 19999})->Unit(benchmark::kMillisecond);

}  // namespace
