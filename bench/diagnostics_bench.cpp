// Benchmarks of the diagnostics and interval operations at the capacity
// limit: each call refits the model and then works observation by observation.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

#include <varnel/korlen.h>

namespace {

constexpr int kK = 24, kN = 19999;

// A component filled with k uniform predictors and a noisy linear response.
std::unique_ptr<varnel::TKorlen> Filled() {
  auto Korlen = std::make_unique<varnel::TKorlen>();
  std::mt19937 Engine(11);
  std::uniform_real_distribution<double> Unit(0.0, 1.0);
  for (int j = 1; j <= kK; ++j) {
    for (int i = 0; i < kN; ++i) (*Korlen->PRegressData)[j][i] = j * (0.5 + Unit(Engine));
  }
  for (int i = 0; i < kN; ++i) {
    double y = Unit(Engine);
    for (int j = 1; j <= kK; ++j) y += (*Korlen->PRegressData)[j][i] * (j % 3 - 1);
    Korlen->Y[i] = y;
  }
  Korlen->MVPrepare();
  Korlen->SetScanData(false);
  return Korlen;
}

using TOperation = void (varnel::TKorlen::*)(const varnel::TRegressData*, std::span<const double>,
                                             std::span<double>, varnel::Byte, int);

void Run(benchmark::State& State, TOperation Operation) {
  auto Korlen = Filled();
  std::vector<double> Out(varnel::MaxObs);
  for (auto _ : State) {
    ((*Korlen).*Operation)(Korlen->PRegressData, Korlen->Y, Out, kK, kN);
    benchmark::DoNotOptimize(Out.data());
  }
}

void BM_MVStudentResiduals(benchmark::State& State) { Run(State, &varnel::TKorlen::MVStudentResiduals); }
void BM_MVCooksDistance(benchmark::State& State) { Run(State, &varnel::TKorlen::MVCooksDistance); }
void BM_MVPredictedYCIUpper(benchmark::State& State) { Run(State, &varnel::TKorlen::MVPredictedYCIUpper); }
void BM_MVResiduals(benchmark::State& State) { Run(State, &varnel::TKorlen::MVResiduals); }

void BM_MVLeverages(benchmark::State& State) {
  auto Korlen = Filled();
  std::vector<double> Out(varnel::MaxObs);
  for (auto _ : State) {
    Korlen->MVLeverages(Korlen->PRegressData, Out, kK, kN);
    benchmark::DoNotOptimize(Out.data());
  }
}

BENCHMARK(BM_MVResiduals)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MVLeverages)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MVStudentResiduals)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MVCooksDistance)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MVPredictedYCIUpper)->Unit(benchmark::kMillisecond);

}  // namespace
