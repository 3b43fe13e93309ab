// SPDX-License-Identifier: Apache-2.0
// cluster on a file beyond the component's box: k-means++ starts on a
// sample of the rows, then Lloyd's passes over all of them on the engine
// (held in memory when they fit, read from the file again otherwise), each
// pass a reduction of the blocks merged in a fixed order, so that the
// tables are the same bits for any number of threads.
#pragma once

#include <memory>

#include "analyses.h"
#include "reading/streamed_data.h"

namespace varnel::cli {

// Rows the k-means++ starts are worked on, at most; the sample is also
// held to about 32 MiB of values for wide data.
inline constexpr std::size_t kClusterSampleRows = 50000;
inline constexpr std::size_t kClusterSampleValues = std::size_t{1} << 22;
// Lloyd's passes over the file, at most, before the centres are taken as
// they stand.
inline constexpr int kClusterPasses = 100;
// The clustered rows are held in memory after the pass that samples them
// when their values (8 bytes each, n·p) and the runs of rows between
// missing ones (16 bytes each) take at most this much; the passes then
// work on them instead of reading the file again.
inline constexpr std::size_t kClusterHeldBytes = std::size_t{1} << 30;

// The k-means of a file: the final centres with the last pass's sums about
// them, and the standardisation of --scale (null without it). A row's
// cluster is engine::NearestCentre of engine::ClusterRow(batch, i,
// *Scaling or an empty scaling) among Fit.Centres, cluster index from 0.
struct TStreamedKMeans {
  engine::TLloydResult Fit;
  engine::TMoments Moments;  // of the first pass: the columns as they are in the file
  std::shared_ptr<const engine::TKMeansScaling> Scaling;
  std::size_t Rows = 0, SampleRows = 0;
  Extended TotSS = 0;
  bool Held = false;  // the passes worked on rows held in memory
};
// The same bits whether the rows are held (HeldBytes) or read again.
TStreamedKMeans FitStreamedKMeans(TStreamedData& Data, const TOptions& Options,
                                  std::size_t HeldBytes = kClusterHeldBytes);

// The centres and fit tables, as within the box; under TOptions::Picture
// also each row's cluster and place on the first two principal components
// of the clustered columns (standardised with --scale), from a pass of
// their own.
int RunStreamedCluster(TStreamedData& Data, const TOptions& Options, TCommandResults& Out);

}  // namespace varnel::cli
