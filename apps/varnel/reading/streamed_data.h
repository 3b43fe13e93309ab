// SPDX-License-Identifier: Apache-2.0
// A data set read block by block, never whole: its columns are decided from
// the first block (numbers or a factor, as SelectColumns decides), a
// factor's levels gathered in a pass of their own, and every analysis is a
// reduction over the blocks' batches on any number of threads, merged in a
// fixed order, so that its result is the same bits for any number of them.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include <varnel/engine.h>

#include "data_set.h"
#include "reading/row_reader.h"

namespace varnel::cli {

// The engine's limit of the tool: the predictors with the dummies.
inline constexpr std::size_t kMaxStreamedPredictors = 1000;

class TStreamedData {
 public:
  // Takes the reader after its first blocks (First, at least one), which
  // it keeps; the first block decides the columns' kinds.
  TStreamedData(std::unique_ptr<TRowReader> Reader, std::vector<TRowText> First, const TDataRules& Rules,
                std::size_t Threads);
  ~TStreamedData();

  const std::string& Source() const { return FSource; }
  // The predictors as the tables name them (a factor's dummies as R names
  // them), their terms, and the response.
  const std::vector<std::string>& XNames() const { return FXNames; }
  const std::vector<std::string>& TermNames() const { return FTermNames; }
  const std::vector<int>& TermOf() const { return FTermOf; }
  const std::string& YName() const { return FYName; }
  bool Response() const { return FResponse; }
  std::size_t K() const { return FXNames.size(); }
  // After a first Reduce: the rows left out for a missing value (their
  // count and the first ten data rows), each column's missing cells and
  // the file's columns not used.
  std::size_t DroppedCount() const { return FDroppedCount; }
  const std::vector<long long>& FirstDropped() const { return FFirstDropped; }
  const std::vector<std::string>& Unused() const { return FUnused; }
  std::size_t Threads() const { return FThreads; }

  // One state per block from Make(batch), where the batch holds the K
  // predictors then the response (NaN for a missing value, all of a
  // factor's dummies NaN for its missing cell), merged in tree order.
  template <class State>
  State Reduce(const std::function<State(const engine::TBatch&)>& Make) {
    engine::TMergeStack<State> Stack;
    std::vector<State> States;
    ForEachBatch([&](std::size_t Count) { States.assign(Count, State()); },
                 [&](std::size_t i, const engine::TBatch& Batch) { States[i] = Make(Batch); },
                 [&] {
                   for (State& S : States) Stack.Push(std::move(S));
                 });
    return Stack.Result();
  }

  // The blocks of a pass, a round of as many as there are threads at a
  // time: Start(count), then Visit(i, batch) on the workers, then End().
  void ForEachBatch(const std::function<void(std::size_t)>& Start,
                    const std::function<void(std::size_t, const engine::TBatch&)>& Visit,
                    const std::function<void()>& End);

 private:
  struct TBlockData;
  struct TColumn;
  void ForEachRound(const std::function<void(std::span<const TRowText>)>& Round);
  std::size_t NextBlocks(std::vector<TRowText>& Blocks);
  void Plan(const TDataRules& Rules);
  void GatherLevels();
  void Convert(const TRowText& Text, TBlockData& Out) const;

  std::unique_ptr<TRowReader> FReader;
  TDataRules FRules;
  std::size_t FThreads = 1, FBlockRows = 0, FPass = 0;
  std::vector<TRowText> FHeld;  // every block, when the input cannot be read twice
  // A round's blocks and what they are read into, kept from round to round
  // so that their storage is reused rather than allocated (and faulted in)
  // again for every block.
  std::vector<TRowText> FRound, FNextRound;
  std::vector<TBlockData> FRoundData;
  bool FHolding = false;
  std::vector<TRowText> FFirst;  // given back before the reader's next blocks in the first pass
  std::size_t FFirstGiven = 0;
  std::string FSource, FYName;
  bool FResponse = true;
  std::vector<TColumn> FColumns;  // the picked columns, the response last
  std::vector<std::string> FXNames, FTermNames, FUnused;
  std::vector<int> FTermOf;
  std::size_t FDroppedCount = 0;
  std::vector<long long> FFirstDropped;
};

}  // namespace varnel::cli
