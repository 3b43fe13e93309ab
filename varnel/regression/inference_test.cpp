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
  TModelInference Fit(double Level) {
    testing::Load(*Korlen, testing::LongleyData());
    return Korlen->MVInference(Korlen->PRegressData, Korlen->Y, 6, 16, Level);
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
