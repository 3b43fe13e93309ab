// SPDX-License-Identifier: Apache-2.0
// k-means from k-means++ starts with a seed: Lloyd's iterations, then
// passes of single moves of an observation to another cluster wherever a
// move lowers the total within-cluster sum of squares (as the Hartigan-Wong
// method makes them; they include the moves Lloyd's step would make, and
// the ones it cannot see), until a pass moves nothing. The best of several starts is
// kept. Random numbers come from std::mt19937_64, whose sequence the
// standard fixes, turned into uniforms by the code here, so that a seed
// gives the same clusters everywhere.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "varnel/cluster/kmeans_steps.h"
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

// The observations row by row (observation t's k values together).
struct TPoints {
  int N = 0, k = 0;
  std::vector<double> Values;
  const double* Row(int t) const { return Values.data() + static_cast<std::size_t>(t) * k; }
};

TPoints PointsOf(const TRegressData& X, int k, int N) {
  TPoints P{N, k, std::vector<double>(static_cast<std::size_t>(N) * k)};
  for (int j = 0; j < k; ++j) {
    for (int t = 0; t < N; ++t) P.Values[static_cast<std::size_t>(t) * k + j] = Finite(X[j + 1][t]);
  }
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
// let the compiler vectorise across clusters.
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

// k-means++: the first centre uniformly, each next one with probability
// proportional to the squared distance to the nearest centre so far. Fewer
// distinct observations than clusters leave nothing to draw: a fault.
void DrawStart(const TPoints& P, std::mt19937_64& Engine, TSolution& S) {
  const int k = P.k;
  std::vector<double> Nearest(P.N, 0);
  int Chosen = std::min(P.N - 1, static_cast<int>(Uniform(Engine) * P.N));
  for (int c = 0;; ++c) {
    for (int j = 0; j < k; ++j) S.Set(c, j, P.Row(Chosen)[j]);
    Extended Total = 0;
    for (int t = 0; t < P.N; ++t) {
      const double d = Distance2(P.Row(t), S.Centre(c), k);
      Nearest[t] = c == 0 ? d : std::min(Nearest[t], d);
      Total += Nearest[t];
    }
    if (c + 1 == S.K) return;
    if (!(Finite(Total) > 0)) throw EZeroDivide();
    const Extended Target = Uniform(Engine) * Total;
    Extended Running = 0;
    Chosen = -1;
    for (int t = 0; t < P.N && Chosen < 0; ++t) {
      Running += Nearest[t];
      if (Running > Target && Nearest[t] > 0) Chosen = t;
    }
    // Rounding can leave the target past the last sum: the last candidate.
    for (int t = P.N - 1; Chosen < 0; --t) {
      if (Nearest[t] > 0) Chosen = t;
    }
  }
}

// The means of the clusters; a cluster left empty takes the observation
// farthest from its own centre, out of a cluster with more than one.
void Recentre(const TPoints& P, TSolution& S) {
  const int k = P.k;
  std::vector<Extended> Sums(S.Centres.size(), 0);
  std::fill(S.Size.begin(), S.Size.end(), 0);
  for (int t = 0; t < P.N; ++t) {
    Extended* Sum = Sums.data() + static_cast<std::size_t>(S.Of[t]) * k;
    for (int j = 0; j < k; ++j) Sum[j] += P.Row(t)[j];
    ++S.Size[S.Of[t]];
  }
  for (int c = 0; c < S.K; ++c) {
    if (S.Size[c] == 0) continue;
    for (int j = 0; j < k; ++j) S.Set(c, j, ToDouble(Sums[static_cast<std::size_t>(c) * k + j] / S.Size[c]));
  }
}

bool FillEmptyCluster(const TPoints& P, TSolution& S) {
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
  Recentre(P, S);
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

void Lloyd(const TPoints& P, TSolution& S) {
  for (int i = 0; i < kMaxIterations; ++i) {
    const bool Moved = Assign(P, S);
    ++S.Iterations;
    Recentre(P, S);
    while (FillEmptyCluster(P, S)) {
    }
    if (!Moved) return;
  }
}

// Moving t from a (of n_a) to b (of n_b) changes the total by
// n_b/(n_b + 1)·d(t, b) − n_a/(n_a − 1)·d(t, a). Each pass makes every move
// that lowers it by more than rounding could, updating the two means as it
// goes (their drift stays far inside that margin; the passes end with the
// means formed afresh); returns how many it made.
int Moves(const TPoints& P, TSolution& S) {
  constexpr double Margin = 1 - 1e-12;
  const int k = P.k;
  int Count = 0;
  for (int t = 0; t < P.N; ++t) {
    const int a = S.Of[t];
    if (S.Size[a] < 2) continue;
    const double* x = P.Row(t);
    double d[100];
    Distances(x, S, k, d);
    const double Out = S.Size[a] / (S.Size[a] - 1.0) * d[a];
    int Best = -1;
    double Least = Out * Margin;
    for (int b = 0; b < S.K; ++b) {
      const double In = S.Size[b] / (S.Size[b] + 1.0) * d[b];
      if (b != a && In < Least) Least = In, Best = b;
    }
    if (Best < 0) continue;
    for (int j = 0; j < k; ++j) {
      S.Set(a, j, (S.Centre(a)[j] * S.Size[a] - x[j]) / (S.Size[a] - 1));
      S.Set(Best, j, (S.Centre(Best)[j] * S.Size[Best] + x[j]) / (S.Size[Best] + 1));
    }
    --S.Size[a];
    ++S.Size[Best];
    S.Of[t] = Best;
    ++Count;
  }
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

TSolution Solve(const TPoints& P, int K, std::mt19937_64& Engine) {
  TSolution S{K, std::vector<double>(static_cast<std::size_t>(K) * P.k), std::vector<int>(P.N), std::vector<int>(K), 0,
              std::vector<double>(static_cast<std::size_t>(K) * P.k)};
  DrawStart(P, Engine, S);
  Lloyd(P, S);
  for (int Pass = 0; Pass < kMaxPasses && Moves(P, S) > 0; ++Pass) {
  }
  Recentre(P, S);
  return S;
}

Extended TotalSS(const TPoints& P) {
  TSolution All{1, std::vector<double>(P.k), std::vector<int>(P.N, 0), {0}, 0, std::vector<double>(P.k)};
  Recentre(P, All);
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

TKMeansRec TKorlen::KMeansClusters(const TRegressData* X, Byte k, int N, Byte K, std::uint64_t Seed, int Starts,
                                   TClusterCenters& Centres, TClusterAssignment& Assignment,
                                   const std::function<void(double FractionDone)>& Progress) {
  TKMeansRec Rec{};
  if (X == nullptr || k < 1 || !ClusterSizesValid(k, K) || N < K || N > MaxObs || Starts < 1) return Rec;
  Guard("Error occurred in  KMeansClusters", [&] {
    const TPoints P = PointsOf(*X, k, N);
    std::mt19937_64 Engine(Seed);
    TSolution Best;
    Extended Least = 0;
    for (int s = 0; s < Starts; ++s) {
      TSolution S = Solve(P, K, Engine);
      const Extended W = WithinSS(P, S);
      if (s == 0 || W < Least) Least = W, Best = std::move(S);
      if (Progress) Progress(static_cast<double>(s + 1) / Starts);
    }
    Report(P, Best, Starts, Rec, Centres, Assignment);
  });
  return Rec;
}

}  // namespace varnel
