// SPDX-License-Identifier: Apache-2.0
// The stepwise search by AIC against R's step() on lm(y ~ ., d) with scope
// the full model (forward from lm(y ~ 1)): the path of its anova table,
// residual degrees of freedom, residual deviance and extractAIC's AIC.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "varnel/korlen.h"
#include "varnel/selection/stepwise_aic.h"
#include "varnel/testing/data_sets.h"
#include "varnel/testing/digits.h"
#include "varnel/testing/message_recorder.h"

namespace varnel {
namespace {

using testing::AgreesTo;
using testing::TDataSet;

constexpr TStepAction Start = TStepAction::saStart, Add = TStepAction::saAdd, Drop = TStepAction::saDrop;

struct TWantStep {
  TStepAction Action;
  int Term;
  std::uint32_t Terms;
  int DFResidual;
  long double RSS, AIC;
};

// 25 observations of six predictors around a shared factor, rounded to two
// decimals (R: set.seed(1561), then round(0.7 z + rnorm(25), 2) for each
// predictor and a linear response with noise), on which the three
// directions take three different paths and both adds a dropped term back.
TDataSet ThreePaths() {
  TDataSet Data;
  Data.Columns = {
      {0.61, -0.63, 0.80, -1.66, 2.52, 1.88, -3.03, 0.29, 2.12, -0.42, -0.90, 0.56, 2.38, 0.54, -1.20, -1.05, -1.10,
       -0.57, -0.72, 0.69, 1.45, -2.38, 0.86, 0.22, -1.14},
      {0.41, -1.67, 0.02, -0.47, 0.11, 0.62, -2.83, 0.36, 0.69, 1.48, 1.41, 1.15, 1.73, 1.02, -0.55, -1.62, -0.58,
       -2.81, -0.26, 0.78, 0.03, -1.32, -0.55, 1.07, -1.16},
      {-1.64, -1.87, -0.34, 1.20, 2.17, 0.69, -1.97, 1.77, 2.40, -0.25, 1.30, 1.29, 3.45, 1.56, -0.63, -0.91, 0.64,
       0.68, -0.63, -0.17, -0.05, -1.25, 1.74, 0.28, -0.25},
      {-0.23, -1.18, 0.19, 0.47, 1.80, -1.34, -3.92, 0.24, 1.51, 0.50, -1.11, 0.57, 1.44, 1.36, -0.53, 1.74, -1.31,
       1.70, 0.46, 1.59, -1.30, 0.35, 0.89, -0.90, -0.28},
      {0.01, -0.23, 0.40, 0.70, 2.83, 0.63, -2.21, -0.57, -0.18, -1.21, -0.97, 0.19, 0.85, 1.33, -0.99, -0.99, 0.82,
       1.37, 0.94, -0.43, 1.23, -0.46, 0.71, 2.31, -0.30},
      {0.38, -0.88, 0.70, 0.23, 1.83, 0.22, -0.72, -0.29, 0.33, -1.63, -0.38, 0.36, 0.45, 0.27, -1.63, -1.03, -2.15,
       -0.68, 1.62, 0.77, 0.19, -1.07, 1.56, -0.36, -0.99},
  };
  Data.Y = {-0.06, -1.92, 1.43, -1.24, 6.76, 4.47, -3.94, -0.20, 2.89, -2.26, -3.42, 1.21, 4.68,
            0.81,  -0.68, 1.57, 0.83, 1.03, -2.23, -0.41, 2.30, 1.04, 1.45, -0.65, -3.06};
  return Data;
}

// Each step of a search against R's, its index aside.
void ExpectSteps(const std::vector<TAICStep>& Got, const std::vector<TWantStep>& Want) {
  ASSERT_EQ(Got.size(), Want.size());
  for (std::size_t s = 0; s < Want.size(); ++s) {
    SCOPED_TRACE(::testing::Message() << "step " << s);
    EXPECT_EQ(Got[s].Action, Want[s].Action);
    EXPECT_EQ(Got[s].Term, Want[s].Term);
    EXPECT_EQ(Got[s].Terms, Want[s].Terms);
    EXPECT_EQ(Got[s].DFResidual, Want[s].DFResidual);
    EXPECT_TRUE(AgreesTo(Got[s].RSS, Want[s].RSS, 12));
    EXPECT_TRUE(AgreesTo(Got[s].AIC, Want[s].AIC, 12));
  }
}

class StepwiseAICTest : public ::testing::Test {
 protected:
  StepwiseAICTest() { Korlen->SetScanData(false); }
  std::unique_ptr<TKorlen> Korlen = std::make_unique<TKorlen>();

  void ExpectPath(const TDataSet& Data, TStepDirection Direction, const std::vector<TWantStep>& Want) {
    testing::Load(*Korlen, Data);
    const TStepwiseAIC S = Korlen->MVStepwiseAIC(Korlen->PRegressData, Korlen->Y, Data.K(), Data.N(), Direction);
    EXPECT_EQ(S.Direction, Direction);
    for (std::size_t s = 0; s < S.Steps.size(); ++s) EXPECT_EQ(S.Steps[s].Step, int(s));
    ExpectSteps(S.Steps, Want);
  }
};

TEST_F(StepwiseAICTest, ThreeDirectionsFollowStep) {
  ExpectPath(ThreePaths(), TStepDirection::sdForward,
             {{Start, 0, 0x0, 24, 161.4452, 48.632248533184558},
              {Add, 1, 0x1, 23, 67.598547998368645, 28.867766965899012},
              {Add, 2, 0x3, 22, 54.722659518537824, 25.585051239437508},
              {Add, 3, 0x7, 21, 49.93171792858103, 25.294515144836925}});
  const std::vector<TWantStep> Backward = {{Start, 0, 0x3f, 18, 43.446550615338467, 27.81639090606982},
                                           {Drop, 3, 0x3b, 19, 45.035643771267196, 26.714460879380773},
                                           {Drop, 6, 0x1b, 20, 48.575074319186662, 26.605867509563382},
                                           {Drop, 5, 0x0b, 21, 51.105019681823592, 25.875172500949237},
                                           {Drop, 4, 0x03, 22, 54.722659518537824, 25.585051239437508}};
  ExpectPath(ThreePaths(), TStepDirection::sdBackward, Backward);
  std::vector<TWantStep> Both = Backward;
  Both.push_back({Add, 3, 0x07, 21, 49.93171792858103, 25.294515144836925});
  ExpectPath(ThreePaths(), TStepDirection::sdBoth, Both);
}

TEST_F(StepwiseAICTest, MtcarsFollowsStep) {
  ExpectPath(testing::MtcarsData(), TStepDirection::sdForward,
             {{Start, 0, 0x0, 31, 1126.0471874999998, 115.94344999089385},
              {Add, 5, 0x10, 30, 278.32193754334355, 73.217362866777165},
              {Add, 1, 0x11, 29, 191.17196625596225, 63.197998946163644},
              {Add, 3, 0x15, 28, 176.62052019882165, 62.664562385159293}});
  ExpectPath(testing::MtcarsData(), TStepDirection::sdBackward,
             {{Start, 0, 0x3ff, 21, 147.49443001665082, 70.89774430938067},
              {Drop, 1, 0x3fe, 22, 147.57430122549744, 68.915068264614803},
              {Drop, 7, 0x3be, 23, 147.84282403042437, 66.973241819155263},
              {Drop, 10, 0x1be, 24, 148.52828480396275, 65.121264235720446},
              {Drop, 9, 0x0be, 25, 150.09325533078109, 63.456668810399421},
              {Drop, 4, 0x0b6, 26, 153.4378065024591, 62.161901208292889},
              {Drop, 2, 0x0b4, 27, 160.06646019081975, 61.515302476221279},
              {Drop, 3, 0x0b0, 28, 169.28592953765198, 61.307304743802142}});
}

// mtcars with cyl and gear as factors (treatment dummies against 4 and 3):
// cyl6 cyl8 disp hp drat wt qsec gear4 gear5, and the terms that group them.
TDataSet MtcarsFactors(std::vector<std::vector<int>>& Terms) {
  const TDataSet M = testing::MtcarsData();
  TDataSet Data;
  Data.Y = M.Y;
  const auto Dummy = [&M](int Column, double Level) {
    std::vector<double> D;
    for (double v : M.Columns[Column]) D.push_back(v == Level);
    return D;
  };
  Data.Columns = {Dummy(0, 6), Dummy(0, 8), M.Columns[1], M.Columns[2], M.Columns[3],
                  M.Columns[4], M.Columns[5], Dummy(8, 4), Dummy(8, 5)};
  Terms = {{0, 1}, {2}, {3}, {4}, {5}, {6}, {7, 8}};
  return Data;
}

// R 4.2.2: step() on lm(mpg ~ cyl + disp + hp + drat + wt + qsec + gear)
// with cyl and gear factors: a factor enters and leaves whole.
TEST_F(StepwiseAICTest, FactorsMoveAsWholeTermsAsInStep) {
  std::vector<std::vector<int>> Terms;
  const TDataSet Data = MtcarsFactors(Terms);
  testing::Load(*Korlen, Data);
  const auto Path = [&](TStepDirection Direction) {
    return StepwiseAICOfTerms(Korlen->PRegressData, Korlen->Y, Data.K(), Data.N(), Direction, Terms).Steps;
  };
  ExpectSteps(Path(TStepDirection::sdForward), {{Start, 0, 0x00, 31, 1126.04718749999984, 115.943449990893853},
                                           {Add, 5, 0x10, 30, 278.32193754334355, 73.217362866777165},
                                           {Add, 1, 0x11, 28, 183.05864766837774, 63.810261688365514},
                                           {Add, 3, 0x15, 27, 160.77763398465251, 61.657163268341947}});
  const std::vector<TWantStep> Backward = {{Start, 0, 0x7f, 22, 146.81148610497425, 68.749230513335775},
                                           {Drop, 7, 0x3f, 24, 155.89166421809452, 66.669612897927976},
                                           {Drop, 2, 0x3d, 25, 157.29210795394741, 64.955799490129522},
                                           {Drop, 6, 0x1d, 26, 158.33992523464431, 63.168263832354704},
                                           {Drop, 4, 0x15, 27, 160.77763398465251, 61.657163268341947}};
  ExpectSteps(Path(TStepDirection::sdBackward), Backward);
  ExpectSteps(Path(TStepDirection::sdBoth), Backward);
  // Terms that share a column, name one out of range or are empty are refused.
  const TRegressData* X = Korlen->PRegressData;
  for (const std::vector<std::vector<int>>& Bad : std::vector<std::vector<std::vector<int>>>{
           {{0, 1}, {1, 2}}, {{0}, {9}}, {{0}, {}}, {}}) {
    EXPECT_TRUE(StepwiseAICOfTerms(X, Korlen->Y, 9, 32, TStepDirection::sdBoth, Bad).Steps.empty());
  }
}

TEST_F(StepwiseAICTest, SingularFaultyOrBadArgumentsGiveNothing) {
  TDataSet Data = ThreePaths();
  for (int i = 0; i < Data.N(); ++i) Data.Columns[4][i] = Data.Columns[0][i] - 2 * Data.Columns[1][i];
  testing::Load(*Korlen, Data);
  testing::TMessageRecorder Messages;
  const TRegressData* X = Korlen->PRegressData;
  EXPECT_TRUE(Korlen->MVStepwiseAIC(X, Korlen->Y, 6, 25, TStepDirection::sdForward).Steps.empty());
  EXPECT_EQ(Messages.Texts(), std::vector<std::string>{"Error occurred in  MVStepwiseAIC"});
  Messages.Clear();
  const std::vector<double> Short(24);
  EXPECT_TRUE(Korlen->MVStepwiseAIC(X, Short, 6, 25, TStepDirection::sdBoth).Steps.empty());
  EXPECT_TRUE(Korlen->MVStepwiseAIC(X, Korlen->Y, 0, 25, TStepDirection::sdBoth).Steps.empty());
  EXPECT_TRUE(Korlen->MVStepwiseAIC(X, Korlen->Y, 6, 6, TStepDirection::sdBoth).Steps.empty());
  EXPECT_TRUE(Korlen->MVStepwiseAIC(X, Korlen->Y, 4, 25, static_cast<TStepDirection>(5)).Steps.empty());
  EXPECT_TRUE(Messages.Texts().empty());
  EXPECT_EQ(Korlen->MVStepwiseAIC(X, Korlen->Y, 4, 25, TStepDirection::sdBoth).K, 4);
}

}  // namespace
}  // namespace varnel
