// SPDX-License-Identifier: Apache-2.0
// The commands that run on the engine when the data are beyond the
// component's 19,999 rows or 24 predictors: the file is read in blocks,
// each reduced to a mergeable state on any number of threads, and the
// tables are built from the merged state (and, for the residuals, a second
// pass). They have the tables of the commands within the box, without the
// component's interpretations and report texts.
#pragma once

#include <optional>

#include "analyses.h"
#include "reading/streamed_data.h"

namespace varnel::cli {

int RunStreamedRegress(TStreamedData& Data, const TOptions& Options, TCommandResults& Out);
// The observations' table is streamed: its rows are made, in the file's
// order, while it is written, in a pass of their own.
int RunStreamedDiagnose(TStreamedData& Data, const TOptions& Options, TCommandResults& Out);
// The variables table holds every value of each column (8 bytes a value):
// its quartiles are exact.
// Any number of variables; the scores are streamed.
int RunStreamedPca(TStreamedData& Data, const TOptions& Options, TCommandResults& Out);
// The distances' table is streamed, as diagnose's observations.
int RunStreamedDistance(TStreamedData& Data, const TOptions& Options, TCommandResults& Out);
int RunStreamedDescribe(TStreamedData& Data, const TOptions& Options, TCommandResults& Out);

// The least-squares fit of Data's predictors on its response (the aliased
// ones said on standard error) with its residual sum of squares (Σ w e²
// when Weighted, by the batch's last column), as regress makes it; nothing
// when no predictor is left.
struct TStreamedFit {
  engine::TFit Fit;
  long double Sse = 0;
};
std::optional<TStreamedFit> FitStreamed(TStreamedData& Data, bool Intercept, bool Weighted = false);

}  // namespace varnel::cli
