// The blocked sums. A block keeps its accumulators in the x87 registers: one
// value of A is loaded per observation and used by every sum of the block.
// The x87 stack holds eight values, so a block of Width sums leaves room for
// the shared value and one product.
#include "varnel/regression/sums.h"

namespace varnel {
namespace {

constexpr int Width = 6;

template <int W>
void ProductBlock(const double* A, const double* const* B, int n, Extended* Out) {
  const double* b[W];
#pragma GCC unroll 8
  for (int m = 0; m < W; ++m) b[m] = B[m];
  Extended s[W] = {};
  for (int i = 0; i < n; ++i) {
    const Extended a = A[i];
#pragma GCC unroll 8
    for (int m = 0; m < W; ++m) s[m] += a * b[m][i];
  }
#pragma GCC unroll 8
  for (int m = 0; m < W; ++m) Out[m] = s[m];
}

template <int W>
void DifferenceBlock(const double* A, const double* const* B, int n, Extended* Out) {
  const double* b[W];
#pragma GCC unroll 8
  for (int m = 0; m < W; ++m) b[m] = B[m];
  Extended s[W] = {};
  for (int i = 0; i < n; ++i) {
    const Extended a = A[i];
#pragma GCC unroll 8
    for (int m = 0; m < W; ++m) s[m] += a - b[m][i];
  }
#pragma GCC unroll 8
  for (int m = 0; m < W; ++m) Out[m] = s[m];
}

template <int W>
void SumBlock(const double* const* B, int n, Extended* Out) {
  const double* b[W];
#pragma GCC unroll 8
  for (int m = 0; m < W; ++m) b[m] = B[m];
  Extended s[W] = {};
  for (int i = 0; i < n; ++i) {
#pragma GCC unroll 8
    for (int m = 0; m < W; ++m) s[m] += b[m][i];
  }
#pragma GCC unroll 8
  for (int m = 0; m < W; ++m) Out[m] = s[m];
}

// The shift of each B row stays a double in memory: the x87 unit subtracts
// it from there, so that the registers hold only the sums, the shared
// difference of A and one product.
template <int W>
void ShiftedProductBlock(const double* A, const double* const* B, int n, Extended* Out) {
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

// Full blocks first, then the one narrower block that is left.
template <template <int> class Kernel>
void Blocked(const double* A, const double* const* B, int Count, int n, Extended* Out) {
  int m = 0;
  for (; m + Width <= Count; m += Width) Kernel<Width>::Run(A, B + m, n, Out + m);
  switch (Count - m) {
    case 5: Kernel<5>::Run(A, B + m, n, Out + m); break;
    case 4: Kernel<4>::Run(A, B + m, n, Out + m); break;
    case 3: Kernel<3>::Run(A, B + m, n, Out + m); break;
    case 2: Kernel<2>::Run(A, B + m, n, Out + m); break;
    case 1: Kernel<1>::Run(A, B + m, n, Out + m); break;
    default: break;
  }
}

template <int W>
struct TProduct {
  static void Run(const double* A, const double* const* B, int n, Extended* Out) { ProductBlock<W>(A, B, n, Out); }
};

template <int W>
struct TDifference {
  static void Run(const double* A, const double* const* B, int n, Extended* Out) {
    DifferenceBlock<W>(A, B, n, Out);
  }
};

template <int W>
struct TSum {
  static void Run(const double*, const double* const* B, int n, Extended* Out) { SumBlock<W>(B, n, Out); }
};

template <int W>
struct TShiftedProduct {
  static void Run(const double* A, const double* const* B, int n, Extended* Out) {
    ShiftedProductBlock<W>(A, B, n, Out);
  }
};

}  // namespace

void ProductSums(const double* A, const double* const* B, int Count, int n, Extended* Out) {
  Blocked<TProduct>(A, B, Count, n, Out);
}

void DifferenceSums(const double* A, const double* const* B, int Count, int n, Extended* Out) {
  Blocked<TDifference>(A, B, Count, n, Out);
}

void RowSums(const double* const* B, int Count, int n, Extended* Out) {
  Blocked<TSum>(nullptr, B, Count, n, Out);
}

void ShiftedProductSums(const double* A, const double* const* B, int Count, int n, Extended* Out) {
  Blocked<TShiftedProduct>(A, B, Count, n, Out);
}

}  // namespace varnel
