// Stepwise search by AIC as R's step() takes it for a linear model whose
// scope is the full model: each step tries every single removal (the
// model's terms in the order they entered it) and then every single
// addition (in column order) that the direction allows, takes the first of
// lowest AIC, and stops when none is lower than the model's own.
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
  TStepper(const TSubsetSums& S, TStepDirection Direction) : FS(S), FDirection(Direction) {
    if (Direction != TStepDirection::sdForward) {
      for (int j = 0; j < S.K; ++j) FOrder.push_back(j);
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
    for (int j : FOrder) Terms |= 1u << j;
    return Terms;
  }

  // The model Terms as the step that reached it records it; Term 0-based.
  TAICStep Fitted(std::uint32_t Terms, TStepAction Action, int Term, int Step) {
    const int p = __builtin_popcount(Terms), n = FS.N;
    TAICStep R{};
    R.Step = Step;
    R.Action = Action;
    R.Term = Action == TStepAction::saStart ? 0 : Term + 1;
    R.Terms = Terms;
    R.DFResidual = n - p - 1;
    R.RSS = SubsetRSS(FS, Terms, FWork.Get());
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
      for (int j = 0; j < FS.K; ++j) {
        if (!(Terms & (1u << j))) Try(Terms | (1u << j), TStepAction::saAdd, j);
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
  std::vector<int> FOrder;  // the model's predictors (0-based) in the order they entered it
  THeapMatrix FWork;
};

}  // namespace

TStepwiseAIC TKorlen::MVStepwiseAIC(const TRegressData* X, std::span<const double> Y, Byte k, int n,
                                    TStepDirection Direction) {
  TStepwiseAIC Result{};
  const bool Known = Direction == TStepDirection::sdForward || Direction == TStepDirection::sdBackward ||
                     Direction == TStepDirection::sdBoth;
  if (X == nullptr || !FitCountsValid(k, n) || !Holds(Y, n) || !Known) return Result;
  Guard("Error occurred in  MVStepwiseAIC", [&] {
    if (ScanData() && !MVCheckXData(X, k, n)) return;
    const TSubsetSums S = SubsetSums(*X, Y, k, n);
    TStepwiseAIC R{};
    R.N = n;
    R.K = k;
    R.Direction = Direction;
    TStepper(S, Direction).Run(R.Steps);
    Result = std::move(R);
  });
  return Result;
}

}  // namespace varnel
