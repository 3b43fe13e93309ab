// SPDX-License-Identifier: Apache-2.0
// The fit's inference against independent figures: NIST's certified values
// for Longley's data (coefficients, standard errors, R², residual standard
// deviation, F), R's summary.lm and car::vif for the same data (as
// longley$Employed in thousands: p-values and VIFs do not change with the
// unit of y), and the textbook formulas of the likelihood criteria written
// out here.
#include <gtest/gtest.h>

#include <cmath>

#include "varnel/korlen.h"
#include "varnel/testing/data_sets.h"
#include "varnel/testing/message_recorder.h"

namespace varnel {
namespace {

::testing::AssertionResult Agrees(long double Got, long double Want, double Digits) {
  const long double Error = std::fabs((Got - Want) / Want);
  if (Error <= std::pow(10.0L, -Digits)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << static_cast<double>(Got) << " vs " << static_cast<double>(Want);
}

class InferenceTest : public ::testing::Test {
 protected:
  std::unique_ptr<TKorlen> Korlen = std::make_unique<TKorlen>();
  std::vector<TObservationInference> Observations = std::vector<TObservationInference>(16);
  TModelInference Fit(double Level, bool Intercept = true) {
    testing::Load(*Korlen, testing::LongleyData());
    return Korlen->MVInference(Korlen->PRegressData, Korlen->Y, 6, 16, Level, Intercept, Observations);
  }
};

TEST_F(InferenceTest, LongleyAgreesWithTheCertifiedValues) {
  const TModelInference M = Fit(0.95);
  EXPECT_EQ(M.DFResidual, 9);
  EXPECT_TRUE(Agrees(M.R2, 0.995479004577296L, 12));
  EXPECT_TRUE(Agrees(M.Sigma, 304.854073561965L, 12));
  EXPECT_TRUE(Agrees(M.F, 330.285339234588L, 12));
  EXPECT_TRUE(Agrees(M.Coefficients[0].Estimate, -3482258.63459582L, 12));
  EXPECT_TRUE(Agrees(M.Coefficients[0].StdError, 890420.383607373L, 12));
  EXPECT_TRUE(Agrees(M.Coefficients[6].Estimate, 1829.15146461355L, 12));
  EXPECT_TRUE(Agrees(M.Coefficients[6].StdError, 455.478499142212L, 12));
}

TEST_F(InferenceTest, LongleyAgreesWithR) {
  const TModelInference M = Fit(0.95);
  EXPECT_TRUE(Agrees(M.AdjR2, 0.9925, 3));              // Adjusted R-squared: 0.9925
  EXPECT_TRUE(Agrees(M.FPValue, 4.984e-10, 3));         // p-value: 4.984e-10
  EXPECT_TRUE(Agrees(M.Coefficients[6].PValue, 0.003037, 3));  // Year
  EXPECT_TRUE(Agrees(M.Coefficients[2].VIF, 1788.513, 6));     // car::vif: GNP
  EXPECT_TRUE(Agrees(M.Coefficients[4].VIF, 3.588930, 6));     // Armed.Forces
  // confint: estimate ± qt(0.975, 9) × se, qt(0.975, 9) = 2.262157162798205.
  const TCoefficientInference& Year = M.Coefficients[6];
  EXPECT_TRUE(Agrees(Year.ConfLow, Year.Estimate - 2.262157162798205L * Year.StdError, 12));
  EXPECT_TRUE(Agrees(Year.ConfHigh, Year.Estimate + 2.262157162798205L * Year.StdError, 12));
  EXPECT_TRUE(Agrees(Fit(0.90).Coefficients[6].ConfHigh, Year.Estimate + 1.833112932653633L * Year.StdError, 12));
}

TEST_F(InferenceTest, LikelihoodCriteriaFollowTheirDefinitions) {
  const TModelInference M = Fit(0.95);
  const long double n = 16, Sse = M.Deviance;
  const long double LogLik = -n / 2 * (std::log(2 * 3.141592653589793238L) + std::log(Sse / n) + 1);
  EXPECT_TRUE(Agrees(M.LogLik, LogLik, 14));
  EXPECT_TRUE(Agrees(M.AIC, -2 * LogLik + 2 * 8, 14));
  EXPECT_TRUE(Agrees(M.BIC, -2 * LogLik + std::log(n) * 8, 14));
  EXPECT_TRUE(Agrees(M.DurbinWatson, Korlen->DurbinWatson(Korlen->PRegressData, Korlen->Y, 6, 16), 13));
}

// R 4.2: influence.measures, lm.influence()$sigma, rstandard, rstudent and
// predict(interval = ..., level = 0.95) of lm(y ~ ., longley as above).
// Longley's condition limits what R's own QR keeps to about 11 digits.
TEST_F(InferenceTest, ObservationMeasuresAgreeWithR) {
  Fit(0.95);
  const TObservationInference& O = Observations[4];  // R's observation 5
  EXPECT_TRUE(Agrees(O.Fitted, 62911.2854092397683416L, 11));
  EXPECT_TRUE(Agrees(O.Residual, 309.7145907602316015L, 10));
  EXPECT_TRUE(Agrees(O.Hat, 0.6155110941741344L, 10));
  EXPECT_TRUE(Agrees(O.Sigma, 270.8647915658364127L, 10));
  EXPECT_TRUE(Agrees(O.CooksD, 0.6139168381921843L, 10));
  EXPECT_TRUE(Agrees(O.StdResid, 1.6384294910906332L, 10));
  EXPECT_TRUE(Agrees(O.StudResid, 1.8440266884285328L, 10));
  EXPECT_TRUE(Agrees(O.DFFITS, 2.3331531026780126L, 10));
  EXPECT_TRUE(Agrees(O.CovRatio, 0.4970086487042230L, 10));
  const long double DFBetas[] = {1.8712601249024270L, -0.2193514475491523L, 1.6114180361914934L, 1.5615204008565211L,
                                 1.1693372509042166L, -1.0815128962132350L, -1.8641856503536101L};
  for (int j = 0; j <= 6; ++j) EXPECT_TRUE(Agrees(O.DFBetas[j], DFBetas[j], 9)) << j;
  EXPECT_TRUE(Agrees(O.ConfLow, 62370.2412421696571982L, 11));
  EXPECT_TRUE(Agrees(O.ConfHigh, 63452.3295763085843646L, 11));
  EXPECT_TRUE(Agrees(O.PredLow, 62034.7494263645276078L, 11));
  EXPECT_TRUE(Agrees(O.PredHigh, 63787.8213921137139550L, 11));
  EXPECT_TRUE(Agrees(Observations[0].DFBetas[0], -1.640619895619227e-02L, 8));
  EXPECT_TRUE(Agrees(Observations[0].CovRatio, 1.286454928179726L, 10));
  EXPECT_TRUE(Agrees(Observations[15].StudResid, -1.2533613511013628L, 10));
  EXPECT_TRUE(Agrees(Observations[15].DFBetas[6], 0.5524210255990405L, 9));
}

// R 4.2: summary, confint, logLik, AIC, BIC and influence.measures of
// lm(y ~ 0 + ., longley as above): R² about zero, F on 6 and 10 df.
TEST_F(InferenceTest, FitThroughTheOriginAgreesWithR) {
  const TModelInference M = Fit(0.95, false);
  EXPECT_FALSE(M.Intercept);
  EXPECT_EQ(M.DFResidual, 10);
  EXPECT_TRUE(Agrees(M.R2, 9.999670130705958e-01L, 13));
  EXPECT_TRUE(Agrees(M.AdjR2, 9.999472209129532e-01L, 13));
  EXPECT_TRUE(Agrees(M.Sigma, 4.751655079819658e+02L, 11));
  EXPECT_TRUE(Agrees(M.F, 5.052339573737140e+04L, 10));
  EXPECT_TRUE(Agrees(M.FPValue, 8.201718754854990e-22L, 9));
  EXPECT_TRUE(Agrees(M.LogLik, -1.175615983965255e+02L, 12));
  EXPECT_TRUE(Agrees(M.AIC, 2.491231967930510e+02L, 12));
  EXPECT_TRUE(Agrees(M.BIC, 2.545313178487295e+02L, 12));
  EXPECT_EQ(M.Coefficients[0].Estimate, 0);
  EXPECT_TRUE(Agrees(M.Coefficients[1].Estimate, -52.99357013867626875L, 10));
  EXPECT_TRUE(Agrees(M.Coefficients[2].StdError, 0.03016640003786105L, 10));
  EXPECT_TRUE(Agrees(M.Coefficients[6].PValue, 0.02093676425850008L, 10));
  EXPECT_TRUE(Agrees(M.Coefficients[6].ConfLow, 9.003231520922824L, 10));
  EXPECT_TRUE(Agrees(M.Coefficients[4].ConfHigh, 0.04906173879762443L, 9));
  const TObservationInference& O = Observations[2];
  EXPECT_TRUE(Agrees(O.Hat, 0.360684976461767837L, 10));
  EXPECT_TRUE(Agrees(O.Sigma, 499.438103662686216921L, 10));
  EXPECT_TRUE(Agrees(O.StudResid, 0.227207533939880302L, 9));
  EXPECT_TRUE(Agrees(O.DFBetas[3], 0.038188656865105745L, 9));
  EXPECT_TRUE(Agrees(O.CovRatio, 2.843978246269337262L, 10));
  EXPECT_TRUE(Agrees(O.CooksD, 0.005362667600912286L, 9));
}

// An observation alone in its level of a dummy predictor has leverage 1:
// the measures that divide by 1 − h are not available, the others are.
TEST_F(InferenceTest, LeverageOneLeavesItsMeasuresUndefined) {
  testing::TDataSet Data;
  Data.Columns = {{1, 2, 3, 4, 5, 6, 7}, {0, 0, 0, 1, 0, 0, 0}};
  Data.Y = {1.1, 2.3, 2.9, 9.0, 5.2, 5.8, 7.1};
  testing::Load(*Korlen, Data);
  Korlen->SetScanData(false);
  const TModelInference M = Korlen->MVInference(Korlen->PRegressData, Korlen->Y, 2, 7, 0.95, true, Observations);
  ASSERT_EQ(M.N, 7);
  const TObservationInference& O = Observations[3];
  EXPECT_EQ(O.Hat, 1);
  for (long double x : {O.StdResid, O.StudResid, O.CooksD, O.DFFITS, O.CovRatio}) EXPECT_TRUE(std::isnan(x));
  EXPECT_TRUE(std::isfinite(O.Sigma));
  EXPECT_TRUE(std::isfinite(Observations[2].StudResid));
  EXPECT_NEAR(static_cast<double>(O.Residual), 0, 1e-12);  // the fit passes through it
}

// R 4.2: mahalanobis(x, colMeans(x), cov(x)) of Longley's predictors;
// qchisq(0.5, 6) flags rows 1 2 5 7 8 9 12 16, qchisq(0.975, 6) = 14.44937533544792.
TEST_F(InferenceTest, MahalanobisFlagsFollowTheChiSquareQuantile) {
  testing::Load(*Korlen, testing::LongleyData());
  std::vector<double> D2(16);
  TOutlierFlags Flags{};
  EXPECT_TRUE(Agrees(Korlen->MahalanobisOutliers(Korlen->PRegressData, 6, 16, 0.975, D2, Flags), 14.44937533544792L, 13));
  EXPECT_TRUE(Agrees(D2[15], 9.391719025408969, 11));
  EXPECT_TRUE(Agrees(D2[13], 2.488177063254863, 11));
  Korlen->MahalanobisOutliers(Korlen->PRegressData, 6, 16, 0.5, D2, Flags);
  std::vector<int> Rows;
  for (int i = 0; i < 16; ++i) {
    if (Flags[i]) Rows.push_back(i + 1);
  }
  EXPECT_EQ(Rows, (std::vector<int>{1, 2, 5, 7, 8, 9, 12, 16}));
  EXPECT_EQ(Korlen->MahalanobisOutliers(Korlen->PRegressData, 6, 16, 1.0, D2, Flags), 0);
}

TEST_F(InferenceTest, BadArgumentsGiveTheZeroRecordAndFaultsTheMessage) {
  testing::TMessageRecorder Messages;
  EXPECT_EQ(Fit(1.0).N, 0);
  EXPECT_EQ(Fit(0.0).N, 0);
  EXPECT_TRUE(Messages.Texts().empty());
  // n = k + 1: the perfect fit's zero standard errors.
  EXPECT_EQ(Korlen->MVInference(Korlen->PRegressData, Korlen->Y, 6, 7, 0.95).N, 0);
  EXPECT_GE(Messages.Count("Error occurred in  MVInference"), 1);
}

}  // namespace
}  // namespace varnel
