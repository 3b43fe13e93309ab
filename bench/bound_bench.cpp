// SPDX-License-Identifier: Apache-2.0
// What the cross products are measured against. The x87 unit can at best
// start one extended multiply-add per clock cycle, so k(k+1)/2 + k sums of n
// terms cannot take less than that many cycles. The clock is measured here
// by a chain of dependent integer additions (each doubling a register, so
// that no core can fold them), one per cycle on every x86 core.
#include <cstdint>

#include "bench_data.h"

namespace varnel::bench {
namespace {

// 1,000 dependent additions per iteration: the rate counter "adds" is the
// clock frequency the cores ran at during this run.
void BM_ClockCycles(benchmark::State& State) {
  std::uint64_t Value = 1;
  for (auto _ : State) {
    for (int r = 0; r < 10; ++r) {
#define VARNEL_ADD10 "add %0, %0\n\tadd %0, %0\n\tadd %0, %0\n\tadd %0, %0\n\tadd %0, %0\n\t" \
                     "add %0, %0\n\tadd %0, %0\n\tadd %0, %0\n\tadd %0, %0\n\tadd %0, %0\n\t"
      asm volatile(VARNEL_ADD10 VARNEL_ADD10 VARNEL_ADD10 VARNEL_ADD10 VARNEL_ADD10 VARNEL_ADD10 VARNEL_ADD10
                       VARNEL_ADD10 VARNEL_ADD10 VARNEL_ADD10
                   : "+r"(Value));
#undef VARNEL_ADD10
    }
  }
  benchmark::DoNotOptimize(Value);
  State.counters["adds"] = benchmark::Counter(1000.0 * static_cast<double>(State.iterations()),
                                              benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ClockCycles);

// The x87 unit's own best: six independent extended multiply-add chains over
// data in the first-level cache. The rate counter "madds" is the measured
// peak, to compare with the clock.
void BM_X87MultiplyAdd(benchmark::State& State) {
  constexpr int Length = 1024;
  std::vector<double> A(Length), B(Length);
  for (int i = 0; i < Length; ++i) {
    A[i] = 1 + i * 1e-3;
    B[i] = 2 - i * 1e-3;
  }
  for (auto _ : State) {
    long double s0 = 0, s1 = 0, s2 = 0, s3 = 0, s4 = 0, s5 = 0;
    for (int i = 0; i < Length; ++i) {
      const long double a = A[i];
      s0 += a * B[i];
      s1 += a * B[Length - 1 - i];
      s2 += a * A[Length - 1 - i];
      s3 += a * a;
      s4 += a * 3.0;
      s5 += a * 5.0;
    }
    benchmark::DoNotOptimize(s0 + s1 + s2 + s3 + s4 + s5);
  }
  State.counters["madds"] = benchmark::Counter(6.0 * Length * static_cast<double>(State.iterations()),
                                               benchmark::Counter::kIsRate);
}
BENCHMARK(BM_X87MultiplyAdd);

}  // namespace
}  // namespace varnel::bench
