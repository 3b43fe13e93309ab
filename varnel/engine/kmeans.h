// SPDX-License-Identifier: Apache-2.0
/// \file
/// k-means over data of any size: Lloyd's passes, each a reduction of the
/// batches to per-cluster sums about fixed centres, merged in a fixed order,
/// from the best of several k-means++ starts worked on a sample of the rows
/// that does not depend on the number of threads. The caller owns the data
/// and the passes over it; the engine holds sums, centres and the sample.
///
/// A row takes part only when every column of its batch holds a value (as
/// R's na.omit); the clustering uses the batch's first P columns, so a
/// batch may carry further columns (a response) that only decide whether a
/// row is complete.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "varnel/engine/batch.h"
#include "varnel/engine/moments.h"
#include "varnel/export.h"

namespace varnel::engine {

/// K centres of P coordinates, cluster by cluster, as doubles (the data's
/// type, so that distances run in double arithmetic).
class VARNEL_API TCentres {
 public:
  TCentres() = default;  ///< no centres: K() and P() are 0
  /// Values: K × P, row-major; throws EEngineError unless K ≥ 1, P ≥ 1 and
  /// Values.size() == K·P.
  TCentres(std::size_t K, std::size_t P, std::vector<double> Values);

  std::size_t K() const { return FK; }  ///< the number of centres
  std::size_t P() const { return FP; }  ///< the coordinates of each
  std::span<const double> Centre(std::size_t c) const { return {FValues.data() + c * FP, FP}; }  ///< centre c (0-based); not checked
  const std::vector<double>& Values() const { return FValues; }  ///< every centre, K × P, row-major
  /// Coordinate j of every centre side by side: [j * K + c].
  const std::vector<double>& ByCoordinate() const { return FByCoordinate; }

  /// The same shape and the same values, bit for bit.
  bool operator==(const TCentres& Other) const { return FK == Other.FK && FP == Other.FP && FValues == Other.FValues; }
  /// Each member in a fixed order, for a state sent to another process.
  template <class Self, class Visit>
  static void Members(Self& State, Visit&& Each) {
    Each(State.FK);
    Each(State.FP);
    Each(State.FValues);
    Each(State.FByCoordinate);
  }

 private:
  std::size_t FK = 0, FP = 0;
  std::vector<double> FValues, FByCoordinate;
};

/// How each clustered column is standardised first: (x − Centre)/Scale in
/// extended precision, rounded to double, as R's scale() leaves it. Empty:
/// the columns as they are.
struct VARNEL_API TKMeansScaling {
  /// Per column, the centre subtracted and the scale divided by.
  ///@{
  std::vector<long double> Centre, Scale;
  ///@}
  bool Empty() const { return Centre.empty(); }  ///< whether the columns are used as they are
  /// Each member in a fixed order, for a state sent to another process.
  template <class Self, class Visit>
  static void Members(Self& State, Visit&& Each) {
    Each(State.Centre);
    Each(State.Scale);
  }
};

/// The mean and standard deviation (n − 1) of the first P columns of a
/// state's complete rows. Throws EEngineError for a column whose deviation
/// is not positive and finite: it has no standard form.
VARNEL_API TKMeansScaling ScalingOf(const TMoments& State, std::size_t P);

/// Row i of the batch as the clustering sees it: its first Out.size()
/// values, standardised as Scaling says. False, with Out unspecified, when
/// any column of the batch is missing there; an infinite value throws
/// EOverflow.
VARNEL_API bool ClusterRow(const TBatch& Batch, std::size_t i, const TKMeansScaling& Scaling, std::span<double> Out);

/// The centre nearest a row and the row's squared distance to it. The
/// choice compares squared distances summed in double in coordinate order,
/// the lowest cluster index among equal ones; Distance2 is the chosen
/// one's, summed in extended precision.
struct VARNEL_API TNearestCentre {
  std::size_t Cluster = 0;  ///< the nearest centre (0-based)
  long double Distance2 = 0;  ///< the row's squared distance to it
};
/// The centre of Centres nearest Row, as TNearestCentre describes it; Row
/// must hold Centres.P() values (EEngineError otherwise).
VARNEL_API TNearestCentre NearestCentre(std::span<const double> Row, const TCentres& Centres);

/// One Lloyd pass over some rows about fixed centres: per cluster the rows
/// it took, the sums of their deviations from its centre, and their sum of
/// squared distances to it, all in extended precision.
class VARNEL_API TLloydSums {
 public:
  TLloydSums() = default;  ///< holds no rows; merges as nothing
  /// With Previous (the centres of the pass before), each row's nearest
  /// centre among those is found too, and a row whose cluster differs counts
  /// as Changed.
  explicit TLloydSums(std::shared_ptr<const TCentres> Centres, std::shared_ptr<const TKMeansScaling> Scaling = nullptr,
                      std::shared_ptr<const TCentres> Previous = nullptr);

  /// Adds the complete rows of the batch, which needs at least P columns;
  /// row i is row Batch.FirstRow + i of the data. On a throw the state is as
  /// it was.
  void Add(const TBatch& Batch);
  /// Adds rows already as the clustering sees them (ClusterRow's values),
  /// P values a row, one row after another: rows First, First + 1, … of the
  /// data. The sums are the same bits as Add of the batch they came from.
  void AddRows(std::span<const double> Rows, std::size_t First);
  /// Adds the rows another state about the same centres has seen.
  void Merge(const TLloydSums& Other);

  std::size_t K() const { return FCentres ? FCentres->K() : 0; }  ///< the number of clusters; 0 without centres
  std::size_t Rows() const;  ///< the rows added
  std::size_t Count(std::size_t c) const { return FCount[c]; }  ///< the rows cluster c took
  /// Σ (x_j − centre_j) over the rows cluster c took.
  long double DeviationSum(std::size_t c, std::size_t j) const { return FDeviation[c * FCentres->P() + j]; }
  long double WithinSS(std::size_t c) const { return FWithin[c]; }  ///< the sum of squared distances of cluster c's rows to its centre
  std::size_t Changed() const { return FChanged; }  ///< rows whose cluster differs from the previous centres'
  long double TotWithinSS() const;  ///< the sum of WithinSS over the clusters
  const TCentres& Centres() const { return *FCentres; }  ///< the centres the sums are about; there must be some
  /// Each member in a fixed order, for a state sent to another process.
  template <class Self, class Visit>
  static void Members(Self& State, Visit&& Each) {
    Each(State.FCentres);
    Each(State.FPrevious);
    Each(State.FScaling);
    Each(State.FCount);
    Each(State.FDeviation);
    Each(State.FWithin);
    Each(State.FChanged);
    Each(State.FFar);
    Each(State.FFarRows);
  }

  /// Clusters that took no row.
  std::size_t Empty() const;
  /// How many empty clusters Means refills: each, in cluster order, takes the
  /// next of the rows farthest from their nearest centre (the larger
  /// squared distance, then the lower row), skipping a row whose cluster
  /// would be left with none. A row on its centre is never taken: with
  /// every row on its centre an empty cluster stays empty.
  std::size_t Refilled() const;

  /// The means of the clusters' rows, a row taken to refill an empty
  /// cluster counted there alone and no longer in its own; an empty cluster
  /// that is not refilled keeps its centre.
  TCentres Means() const;

 private:
  // One of the rows farthest from their nearest centre, FFarRows holding
  // its values at [place · P].
  struct TFar {
    long double Distance2 = 0;
    std::size_t Row = 0, Cluster = 0;
    template <class Self, class Visit>
    static void Members(Self& Far, Visit&& Each) {
      Each(Far.Distance2);
      Each(Far.Row);
      Each(Far.Cluster);
    }
  };
  void AddRow(std::span<const double> Row, std::size_t Index, std::vector<double>& d);
  void Offer(long double Distance2, std::size_t Index, std::size_t Cluster, std::span<const double> Row);
  // (empty cluster, place among FFar of the row it takes), in cluster order.
  std::vector<std::pair<std::size_t, std::size_t>> Refills() const;

  std::shared_ptr<const TCentres> FCentres, FPrevious;
  std::shared_ptr<const TKMeansScaling> FScaling;
  std::vector<std::size_t> FCount;
  std::vector<long double> FDeviation, FWithin;
  std::size_t FChanged = 0;
  // The K farthest rows, farthest first: enough to refill every empty
  // cluster, as each cluster with rows can turn down at most one of them.
  std::vector<TFar> FFar;
  std::vector<double> FFarRows;
};

/// Every Step-th complete row of a data set, counting complete rows from 0
/// (the rows whose index is a multiple of Step), standardised: a sample
/// whose choice depends only on the data, column by column.
class VARNEL_API TKMeansSample {
 public:
  TKMeansSample() = default;  ///< holds no rows; merges as nothing
  /// Sums for a batch whose first complete row is complete row First of the
  /// data set.
  TKMeansSample(std::size_t P, std::size_t Step, std::size_t First,
                std::shared_ptr<const TKMeansScaling> Scaling = nullptr);

  /// Adds the sampled rows among the batch's complete rows, standardised.
  void Add(const TBatch& Batch);
  /// Appends another state's rows, which follow this one's.
  void Merge(const TKMeansSample& Other);

  std::size_t P() const { return FColumns.size(); }  ///< the columns sampled
  std::size_t Rows() const { return FColumns.empty() ? 0 : FColumns.front().size(); }  ///< the rows sampled
  const std::vector<std::vector<double>>& Columns() const { return FColumns; }  ///< the sample, column by column
  /// Each member in a fixed order, for a state sent to another process.
  template <class Self, class Visit>
  static void Members(Self& State, Visit&& Each) {
    Each(State.FStep);
    Each(State.FNext);
    Each(State.FScaling);
    Each(State.FColumns);
  }

 private:
  std::size_t FStep = 1, FNext = 0;  // FNext: the complete row the next Add starts at
  std::shared_ptr<const TKMeansScaling> FScaling;
  std::vector<std::vector<double>> FColumns;
};

/// The step that takes about Most rows out of N complete ones, ⌈N/Most⌉.
VARNEL_API std::size_t SampleStep(std::size_t N, std::size_t Most);

/// Complete rows per batch, keyed by the batch's first row, in batch order:
/// where each batch's complete rows begin in the count of them all.
class VARNEL_API TCompleteRows {
 public:
  void Add(const TBatch& Batch);  ///< records the batch's complete rows under its first row
  void Merge(const TCompleteRows& Other);  ///< appends another state's batches, which follow this one's
  std::size_t Total() const;  ///< the complete rows of every batch seen
  /// The complete rows of the batches before the one beginning at FirstRow;
  /// throws EEngineError for a batch this state has not seen.
  std::size_t Before(std::size_t FirstRow) const;
  /// Each member in a fixed order, for a state sent to another process.
  template <class Self, class Visit>
  static void Members(Self& State, Visit&& Each) {
    Each(State.FFirstRow);
    Each(State.FCount);
  }

 private:
  std::vector<std::size_t> FFirstRow, FCount;
};

/// The settings of a k-means run.
struct VARNEL_API TKMeansSettings {
  std::size_t K = 3;  ///< clusters
  std::uint64_t Seed = 1;  ///< the seed of the starts' random numbers
  int Starts = 10;  ///< k-means++ starts tried
  int MaxPasses = 100;   ///< Lloyd passes, on the sample and on the data
  std::size_t Threads = 1;  ///< the starts; the same result for any number
};

/// The best of Settings.Starts k-means++ starts on the sample rows, each
/// followed by Lloyd's passes over the sample: least within-cluster sum of
/// squares, the first of equal ones. Random numbers come from
/// std::mt19937_64 seeded with Settings.Seed, K uniforms a start, in start
/// order. Throws EEngineError when the sample has fewer distinct rows than
/// clusters.
VARNEL_API TCentres SampleStart(const TKMeansSample& Sample, const TKMeansSettings& Settings);

/// One pass over the data about the centres: the merged sums of every batch.
/// Previous: the centres of the pass before, null for the first pass; the
/// sums are TLloydSums(Centres, scaling, Previous) of every row.
using TLloydPass =
    std::function<TLloydSums(std::shared_ptr<const TCentres> Centres, std::shared_ptr<const TCentres> Previous)>;

/// The outcome of Lloyd.
struct VARNEL_API TLloydResult {
  TLloydSums Sums;       ///< the last pass, about Centres
  TCentres Centres;  ///< the final centres
  int Passes = 0;        ///< that formed means, the converging one included (R's iter)
  bool Converged = false;  ///< a pass changed no row's cluster, or left the centres as they were
};

/// Lloyd's passes from Start until no row changes cluster from one pass to
/// the next (as R's kmeans stops; the centres are then the means of the
/// partition that stands) or the means equal the centres they were formed
/// about, or MaxPasses; then the sums are about the final centres (one more
/// pass if the limit was reached). A pass that leaves clusters empty
/// refills them from the farthest rows (TLloydSums::Means) and never counts
/// as the converging one.
VARNEL_API TLloydResult Lloyd(const TLloydPass& Pass, const TCentres& Start, int MaxPasses);

}  // namespace varnel::engine
