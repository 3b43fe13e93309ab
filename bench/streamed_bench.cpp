// SPDX-License-Identifier: Apache-2.0
// Rows per second beyond the component's box: the engine's moments of data
// in memory, and regress on a CSV file read in blocks on every core.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#include <varnel/engine.h>

#include "reading/streamed_data.h"
#include "streamed_analyses.h"

namespace varnel::bench {
namespace {

constexpr int kPredictors = 10;

std::vector<std::vector<double>> Columns(std::size_t Rows) {
  std::mt19937_64 Engine(1);
  std::normal_distribution<double> Normal;
  std::vector<std::vector<double>> C(kPredictors + 1, std::vector<double>(Rows));
  for (std::size_t i = 0; i < Rows; ++i) {
    double y = 0;
    for (int j = 0; j < kPredictors; ++j) y += (j + 1) * (C[j][i] = Normal(Engine));
    C[kPredictors][i] = y + Normal(Engine);
  }
  return C;
}

void BM_EngineMoments(benchmark::State& State) {
  const auto Rows = static_cast<std::size_t>(State.range(0));
  const auto Data = Columns(Rows);
  for (auto _ : State) benchmark::DoNotOptimize(engine::Accumulate(engine::MakeBatch(Data), 1).Count());
  State.SetItemsProcessed(static_cast<std::int64_t>(State.iterations() * Rows));
}
BENCHMARK(BM_EngineMoments)->Arg(100000)->Unit(benchmark::kMillisecond);

// The file is written once per size, in the temporary folder.
std::string CsvFile(std::size_t Rows) {
  const auto Path = std::filesystem::temp_directory_path() / ("varnel_bench_" + std::to_string(Rows) + ".csv");
  if (std::filesystem::exists(Path)) return Path.string();
  const auto Data = Columns(Rows);
  std::ofstream Out(Path);
  for (int j = 0; j < kPredictors; ++j) Out << 'x' << j + 1 << ',';
  Out << "y\n";
  char Cell[32];
  for (std::size_t i = 0; i < Rows; ++i) {
    for (int j = 0; j <= kPredictors; ++j) {
      std::snprintf(Cell, sizeof Cell, "%.15g", Data[j][i]);
      Out << Cell << (j < kPredictors ? ',' : '\n');
    }
  }
  return Path.string();
}

void BM_StreamedRegress(benchmark::State& State) {
  const auto Rows = static_cast<std::size_t>(State.range(0));
  const std::string Path = CsvFile(Rows);
  for (auto _ : State) {
    auto Reader = std::make_unique<cli::TRowReader>(Path, cli::TReadOptions{});
    std::vector<cli::TRowText> First(1);
    Reader->Next(cli::BlockRowsFor(Reader->Header().Names.size()), First[0]);
    cli::TStreamedData Data(std::move(Reader), std::move(First), {}, 0);
    cli::TCommandResults Out;
    if (cli::RunStreamedRegress(Data, {}, Out) != 0) State.SkipWithError("no fit");
  }
  State.SetItemsProcessed(static_cast<std::int64_t>(State.iterations() * Rows));
}
BENCHMARK(BM_StreamedRegress)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace varnel::bench
