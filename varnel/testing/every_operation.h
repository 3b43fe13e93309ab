// SPDX-License-Identifier: Apache-2.0
// Every public operation of the component as a named call on a small data
// set, for the tests that run them all under a condition of their own
// (a small stack, failing allocations).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "varnel/korlen.h"

namespace varnel::testing {

// What the operations read, all on the heap: k = 4 predictors, n = 60
// observations of random data, the fit and summaries of them.
struct TInputs {
  std::unique_ptr<TKorlen> Korlen = std::make_unique<TKorlen>();
  std::vector<double> A, B, D, Out;
  std::vector<std::int32_t> Ranks;
  std::unique_ptr<TClusterAssignment> Assignment = std::make_unique<TClusterAssignment>();
  std::unique_ptr<TClusterCenters> Centers = std::make_unique<TClusterCenters>();
  std::unique_ptr<TOutlierFlags> Flags = std::make_unique<TOutlierFlags>();
  std::unique_ptr<TRegressData> Scores = std::make_unique<TRegressData>();
  std::vector<TObservationInference> Observations;
  TVector V{}, W{};
  TMatrix M{}, C{};
  TMultStatRec Rec{};
  TBivarStatRec BRec{};
  TUnivarStatRec URec{};
  std::string File;  // the k-means report, in the temporary folder

  TInputs();
  ~TInputs();
  TInputs(const TInputs&) = delete;
  TInputs& operator=(const TInputs&) = delete;
};

using TOperation = std::pair<const char*, std::function<void(TInputs&)>>;

const std::vector<TOperation>& EveryOperation();

}  // namespace varnel::testing
