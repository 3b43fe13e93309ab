// Benchmarks of the distance, principal-component and clustering operations
// at the capacity limit: 24 predictors by 19,999 observations.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <varnel/korlen.h>

namespace {

constexpr int kVars = 24;
constexpr int kObs = 19999;

// Predictors around ten separated sites, so that clustering has something to find.
void Fill(varnel::TRegressData& X) {
  std::mt19937 Engine(3);
  std::normal_distribution<double> Noise(0, 1);
  for (int t = 0; t < kObs; ++t) {
    const int Site = static_cast<int>(Engine() % 10);
    for (int j = 1; j <= kVars; ++j) X[j][t] = 8.0 * Site + j + Noise(Engine);
  }
}

std::unique_ptr<varnel::TKorlen> Filled() {
  auto Korlen = std::make_unique<varnel::TKorlen>();
  Fill(*Korlen->PRegressData);
  Korlen->MVPrepare();
  return Korlen;
}

void BM_MahalanobisDistances(benchmark::State& State) {
  auto Korlen = Filled();
  std::vector<double> Out(varnel::MaxObs);
  for (auto _ : State) {
    Korlen->MahalanobisDistances(Korlen->PRegressData, Out, kVars, kObs);
    benchmark::DoNotOptimize(Out.data());
  }
}
BENCHMARK(BM_MahalanobisDistances)->Unit(benchmark::kMillisecond);

// Each run transforms a fresh copy of the data; the copy is not timed.
void BM_TransformDataPCAs(benchmark::State& State) {
  auto Korlen = Filled();
  const auto Original = std::make_unique<varnel::TRegressData>(*Korlen->PRegressData);
  for (auto _ : State) {
    State.PauseTiming();
    *Korlen->PRegressData = *Original;
    State.ResumeTiming();
    Korlen->TransformDataPCAs(Korlen->PRegressData, kVars, kObs);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_TransformDataPCAs)->Unit(benchmark::kMillisecond);

void BM_KMeansClustering(benchmark::State& State) {
  auto Korlen = Filled();
  const std::string Report = (std::filesystem::temp_directory_path() / "varnel_kmeans_bench.txt").string();
  for (auto _ : State) Korlen->KMeansClustering(Korlen->PRegressData, kVars, kObs, 10, 10, Report);
  std::remove(Report.c_str());
}
BENCHMARK(BM_KMeansClustering)->Unit(benchmark::kMillisecond);

}  // namespace
