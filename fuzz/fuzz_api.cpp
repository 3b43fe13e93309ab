// SPDX-License-Identifier: Apache-2.0
// The public API under arbitrary calls: each input fills the data matrix, Y
// and a few arrays (with NaN, infinities, 1e308, denormals, constant and
// collinear columns) and then makes a short sequence of calls with arbitrary
// counts and spans. After every call:
// - nothing outside what the operation may change has changed (the data
//   matrix is compared with a copy, or made read-only for a call that may
//   not change it; arrays are allocated to their exact size so that
//   AddressSanitizer sees any access past them);
// - nothing non-finite was written into the caller's data or returned;
// - a guarded operation let no exception through, and an unguarded one let
//   through only the library's own faults;
// and one input in about five makes every call meet an exhausted heap at its
// N-th allocation (N < 48), which a guarded operation must report as it
// reports any failure.
#include <fuzzer/FuzzedDataProvider.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "varnel/testing/failing_allocator.h"
#include "varnel/korlen.h"

namespace {

using namespace varnel;

constexpr double kSentinel = 7.25;
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

const double kSpecials[] = {0,     1,       -1,     2.5,   -3.75, 1e308, -1e308, kInf,   -kInf, kNaN,
                            4.9e-324, 2.2250738585072014e-308, 1e-300, 1e22, 1e-5, 1e154, 0.999, 1.001, 3.1, 0.5};

// An array owned by the harness, exactly as long as asked.
struct TArray {
  std::unique_ptr<double[]> Data;
  std::size_t Size = 0;
  explicit TArray(std::size_t n) : Data(n ? new double[n] : nullptr), Size(n) {}
  std::span<double> Span() { return {Data.get(), Size}; }
  std::vector<double> Copy() const { return {Data.get(), Data.get() + Size}; }
};

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

class THarness {
 public:
  THarness() {
    fuzz::WorkFolder();
    fuzz::Silence();
    X = Korlen.PRegressData;
    for (auto& Row : *X) Row.fill(kSentinel);
    (*X)[0].fill(1.0);
    Dirty = MaxObs;
    Reset(0);
  }

  void Run(FuzzedDataProvider& In);

 private:
  TKorlen Korlen;
  TRegressData* X;
  int Window = 0;  // observations 0..Window-1 hold this input's data
  int Dirty = 0;   // observations that may differ from the sentinels
  std::uint32_t Seed = 1;
  FuzzedDataProvider* P = nullptr;
  const char* Op = "";
  bool Copies = false;  // the operation hands the caller's values back as they are
  std::vector<double> Saved;  // the matrix as it was before the current call
  long FailAllocation = -1;   // in each call under test, the allocation that fails; -1: none
  int CallDepth = 0;

  // --- values and counts ---------------------------------------------------
  double Random() {
    Seed = Seed * 1664525u + 1013904223u;
    return static_cast<double>(Seed >> 8) / (1u << 24);
  }
  double Value() {
    const std::uint8_t b = P->ConsumeIntegral<std::uint8_t>();
    if (b < 160) return (b % 41 - 20) / 4.0;
    if (b < 240) return kSpecials[b % std::size(kSpecials)];
    return P->ConsumeFloatingPoint<double>();
  }
  Extended ExtValue() {
    const std::uint8_t b = P->ConsumeIntegral<std::uint8_t>();
    if (b == 255) return 1e4000L;
    if (b == 254) return -1e4000L;
    if (b == 253) return std::numeric_limits<Extended>::max();
    if (b == 252) return std::numeric_limits<Extended>::denorm_min();
    return b < 128 ? (b % 41 - 20) / 4.0L : Extended(kSpecials[b % std::size(kSpecials)]);
  }
  Byte Count8() {
    static const Byte kCounts[] = {0, 1, 2, 3, 4, 5, 8, 9, 23, 24, 25, 26, 100, 101, 255};
    const std::uint8_t b = P->ConsumeIntegral<std::uint8_t>();
    if (b < 96) return 1 + b % 4;
    return kCounts[b % std::size(kCounts)];
  }
  int Count() {
    const std::uint8_t b = P->ConsumeIntegral<std::uint8_t>();
    if (b < 112) return Window > 0 ? 1 + b % Window : 0;  // inside this input's data
    switch (b % 16) {
      case 0: return 0;
      case 1: return -1;
      case 2: return std::numeric_limits<int>::min();
      case 3: return std::numeric_limits<int>::max();
      case 4: return 2;
      case 5: return 3;
      case 6: return 24;
      case 7: return 25;
      case 8: return Window;
      case 9: return Window + 1;
      case 10: return b >= 240 ? 19999 : Window - 1;
      case 11: return b >= 240 ? 20000 : 4;
      case 12: return b >= 240 ? 20001 : 5;
      default: return 1 + b % 8;
    }
  }
  // A count for operations whose cost grows with n squared or with files.
  int SmallCount() {
    const int n = Count();
    return n > 400 && n < MaxObs ? 400 : n;
  }
  std::size_t Length(int n) {
    const std::uint8_t b = P->ConsumeIntegral<std::uint8_t>();
    const std::size_t Clamped = static_cast<std::size_t>(std::clamp(n, 0, MaxObs + 1));
    switch (b % 8) {
      case 0: return Clamped > 0 ? Clamped - 1 : 0;
      case 1: return 0;
      case 2: return b >= 128 ? MaxObs : Clamped + 1;
      case 3: return b % 5;
      default: return Clamped;
    }
  }
  TArray Array(int n, bool FromData) {
    TArray A(Length(n));
    for (std::size_t i = 0; i < A.Size; ++i) A.Data[i] = FromData && i < 64 ? Value() : 0.5 + (i % 7);
    return A;
  }
  TVector Vector() {
    TVector V{};
    const int m = P->ConsumeIntegralInRange(0, 26);
    for (int i = 0; i < m; ++i) V[i] = ExtValue();
    return V;
  }
  TMatrix Matrix() {
    TMatrix M{};
    const int m = P->ConsumeIntegralInRange(0, 6);
    const bool Symmetric = P->ConsumeBool();
    for (int i = 0; i < m; ++i)
      for (int j = 0; j < m; ++j) M[i][j] = Symmetric && j < i ? M[j][i] : ExtValue();
    if (P->ConsumeBool())
      for (int i = 0; i < 26; ++i) M[i][i] += 1;
    return M;
  }
  TMultStatRec MultRec() {
    if (P->ConsumeBool()) {
      const Byte k = Count8();
      return Guarded(true, [&] { return Korlen.MVRegression(X, Korlen.Y, k, Count()); });
    }
    TMultStatRec R;
    R.N = Count();
    R.K = Count();
    R.R = ExtValue();
    R.MSE = ExtValue();
    R.SSE = ExtValue();
    for (int j = 0; j < 4; ++j) {
      R.Beta[j] = ExtValue();
      R.TCalc[j] = ExtValue();
    }
    return R;
  }
  TBivarStatRec BivarRec() {
    TBivarStatRec R;
    R.N = Count();
    R.R = ExtValue();
    R.MeanX = ExtValue();
    R.B0 = ExtValue();
    R.B1 = ExtValue();
    R.SXX = ExtValue();
    R.SYY = ExtValue();
    R.SXY = ExtValue();
    return R;
  }
  std::vector<std::int32_t> Ranks(int n) {
    std::vector<std::int32_t> R(Length(n));
    for (std::size_t i = 0; i < R.size(); ++i) {
      const std::uint8_t b = P->ConsumeIntegral<std::uint8_t>();
      R[i] = b == 255 ? std::numeric_limits<std::int32_t>::max()
                      : b == 254 ? std::numeric_limits<std::int32_t>::min() : static_cast<std::int32_t>(b % 16);
    }
    return R;
  }
  std::string Text() {
    static const char* const kTexts[] = {".95", "0.90", ".99", "95", "", "Title\r\nline", "\xDF\xB2"};
    return kTexts[P->ConsumeIntegral<std::uint8_t>() % std::size(kTexts)];
  }
  // A static name: choosing it allocates nothing inside a call under test.
  const std::string& FileName() {
    static const std::string Here = "kmeans.txt", Missing = "missing/kmeans.txt";
    return P->ConsumeBool() ? Here : Missing;
  }

  // --- filling and checking --------------------------------------------------
  void Reset(int NewWindow) {
    const int Upto = std::min(MaxObs, std::max(Dirty, Window) + 64);
    for (int j = 0; j <= MaxVars; ++j)
      for (int i = 0; i < Upto; ++i) (*X)[j][i] = j == 0 ? 1.0 : kSentinel;
    Window = NewWindow;
    Dirty = NewWindow;
  }
  void Fill() {
    const std::uint8_t Mode = P->ConsumeIntegral<std::uint8_t>();
    Reset(Mode == 255 ? MaxObs : 3 + Mode % 30);
    Seed = P->ConsumeIntegral<std::uint32_t>() | 1;
    const bool FromData = Mode % 3 == 0 && Window < 64;
    for (int j = 1; j <= MaxVars; ++j)
      for (int i = 0; i < Window; ++i) (*X)[j][i] = FromData ? Value() : j + 10 * Random();
    for (int i = 0; i < Window; ++i) Korlen.Y[i] = FromData ? Value() : 3 + 20 * Random() + (*X)[1][i];
    // A constant column, an exactly collinear pair, a few special values.
    const int Modifiers = P->ConsumeIntegralInRange(0, 4);
    for (int m = 0; m < Modifiers; ++m) {
      const int j = P->ConsumeIntegralInRange(1, MaxVars);
      const int l = P->ConsumeIntegralInRange(1, MaxVars);
      switch (P->ConsumeIntegralInRange(0, 3)) {
        case 0: std::fill_n((*X)[j].begin(), Window, Value()); break;
        case 1:
          for (int i = 0; i < Window; ++i) (*X)[l][i] = 2 * (*X)[j][i] - 1;
          break;
        case 2: (*X)[j][P->ConsumeIntegralInRange(0, Window - 1)] = Value(); break;
        default: Korlen.Y[P->ConsumeIntegralInRange(0, Window - 1)] = Value(); break;
      }
    }
    if (P->ConsumeIntegral<std::uint8_t>() == 0) (*X)[0][0] = 0;  // not prepared
    Korlen.SetScanData(P->ConsumeBool());
    static const int kLevels[] = {90, 95, 99};
    Korlen.SetAlpha(kLevels[P->ConsumeIntegral<std::uint8_t>() % 3]);
  }

  // The part of the matrix a call may look at: this input's data and a
  // margin of sentinels, up to the largest count the call was given.
  int Extent(int n) const { return std::min(MaxObs, std::max({Window, Dirty, n < MaxObs ? n : 0}) + 64); }
  // Copies the compared part into one buffer kept for the process: a fresh
  // 4 MB vector per call cost most of the run in page faults.
  const std::vector<double>& Snapshot(int Upto) {
    Saved.resize(static_cast<std::size_t>(Upto) * (MaxVars + 1));
    for (int j = 0; j <= MaxVars; ++j)
      std::copy_n((*X)[j].begin(), Upto, Saved.begin() + static_cast<std::ptrdiff_t>(j) * Upto);
    return Saved;
  }
  // Entries outside rows First..Last, observations 0..n-1, are unchanged;
  // changed entries inside are finite. Beyond the compared part every row
  // still holds its sentinels (sampled).
  void CheckMatrix(const std::vector<double>& Before, int Upto, int First, int Last, int n) {
    for (int j = 0; j <= MaxVars; ++j) {
      const double* Old = Before.data() + static_cast<std::size_t>(j) * Upto;
      if (std::memcmp(Old, (*X)[j].data(), sizeof(double) * Upto) == 0) continue;
      for (int i = 0; i < Upto; ++i) {
        const double New = (*X)[j][i];
        if (SameBits(Old[i], New)) continue;
        if (j < First || j > Last || i >= n) fuzz::Fail("changed the data matrix outside its rows", Op);
        if (!std::isfinite(New) && !Copies) fuzz::Fail("wrote a non-finite value into the data matrix", Op);
      }
    }
    Dirty = std::max(Dirty, std::min(n, MaxObs));
    for (int j = 0; j <= MaxVars; ++j)
      for (int i = std::max(Upto, Dirty); i < MaxObs; i += 251)
        if ((*X)[j][i] != (j == 0 ? 1.0 : kSentinel)) fuzz::Fail("changed the data matrix far outside", Op);
  }
  // Runs a call that must leave the data matrix exactly as it was. A small
  // compared part is copied and compared; a large one (up to 4 MB) is made
  // read-only instead, so that a write stops the run with a SEGV report, and
  // only the partial pages at its two ends are compared.
  template <class F>
  void Unchanged(int n, F&& Call) {
    const int Upto = Extent(n);
    if (Upto <= 512) {
      const auto& Before = Snapshot(Upto);
      Call();
      CheckMatrix(Before, Upto, 1, 0, 0);
      return;
    }
    const auto Page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    auto* const Begin = reinterpret_cast<unsigned char*>(X);
    auto* const End = Begin + sizeof(TRegressData);
    auto* const First =
        reinterpret_cast<unsigned char*>((reinterpret_cast<std::uintptr_t>(Begin) + Page - 1) / Page * Page);
    auto* const Last = reinterpret_cast<unsigned char*>(reinterpret_cast<std::uintptr_t>(End) / Page * Page);
    const std::vector<unsigned char> Head(Begin, First), Tail(Last, End);
    const auto Length = static_cast<std::size_t>(Last - First);
    if (mprotect(First, Length, PROT_READ) != 0) fuzz::Fail("cannot make the data matrix read-only", Op);
    Call();
    if (mprotect(First, Length, PROT_READ | PROT_WRITE) != 0) fuzz::Fail("cannot make the data matrix writable", Op);
    if (!std::equal(Head.begin(), Head.end(), Begin) || !std::equal(Tail.begin(), Tail.end(), Last))
      fuzz::Fail("changed the data matrix", Op);
  }
  // Only observation Obs may have changed.
  void CheckRow(const std::vector<double>& Before, int Upto, int Obs) {
    for (int j = 0; j <= MaxVars; ++j)
      for (int i = 0; i < Upto; ++i)
        if (i != Obs && !SameBits(Before[static_cast<std::size_t>(j) * Upto + i], (*X)[j][i]))
          fuzz::Fail("wrote outside its observation", Op);
  }
  void CheckArray(const TArray& A, const std::vector<double>& Before, bool MayChange) {
    for (std::size_t i = 0; i < A.Size; ++i) {
      if (SameBits(A.Data[i], Before[i])) continue;
      if (!MayChange) fuzz::Fail("changed an input array", Op);
      if (!std::isfinite(A.Data[i])) fuzz::Fail("wrote a non-finite value into an array", Op);
    }
  }
  void Finite(Extended v) {
    if (!std::isfinite(v) && !Copies) fuzz::Fail("returned a non-finite value", Op);
  }
  void Finite(const TVector& V) {
    for (Extended v : V) Finite(v);
  }
  void Finite(const TMatrix& M) {
    for (const TVector& V : M) Finite(V);
  }
  void Finite(const TMultStatRec& R) {
    for (Extended v : {R.R, R.R2, R.F, R.RMSE, R.MSE, R.MSR, R.SSE, R.SSR, R.SST, R.S2, R.S}) Finite(v);
    Finite(R.Beta);
    Finite(R.StdErr);
    Finite(R.TCalc);
  }
  void Finite(const TBivarStatRec& R) {
    for (Extended v : {R.R, R.MeanX, R.MeanY, R.B0, R.B1, R.SXX, R.SYY, R.SXY, R.SumX, R.SumY, R.SumXY, R.SumX2,
                       R.SumY2, R.FisherZ, R.TStatR})
      Finite(v);
  }
  void Finite(const TUnivarStatRec& R) {
    for (const TVector* V : {&R.Sum, &R.Min, &R.Max, &R.Range, &R.Mean, &R.StdDev, &R.Variance, &R.Skew,
                             &R.Kurtosis, &R.CoefVar, &R.Median})
      Finite(*V);
  }
  void Finite(const TYSummaryRec& R) {
    for (Extended v : {R.Sum, R.Min, R.Max, R.Range, R.Mean, R.StdDev, R.Variance, R.Skew, R.Kurtosis, R.CoefVar,
                       R.Median})
      Finite(v);
  }
  void Finite(const TIntervalRec& R) {
    Finite(R.Upper);
    Finite(R.Lower);
  }
  void Finite(const TClusterCenters& C) {
    for (const auto& Row : C)
      for (double v : Row) Finite(v);
  }
  template <class T>
  void Finite(const T&) {}

  // Runs one call. A guarded operation may not throw at all; an unguarded
  // one may pass on the library's faults. Anything else escapes to libFuzzer.
  template <class F>
  auto Guarded(bool MayThrow, F&& Call) -> decltype(Call()) {
    using R = decltype(Call());
    // The outermost call under test may meet an exhausted heap; a guarded
    // operation must report it like any other failure.
    const bool Outermost = CallDepth++ == 0;
    if (Outermost && FailAllocation >= 0) testing::FailAllocationAfter(FailAllocation);
    bool Finished = false;
    const auto Done = [&] {
      if (Outermost) testing::StopFailingAllocations();
      --CallDepth;
      Finished = true;
    };
    try {
      if constexpr (std::is_void_v<R>) {
        Call();
        Done();
        return;
      } else {
        R Result = Call();
        Done();
        Finite(Result);
        return Result;
      }
    } catch (const EVarnelError&) {
      if (!MayThrow) fuzz::Fail("a guarded operation let an exception through", Op);
    } catch (const std::bad_alloc&) {
      if (!MayThrow) fuzz::Fail("a guarded operation let std::bad_alloc through", Op);
    }
    if (!Finished) Done();
    if constexpr (!std::is_void_v<R>) return R{};
  }

  void CallOne();
};

// Guarded operations (G) report and return; unguarded ones (U) may throw.
constexpr bool G = false, U = true;

#define CONST_X(Name, Kind, ...)                                       \
  do {                                                                 \
    Op = Name;                                                         \
    Unchanged(n, [&] { Guarded(Kind, [&] { return __VA_ARGS__; }); }); \
  } while (0)

void THarness::CallOne() {
  const std::uint8_t Which = P->ConsumeIntegral<std::uint8_t>();
  const int Family = Which % 38;
  const int n = Family == 30 || Family == 31 ? SmallCount() : Count();
  const Byte k = Window >= MaxObs ? std::min<Byte>(Count8(), 3) : Count8();
  // Y and the other read-only arrays are copies of exactly the length given.
  TArray YArray(Length(n) % (MaxObs + 1));
  std::copy_n(Korlen.Y.begin(), YArray.Size, YArray.Data.get());
  const std::span<const double> Y = YArray.Span();
  switch (Family) {
    case 0: {  // SmoothData and the array transforms
      TArray A = Array(n, true);
      const auto Before = A.Copy();
      const Extended s = ExtValue();
      const int t = P->ConsumeIntegralInRange(0, 8);
      static const char* const kNames[] = {"SmoothData", "TransformArrCenter", "TransformArrStandardize",
                                           "TransformArrNormalize", "TransformArrInverse", "TransformArrSquare",
                                           "TransformArrSquareRoot", "TransformArrAddScalar",
                                           "TransformArrMultiplyScalar"};
      Op = kNames[t];
      Guarded(t == 5 || t == 7 || t == 8, [&] {
        switch (t) {
          case 0: Korlen.SmoothData(A.Span(), n); break;
          case 1: Korlen.TransformArrCenter(A.Span(), n); break;
          case 2: Korlen.TransformArrStandardize(A.Span(), n); break;
          case 3: Korlen.TransformArrNormalize(A.Span(), n); break;
          case 4: Korlen.TransformArrInverse(A.Span(), n); break;
          case 5: Korlen.TransformArrSquare(A.Span(), n); break;
          case 6: Korlen.TransformArrSquareRoot(A.Span(), n); break;
          case 7: Korlen.TransformArrAddScalar(A.Span(), s, n); break;
          default: Korlen.TransformArrMultiplyScalar(A.Span(), s, n); break;
        }
      });
      CheckArray(A, Before, true);
      break;
    }
    case 1: {  // the matrix transforms
      const int t = P->ConsumeIntegralInRange(0, 3);
      static const char* const kNames[] = {"TransformDataCenter", "TransformDataStandardize",
                                           "TransformDataNormalize", "TransformDataPCAs"};
      Op = kNames[t];
      const auto& Before = Snapshot(Extent(n));
      Guarded(t == 3, [&] {
        switch (t) {
          case 0: Korlen.TransformDataCenter(X, k, n); break;
          case 1: Korlen.TransformDataStandardize(X, k, n); break;
          case 2: Korlen.TransformDataNormalize(X, k, n); break;
          default: Korlen.TransformDataPCAs(X, k, n); break;
        }
      });
      CheckMatrix(Before, Extent(n), 1, k, n);
      break;
    }
    case 2: {
      Op = "NewRowValues";
      const TVector V = Vector();
      const int Obs = std::max(Count(), std::numeric_limits<int>::min() + 1) - 1;
      const int Upto = Extent(Obs + 1);
      const auto& Before = Snapshot(Upto);
      Guarded(U, [&] { Korlen.NewRowValues(X, V, k, Obs); });
      CheckRow(Before, Upto, Obs);
      Dirty = std::max(Dirty, std::min(Obs + 1, MaxObs));
      break;
    }
    case 3: {
      Op = "ZeroRowValues";
      const int Obs = std::max(Count(), std::numeric_limits<int>::min() + 1) - 1;
      const int Upto = Extent(Obs + 1);
      const auto& Before = Snapshot(Upto);
      Guarded(G, [&] { Korlen.ZeroRowValues(X, Obs); });
      CheckRow(Before, Upto, Obs);
      Dirty = std::max(Dirty, std::min(Obs + 1, MaxObs));
      break;
    }
    case 4: {  // tables and probabilities
      Op = "tables";
      const Extended z = ExtValue();
      Guarded(U, [&] { return Korlen.ProbabilityZIsHigher(z); });
      Guarded(U, [&] { return Korlen.ProbabilityZIsLower(z); });
      Guarded(U, [&] { return Korlen.ProbabilityZBetweenPlusMinus(z); });
      Guarded(G, [&] { return Korlen.ZTableValue2(Text()); });
      Guarded(G, [&] { return Korlen.TTableValue2(n); });
      const float Alpha = P->ConsumeBool() ? 0.05f : static_cast<float>(Value());
      Guarded(G, [&] { return Korlen.CSqrTableValue(n, Alpha); });
      break;
    }
    case 5: {  // combinatorics
      Op = "combinatorics";
      const Byte r = Count8();
      Guarded(G, [&] { return Korlen.Factorial(k); });
      Guarded(G, [&] { return Korlen.Permutations(k, r); });
      Guarded(G, [&] { return Korlen.Combinations(k, r); });
      break;
    }
    case 6: {
      Op = "CalcChiSquare";
      TArray O = Array(n, true), E = Array(n, true);
      const auto OB = O.Copy(), EB = E.Copy();
      Guarded(G, [&] { return Korlen.CalcChiSquare(O.Span(), E.Span(), n); });
      CheckArray(O, OB, false);
      CheckArray(E, EB, false);
      break;
    }
    case 7: {  // elementary tests
      const Extended a = ExtValue(), b = ExtValue(), c = ExtValue();
      Op = "CalcT";
      Guarded(G, [&] { return Korlen.CalcT(n, a, b, c); });
      Op = "SmallSampleCIforMean";
      Guarded(G, [&] { return Korlen.SmallSampleCIforMean(n, a, b); });
      Op = "LargeSampleCIforMean";
      Guarded(G, [&] { return Korlen.LargeSampleCIforMean(Text(), a, b); });
      Op = "GetZValue";
      Guarded(U, [&] { return Korlen.GetZValue(a, b, c); });
      Guarded(U, [&] { return Korlen.GetCenterValue(a, b); });
      Guarded(U, [&] { return Korlen.CalcF(a, b); });
      Op = "MakePiped";
      Guarded(U, [&] { return Korlen.MakePiped(a, b, c); });
      Op = "ScaleDivergence";
      Guarded(G, [&] { return Korlen.ScaleDivergence(a, static_cast<float>(Value())); });
      break;
    }
    case 8: {  // matrices
      const TMatrix M = Matrix();
      const Extended v = ExtValue();
      Op = "IdentityMatrix";
      Guarded(G, [&] { return Korlen.IdentityMatrix(k); });
      Copies = true;
      Op = "InitMatrix";
      Guarded(U, [&] { return Korlen.InitMatrix(k, v); });
      Op = "CopyMatrix";
      Guarded(U, [&] { return Korlen.CopyMatrix(M, k); });
      Copies = false;
      Op = "InvertMatrix";
      Extended Det = 0;
      Guarded(U, [&] { return Korlen.InvertMatrix(M, k, Det); });
      break;
    }
    case 9: {  // eigen-analysis
      const TMatrix M = Matrix();
      const TVector a = Vector(), b = Vector();
      Op = "EigenVectors";
      Guarded(U, [&] { return Korlen.EigenVectors(M, k); });
      Op = "EigenValues";
      Guarded(U, [&] { return Korlen.EigenValues(M, k); });
      Op = "ConditionIndexes";
      Guarded(U, [&] { return Korlen.ConditionIndexes(a, k); });
      Op = "FactorsMatrix";
      Guarded(U, [&] { return Korlen.FactorsMatrix(a, M, k); });
      Op = "FactorsLoadingsMatrix";
      Guarded(U, [&] { return Korlen.FactorsLoadingsMatrix(a, b, M, k); });
      break;
    }
    case 10: {
      Op = "PrincipalComponent";
      TArray Out = Array(n, false);
      const auto OB = Out.Copy();
      const Byte p = Count8();
      Unchanged(n, [&] { Guarded(U, [&] { Korlen.PrincipalComponent(X, k, n, Out.Span(), p); }); });
      CheckArray(Out, OB, true);
      break;
    }
    case 11: {  // univariate statistics of an array
      TArray A = Array(std::min(n, 400), true);
      const int m = std::min(n, 400);
      const auto Before = A.Copy();
      Op = "GetSum";
      Guarded(G, [&] { return Korlen.GetSum(A.Span(), n); });
      Op = "GetMin";
      Guarded(G, [&] { return Korlen.GetMin(A.Span(), n); });
      Op = "GetMax";
      Guarded(G, [&] { return Korlen.GetMax(A.Span(), n); });
      Op = "GetMean";
      Guarded(G, [&] { return Korlen.GetMean(A.Span(), n); });
      Op = "GetVariance";
      Guarded(G, [&] { return Korlen.GetVariance(A.Span(), n); });
      Op = "GetCoefficientOfVariation";
      Guarded(G, [&] { return Korlen.GetCoefficientOfVariation(A.Span(), n); });
      Op = "GetSkew";
      Guarded(U, [&] { return Korlen.GetSkew(A.Span(), n); });
      Op = "GetKurtosis";
      Guarded(U, [&] { return Korlen.GetKurtosis(A.Span(), n); });
      Op = "GetMedian";
      Guarded(U, [&] { return Korlen.GetMedian(A.Span(), m); });
      Op = "YSummary";
      Guarded(G, [&] { return Korlen.YSummary(A.Span(), m); });
      CheckArray(A, Before, false);
      break;
    }
    case 12: {
      const TVector V = Vector();
      Op = "GetTotalVariation";
      Guarded(U, [&] { return Korlen.GetTotalVariation(V, k); });
      Op = "MeansDifferencesMatrix";
      Guarded(G, [&] { return Korlen.MeansDifferencesMatrix(V, k); });
      break;
    }
    case 13: CONST_X("UnivariateSummary", G, Korlen.UnivariateSummary(X, k, std::min(n, 400))); break;
    case 14: {  // predictor vectors and matrices
      Unchanged(n, [&] {
        Op = "SumVector";
        Guarded(U, [&] { return Korlen.SumVector(X, k, n); });
        Op = "MeanVector";
        Guarded(U, [&] { return Korlen.MeanVector(X, k, n); });
        Op = "VarianceVector";
        Guarded(G, [&] { return Korlen.VarianceVector(X, k, n); });
        Op = "VarianceProportionsVector";
        Guarded(G, [&] { return Korlen.VarianceProportionsVector(X, k, n); });
        Op = "MinVector";
        Guarded(U, [&] { return Korlen.MinVector(X, k, n); });
        Op = "MaxVector";
        Guarded(U, [&] { return Korlen.MaxVector(X, k, n); });
        Op = "CorrelationMatrix";
        Guarded(G, [&] { return Korlen.CorrelationMatrix(X, k, n); });
        Op = "CovarianceMatrix";
        Guarded(U, [&] { return Korlen.CovarianceMatrix(X, k, n); });
      });
      break;
    }
    case 15: {  // bivariate regression
      const int r1 = P->ConsumeIntegralInRange(0, MaxVars);
      TArray XArray(Length(n) % (MaxObs + 1));
      std::copy_n((*X)[r1].begin(), XArray.Size, XArray.Data.get());
      const std::span<const double> Xs = XArray.Span();
      TArray Out = Array(n, false);
      const auto OB = Out.Copy();
      const Extended x = ExtValue();
      Op = "BVRegression";
      const TBivarStatRec Rec = Guarded(U, [&] { return Korlen.BVRegression(Xs, Y, n); });
      Op = "BVCalcYValue";
      Guarded(U, [&] { return Korlen.BVCalcYValue(Rec, x); });
      Op = "BVRegressionReverse";
      Guarded(G, [&] { return Korlen.BVRegressionReverse(Rec, x); });
      Op = "BVResiduals";
      Guarded(G, [&] { Korlen.BVResiduals(Xs, Y, Out.Span(), n); });
      Op = "BVPredictedY";
      Guarded(G, [&] { Korlen.BVPredictedY(Xs, Y, Out.Span(), n); });
      Op = "BVQuadraticRegression";
      Guarded(U, [&] { return Korlen.BVQuadraticRegression(Xs, Y, n); });
      CheckArray(Out, OB, true);
      break;
    }
    case 16: {  // bivariate inference on any record
      const TBivarStatRec Rec = BivarRec();
      const Extended a = ExtValue(), b = ExtValue();
      Op = "BVRegressionBeta1CI";
      Guarded(G, [&] { return Korlen.BVRegressionBeta1CI(Rec); });
      Op = "BVRegressionCI";
      Guarded(G, [&] { return Korlen.BVRegressionCI(Rec, a, b); });
      Op = "BVRegressionPI";
      Guarded(G, [&] { return Korlen.BVRegressionPI(Rec, a, b); });
      Op = "BVRegressionTestStatistic";
      Guarded(G, [&] { return Korlen.BVRegressionTestStatistic(Rec); });
      Op = "BVCorrelationSampleTestStat";
      Guarded(G, [&] { return Korlen.BVCorrelationSampleTestStat(n, a, b); });
      Op = "BVEquationString";
      Guarded(U, [&] { return Korlen.BVEquationString(Rec); });
      Op = "BVRegressionMemo";
      Guarded(U, [&] { return Korlen.BVRegressionMemo(Text(), Rec); });
      break;
    }
    case 17: {
      const auto RX = Ranks(n), RY = Ranks(n);
      Op = "SpearmansR";
      Guarded(G, [&] { return Korlen.SpearmansR(RX, RY, n); });
      Op = "SpearmansRStdError";
      Guarded(G, [&] { return Korlen.SpearmansRStdError(RX, RY, n); });
      break;
    }
    case 18: CONST_X("MVRegression", U, Korlen.MVRegression(X, Y, k, n)); break;
    case 19: CONST_X("MVCheckXData", G, Korlen.MVCheckXData(X, k, n)); break;
    case 20: CONST_X("CrossProducts", U, Korlen.CrossProducts(X, k, n)); break;
    case 21: {
      const TMatrix M = Matrix();
      CONST_X("ComputeResults", U, Korlen.ComputeResults(X, Y, M, k, n));
      break;
    }
    case 22: {
      const TMultStatRec Rec = MultRec();
      const TVector V = Vector();
      Op = "MVCalcYValue";
      Guarded(U, [&] { return Korlen.MVCalcYValue(Rec, V); });
      Op = "MVEquationString";
      Guarded(U, [&] { return Korlen.MVEquationString(Rec); });
      Op = "MVRegressionMemo";
      Guarded(U, [&] { return Korlen.MVRegressionMemo(Rec); });
      Op = "InterpretModelUtility";
      Guarded(U, [&] { return Korlen.InterpretModelUtility(Rec); });
      Op = "InterpretModelBetaParameters";
      Guarded(U, [&] { return Korlen.InterpretModelBetaParameters(Rec, ExtValue()); });
      break;
    }
    case 23: {  // residuals, diagnostics and intervals
      TArray Out = Array(n, false);
      const auto OB = Out.Copy();
      const int t = P->ConsumeIntegralInRange(0, 10);
      static const char* const kNames[] = {"MVPredictedY",        "MVResiduals",         "MVStdResiduals",
                                           "MVStudentResiduals",  "MVLeverages",         "MVCooksDistance",
                                           "DurbinWatson",        "MVPredictedYCIUpper", "MVPredictedYCILower",
                                           "MVPredictedYPIUpper", "MVPredictedYPILower"};
      Op = kNames[t];
      Unchanged(n, [&] {
        Guarded(t == 4, [&] {
          switch (t) {
            case 0: Korlen.MVPredictedY(X, Y, Out.Span(), k, n); break;
            case 1: Korlen.MVResiduals(X, Y, Out.Span(), k, n); break;
            case 2: Korlen.MVStdResiduals(X, Y, Out.Span(), k, n); break;
            case 3: Korlen.MVStudentResiduals(X, Y, Out.Span(), k, n); break;
            case 4: Korlen.MVLeverages(X, Out.Span(), k, n); break;
            case 5: Korlen.MVCooksDistance(X, Y, Out.Span(), k, n); break;
            case 6: Finite(Korlen.DurbinWatson(X, Y, k, n)); break;
            case 7: Korlen.MVPredictedYCIUpper(X, Y, Out.Span(), k, n); break;
            case 8: Korlen.MVPredictedYCILower(X, Y, Out.Span(), k, n); break;
            case 9: Korlen.MVPredictedYPIUpper(X, Y, Out.Span(), k, n); break;
            default: Korlen.MVPredictedYPILower(X, Y, Out.Span(), k, n); break;
          }
        });
      });
      CheckArray(Out, OB, true);
      break;
    }
    case 24: CONST_X("MVPairedXYRegressions", G, Korlen.MVPairedXYRegressions(X, Y, k, n)); break;
    case 25: CONST_X("MVAverageCorrelation", U, Korlen.MVAverageCorrelation(X, Y, k, n)); break;
    case 26: {  // derived fits that borrow row k + 1
      const Byte a = Count8(), b = Count8();
      const bool Interaction = P->ConsumeBool();
      Op = Interaction ? "MVInteractionRegression" : "MVPolynomialRegression";
      const auto& Before = Snapshot(Extent(n));
      Guarded(G, [&] {
        return Interaction ? Korlen.MVInteractionRegression(X, Y, k, n, a, b)
                           : Korlen.MVPolynomialRegression(X, Y, k, n, a);
      });
      CheckMatrix(Before, Extent(n), 1, 0, 0);  // row k + 1 is restored
      break;
    }
    case 27: {
      Op = "MVRemoveVariable";
      Byte kk = k;
      const Byte v = Count8();
      const auto& Before = Snapshot(Extent(n));
      Guarded(G, [&] { Korlen.MVRemoveVariable(X, kk, n, v); });
      if (kk != k && kk != k - 1) fuzz::Fail("changed k by more than one", Op);
      Copies = true;  // rows move down as they are, NaN included
      CheckMatrix(Before, Extent(n), std::max<int>(v, 1), k, n);
      Copies = false;
      break;
    }
    case 28: {
      Op = "DummyXYRegression";
      TArray A = Array(n, true), D = Array(n, true);
      const auto AB = A.Copy(), DB = D.Copy();
      Guarded(U, [&] { return Korlen.DummyXYRegression(A.Span(), Y, D.Span(), n, Text()); });
      CheckArray(A, AB, false);
      CheckArray(D, DB, false);
      break;
    }
    case 29: {  // selection criteria
      const Byte p = Count8();
      const Extended a = ExtValue(), b = ExtValue();
      Op = "CalcCp";
      Guarded(G, [&] { return Korlen.CalcCp(p, n, a, b); });
      Op = "CalcFp";
      Guarded(G, [&] { return Korlen.CalcFp(k, p, a, b, n); });
      Op = "CalcMSEp";
      Guarded(G, [&] { return Korlen.CalcMSEp(p, n, a); });
      break;
    }
    case 30: {  // nested selection, bounded in cost
      const Byte kk = std::min<Byte>(k, 6);
      CONST_X("MVStepwiseForward", U, Korlen.MVStepwiseForward(X, Y, kk, n, Text()));
      CONST_X("MVStepwiseBackward", U, Korlen.MVStepwiseBackward(X, Y, kk, n, Text()));
      CONST_X("MVOptimalForwardModel", U, Korlen.MVOptimalForwardModel(X, Y, kk, n));
      break;
    }
    case 31: {  // k-means, on small data only (it writes a file per call)
      const Byte K = std::min<Byte>(Count8(), n > 64 ? 3 : 255);
      const Byte Iterations = P->ConsumeIntegralInRange(0, 2);
      const TVector a = Vector(), b = Vector();
      const TMatrix C = Matrix();
      CONST_X("KMeansClustering", G, Korlen.KMeansClustering(X, k, n, K, Iterations, FileName()));
      CONST_X("ComputeInitialClusterCenters", G, Korlen.ComputeInitialClusterCenters(a, a, b, k, K, FileName()));
      CONST_X("ComputeInitialClusterCentersStdDev", G, Korlen.ComputeInitialClusterCentersStdDev(a, C, k, K));
      TClusterCenters Centres{};
      for (int q = 0; q < 4; ++q)
        for (int j = 0; j < 4; ++j) Centres[q][j] = Value();
      const TClusterAssignment A =
          Guarded(G, [&] { return Korlen.AssignDataToCluster(X, Centres, K, k, n); });
      TClusterAssignment Wild = A;
      for (int i = 0; i < 4; ++i) Wild[i] = P->ConsumeIntegral<Byte>();
      CONST_X("CalcClusterSSE", U, Korlen.CalcClusterSSE(X, Wild, Centres, k, n));
      CONST_X("ComputeClusterMeans", G, Korlen.ComputeClusterMeans(X, Wild, K, k, n, FileName()));
      break;
    }
    case 32: {  // distances between vectors and to the data
      const TVector a = Vector(), b = Vector();
      const TMatrix C = Matrix(), D = Matrix();
      const Extended g = ExtValue();
      Op = "GetLDistance";
      Guarded(G, [&] { return Korlen.GetLDistance(a, b, k); });
      Op = "GetEuclideanDistance";
      Guarded(G, [&] { return Korlen.GetEuclideanDistance(a, b, k); });
      Op = "GetNormEuclideanDistance";
      Guarded(G, [&] { return Korlen.GetNormEuclideanDistance(a, b, C, k); });
      Op = "GetAvgNormDistance";
      Guarded(G, [&] { return Korlen.GetAvgNormDistance(a, b, C, D, k); });
      Op = "GetDivergence";
      Guarded(G, [&] { return Korlen.GetDivergence(a, b, C, D, k, g); });
      CONST_X("GetMahalanobisDistance", G, Korlen.GetMahalanobisDistance(X, a, k, n));
      CONST_X("GetMaximumLikelihoodDistance", G, Korlen.GetMaximumLikelihoodDistance(X, a, k, n, g));
      break;
    }
    case 33: {  // bulk distances
      TArray Out = Array(n, false);
      const auto OB = Out.Copy();
      const Extended g = ExtValue();
      const int t = P->ConsumeIntegralInRange(0, 4);
      static const char* const kNames[] = {"LDistances", "EuclideanDistances", "NormEuclideanDistances",
                                           "MahalanobisDistances", "MaximumLikelihoodDistances"};
      Op = kNames[t];
      Unchanged(n, [&] {
        Guarded(G, [&] {
          switch (t) {
            case 0: Korlen.LDistances(X, Out.Span(), n, k); break;
            case 1: Korlen.EuclideanDistances(X, Out.Span(), n, k); break;
            case 2: Korlen.NormEuclideanDistances(X, Out.Span(), n, k); break;
            case 3: Korlen.MahalanobisDistances(X, Out.Span(), k, n); break;
            default: Korlen.MaximumLikelihoodDistances(X, Out.Span(), k, n, g); break;
          }
        });
      });
      CheckArray(Out, OB, true);
      break;
    }
    case 34: {  // outlier flags and texts on an array
      TArray A = Array(n, true);
      const auto AB = A.Copy();
      Op = "FlagOutliers";
      Guarded(G, [&] { return Korlen.FlagOutliers(A.Span(), n, static_cast<float>(Value())); });
      Op = "InterpretOutliers";
      Guarded(U, [&] { return Korlen.InterpretOutliers(A.Span(), n); });
      CheckArray(A, AB, false);
      break;
    }
    case 35: {  // the other texts
      const TVector V = Vector();
      const TMatrix M = Matrix();
      const Extended a = ExtValue(), b = ExtValue();
      Op = "PipedReportString";
      Guarded(U, [&] { return Korlen.PipedReportString(a, b); });
      Op = "InterpretDWStatistic";
      Guarded(U, [&] { return Korlen.InterpretDWStatistic(a); });
      Op = "InterpretConditionIndexes";
      Guarded(U, [&] { return Korlen.InterpretConditionIndexes(V, k); });
      Op = "InterpretHighXCorrelations";
      Guarded(U, [&] { return Korlen.InterpretHighXCorrelations(M, k); });
      TUnivarStatRec R;
      R.NVars = k;
      R.N = n;
      R.Skew = V;
      R.Kurtosis = V;
      Op = "InterpretVariableUtility";
      Guarded(U, [&] { return Korlen.InterpretVariableUtility(R); });
      break;
    }
    case 36: {
      Op = "MVPrepare";
      Guarded(G, [&] { Korlen.MVPrepare(); });
      break;
    }
    case 37: {  // the message path: a handler replaced from inside itself, a scoped one
      Op = "message handlers";
      const double Bad[3] = {1, std::numeric_limits<double>::quiet_NaN(), 2};
      if (P->ConsumeBool()) {
        fuzz::InstallSelfReplacingHandler();
        Guarded(G, [&] { return Korlen.GetMean(Bad, 3); });
      } else {
        const TScopedMessageHandler Scope([](const TMessage&) {});
        Guarded(G, [&] { return Korlen.GetVariance(Bad, 3); });
      }
      Guarded(G, [&] { return Korlen.GetMean(Bad, 3); });
      break;
    }
    default: break;
  }
}

void THarness::Run(FuzzedDataProvider& In) {
  P = &In;
  Fill();
  const std::uint8_t Exhaust = In.ConsumeIntegral<std::uint8_t>();
  FailAllocation = Exhaust < 48 ? Exhaust : -1;
  for (int Calls = 0; Calls < 8 && In.remaining_bytes() > 0; ++Calls) CallOne();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  static THarness Harness;
  FuzzedDataProvider In(Data, Size);
  Harness.Run(In);
  return 0;
}
