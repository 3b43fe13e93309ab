// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "varnel/korlen.h"
#include "varnel/testing/data_sets.h"
#include "varnel/testing/message_recorder.h"
#include "varnel/testing/reference_fit.h"
#include "varnel/testing/report_lines.h"

namespace varnel {
namespace {

using testing::TMessageRecorder;
using TTexts = std::vector<std::string>;

class DerivedRegressionTest : public ::testing::Test {
 protected:
  TKorlen Korlen;
  // The whole matrix, to show that a call left the caller's data as it was.
  std::unique_ptr<TRegressData> Snapshot() const { return std::make_unique<TRegressData>(*Korlen.PRegressData); }
  // Fills the rows after the data with values a fit must not disturb.
  void Scribble(int FromRow) {
    for (int j = FromRow; j <= MaxVars; ++j) {
      for (int i = 0; i < MaxObs; ++i) (*Korlen.PRegressData)[j][i] = j * 1000.0 + i * 0.001;
    }
  }
};

TEST_F(DerivedRegressionTest, ComputedPredictorFitsLikeAStoredOne) {
  const testing::TDataSet Data = testing::RandomData(2, 40, 3);
  testing::Load(Korlen, Data);
  Scribble(3);
  const auto Before = Snapshot();
  TMessageRecorder Messages;
  const TMultStatRec Interaction = Korlen.MVInteractionRegression(Korlen.PRegressData, Korlen.Y, 2, 40, 1, 2);
  EXPECT_TRUE(*Korlen.PRegressData == *Before);
  const TMultStatRec Square = Korlen.MVPolynomialRegression(Korlen.PRegressData, Korlen.Y, 2, 40, 2);
  EXPECT_TRUE(*Korlen.PRegressData == *Before);
  EXPECT_TRUE(Messages.Messages().empty());

  testing::TDataSet WithProduct = Data, WithSquare = Data;
  WithProduct.Columns.emplace_back();
  WithSquare.Columns.emplace_back();
  for (int i = 0; i < 40; ++i) {
    WithProduct.Columns[2].push_back(Data.Columns[0][i] * Data.Columns[1][i]);
    WithSquare.Columns[2].push_back(Data.Columns[1][i] * Data.Columns[1][i]);
  }
  const auto ProductRef = testing::ReferenceLeastSquares(WithProduct);
  const auto SquareRef = testing::ReferenceLeastSquares(WithSquare);
  EXPECT_EQ(Interaction.K, 3);
  EXPECT_EQ(Square.K, 3);
  for (int j = 0; j <= 3; ++j) {
    EXPECT_NEAR(Interaction.Beta[j], ProductRef.Beta[j], 1e-9 * (1 + std::fabs(ProductRef.Beta[j]))) << j;
    EXPECT_NEAR(Square.Beta[j], SquareRef.Beta[j], 1e-9 * (1 + std::fabs(SquareRef.Beta[j]))) << j;
  }
}

TEST_F(DerivedRegressionTest, InvalidArgumentsLeaveMatrixAndRecordZero) {
  testing::Load(Korlen, testing::RandomData(2, 40, 3));
  Scribble(3);
  const auto Before = Snapshot();
  TMessageRecorder Messages;
  TRegressData* X = Korlen.PRegressData;
  for (const TMultStatRec& Rec :
       {Korlen.MVInteractionRegression(X, Korlen.Y, 2, 40, 0, 1), Korlen.MVInteractionRegression(X, Korlen.Y, 2, 40, 1, 3),
        Korlen.MVPolynomialRegression(X, Korlen.Y, 2, 40, 3), Korlen.MVPolynomialRegression(X, Korlen.Y, 24, 40, 1),
        Korlen.MVPolynomialRegression(X, Korlen.Y, 2, 2, 1), Korlen.MVPolynomialRegression(nullptr, Korlen.Y, 2, 40, 1),
        Korlen.MVPolynomialRegression(X, std::vector<double>(10), 2, 40, 1)}) {
    EXPECT_EQ(Rec.N, 0);
    EXPECT_EQ(Rec.Beta[0], 0);
  }
  EXPECT_TRUE(*Korlen.PRegressData == *Before);
  EXPECT_TRUE(Messages.Messages().empty());
}

TEST_F(DerivedRegressionTest, FailedFitStillRestoresTheWorkingRow) {
  Korlen.SetScanData(false);
  testing::Load(Korlen, testing::RandomData(2, 40, 3));
  Scribble(3);
  TRegressData* X = Korlen.PRegressData;
  {
    // A NaN stops the product row half way.
    (*X)[1][20] = NAN;
    const auto Before = Snapshot();
    TMessageRecorder Messages;
    EXPECT_EQ(Korlen.MVPolynomialRegression(X, Korlen.Y, 2, 40, 1).N, 0);
    EXPECT_EQ(Messages.Texts(), TTexts{"Error occurred in  MVPolynomialRegression"});
    const auto After = Snapshot();
    EXPECT_EQ(std::memcmp(After.get(), Before.get(), sizeof(TRegressData)), 0);  // NaN compares unequal to itself
    (*X)[1][20] = 1.5;
  }
  {
    // Four observations leave no error degree of freedom for three predictors.
    const auto Before = Snapshot();
    TMessageRecorder Messages;
    EXPECT_EQ(Korlen.MVInteractionRegression(X, Korlen.Y, 2, 4, 1, 2).N, 0);
    EXPECT_EQ(Messages.Texts(), (TTexts{"Error computing regression coefficients",
                                        "Error occurred in  MVInteractionRegression"}));
    EXPECT_TRUE(*Korlen.PRegressData == *Before);
    // k + 1 = n: the fit rejects the counts with its own message.
    Messages.Clear();
    EXPECT_EQ(Korlen.MVInteractionRegression(X, Korlen.Y, 2, 3, 1, 1).N, 0);
    EXPECT_EQ(Messages.Texts(), TTexts{"Number of vars must be > 0, and n > 2"});
    EXPECT_TRUE(*Korlen.PRegressData == *Before);
  }
}

TEST_F(DerivedRegressionTest, RemoveVariableShiftsLaterRowsDown) {
  testing::Load(Korlen, testing::RandomData(3, 10, 4));
  Scribble(4);
  TRegressData* X = Korlen.PRegressData;
  const auto Before = Snapshot();
  Korlen.MultStatRec.K = 3;
  Byte k = 3;
  Korlen.MVRemoveVariable(X, k, 10, 1);
  EXPECT_EQ(k, 2);
  EXPECT_EQ(Korlen.MultStatRec.K, 2);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ((*X)[1][i], (*Before)[2][i]);
    EXPECT_EQ((*X)[2][i], (*Before)[3][i]);
    EXPECT_EQ((*X)[3][i], (*Before)[3][i]);  // the old last row stays
  }
  EXPECT_EQ((*X)[1][10], (*Before)[1][10]);  // beyond n nothing moves
  Korlen.MVRemoveVariable(X, k, 10, 2);
  EXPECT_EQ(k, 1);
  EXPECT_EQ(Korlen.MultStatRec.K, 1);
  for (int i = 0; i < 10; ++i) EXPECT_EQ((*X)[2][i], 0);
  EXPECT_EQ((*X)[2][10], (*Before)[2][10]);
  // Out of range: nothing changes.
  const auto Now = Snapshot();
  for (Byte v : {0, 2}) Korlen.MVRemoveVariable(X, k, 10, v);
  k = 1;
  Korlen.MVRemoveVariable(X, k, 1, 1);
  Korlen.MVRemoveVariable(nullptr, k, 10, 1);
  EXPECT_EQ(k, 1);
  EXPECT_TRUE(*Korlen.PRegressData == *Now);
  // A record without predictors keeps a count of 0.
  Korlen.MultStatRec.K = 0;
  Korlen.MVRemoveVariable(X, k, 10, 1);
  EXPECT_EQ(k, 0);
  EXPECT_EQ(Korlen.MultStatRec.K, 0);
}

class DummyRegressionTest : public DerivedRegressionTest {};

TEST_F(DummyRegressionTest, ReportGivesEachStratumsCoefficients) {
  // Within each stratum the noise (+½, −½, −½, +½) is orthogonal to 1 and x,
  // so the fit recovers y = 1 + 2x for d = 0 and y = 4 + 2.5x for d = 1.
  const std::vector<double> X{1, 2, 3, 4, 5, 6, 7, 8}, D{0, 0, 0, 0, 1, 1, 1, 1};
  const double Noise[] = {0.5, -0.5, -0.5, 0.5};
  std::vector<double> Y;
  for (int t = 0; t < 8; ++t) Y.push_back((t < 4 ? 1 + 2 * X[t] : 4 + 2.5 * X[t]) + Noise[t % 4]);
  TMessageRecorder Messages;
  const std::string Report = Korlen.DummyXYRegression(X, Y, D, 8, "Strata");
  EXPECT_EQ(Report,
            "Strata\r\n"
            "\r\n"
            "Section 1: Parameters for stratification value = 0\r\n"
            " \xDF" "0:    1.0000  \xDF" "1:    2.0000 \r\n"
            "Section 2: Parameters for stratification value > 0\r\n"
            " \xDF" "0:    3.0000  \xDF" "1:    0.5000 \r\n"
            "\r\n"
            "Total Observations:     8\r\n"
            "Non-zero obs. (strat. var.):     4\r\n");
  EXPECT_TRUE(Messages.Messages().empty());
}

TEST_F(DummyRegressionTest, RejectedFitsShowZeros) {
  const std::vector<double> X{1, 2, 3, 4, 5, 6}, Y{2, 1, 4, 3, 6, 5};
  TMessageRecorder Messages;
  // No stratum value: the scan rejects the empty dummy rows silently.
  const TTexts Empty = testing::ReportLines(Korlen.DummyXYRegression(X, Y, std::vector<double>(6, 0.0), 6, "T"));
  ASSERT_EQ(Empty.size(), 9u);
  EXPECT_EQ(Empty[3], " \xDF" "0:    0.0000  \xDF" "1:    0.0000 ");
  EXPECT_EQ(Empty[8], "Non-zero obs. (strat. var.):     0");
  // Negative stratum values are not counted.
  const std::vector<double> Negative{-1, 0, -2, 0, -1, 0};
  EXPECT_EQ(testing::ReportLines(Korlen.DummyXYRegression(X, Y, Negative, 6, "T"))[8],
            "Non-zero obs. (strat. var.):     0");
  EXPECT_TRUE(Messages.Messages().empty());
  Korlen.SetScanData(false);
  // Too many observations for a fit: its own message, then zeros.
  const std::vector<double> Big(MaxObs, 1.0);
  const TTexts Lines = testing::ReportLines(Korlen.DummyXYRegression(Big, Big, Big, MaxObs, "T"));
  EXPECT_EQ(Messages.Texts(), TTexts{"Number of vars must be > 0, and n > 2"});
  EXPECT_EQ(Lines[5], " \xDF" "0:    0.0000  \xDF" "1:    0.0000 ");
  EXPECT_EQ(Lines[7], "Total Observations: 20000");
  // Arrays shorter than n are not read: an empty report.
  EXPECT_EQ(Korlen.DummyXYRegression(X, Y, std::vector<double>(3), 6, "T"), "");
}

}  // namespace
}  // namespace varnel
