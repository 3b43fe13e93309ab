// Benchmarks of the multiple regression core at the capacity limit.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>

#include <varnel/korlen.h>

namespace {

// A component filled with k uniform predictors and a response of n observations.
std::unique_ptr<varnel::TKorlen> Filled(int k, int n) {
  auto Korlen = std::make_unique<varnel::TKorlen>();
  std::mt19937 Engine(7);
  std::uniform_real_distribution<double> Unit(0.0, 1.0);
  for (int j = 1; j <= k; ++j) {
    for (int i = 0; i < n; ++i) (*Korlen->PRegressData)[j][i] = j * (0.5 + Unit(Engine));
  }
  for (int i = 0; i < n; ++i) Korlen->Y[i] = Unit(Engine) * 10;
  Korlen->MVPrepare();
  return Korlen;
}

void BM_MVRegression(benchmark::State& State) {
  const int k = static_cast<int>(State.range(0)), n = static_cast<int>(State.range(1));
  auto Korlen = Filled(k, n);
  Korlen->SetScanData(State.range(2) != 0);
  for (auto _ : State) benchmark::DoNotOptimize(Korlen->MVRegression(Korlen->PRegressData, Korlen->Y, k, n));
}
BENCHMARK(BM_MVRegression)->Args({24, 19999, 0})->Args({24, 19999, 1})->Unit(benchmark::kMillisecond);

}  // namespace
