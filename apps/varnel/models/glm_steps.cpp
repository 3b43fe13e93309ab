// SPDX-License-Identifier: Apache-2.0
#include "models/glm_steps.h"

#include <algorithm>
#include <numeric>

namespace varnel::cli {
namespace {

using engine::TStep;
using engine::TStepAction;
using engine::TStepDirection;

constexpr std::size_t kMostSteps = 1000;

// Whether the term of variables Outer contains the one of Inner (and is
// not it).
bool Contains(const std::vector<int>& Outer, const std::vector<int>& Inner) {
  return Outer.size() > Inner.size() && std::includes(Outer.begin(), Outer.end(), Inner.begin(), Inner.end());
}

bool Holds(const std::vector<std::size_t>& Terms, std::size_t t) {
  return std::find(Terms.begin(), Terms.end(), t) != Terms.end();
}

class TSearch {
 public:
  TSearch(const TGlmSubsetFit& Fit, const std::vector<std::vector<std::size_t>>& Columns,
          const std::vector<std::vector<int>>& Variables)
      : FFit(Fit), FColumns(Columns), FVariables(Variables) {}

  TStep Evaluate(std::vector<std::size_t> Terms, TStepAction Action, std::size_t Term) const {
    std::sort(Terms.begin(), Terms.end());
    const engine::TGlmFit Fit = FFit(ColumnsOfTerms(Terms, FColumns));
    TStep Step;
    Step.Action = Action;
    Step.Term = Term;
    Step.Terms = std::move(Terms);
    Step.DfResidual = Fit.DfResidual;
    Step.Rss = Fit.Deviance;
    Step.AIC = Fit.Aic;
    return Step;
  }

  // No other term of the model contains t.
  bool Droppable(const std::vector<std::size_t>& Model, std::size_t t) const {
    return std::none_of(Model.begin(), Model.end(), [&](std::size_t u) { return Contains(FVariables[u], FVariables[t]); });
  }

  // Every term that t contains is in the model.
  bool Addable(const std::vector<std::size_t>& Model, std::size_t t) const {
    for (std::size_t u = 0; u < FVariables.size(); ++u) {
      if (Contains(FVariables[t], FVariables[u]) && !Holds(Model, u)) return false;
    }
    return true;
  }

  // The model one term from Current of lowest AIC, the drops tried before
  // the additions, each in the terms' order; Current itself when none is
  // lower.
  TStep Next(const TStep& Current, TStepDirection Direction) const {
    TStep Best = Current;
    const auto Try = [&](std::vector<std::size_t> Terms, TStepAction Action, std::size_t t) {
      TStep Candidate = Evaluate(std::move(Terms), Action, t);
      if (Candidate.AIC < Best.AIC) Best = std::move(Candidate);
    };
    const std::vector<std::size_t>& Model = Current.Terms;
    if (Direction != TStepDirection::Forward) {
      for (std::size_t t : Model) {
        if (!Droppable(Model, t)) continue;
        std::vector<std::size_t> Fewer;
        std::copy_if(Model.begin(), Model.end(), std::back_inserter(Fewer), [t](std::size_t u) { return u != t; });
        Try(std::move(Fewer), TStepAction::Drop, t);
      }
    }
    if (Direction != TStepDirection::Backward) {
      for (std::size_t t = 0; t < FColumns.size(); ++t) {
        if (Holds(Model, t) || !Addable(Model, t)) continue;
        std::vector<std::size_t> More = Model;
        More.push_back(t);
        Try(std::move(More), TStepAction::Add, t);
      }
    }
    return Best;
  }

 private:
  const TGlmSubsetFit& FFit;
  const std::vector<std::vector<std::size_t>>& FColumns;
  const std::vector<std::vector<int>>& FVariables;
};

}  // namespace

std::vector<std::size_t> ColumnsOfTerms(const std::vector<std::size_t>& Terms,
                                        const std::vector<std::vector<std::size_t>>& TermColumns) {
  std::vector<std::size_t> Columns;
  for (std::size_t t : Terms) Columns.insert(Columns.end(), TermColumns[t].begin(), TermColumns[t].end());
  std::sort(Columns.begin(), Columns.end());
  return Columns;
}

std::vector<TStep> GlmStepwise(const TGlmSubsetFit& Fit, const std::vector<std::vector<std::size_t>>& TermColumns,
                               const std::vector<std::vector<int>>& TermVariables, TStepDirection Direction) {
  const TSearch Search(Fit, TermColumns, TermVariables);
  std::vector<std::size_t> Full(TermColumns.size());
  std::iota(Full.begin(), Full.end(), 0);
  std::vector<TStep> Steps{
      Search.Evaluate(Direction == TStepDirection::Forward ? std::vector<std::size_t>{} : Full, TStepAction::Start, 0)};
  for (std::size_t s = 1; s <= kMostSteps; ++s) {
    TStep Next = Search.Next(Steps.back(), Direction);
    if (Next.Terms == Steps.back().Terms) break;  // no model one term away is better
    Next.Step = s;
    Steps.push_back(std::move(Next));
  }
  return Steps;
}

}  // namespace varnel::cli
