// SPDX-License-Identifier: Apache-2.0
// A data set read block by block, never whole: its columns are decided from
// the first block (numbers or a factor, as SelectColumns decides), a
// factor's levels gathered in a pass of their own, and every analysis is a
// reduction over the blocks' batches on any number of threads, merged in a
// fixed order, so that its result is the same bits for any number of them.
#pragma once

#include <algorithm>
#include <cstddef>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <varnel/engine.h>

#include "data_set.h"
#include "processes/processes.h"
#include "processes/state_packing.h"
#include "reading/row_index.h"
#include "reading/row_reader.h"

namespace varnel::cli {

namespace formula {
class TDesign;
}

// The engine's limit of the tool: the predictors with the dummies.
inline constexpr std::size_t kMaxStreamedPredictors = 1000;

class TStreamedData {
 public:
  // Takes the reader after its first blocks (First, at least one), which
  // it keeps; the first block decides the columns' kinds.
  // Under several processes, each reads its part of the files (see
  // PartOfFiles) and the reductions are merged across them.
  TStreamedData(std::unique_ptr<TRowReader> Reader, std::vector<TRowText> First, const TDataRules& Rules,
                std::size_t Threads, TProcesses& Processes = OneProcess());
  ~TStreamedData();

  const std::string& Source() const { return FSource; }
  // The predictors as the tables name them (a factor's dummies as R names
  // them), their terms, and the response.
  const std::vector<std::string>& XNames() const { return FXNames; }
  const std::vector<std::string>& TermNames() const { return FTermNames; }
  const std::vector<int>& TermOf() const { return FTermOf; }
  // Each term's variables: a formula's (a:b holds a's and b's), else each
  // column's term its own.
  const std::vector<std::vector<int>>& TermVariables() const { return FTermVariables; }
  const std::string& YName() const { return FYName; }
  // How each predictor column is coded: its name in the file, and a
  // factor's levels, the reference first. Under a formula: each column its
  // terms read.
  struct TCoding {
    std::string Column;
    bool Factor = false;
    std::vector<std::string> Levels;
  };
  const std::vector<TCoding>& Codings() const { return FCodings; }
  // Under a formula: its expansion, as R deparses the terms ("y ~ a + b +
  // a:b - 1"), which reads the same design again; empty otherwise.
  const std::string& ExpandedFormula() const { return FExpandedFormula; }
  // Whether each batch holds the formula's offset after the response.
  bool HasOffset() const { return FOffset; }
  bool Response() const { return FResponse; }
  std::size_t K() const { return FXNames.size(); }
  // After a first Reduce: the rows left out for a missing value (their
  // count and the first ten data rows), each column's missing cells and
  // the file's columns not used.
  std::size_t DroppedCount() const { return FDroppedCount; }
  const std::vector<long long>& FirstDropped() const { return FFirstDropped; }
  const std::vector<std::string>& Unused() const { return FUnused; }
  std::size_t Threads() const { return FThreads; }
  int Processes() const { return FProcesses->Count(); }

  // One state per block from Make(batch), where the batch holds the K
  // predictors then the response (NaN for a missing value, all of a
  // factor's dummies NaN for its missing cell), merged in tree order; under
  // several processes each merges its blocks into the tree's nodes that
  // they make, and the nodes of all are merged into the same root on each.
  // WithCarried: the batch holds after the response the key's level (an
  // index into the key's texts in byte order) and the weight, those of
  // them that TDataRules names.
  template <class State>
  State Reduce(const std::function<State(const engine::TBatch&)>& Make, bool WithCarried = false) {
    if (FProcesses->Count() == 1) {
      engine::TMergeStack<State> Stack;
      InOrderHere<State>(Make, [&Stack](State& Part) { Stack.Push(std::move(Part)); }, WithCarried);
      return Stack.Result();
    }
    TNodeStack<State> Mine(engine::NodesOf(FPart.FirstBlock, FPart.FirstBlock + FPart.Blocks, FPart.Total), FPart.Total);
    std::exception_ptr Error;
    try {
      InOrderHere<State>(Make, [&Mine](State& Part) { Mine.Push(std::move(Part)); }, WithCarried);
    } catch (...) {
      Error = std::current_exception();
    }
    AfterPass(Error);
    return MergeAcross(Mine.Nodes());
  }

  // Make(batch) of every block on the workers, and Take(part) of each in
  // the blocks' order, one at a time: rows written out in the file's
  // order. A part made ahead of its turn waits for the ones before it.
  // Under several processes rank 0 takes every part: its own, then each
  // other process's as that one sends them, in rank order. WithCarried: as
  // for Reduce.
  template <class Part>
  void InOrder(const std::function<Part(const engine::TBatch&)>& Make, const std::function<void(Part&)>& Take,
               bool WithCarried = false) {
    if (FProcesses->Count() == 1) return InOrderHere<Part>(Make, Take, WithCarried);
    std::exception_ptr Error;
    try {
      if (FProcesses->Rank() == 0) {
        InOrderHere<Part>(Make, Take, WithCarried);
      } else {
        InOrderHere<Part>(Make, [this](Part& Made) { SendPart(Made); }, WithCarried);
      }
    } catch (...) {
      Error = std::current_exception();
    }
    if (FProcesses->Rank() == 0) {
      TakeOtherParts<Part>(Take, Error);
    } else {
      FProcesses->SendToFirst({});  // the end of this process's parts
    }
    AfterPass(Error);
  }

  // A pass over the blocks: one thread cuts them from the file in order
  // while the workers take each as it comes and call Visit(index, block).
  // An error is the one of the lowest block that has one, whatever the
  // number of threads.
  void ForEachBlock(const std::function<void(std::size_t, const TRowText&)>& Visit);
  // The same, each block converted to its batch (see Reduce).
  void ForEachBatch(const std::function<void(std::size_t, const engine::TBatch&)>& Visit, bool WithCarried = false);

  // From the next pass on, keeps each block's converted columns while they
  // come to at most MaxBytes in all, so that the passes after it take them
  // from memory instead of reading the file again: the same batches in the
  // same order, so the same results. Beyond MaxBytes every pass reads the
  // file, as without it.
  void KeepBatches(std::size_t MaxBytes);

 private:
  struct TBlockData;
  // A process's states merged into the nodes (NodesOf) of the one tree over
  // Total states, as they come in order.
  template <class State>
  class TNodeStack {
   public:
    TNodeStack(std::vector<engine::TTreeNode> Nodes, std::size_t Total) : FOf(std::move(Nodes)), FTotal(Total) {}
    void Push(State Next) {
      FStack.Push(std::move(Next));
      const engine::TTreeNode Node = FOf.at(FMade.size());
      if (++FHeld < std::min((Node.Index + 1) << Node.Level, FTotal) - Node.First()) return;
      FMade.emplace_back(Node, FStack.Result());
      FHeld = 0;
    }
    const std::vector<std::pair<engine::TTreeNode, State>>& Nodes() const { return FMade; }

   private:
    std::vector<engine::TTreeNode> FOf;
    std::size_t FTotal, FHeld = 0;
    engine::TMergeStack<State> FStack;
    std::vector<std::pair<engine::TTreeNode, State>> FMade;
  };
  template <class Part>
  void SendPart(const Part& Made) {
    TPacker Out;
    Out.Put('p');  // never empty: an empty message ends the parts
    PackState(Out, Made);
    FProcesses->SendToFirst(Out.Bytes());
  }
  // Rank 0: each other process's parts, in rank order. After an error the
  // rest are received and dropped, so that no process waits in its send.
  template <class Part>
  void TakeOtherParts(const std::function<void(Part&)>& Take, std::exception_ptr& Error) {
    for (int Rank = 1; Rank < FProcesses->Count(); ++Rank) {
      for (std::string Bytes; !(Bytes = FProcesses->ReceiveFrom(Rank)).empty();) {
        if (Error) continue;
        try {
          TUnpacker In(std::string_view(Bytes).substr(1));
          Part Given = Part();
          UnpackState(In, Given);
          Take(Given);
        } catch (...) {
          Error = std::current_exception();
        }
      }
    }
  }
  // InOrder within this process, over its own blocks.
  template <class Part>
  void InOrderHere(const std::function<Part(const engine::TBatch&)>& Make, const std::function<void(Part&)>& Take,
                   bool WithCarried = false) {
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
    }, WithCarried);
  }
  // The nodes of every process, merged into the root on each.
  template <class State>
  State MergeAcross(const std::vector<std::pair<engine::TTreeNode, State>>& Mine) {
    TPacker Out;
    for (const auto& [Node, Held] : Mine) {
      Out.Put(Node.Level).Put(Node.Index);
      PackState(Out, Held);
    }
    std::vector<std::pair<engine::TTreeNode, State>> All;
    for (const std::string& Bytes : FProcesses->AllGather(Out.Bytes())) {
      TUnpacker In(Bytes);
      while (!In.Done()) {
        engine::TTreeNode Node;
        In.Read(Node.Level);
        In.Read(Node.Index);
        All.emplace_back(Node, State());
        UnpackState(In, All.back().second);
      }
    }
    return engine::MergeNodes(FPart.Total, std::move(All));
  }
  // After a pass under several processes: the error of the lowest failing
  // block, if any, on every one; the first pass's rows left out, summed.
  void AfterPass(std::exception_ptr Error);
  void SplitAmongProcesses();
  struct TColumn;
  bool NextBlock(std::size_t Index, TRowText& Block, const TRowText*& Held);
  void Plan(const TDataRules& Rules);
  void GatherLevels();
  void GatherLevelTexts(std::vector<std::set<std::string>>& Texts, std::vector<bool>& AllNumbers);
  void ShareLevelTexts(std::vector<std::set<std::string>>& Texts, std::vector<bool>& AllNumbers);
  void CheckLevelCount(const std::set<std::string>& Texts, std::size_t Column) const;
  void CheckKnownLevel(const TRowText& Block, const TFieldBlock& Fields, std::size_t r, std::size_t c) const;
  void Convert(const TRowText& Text, TBlockData& Out) const;
  double CellValue(const TFieldBlock& F, std::size_t r, std::size_t c, const std::string& File, std::size_t FileRow,
                   bool& Complete) const;
  void PutDesignRow(std::span<const double> Raw, std::span<double> Row, bool Complete, const std::string& File,
                    std::size_t FileRow, TBlockData& Out, std::size_t r) const;
  void SetDesign(std::vector<TCoding> Sources);
  void ReplayKept(const std::function<void(std::size_t, const engine::TBatch&)>& Visit, bool WithCarried);
  void KeepBlock(std::size_t Index, const TBlockData& Data, std::size_t FirstRow);
  // The blocks' columns kept in memory (see KeepBatches).
  struct TKeptBlock {
    std::vector<std::vector<double>> Columns;
    std::size_t FirstRow = 0;
  };
  std::vector<TKeptBlock> FKept;
  std::size_t FKeepBudget = 0, FKeptBytes = 0;
  bool FKeeping = false, FKeptWhole = false;
  std::mutex FKeptLock;

  TProcesses* FProcesses;
  TFilesPart FPart;  // this process's blocks (all of them, alone)
  std::size_t FFailedBlock = kNoBlock;
  bool FDroppedShared = false;
  std::unique_ptr<TRowReader> FReader;
  TDataRules FRules;
  std::size_t FThreads = 1, FBlockRows = 0, FPass = 0;
  std::vector<TRowText> FHeld;  // every block, when the input cannot be read twice
  bool FHolding = false;
  std::vector<TRowText> FFirst;  // given back before the reader's next blocks in the first pass
  std::size_t FFirstGiven = 0;
  std::string FSource, FYName, FExpandedFormula;
  bool FResponse = true;
  // The picked columns after the response: the rows' key, their weights.
  bool FKeyed = false, FWeights = false;
  std::size_t CarriedCount() const { return (FKeyed ? 1 : 0) + (FWeights ? 1 : 0); }
  std::vector<TColumn> FColumns;  // the picked columns, the response last
  std::vector<bool> FPlainNumbers;  // per picked column: its plain numbers read as the rows are split
  std::vector<std::string> FXNames, FTermNames, FUnused;
  std::vector<int> FTermOf;
  std::vector<std::vector<int>> FTermVariables;
  std::vector<TCoding> FCodings;
  // Under a formula: its design, over the picked columns before the carried
  // ones and (without the response) the names only the response reads.
  std::unique_ptr<formula::TDesign> FDesign;
  std::size_t FDesignSources = 0;
  bool FOffset = false;
  bool FDroppedUnknown = true;  // until a pass over the batches has counted them
  std::size_t FDroppedCount = 0;
  std::vector<long long> FFirstDropped;
};

}  // namespace varnel::cli
