// SPDX-License-Identifier: Apache-2.0
// The command-line tool's default job (regression, diagnostics and intervals,
// descriptive summary) on a data set of each size, its tables written as
// text and thrown away.
#include <ostream>
#include <streambuf>
#include <string>

#include "analyses.h"
#include "results.h"
#include "bench_data.h"

namespace varnel::bench {
namespace {

class TNullBuffer : public std::streambuf {
 protected:
  int_type overflow(int_type c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize Count) override { return Count; }
};

void BM_FullAnalysis(benchmark::State& State) {
  const TBenchData D = MakeData(K(State), N(State));
  cli::TAnalysisData Data;
  Data.Source = "benchmark";
  Data.YName = "y";
  for (int j = 1; j <= D.k; ++j) Data.XNames.push_back("x" + std::to_string(j));
  Data.X = D.X;
  Data.Y = D.Y;
  TKorlen Korlen;
  cli::Load(Korlen, Data);
  TNullBuffer Buffer;
  std::ostream Null(&Buffer);
  const cli::TOptions Options;
  for (auto _ : State) {
    cli::TCommandResults Out;
    if (cli::RunFullAnalysis(Korlen, Data, Options, Out) != 0) State.SkipWithError("analysis rejected the data");
    cli::WriteText(Out.Results, Null, false);
  }
}
BENCHMARK(BM_FullAnalysis)->Apply(Grid)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace varnel::bench
