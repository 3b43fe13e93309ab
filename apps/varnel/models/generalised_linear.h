// SPDX-License-Identifier: Apache-2.0
// glm: a generalised linear model fitted by iteratively reweighted least
// squares on the engine, one pass over the data per iteration (the file's
// blocks kept in memory after the first where they fit), with the tables
// of R's summary.glm (coefficients, z or t as the family has a known
// dispersion or not, limits as confint.default) and of its fit statistics;
// prior weights, a formula's offset, --save-model for predict, and --step,
// R's step() over the terms.
#pragma once

#include "analyses.h"
#include "reading/streamed_data.h"

namespace varnel::cli {

int RunStreamedGlm(TStreamedData& Data, const TOptions& Options, TCommandResults& Out);

}  // namespace varnel::cli
