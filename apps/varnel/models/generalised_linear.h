// SPDX-License-Identifier: Apache-2.0
// glm: a generalised linear model fitted by iteratively reweighted least
// squares on the engine, one pass over the file per iteration, with the
// tables of R's summary.glm (coefficients, z or t as the family has a known
// dispersion or not, limits as confint.default) and of its fit statistics.
#pragma once

#include "analyses.h"
#include "reading/streamed_data.h"

namespace varnel::cli {

int RunStreamedGlm(TStreamedData& Data, const TOptions& Options, TCommandResults& Out);

}  // namespace varnel::cli
