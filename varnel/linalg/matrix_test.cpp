// SPDX-License-Identifier: Apache-2.0
#include "varnel/linalg/matrix.h"

#include <gtest/gtest.h>

#include "varnel/korlen.h"
#include "varnel/testing/message_recorder.h"

namespace varnel {
namespace {

using testing::TMessageRecorder;

class MatrixTest : public ::testing::Test {
 protected:
  TKorlen Korlen;
  static TMatrix Square(std::initializer_list<std::initializer_list<Extended>> Rows) {
    TMatrix M{};
    int i = 0;
    for (const auto& Row : Rows) {
      int j = 0;
      for (Extended v : Row) M[i][j++] = v;
      ++i;
    }
    return M;
  }
  static bool ZeroOutside(const TMatrix& M, int Size) {
    for (int i = 0; i < 26; ++i) {
      for (int j = 0; j < 26; ++j) {
        if ((i >= Size || j >= Size) && M[i][j] != 0) return false;
      }
    }
    return true;
  }
};

TEST_F(MatrixTest, InvertsATwoByTwoAndReportsTheDeterminant) {
  TMessageRecorder Messages;
  Extended Det = 0;
  const TMatrix Inv = Korlen.InvertMatrix(Square({{4, 7}, {2, 6}}), 2, Det);
  EXPECT_NEAR(static_cast<double>(Inv[0][0]), 0.6, 1e-18);
  EXPECT_NEAR(static_cast<double>(Inv[0][1]), -0.7, 1e-18);
  EXPECT_NEAR(static_cast<double>(Inv[1][0]), -0.2, 1e-18);
  EXPECT_NEAR(static_cast<double>(Inv[1][1]), 0.4, 1e-18);
  EXPECT_EQ(Det, 10);
  EXPECT_TRUE(ZeroOutside(Inv, 2));
  EXPECT_TRUE(Messages.Messages().empty());
}

TEST_F(MatrixTest, ZeroPivotIsReportedOncePerColumnWithoutRowExchange) {
  for (const TMatrix& M : {Square({{0, 1}, {1, 0}}), Square({{1, 2}, {2, 4}})}) {
    TMessageRecorder Messages;
    Extended Det = 5;
    Korlen.InvertMatrix(M, 2, Det);
    EXPECT_EQ(Messages.Count("Error div by 0 inverting matrices"), 2);
    EXPECT_EQ(Messages.Messages().size(), 2u);
    EXPECT_EQ(Det, 0);
  }
}

TEST_F(MatrixTest, EmptySizesGiveZeroMatrices) {
  Extended Det = 0;
  const TMatrix Full = Korlen.InitMatrix(3, 2.5L);
  for (const auto& Row : Full) {
    for (Extended v : Row) EXPECT_EQ(v, 2.5L);
  }
  EXPECT_TRUE(ZeroOutside(Korlen.IdentityMatrix(0), 0));
  EXPECT_TRUE(ZeroOutside(Korlen.CopyMatrix(Full, 0), 0));
  EXPECT_TRUE(ZeroOutside(Korlen.InvertMatrix(Full, 0, Det), 0));
  EXPECT_EQ(Det, 1);
  const TMatrix Copy = Korlen.CopyMatrix(Full, 3);
  EXPECT_EQ(Copy[2][2], 2.5L);
  EXPECT_TRUE(ZeroOutside(Copy, 3));
  const TMatrix I = Korlen.IdentityMatrix(4);
  EXPECT_EQ(I[3][3], 1);
  EXPECT_EQ(I[0][1], 0);
  EXPECT_TRUE(ZeroOutside(I, 4));
}

TEST_F(MatrixTest, ProductsMultiplyInTheDocumentedOrder) {
  const TMatrix A = Square({{1, 2}, {3, 4}}), B = Square({{0, 1}, {1, 0}});
  const TMatrix P = MatrixProduct(A, B, 2);  // B·A swaps the rows of A
  EXPECT_EQ(P[0][0], 3);
  EXPECT_EQ(P[0][1], 4);
  EXPECT_EQ(P[1][0], 1);
  EXPECT_EQ(P[1][1], 2);
  TVector V{};
  V[0] = 1;
  V[1] = 10;
  const TVector r = VectorMatrixProduct(A, V, 2);  // row vector times A
  EXPECT_EQ(r[0], 31);
  EXPECT_EQ(r[1], 42);
  EXPECT_EQ(r[2], 0);
  EXPECT_EQ(DotProduct(V, r, 2), 31 + 420);
  EXPECT_EQ(DotProduct(V, r, 0), 0);
  const TVector Sevens = InitVector(2, 7);
  EXPECT_EQ(Sevens[1], 7);
  EXPECT_EQ(Sevens[2], 0);
  EXPECT_EQ(InitVector(25, 0)[24], 0);
}

TEST_F(MatrixTest, InversionOfTheLargestBlockReproducesTheIdentity) {
  TMatrix M{};
  for (int i = 0; i < 25; ++i) {
    for (int j = 0; j < 25; ++j) M[i][j] = 1.0L / (1 + std::abs(i - j)) + (i == j ? 25 : 0);
  }
  Extended Det = 0;
  const TMatrix Inv = Korlen.InvertMatrix(M, 25, Det);
  const TMatrix P = MatrixProduct(M, Inv, 25);
  for (int i = 0; i < 25; ++i) {
    for (int j = 0; j < 25; ++j) EXPECT_NEAR(static_cast<double>(P[i][j]), i == j ? 1.0 : 0.0, 1e-17);
  }
  EXPECT_GT(Det, 0);
}

TEST_F(MatrixTest, SizesBeyondTheMatrixAreClipped) {
  Extended Det = 0;
  const TMatrix I = Korlen.IdentityMatrix(255);
  EXPECT_EQ(I[25][25], 1);
  EXPECT_EQ(Korlen.CopyMatrix(I, 200)[25][25], 1);
  EXPECT_EQ(InitVector(255, 1)[25], 1);
  EXPECT_EQ(Korlen.InvertMatrix(I, 255, Det)[25][25], 1);
}

TEST_F(MatrixTest, OverflowInEliminationReachesTheCaller) {
  TMessageRecorder Messages;
  Extended Det = 0;
  const TMatrix M = Square({{1e-4000L, 1e4000L}, {1e4000L, 1}});
  EXPECT_THROW(Korlen.InvertMatrix(M, 2, Det), EMathError);
}

}  // namespace
}  // namespace varnel
