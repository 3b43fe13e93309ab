// SPDX-License-Identifier: Apache-2.0
#include "varnel/engine/subsets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <random>

#include "varnel/engine/reduce.h"
#include "varnel/testing/data_sets.h"

namespace varnel::engine {
namespace {

// mtcars with cyl and gear as treatment dummies against 4 and 3: cyl6 cyl8
// disp hp drat wt qsec vs am gear4 gear5 carb, then mpg; Terms groups the
// dummies of each factor.
std::vector<std::vector<double>> MtcarsColumns(std::vector<std::vector<std::size_t>>* Terms = nullptr) {
  const testing::TDataSet M = testing::MtcarsData();
  const auto Dummy = [&M](int Column, double Level) {
    std::vector<double> D;
    for (double v : M.Columns[static_cast<std::size_t>(Column)]) D.push_back(v == Level);
    return D;
  };
  std::vector<std::vector<double>> Columns = {Dummy(0, 6), Dummy(0, 8)};
  for (int j = 1; j <= 7; ++j) Columns.push_back(M.Columns[static_cast<std::size_t>(j)]);
  Columns.push_back(Dummy(8, 4));
  Columns.push_back(Dummy(8, 5));
  Columns.push_back(M.Columns[9]);
  Columns.push_back(M.Y);
  if (Terms) *Terms = {{0, 1}, {2}, {3}, {4}, {5}, {6}, {7}, {8}, {9, 10}, {11}};
  return Columns;
}

TMoments MomentsOf(const std::vector<std::vector<double>>& Columns) { return Accumulate(MakeBatch(Columns)); }

// The state of the given predictors and the response, cut from a state.
TMoments SubState(const TMoments& State, std::vector<std::size_t> Columns) {
  Columns.push_back(State.P() - 1);
  const TMoments::TFields All = State.Fields();
  TMoments::TFields F;
  F.P = Columns.size();
  F.Count = All.Count;
  F.Incomplete = All.Incomplete;
  for (std::size_t a : Columns) {
    F.Shift.push_back(All.Shift[a]);
    F.Min.push_back(All.Min[a]);
    F.Max.push_back(All.Max[a]);
    F.MeanAboutShift.push_back(All.MeanAboutShift[a]);
    F.Missing.push_back(All.Missing[a]);
    for (std::size_t b : Columns) F.CoMoment.push_back(All.CoMoment[a * All.P + b]);
  }
  return TMoments(F);
}

struct TRanked {
  long double Rss;
  std::vector<std::size_t> Predictors;
};

// Every subset of the first K predictors fitted on its own by Solve, the
// best PerSize of each size.
std::vector<std::vector<TRanked>> BruteForce(const TMoments& State, std::size_t K, std::size_t PerSize) {
  std::vector<std::vector<TRanked>> Best(K + 1);
  for (std::uint32_t Mask = 1; Mask < (1u << K); ++Mask) {
    std::vector<std::size_t> Columns;
    for (std::size_t j = 0; j < K; ++j) {
      if (Mask & (1u << j)) Columns.push_back(j);
    }
    Best[Columns.size()].push_back({Solve(SubState(State, Columns)).MomentSse, Columns});
  }
  for (auto& Size : Best) {
    std::sort(Size.begin(), Size.end(), [](const TRanked& a, const TRanked& b) { return a.Rss < b.Rss; });
    if (Size.size() > PerSize) Size.resize(PerSize);
  }
  return Best;
}

void ExpectSameAsBruteForce(const TBestSubsets& B, const std::vector<std::vector<TRanked>>& Want, double Digits) {
  std::size_t i = 0;
  for (std::size_t s = 1; s < Want.size(); ++s) {
    for (std::size_t r = 0; r < Want[s].size(); ++r, ++i) {
      ASSERT_LT(i, B.Models.size());
      const TSubset& M = B.Models[i];
      EXPECT_EQ(M.Size, s);
      EXPECT_EQ(M.Rank, r + 1);
      EXPECT_EQ(M.Predictors, Want[s][r].Predictors) << "size " << s << " rank " << r + 1;
      EXPECT_NEAR(static_cast<double>(M.Rss), static_cast<double>(Want[s][r].Rss),
                  std::pow(10.0, -Digits) * static_cast<double>(Want[s][r].Rss));
    }
  }
  EXPECT_EQ(i, B.Models.size());
}

TEST(SubsetsTest, BestSubsetsOfTwelveAsEveryFitAlone) {
  const TMoments State = MomentsOf(MtcarsColumns());
  const TBestSubsets B = BestSubsets(State, 3);
  EXPECT_EQ(B.Kept.size(), 12U);
  EXPECT_TRUE(B.Aliased.empty());
  ExpectSameAsBruteForce(B, BruteForce(State, 12, 3), 12);
  // R 4.2.2, lm(mpg ~ wt + qsec + am, mtcars), the best of size 3: RSS,
  // AIC, BIC, R² and adjusted R²; Cp on the full model's RSS (130.05..., 19
  // degrees of freedom).
  const TSubset& Three = B.Models[6];
  ASSERT_EQ(Three.Predictors, (std::vector<std::size_t>{5, 6, 8}));
  EXPECT_NEAR(static_cast<double>(Three.Rss), 169.28592953765198, 1e-12 * 169.3);
  EXPECT_NEAR(static_cast<double>(Three.AIC), 154.11937086890117, 1e-12 * 154.1);
  EXPECT_NEAR(static_cast<double>(Three.BIC), 161.44805038289979, 1e-12 * 161.4);
  EXPECT_NEAR(static_cast<double>(Three.R2), 0.84966355636170721, 1e-12);
  EXPECT_NEAR(static_cast<double>(Three.AdjR2), 0.83355608025760441, 1e-12);
  EXPECT_NEAR(static_cast<double>(Three.Cp), 169.28592953765198 / (130.05126367664187 / 19) - 32 + 8, 1e-11);
  // R: the lowest AIC of all 4095 fits, 152.882248333857, is cyl6 + hp +
  // wt + vs + am.
  const TSubset& Best = B.Models[B.BestBy(TSubsetCriterion::AIC)];
  EXPECT_EQ(Best.Predictors, (std::vector<std::size_t>{0, 3, 5, 7, 8}));
  EXPECT_NEAR(static_cast<double>(Best.AIC), 152.88224833385698, 1e-12 * 152.9);
}

// A column that is a combination of others is left out as Solve leaves it
// out, and the search is that of the others.
TEST(SubsetsTest, AliasedColumnsAreLeftOut) {
  std::vector<std::vector<double>> Columns = MtcarsColumns();
  const std::vector<double> y = Columns.back();
  Columns.pop_back();
  std::vector<double> Sum(y.size());
  for (std::size_t i = 0; i < y.size(); ++i) Sum[i] = Columns[2][i] + 2 * Columns[3][i];
  Columns.insert(Columns.begin() + 4, Sum);  // after disp and hp, before drat
  Columns.push_back(y);
  const TBestSubsets B = BestSubsets(MomentsOf(Columns), 2);
  EXPECT_EQ(B.Aliased, (std::vector<std::size_t>{4}));
  const TBestSubsets Without = BestSubsets(MomentsOf(MtcarsColumns()), 2);
  ASSERT_EQ(B.Models.size(), Without.Models.size());
  for (std::size_t i = 0; i < B.Models.size(); ++i) {
    std::vector<std::size_t> Renumbered;
    for (std::size_t j : Without.Models[i].Predictors) Renumbered.push_back(j < 4 ? j : j + 1);
    EXPECT_EQ(B.Models[i].Predictors, Renumbered);
    EXPECT_NEAR(static_cast<double>(B.Models[i].Rss), static_cast<double>(Without.Models[i].Rss),
                1e-10 * static_cast<double>(Without.Models[i].Rss));
  }
  // A subset fit with the aliased column counts its rank without it.
  const TSubsetFit Fit = FitSubset(MomentsOf(Columns), std::vector<std::size_t>{2, 3, 4});
  EXPECT_EQ(Fit.Rank, 3U);
  // A column past the predictors (the response, or beyond the state) or
  // out of order is refused, not read outside the moments.
  for (const std::vector<std::size_t>& Bad : {std::vector<std::size_t>{Columns.size() - 1},
                                             std::vector<std::size_t>{2, 99}, std::vector<std::size_t>{3, 2}}) {
    EXPECT_THROW(FitSubset(MomentsOf(Columns), Bad), EEngineError);
  }
}

// Twenty correlated predictors of which a few matter: the tree is pruned
// hard, and must still find what fitting all 2^20 subsets finds. The
// reference adds one column at a time to a Cholesky factor, a path that
// shares nothing with the search's downdates.
TEST(SubsetsTest, BranchAndBoundAsExhaustiveAtTwenty) {
  constexpr std::size_t K = 20, n = 500;
  std::mt19937_64 Engine(12);
  std::normal_distribution<double> Normal;
  std::vector<std::vector<double>> Columns(K + 1, std::vector<double>(n));
  for (std::size_t i = 0; i < n; ++i) {
    const double Common = Normal(Engine);
    for (std::size_t j = 0; j < K; ++j) Columns[j][i] = 0.6 * Common + Normal(Engine) + 10.0 * static_cast<double>(j);
    Columns[K][i] = Columns[1][i] - 0.5 * Columns[7][i] + 0.2 * Columns[12][i] + 0.1 * Columns[19][i] + Normal(Engine);
  }
  const TMoments State = MomentsOf(Columns);
  constexpr std::size_t PerSize = 4;
  std::vector<std::vector<TRanked>> Want(K + 1);
  std::vector<std::size_t> In;
  std::vector<long double> L;  // rows of the factor, each In.size() long
  std::vector<long double> z;
  const long double Syy = State.CoMoment(K, K);
  const std::function<void(std::size_t, long double)> Walk = [&](std::size_t Next, long double Rss) {
    for (std::size_t j = Next; j < K; ++j) {
      const std::size_t m = In.size();
      std::vector<long double> l(m);
      long double Pivot = State.CoMoment(j, j), Along = State.CoMoment(j, K);
      for (std::size_t a = 0; a < m; ++a) {
        long double s = State.CoMoment(j, In[a]);
        for (std::size_t b = 0; b < a; ++b) s -= L[a * K + b] * l[b];
        l[a] = s / L[a * K + a];
        Pivot -= l[a] * l[a];
        Along -= l[a] * z[a];
      }
      const long double d = std::sqrt(Pivot), zj = Along / d;
      In.push_back(j);
      L.resize(In.size() * K);
      for (std::size_t a = 0; a < m; ++a) L[m * K + a] = l[a];
      L[m * K + m] = d;
      z.push_back(zj);
      Want[In.size()].push_back({Rss - zj * zj, In});
      Walk(j + 1, Rss - zj * zj);
      In.pop_back();
      z.pop_back();
      L.resize(In.size() * K);
    }
  };
  Walk(0, Syy);
  for (auto& Size : Want) {
    std::partial_sort(Size.begin(), Size.begin() + static_cast<std::ptrdiff_t>(std::min(PerSize, Size.size())),
                      Size.end(), [](const TRanked& a, const TRanked& b) { return a.Rss < b.Rss; });
    if (Size.size() > PerSize) Size.resize(PerSize);
  }
  std::vector<double> Shares;
  ExpectSameAsBruteForce(BestSubsets(State, PerSize, [&Shares](double Done) { Shares.push_back(Done); }), Want, 11);
  // The progress rises to the whole, which the pruned subtrees and the
  // visited nodes make up together.
  ASSERT_FALSE(Shares.empty());
  EXPECT_TRUE(std::is_sorted(Shares.begin(), Shares.end()));
  EXPECT_EQ(Shares.back(), 1.0);
}

TEST(SubsetsTest, RefusedWhenTooWideOrEmpty) {
  std::mt19937_64 Engine(3);
  std::vector<std::vector<double>> Columns(42, std::vector<double>(60));
  for (auto& Column : Columns) {
    for (double& v : Column) v = static_cast<double>(Engine() % 1000);
  }
  EXPECT_THROW(BestSubsets(MomentsOf(Columns), 1), ESearchTooLarge);
  Columns.erase(Columns.begin());
  EXPECT_THROW(BestSubsets(MomentsOf(Columns), 0), EEngineError);
  // Every model of 30 predictors would be a billion kept.
  Columns.erase(Columns.begin(), Columns.begin() + 11);
  EXPECT_THROW(BestSubsets(MomentsOf(Columns), 1'000'000'000), ESearchTooLarge);
}

struct TWantStep {
  TStepAction Action;
  std::size_t Term;
  std::size_t DfResidual;
  long double Rss, AIC;
};

void ExpectSteps(const std::vector<TStep>& Steps, const std::vector<TWantStep>& Want) {
  ASSERT_EQ(Steps.size(), Want.size());
  for (std::size_t s = 0; s < Want.size(); ++s) {
    EXPECT_EQ(Steps[s].Step, s);
    EXPECT_EQ(Steps[s].Action, Want[s].Action) << s;
    if (s > 0) {
      EXPECT_EQ(Steps[s].Term, Want[s].Term) << s;
    }
    EXPECT_EQ(Steps[s].DfResidual, Want[s].DfResidual) << s;
    const auto Rss = static_cast<double>(Want[s].Rss), AIC = static_cast<double>(Want[s].AIC);
    EXPECT_NEAR(static_cast<double>(Steps[s].Rss), Rss, 1e-12 * Rss) << s;
    EXPECT_NEAR(static_cast<double>(Steps[s].AIC), AIC, 1e-12 * std::fabs(AIC)) << s;
  }
}

// R 4.2.2, mtcars with cyl and gear factors: step() on
// lm(mpg ~ cyl + disp + hp + drat + wt + qsec + vs + am + gear + carb)
// backward and both ways, and forward from lm(mpg ~ 1) with that scope.
TEST(SubsetsTest, StepwiseByTermsAsStep) {
  std::vector<std::vector<std::size_t>> Terms;
  const TMoments State = MomentsOf(MtcarsColumns(&Terms));
  constexpr auto Start = TStepAction::Start, Add = TStepAction::Add, Drop = TStepAction::Drop;
  // Terms: 0 cyl, 1 disp, 2 hp, 3 drat, 4 wt, 5 qsec, 6 vs, 7 am, 8 gear, 9 carb.
  ExpectSteps(StepwiseAIC(State, Terms, TStepDirection::Forward),
              {{Start, 0, 31, 1126.04718749999984L, 115.943449990893853L},
               {Add, 4, 30, 278.32193754334355L, 73.217362866777165L},
               {Add, 0, 28, 183.05864766837774L, 63.810261688365514L},
               {Add, 2, 27, 160.77763398465251L, 61.657163268341947L},
               {Add, 7, 26, 151.02559237349385L, 61.654828978280328L}});
  const std::vector<TWantStep> Backward = {{Start, 0, 19, 130.05126367664187L, 70.870169788800894L},
                                           {Drop, 8, 21, 135.15731911653381L, 68.102512766771781L},
                                           {Drop, 3, 22, 135.18260925250826L, 66.108499927887237L},
                                           {Drop, 6, 23, 139.43304690852850L, 65.099156248707189L},
                                           {Drop, 9, 24, 142.33058977538727L, 63.757329471752087L},
                                           {Drop, 1, 25, 143.98173050002168L, 62.126416550392761L},
                                           {Drop, 0, 27, 160.06646019081975L, 61.515302476221279L},
                                           {Drop, 2, 28, 169.28592953765198L, 61.307304743802142L}};
  ExpectSteps(StepwiseAIC(State, Terms, TStepDirection::Backward), Backward);
  ExpectSteps(StepwiseAIC(State, Terms, TStepDirection::Both), Backward);
  const std::vector<TStep> Last = StepwiseAIC(State, Terms, TStepDirection::Both);
  EXPECT_EQ(Last.back().Terms, (std::vector<std::size_t>{4, 5, 7}));  // wt + qsec + am
  for (const std::vector<std::vector<std::size_t>>& Bad : std::vector<std::vector<std::vector<std::size_t>>>{
           {{0, 1}, {1, 2}}, {{0}, {12}}, {{0}, {}}, {}}) {
    EXPECT_THROW(StepwiseAIC(State, Bad, TStepDirection::Both), EEngineError);
  }
}

// An aliased column costs no degree of freedom: edf is the rank, as
// extractAIC takes it from lm, so a copy of wt leaves the full model's
// figures as they are.
TEST(SubsetsTest, StepwiseCountsTheRank) {
  std::vector<std::vector<std::size_t>> Terms;
  std::vector<std::vector<double>> Columns = MtcarsColumns(&Terms);
  Columns.insert(Columns.end() - 1, Columns[5]);
  Terms.push_back({12});
  const std::vector<TStep> Steps = StepwiseAIC(MomentsOf(Columns), Terms, TStepDirection::Backward);
  EXPECT_EQ(Steps[0].DfResidual, 19U);
  EXPECT_NEAR(static_cast<double>(Steps[0].AIC), 70.870169788800894, 1e-12 * 70.9);
}

}  // namespace
}  // namespace varnel::engine
