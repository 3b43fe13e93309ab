// SPDX-License-Identifier: Apache-2.0
// The blocked sums. A block keeps its accumulators in the x87 registers: one
// value of A is loaded per observation and used by every sum of the block.
// The x87 stack holds eight values, so a block of Width sums leaves room for
// the shared value and one product.
#include "varnel/regression/sums.h"

#include <type_traits>

namespace varnel {
namespace {

constexpr int Width = 6;

// The term each sum adds per observation, from the shared value of A and
// the block row's value.
struct TProductTerm {
  static constexpr bool ReadsA = true;
  static Extended Of(Extended a, double b) { return a * b; }
};

struct TDifferenceTerm {
  static constexpr bool ReadsA = true;
  static Extended Of(Extended a, double b) { return a - b; }
};

struct TRowTerm {
  static constexpr bool ReadsA = false;
  static Extended Of(Extended /*a*/, double b) { return b; }
};

// W sums of Term over the observations, each left to right.
template <class Term>
struct TTermBlock {
  template <int W>
  static void Run(const double* A, const double* const* B, int n, Extended* Out) {
    const double* b[W];
#pragma GCC unroll 8
    for (int m = 0; m < W; ++m) b[m] = B[m];
    Extended s[W] = {};
    for (int i = 0; i < n; ++i) {
      const Extended a = Term::ReadsA ? Extended(A[i]) : 0;
#pragma GCC unroll 8
      for (int m = 0; m < W; ++m) s[m] += Term::Of(a, b[m][i]);
    }
#pragma GCC unroll 8
    for (int m = 0; m < W; ++m) Out[m] = s[m];
  }
};

// The shift of each B row stays a double in memory: the x87 unit subtracts
// it from there, so that the registers hold only the sums, the shared
// difference of A and one product.
struct TShiftedProductBlock {
  template <int W>
  static void Run(const double* A, const double* const* B, int n, Extended* Out) {
    const double* b[W];
    double b0[W];
#pragma GCC unroll 8
    for (int m = 0; m < W; ++m) {
      b[m] = B[m];
      b0[m] = n > 0 ? B[m][0] : 0;
    }
    const Extended a0 = n > 0 ? A[0] : 0;
    Extended s[W] = {};
    for (int i = 0; i < n; ++i) {
      const Extended da = A[i] - a0;
#pragma GCC unroll 8
      for (int m = 0; m < W; ++m) s[m] += da * (Extended(b[m][i]) - b0[m]);
    }
#pragma GCC unroll 8
    for (int m = 0; m < W; ++m) Out[m] = s[m];
  }
};

// W sums of (A[i] − a0) × B[m][i]: the difference is formed once per
// observation and shared by the block, so that it costs no more than a
// plain product block.
struct TCentredProductBlock {
  template <int W>
  static void Run(const double* A, double a0, const double* const* B, int n, Extended* Out) {
    const double* b[W];
#pragma GCC unroll 8
    for (int m = 0; m < W; ++m) b[m] = B[m];
    const Extended Shift = a0;
    Extended s[W] = {};
    for (int i = 0; i < n; ++i) {
      const Extended da = A[i] - Shift;
#pragma GCC unroll 8
      for (int m = 0; m < W; ++m) s[m] += da * b[m][i];
    }
#pragma GCC unroll 8
    for (int m = 0; m < W; ++m) Out[m] = s[m];
  }
};

// Calls Block(width, m) over full blocks of Width sums from m = 0, then once
// for the one narrower block that is left.
template <class F>
void ForBlocks(int Count, F&& Block) {
  int m = 0;
  for (; m + Width <= Count; m += Width) Block(std::integral_constant<int, Width>{}, m);
  switch (Count - m) {
    case 5: Block(std::integral_constant<int, 5>{}, m); break;
    case 4: Block(std::integral_constant<int, 4>{}, m); break;
    case 3: Block(std::integral_constant<int, 3>{}, m); break;
    case 2: Block(std::integral_constant<int, 2>{}, m); break;
    case 1: Block(std::integral_constant<int, 1>{}, m); break;
    default: break;
  }
}

template <class Kernel>
void Blocked(const double* A, const double* const* B, int Count, int n, Extended* Out) {
  ForBlocks(Count, [&](auto W, int m) { Kernel::template Run<decltype(W)::value>(A, B + m, n, Out + m); });
}

}  // namespace

void ProductSums(const double* A, const double* const* B, int Count, int n, Extended* Out) {
  Blocked<TTermBlock<TProductTerm>>(A, B, Count, n, Out);
}

void DifferenceSums(const double* A, const double* const* B, int Count, int n, Extended* Out) {
  Blocked<TTermBlock<TDifferenceTerm>>(A, B, Count, n, Out);
}

void RowSums(const double* const* B, int Count, int n, Extended* Out) {
  Blocked<TTermBlock<TRowTerm>>(nullptr, B, Count, n, Out);
}

void ShiftedProductSums(const double* A, const double* const* B, int Count, int n, Extended* Out) {
  Blocked<TShiftedProductBlock>(A, B, Count, n, Out);
}

void CentredProductSums(const double* A, double a0, const double* const* B, int Count, int n, Extended* Out) {
  ForBlocks(Count, [&](auto W, int m) {
    TCentredProductBlock::template Run<decltype(W)::value>(A, a0, B + m, n, Out + m);
  });
}

}  // namespace varnel
