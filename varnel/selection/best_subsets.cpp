// SPDX-License-Identifier: Apache-2.0
// The best-subset search: branch and bound over the tree of models reached
// from the full model by dropping predictors. The predictors are ranked by
// what dropping each costs the full model, most costly first; a node's
// children drop one more of its free predictors (those ranked after the last
// one dropped), so the large subtrees are those without the important
// predictors, and their RSS is high enough to prune them early.
//
// A node holds its model swept in, over its free predictors and Y only: the
// predictors it keeps for good are never needed again. Dropping free
// predictor w costs b_w²/(C⁻¹)_ww, read off the node without unsweeping, so
// every child is scored where its parent is; a child is descended into
// (copied and unswept, one rank-one update) only when its subtree may still
// hold one of the best models of some size. No node is further than k
// updates from the sums.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "varnel/core/checked.h"
#include "varnel/core/guard.h"
#include "varnel/core/rows.h"
#include "varnel/korlen.h"
#include "varnel/selection/subset_fits.h"

namespace varnel {
namespace {

// Candidates kept per size beyond those asked for, and the relative margin
// by which a bound must pass a threshold to prune: the search's RSS carry
// the rounding of up to k updates, and the kept models are refitted and
// ranked afresh.
constexpr int kExtra = 2;
constexpr Extended kSlack = 1e-9L;
constexpr Extended kNone = std::numeric_limits<Extended>::infinity();

struct TCandidate {
  Extended RSS;
  std::uint32_t Terms;
  bool operator<(const TCandidate& Other) const {
    return RSS != Other.RSS ? RSS < Other.RSS : Terms < Other.Terms;
  }
};

// The best Capacity models of one size met so far, as a max-heap by RSS.
class TCandidates {
 public:
  void Reserve(std::size_t Capacity) {
    FCapacity = Capacity;
    FHeap.reserve(Capacity);
  }
  // The RSS a model must beat to be kept; none while there is room.
  Extended Threshold() const { return FHeap.size() < FCapacity ? kNone : FHeap.front().RSS; }
  void Offer(Extended RSS, std::uint32_t Terms) {
    if (FHeap.size() < FCapacity) {
      FHeap.push_back({RSS, Terms});
      std::push_heap(FHeap.begin(), FHeap.end());
    } else if (FCapacity > 0 && TCandidate{RSS, Terms} < FHeap.front()) {
      std::pop_heap(FHeap.begin(), FHeap.end());
      FHeap.back() = {RSS, Terms};
      std::push_heap(FHeap.begin(), FHeap.end());
    }
  }
  const std::vector<TCandidate>& Kept() const { return FHeap; }

 private:
  std::size_t FCapacity = 0;
  std::vector<TCandidate> FHeap;
};

// A model of the tree: A over its F free predictors (in rank order) and Y,
// Free[q] the predictor (0-based) of row q, Drop[q] the RSS without it, and
// Sorted the drops of the rows after the one being decided, ascending.
struct TNode {
  TMatrix A;
  int Free[MaxVars] = {};
  Extended Drop[MaxVars] = {};
  Extended Sorted[MaxVars] = {};
  int F = 0;
  int Size = 0;
  std::uint32_t Terms = 0;
};

std::uint64_t Binomial(int n, int r) {
  std::uint64_t c = 1;
  for (int i = 1; i <= r; ++i) c = c * static_cast<std::uint64_t>(n - r + i) / static_cast<std::uint64_t>(i);
  return c;
}

class TSearch {
 public:
  TSearch(const TSubsetSums& S, int PerSize, const std::function<void(double)>& Progress)
      : FK(S.K), FProgress(Progress), FLevels(S.K + 1), FBest(S.K + 1), FTotal(std::ldexp(1.0, S.K)) {
    for (int s = 1; s <= FK; ++s) {
      const std::uint64_t All = Binomial(FK, s);
      FBest[s].Reserve(static_cast<std::size_t>(std::min<std::uint64_t>(All, std::uint64_t(PerSize) + kExtra)));
    }
    Root(S);
  }

  void Run() {
    FBest[FK].Offer(FLevels[0].A[FK][FK], FLevels[0].Terms);
    Visit(0);
    if (FProgress) FProgress(1.0);
  }

  const std::vector<TCandidate>& Kept(int Size) const { return FBest[Size].Kept(); }

 private:
  // The full model with its predictors in rank order: the largest cost of
  // dropping first, the column order on a tie.
  void Root(const TSubsetSums& S) {
    TNode& R = FLevels[0];
    const TMatrix& Full = S.Full.Get();
    Extended Cost[MaxVars];
    for (int j = 0; j < FK; ++j) {
      Cost[j] = Finite(Div(Full[j][FK] * Full[j][FK], -Full[j][j]));
      R.Free[j] = j;
    }
    std::stable_sort(R.Free, R.Free + FK, [&](int a, int b) { return Cost[a] > Cost[b]; });
    for (int a = 0; a <= FK; ++a) {
      const int i = a < FK ? R.Free[a] : FK;
      for (int b = 0; b <= FK; ++b) R.A[a][b] = Full[i][b < FK ? R.Free[b] : FK];
    }
    R.F = FK;
    R.Size = FK;
    R.Terms = (1u << FK) - 1;
  }

  void Visit(int Level) {
    TNode& N = FLevels[Level];
    Covered(1);
    const int f = N.F;
    const Extended RSS = N.A[f][f];
    for (int q = 0; q < f; ++q) N.Drop[q] = Finite(RSS + Div(N.A[q][f] * N.A[q][f], -N.A[q][q]));
    if (N.Size >= 2) {
      for (int q = 0; q < f; ++q) FBest[N.Size - 1].Offer(N.Drop[q], N.Terms & ~(1u << N.Free[q]));
    }
    // Later rows first: their small subtrees hold the models that keep the
    // important predictors, whose RSS set the thresholds for the rest.
    int Decided = 0;
    for (int q = f - 1; q >= 0; --q) {
      const int Below = f - 1 - q;
      if (Below > 0 && MayImprove(N.Size - 1, N.Drop[q], N.Sorted, Below)) {
        Child(Level, q);
        Visit(Level + 1);
      } else {
        Covered(std::uint64_t{1} << Below);
      }
      Insert(N.Sorted, Decided++, N.Drop[q]);
    }
  }

  // Whether the subtree below a child of size s0 and RSS Rc, whose own free
  // predictors' drops from the parent are Sorted[0..m), can hold a model
  // better than the threshold of its size. A model that drops d of them
  // lies inside the parent without each, so its RSS is at least Rc and at
  // least the d-th smallest of those drops.
  bool MayImprove(int s0, Extended Rc, const Extended* Sorted, int m) const {
    for (int d = 1; d <= m && s0 - d >= 1; ++d) {
      const Extended Bound = std::max(Rc, Sorted[d - 1]);
      if (Bound < FBest[s0 - d].Threshold() * (1 + kSlack)) return true;
    }
    return false;
  }

  static void Insert(Extended* Sorted, int Count, Extended Value) {
    int i = Count;
    for (; i > 0 && Sorted[i - 1] > Value; --i) Sorted[i] = Sorted[i - 1];
    Sorted[i] = Value;
  }

  // The parent without its free row q, over the rows after q and Y.
  void Child(int Level, int q) {
    const TNode& P = FLevels[Level];
    TNode& C = FLevels[Level + 1];
    const int First = q + 1;
    C.F = P.F - First;
    const Extended Pivot = P.A[q][q];
    for (int i = 0; i <= C.F; ++i) {
      const int a = First + i;
      const Extended Factor = Div(P.A[a][q], Pivot);
      for (int j = i; j <= C.F; ++j) {
        const int b = First + j;
        C.A[i][j] = C.A[j][i] = P.A[a][b] - Factor * P.A[q][b];
      }
    }
    for (int i = 0; i < C.F; ++i) C.Free[i] = P.Free[First + i];
    C.Size = P.Size - 1;
    C.Terms = P.Terms & ~(1u << P.Free[q]);
  }

  void Covered(std::uint64_t Subsets) {
    FCovered += Subsets;
    if (FProgress && (++FCalls & 0xFFF) == 0) FProgress(static_cast<double>(FCovered) / FTotal);
  }

  int FK;
  const std::function<void(double)>& FProgress;
  std::vector<TNode> FLevels;
  std::vector<TCandidates> FBest;
  double FTotal;
  std::uint64_t FCovered = 0, FCalls = 0;
};

// The figures of one model, as R's lm of its predictors gives them.
TSubsetModel ModelOf(const TBestSubsets& R, int Size, std::uint32_t Terms, Extended RSS) {
  const int n = R.N;
  TSubsetModel M{};
  M.Size = Size;
  M.Terms = Terms;
  M.RSS = RSS;
  M.R2 = Finite(1 - Div(RSS, R.SST));
  M.AdjR2 = Finite(1 - Div(Div(RSS, n - Size - 1), Div(R.SST, n - 1)));
  M.Cp = Finite(Div(RSS, R.Sigma2) - n + 2 * (Size + 1));
  constexpr Extended Ln2Pi = 1.837877066409345483560659472811235L;
  const Extended Deviance = Finite(LogScaledRSS(RSS, n) + n * Ln2Pi + n);
  M.AIC = Finite(Deviance + 2 * (Size + 2));
  M.BIC = Finite(Deviance + Ln(n) * (Size + 2));
  return M;
}

// Whether A is better than B by the criterion; equal is not better.
bool Better(const TSubsetModel& A, const TSubsetModel& B, TSubsetCriterion Criterion) {
  switch (Criterion) {
    case TSubsetCriterion::scAdjR2: return A.AdjR2 > B.AdjR2;
    case TSubsetCriterion::scCp: return A.Cp < B.Cp;
    case TSubsetCriterion::scAIC: return A.AIC < B.AIC;
    case TSubsetCriterion::scBIC: return A.BIC < B.BIC;
  }
  return false;
}

// The kept models of each size refitted from their own sums and ranked by
// that RSS; then the best of them all.
void Report(const TSubsetSums& S, const TSearch& Search, TBestSubsets& R) {
  THeapMatrix Work;
  const std::uint32_t All = (1u << S.K) - 1;
  R.SST = S.SST();
  R.Sigma2 = Div(SubsetRSS(S, All, Work.Get()), S.N - S.K - 1);
  for (int s = 1; s <= S.K; ++s) {
    std::vector<TCandidate> Refit = Search.Kept(s);
    for (TCandidate& C : Refit) C.RSS = SubsetRSS(S, C.Terms, Work.Get());
    std::sort(Refit.begin(), Refit.end());
    const int Count = std::min<int>(R.PerSize, static_cast<int>(Refit.size()));
    for (int r = 0; r < Count; ++r) {
      R.Models.push_back(ModelOf(R, s, Refit[r].Terms, Refit[r].RSS));
      R.Models.back().Rank = r + 1;
    }
  }
  R.Best = R.Models.front();
  for (const TSubsetModel& M : R.Models) {
    if (Better(M, R.Best, R.Criterion)) R.Best = M;
  }
}

}  // namespace

TBestSubsets TKorlen::MVBestSubsets(const TRegressData* X, std::span<const double> Y, Byte k, int n, int PerSize,
                                    TSubsetCriterion Criterion, const std::function<void(double)>& Progress) {
  TBestSubsets Result{};
  const bool Known = Criterion == TSubsetCriterion::scAdjR2 || Criterion == TSubsetCriterion::scCp ||
                     Criterion == TSubsetCriterion::scAIC || Criterion == TSubsetCriterion::scBIC;
  if (X == nullptr || !FitCountsValid(k, n) || !Holds(Y, n) || PerSize < 1 || !Known) return Result;
  Guard("Error occurred in  MVBestSubsets", [&] {
    if (ScanData() && !MVCheckXData(X, k, n)) return;
    const TSubsetSums S = SubsetSums(*X, Y, k, n);
    TSearch Search(S, PerSize, Progress);
    Search.Run();
    TBestSubsets R{};
    R.N = n;
    R.K = k;
    R.PerSize = PerSize;
    R.Criterion = Criterion;
    Report(S, Search, R);
    Result = std::move(R);
  });
  return Result;
}

}  // namespace varnel
