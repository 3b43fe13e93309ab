// SPDX-License-Identifier: Apache-2.0
// Stepwise search by AIC as R's step() takes it for a linear model whose
// scope is the full model: each step tries every single removal (the
// model's terms in the order they entered it) and then every single
// addition (in the terms' order) that the direction allows, takes the first
// of lowest AIC, and stops when none is lower than the model's own. A term
// is a group of columns, a factor's dummies, that moves as one.
#include "varnel/selection/stepwise_aic.h"

#include <cstdint>
#include <vector>

#include "varnel/core/checked.h"
#include "varnel/core/guard.h"
#include "varnel/core/rows.h"
#include "varnel/korlen.h"
#include "varnel/selection/subset_fits.h"

namespace varnel {
namespace {

// step()'s own limit on the number of steps.
constexpr int kMaxSteps = 1000;

class TStepper {
 public:
  TStepper(const TSubsetSums& S, TStepDirection Direction, std::span<const std::vector<int>> Terms)
      : FS(S), FDirection(Direction) {
    for (const std::vector<int>& Term : Terms) {
      std::uint32_t Columns = 0;
      for (int j : Term) Columns |= 1u << j;
      FColumns.push_back(Columns);
    }
    if (Direction != TStepDirection::sdForward) {
      for (int t = 0; t < static_cast<int>(FColumns.size()); ++t) FOrder.push_back(t);
    }
  }

  void Run(std::vector<TAICStep>& Steps) {
    TAICStep Current = Fitted(Mask(), TStepAction::saStart, 0, 0);
    Steps.push_back(Current);
    for (int Step = 1; Step <= kMaxSteps; ++Step) {
      TAICStep Next = Current;
      if (!FindBetter(Current.AIC, Next)) return;
      Next.Step = Step;
      Apply(Next);
      Steps.push_back(Next);
      Current = Next;
    }
  }

 private:
  std::uint32_t Mask() const {
    std::uint32_t Terms = 0;
    for (int t : FOrder) Terms |= 1u << t;
    return Terms;
  }

  std::uint32_t ColumnsOf(std::uint32_t Terms) const {
    std::uint32_t Columns = 0;
    for (std::size_t t = 0; t < FColumns.size(); ++t) {
      if (Terms & (1u << t)) Columns |= FColumns[t];
    }
    return Columns;
  }

  // The model Terms as the step that reached it records it; Term 0-based.
  TAICStep Fitted(std::uint32_t Terms, TStepAction Action, int Term, int Step) {
    const std::uint32_t Columns = ColumnsOf(Terms);
    const int p = __builtin_popcount(Columns), n = FS.N;
    TAICStep R{};
    R.Step = Step;
    R.Action = Action;
    R.Term = Action == TStepAction::saStart ? 0 : Term + 1;
    R.Terms = Terms;
    R.DFResidual = n - p - 1;
    R.RSS = SubsetRSS(FS, Columns, FWork.Get());
    R.AIC = Finite(LogScaledRSS(R.RSS, n) + 2 * (p + 1));
    return R;
  }

  // The first candidate whose AIC is below Best, lowering Best as it goes.
  bool FindBetter(Extended Best, TAICStep& Out) {
    const std::uint32_t Terms = Mask();
    bool Found = false;
    const auto Try = [&](std::uint32_t Candidate, TStepAction Action, int Term) {
      const TAICStep Step = Fitted(Candidate, Action, Term, 0);
      if (Step.AIC < Best) {
        Best = Step.AIC;
        Out = Step;
        Found = true;
      }
    };
    if (FDirection != TStepDirection::sdForward) {
      for (int j : FOrder) Try(Terms & ~(1u << j), TStepAction::saDrop, j);
    }
    if (FDirection != TStepDirection::sdBackward) {
      for (int t = 0; t < static_cast<int>(FColumns.size()); ++t) {
        if (!(Terms & (1u << t))) Try(Terms | (1u << t), TStepAction::saAdd, t);
      }
    }
    return Found;
  }

  // An added term goes last, as update() appends it to the formula.
  void Apply(const TAICStep& Step) {
    const int j = Step.Term - 1;
    if (Step.Action == TStepAction::saAdd) {
      FOrder.push_back(j);
      return;
    }
    for (auto It = FOrder.begin(); It != FOrder.end(); ++It) {
      if (*It == j) {
        FOrder.erase(It);
        return;
      }
    }
  }

  const TSubsetSums& FS;
  TStepDirection FDirection;
  std::vector<std::uint32_t> FColumns;  // each term's columns, bit j for predictor j + 1
  std::vector<int> FOrder;  // the model's terms (0-based) in the order they entered it
  THeapMatrix FWork;
};

// Each column of 0..k−1 in at most one term, and no term empty.
bool TermsValid(std::span<const std::vector<int>> Terms, int k) {
  std::uint32_t Seen = 0;
  for (const std::vector<int>& Term : Terms) {
    if (Term.empty()) return false;
    for (int j : Term) {
      if (j < 0 || j >= k || (Seen & (1u << j))) return false;
      Seen |= 1u << j;
    }
  }
  return !Terms.empty();
}

bool Searchable(const TRegressData* X, std::span<const double> Y, Byte k, int n, TStepDirection Direction) {
  const bool Known = Direction == TStepDirection::sdForward || Direction == TStepDirection::sdBackward ||
                     Direction == TStepDirection::sdBoth;
  return X != nullptr && FitCountsValid(k, n) && Holds(Y, n) && Known;
}

TStepwiseAIC Searched(const TRegressData& X, std::span<const double> Y, Byte k, int n, TStepDirection Direction,
                      std::span<const std::vector<int>> Terms) {
  const TSubsetSums S = SubsetSums(X, Y, k, n);
  TStepwiseAIC R{};
  R.N = n;
  R.K = k;
  R.Direction = Direction;
  TStepper(S, Direction, Terms).Run(R.Steps);
  return R;
}

}  // namespace

TStepwiseAIC StepwiseAICOfTerms(const TRegressData* X, std::span<const double> Y, Byte k, int n,
                                TStepDirection Direction, std::span<const std::vector<int>> Terms) {
  if (!Searchable(X, Y, k, n, Direction) || !TermsValid(Terms, k)) return TStepwiseAIC{};
  return Searched(*X, Y, k, n, Direction, Terms);
}

TStepwiseAIC TKorlen::MVStepwiseAIC(const TRegressData* X, std::span<const double> Y, Byte k, int n,
                                    TStepDirection Direction) {
  TStepwiseAIC Result{};
  if (!Searchable(X, Y, k, n, Direction)) return Result;
  Guard("Error occurred in  MVStepwiseAIC", [&] {
    if (ScanData() && !MVCheckXData(X, k, n)) return;
    std::vector<std::vector<int>> Columns;
    for (int j = 0; j < k; ++j) Columns.push_back({j});
    Result = Searched(*X, Y, k, n, Direction, Columns);
  });
  return Result;
}

}  // namespace varnel
