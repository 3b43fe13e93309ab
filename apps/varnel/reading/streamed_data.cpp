// SPDX-License-Identifier: Apache-2.0
#include "reading/streamed_data.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <exception>
#include <future>
#include <thread>
#include <limits>
#include <set>
#include <unordered_map>

#include "output.h"

namespace varnel::cli {
namespace {

constexpr double kMissing = std::numeric_limits<double>::quiet_NaN();
constexpr std::size_t kShownDropped = 10;

std::string Quoted(const std::string& Name) { return "\"" + Printable(Name, kShownCellBytes) + "\""; }

std::string Where(const std::string& Source, std::size_t Row, const std::string& Column) {
  return Source + ": data row " + std::to_string(Row) + ", column " + Quoted(Column);
}

// Lookup by string_view without a copy per cell.
struct TTextHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view Text) const { return std::hash<std::string_view>{}(Text); }
};

}  // namespace

// A picked column: numbers, or a factor with its levels in order (values
// for a factor of numbers, texts otherwise).
struct TStreamedData::TColumn {
  std::string Name;
  bool Factor = false;
  bool NumericLevels = true;
  std::vector<double> LevelValues;
  std::unordered_map<std::string, int, TTextHash, std::equal_to<>> LevelIndex;
  std::size_t Levels = 0;

  // The level of a cell, or -1 when the complete rows never hold it.
  int LevelOf(std::string_view Cell, double Value, bool IsNumber) const {
    if (NumericLevels) {
      if (!IsNumber) return -1;
      const auto At = std::lower_bound(LevelValues.begin(), LevelValues.end(), Value);
      return At != LevelValues.end() && *At == Value ? static_cast<int>(At - LevelValues.begin()) : -1;
    }
    const auto Found = LevelIndex.find(TrimmedCell(Cell));
    return Found == LevelIndex.end() ? -1 : Found->second;
  }
};

// One block, read: its fields, its batch's columns and what it left out.
struct TStreamedData::TBlockData {
  TFieldBlock Fields;
  std::vector<std::vector<double>> Columns;
  std::size_t Dropped = 0;
  std::vector<long long> FirstDropped;
};

TStreamedData::TStreamedData(std::unique_ptr<TRowReader> Reader, std::vector<TRowText> First, const TDataRules& Rules,
                             std::size_t Threads)
    : FReader(std::move(Reader)), FRules(Rules), FThreads(engine::WorkerCount(Threads, 1 << 20)),
      FBlockRows(BlockRowsFor(FReader->Header().Names.size())), FFirst(std::move(First)) {
  FSource = FReader->Shown();
  FResponse = !Rules.NoResponse;
  FHolding = !FReader->Bytes().Rewindable();
  Plan(Rules);
  GatherLevels();
}

TStreamedData::~TStreamedData() = default;

// The columns' kinds, from the first block as SelectColumns decides them.
void TStreamedData::Plan(const TDataRules& Rules) {
  TCsvTable Table = EmptyTable(*FReader);
  TFieldBlock Fields;
  FReader->Split(FFirst.front(), Fields);
  AddRows(Fields, Table);
  const std::vector<bool> Factor = FactorColumns(Table, FSource, Rules);
  for (std::size_t c = 0; c < Table.Names.size(); ++c) {
    TColumn Column;
    Column.Name = Table.Names[c];
    Column.Factor = c < Factor.size() && Factor[c];
    FColumns.push_back(std::move(Column));
  }
  if (FResponse) FYName = Printable(Table.Names.back());
  for (const std::string& Name : FReader->Header().Names) {
    if (std::find(Table.Names.begin(), Table.Names.end(), Name) == Table.Names.end()) FUnused.push_back(Printable(Name));
  }
}

// The next round's blocks into Blocks (the first blocks, kept from the
// start, given first); their number, 0 at the end.
std::size_t TStreamedData::NextBlocks(std::vector<TRowText>& Blocks) {
  Blocks.resize(FThreads);
  std::size_t Count = 0;
  while (Count < FThreads) {
    if (FFirstGiven < FFirst.size()) {
      Blocks[Count++] = FFirst[FFirstGiven++];
      continue;
    }
    if (!FReader->Next(FBlockRows, Blocks[Count])) break;
    ++Count;
  }
  return Count;
}

// One pass over every block, rounds of FThreads blocks in file order. The
// next round is cut from the file while this one is parsed and reduced.
void TStreamedData::ForEachRound(const std::function<void(std::span<const TRowText>)>& Round) {
  if (FPass > 0 && !FHolding) {
    FReader->Rewind();
    FFirst.clear();
  }
  if (FPass > 0 && FHolding) {
    for (std::size_t b = 0; b < FHeld.size(); b += FThreads)
      Round(std::span<const TRowText>(FHeld).subspan(b, std::min(FThreads, FHeld.size() - b)));
  } else {
    for (std::size_t Count = NextBlocks(FRound); Count > 0;) {
      auto Reading = std::async(std::launch::async, [this] { return NextBlocks(FNextRound); });
      const auto Blocks = std::span<const TRowText>(FRound).first(Count);
      Round(Blocks);
      if (FHolding) FHeld.insert(FHeld.end(), Blocks.begin(), Blocks.end());
      Count = Reading.get();
      FRound.swap(FNextRound);
    }
  }
  ++FPass;
}

namespace {

// The blocks between the thread that cuts them and the workers, with the
// lowest failing block's error.
struct TBlockQueue {
  std::mutex Lock;
  std::condition_variable Changed;
  std::vector<std::unique_ptr<TRowText>> Owned;  // the blocks' storage, reused
  std::vector<TRowText*> Free;
  std::deque<std::pair<std::size_t, const TRowText*>> Cut;
  bool Ended = false;
  std::size_t Failed = std::numeric_limits<std::size_t>::max();
  std::exception_ptr Error;

  void Fail(std::size_t Index, std::exception_ptr Why) {
    const std::lock_guard<std::mutex> Hold(Lock);
    if (Index < Failed) {
      Failed = Index;
      Error = std::move(Why);
    }
    Changed.notify_all();
  }
};

}  // namespace

// The next block of the pass into Block, or from the held blocks (Held);
// false at the end.
bool TStreamedData::NextBlock(std::size_t Index, TRowText& Block, const TRowText*& Held) {
  Held = nullptr;
  if (FPass > 0 && FHolding) {
    if (Index >= FHeld.size()) return false;
    Held = &FHeld[Index];
    return true;
  }
  if (FFirstGiven < FFirst.size()) {
    Block = std::move(FFirst[FFirstGiven++]);  // given once: its storage moves to the pool
  } else if (!FReader->Next(FBlockRows, Block)) {
    return false;
  }
  if (FHolding) FHeld.push_back(Block);
  return true;
}

void TStreamedData::ForEachBatch(const std::function<void(std::size_t, const engine::TBatch&)>& Visit) {
  const bool First = FPass == 0 || (FPass == 1 && std::any_of(FColumns.begin(), FColumns.end(),
                                                               [](const TColumn& C) { return C.Factor; }));
  if (FPass > 0 && !FHolding) {
    FReader->Rewind();
    FFirst.clear();
  }
  TBlockQueue Q;
  for (std::size_t b = 0; b < FThreads + 2; ++b) {  // one being cut, one waiting, one per worker
    Q.Owned.push_back(std::make_unique<TRowText>());
    Q.Free.push_back(Q.Owned.back().get());
  }
  std::vector<std::pair<std::size_t, std::vector<long long>>> Dropped;  // per block
  const auto Cut = [&] {
    for (std::size_t Index = 0;; ++Index) {
      TRowText* Block = nullptr;
      {
        std::unique_lock<std::mutex> Hold(Q.Lock);
        Q.Changed.wait(Hold, [&] { return !Q.Free.empty() || Q.Failed < Index; });
        if (Q.Failed < Index) break;
        Block = Q.Free.back();
        Q.Free.pop_back();
      }
      const TRowText* Held = nullptr;
      bool More = false;
      try {
        More = NextBlock(Index, *Block, Held);
      } catch (...) {
        Q.Fail(Index, std::current_exception());
      }
      const std::lock_guard<std::mutex> Hold(Q.Lock);
      if (!More || Held) Q.Free.push_back(Block);
      if (!More) break;
      Q.Cut.emplace_back(Index, Held ? Held : Block);
      Q.Changed.notify_all();
    }
    const std::lock_guard<std::mutex> Hold(Q.Lock);
    Q.Ended = true;
    Q.Changed.notify_all();
  };
  const auto Work = [&] {
    TBlockData Data;
    for (;;) {
      std::pair<std::size_t, const TRowText*> Next;
      bool Wanted = false;  // no lower block has failed
      {
        std::unique_lock<std::mutex> Hold(Q.Lock);
        Q.Changed.wait(Hold, [&] { return !Q.Cut.empty() || Q.Ended; });
        if (Q.Cut.empty()) return;
        Next = Q.Cut.front();
        Q.Cut.pop_front();
        Wanted = Next.first < Q.Failed;
      }
      const auto [Index, Block] = Next;
      if (Wanted) {
        try {
          Convert(*Block, Data);
          Visit(Index, engine::MakeBatch(Data.Columns, Block->FirstRow));
        } catch (...) {
          Q.Fail(Index, std::current_exception());
        }
      }
      const std::lock_guard<std::mutex> Hold(Q.Lock);
      if (First) {
        if (Dropped.size() <= Index) Dropped.resize(Index + 1);
        Dropped[Index] = {Data.Dropped, Data.FirstDropped};
      }
      for (const auto& Own : Q.Owned) {
        if (Own.get() == Block) Q.Free.push_back(Own.get());  // not a held block
      }
      Q.Changed.notify_all();
    }
  };
  {
    std::vector<std::jthread> Pool;
    Pool.emplace_back(Cut);
    for (std::size_t w = 1; w < FThreads; ++w) Pool.emplace_back(Work);
    Work();
  }
  ++FPass;
  if (Q.Error) std::rethrow_exception(Q.Error);
  if (!First) return;
  for (const auto& [Count, Rows] : Dropped) {
    FDroppedCount += Count;
    for (long long Row : Rows) {
      if (FFirstDropped.size() < kShownDropped) FFirstDropped.push_back(Row);
    }
  }
}

// The levels of each factor in the complete rows, in a pass of their own,
// and the predictors' names with the dummies.
void TStreamedData::GatherLevels() {
  const std::size_t Picked = FColumns.size(), Predictors = Picked - (FResponse ? 1 : 0);
  const bool AnyFactor = std::any_of(FColumns.begin(), FColumns.end(), [](const TColumn& C) { return C.Factor; });
  if (AnyFactor) {
    struct TSeen {
      std::vector<std::set<std::string>> Texts;
      std::vector<bool> AllNumbers;
    };
    std::vector<TSeen> Seen;
    std::vector<std::set<std::string>> Texts(Picked);
    std::vector<bool> AllNumbers(Picked, true);
    ForEachRound([&](std::span<const TRowText> Blocks) {
      Seen = engine::MapIndices<TSeen>(Blocks.size(), FThreads, [&](std::size_t b) {
        TSeen S{std::vector<std::set<std::string>>(Picked), std::vector<bool>(Picked, true)};
        TFieldBlock Fields;
        FReader->Split(Blocks[b], Fields);
        std::vector<TCellKind> Kinds(Picked);
        for (std::size_t r = 0; r < Fields.Rows; ++r) {
          double Value = 0;
          bool Complete = true;
          for (std::size_t c = 0; c < Picked; ++c) {
            Kinds[c] = ReadCell(Fields.Cell(r, c), FRules, Value);
            Complete = Complete && Kinds[c] != TCellKind::Missing;
          }
          if (!Complete) continue;
          for (std::size_t c = 0; c < Picked; ++c) {
            if (!FColumns[c].Factor) continue;
            S.Texts[c].emplace(TrimmedCell(Fields.Cell(r, c)));
            if (Kinds[c] != TCellKind::Number) S.AllNumbers[c] = false;
          }
        }
        return S;
      });
      for (TSeen& S : Seen) {
        for (std::size_t c = 0; c < Picked; ++c) {
          Texts[c].merge(S.Texts[c]);
          AllNumbers[c] = AllNumbers[c] && S.AllNumbers[c];
        }
      }
    });
    for (std::size_t c = 0; c < Predictors; ++c) {
      if (!FColumns[c].Factor) continue;
      TColumn& Column = FColumns[c];
      Column.NumericLevels = AllNumbers[c];
      if (Column.NumericLevels) {
        for (const std::string& Text : Texts[c]) {
          double Value = 0;
          ReadCell(Text, FRules, Value);
          Column.LevelValues.push_back(Value);
        }
        std::sort(Column.LevelValues.begin(), Column.LevelValues.end());
        Column.LevelValues.erase(std::unique(Column.LevelValues.begin(), Column.LevelValues.end()),
                                 Column.LevelValues.end());
        Column.Levels = Column.LevelValues.size();
      } else {
        int Index = 0;
        for (const std::string& Text : Texts[c]) Column.LevelIndex.emplace(Text, Index++);
        Column.Levels = Texts[c].size();
      }
      std::vector<std::string> Names;
      if (Column.NumericLevels) {
        for (double Value : Column.LevelValues) Names.push_back(ShortestNumber(Value));
      } else {
        Names.assign(Texts[c].begin(), Texts[c].end());
      }
      if (Names.size() < 2) {
        throw TInputError(FSource + ": column " + Quoted(Column.Name) + " as a factor has " +
                          (Names.empty() ? std::string("no level") : "the one level " + Quoted(Names.front())) +
                          " in the rows used, and a factor needs two");
      }
      for (std::size_t l = 1; l < Names.size(); ++l) {
        FXNames.push_back(Printable(Column.Name + Names[l]));
        FTermOf.push_back(static_cast<int>(FTermNames.size()));
      }
      FTermNames.push_back(Printable(Column.Name));
    }
  }
  if (!AnyFactor) {
    for (std::size_t c = 0; c < Predictors; ++c) {
      FXNames.push_back(Printable(FColumns[c].Name));
      FTermOf.push_back(static_cast<int>(c));
      FTermNames.push_back(FXNames.back());
    }
  } else {
    // The names above hold the factors only: rebuilt in column order.
    std::vector<std::string> Names, Terms;
    std::vector<int> TermOf;
    std::size_t Dummy = 0;
    for (std::size_t c = 0; c < Predictors; ++c) {
      if (FColumns[c].Factor) {
        for (std::size_t l = 1; l < FColumns[c].Levels; ++l) {
          Names.push_back(FXNames[Dummy++]);
          TermOf.push_back(static_cast<int>(Terms.size()));
        }
      } else {
        Names.push_back(Printable(FColumns[c].Name));
        TermOf.push_back(static_cast<int>(Terms.size()));
      }
      Terms.push_back(Printable(FColumns[c].Name));
    }
    FXNames = std::move(Names);
    FTermNames = std::move(Terms);
    FTermOf = std::move(TermOf);
  }
  if (FXNames.size() > kMaxStreamedPredictors) {
    throw TInputError(FSource + ": " + std::to_string(FXNames.size()) + " predictors with the dummies, at most " +
                      std::to_string(kMaxStreamedPredictors) + " are possible");
  }
}

// The batch of one block: the predictors (a factor as its dummies) and the
// response, NaN where a cell is missing. A cell that is not a number in a
// column of numbers is an error here too, though the first block decided
// the column's kind.
void TStreamedData::Convert(const TRowText& Text, TBlockData& Out) const {
  FReader->Split(Text, Out.Fields);
  const TFieldBlock& F = Out.Fields;
  const std::size_t Picked = FColumns.size(), Width = FXNames.size() + (FResponse ? 1 : 0);
  Out.Columns.resize(Width);
  for (auto& Column : Out.Columns) Column.resize(F.Rows);
  Out.Dropped = 0;
  Out.FirstDropped.clear();
  for (std::size_t r = 0; r < F.Rows; ++r) {
    const std::size_t Row = F.FirstRow + r + 1;
    std::size_t Slot = 0;
    bool Complete = true;
    for (std::size_t c = 0; c < Picked; ++c) {
      const TColumn& Column = FColumns[c];
      double Value = 0;
      const TCellKind Kind = ReadCell(F.Cell(r, c), FRules, Value);
      if (Kind == TCellKind::Missing) {
        if (FRules.FailOnMissing) throw TInputError(Where(FSource, Row, Column.Name) + ": missing value");
        Complete = false;
      }
      if (Column.Factor) {
        const int Level = Kind == TCellKind::Missing ? -1 : Column.LevelOf(F.Cell(r, c), Value, Kind == TCellKind::Number);
        for (std::size_t l = 1; l < Column.Levels; ++l) Out.Columns[Slot++][r] = Level < 0 ? kMissing : Level == static_cast<int>(l);
        continue;
      }
      if (Kind == TCellKind::Text || Kind == TCellKind::Beyond) {
        throw TInputError(Where(FSource, Row, Column.Name) + ": " + ShownCell(F.Cell(r, c)) +
                          (Kind == TCellKind::Beyond ? " is beyond the range of a double (about 1.8e308)"
                                                     : " is not a number") +
                          "; --na TEXT reads such a cell as missing");
      }
      Out.Columns[Slot++][r] = Kind == TCellKind::Missing ? kMissing : Value;
    }
    if (Complete) continue;
    ++Out.Dropped;
    if (Out.FirstDropped.size() < kShownDropped) Out.FirstDropped.push_back(static_cast<long long>(Row));
  }
}

}  // namespace varnel::cli
