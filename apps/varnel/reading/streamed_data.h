// SPDX-License-Identifier: Apache-2.0
// A data set read block by block, never whole: its columns are decided from
// the first block (numbers or a factor, as SelectColumns decides), a
// factor's levels gathered in a pass of their own, and every analysis is a
// reduction over the blocks' batches on any number of threads, merged in a
// fixed order, so that its result is the same bits for any number of them.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
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
    InOrder<State>(Make, [&Stack](State& Part) { Stack.Push(std::move(Part)); });
    return Stack.Result();
  }

  // Make(batch) of every block on the workers, and Take(part) of each in
  // the blocks' order, one at a time: rows written out in the file's
  // order. A part made ahead of its turn waits for the ones before it.
  template <class Part>
  void InOrder(const std::function<Part(const engine::TBatch&)>& Make, const std::function<void(Part&)>& Take) {
    std::map<std::size_t, Part> Finished;  // parts waiting for the blocks before them
    std::size_t Next = 0;
    std::mutex Lock;
    ForEachBatch([&](std::size_t Index, const engine::TBatch& Batch) {
      Part Made = Make(Batch);
      const std::lock_guard<std::mutex> Hold(Lock);
      Finished.emplace(Index, std::move(Made));
      for (auto At = Finished.find(Next); At != Finished.end(); At = Finished.find(++Next)) {
        Take(At->second);
        Finished.erase(At);
      }
    });
  }

  // A pass over the blocks: one thread cuts them from the file in order
  // while the workers take each as it comes and call Visit(index, block).
  // An error is the one of the lowest block that has one, whatever the
  // number of threads.
  void ForEachBlock(const std::function<void(std::size_t, const TRowText&)>& Visit);
  // The same, each block converted to its batch (see Reduce).
  void ForEachBatch(const std::function<void(std::size_t, const engine::TBatch&)>& Visit);

 private:
  struct TBlockData;
  struct TColumn;
  bool NextBlock(std::size_t Index, TRowText& Block, const TRowText*& Held);
  void Plan(const TDataRules& Rules);
  void GatherLevels();
  void GatherLevelTexts(std::vector<std::set<std::string>>& Texts, std::vector<bool>& AllNumbers);
  void Convert(const TRowText& Text, TBlockData& Out) const;

  std::unique_ptr<TRowReader> FReader;
  TDataRules FRules;
  std::size_t FThreads = 1, FBlockRows = 0, FPass = 0;
  std::vector<TRowText> FHeld;  // every block, when the input cannot be read twice
  bool FHolding = false;
  std::vector<TRowText> FFirst;  // given back before the reader's next blocks in the first pass
  std::size_t FFirstGiven = 0;
  std::string FSource, FYName;
  bool FResponse = true;
  std::vector<TColumn> FColumns;  // the picked columns, the response last
  std::vector<bool> FPlainNumbers;  // per picked column: its plain numbers read as the rows are split
  std::vector<std::string> FXNames, FTermNames, FUnused;
  std::vector<int> FTermOf;
  bool FDroppedUnknown = true;  // until a pass over the batches has counted them
  std::size_t FDroppedCount = 0;
  std::vector<long long> FFirstDropped;
};

}  // namespace varnel::cli
