// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "varnel/korlen.h"
#include "varnel/testing/data_sets.h"
#include "varnel/testing/describe_reference.h"
#include "varnel/testing/message_recorder.h"

namespace varnel {
namespace {

using testing::SameDigits;
using testing::TMessageRecorder;

class UnivariateTest : public ::testing::Test {
 protected:
  TKorlen Korlen;
  TMessageRecorder Messages;
  // Fills row j of the data matrix from x.
  void SetRow(int j, const std::vector<double>& x) {
    for (std::size_t i = 0; i < x.size(); ++i) (*Korlen.PRegressData)[j][i] = x[i];
  }
};

TEST_F(UnivariateTest, SmallSetsGiveTheirExactStatistics) {
  const std::vector<double> Four{1, 2, 3, 4};
  EXPECT_EQ(Korlen.GetSum(Four, 4), 10);
  EXPECT_EQ(Korlen.GetMean(Four, 4), 2.5);
  EXPECT_TRUE(SameDigits(Korlen.GetVariance(Four, 4), 5.0L / 3, 18));
  EXPECT_EQ(Korlen.GetMedian(Four, 4), 2.5);
  EXPECT_EQ(Korlen.GetMin(Four, 4), 1);
  EXPECT_EQ(Korlen.GetMax(Four, 4), 4);
  EXPECT_TRUE(SameDigits(Korlen.GetCoefficientOfVariation(Four, 4), 100 * std::sqrt(5.0L / 3) / 2.5L, 17));

  const std::vector<double> Five{1, 2, 3, 4, 10};
  EXPECT_EQ(Korlen.GetMedian(Five, 5), 3);
  const Single Skew = Korlen.GetSkew(Five, 5), Kurtosis = Korlen.GetKurtosis(Five, 5);
  EXPECT_EQ(Skew, static_cast<Single>(36 / std::pow(10.0L, 1.5L)));
  EXPECT_EQ(Kurtosis, static_cast<Single>(2.788L));
  EXPECT_TRUE(Messages.Messages().empty());
}

TEST_F(UnivariateTest, CountsOutsideTheirRangesGiveZeroSilently) {
  const std::vector<double> One{7};
  EXPECT_EQ(Korlen.GetSum(One, 1), 0);
  EXPECT_EQ(Korlen.GetMean(One, 1), 0);
  EXPECT_EQ(Korlen.GetMin(One, 1), 0);
  EXPECT_EQ(Korlen.GetMax(One, 1), 0);
  EXPECT_EQ(Korlen.GetVariance(One, 1), 0);
  EXPECT_EQ(Korlen.GetMedian(One, 1), 7);
  EXPECT_EQ(Korlen.GetMedian(One, 0), 0);
  const std::vector<double> Two{1, 5};
  EXPECT_EQ(Korlen.GetCoefficientOfVariation(Two, 2), 0);
  EXPECT_EQ(Korlen.GetVariance(Two, 2), 8);
  const std::vector<double> Centred{-1, 0, 1};
  EXPECT_EQ(Korlen.GetCoefficientOfVariation(Centred, 3), 0);  // mean 0

  // The upper bound applies to the bounded methods only.
  const std::vector<double> Full(MaxObs, 2.0);
  EXPECT_EQ(Korlen.GetSum(Full, MaxObs), 0);
  EXPECT_EQ(Korlen.GetMedian(Full, MaxObs), 0);
  EXPECT_EQ(Korlen.GetSum(Full, MaxObs - 1), 2.0L * (MaxObs - 1));
  EXPECT_EQ(Korlen.GetVariance(Full, MaxObs), 0);  // accepted: constant data
  EXPECT_EQ(Korlen.YSummary(Full, MaxObs).N, 0);

  TVector V{};
  for (int i = 0; i < 26; ++i) V[i] = i + 1;
  EXPECT_EQ(Korlen.GetTotalVariation(V, 3), 6);
  EXPECT_EQ(Korlen.GetTotalVariation(V, 0), 0);
  EXPECT_EQ(Korlen.GetTotalVariation(V, 26), 351);
  EXPECT_EQ(Korlen.GetTotalVariation(V, 27), 0);
  EXPECT_TRUE(Messages.Messages().empty());
}

TEST_F(UnivariateTest, CountsBeyondTheArrayReadNothing) {
  const std::vector<double> Values{1, 2, 3, 4, 5};
  const std::span<const double> Short(Values.data(), 4);  // the fifth value lies outside
  EXPECT_EQ(Korlen.GetSum(Short, 5), 0);
  EXPECT_EQ(Korlen.GetMin(Short, 5), 0);
  EXPECT_EQ(Korlen.GetMax(Short, 5), 0);
  EXPECT_EQ(Korlen.GetMean(Short, 5), 0);
  EXPECT_EQ(Korlen.GetVariance(Short, 5), 0);
  EXPECT_EQ(Korlen.GetCoefficientOfVariation(Short, 5), 0);
  EXPECT_EQ(Korlen.GetSkew(Short, 5), 0);
  EXPECT_EQ(Korlen.GetKurtosis(Short, 5), 0);
  EXPECT_EQ(Korlen.GetMedian(Short, 5), 0);
  EXPECT_EQ(Korlen.YSummary(Short, 5).N, 0);
  EXPECT_EQ(Korlen.UnivariateSummary(nullptr, 1, 5).N, 0);
  EXPECT_TRUE(Messages.Messages().empty());
}

// Results finite in extended precision but beyond the range of double are
// overflows of what they describe: the operation's message and 0.
TEST_F(UnivariateTest, ResultsBeyondDoubleAreFaults) {
  const std::vector<double> Huge(4, 1e308);
  const std::vector<double> Wide = {1e200, -1e200, 3e200, -2e200};
  Messages.Clear();
  EXPECT_EQ(Korlen.GetSum(Huge, 4), 0);
  EXPECT_EQ(Korlen.GetVariance(Wide, 4), 0);
  EXPECT_EQ(Korlen.GetMean(Huge, 4), Extended(1e308));  // the mean itself is a double
  EXPECT_EQ(Messages.Count("Error occurred in  GetSum"), 1);
  EXPECT_EQ(Messages.Count("Error occurred in  GetVariance"), 1);
  EXPECT_EQ(Messages.Messages().size(), 2u);
  SetRow(1, Huge);
  EXPECT_THROW(Korlen.SumVector(Korlen.PRegressData, 1, 4), EMathError);
}

TEST_F(UnivariateTest, ExtremesStartFromPlusMinus1E22) {
  const std::vector<double> Huge{1E22, 3E22, 2E23};
  EXPECT_EQ(Korlen.GetMin(Huge, 3), 1E22L);
  const std::vector<double> Tiny{-1E22, -5E22};
  EXPECT_EQ(Korlen.GetMax(Tiny, 2), -1E22L);
  const std::vector<double> Mixed{4, -2, 9, -2};
  EXPECT_EQ(Korlen.GetMin(Mixed, 4), -2);
  EXPECT_EQ(Korlen.GetMax(Mixed, 4), 9);
}

TEST_F(UnivariateTest, MedianSortsACopyOnly) {
  std::vector<double> x = testing::SpreadValues(19999, 50, 10, 3);
  const std::vector<double> Before = x;
  EXPECT_EQ(Korlen.GetMedian(x, 19999), testing::RefMedian(x));
  EXPECT_EQ(Korlen.GetMedian(x, 19998), testing::RefMedian({x.begin(), x.begin() + 19998}));
  EXPECT_EQ(x, Before);
  const std::vector<double> Even{9, -1, 4, 3};
  EXPECT_EQ(Korlen.GetMedian(Even, 4), 3.5);
}

// Means far from zero against their spread are where one-pass sums about zero
// lose their digits; the reference is a two-pass computation.
TEST_F(UnivariateTest, AgreesWithTwoPassReferenceFromFewToCapacity) {
  struct TCase {
    int n;
    double Offset, Scale;
  };
  for (const TCase& c : {TCase{3, 0, 1}, TCase{7, 1e6, 0.1}, TCase{250, -3e4, 2}, TCase{5000, 1e8, 1},
                         TCase{19999, 1e6, 0.1}, TCase{19999, 0, 1e5}}) {
    const std::vector<double> x = testing::SpreadValues(c.n, c.Offset, c.Scale, c.n);
    const long double Mu2 = testing::RefCentralMoment(x, 2);
    SCOPED_TRACE(c.n);
    EXPECT_TRUE(SameDigits(Korlen.GetVariance(x, c.n), testing::RefVariance(x), 10));
    EXPECT_TRUE(SameDigits(Korlen.GetMean(x, c.n), testing::RefMean(x), 15));
    EXPECT_TRUE(SameDigits(Korlen.GetSkew(x, c.n), testing::RefCentralMoment(x, 3) / std::pow(Mu2, 1.5L), 6));
    EXPECT_TRUE(SameDigits(Korlen.GetKurtosis(x, c.n), testing::RefCentralMoment(x, 4) / (Mu2 * Mu2), 6));
    EXPECT_TRUE(SameDigits(Korlen.GetCoefficientOfVariation(x, c.n),
                           100 * std::sqrt(testing::RefVariance(x)) / testing::RefMean(x), 10));
  }
  // Values alternating 0.1 about 10^6 (sample standard deviation 0.1).
  std::vector<double> Alternating{1000000.2};
  for (int i = 0; i < 500; ++i) Alternating.insert(Alternating.end(), {1000000.1, 1000000.3});
  EXPECT_TRUE(SameDigits(Korlen.GetVariance(Alternating, 1001), testing::RefVariance(Alternating), 10));
  EXPECT_TRUE(SameDigits(Korlen.GetVariance(Alternating, 1001), 0.01L, 8));
  EXPECT_TRUE(Messages.Messages().empty());
}

TEST_F(UnivariateTest, SummaryFillsEveryColumnOfEveryVariable) {
  const int K = 24, N = 19999;
  std::vector<std::vector<double>> Rows;
  for (int j = 1; j <= K; ++j) {
    Rows.push_back(testing::SpreadValues(N, j % 2 ? 1e5 * j : -j, j, 100 + j));
    SetRow(j, Rows.back());
  }
  const TUnivarStatRec Rec = Korlen.UnivariateSummary(Korlen.PRegressData, K, N);
  ASSERT_EQ(Rec.NVars, K);
  ASSERT_EQ(Rec.N, N);
  for (int j = 1; j <= K; ++j) {
    const std::vector<double>& x = Rows[j - 1];
    const int e = j - 1;
    const long double Mu2 = testing::RefCentralMoment(x, 2);
    SCOPED_TRACE(j);
    EXPECT_TRUE(SameDigits(Rec.Sum[e], testing::RefMean(x) * N, 15));
    EXPECT_EQ(Rec.Min[e], *std::min_element(x.begin(), x.end()));
    EXPECT_EQ(Rec.Max[e], *std::max_element(x.begin(), x.end()));
    EXPECT_EQ(Rec.Range[e], Rec.Max[e] - Rec.Min[e]);
    EXPECT_TRUE(SameDigits(Rec.Mean[e], testing::RefMean(x), 15));
    EXPECT_TRUE(SameDigits(Rec.Variance[e], testing::RefVariance(x), 10));
    EXPECT_TRUE(SameDigits(Rec.StdDev[e], std::sqrt(testing::RefVariance(x)), 10));
    EXPECT_TRUE(SameDigits(Rec.Skew[e], testing::RefCentralMoment(x, 3) / std::pow(Mu2, 1.5L), 6));
    EXPECT_TRUE(SameDigits(Rec.Kurtosis[e], testing::RefCentralMoment(x, 4) / (Mu2 * Mu2), 6));
    EXPECT_TRUE(SameDigits(Rec.CoefVar[e], 100 * Rec.StdDev[e] / Rec.Mean[e], 15));
    EXPECT_EQ(Rec.Median[e], testing::RefMedian(x));
  }
  for (int e = K; e < 26; ++e) EXPECT_EQ(Rec.Sum[e] + Rec.Median[e] + Rec.Kurtosis[e], 0);

  const TYSummaryRec Y = Korlen.YSummary((*Korlen.PRegressData)[3], N);
  EXPECT_EQ(Y.N, N);
  EXPECT_EQ(Y.Variance, Rec.Variance[2]);
  EXPECT_EQ(Y.Median, Rec.Median[2]);
  EXPECT_EQ(Y.Skew, Rec.Skew[2]);
  EXPECT_EQ(Y.CoefVar, Rec.CoefVar[2]);
  EXPECT_TRUE(Messages.Messages().empty());
}

TEST_F(UnivariateTest, SummaryRejectsCountsSilently) {
  SetRow(1, {1, 2, 4, 8});
  SetRow(2, {3, 1, 2, 9});
  EXPECT_EQ(Korlen.UnivariateSummary(Korlen.PRegressData, 2, 4).NVars, 2);
  for (const auto& [K, N] : {std::pair{0, 4}, std::pair{25, 30}, std::pair{2, 2}, std::pair{4, 4},
                             std::pair{2, MaxObs}}) {
    const TUnivarStatRec Rec = Korlen.UnivariateSummary(Korlen.PRegressData, K, N);
    EXPECT_EQ(Rec.NVars, 0);
    EXPECT_EQ(Rec.N, 0);
    EXPECT_EQ(Rec.Sum[0], 0);
  }
  EXPECT_TRUE(Messages.Messages().empty());
}

TEST_F(UnivariateTest, MomentsOfConstantDataFailToTheCaller) {
  const std::vector<double> Constant(10, 0.1);
  EXPECT_THROW(Korlen.GetSkew(Constant, 10), EMathError);
  EXPECT_THROW(Korlen.GetKurtosis(Constant, 10), EMathError);
  EXPECT_THROW(Korlen.GetSkew(Constant, 0), EMathError);
  EXPECT_THROW(Korlen.GetKurtosis(Constant, 0), EMathError);
  EXPECT_EQ(Korlen.GetVariance(Constant, 10), 0);
  EXPECT_TRUE(Messages.Messages().empty());

  // Inside the summaries the summary's trap reports them.
  SetRow(1, {1, 2, 3, 4, 5});
  SetRow(2, Constant);
  EXPECT_EQ(Korlen.UnivariateSummary(Korlen.PRegressData, 2, 5).NVars, 0);
  EXPECT_EQ(Korlen.YSummary(Constant, 1).N, 0);
  EXPECT_EQ(Messages.Texts(), (std::vector<std::string>(2, "Error occurred in  UnivariateSummary")));
}

TEST_F(UnivariateTest, NonFiniteDataIsReportedByEachTrap) {
  for (const double Bad : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
    const std::vector<double> x{1, Bad, 3, 4};
    Messages.Clear();
    EXPECT_EQ(Korlen.GetSum(x, 4), 0);
    EXPECT_EQ(Korlen.GetMin(x, 4), 0);
    EXPECT_EQ(Korlen.GetMax(x, 4), 0);
    EXPECT_EQ(Korlen.GetMean(x, 4), 0);
    EXPECT_EQ(Korlen.GetVariance(x, 4), 0);
    EXPECT_EQ(Messages.Texts(), (std::vector<std::string>{"Error occurred in  GetSum", "Error occurred in  GetMin",
                                                          "Error occurred in  GetMax", "Error occurred in  GetMean",
                                                          "Error occurred in  GetVariance"}));
    EXPECT_THROW(Korlen.GetMedian(x, 4), EMathError);
    EXPECT_THROW(Korlen.GetSkew(x, 4), EMathError);
    Messages.Clear();
    EXPECT_EQ(Korlen.YSummary(x, 4).N, 0);
    EXPECT_EQ(Messages.Count("Error occurred in  UnivariateSummary"), 1);
  }
}

}  // namespace
}  // namespace varnel
