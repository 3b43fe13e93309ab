// SPDX-License-Identifier: Apache-2.0
#include "streamed_select.h"

#include <iostream>

#include "analysis_tables.h"
#include "progress_line.h"

namespace varnel::cli {
namespace {

using engine::TMoments;

engine::TSubsetCriterion EngineCriterion(TSubsetCriterion Criterion) {
  switch (Criterion) {
    case TSubsetCriterion::scAdjR2: return engine::TSubsetCriterion::AdjR2;
    case TSubsetCriterion::scCp: return engine::TSubsetCriterion::Cp;
    case TSubsetCriterion::scAIC: return engine::TSubsetCriterion::AIC;
    case TSubsetCriterion::scBIC: return engine::TSubsetCriterion::BIC;
  }
  return engine::TSubsetCriterion::BIC;
}

std::string PredictorsText(const TStreamedData& Data, const std::vector<std::size_t>& Predictors) {
  std::vector<std::string> Names;
  for (std::size_t j : Predictors) Names.push_back(Data.XNames()[j]);
  return FormulaText(Names);
}

TInputError TooManyForSubsets(const TStreamedData& Data) {
  return TInputError("select --method exhaustive takes at most " + std::to_string(engine::kMaxSubsetPredictors) +
                     " predictors and " + Data.Source() + " has " + std::to_string(Data.K()) +
                     " (factor dummies included): use --method forward, backward or both");
}

int BestSubsets(const TStreamedData& Data, const TMoments& State, const TOptions& Options, TCommandResults& Out) {
  engine::TBestSubsets B;
  try {
    TProgressLine Line(std::cerr, "varnel select: subsets searched");
    B = engine::BestSubsets(State, static_cast<std::size_t>(Options.Select.NBest), [&Line](double Done) { Line.Show(Done); });
  } catch (const engine::ESearchTooLarge& Refused) {
    throw TInputError(std::string("select: ") + Refused.what() + "; --method forward, backward or both has no such limit");
  }
  TResultTable Table = EmptyBestTable(Options.Select.NBest);
  for (const engine::TSubset& M : B.Models) {
    Table.Rows.push_back({Count(static_cast<long long>(M.Size)), Count(static_cast<long long>(M.Rank)),
                          PredictorsText(Data, M.Predictors), Number(M.Rss), Number(M.R2), Number(M.AdjR2),
                          Number(M.Cp), Number(M.AIC), Number(M.BIC)});
  }
  const engine::TSubset& Best = B.Models[B.BestBy(EngineCriterion(Options.Select.Criterion))];
  Table.Notes.push_back(
      BestNote(Options.Select.Criterion, static_cast<int>(Best.Size), PredictorsText(Data, Best.Predictors)));
  Out.Results.Tables = {std::move(Table)};
  return 0;
}

// The model's terms in the order of their first estimable predictor: a
// factor's dummies make one term, named as its column.
struct TStreamedTerms {
  std::vector<std::string> Names;
  std::vector<std::vector<std::size_t>> Columns;
  std::vector<std::vector<int>> Variables;  // each term's, for marginality
};

TStreamedTerms TermsOf(const TStreamedData& Data, const std::vector<std::size_t>& Kept) {
  TStreamedTerms T;
  std::vector<int> Index(Data.TermNames().size(), -1);
  for (std::size_t j : Kept) {
    int& t = Index[static_cast<std::size_t>(Data.TermOf()[j])];
    if (t < 0) {
      t = static_cast<int>(T.Names.size());
      T.Names.push_back(Data.TermNames()[static_cast<std::size_t>(Data.TermOf()[j])]);
      T.Variables.push_back(Data.TermVariables()[static_cast<std::size_t>(Data.TermOf()[j])]);
      T.Columns.emplace_back();
    }
    T.Columns[static_cast<std::size_t>(t)].push_back(j);
  }
  return T;
}

int Stepwise(const TStreamedData& Data, const TMoments& State, const std::vector<std::size_t>& Kept,
             const TOptions& Options, TCommandResults& Out) {
  const engine::TStepDirection Direction = Options.Select.Method == TSelectMethod::Forward ? engine::TStepDirection::Forward
                                           : Options.Select.Method == TSelectMethod::Backward
                                               ? engine::TStepDirection::Backward
                                               : engine::TStepDirection::Both;
  const TStreamedTerms Terms = TermsOf(Data, Kept);
  Out.Results.Tables = {StepsTable(
      engine::StepwiseAIC(State, Terms.Columns, Direction, engine::kAliasTolerance, Terms.Variables), Terms.Names,
      Direction)};
  return 0;
}

}  // namespace

TResultTable StepsTable(const std::vector<engine::TStep>& Steps, const std::vector<std::string>& TermNames,
                        engine::TStepDirection Direction, bool Glm) {
  TResultTable Table = EmptyStepsTable(Direction == engine::TStepDirection::Forward    ? TStepDirection::sdForward
                                       : Direction == engine::TStepDirection::Backward ? TStepDirection::sdBackward
                                                                                       : TStepDirection::sdBoth,
                                       Glm);
  for (const engine::TStep& Step : Steps) {
    const TStepAction Action = Step.Action == engine::TStepAction::Start ? TStepAction::saStart
                               : Step.Action == engine::TStepAction::Add ? TStepAction::saAdd
                                                                         : TStepAction::saDrop;
    const TCell Term = Action == TStepAction::saStart ? TCell{} : TCell{TermNames[Step.Term]};
    std::vector<std::string> Names;
    for (std::size_t t : Step.Terms) Names.push_back(TermNames[t]);
    Table.Rows.push_back({Count(static_cast<long long>(Step.Step)), std::string(StepActionName(Action)), Term,
                          FormulaText(Names), Count(static_cast<long long>(Step.DfResidual)), Number(Step.Rss),
                          Number(Step.AIC)});
  }
  return Table;
}

int RunStreamedSelect(TStreamedData& Data, const TOptions& Options, TCommandResults& Out) {
  if (!Options.Intercept)
    throw TInputError("select keeps the constant in every model: --no-intercept does not apply to it");
  // Refused before the pass over the file rather than after it.
  if (Options.Select.Method == TSelectMethod::Exhaustive && Data.K() > engine::kMaxSubsetPredictors)
    throw TooManyForSubsets(Data);
  const std::size_t P = Data.K() + 1;
  const TMoments State = Data.Reduce<TMoments>([P](const engine::TBatch& Batch) {
    TMoments Part(P);
    Part.Add(Batch);
    return Part;
  });
  // As within the box: an aliased predictor is named and left out of the search.
  const engine::TFit Full = engine::Solve(State);
  Out.Results.Meta.N = static_cast<long long>(State.Count());
  for (std::size_t j : Full.Aliased)
    std::cerr << "varnel: " << Data.XNames()[j] << " not defined because of singularities\n";
  if (Full.Kept.empty()) {
    std::cerr << "varnel: no predictor is left once the aliased ones are out; name others with --x\n";
    return 1;
  }
  if (Options.Select.Method == TSelectMethod::Exhaustive) return BestSubsets(Data, State, Options, Out);
  return Stepwise(Data, State, Full.Kept, Options, Out);
}

}  // namespace varnel::cli
