// SPDX-License-Identifier: Apache-2.0
// predict: a saved model's fitted values at the rows of new data, with
// their standard errors and, on request, confidence or prediction limits,
// as R's predict.lm(se.fit = TRUE, interval = ) gives them. The rows are
// made block by block while they are written, for any number of rows.
#pragma once

#include "analyses.h"
#include "models/saved_model.h"
#include "reading/streamed_data.h"

namespace varnel::cli {

// The data options that read new data as the model's columns: their names
// (or the model's formula, whose terms are evaluated again), its factors
// and their levels.
void ReadAsModel(const TSavedModel& Model, std::vector<std::string>& Columns, std::string& Formula,
                 std::vector<std::string>& Factors, std::map<std::string, std::vector<std::string>>& Levels);

// Table predictions of Options.Predict.Loaded at the rows of Data (whose
// predictors are the model's columns); a row missing a value has none.
int RunStreamedPredict(TStreamedData& Data, const TOptions& Options, TCommandResults& Out);

}  // namespace varnel::cli
