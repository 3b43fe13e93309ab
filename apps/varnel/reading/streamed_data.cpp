// SPDX-License-Identifier: Apache-2.0
#include "reading/streamed_data.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <exception>
#include <thread>
#include <limits>
#include <set>
#include <unordered_map>

#include "formula/design.h"
#include "formula/model_data.h"
#include "output.h"
#include "processes/packing.h"

namespace varnel::cli {
namespace {

constexpr double kMissing = std::numeric_limits<double>::quiet_NaN();
constexpr std::size_t kShownDropped = 10;


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
  bool Key = false;     // the rows' groups: its levels' indices, no dummies
  bool Weight = false;  // the rows' weights
  bool NumericLevels = true;
  std::vector<double> LevelValues;
  std::unordered_map<std::string, int, TTextHash, std::equal_to<>> LevelIndex;
  std::size_t Levels = 0;
  // A level's index in the coding, where it is not its place in sorted
  // order: --ref's level first, or a saved model's order of given levels.
  std::vector<int> Coded;
  bool Known = false;  // levels given (a saved model's), not found in the data

  std::vector<std::string> SetLevels(const std::set<std::string>& Texts, bool Numbers, const TDataRules& Rules);
  void SetKnownLevels(const std::vector<std::string>& Names, const TDataRules& Rules);

  // The level of a cell, or -1 when the complete rows never hold it.
  int LevelOf(std::string_view Cell, double Value, bool IsNumber) const {
    const int Level = SortedLevelOf(Cell, Value, IsNumber);
    return Level < 0 || Coded.empty() ? Level : Coded[static_cast<std::size_t>(Level)];
  }
  int SortedLevelOf(std::string_view Cell, double Value, bool IsNumber) const {
    if (NumericLevels) {
      if (!IsNumber) return -1;
      const auto At = std::lower_bound(LevelValues.begin(), LevelValues.end(), Value);
      return At != LevelValues.end() && *At == Value ? static_cast<int>(At - LevelValues.begin()) : -1;
    }
    const auto Found = LevelIndex.find(TrimmedCell(Cell));
    return Found == LevelIndex.end() ? -1 : Found->second;
  }
  // --ref's level first, the others after it in their order.
  void Relevel(std::vector<std::string>& Names, const std::string& Level, const std::string& Source) {
    const auto Found = std::find(Names.begin(), Names.end(), Level);
    if (Found == Names.end()) {
      throw TInputError(Source + ": --ref " + Printable(Name + "=" + Level, kShownCellBytes) + ": the factor " +
                        Quoted(Name) + " has no level " + Quoted(Level) + " in the rows used");
    }
    const int At = static_cast<int>(Found - Names.begin());
    Coded.resize(Names.size());
    for (int l = 0; l < static_cast<int>(Names.size()); ++l) Coded[static_cast<std::size_t>(l)] = l == At ? 0 : l < At ? l + 1 : l;
    std::rotate(Names.begin(), Found, Found + 1);
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
                             std::size_t Threads, TProcesses& Processes)
    : FProcesses(&Processes), FReader(std::move(Reader)), FRules(Rules), FThreads(engine::WorkerCount(Threads, 1 << 20)),
      FBlockRows(BlockRowsFor(FReader->Header().Names.size())), FFirst(std::move(First)) {
  FSource = FReader->Shown();
  FResponse = !Rules.NoResponse;
  FHolding = !FReader->Bytes().Rewindable();
  Plan(Rules);
  if (FProcesses->Count() > 1) SplitAmongProcesses();
  GatherLevels();
}

// Each process takes its run of whole blocks (the first blocks, read by
// every process to plan the columns, are read again by the one whose they
// are).
void TStreamedData::SplitAmongProcesses() {
  if (!FReader->Seekable()) {
    throw TInputError(FSource + ": under mpirun the input must be regular, uncompressed files, which the processes "
                                "read in parts (standard input and .gz files are read by one process)");
  }
  FPart = PartOfFiles(*FReader, FBlockRows, *FProcesses);
  FReader->ReadParts(FPart.Pieces);
  FFirst.clear();
  FPass = 1;  // the reader is rewound for each pass from now on
}

void TStreamedData::AfterPass(std::exception_ptr Error) {
  Agree(*FProcesses, Error, FFailedBlock);
  if (FDroppedUnknown || FDroppedShared) return;
  FDroppedShared = true;
  TPacker Out;
  Out.Put(FDroppedCount).Put(FFirstDropped);
  FDroppedCount = 0;
  FFirstDropped.clear();
  for (const std::string& Bytes : FProcesses->AllGather(Out.Bytes())) {
    TUnpacker In(Bytes);
    FDroppedCount += In.Get<std::size_t>();
    for (long long Row : In.Get<std::vector<long long>>()) {
      if (FFirstDropped.size() < kShownDropped) FFirstDropped.push_back(Row);
    }
  }
}

TStreamedData::~TStreamedData() = default;

// The columns' kinds, from the first block as SelectColumns decides them.
void TStreamedData::Plan(const TDataRules& Rules) {
  TCsvTable Table = EmptyTable(*FReader);
  TFieldBlock Fields;
  FReader->Split(FFirst.front(), Fields);
  AddRows(Fields, Table);
  FKeyed = !Rules.Key.empty();
  FWeights = !Rules.Weights.empty();
  const std::size_t FirstCarried = Table.Names.size() - CarriedCount();
  TCsvTable Model = Table;  // the predictors and the response
  Model.Names.resize(FirstCarried);
  Model.Columns.resize(FirstCarried);
  const std::vector<bool> Factor =
      Rules.Formula.empty() ? FactorColumns(Model, FSource, Rules)
                            : FormulaFactorColumns(Model, FSource,
                                                   FResponse ? formula::ResponseColumns(Rules.Formula)
                                                             : std::vector<std::string>{},
                                                   Rules);
  for (std::size_t c = 0; c < Table.Names.size(); ++c) {
    TColumn Column;
    Column.Name = Table.Names[c];
    Column.Factor = c < Factor.size() && Factor[c];
    Column.Key = FKeyed && c == FirstCarried;
    Column.Weight = FWeights && c + 1 == Table.Names.size();
    FColumns.push_back(std::move(Column));
  }
  for (const TColumn& Column : FColumns)
    FPlainNumbers.push_back(!Column.Factor && !Column.Key && PlainNumbersRead(Rules));
  if (FResponse && Rules.Formula.empty()) FYName = Printable(Model.Names.back());
  for (const std::string& Name : FReader->Header().Names) {
    if (std::find(Table.Names.begin(), Table.Names.end(), Name) == Table.Names.end()) FUnused.push_back(Printable(Name));
  }
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

void TStreamedData::ForEachBlock(const std::function<void(std::size_t, const TRowText&)>& Visit) {
  if (FPass > 0 && !FHolding) {
    FReader->Rewind();
    FFirst.clear();
  }
  TBlockQueue Q;
  for (std::size_t b = 0; b < FThreads + 2; ++b) {  // one being cut, one waiting, one per worker
    Q.Owned.push_back(std::make_unique<TRowText>());
    Q.Free.push_back(Q.Owned.back().get());
  }
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
      try {
        if (Wanted) Visit(Next.first, *Next.second);
      } catch (...) {
        Q.Fail(Next.first, std::current_exception());
      }
      const std::lock_guard<std::mutex> Hold(Q.Lock);
      for (const auto& Own : Q.Owned) {
        if (Own.get() == Next.second) Q.Free.push_back(Own.get());  // not a held block
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
  FFailedBlock = Q.Error ? FPart.FirstBlock + Q.Failed : kNoBlock;
  if (Q.Error) std::rethrow_exception(Q.Error);
}

void TStreamedData::KeepBatches(std::size_t MaxBytes) {
  if (FKeptWhole || FKeeping) return;
  FKeepBudget = MaxBytes;
  FKeeping = true;
}

void TStreamedData::KeepBlock(std::size_t Index, const TBlockData& Data, std::size_t FirstRow) {
  const std::size_t Bytes = Data.Columns.size() * Data.Fields.Rows * sizeof(double);
  const std::lock_guard<std::mutex> Hold(FKeptLock);
  if (!FKeeping) return;
  if (FKeptBytes + Bytes > FKeepBudget) {  // too many: every pass reads the file
    FKeeping = false;
    std::vector<TKeptBlock>().swap(FKept);
    return;
  }
  FKeptBytes += Bytes;
  if (FKept.size() <= Index) FKept.resize(Index + 1);
  FKept[Index] = {Data.Columns, FirstRow};
}

// A pass over the kept blocks on the workers, the lowest failing block's
// error rethrown, as a pass over the file has it.
void TStreamedData::ReplayKept(const std::function<void(std::size_t, const engine::TBatch&)>& Visit,
                               bool WithCarried) {
  std::atomic<std::size_t> Next{0};
  std::mutex Lock;
  std::size_t Failed = kNoBlock;
  std::exception_ptr Error;
  const auto Work = [&] {
    for (std::size_t i = Next++; i < FKept.size(); i = Next++) {
      try {
        engine::TBatch Batch = engine::MakeBatch(FKept[i].Columns, FKept[i].FirstRow);
        if (!WithCarried) Batch.Columns.resize(Batch.Columns.size() - CarriedCount());
        Visit(i, Batch);
      } catch (...) {
        const std::lock_guard<std::mutex> Hold(Lock);
        if (i < Failed) {
          Failed = i;
          Error = std::current_exception();
        }
      }
    }
  };
  {
    std::vector<std::jthread> Pool;
    for (std::size_t w = 1; w < FThreads; ++w) Pool.emplace_back(Work);
    Work();
  }
  ++FPass;
  FFailedBlock = Error ? FPart.FirstBlock + Failed : kNoBlock;
  if (Error) std::rethrow_exception(Error);
}

void TStreamedData::ForEachBatch(const std::function<void(std::size_t, const engine::TBatch&)>& Visit,
                                 bool WithCarried) {
  if (FKeptWhole) return ReplayKept(Visit, WithCarried);
  const bool First = FDroppedUnknown, Keep = FKeeping;
  std::mutex Lock;
  std::vector<std::pair<std::size_t, std::vector<long long>>> Dropped;  // per block
  ForEachBlock([&](std::size_t Index, const TRowText& Block) {
    thread_local TBlockData Data;  // its storage kept from block to block
    Convert(Block, Data);
    if (Keep) KeepBlock(Index, Data, Block.FirstRow);
    engine::TBatch Batch = engine::MakeBatch(Data.Columns, Block.FirstRow);
    if (!WithCarried) Batch.Columns.resize(Batch.Columns.size() - CarriedCount());
    Visit(Index, Batch);
    if (!First) return;
    const std::lock_guard<std::mutex> Hold(Lock);
    if (Dropped.size() <= Index) Dropped.resize(Index + 1);
    Dropped[Index] = {Data.Dropped, Data.FirstDropped};
  });
  if (Keep && FKeeping) {
    FKeptWhole = true;
    FKeeping = false;
  }
  if (!First) return;
  FDroppedUnknown = false;
  for (const auto& [Count, Rows] : Dropped) {
    FDroppedCount += Count;
    for (long long Row : Rows) {
      if (FFirstDropped.size() < kShownDropped) FFirstDropped.push_back(Row);
    }
  }
}

// The distinct texts of each factor's cells in the complete rows, and
// whether every one of them is a number; in a pass of its own, merged as
// the blocks come (a union, whatever their order). More levels than the
// predictors allowed end the pass at once.
void TStreamedData::GatherLevelTexts(std::vector<std::set<std::string>>& Texts, std::vector<bool>& AllNumbers) {
  const std::size_t Picked = FColumns.size();
  Texts.assign(Picked, {});
  AllNumbers.assign(Picked, true);
  std::mutex Lock;
  ForEachBlock([&](std::size_t, const TRowText& Block) {
    std::vector<std::set<std::string>> Seen(Picked);
    std::vector<bool> Numbers(Picked, true);
    TFieldBlock Fields;
    FReader->Split(Block, Fields);
    std::vector<TCellKind> Kinds(Picked);
    for (std::size_t r = 0; r < Fields.Rows; ++r) {
      double Value = 0;
      bool Complete = true;
      for (std::size_t c = 0; c < Picked; ++c) {
        Kinds[c] = ReadCell(Fields.Cell(r, c), FRules, Value);
        Complete = Complete && Kinds[c] != TCellKind::Missing;
      }
      for (std::size_t c = 0; Complete && c < Picked; ++c) {
        if (!FColumns[c].Factor && !FColumns[c].Key) continue;
        if (FColumns[c].Known) {
          CheckKnownLevel(Block, Fields, r, c);
          continue;
        }
        Seen[c].emplace(TrimmedCell(Fields.Cell(r, c)));
        Numbers[c] = Numbers[c] && Kinds[c] == TCellKind::Number;
      }
    }
    const std::lock_guard<std::mutex> Hold(Lock);
    for (std::size_t c = 0; c < Picked; ++c) {
      Texts[c].merge(Seen[c]);
      AllNumbers[c] = AllNumbers[c] && Numbers[c];
      CheckLevelCount(Texts[c], c);
    }
  });
}

void TStreamedData::CheckKnownLevel(const TRowText& Block, const TFieldBlock& Fields, std::size_t r,
                                    std::size_t c) const {
  double Value = 0;
  const bool Number = ReadCell(Fields.Cell(r, c), FRules, Value) == TCellKind::Number;
  if (FColumns[c].LevelOf(Fields.Cell(r, c), Value, Number) >= 0) return;
  throw TInputError(Where(FReader->Shown(Block.File), Block.FileFirstRow + r + 1, FColumns[c].Name) + ": " +
                    ShownCell(Fields.Cell(r, c)) + " is not one of the factor's levels in the model");
}

void TStreamedData::CheckLevelCount(const std::set<std::string>& Texts, std::size_t Column) const {
  if (FColumns[Column].Key || Texts.size() <= kMaxStreamedPredictors + 1) return;
  throw TInputError(FSource + ": column " + Quoted(FColumns[Column].Name) + " as a factor has more than " +
                    std::to_string(kMaxStreamedPredictors + 1) + " levels, which make more than " +
                    std::to_string(kMaxStreamedPredictors) + " predictors");
}

// Under several processes: the union of every process's level texts.
void TStreamedData::ShareLevelTexts(std::vector<std::set<std::string>>& Texts, std::vector<bool>& AllNumbers) {
  TPacker Out;
  for (std::size_t c = 0; c < Texts.size(); ++c) {
    Out.Put(static_cast<unsigned char>(AllNumbers[c])).Put(std::vector<std::string>(Texts[c].begin(), Texts[c].end()));
  }
  const std::vector<std::string> All = FProcesses->AllGather(Out.Bytes());
  for (const std::string& Bytes : All) {
    TUnpacker In(Bytes);
    for (std::size_t c = 0; c < Texts.size(); ++c) {
      const bool Numbers = In.Get<unsigned char>() != 0;  // read whatever AllNumbers[c] is
      AllNumbers[c] = AllNumbers[c] && Numbers;
      for (std::string& Text : In.Get<std::vector<std::string>>()) Texts[c].insert(std::move(Text));
      CheckLevelCount(Texts[c], c);
    }
  }
}

// A factor's levels in order: values for a factor of numbers (shown as R
// shows them), texts in byte order otherwise; their names.
std::vector<std::string> TStreamedData::TColumn::SetLevels(const std::set<std::string>& Texts, bool Numbers,
                                                           const TDataRules& Rules) {
  NumericLevels = Numbers;
  std::vector<std::string> Names;
  if (!NumericLevels) {
    int Index = 0;
    for (const std::string& Text : Texts) LevelIndex.emplace(Text, Index++);
    Names.assign(Texts.begin(), Texts.end());
  } else {
    for (const std::string& Text : Texts) {
      double Value = 0;
      ReadCell(Text, Rules, Value);
      LevelValues.push_back(Value);
    }
    std::sort(LevelValues.begin(), LevelValues.end());
    LevelValues.erase(std::unique(LevelValues.begin(), LevelValues.end()), LevelValues.end());
    for (double Value : LevelValues) Names.push_back(ShortestNumber(Value));
  }
  Levels = Names.size();
  return Names;
}

// Levels named in their order, the reference first: numbers when every name
// reads as one (as the factor of numbers that they were found in), kept
// sorted with each one's place in the order given; texts otherwise.
void TStreamedData::TColumn::SetKnownLevels(const std::vector<std::string>& Names, const TDataRules& Rules) {
  Known = true;
  NumericLevels = true;
  std::vector<std::pair<double, int>> Values;
  for (std::size_t l = 0; l < Names.size() && NumericLevels; ++l) {
    double Value = 0;
    NumericLevels = ReadCell(Names[l], Rules, Value) == TCellKind::Number;
    Values.emplace_back(Value, static_cast<int>(l));
  }
  if (NumericLevels) {
    std::sort(Values.begin(), Values.end());
    for (const auto& [Value, Index] : Values) {
      LevelValues.push_back(Value);
      Coded.push_back(Index);
    }
  } else {
    for (std::size_t l = 0; l < Names.size(); ++l) LevelIndex.emplace(Names[l], static_cast<int>(l));
  }
  Levels = Names.size();
}

// The predictors' names in column order, a factor's dummies as R names
// them (NAMElevel), each column a term.
void TStreamedData::GatherLevels() {
  const bool Formula = !FRules.Formula.empty();  // every picked column before the carried is the design's source
  const std::size_t Predictors = FColumns.size() - (FResponse && !Formula ? 1 : 0) - CarriedCount();
  std::vector<std::set<std::string>> Texts;
  std::vector<bool> AllNumbers;
  // Given levels are checked in the same pass: a level the data hold and
  // they do not is refused before any result.
  for (TColumn& Column : FColumns) {
    const auto Given = FRules.Levels.find(Column.Name);
    if (Column.Factor && Given != FRules.Levels.end()) Column.SetKnownLevels(Given->second, FRules);
  }
  if (std::any_of(FColumns.begin(), FColumns.end(), [](const TColumn& C) { return C.Factor || C.Key; })) {
    std::exception_ptr Error;
    try {
      GatherLevelTexts(Texts, AllNumbers);
    } catch (...) {
      Error = std::current_exception();
    }
    Agree(*FProcesses, Error, FFailedBlock);
    if (FProcesses->Count() > 1) ShareLevelTexts(Texts, AllNumbers);
  }
  for (std::size_t c = 0; c < Predictors; ++c) {
    TColumn& Column = FColumns[c];
    const int Term = static_cast<int>(FTermNames.size());
    if (!Formula) FTermNames.push_back(Printable(Column.Name));
    FCodings.push_back({Column.Name, Column.Factor, {}});
    if (!Column.Factor && Formula) continue;
    if (!Column.Factor) {
      FXNames.push_back(Printable(Column.Name));
      FTermOf.push_back(Term);
      continue;
    }
    std::vector<std::string> Names =
        Column.Known ? FRules.Levels.at(Column.Name) : Column.SetLevels(Texts[c], AllNumbers[c], FRules);
    for (const auto& [Factor, Level] : FRules.References) {
      if (Factor == Column.Name) Column.Relevel(Names, Level, FSource);
    }
    FCodings.back().Levels = Names;
    if (Names.size() < 2) {
      throw TInputError(FSource + ": column " + Quoted(Column.Name) + " as a factor has " +
                        (Names.empty() ? std::string("no level") : "the one level " + Quoted(Names.front())) +
                        " in the rows used, and a factor needs two");
    }
    for (std::size_t l = 1; l < Names.size() && !Formula; ++l) {
      FXNames.push_back(Printable(Column.Name + Names[l]));
      FTermOf.push_back(Term);
    }
  }
  if (Formula) SetDesign(std::move(FCodings));
  for (int t = static_cast<int>(FTermVariables.size()); !Formula && t < static_cast<int>(FTermNames.size()); ++t)
    FTermVariables.push_back({t});
  for (const auto& Reference : FRules.References) {
    const auto Found = std::find_if(FColumns.begin(), FColumns.begin() + static_cast<std::ptrdiff_t>(Predictors),
                                    [&](const TColumn& C) { return C.Name == Reference.first; });
    if (Found == FColumns.begin() + static_cast<std::ptrdiff_t>(Predictors) || !Found->Factor) {
      throw TInputError(FSource + ": --ref " + Quoted(Reference.first) +
                        (Found == FColumns.begin() + static_cast<std::ptrdiff_t>(Predictors) ? " is not a column the model uses" : " is not a factor"));
    }
  }
  // A key's levels are its texts: "1" and "1.0" are two groups.
  const std::size_t KeyColumn = FColumns.size() - CarriedCount();
  if (FKeyed) FColumns[KeyColumn].SetLevels(Texts[KeyColumn], false, FRules);
  if (FXNames.size() > kMaxStreamedPredictors) {
    throw TInputError(FSource + ": " + std::to_string(FXNames.size()) + " predictors with the dummies, at most " +
                      std::to_string(kMaxStreamedPredictors) + " are possible");
  }
}

// The formula's design over the columns it reads (Sources, as coded),
// whose names, terms and response are the data's. '.' stands for every
// column but those the rows' key and weights are in, as the predictors
// taken by default do. Without the response, the names only it reads are
// sources of no value.
void TStreamedData::SetDesign(std::vector<TCoding> Sources) {
  FCodings.clear();
  std::vector<std::string> Dot;
  for (const std::string& Name : FReader->Header().Names) {
    if (Name != FRules.Key && Name != FRules.Weights) Dot.push_back(Name);
  }
  formula::TModelTerms Model = formula::ExpandTerms(FRules.Formula, Dot);
  FExpandedFormula = formula::ExpandedFormula(Model);
  const std::vector<std::string> Read = formula::TermColumns(Model);
  std::vector<formula::TSourceColumn> Columns;
  for (const TCoding& Source : Sources) {
    Columns.push_back({Source.Column, Source.Levels});
    if (std::find(Read.begin(), Read.end(), Source.Column) != Read.end()) FCodings.push_back(Source);
  }
  std::vector<std::string> ResponseOnly;
  formula::NamesRead(Model.Variables[0].Expression, ResponseOnly);
  for (const std::string& Name : ResponseOnly) {
    if (!FResponse && std::find(Read.begin(), Read.end(), Name) == Read.end()) Columns.push_back({Name, {}});
  }
  FDesignSources = Columns.size();
  FDesign = std::make_unique<formula::TDesign>(std::move(Model), std::move(Columns));
  FOffset = FDesign->HasOffset();
  if (FOffset && !FRules.Offsets) throw TInputError(formula::OffsetRefusal());
  for (const std::string& Name : FDesign->ColumnNames()) FXNames.push_back(Printable(Name));
  for (const std::string& Label : FDesign->TermLabels()) FTermNames.push_back(Printable(Label));
  FTermOf = FDesign->TermOf();
  FTermVariables = FDesign->TermVariables();
  FYName = Printable(FDesign->ResponseLabel());
}

// A cell's value in the batch: a number, or a factor's or key's level
// (its index in the coding), NaN when missing. A cell that is not a number
// in a column of numbers is an error here too, though the first block
// decided the column's kind; so are a level a saved model does not know
// and a negative weight.
double TStreamedData::CellValue(const TFieldBlock& F, std::size_t r, std::size_t c, const std::string& File,
                                std::size_t FileRow, bool& Complete) const {
  const TColumn& Column = FColumns[c];
  double Value = 0;
  const TCellKind Kind = F.Number(r, c, Value) ? TCellKind::Number : ReadCell(F.Cell(r, c), FRules, Value);
  if (Kind == TCellKind::Missing) {
    if (FRules.FailOnMissing) throw TInputError(Where(File, FileRow, Column.Name) + ": missing value");
    Complete = false;
    return kMissing;
  }
  if (Column.Key || Column.Factor) {
    const int Level = Column.LevelOf(F.Cell(r, c), Value, !Column.Key && Kind == TCellKind::Number);
    if (Level < 0 && Column.Known) {
      throw TInputError(Where(File, FileRow, Column.Name) + ": " + ShownCell(F.Cell(r, c)) +
                        " is not one of the factor's levels in the model");
    }
    return Level < 0 ? kMissing : Level;
  }
  if (Kind == TCellKind::Text || Kind == TCellKind::Beyond) {
    throw TInputError(Where(File, FileRow, Column.Name) + ": " + ShownCell(F.Cell(r, c)) +
                      (Kind == TCellKind::Beyond ? " is beyond the range of a double (about 1.8e308)"
                                                 : " is not a number") +
                      "; --na TEXT reads such a cell as missing");
  }
  if (Column.Weight && !(Value >= 0))
    throw TInputError(Where(File, FileRow, Column.Name) + ": the weight " + ShownCell(F.Cell(r, c)) +
                      " is negative; a weight is 0 or more");
  return Value;
}

// The batch of one block: the predictors (a factor as its dummies, or a
// formula's design), the response, the key's level and the weight, NaN
// where a cell is missing; a row missing any of them has its response NaN
// too, so that every pass leaves it out.
void TStreamedData::Convert(const TRowText& Text, TBlockData& Out) const {
  FReader->Split(Text, Out.Fields, FPlainNumbers);
  const TFieldBlock& F = Out.Fields;
  const std::size_t Picked = FColumns.size(), K = FXNames.size(), Model = K + (FResponse ? 1 : 0) + (FOffset ? 1 : 0);
  const std::size_t Width = Model + CarriedCount();
  Out.Columns.resize(Width);
  for (auto& Column : Out.Columns) Column.resize(F.Rows);
  Out.Dropped = 0;
  Out.FirstDropped.clear();
  const std::string& File = FReader->Shown(Text.File);
  std::vector<double> Raw(FDesign ? FDesignSources : 0, kMissing), Row(FDesign ? K : 0);
  for (std::size_t r = 0; r < F.Rows; ++r) {
    const std::size_t FileRow = Text.FileFirstRow + r + 1;
    std::size_t Slot = 0;
    bool Complete = true;
    for (std::size_t c = 0; c < Picked; ++c) {
      const double Value = CellValue(F, r, c, File, FileRow, Complete);
      if (FDesign && c + CarriedCount() < Picked) {
        Raw[c] = Value;
        Slot = Model;
      } else if (FColumns[c].Factor) {
        for (std::size_t l = 1; l < FColumns[c].Levels; ++l) Out.Columns[Slot++][r] = std::isnan(Value) ? kMissing : Value == double(l);
      } else {
        Out.Columns[Slot++][r] = Value;
      }
    }
    if (FDesign) PutDesignRow(Raw, Row, Complete, File, FileRow, Out, r);
    if (Complete) continue;
    if (FResponse) Out.Columns[K][r] = kMissing;
    ++Out.Dropped;
    if (Out.FirstDropped.size() < kShownDropped) Out.FirstDropped.push_back(static_cast<long long>(F.FirstRow + r + 1));
  }
}

// A complete row's design and response from its raw values; an incomplete
// row's all NaN.
void TStreamedData::PutDesignRow(std::span<const double> Raw, std::span<double> Row, bool Complete,
                                 const std::string& File, std::size_t FileRow, TBlockData& Out, std::size_t r) const {
  const std::size_t K = Row.size();
  double Response = kMissing, Offset = kMissing;
  if (Complete) {
    try {
      Response = FDesign->Evaluate(Raw, Row, FResponse, &Offset);
    } catch (const formula::TEvaluationError& Error) {
      throw TInputError(formula::EvaluationRefusal(File, static_cast<long long>(FileRow), Error));
    }
  }
  for (std::size_t j = 0; j < K; ++j) Out.Columns[j][r] = Complete ? Row[j] : kMissing;
  if (FResponse) Out.Columns[K][r] = Response;
  if (FOffset) Out.Columns[K + (FResponse ? 1 : 0)][r] = Offset;
}

}  // namespace varnel::cli
