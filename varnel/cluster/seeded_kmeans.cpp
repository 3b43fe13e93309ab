// SPDX-License-Identifier: Apache-2.0
// k-means from k-means++ starts with a seed: Lloyd's iterations, then
// passes of single moves of an observation to another cluster wherever a
// move lowers the total within-cluster sum of squares (as the Hartigan-Wong
// method makes them; they include the moves Lloyd's step would make, and
// the ones it cannot see), until a pass moves nothing. The best of several starts is
// kept. Random numbers come from std::mt19937_64, whose sequence the
// standard fixes, turned into uniforms by the code here, so that a seed
// gives the same clusters everywhere.
//
// Most of the work is distances. Each start keeps bounds on every
// observation's distances to the centres (kmeans_bounds.h) and computes an
// observation's distances only where the bounds leave its step's decision
// open; every decision is the one the plain steps, which compute every
// distance, make, so the results are the same bits. The starts run on
// several threads, each from uniforms drawn beforehand in start order, and
// are taken in start order.
#include "varnel/cluster/seeded_kmeans.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "varnel/cluster/kmeans_bounds.h"
#include "varnel/cluster/kmeans_steps.h"
#include "varnel/cluster/ordered_tasks.h"
#include "varnel/core/checked.h"
#include "varnel/core/faults.h"
#include "varnel/core/guard.h"
#include "varnel/korlen.h"

namespace varnel {
namespace {

// Lloyd iterations, then passes of single moves (which also make every
// reassignment Lloyd's step would): far more than data of this size take;
// they only bound a pathological cycle.
constexpr int kMaxIterations = 10;
constexpr int kMaxPasses = 1000;
// Past this magnitude a squared distance can overflow, and the bounds'
// arithmetic with it: such data are worked without bounds.
constexpr double kBoundedRange = 1e150;
// Single moves before the bounds are carried to where the centres stand:
// an epoch of passes that move little is worth no sweep of all the bounds.
constexpr int kMovesPerEpoch = 64;
// Starts whose uniforms are drawn at a time: what they hold stays small
// however many starts are asked for.
constexpr int kStartsAtATime = 256;
// Below this many products of observations, variables and clusters a
// start costs less than starting a thread: the starts run on the caller's
// thread unless more are asked for.
constexpr std::int64_t kWorthAThread = 1 << 17;

// The observations row by row (observation t's k values together), and
// the caller's data variable by variable.
struct TPoints {
  int N = 0, k = 0;
  std::unique_ptr<double[]> Values;  // not zeroed first: every value is written
  const TRegressData* X = nullptr;
  bool Bounded = true;  // every value within ±kBoundedRange
  const double* Row(int t) const { return Values.get() + static_cast<std::size_t>(t) * k; }
  const double* Column(int j) const { return (*X)[j + 1].data(); }
};

TPoints PointsOf(const TRegressData& X, int k, int N) {
  const std::size_t Size = static_cast<std::size_t>(N) * k;
  TPoints P{N, k, std::make_unique_for_overwrite<double[]>(Size), &X};
  for (int j = 0; j < k; ++j) {
    for (int t = 0; t < N; ++t) P.Values[static_cast<std::size_t>(t) * k + j] = Finite(X[j + 1][t]);
  }
  const auto InRange = [](double v) { return std::fabs(v) <= kBoundedRange; };
  P.Bounded = std::all_of(P.Values.get(), P.Values.get() + Size, InRange);
  return P;
}

// One clustering: centres (cluster by cluster), each observation's cluster
// (0-based here) and the clusters' sizes. The centres are means formed in
// extended precision and kept as doubles, as the data are, so that the
// distances, most of the work, run in double arithmetic.
struct TSolution {
  int K = 0;
  std::vector<double> Centres;
  std::vector<int> Of, Size;
  int Iterations = 0;
  std::vector<double> ByVariable;  // the centres variable by variable: [j * K + c]
  double* Centre(int c) { return Centres.data() + static_cast<std::size_t>(c) * Centres.size() / K; }
  const double* Centre(int c) const { return Centres.data() + static_cast<std::size_t>(c) * Centres.size() / K; }
  void Set(int c, int j, double Value) {
    Centre(c)[j] = Value;
    ByVariable[static_cast<std::size_t>(j) * K + c] = Value;
  }
};

// Out[c] = the squared distance of x to centre c, for every c at once: each
// sum still runs over the variables in order, and the K sums side by side
// let the compiler vectorise across clusters. Each is the same sum, the
// same bits, as Distance2 gives for that centre alone.
void Distances(const double* x, const TSolution& S, int k, double* Out) {
  std::fill_n(Out, S.K, 0.0);
  for (int j = 0; j < k; ++j) {
    const double* Row = S.ByVariable.data() + static_cast<std::size_t>(j) * S.K;
    for (int c = 0; c < S.K; ++c) Out[c] += (x[j] - Row[c]) * (x[j] - Row[c]);
  }
}

double Distance2(const double* x, const double* c, int k) {
  double s = 0;
  for (int j = 0; j < k; ++j) s += (x[j] - c[j]) * (x[j] - c[j]);
  return s;
}

// The same sum in extended precision, for the sums of squares reported.
Extended ExactDistance2(const double* x, const double* c, int k) {
  Extended s = 0;
  for (int j = 0; j < k; ++j) s += (Extended(x[j]) - c[j]) * (Extended(x[j]) - c[j]);
  return s;
}

// A uniform on [0, 1) from the engine's 53 high bits.
Extended Uniform(std::mt19937_64& Engine) { return static_cast<Extended>(Engine() >> 11) * 0x1p-53L; }

// Nearest[t] = the least squared distance of observation t to centres
// 0..c, given it for 0..c − 1; returns their sum.
Extended NearestPlain(const TPoints& P, const TSolution& S, int c, std::vector<double>& Nearest) {
  Extended Total = 0;
  for (int t = 0; t < P.N; ++t) {
    const double d = Distance2(P.Row(t), S.Centre(c), P.k);
    Nearest[t] = c == 0 ? d : std::min(Nearest[t], d);
    Total += Nearest[t];
  }
  return Total;
}

// Out[t] = the squared distance of observation t to Centre, for every t:
// each the same sum, the same bits, as Distance2 gives, worked on blocks of
// observations side by side so that the compiler vectorises across them and
// a block's sums stay in cache.
void DistancesTo(const TPoints& P, const double* Centre, double* Out) {
  constexpr int kBlock = 512;
  for (int First = 0; First < P.N; First += kBlock) {
    const int Last = std::min(P.N, First + kBlock);
    std::fill(Out + First, Out + Last, 0.0);
    for (int j = 0; j < P.k; ++j) {
      const double* x = P.Column(j);
      const double Cj = Centre[j];
      for (int t = First; t < Last; ++t) Out[t] += (x[t] - Cj) * (x[t] - Cj);
    }
  }
}

// What k-means++ keeps of each observation: the least squared distance to
// the centres so far and which centre that is, and for the bounds the next
// least, its centre, and the least of the others.
struct TNearest {
  std::vector<double> Least, Next, Third, Square;
  std::vector<int> Centre, NextCentre;
  static constexpr double kNone = std::numeric_limits<double>::infinity();

  void Reset(int N) {
    Least.assign(N, 0), Next.assign(N, kNone), Third.assign(N, kNone), Square.resize(N);
    Centre.assign(N, 0), NextCentre.assign(N, -1);
  }

  // Observation t is at computed square d from centre c.
  void Reached(int t, int c, double d) {
    if (c == 0 || d < Least[t]) {
      Third[t] = Next[t], Next[t] = Least[t], NextCentre[t] = Centre[t];
      Least[t] = d, Centre[t] = c;
      if (c == 0) Next[t] = kNone, NextCentre[t] = -1;
    } else if (d < Next[t]) {
      Third[t] = Next[t], Next[t] = d, NextCentre[t] = c;
    } else {
      Third[t] = std::min(Third[t], d);
    }
  }
};

// The same as NearestPlain, with the distances to centre c computed for all
// observations at once.
Extended NearestAll(const TPoints& P, const TSolution& S, int c, TNearest& Near) {
  DistancesTo(P, S.Centre(c), Near.Square.data());
  Extended Total = 0;
  for (int t = 0; t < P.N; ++t) {
    Near.Reached(t, c, Near.Square[t]);
    Total += Near.Least[t];
  }
  return Total;
}

// What a start works in besides its clustering, kept by each worker from
// start to start so that its memory is taken once.
struct TWorkspace {
  std::vector<int> Members;     // the observations cluster by cluster
  std::vector<double> Nearest;  // k-means++ without bounds
  TNearest Near;                // k-means++ with them
  TBounds Bounds;
};

// A lower bound on a true distance from a computed square that may be none.
double LowerOf(double D2) { return D2 == TNearest::kNone ? TBounds::kFar : TBounds::TrueLower(D2); }

// The observation where the running sum of Nearest first passes Target.
int Drawn(const std::vector<double>& Nearest, Extended Target) {
  const int N = static_cast<int>(Nearest.size());
  Extended Running = 0;
  for (int t = 0; t < N; ++t) {
    Running += Nearest[t];
    if (Running > Target && Nearest[t] > 0) return t;
  }
  // Rounding can leave the target past the last sum: the last candidate.
  for (int t = N - 1; t > 0; --t) {
    if (Nearest[t] > 0) return t;
  }
  return 0;
}

// k-means++ from K uniforms: the first centre uniformly, each next one with
// probability proportional to the squared distance to the nearest centre so
// far. Fewer distinct observations than clusters leave nothing to draw: a
// fault. B, when given, receives the start's bounds.
void DrawStart(const TPoints& P, const Extended* Uniforms, TSolution& S, TWorkspace& W, TBounds* B) {
  TNearest& Near = W.Near;
  if (B) {
    Near.Reset(P.N);
  } else {
    W.Nearest.assign(P.N, 0);
  }
  std::vector<double>& Least = B ? Near.Least : W.Nearest;
  int Chosen = std::min(P.N - 1, static_cast<int>(Uniforms[0] * P.N));
  for (int c = 0;; ++c) {
    for (int j = 0; j < P.k; ++j) S.Set(c, j, P.Row(Chosen)[j]);
    if (c + 1 == S.K && !B) return;
    const Extended Total = B ? NearestAll(P, S, c, Near) : NearestPlain(P, S, c, Least);
    if (c + 1 == S.K) break;
    if (!(Finite(Total) > 0)) throw EZeroDivide();
    Chosen = Drawn(Least, Uniforms[c + 1] * Total);
  }
  for (int t = 0; t < P.N; ++t) {
    B->Set(t, Near.Centre[t], Near.Least[t], Near.NextCentre[t], LowerOf(Near.Next[t]), LowerOf(Near.Third[t]));
  }
  B->Settle(S.Centres.data());
}

// Sums over the listed observations of each variable, each sum in list
// order. Four variables at a time keep four sums in registers; the list is
// taken in runs short enough that a run's observations stay in cache while
// every group of four variables is summed over them.
void SumColumns(const TPoints& P, const int* First, const int* Last, Extended* Sum) {
  constexpr std::ptrdiff_t kRun = 64;
  std::fill_n(Sum, P.k, 0.0L);
  for (; First < Last; First += std::min(kRun, Last - First)) {
    const int* End = First + std::min(kRun, Last - First);
    int j = 0;
    for (; j + 4 <= P.k; j += 4) {
      Extended s0 = Sum[j], s1 = Sum[j + 1], s2 = Sum[j + 2], s3 = Sum[j + 3];
      for (const int* t = First; t != End; ++t) {
        const double* x = P.Row(*t) + j;
        s0 += x[0];
        s1 += x[1];
        s2 += x[2];
        s3 += x[3];
      }
      Sum[j] = s0, Sum[j + 1] = s1, Sum[j + 2] = s2, Sum[j + 3] = s3;
    }
    for (; j < P.k; ++j) {
      for (const int* t = First; t != End; ++t) Sum[j] += P.Row(*t)[j];
    }
  }
}

// The means of the clusters (of those marked in Stale, when given), each
// sum running over the cluster's observations in order; a cluster left
// empty keeps its centre. A cluster whose observations are the ones its
// mean was formed from gets that mean again, the same bits.
void Recentre(const TPoints& P, TSolution& S, std::vector<int>& Members, const std::vector<char>* Stale = nullptr) {
  std::fill(S.Size.begin(), S.Size.end(), 0);
  for (int t = 0; t < P.N; ++t) ++S.Size[S.Of[t]];
  Members.resize(P.N);
  std::array<int, 101> Next{};
  for (int c = 0; c < S.K; ++c) Next[c + 1] = Next[c] + S.Size[c];
  for (int t = 0; t < P.N; ++t) Members[Next[S.Of[t]]++] = t;
  std::array<Extended, MaxVars> Sum;
  for (int c = 0, First = 0; c < S.K; First += S.Size[c++]) {
    if (S.Size[c] == 0 || (Stale && !(*Stale)[c])) continue;
    SumColumns(P, Members.data() + First, Members.data() + First + S.Size[c], Sum.data());
    for (int j = 0; j < P.k; ++j) S.Set(c, j, ToDouble(Sum[j] / S.Size[c]));
  }
}

// A cluster left empty takes the observation farthest from its own centre,
// out of a cluster with more than one.
bool FillEmptyCluster(const TPoints& P, TSolution& S, std::vector<int>& Members) {
  const auto Empty = std::find(S.Size.begin(), S.Size.end(), 0);
  if (Empty == S.Size.end()) return false;
  int Far = -1;
  double Farthest = -1;
  for (int t = 0; t < P.N; ++t) {
    if (S.Size[S.Of[t]] < 2) continue;
    const double d = Distance2(P.Row(t), S.Centre(S.Of[t]), P.k);
    if (d > Farthest) Farthest = d, Far = t;
  }
  S.Of[Far] = static_cast<int>(Empty - S.Size.begin());
  Recentre(P, S, Members);
  return true;
}

// Each observation to its nearest centre (the first of equal ones);
// whether any moved.
bool Assign(const TPoints& P, TSolution& S) {
  bool Moved = false;
  double d[100];
  for (int t = 0; t < P.N; ++t) {
    Distances(P.Row(t), S, P.k, d);
    const int Best = static_cast<int>(std::min_element(d, d + S.K) - d);
    Moved = Moved || S.Of[t] != Best;
    S.Of[t] = Best;
  }
  return Moved;
}

// Sets the bounds of observation t from its computed squares d to all K
// centres, Near the one it goes to.
void SetFromAll(TBounds& B, int t, const double* d, int K, int Near) {
  double Next = TNearest::kNone, Third = TNearest::kNone;
  int NextCentre = -1;
  for (int c = 0; c < K; ++c) {
    if (c == Near) continue;
    if (d[c] < Next) {
      Third = Next, Next = d[c], NextCentre = c;
    } else {
      Third = std::min(Third, d[c]);
    }
  }
  B.Set(t, Near, d[Near], NextCentre, LowerOf(Next), LowerOf(Third));
}

// Observation t's nearest centre (the first of equal ones): Near(t) when
// the bounds show every other centre farther, after its distance, and then
// that to Next(t), are computed if need be; else from every distance.
int NearestCentre(const double* x, int t, const TSolution& S, int k, TBounds& B) {
  const int Near = B.Near(t), Next = B.Next(t);
  const double Floor = TBounds::AtLeast(B.Lower(t));
  if (Floor > TBounds::AtMost(B.Upper(t))) return Near;
  const double Own = Distance2(x, S.Centre(Near), k);
  B.SetUpper(t, Own);
  if (Floor > Own) return Near;
  if (Next != Near && TBounds::AtLeast(B.Beyond(t)) > Own) {
    const double ToNext = Distance2(x, S.Centre(Next), k);
    B.SetNext(t, ToNext);
    if (ToNext > Own) return Near;
  }
  double d[100];
  Distances(x, S, k, d);
  const int Best = static_cast<int>(std::min_element(d, d + S.K) - d);
  SetFromAll(B, t, d, S.K, Best);
  return Best;
}

// Assign with the bounds; marks in Stale the clusters that an observation
// left or joined.
bool AssignBounded(const TPoints& P, TSolution& S, TBounds& B, std::vector<char>& Stale) {
  bool Moved = false;
  for (int t = 0; t < P.N; ++t) {
    const int Best = NearestCentre(P.Row(t), t, S, P.k, B);
    if (S.Of[t] == Best) continue;
    Stale[S.Of[t]] = Stale[Best] = 1;
    S.Of[t] = Best;
    Moved = true;
  }
  return Moved;
}

// Ends the bounds' epoch where the centres now stand.
void Settle(const TSolution& S, TBounds& B) {
  for (int c = 0; c < S.K; ++c) B.Moved(c, S.Centre(c));
  B.Settle(S.Centres.data());
}

void Lloyd(const TPoints& P, TSolution& S, std::vector<int>& Members) {
  for (int i = 0; i < kMaxIterations; ++i) {
    const bool Moved = Assign(P, S);
    ++S.Iterations;
    Recentre(P, S, Members);
    while (FillEmptyCluster(P, S, Members)) {
    }
    if (!Moved) return;
  }
}

// The same iterations with the bounds: only the means of clusters whose
// observations changed are formed again (at first, all: the centres are
// observations, not means).
void LloydBounded(const TPoints& P, TSolution& S, TWorkspace& W) {
  std::vector<char> Stale(S.K, 1);
  for (int i = 0; i < kMaxIterations; ++i) {
    const bool Moved = AssignBounded(P, S, W.Bounds, Stale);
    ++S.Iterations;
    Recentre(P, S, W.Members, &Stale);
    std::fill(Stale.begin(), Stale.end(), 0);
    while (FillEmptyCluster(P, S, W.Members)) {
    }
    Settle(S, W.Bounds);
    if (!Moved) return;
  }
}

// Moving t from a (of n_a) to b (of n_b) changes the total by
// n_b/(n_b + 1)·d(t, b) − n_a/(n_a − 1)·d(t, a). Each pass makes every move
// that lowers it by more than rounding could, updating the two means as it
// goes (their drift stays far inside that margin; the passes end with the
// means formed afresh).
constexpr double kMoveMargin = 1 - 1e-12;

// Where the pass moves observation t of cluster a, from its squared
// distances d to every centre: the cluster of the least change below the
// margin, the first of equal ones; −1: nowhere.
int MoveTo(const double* d, int a, const TSolution& S) {
  const double Out = S.Size[a] / (S.Size[a] - 1.0) * d[a];
  int Best = -1;
  double Least = Out * kMoveMargin;
  for (int b = 0; b < S.K; ++b) {
    const double In = S.Size[b] / (S.Size[b] + 1.0) * d[b];
    if (b != a && In < Least) Least = In, Best = b;
  }
  return Best;
}

// x leaves cluster a for b, and both means follow.
void Transfer(const double* x, int a, int b, TSolution& S, int k) {
  for (int j = 0; j < k; ++j) {
    S.Set(a, j, (S.Centre(a)[j] * S.Size[a] - x[j]) / (S.Size[a] - 1));
    S.Set(b, j, (S.Centre(b)[j] * S.Size[b] + x[j]) / (S.Size[b] + 1));
  }
  --S.Size[a];
  ++S.Size[b];
}

// One pass; returns how many moves it made.
int Moves(const TPoints& P, TSolution& S) {
  int Count = 0;
  double d[100];
  for (int t = 0; t < P.N; ++t) {
    const int a = S.Of[t];
    if (S.Size[a] < 2) continue;
    Distances(P.Row(t), S, P.k, d);
    const int Best = MoveTo(d, a, S);
    if (Best < 0) continue;
    Transfer(P.Row(t), a, Best, S, P.k);
    S.Of[t] = Best;
    ++Count;
  }
  return Count;
}

// The factors of the change for each cluster as the plain pass forms them,
// so that the products are the same bits: Join[b] = n_b/(n_b + 1),
// Leave[a] = n_a/(n_a − 1) for a cluster that can give up an observation,
// and Least, the least Join, that of the smallest cluster.
struct TFactors {
  std::array<double, 100> Join{}, Leave{};
  double Least = 0;
  explicit TFactors(const TSolution& S) {
    for (int c = 0; c < S.K; ++c) Update(S, c);
  }
  void Update(const TSolution& S, int c) {
    Join[c] = S.Size[c] / (S.Size[c] + 1.0);
    Leave[c] = S.Size[c] < 2 ? 0 : S.Size[c] / (S.Size[c] - 1.0);
    const int n = *std::min_element(S.Size.begin(), S.Size.end());
    Least = n / (n + 1.0);
  }
};

// Whether the bounds show that the pass leaves observation t (of cluster a,
// of more than one) where it is: no cluster's change from taking it goes
// below the margin of a's from losing it. a's distance, and then that to
// Next(t), are computed if need be.
bool Stays(const double* x, int t, int a, const TSolution& S, int k, const TFactors& F, TBounds& B) {
  constexpr double Down = 1 - TBounds::kSlack;
  if (B.Near(t) != a) return false;
  const double Floor = F.Least * TBounds::AtLeast(B.Lower(t)) * Down;
  if (Floor > F.Leave[a] * TBounds::AtMost(B.Upper(t)) * kMoveMargin * (1 + TBounds::kSlack)) return true;
  const double Own = Distance2(x, S.Centre(a), k);
  B.SetUpper(t, Own);
  const double Least = F.Leave[a] * Own * kMoveMargin;
  const int Next = B.Next(t);
  if (Floor > Least) return true;
  if (Next == a || !(F.Least * TBounds::AtLeast(B.Beyond(t)) * Down > Least)) return false;
  const double ToNext = Distance2(x, S.Centre(Next), k);
  B.SetNext(t, ToNext);
  return !(F.Join[Next] * ToNext < Least);
}

// The same pass with the bounds: every distance is computed only for an
// observation whose bounds do not show it staying.
int MovesBounded(const TPoints& P, TSolution& S, TBounds& B) {
  TFactors F(S);
  int Count = 0;
  double d[100];
  for (int t = 0; t < P.N; ++t) {
    const int a = S.Of[t];
    if (S.Size[a] < 2 || Stays(P.Row(t), t, a, S, P.k, F, B)) continue;
    Distances(P.Row(t), S, P.k, d);
    const int Best = MoveTo(d, a, S);
    SetFromAll(B, t, d, S.K, Best < 0 ? a : Best);
    if (Best < 0) continue;
    Transfer(P.Row(t), a, Best, S, P.k);
    for (const int c : {a, Best}) {
      B.Moved(c, S.Centre(c));
      F.Update(S, c);
    }
    S.Of[t] = Best;
    ++Count;
  }
  if (B.Moves() >= kMovesPerEpoch) B.Settle(S.Centres.data());
  return Count;
}

Extended WithinSS(const TPoints& P, const TSolution& S, std::array<Extended, 100>* PerCluster = nullptr) {
  Extended Total = 0;
  for (int t = 0; t < P.N; ++t) {
    const Extended d = ExactDistance2(P.Row(t), S.Centre(S.Of[t]), P.k);
    Total += d;
    if (PerCluster) (*PerCluster)[S.Of[t]] += d;
  }
  return Finite(Total);
}

// One start from its K uniforms, with the bounds or without.
TSolution Solve(const TPoints& P, int K, const Extended* Uniforms, TWorkspace& W, bool Bounded) {
  TBounds* B = Bounded ? &W.Bounds : nullptr;
  TSolution S{K, std::vector<double>(static_cast<std::size_t>(K) * P.k), std::vector<int>(P.N), std::vector<int>(K), 0,
              std::vector<double>(static_cast<std::size_t>(K) * P.k)};
  if (B) B->Reset(P.N, K, P.k);
  DrawStart(P, Uniforms, S, W, B);
  if (B) {
    LloydBounded(P, S, W);
  } else {
    Lloyd(P, S, W.Members);
  }
  for (int Pass = 0; Pass < kMaxPasses && (B ? MovesBounded(P, S, *B) : Moves(P, S)) > 0; ++Pass) {
  }
  Recentre(P, S, W.Members);
  return S;
}

// The uniforms of Count starts, K each, in start order: the numbers the
// starts would draw one after another from one engine.
std::vector<Extended> Uniforms(std::mt19937_64& Engine, int Count, int K) {
  std::vector<Extended> U(static_cast<std::size_t>(Count) * K);
  for (Extended& u : U) u = Uniform(Engine);
  return U;
}

// The start of least total within-cluster sum of squares, the first of
// equal ones, whatever the number of threads.
TSolution BestStart(const TPoints& P, int K, std::uint64_t Seed, int Starts, TKMeansWork Work,
                    const std::function<void(double)>& Progress) {
  const bool Small = std::int64_t{P.N} * P.k * K < kWorthAThread;
  const int Workers = WorkerCount(Work.Threads == 0 && Small ? 1 : Work.Threads, std::min(Starts, kStartsAtATime));
  std::vector<TWorkspace> Spaces(Workers);
  const bool Bounded = Work.Bounds && P.Bounded;
  std::mt19937_64 Engine(Seed);
  TSolution Best;
  Extended Least = 0;
  for (int First = 0; First < Starts; First += kStartsAtATime) {
    const int Count = std::min(kStartsAtATime, Starts - First);
    const std::vector<Extended> U = Uniforms(Engine, Count, K);
    std::vector<TSolution> Found(Count);
    std::vector<Extended> Within(Count);
    const auto Run = [&](int i, int Worker) {
      Found[i] = Solve(P, K, U.data() + static_cast<std::size_t>(i) * K, Spaces[Worker], Bounded);
      Within[i] = WithinSS(P, Found[i]);
    };
    const auto Take = [&](int i) {
      if (First + i == 0 || Within[i] < Least) Least = Within[i], Best = std::move(Found[i]);
      Found[i] = TSolution{};
      if (Progress) Progress(static_cast<double>(First + i + 1) / Starts);
    };
    RunInOrder(Count, Workers, Run, Take);
  }
  return Best;
}

Extended TotalSS(const TPoints& P) {
  TSolution All{1, std::vector<double>(P.k), std::vector<int>(P.N, 0), {0}, 0, std::vector<double>(P.k)};
  std::vector<int> Members;
  Recentre(P, All, Members);
  return WithinSS(P, All);
}

void Report(const TPoints& P, const TSolution& S, int Starts, TKMeansRec& Rec, TClusterCenters& Centres,
            TClusterAssignment& Assignment) {
  Rec.TotWithinSS = WithinSS(P, S, &Rec.WithinSS);
  Rec.TotSS = TotalSS(P);
  Rec.BetweenSS = Finite(Rec.TotSS - Rec.TotWithinSS);
  for (int c = 0; c < S.K; ++c) {
    Rec.Size[c] = S.Size[c];
    for (int j = 0; j < P.k; ++j) Centres[c][j] = S.Centre(c)[j];
  }
  for (int t = 0; t < P.N; ++t) Assignment[t] = static_cast<Byte>(S.Of[t] + 1);
  Rec.N = P.N;
  Rec.K = P.k;
  Rec.Clusters = S.K;
  Rec.Starts = Starts;
  Rec.Iterations = S.Iterations;
}

}  // namespace

TKMeansRec SeededKMeans(const TRegressData* X, int k, int N, int K, std::uint64_t Seed, int Starts,
                        TClusterCenters& Centres, TClusterAssignment& Assignment,
                        const std::function<void(double FractionDone)>& Progress, TKMeansWork Work) {
  TKMeansRec Rec{};
  if (X == nullptr || k < 1 || !ClusterSizesValid(k, K) || N < K || N > MaxObs || Starts < 1) return Rec;
  Guard("Error occurred in  KMeansClusters", [&] {
    const TPoints P = PointsOf(*X, k, N);
    Report(P, BestStart(P, K, Seed, Starts, Work, Progress), Starts, Rec, Centres, Assignment);
  });
  return Rec;
}

TKMeansRec TKorlen::KMeansClusters(const TRegressData* X, Byte k, int N, Byte K, std::uint64_t Seed, int Starts,
                                   TClusterCenters& Centres, TClusterAssignment& Assignment,
                                   const std::function<void(double FractionDone)>& Progress) {
  return SeededKMeans(X, k, N, K, Seed, Starts, Centres, Assignment, Progress, TKMeansWork{});
}

}  // namespace varnel
