// SPDX-License-Identifier: Apache-2.0
// select on data beyond the component's box: the best subsets (up to 40
// predictors) or a stepwise search by AIC, from one merged moments state,
// with the tables of select within the box.
#pragma once

#include "analyses.h"
#include "reading/streamed_data.h"

namespace varnel::cli {

int RunStreamedSelect(TStreamedData& Data, const TOptions& Options, TCommandResults& Out);

// Table steps of a stepwise search by AIC over terms named TermNames; of a
// generalised model (Glm) its models' deviances where a linear one has
// their residual sums of squares.
TResultTable StepsTable(const std::vector<engine::TStep>& Steps, const std::vector<std::string>& TermNames,
                        engine::TStepDirection Direction, bool Glm = false);

}  // namespace varnel::cli
