// SPDX-License-Identifier: Apache-2.0
#include "streamed_cluster.h"

#include <algorithm>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "analysis_tables.h"
#include "output.h"

namespace varnel::cli {
namespace {

using engine::TBatch;
using engine::TCentres;
using engine::TKMeansScaling;
using engine::TLloydSums;

// The first pass: the moments that standardise the columns and give the
// total sum of squares, and where each block's complete rows begin, which
// the sample's rows are counted by.
struct TFirstPass {
  engine::TMoments Moments;
  engine::TCompleteRows Rows;
  template <class Self, class Visit>
  static void Members(Self& S, Visit&& Each) {
    Each(S.Moments);
    Each(S.Rows);
  }
  void Merge(const TFirstPass& Other) {
    Moments.Merge(Other.Moments);
    Rows.Merge(Other.Rows);
  }
};

// --scale: as within the box, a column that does not vary has no
// standard form.
std::shared_ptr<const TKMeansScaling> ScalingFor(const TStreamedData& Data, const engine::TMoments& M) {
  for (std::size_t j = 0; j < Data.K(); ++j) {
    if (!(M.CoMoment(j, j) > 0)) {
      throw TInputError(Data.Source() + ": --scale cannot standardise the column \"" + Data.XNames()[j] +
                        "\", which does not vary; leave it out of --x");
    }
  }
  return std::make_shared<const TKMeansScaling>(engine::ScalingOf(M, Data.K()));
}

// Σ over the clustered columns of the squares about their means, in the
// units the clustering sees them in.
Extended TotalSS(const engine::TMoments& M, std::size_t K, const TKMeansScaling* Scaling) {
  Extended Total = 0;
  for (std::size_t j = 0; j < K; ++j) {
    const Extended Unit = Scaling ? Scaling->Scale[j] * Scaling->Scale[j] : 1;
    Total += M.CoMoment(j, j) / Unit;
  }
  return Total;
}

TClusterSummary SummaryOf(const engine::TLloydResult& Fit, Extended TotSS, const TOptions& Options) {
  const TCentres& C = Fit.Centres;
  TClusterSummary S{static_cast<int>(C.K()), Options.Cluster.Starts, Fit.Passes, Options.Cluster.Seed, {}, {}, {}, TotSS,
                    Fit.Sums.TotWithinSS(), 0};
  S.BetweenSS = S.TotSS - S.TotWithinSS;
  for (std::size_t c = 0; c < C.K(); ++c) {
    S.Size.push_back(static_cast<long long>(Fit.Sums.Count(c)));
    S.WithinSS.push_back(Fit.Sums.WithinSS(c));
    S.Centres.emplace_back(C.Centre(c).begin(), C.Centre(c).end());
  }
  return S;
}

// The clustered rows of one block, kept between Lloyd's passes: their
// values (ClusterRow's) one row after another, in runs of consecutive data
// rows, each run its first row's place in Values / P and its data row.
struct THeldBlock {
  std::vector<double> Values;
  std::vector<std::pair<std::size_t, std::size_t>> Runs;
};

THeldBlock HoldBlock(const TBatch& Batch, std::size_t P, const TKMeansScaling* Scaling) {
  static const TKMeansScaling AsTheyAre;
  THeldBlock Held;
  std::vector<double> Row(P);
  std::size_t Place = 0;
  for (std::size_t i = 0; i < Batch.Rows(); ++i) {
    if (!engine::ClusterRow(Batch, i, Scaling ? *Scaling : AsTheyAre, Row)) continue;
    const std::size_t DataRow = Batch.FirstRow + i;
    if (Held.Runs.empty() || Held.Runs.back().second + (Place - Held.Runs.back().first) != DataRow)
      Held.Runs.emplace_back(Place, DataRow);
    Held.Values.insert(Held.Values.end(), Row.begin(), Row.end());
    ++Place;
  }
  return Held;
}

// A block's sums from its held rows: the same bits as from its batch.
TLloydSums HeldSums(const THeldBlock& Block, std::shared_ptr<const TCentres> Centres,
                    std::shared_ptr<const TCentres> Previous) {
  const std::size_t P = Centres->P();
  TLloydSums Sums(std::move(Centres), nullptr, std::move(Previous));
  const std::span<const double> Values(Block.Values);
  for (std::size_t r = 0; r < Block.Runs.size(); ++r) {
    const std::size_t Begin = Block.Runs[r].first;
    const std::size_t End = r + 1 < Block.Runs.size() ? Block.Runs[r + 1].first : Values.size() / P;
    Sums.AddRows(Values.subspan(Begin * P, (End - Begin) * P), Block.Runs[r].second);
  }
  return Sums;
}

// Each block's sums on the data's threads, merged in the tree the file's
// blocks merge in (TStreamedData::Reduce), so that the bits are the same.
engine::TLloydPass HeldPass(const std::vector<THeldBlock>& Blocks, std::size_t Threads) {
  return [&Blocks, Threads](std::shared_ptr<const TCentres> Centres, std::shared_ptr<const TCentres> Previous) {
    std::vector<TLloydSums> Parts = engine::MapIndices<TLloydSums>(
        Blocks.size(), Threads, [&](std::size_t b) { return HeldSums(Blocks[b], Centres, Previous); });
    engine::TMergeStack<TLloydSums> Stack;
    for (TLloydSums& Part : Parts) Stack.Push(std::move(Part));
    return Stack.Result();
  };
}

// What holding the rows takes: their values and a run of rows for each
// gap the rows left out make.
long double HeldBytesOf(std::size_t Rows, std::size_t P, std::size_t Dropped) {
  return 8.0L * static_cast<long double>(Rows) * static_cast<long double>(P) +
         16.0L * (static_cast<long double>(Dropped) + 1);
}

// The sample's pass; with Held, each block's rows are kept too, in the
// blocks' order.
engine::TKMeansSample TakeSample(TStreamedData& Data, const engine::TCompleteRows& Rows, std::size_t Step,
                                 const std::shared_ptr<const TKMeansScaling>& Scaling, std::vector<THeldBlock>* Held) {
  std::map<std::size_t, THeldBlock> ByFirstRow;
  std::mutex Lock;
  const std::size_t P = Data.K();
  engine::TKMeansSample Sample = Data.Reduce<engine::TKMeansSample>([&](const TBatch& Batch) {
    engine::TKMeansSample Part(P, Step, Rows.Before(Batch.FirstRow), Scaling);
    Part.Add(Batch);
    if (Held) {
      THeldBlock Block = HoldBlock(Batch, P, Scaling.get());
      const std::lock_guard<std::mutex> Hold(Lock);
      ByFirstRow.emplace(Batch.FirstRow, std::move(Block));
    }
    return Part;
  });
  if (Held) {
    for (auto& [FirstRow, Block] : ByFirstRow) Held->push_back(std::move(Block));
  }
  return Sample;
}

// A pass reading the file again.
engine::TLloydPass ReadPass(TStreamedData& Data, std::shared_ptr<const TKMeansScaling> Scaling) {
  return [&Data, Scaling](std::shared_ptr<const TCentres> Centres, std::shared_ptr<const TCentres> Previous) {
    return Data.Reduce<TLloydSums>([&](const TBatch& Batch) {
      TLloydSums Part(Centres, Scaling, Previous);
      Part.Add(Batch);
      return Part;
    });
  };
}

// The assignments of the complete rows of a batch: the data row and its
// nearest centre, numbered from 1.
std::vector<double> AssignmentRows(const TStreamedKMeans& KMeans, std::size_t K, const TBatch& Batch) {
  static const TKMeansScaling AsTheyAre;
  const TKMeansScaling& Scaling = KMeans.Scaling ? *KMeans.Scaling : AsTheyAre;
  std::vector<double> Rows, Row(K);
  for (std::size_t i = 0; i < Batch.Rows(); ++i) {
    if (!engine::ClusterRow(Batch, i, Scaling, Row)) continue;
    const engine::TNearestCentre Nearest = engine::NearestCentre(Row, KMeans.Fit.Centres);
    Rows.insert(Rows.end(), {static_cast<double>(Batch.FirstRow + i + 1), static_cast<double>(Nearest.Cluster + 1)});
  }
  return Rows;
}

TRowStream AssignmentsStream(TStreamedData& Data, std::shared_ptr<const TStreamedKMeans> KMeans) {
  const TResultTable Head = EmptyAssignmentsTable();
  TRowStream Stream{Head.Name, Head.Title, Head.Columns, {true, true}, {}};
  Stream.Produce = [&Data, KMeans](const TRowStream::TPart& Part) {
    Data.InOrder<std::vector<double>>([&](const TBatch& Batch) { return AssignmentRows(*KMeans, Data.K(), Batch); },
                                      Part);
  };
  return Stream;
}

// A batch's share of the picture's series: each complete row's cluster,
// first two scores (one with a single column) and data row.
struct TProjectedRows {
  std::vector<int> Cluster;
  std::vector<double> Score1, Score2;
  std::vector<long long> Rows;
  template <class Self, class Visit>
  static void Members(Self& S, Visit&& Each) {
    Each(S.Cluster);
    Each(S.Score1);
    Each(S.Score2);
    Each(S.Rows);
  }
};

TProjectedRows ProjectedRows(const TStreamedKMeans& KMeans, const engine::TComponents& Rec, const TBatch& Batch) {
  static const TKMeansScaling AsTheyAre;
  const TKMeansScaling& Scaling = KMeans.Scaling ? *KMeans.Scaling : AsTheyAre;
  const std::size_t K = Rec.K, Drawn = std::min<std::size_t>(K, 2);
  const engine::TMoments& M = KMeans.Moments;
  TProjectedRows Part;
  std::vector<double> Row(K);
  std::vector<long double> d(K);
  for (std::size_t i = 0; i < Batch.Rows(); ++i) {
    if (!engine::ClusterRow(Batch, i, Scaling, Row)) continue;
    Part.Cluster.push_back(static_cast<int>(engine::NearestCentre(Row, KMeans.Fit.Centres).Cluster + 1));
    // About the means, each difference formed about the column's shift;
    // standardised columns are about theirs already.
    for (std::size_t v = 0; v < K; ++v)
      d[v] = KMeans.Scaling ? Row[v] : (static_cast<long double>(Row[v]) - M.Shift(v)) - M.MeanAboutShift(v);
    for (std::size_t c = 0; c < Drawn; ++c) {
      long double Score = 0;
      for (std::size_t v = 0; v < K; ++v) Score += d[v] * Rec.Rotation[v][c];
      (c == 0 ? Part.Score1 : Part.Score2).push_back(static_cast<double>(Score));
    }
    Part.Rows.push_back(static_cast<long long>(Batch.FirstRow + i + 1));
  }
  return Part;
}

// The picture's series: the components of the clustered columns (of the
// standardised ones with --scale, whose covariance is the correlation
// matrix) and every complete row's place on them, in the file's order.
TClusterSeries ClusterSeriesOf(TStreamedData& Data, const TStreamedKMeans& KMeans, const TClusterSummary& Summary) {
  const std::size_t K = Data.K(), Drawn = std::min<std::size_t>(K, 2);
  const auto Rec = engine::PrincipalComponents(KMeans.Moments, K, KMeans.Scaling != nullptr);
  TClusterSeries S{Summary.Centres, {}, TClusterProjection{}};
  TClusterProjection& On = *S.Projection;
  for (std::size_t c = 0; c < Drawn; ++c) On.Proportion.push_back(static_cast<double>(Rec.Proportion[c]));
  for (std::size_t j = 0; j < K; ++j) {
    On.Mean.push_back(KMeans.Scaling ? 0.0 : static_cast<double>(KMeans.Moments.Mean(j)));
    On.Rotation1.push_back(static_cast<double>(Rec.Rotation[j][0]));
    if (Drawn == 2) On.Rotation2.push_back(static_cast<double>(Rec.Rotation[j][1]));
  }
  Data.InOrder<TProjectedRows>([&](const TBatch& Batch) { return ProjectedRows(KMeans, Rec, Batch); },
                               [&](TProjectedRows& Part) {
                                 const auto Append = [](auto& To, const auto& From) {
                                   To.insert(To.end(), From.begin(), From.end());
                                 };
                                 Append(S.Cluster, Part.Cluster);
                                 Append(On.Score1, Part.Score1);
                                 Append(On.Score2, Part.Score2);
                                 Append(On.Rows, Part.Rows);
                               });
  return S;
}

}  // namespace

TStreamedKMeans FitStreamedKMeans(TStreamedData& Data, const TOptions& Options, std::size_t HeldBytes) {
  const std::size_t K = Data.K(), Clusters = static_cast<std::size_t>(Options.Cluster.Clusters);
  const std::size_t Width = K + (Data.Response() ? 1 : 0);
  const TFirstPass First = Data.Reduce<TFirstPass>([Width](const TBatch& Batch) {
    TFirstPass Part{engine::TMoments(Width), {}};
    Part.Moments.Add(Batch);
    Part.Rows.Add(Batch);
    return Part;
  });
  TStreamedKMeans Result;
  Result.Rows = First.Moments.Count();
  Result.Moments = First.Moments;
  if (Result.Rows < std::max<std::size_t>(Clusters, 2)) {
    throw TInputError(Data.Source() + ": " + std::to_string(Clusters) +
                      " clusters need as many rows (and two at least) that hold a value in every column used");
  }
  Result.Scaling = Options.Cluster.Scale ? ScalingFor(Data, First.Moments) : nullptr;
  Result.TotSS = TotalSS(First.Moments, K, Result.Scaling.get());

  const std::size_t Most = std::min(kClusterSampleRows, std::max(10 * Clusters, kClusterSampleValues / K));
  const std::size_t Step = engine::SampleStep(Result.Rows, Most);
  // Held rows are merged within this process; several read their parts again.
  Result.Held = Data.Processes() == 1 &&
                HeldBytesOf(Result.Rows, K, Data.DroppedCount()) <= static_cast<long double>(HeldBytes);
  std::vector<THeldBlock> Held;
  const engine::TKMeansSample Sample =
      TakeSample(Data, First.Rows, Step, Result.Scaling, Result.Held ? &Held : nullptr);
  Result.SampleRows = Sample.Rows();
  const TCentres Start =
      engine::SampleStart(Sample, {Clusters, Options.Cluster.Seed, Options.Cluster.Starts, kClusterPasses, Data.Threads()});
  const engine::TLloydPass Pass = Result.Held ? HeldPass(Held, Data.Threads()) : ReadPass(Data, Result.Scaling);
  Result.Fit = engine::Lloyd(Pass, Start, kClusterPasses);
  return Result;
}

int RunStreamedCluster(TStreamedData& Data, const TOptions& Options, TCommandResults& Out) {
  Out.Results.Meta.Scaled = Options.Cluster.Scale;
  const TStreamedKMeans KMeans = FitStreamedKMeans(Data, Options);
  Out.Results.Meta.N = static_cast<long long>(KMeans.Rows);
  if (!KMeans.Fit.Converged)
    std::cerr << "varnel: k-means did not converge in " << kClusterPasses << " passes over " << Data.Source()
              << ": the centres are those of the last pass\n";
  if (KMeans.SampleRows < KMeans.Rows)
    std::cerr << "varnel: " << Data.Source() << ": k-means++ starts on " << KMeans.SampleRows << " of the "
              << KMeans.Rows << " rows\n";
  const TClusterSummary Summary = SummaryOf(KMeans.Fit, KMeans.TotSS, Options);
  Out.Results.Tables = {ClusterCentresTable(Summary, Data.XNames()), ClusterFitTable(Summary)};
  Out.Results.Stream = AssignmentsStream(Data, std::make_shared<const TStreamedKMeans>(KMeans));
  if (Options.Picture) Out.Typed.Clusters = ClusterSeriesOf(Data, KMeans, Summary);
  return 0;
}

}  // namespace varnel::cli
