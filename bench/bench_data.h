// SPDX-License-Identifier: Apache-2.0
// The data every benchmark runs on, so that varnel and the peer libraries fit
// exactly the same numbers: k predictors scattered around ten sites (so that
// clustering has groups to find), and a noisy linear response.
#pragma once

#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

#include <varnel/korlen.h>

namespace varnel::bench {

// The sizes of the grid: predictors by observations.
inline void Grid(::benchmark::internal::Benchmark* B) {
  for (int k : {2, 8, 24}) {
    for (int n : {100, 1000, 19999}) B->Args({k, n});
  }
}

struct TBenchData {
  int k = 0, n = 0;
  std::vector<std::vector<double>> X;  // X[j][i]: observation i of predictor j + 1
  std::vector<double> Y;
};

inline TBenchData MakeData(int k, int n) {
  TBenchData D{k, n, std::vector<std::vector<double>>(k, std::vector<double>(n)), std::vector<double>(n)};
  std::mt19937 Engine(20240611u + 31u * k + n);
  std::normal_distribution<double> Noise(0, 1);
  for (int i = 0; i < n; ++i) {
    const int Site = static_cast<int>(Engine() % 10);
    double y = Noise(Engine);
    for (int j = 0; j < k; ++j) {
      D.X[j][i] = 8.0 * Site + (j + 1) + (j + 1) * 0.25 * Noise(Engine);
      y += D.X[j][i] * ((j % 3) - 1);
    }
    D.Y[i] = y;
  }
  return D;
}

// A component holding the data in rows 1..k and Y, row 0 prepared.
inline std::unique_ptr<TKorlen> Loaded(const TBenchData& D) {
  auto Korlen = std::make_unique<TKorlen>();
  for (int j = 0; j < D.k; ++j) std::copy(D.X[j].begin(), D.X[j].end(), (*Korlen->PRegressData)[j + 1].begin());
  std::copy(D.Y.begin(), D.Y.end(), Korlen->Y.begin());
  Korlen->MVPrepare();
  Korlen->SetScanData(false);
  return Korlen;
}

inline int K(const ::benchmark::State& State) { return static_cast<int>(State.range(0)); }
inline int N(const ::benchmark::State& State) { return static_cast<int>(State.range(1)); }

}  // namespace varnel::bench
