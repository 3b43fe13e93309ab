// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "varnel/korlen.h"
#include "varnel/testing/message_recorder.h"

namespace varnel {
namespace {

using testing::TMessageRecorder;

class PairDistanceTest : public ::testing::Test {
 protected:
  TKorlen Korlen;
  TMessageRecorder Messages;
  TVector x{}, y{};
  void SetUp() override {
    x[0] = 1, x[1] = 2, x[2] = 100;  // entry 2 lies beyond n = 2
    y[0] = 2, y[1] = 1;
  }
};

TEST_F(PairDistanceTest, MakePipedSpansBothSides) {
  const TIntervalRec r = Korlen.MakePiped(10, 2, 1.96L);
  EXPECT_NEAR(static_cast<double>(r.Upper), 13.92, 1e-15);
  EXPECT_NEAR(static_cast<double>(r.Lower), 6.08, 1e-15);
  EXPECT_THROW(Korlen.MakePiped(1e4000L, 1e4000L, 1e4000L), EOverflow);
}

TEST_F(PairDistanceTest, LAndEuclideanDistancesOverTheFirstNEntries) {
  EXPECT_EQ(Korlen.GetLDistance(x, y, 2), 0);  // opposite differences cancel
  EXPECT_EQ(Korlen.GetLDistance(x, y, 3), 100);
  EXPECT_EQ(Korlen.GetLDistance(y, x, 3), -100);
  EXPECT_EQ(Korlen.GetEuclideanDistance(x, y, 2), std::sqrt(2.0L));
  for (int n : {0, 25, 255}) {
    EXPECT_EQ(Korlen.GetLDistance(x, y, n), 0);
    EXPECT_EQ(Korlen.GetEuclideanDistance(x, y, n), 0);
    EXPECT_EQ(Korlen.GetNormEuclideanDistance(x, y, Korlen.IdentityMatrix(26), n), 0);
  }
  EXPECT_TRUE(Messages.Messages().empty());
}

TEST_F(PairDistanceTest, NormalisedEuclideanDividesByStandardDeviations) {
  TMatrix C{};
  C[0][0] = 4, C[1][1] = 9, C[0][1] = C[1][0] = -100;  // off-diagonal entries are not read
  x[1] = 4;
  EXPECT_EQ(Korlen.GetNormEuclideanDistance(x, y, C, 2), std::sqrt(1.25L));
  EXPECT_TRUE(Messages.Messages().empty());
  C[1][1] = 0;
  EXPECT_EQ(Korlen.GetNormEuclideanDistance(x, y, C, 2), 0);
  EXPECT_EQ(Messages.Texts(), std::vector<std::string>{"Error occurred in  NormEuclideanDistances"});
}

TEST_F(PairDistanceTest, FaultsShowTheirMessagesAndGiveZero) {
  x[0] = INFINITY;
  EXPECT_EQ(Korlen.GetLDistance(x, y, 2), 0);
  EXPECT_EQ(Korlen.GetEuclideanDistance(x, y, 2), 0);
  EXPECT_EQ(Messages.Texts(),
            (std::vector<std::string>{"Error occurred in  LDistance", "Error occurred in  EuclideanDistances"}));
}

}  // namespace
}  // namespace varnel
