// SPDX-License-Identifier: Apache-2.0
// The best subsets by branch and bound over the tree of models reached from
// the full model by dropping predictors, and the stepwise search by AIC.
//
// A node of the tree holds its model swept in over the predictors it may
// still drop (its free ones) and the response: M = [[G, β], [βᵀ, −RSS]]
// with G the inverse of the model's centred cross products. Dropping free
// predictor q costs β_q²/G_qq, read off the node, and the child is
// M − M[·,q]M[q,·]/M_qq without row and column q: one rank-one update, so
// no node is further than K updates from the moments. The RSS of a model
// bounds the RSS of every model inside it, which prunes the tree.
#include "varnel/engine/subsets.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>

#include "varnel/engine/cholesky.h"
#include "varnel/core/checked.h"

namespace varnel::engine {
namespace {

using TMask = std::uint64_t;
constexpr long double kNone = std::numeric_limits<long double>::infinity();
// Candidates kept per size beyond those asked for, and the relative margin
// a bound must clear to prune: the tree's RSS carry the rounding of up to K
// updates, and the kept candidates are refitted from the moments at the end.
constexpr std::size_t kExtra = 2;
constexpr long double kSlack = 1e-9L;

// Centred cross products of the given columns (the response may be one).
std::vector<long double> Block(const TMoments& State, std::span<const std::size_t> Columns) {
  const std::size_t m = Columns.size();
  std::vector<long double> A(m * m);
  for (std::size_t a = 0; a < m; ++a) {
    for (std::size_t b = 0; b < m; ++b) A[a * m + b] = State.CoMoment(Columns[a], Columns[b]);
  }
  return A;
}

// Σx² about zero of a predictor: the scale of the aliasing test, as Solve's.
long double Norm(const TMoments& State, std::size_t j) {
  const long double Mean = State.Mean(j);
  const long double Norm = State.CoMoment(j, j) + static_cast<long double>(State.Count()) * Mean * Mean;
  return Norm == 0 ? 1 : Norm;
}

// The place of j in an increasing list that holds it.
std::size_t IndexOf(const std::vector<std::size_t>& Sorted, std::size_t j) {
  return static_cast<std::size_t>(std::lower_bound(Sorted.begin(), Sorted.end(), j) - Sorted.begin());
}

struct TCandidate {
  long double Rss;
  TMask Mask;
  // Ties by the lower columns first: the mask whose lowest differing bit is set.
  bool operator<(const TCandidate& Other) const {
    if (Rss != Other.Rss) return Rss < Other.Rss;
    const TMask Differ = Mask ^ Other.Mask;
    return Differ != 0 && (Mask & Differ & (~Differ + 1)) != 0;
  }
};

// The best Capacity candidates of one size met so far, as a max-heap.
class TCandidates {
 public:
  explicit TCandidates(std::size_t Capacity = 0) : FCapacity(Capacity) {}
  long double Threshold() const { return FHeap.size() < FCapacity ? kNone : FHeap.front().Rss; }
  void Offer(long double Rss, TMask Mask) {
    const TCandidate C{Rss, Mask};
    if (FHeap.size() < FCapacity) {
      FHeap.push_back(C);
      std::push_heap(FHeap.begin(), FHeap.end());
    } else if (FCapacity > 0 && C < FHeap.front()) {
      std::pop_heap(FHeap.begin(), FHeap.end());
      FHeap.back() = C;
      std::push_heap(FHeap.begin(), FHeap.end());
    }
  }
  const std::vector<TCandidate>& Kept() const { return FHeap; }

 private:
  std::size_t FCapacity;
  std::vector<TCandidate> FHeap;
};

// A node: M over its F free predictors (Free[q], 0-based among the searched
// ones) and the response, row-major (F + 1)².
struct TNode {
  std::vector<long double> M;
  std::vector<std::size_t> Free;
  std::vector<long double> Drop;  // the RSS without each free predictor
  std::size_t Size = 0;
  TMask Mask = 0;
};

std::uint64_t Binomial(std::size_t n, std::size_t r) {
  long double c = 1;  // only compared with small capacities: saturating is enough
  for (std::size_t i = 1; i <= r; ++i) c = c * static_cast<long double>(n - r + i) / static_cast<long double>(i);
  return c > 1e18L ? std::uint64_t{1} << 62 : static_cast<std::uint64_t>(std::llround(c));
}

class TSearch {
 public:
  TSearch(std::vector<long double> Root, std::size_t K, std::size_t Capacity,
          const std::function<void(double)>& Progress)
      : FBest(K + 1), FProgress(Progress), FTotal(std::ldexp(1.0, static_cast<int>(K))) {
    for (std::size_t s = 1; s <= K; ++s)
      FBest[s] = TCandidates(static_cast<std::size_t>(std::min<std::uint64_t>(Binomial(K, s), Capacity)));
    TNode R;
    R.M = std::move(Root);
    R.Size = K;
    R.Mask = K == 64 ? ~TMask{0} : (TMask{1} << K) - 1;
    R.Free.resize(K);
    for (std::size_t j = 0; j < K; ++j) R.Free[j] = j;
    FBest[K].Offer(-R.M[K * (K + 1) + K], R.Mask);
    Visit(std::move(R));
    if (FProgress) FProgress(1.0);
  }
  const std::vector<TCandidate>& Kept(std::size_t Size) const { return FBest[Size].Kept(); }

 private:
  void Visit(TNode N) {
    const std::size_t f = N.Free.size(), w = f + 1;
    const long double Rss = -N.M[f * w + f];
    Covered(1);
    N.Drop.resize(f);
    for (std::size_t q = 0; q < f; ++q) {
      const long double b = N.M[q * w + f], g = N.M[q * w + q];
      N.Drop[q] = Finite(Rss + b * b / g);
      if (N.Size >= 2) FBest[N.Size - 1].Offer(N.Drop[q], N.Mask & ~(TMask{1} << N.Free[q]));
    }
    // The later rows first: their small subtrees keep the important
    // predictors (the root is ordered so), and their models set the
    // thresholds that prune the large subtrees of the earlier rows.
    std::vector<long double> Sorted;  // drops of the rows after q, ascending
    for (std::size_t q = f; q-- > 0;) {
      if (!Sorted.empty() && MayImprove(N.Size - 1, N.Drop[q], Sorted)) {
        Visit(Child(N, q));
      } else {
        Covered(std::ldexp(1.0, static_cast<int>(Sorted.size())));  // the child and its subtree
      }
      Sorted.insert(std::upper_bound(Sorted.begin(), Sorted.end(), N.Drop[q]), N.Drop[q]);
    }
  }

  // Whether the subtree below a child of size s0 and RSS Rc can hold a model
  // among the best of its size. Its models drop d ≥ 1 of the child's free
  // predictors, each of which alone the parent loses at the cost in Sorted:
  // such a model's RSS is at least Rc and the d-th smallest of those.
  bool MayImprove(std::size_t s0, long double Rc, const std::vector<long double>& Sorted) const {
    for (std::size_t d = 1; d <= Sorted.size() && d < s0; ++d) {
      const long double Bound = std::max(Rc, Sorted[d - 1]);
      if (Bound < FBest[s0 - d].Threshold() * (1 + kSlack)) return true;
    }
    return false;
  }

  // The parent without free row q, over the rows after q and the response.
  static TNode Child(const TNode& P, std::size_t q) {
    const std::size_t f = P.Free.size(), w = f + 1, First = q + 1, cf = f - First, cw = cf + 1;
    TNode C;
    C.M.resize(cw * cw);
    const long double Pivot = P.M[q * w + q];
    for (std::size_t i = 0; i < cw; ++i) {
      const std::size_t a = First + i;
      const long double Factor = P.M[a * w + q] / Pivot;
      for (std::size_t j = i; j < cw; ++j) {
        const std::size_t b = First + j;
        C.M[i * cw + j] = C.M[j * cw + i] = P.M[a * w + b] - Factor * P.M[q * w + b];
      }
    }
    C.Free.assign(P.Free.begin() + static_cast<std::ptrdiff_t>(First), P.Free.end());
    C.Size = P.Size - 1;
    C.Mask = P.Mask & ~(TMask{1} << P.Free[q]);
    return C;
  }

  void Covered(double Subsets) {
    FCovered += Subsets;
    if (FProgress && (++FCalls & 0xFFFF) == 0) FProgress(FCovered / FTotal);
  }

  std::vector<TCandidates> FBest;
  const std::function<void(double)>& FProgress;
  double FTotal, FCovered = 0;
  std::uint64_t FCalls = 0;
};

// A model's inverse cross products G (over Columns, in their order), its
// slopes β = G c and its RSS, from the Cholesky factor of its centred
// cross products; EMathError when they are not positive definite.
struct TInverted {
  std::vector<long double> G, Beta;
  long double Rss = 0;
};

TInverted Inverted(const TMoments& State, const std::vector<std::size_t>& Columns) {
  const std::size_t K = Columns.size(), y = State.P() - 1;
  std::vector<long double> L = Block(State, Columns);
  if (!CholeskyFactor(L, K)) throw EMathError("the predictors' cross products are not positive definite");
  TInverted R{InverseFromCholesky(L, K), std::vector<long double>(K, 0), 0};
  long double Explained = 0;
  for (std::size_t i = 0; i < K; ++i) {
    for (std::size_t j = 0; j < K; ++j) R.Beta[i] += R.G[i * K + j] * State.CoMoment(Columns[j], y);
    Explained += R.Beta[i] * State.CoMoment(Columns[i], y);
  }
  R.Rss = std::max(0.0L, State.CoMoment(y, y) - Explained);
  return R;
}

// The root of the search: the full model swept in, its predictors ordered
// by what dropping each costs it, most costly first (column order on a tie).
// Order receives the searched predictors' indices in that order.
std::vector<long double> Root(const TMoments& State, const std::vector<std::size_t>& Kept,
                              std::vector<std::size_t>& Order) {
  const std::size_t K = Kept.size();
  const TInverted I = Inverted(State, Kept);
  std::vector<long double> Cost(K);
  for (std::size_t j = 0; j < K; ++j) Cost[j] = I.Beta[j] * I.Beta[j] / I.G[j * K + j];
  Order.resize(K);
  for (std::size_t j = 0; j < K; ++j) Order[j] = j;
  std::stable_sort(Order.begin(), Order.end(), [&](std::size_t a, std::size_t b) { return Cost[a] > Cost[b]; });
  const std::size_t w = K + 1;
  std::vector<long double> M(w * w);
  for (std::size_t a = 0; a < K; ++a) {
    for (std::size_t b = 0; b < K; ++b) M[a * w + b] = I.G[Order[a] * K + Order[b]];
    M[a * w + K] = M[K * w + a] = I.Beta[Order[a]];
  }
  M[K * w + K] = -I.Rss;
  return M;
}

TSubset Figures(const TBestSubsets& R, std::size_t Size, std::vector<std::size_t> Predictors, long double Rss) {
  const auto n = static_cast<long double>(R.N), s = static_cast<long double>(Size);
  TSubset M;
  M.Size = Size;
  M.Predictors = std::move(Predictors);
  M.Rss = Rss;
  M.R2 = 1 - Rss / R.Sst;
  M.AdjR2 = 1 - (Rss / (n - s - 1)) / (R.Sst / (n - 1));
  M.Cp = Rss / R.Sigma2 - n + 2 * (s + 1);
  const long double Deviance = n * std::log(Rss / n) + n * std::log(2 * std::numbers::pi_v<long double>) + n;
  M.AIC = Deviance + 2 * (s + 2);
  M.BIC = Deviance + std::log(n) * (s + 2);
  return M;
}

void CheckTerms(std::span<const std::vector<std::size_t>> Terms, std::size_t K) {
  if (Terms.empty()) throw EEngineError("a stepwise search needs at least one term");
  std::vector<bool> Seen(K);
  for (const std::vector<std::size_t>& Term : Terms) {
    if (Term.empty()) throw EEngineError("a term of a stepwise search has no column");
    for (std::size_t j : Term) {
      if (j >= K || Seen[j]) throw EEngineError("a column of a stepwise search is out of range or in two terms");
      Seen[j] = true;
    }
  }
}

class TStepper {
 public:
  TStepper(const TMoments& State, std::span<const std::vector<std::size_t>> Terms, TStepDirection Direction,
           long double Tolerance, std::span<const std::vector<int>> Variables)
      : FState(State), FTerms(Terms), FDirection(Direction), FTolerance(Tolerance), FVariables(Variables) {
    if (Direction != TStepDirection::Forward) {
      for (std::size_t t = 0; t < Terms.size(); ++t) FOrder.push_back(t);
    }
  }

  std::vector<TStep> Run() {
    constexpr std::size_t kMaxSteps = 1000;  // step()'s own limit
    std::vector<TStep> Steps{Fitted(FOrder, TStepAction::Start, 0)};
    for (std::size_t s = 1; s <= kMaxSteps; ++s) {
      TStep Next;
      if (!FindBetter(Steps.back().AIC, Next)) break;
      Next.Step = s;
      if (Next.Action == TStepAction::Add) {
        FOrder.push_back(Next.Term);
      } else {
        FOrder.erase(std::find(FOrder.begin(), FOrder.end(), Next.Term));
      }
      Steps.push_back(std::move(Next));
    }
    return Steps;
  }

 private:
  TStep Fitted(const std::vector<std::size_t>& Order, TStepAction Action, std::size_t Term) const {
    std::vector<std::vector<std::size_t>> Positions;
    const TSubsetFit Fit = FitSubset(FState, ColumnsOf(Order, Positions), FTolerance);
    const auto n = static_cast<long double>(FState.Count());
    TStep S;
    S.Action = Action;
    S.Term = Term;
    S.Terms = Order;
    std::sort(S.Terms.begin(), S.Terms.end());
    S.DfResidual = FState.Count() > Fit.Rank ? FState.Count() - Fit.Rank : 0;
    S.Rss = Fit.Rss;
    S.AIC = Finite(n * std::log(Fit.Rss / n) + 2 * static_cast<long double>(Fit.Rank));
    return S;
  }

  // The model's columns, increasing, with each term's positions among them.
  std::vector<std::size_t> ColumnsOf(const std::vector<std::size_t>& Order,
                                     std::vector<std::vector<std::size_t>>& Positions) const {
    std::vector<std::size_t> Columns;
    for (std::size_t t : Order) Columns.insert(Columns.end(), FTerms[t].begin(), FTerms[t].end());
    std::sort(Columns.begin(), Columns.end());
    for (std::size_t t : Order) {
      Positions.emplace_back();
      for (std::size_t j : FTerms[t])
        Positions.back().push_back(IndexOf(Columns, j));
    }
    return Columns;
  }

  // The RSS of the model without each of its terms, from one inverse of
  // its cross products: RSS + β_tᵀ(G_tt)⁻¹β_t, so that a model of p columns
  // costs one O(p³) inverse rather than one per term. Empty when the model
  // has an aliased column (a drop may then bring another back into the fit)
  // or a block that is not positive definite: each drop is refitted then.
  std::vector<long double> DropRss(long double& Rss) const {
    std::vector<std::vector<std::size_t>> Positions;
    const std::vector<std::size_t> Columns = ColumnsOf(FOrder, Positions);
    if (Columns.empty() || FitSubset(FState, Columns, FTolerance).Rank != Columns.size() + 1) return {};
    const TInverted I = Inverted(FState, Columns);
    const std::size_t p = Columns.size();
    std::vector<long double> Out;
    for (const std::vector<std::size_t>& At : Positions) {
      const std::size_t m = At.size();
      std::vector<long double> Gtt(m * m), x(m);
      for (std::size_t a = 0; a < m; ++a) {
        x[a] = I.Beta[At[a]];
        for (std::size_t b = 0; b < m; ++b) Gtt[a * m + b] = I.G[At[a] * p + At[b]];
      }
      if (!CholeskyFactor(Gtt, m)) return {};
      long double Cost = 0;  // |L⁻¹β_t|²
      for (std::size_t a = 0; a < m; ++a) {
        for (std::size_t b = 0; b < a; ++b) x[a] -= Gtt[a * m + b] * x[b];
        x[a] /= Gtt[a * m + a];
        Cost += x[a] * x[a];
      }
      Out.push_back(I.Rss + Cost);
    }
    Rss = I.Rss;
    return Out;
  }

  // The first candidate whose AIC is below Best, lowering Best as it goes.
  // A drop priced from the inverse is refitted once it is taken, so that the
  // path's figures are each model's own fit.
  bool FindBetter(long double Best, TStep& Out) const {
    bool Found = false, Priced = false;
    const auto Take = [&](TStep S, bool FromInverse) {
      if (S.AIC < Best) {
        Best = S.AIC;
        Out = std::move(S);
        Found = true;
        Priced = FromInverse;
      }
    };
    const auto Without = [this](std::size_t i) {
      std::vector<std::size_t> Order = FOrder;
      Order.erase(Order.begin() + static_cast<std::ptrdiff_t>(i));
      return Order;
    };
    if (FDirection != TStepDirection::Forward) {
      long double Rss = 0;
      const std::vector<long double> Dropped = DropRss(Rss);
      const auto n = static_cast<long double>(FState.Count());
      for (std::size_t i = 0; i < FOrder.size(); ++i) {
        if (!Droppable(FOrder[i])) continue;
        if (Dropped.empty()) {
          Take(Fitted(Without(i), TStepAction::Drop, FOrder[i]), false);
          continue;
        }
        TStep S;
        S.Action = TStepAction::Drop;
        S.Term = FOrder[i];
        const std::size_t Rank = Width() + 1 - FTerms[FOrder[i]].size();
        S.AIC = Finite(n * std::log(Dropped[i] / n) + 2 * static_cast<long double>(Rank));
        Take(std::move(S), true);
      }
    }
    if (FDirection != TStepDirection::Backward) {
      for (std::size_t t = 0; t < FTerms.size(); ++t) {
        if (std::find(FOrder.begin(), FOrder.end(), t) != FOrder.end() || !Addable(t)) continue;
        std::vector<std::size_t> Order = FOrder;
        Order.push_back(t);
        Take(Fitted(Order, TStepAction::Add, t), false);
      }
    }
    if (Found && Priced) {
      const auto At = std::find(FOrder.begin(), FOrder.end(), Out.Term) - FOrder.begin();
      Out = Fitted(Without(static_cast<std::size_t>(At)), TStepAction::Drop, Out.Term);
    }
    return Found;
  }

  // Whether term Outer contains term Inner (its variables are among
  // Outer's, and Outer is not Inner); never without the terms' variables.
  bool Contains(std::size_t Outer, std::size_t Inner) const {
    if (FVariables.empty()) return false;
    const std::vector<int>& O = FVariables[Outer];
    const std::vector<int>& I = FVariables[Inner];
    return O.size() > I.size() && std::includes(O.begin(), O.end(), I.begin(), I.end());
  }
  // step()'s marginality: no term of the model contains a term dropped,
  // and every term that a term added contains is in the model.
  bool Droppable(std::size_t t) const {
    return std::none_of(FOrder.begin(), FOrder.end(), [&](std::size_t u) { return Contains(u, t); });
  }
  bool Addable(std::size_t t) const {
    for (std::size_t u = 0; u < FTerms.size(); ++u) {
      if (Contains(t, u) && std::find(FOrder.begin(), FOrder.end(), u) == FOrder.end()) return false;
    }
    return true;
  }

  // The model's columns.
  std::size_t Width() const {
    std::size_t w = 0;
    for (std::size_t t : FOrder) w += FTerms[t].size();
    return w;
  }

  const TMoments& FState;
  std::span<const std::vector<std::size_t>> FTerms;
  TStepDirection FDirection;
  long double FTolerance;
  std::span<const std::vector<int>> FVariables;
  std::vector<std::size_t> FOrder;  // the model's terms in the order they entered it
};

}  // namespace

TSubsetFit FitSubset(const TMoments& State, std::span<const std::size_t> Predictors, long double Tolerance) {
  if (State.P() == 0 || State.Count() == 0) throw EEngineError("a fit needs a response column and a complete row");
  const std::size_t y = State.P() - 1;
  for (std::size_t j = 0; j < Predictors.size(); ++j) {
    if (Predictors[j] >= y || (j > 0 && Predictors[j] <= Predictors[j - 1]))
      throw EEngineError("a subset's predictors are increasing columns before the response");
  }
  // Cholesky of the centred products in column order, the response last:
  // its final pivot is the RSS; an aliased column is skipped, as Solve
  // skips it.
  std::vector<std::size_t> Columns(Predictors.begin(), Predictors.end());
  Columns.push_back(y);
  const std::size_t m = Columns.size();
  const std::vector<long double> A = Block(State, Columns);
  std::vector<long double> L(m * m, 0);
  std::vector<std::size_t> Kept;  // positions in Columns
  long double Rss = 0;
  for (std::size_t j = 0; j < m; ++j) {
    long double Pivot = A[j * m + j];
    for (std::size_t l = 0; l < Kept.size(); ++l) {
      long double s = A[j * m + Kept[l]];
      for (std::size_t k = 0; k < l; ++k) s -= L[j * m + k] * L[Kept[l] * m + k];
      L[j * m + l] = s / L[Kept[l] * m + l];
      Pivot -= L[j * m + l] * L[j * m + l];
    }
    if (j + 1 == m) {
      Rss = std::max(0.0L, Finite(Pivot));
    } else if (Finite(Pivot) >= Tolerance * Norm(State, Columns[j])) {
      L[j * m + Kept.size()] = std::sqrt(Pivot);
      Kept.push_back(j);
    }
  }
  return {Rss, Kept.size() + 1};
}

TBestSubsets BestSubsets(const TMoments& State, std::size_t PerSize, const std::function<void(double)>& Progress,
                         long double Tolerance) {
  if (State.P() < 2) throw EEngineError("a subset search needs a predictor and a response");
  const std::size_t K = State.P() - 1;
  if (K > kMaxSubsetPredictors) {
    throw ESearchTooLarge("the exhaustive subset search takes at most " + std::to_string(kMaxSubsetPredictors) +
                          " predictors, not " + std::to_string(K));
  }
  if (PerSize == 0) throw EEngineError("a subset search needs at least one model of each size");
  const TFit Full = Solve(State, true, Tolerance);
  TBestSubsets R;
  R.N = State.Count();
  R.PerSize = PerSize;
  R.Kept = Full.Kept;
  R.Aliased = Full.Aliased;
  const std::size_t q = R.Kept.size();
  if (q == 0) throw EEngineError("no predictor is estimable");
  if (R.N <= q + 1) throw EEngineError("the full model has no residual degree of freedom");
  // Clamped so that the sum below cannot wrap.
  const std::size_t Each = std::min(PerSize, kMaxKeptSubsets) + kExtra;
  std::uint64_t Keep = 0;
  for (std::size_t s = 1; s <= q; ++s) Keep += std::min<std::uint64_t>(Binomial(q, s), Each);
  if (Keep > kMaxKeptSubsets) {
    throw ESearchTooLarge("the exhaustive subset search keeps at most " + std::to_string(kMaxKeptSubsets) +
                          " models in memory, and " + std::to_string(PerSize) + " of each size would be more");
  }
  std::vector<std::size_t> Order;
  const TSearch Search(Root(State, R.Kept, Order), q, Each, Progress);
  R.Sst = State.CoMoment(K, K);
  R.Sigma2 = FitSubset(State, R.Kept, Tolerance).Rss / static_cast<long double>(R.N - q - 1);
  for (std::size_t s = 1; s <= q; ++s) {
    std::vector<TCandidate> Refit = Search.Kept(s);
    std::vector<std::vector<std::size_t>> Columns(Refit.size());
    for (std::size_t c = 0; c < Refit.size(); ++c) {
      // Mask bit a: the a-th predictor of the root's order.
      for (std::size_t a = 0; a < q; ++a) {
        if (Refit[c].Mask & (TMask{1} << a)) Columns[c].push_back(R.Kept[Order[a]]);
      }
      std::sort(Columns[c].begin(), Columns[c].end());
      Refit[c].Rss = FitSubset(State, Columns[c], Tolerance).Rss;
      // Re-keyed by the columns, so that ties fall to the lower columns.
      Refit[c].Mask = 0;
      for (std::size_t j : Columns[c]) {
        Refit[c].Mask |= TMask{1} << IndexOf(R.Kept, j);
      }
    }
    std::sort(Refit.begin(), Refit.end());
    for (std::size_t r = 0; r < std::min(PerSize, Refit.size()); ++r) {
      std::vector<std::size_t> Predictors;
      for (std::size_t a = 0; a < q; ++a) {
        if (Refit[r].Mask & (TMask{1} << a)) Predictors.push_back(R.Kept[a]);
      }
      R.Models.push_back(Figures(R, s, std::move(Predictors), Refit[r].Rss));
      R.Models.back().Rank = r + 1;
    }
  }
  return R;
}

std::size_t TBestSubsets::BestBy(TSubsetCriterion Criterion) const {
  const auto Better = [Criterion](const TSubset& A, const TSubset& B) {
    switch (Criterion) {
      case TSubsetCriterion::AdjR2: return A.AdjR2 > B.AdjR2;
      case TSubsetCriterion::Cp: return A.Cp < B.Cp;
      case TSubsetCriterion::AIC: return A.AIC < B.AIC;
      case TSubsetCriterion::BIC: return A.BIC < B.BIC;
    }
    return false;
  };
  std::size_t Best = 0;
  for (std::size_t i = 1; i < Models.size(); ++i) {
    if (Better(Models[i], Models[Best])) Best = i;
  }
  return Best;
}

std::vector<TStep> StepwiseAIC(const TMoments& State, std::span<const std::vector<std::size_t>> Terms,
                               TStepDirection Direction, long double Tolerance,
                               std::span<const std::vector<int>> Variables) {
  if (State.P() == 0 || State.Count() == 0) throw EEngineError("a stepwise search needs a response and a complete row");
  CheckTerms(Terms, State.P() - 1);
  if (!Variables.empty() && Variables.size() != Terms.size())
    throw EEngineError("a stepwise search needs the variables of every term, or of none");
  for (const std::vector<int>& V : Variables) {
    if (!std::is_sorted(V.begin(), V.end())) throw EEngineError("a term's variables must be in increasing order");
  }
  return TStepper(State, Terms, Direction, Tolerance, Variables).Run();
}

}  // namespace varnel::engine
