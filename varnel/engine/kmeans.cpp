// SPDX-License-Identifier: Apache-2.0
#include "varnel/engine/kmeans.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <random>
#include <string>
#include <utility>

#include "varnel/engine/errors.h"
#include "varnel/engine/reduce.h"

namespace varnel::engine {
namespace {

// Starts worked at a time: what their centres hold stays small however
// many starts are asked for.
constexpr std::size_t kStartsAtATime = 64;

// Each sum over the coordinates in order, centre by centre with the sum
// in a register: at -O2 the loop across the centres was not vectorised,
// and summing them side by side in memory took 2.5 times as long for the
// same bits.
void Distances(std::span<const double> Row, const TCentres& C, std::vector<double>& Out) {
  const std::size_t K = C.K(), P = Row.size();
  Out.resize(K);
  const double* Centre = C.Values().data();
  for (std::size_t c = 0; c < K; ++c, Centre += P) {
    double s = 0;
    for (std::size_t j = 0; j < P; ++j) s += (Row[j] - Centre[j]) * (Row[j] - Centre[j]);
    Out[c] = s;
  }
}

long double ExactDistance2(std::span<const double> Row, std::span<const double> Centre) {
  long double s = 0;
  for (std::size_t j = 0; j < Row.size(); ++j) {
    const long double d = static_cast<long double>(Row[j]) - Centre[j];
    s += d * d;
  }
  return s;
}

std::size_t Least(const std::vector<double>& d) {
  return static_cast<std::size_t>(std::min_element(d.begin(), d.end()) - d.begin());
}

double Distance2(std::span<const double> Row, std::span<const double> Centre) {
  double s = 0;
  for (std::size_t j = 0; j < Row.size(); ++j) s += (Row[j] - Centre[j]) * (Row[j] - Centre[j]);
  return s;
}

// A uniform on [0, 1) from the engine's 53 high bits, as the component's
// seeded k-means forms them.
long double Uniform(std::mt19937_64& Engine) { return static_cast<long double>(Engine() >> 11) * 0x1p-53L; }

// The sample's rows one after another, for the distances of k-means++.
struct TRows {
  std::size_t N = 0, P = 0;
  std::vector<double> Values;
  std::span<const double> Row(std::size_t t) const { return {Values.data() + t * P, P}; }
};

TRows RowsOf(const TKMeansSample& Sample) {
  TRows R{Sample.Rows(), Sample.P(), std::vector<double>(Sample.Rows() * Sample.P())};
  for (std::size_t j = 0; j < R.P; ++j) {
    for (std::size_t t = 0; t < R.N; ++t) R.Values[t * R.P + j] = Sample.Columns()[j][t];
  }
  return R;
}

// The row where the running sum of Nearest first passes Target; rounding
// can leave the target past the last sum: then the last candidate.
std::size_t Drawn(const std::vector<double>& Nearest, long double Target) {
  long double Running = 0;
  for (std::size_t t = 0; t < Nearest.size(); ++t) {
    Running += Nearest[t];
    if (Running > Target && Nearest[t] > 0) return t;
  }
  for (std::size_t t = Nearest.size(); t-- > 1;) {
    if (Nearest[t] > 0) return t;
  }
  return 0;
}

// k-means++ from K uniforms: the first centre uniformly, each next one a
// row drawn with probability proportional to its squared distance to the
// nearest centre so far.
TCentres DrawStart(const TRows& R, std::size_t K, const long double* U) {
  std::vector<double> Values(K * R.P), Nearest(R.N);
  std::size_t Chosen = std::min(R.N - 1, static_cast<std::size_t>(U[0] * static_cast<long double>(R.N)));
  for (std::size_t c = 0;; ++c) {
    std::copy_n(R.Row(Chosen).begin(), R.P, Values.begin() + static_cast<std::ptrdiff_t>(c * R.P));
    if (c + 1 == K) break;
    const std::span<const double> Centre(Values.data() + c * R.P, R.P);
    long double Total = 0;
    for (std::size_t t = 0; t < R.N; ++t) {
      const double d = Distance2(R.Row(t), Centre);
      Nearest[t] = c == 0 ? d : std::min(Nearest[t], d);
      Total += Nearest[t];
    }
    if (!(Total > 0) || !std::isfinite(Total))
      throw EEngineError("k-means: the sample has fewer distinct rows than the " + std::to_string(K) + " clusters");
    Chosen = Drawn(Nearest, U[c + 1] * Total);
  }
  return TCentres(K, R.P, std::move(Values));
}

struct TSampleFit {
  TCentres Centres;
  long double Within = 0;
};

// The sample's rows as they stand (its complete rows, already scaled), one
// after another: the same sums as a batch of its columns.
TSampleFit SolveStart(const TRows& R, const TKMeansSettings& S, const long double* U) {
  const TLloydPass Pass = [&R](std::shared_ptr<const TCentres> C, std::shared_ptr<const TCentres> Previous) {
    TLloydSums Sums(std::move(C), nullptr, std::move(Previous));
    Sums.AddRows(R.Values, 0);
    return Sums;
  };
  TLloydResult Fit = Lloyd(Pass, DrawStart(R, S.K, U), S.MaxPasses);
  return {std::move(Fit.Centres), Fit.Sums.TotWithinSS()};
}

}  // namespace

TCentres::TCentres(std::size_t K, std::size_t P, std::vector<double> Values)
    : FK(K), FP(P), FValues(std::move(Values)), FByCoordinate(K * P) {
  if (K == 0 || P == 0 || FValues.size() != K * P)
    throw EEngineError("k-means: " + std::to_string(FValues.size()) + " values are not " + std::to_string(K) +
                       " centres of " + std::to_string(P) + " coordinates");
  for (std::size_t c = 0; c < K; ++c) {
    for (std::size_t j = 0; j < P; ++j) FByCoordinate[j * K + c] = FValues[c * P + j];
  }
}

TKMeansScaling ScalingOf(const TMoments& State, std::size_t P) {
  if (P > State.P()) throw EEngineError("k-means: the state has fewer than " + std::to_string(P) + " columns");
  TKMeansScaling S;
  for (std::size_t j = 0; j < P; ++j) {
    const long double Sd =
        State.Count() > 1 ? std::sqrt(State.CoMoment(j, j) / (static_cast<long double>(State.Count()) - 1)) : 0;
    if (!(Sd > 0) || !std::isfinite(Sd))
      throw EEngineError("k-means: column " + std::to_string(j + 1) + " does not vary and cannot be standardised");
    S.Centre.push_back(State.Mean(j));
    S.Scale.push_back(Sd);
  }
  return S;
}

bool ClusterRow(const TBatch& Batch, std::size_t i, const TKMeansScaling& Scaling, std::span<double> Out) {
  if (Out.size() > Batch.Cols() || i >= Batch.Rows() || (!Scaling.Empty() && (Scaling.Centre.size() < Out.size() ||
                                                                               Scaling.Scale.size() < Out.size())))
    throw EEngineError("k-means: a row asked for beyond the batch or its scaling");
  bool Complete = true;
  for (const auto& Column : Batch.Columns) {
    if (std::isinf(Column[i])) throw EOverflow();
    Complete = Complete && !std::isnan(Column[i]);
  }
  if (!Complete) return false;
  for (std::size_t j = 0; j < Out.size(); ++j) {
    const double x = Batch.Columns[j][i];
    Out[j] = Scaling.Empty() ? x : static_cast<double>((x - Scaling.Centre[j]) / Scaling.Scale[j]);
  }
  return true;
}

TNearestCentre NearestCentre(std::span<const double> Row, const TCentres& Centres) {
  if (Row.size() != Centres.P()) throw EEngineError("k-means: a row's width is not the centres'");
  thread_local std::vector<double> d;
  Distances(Row, Centres, d);
  const std::size_t c = Least(d);
  return {c, ExactDistance2(Row, Centres.Centre(c))};
}

TLloydSums::TLloydSums(std::shared_ptr<const TCentres> Centres, std::shared_ptr<const TKMeansScaling> Scaling,
                       std::shared_ptr<const TCentres> Previous)
    : FCentres(std::move(Centres)), FPrevious(std::move(Previous)), FScaling(std::move(Scaling)) {
  if (!FCentres) throw EEngineError("k-means: sums need centres");
  if (FPrevious && (FPrevious->K() != FCentres->K() || FPrevious->P() != FCentres->P()))
    throw EEngineError("k-means: the previous centres are not of the same shape");
  FCount.assign(FCentres->K(), 0);
  FDeviation.assign(FCentres->K() * FCentres->P(), 0.0L);
  FWithin.assign(FCentres->K(), 0.0L);
}

void TLloydSums::Add(const TBatch& Batch) {
  if (!FCentres) throw EEngineError("k-means: sums need centres");
  Batch.Check();
  const std::size_t P = FCentres->P();
  if (Batch.Cols() < P) throw EEngineError("k-means: a batch has fewer columns than the centres");
  static const TKMeansScaling kNone;
  const TKMeansScaling& Scaling = FScaling ? *FScaling : kNone;
  TLloydSums Part = *this;  // the state is left as it was if a row throws
  std::vector<double> Row(P), d;
  for (std::size_t i = 0; i < Batch.Rows(); ++i) {
    if (ClusterRow(Batch, i, Scaling, Row)) Part.AddRow(Row, Batch.FirstRow + i, d);
  }
  *this = std::move(Part);
}

namespace {

// The farther of two rows, the lower one of equal distances: a total order,
// so the rows kept do not depend on the order states merge in.
template <class TFar>
bool Farther(const TFar& A, const TFar& B) {
  return A.Distance2 > B.Distance2 || (A.Distance2 == B.Distance2 && A.Row < B.Row);
}

}  // namespace

void TLloydSums::AddRows(std::span<const double> Rows, std::size_t First) {
  if (!FCentres) throw EEngineError("k-means: sums need centres");
  const std::size_t P = FCentres->P();
  if (Rows.size() % P != 0) throw EEngineError("k-means: rows of another width than the centres'");
  std::vector<double> d;
  for (std::size_t t = 0; t < Rows.size() / P; ++t) AddRow(Rows.subspan(t * P, P), First + t, d);
}

void TLloydSums::AddRow(std::span<const double> Row, std::size_t Index, std::vector<double>& d) {
  const std::size_t P = Row.size();
  Distances(Row, *FCentres, d);
  const std::size_t c = Least(d);
  if (FPrevious) {
    Distances(Row, *FPrevious, d);
    FChanged += Least(d) != c;
  }
  const std::span<const double> Centre = FCentres->Centre(c);
  long double* Deviation = &FDeviation[c * P];
  long double s = 0;
  for (std::size_t j = 0; j < P; ++j) {
    const long double e = static_cast<long double>(Row[j]) - Centre[j];
    Deviation[j] += e;
    s += e * e;
  }
  ++FCount[c];
  FWithin[c] += s;
  // A row on its centre is no refill; most rows are nearer than the kept ones.
  if (s > 0 && (FFar.size() < FCentres->K() || Farther(TFar{s, Index, c}, FFar.back()))) Offer(s, Index, c, Row);
}

void TLloydSums::Offer(long double Distance2, std::size_t Index, std::size_t Cluster, std::span<const double> Row) {
  const std::size_t K = FCentres->K(), P = FCentres->P();
  const TFar New{Distance2, Index, Cluster};
  const auto At =
      std::upper_bound(FFar.begin(), FFar.end(), New, [](const TFar& A, const TFar& B) { return Farther(A, B); });
  const auto Place = static_cast<std::size_t>(At - FFar.begin());
  if (Place >= K) return;
  FFar.insert(At, New);
  FFarRows.insert(FFarRows.begin() + static_cast<std::ptrdiff_t>(Place * P), Row.begin(), Row.end());
  if (FFar.size() > K) {
    FFar.pop_back();
    FFarRows.resize(K * P);
  }
}

void TLloydSums::Merge(const TLloydSums& Other) {
  if (!Other.FCentres) return;
  if (!FCentres) {
    *this = Other;
    return;
  }
  if (!(*FCentres == *Other.FCentres)) throw EEngineError("k-means: sums about different centres cannot merge");
  for (std::size_t c = 0; c < FCount.size(); ++c) {
    FCount[c] += Other.FCount[c];
    FWithin[c] += Other.FWithin[c];
  }
  for (std::size_t i = 0; i < FDeviation.size(); ++i) FDeviation[i] += Other.FDeviation[i];
  FChanged += Other.FChanged;
  const std::size_t P = FCentres->P();
  for (std::size_t f = 0; f < Other.FFar.size(); ++f) {
    const TFar& Far = Other.FFar[f];
    Offer(Far.Distance2, Far.Row, Far.Cluster, std::span<const double>(Other.FFarRows).subspan(f * P, P));
  }
}

std::size_t TLloydSums::Rows() const { return std::accumulate(FCount.begin(), FCount.end(), std::size_t{0}); }

long double TLloydSums::TotWithinSS() const {
  long double Total = 0;
  for (const long double w : FWithin) Total += w;
  return Total;
}

std::size_t TLloydSums::Empty() const {
  return static_cast<std::size_t>(std::count(FCount.begin(), FCount.end(), std::size_t{0}));
}

std::vector<std::pair<std::size_t, std::size_t>> TLloydSums::Refills() const {
  std::vector<std::pair<std::size_t, std::size_t>> Taken;
  std::vector<std::size_t> Left = FCount;
  std::size_t Next = 0;  // the next far row to offer
  for (std::size_t c = 0; c < FCount.size(); ++c) {
    if (FCount[c] != 0) continue;
    while (Next < FFar.size() && Left[FFar[Next].Cluster] < 2) ++Next;
    if (Next == FFar.size()) break;
    --Left[FFar[Next].Cluster];
    Taken.emplace_back(c, Next++);
  }
  return Taken;
}

std::size_t TLloydSums::Refilled() const { return FCentres ? Refills().size() : 0; }

TCentres TLloydSums::Means() const {
  if (!FCentres) throw EEngineError("k-means: sums need centres");
  const std::size_t K = FCentres->K(), P = FCentres->P();
  std::vector<double> Values = FCentres->Values();
  std::vector<std::size_t> Count = FCount;
  std::vector<long double> Deviation = FDeviation;
  for (const auto& [c, f] : Refills()) {
    const std::size_t From = FFar[f].Cluster;
    const std::span<const double> Row = std::span<const double>(FFarRows).subspan(f * P, P);
    for (std::size_t j = 0; j < P; ++j) {
      Deviation[From * P + j] -= static_cast<long double>(Row[j]) - Values[From * P + j];
      Values[c * P + j] = Row[j];
    }
    --Count[From];
  }
  for (std::size_t c = 0; c < K; ++c) {
    if (Count[c] == 0) continue;
    const long double n = static_cast<long double>(Count[c]);
    for (std::size_t j = 0; j < P; ++j) {
      Values[c * P + j] = static_cast<double>(Values[c * P + j] + Deviation[c * P + j] / n);
    }
  }
  return TCentres(K, P, std::move(Values));
}

TKMeansSample::TKMeansSample(std::size_t P, std::size_t Step, std::size_t First,
                             std::shared_ptr<const TKMeansScaling> Scaling)
    : FStep(Step), FNext(First), FScaling(std::move(Scaling)), FColumns(P) {
  if (P == 0 || Step == 0) throw EEngineError("k-means: a sample needs columns and a step of at least 1");
}

void TKMeansSample::Add(const TBatch& Batch) {
  Batch.Check();
  if (Batch.Cols() < P()) throw EEngineError("k-means: a batch has fewer columns than the sample");
  static const TKMeansScaling kNone;
  const TKMeansScaling& Scaling = FScaling ? *FScaling : kNone;
  std::vector<double> Row(P());
  std::vector<std::vector<double>> Taken(P());
  std::size_t Next = FNext;
  for (std::size_t i = 0; i < Batch.Rows(); ++i) {
    if (!ClusterRow(Batch, i, Scaling, Row)) continue;
    if (Next++ % FStep != 0) continue;
    for (std::size_t j = 0; j < P(); ++j) Taken[j].push_back(Row[j]);
  }
  for (std::size_t j = 0; j < P(); ++j) FColumns[j].insert(FColumns[j].end(), Taken[j].begin(), Taken[j].end());
  FNext = Next;
}

void TKMeansSample::Merge(const TKMeansSample& Other) {
  if (Other.FColumns.empty()) return;
  if (FColumns.empty()) {
    *this = Other;
    return;
  }
  if (Other.P() != P()) throw EEngineError("k-means: samples of different widths cannot merge");
  for (std::size_t j = 0; j < P(); ++j)
    FColumns[j].insert(FColumns[j].end(), Other.FColumns[j].begin(), Other.FColumns[j].end());
  FNext = Other.FNext;
}

std::size_t SampleStep(std::size_t N, std::size_t Most) {
  if (Most == 0) throw EEngineError("k-means: a sample of no rows");
  return std::max<std::size_t>(1, (N + Most - 1) / Most);
}

void TCompleteRows::Add(const TBatch& Batch) {
  Batch.Check();
  std::size_t Count = 0;
  for (std::size_t i = 0; i < Batch.Rows(); ++i) {
    bool Complete = true;
    for (const auto& Column : Batch.Columns) Complete = Complete && !std::isnan(Column[i]);
    Count += Complete;
  }
  FFirstRow.push_back(Batch.FirstRow);
  FCount.push_back(Count);
}

void TCompleteRows::Merge(const TCompleteRows& Other) {
  FFirstRow.insert(FFirstRow.end(), Other.FFirstRow.begin(), Other.FFirstRow.end());
  FCount.insert(FCount.end(), Other.FCount.begin(), Other.FCount.end());
}

std::size_t TCompleteRows::Total() const { return std::accumulate(FCount.begin(), FCount.end(), std::size_t{0}); }

std::size_t TCompleteRows::Before(std::size_t FirstRow) const {
  std::size_t Sum = 0;
  for (std::size_t b = 0; b < FFirstRow.size(); ++b) {
    if (FFirstRow[b] == FirstRow) return Sum;
    Sum += FCount[b];
  }
  throw EEngineError("k-means: no batch began at row " + std::to_string(FirstRow) + " when the rows were counted");
}

TLloydResult Lloyd(const TLloydPass& Pass, const TCentres& Start, int MaxPasses) {
  TLloydResult R;
  auto Centres = std::make_shared<const TCentres>(Start);
  std::shared_ptr<const TCentres> Previous;
  for (; R.Passes < MaxPasses;) {
    R.Sums = Pass(Centres, Previous);
    ++R.Passes;
    TCentres Means = R.Sums.Means();
    if (R.Sums.Refilled() == 0 && ((Previous && R.Sums.Changed() == 0) || Means == *Centres)) {
      R.Converged = true;
      break;
    }
    Previous = Centres;
    Centres = std::make_shared<const TCentres>(std::move(Means));
  }
  if (!R.Converged) R.Sums = Pass(Centres, Previous);
  R.Centres = *Centres;
  return R;
}

TCentres SampleStart(const TKMeansSample& Sample, const TKMeansSettings& S) {
  if (S.K == 0 || S.Starts < 1 || S.MaxPasses < 1) throw EEngineError("k-means: no clusters, starts or passes");
  if (Sample.Rows() < S.K)
    throw EEngineError("k-means: " + std::to_string(Sample.Rows()) + " rows cannot make " + std::to_string(S.K) +
                       " clusters");
  const TRows R = RowsOf(Sample);
  std::mt19937_64 Engine(S.Seed);
  std::vector<long double> U(static_cast<std::size_t>(S.Starts) * S.K);
  for (long double& u : U) u = Uniform(Engine);
  TSampleFit Best;
  const auto Starts = static_cast<std::size_t>(S.Starts);
  for (std::size_t First = 0; First < Starts; First += kStartsAtATime) {
    const std::size_t Count = std::min(kStartsAtATime, Starts - First);
    std::vector<TSampleFit> Fits = MapIndices<TSampleFit>(
        Count, S.Threads, [&](std::size_t i) { return SolveStart(R, S, U.data() + (First + i) * S.K); });
    for (std::size_t i = 0; i < Count; ++i) {
      if (First + i == 0 || Fits[i].Within < Best.Within) Best = std::move(Fits[i]);
    }
  }
  return Best.Centres;
}

}  // namespace varnel::engine
