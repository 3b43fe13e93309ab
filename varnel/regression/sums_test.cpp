// SPDX-License-Identifier: Apache-2.0
// The blocked sums and the operations built on them against plain loops that
// form one sum at a time: every result must be the same to the last bit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>

#include "varnel/korlen.h"
#include "varnel/regression/sums.h"

namespace varnel {
namespace {

// The 80 bits of the value; the padding of a long double is not compared.
::testing::AssertionResult SameBits(Extended a, Extended b) {
  if (std::memcmp(&a, &b, 10) == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << std::hexfloat << a << " vs " << b;
}

// Rows whose values span many orders of magnitude and both signs, so that
// any change in the order of additions changes the rounded sums.
std::unique_ptr<TRegressData> Awkward(int Rows, int n, std::uint32_t Seed) {
  auto X = std::make_unique<TRegressData>();
  std::mt19937 Engine(Seed);
  std::normal_distribution<double> Exponent(0, 6);
  std::uniform_real_distribution<double> Unit(-1, 1);
  for (int j = 0; j < Rows; ++j) {
    for (int i = 0; i < n; ++i) (*X)[j][i] = Unit(Engine) * std::exp(Exponent(Engine));
  }
  return X;
}

Extended PlainProduct(const TObsArray& A, const TObsArray& B, int n) {
  Extended s = 0;
  for (int i = 0; i < n; ++i) s += Extended(A[i]) * B[i];
  return s;
}

Extended PlainSum(const TObsArray& A, int n) {
  Extended s = 0;
  for (int i = 0; i < n; ++i) s += A[i];
  return s;
}

TEST(BlockedSumsTest, EveryBlockWidthAndRemainderMatchesOneSumAtATime) {
  for (int n : {1, 3, 4, 1001}) {
    const auto X = Awkward(MaxVars + 1, n, 17u + n);
    const double* Rows[MaxVars + 1];
    for (int j = 0; j <= MaxVars; ++j) Rows[j] = (*X)[j].data();
    for (int Count = 1; Count <= 9; ++Count) {
      Extended P[9], D[9], S[9], Shifted[9], Centred[9];
      const double AShift = (*X)[MaxVars][n - 1] * 1.25;
      ProductSums(Rows[MaxVars], Rows, Count, n, P);
      ShiftedProductSums(Rows[MaxVars], Rows, Count, n, Shifted);
      CentredProductSums(Rows[MaxVars], AShift, Rows, Count, n, Centred);
      DifferenceSums(Rows[MaxVars], Rows, Count, n, D);
      RowSums(Rows, Count, n, S);
      for (int m = 0; m < Count; ++m) {
        Extended Difference = 0;
        for (int i = 0; i < n; ++i) Difference += Extended((*X)[MaxVars][i]) - (*X)[m][i];
        Extended Cross = 0;
        const Extended a0 = (*X)[MaxVars][0], b0 = (*X)[m][0];
        for (int i = 0; i < n; ++i) Cross += (Extended((*X)[MaxVars][i]) - a0) * (Extended((*X)[m][i]) - b0);
        EXPECT_TRUE(SameBits(P[m], PlainProduct((*X)[MaxVars], (*X)[m], n))) << "n " << n << " count " << Count;
        EXPECT_TRUE(SameBits(D[m], Difference)) << "n " << n << " count " << Count;
        EXPECT_TRUE(SameBits(S[m], PlainSum((*X)[m], n))) << "n " << n << " count " << Count;
        EXPECT_TRUE(SameBits(Shifted[m], Cross)) << "n " << n << " count " << Count;
        Extended AboutShift = 0;
        for (int i = 0; i < n; ++i) AboutShift += (Extended((*X)[MaxVars][i]) - AShift) * (*X)[m][i];
        EXPECT_TRUE(SameBits(Centred[m], AboutShift)) << "n " << n << " count " << Count;
      }
    }
  }
}

// The comparisons above can fail: on these data the same terms summed in
// another order give other bits.
TEST(BlockedSumsTest, DataAreSensitiveToTheOrderOfAddition) {
  const auto X = Awkward(2, 1001, 18u + 1001);
  Extended Forward = 0, Backward = 0;
  for (int i = 0; i < 1001; ++i) Forward += Extended((*X)[0][i]) * (*X)[1][i];
  for (int i = 1000; i >= 0; --i) Backward += Extended((*X)[0][i]) * (*X)[1][i];
  EXPECT_FALSE(SameBits(Forward, Backward));
}

class BlockedOperationsTest : public ::testing::TestWithParam<std::pair<int, int>> {
 protected:
  TKorlen Korlen;
};

// X'X with the constant implied, formed one sum at a time.
TMatrix PlainCrossProducts(const TRegressData& X, int k, int n) {
  TMatrix M{};
  for (int j = 1; j <= k; ++j) M[0][j] = M[j][0] = PlainSum(X[j], n);
  for (int j = 1; j <= k; ++j) {
    for (int l = j; l <= k; ++l) M[j][l] = M[l][j] = PlainProduct(X[j], X[l], n);
  }
  M[0][0] = n;
  return M;
}

TEST_P(BlockedOperationsTest, CrossProductsAndCoefficientsMatchPlainSums) {
  const auto [k, n] = GetParam();
  const auto X = Awkward(k + 1, n, 100u * k + n);
  (*X)[0].fill(1.0);
  const auto Response = Awkward(1, n, 5u * k + n);
  const std::span<const double> Y((*Response)[0].data(), n);
  Korlen.SetScanData(false);
  const TMatrix M = Korlen.CrossProducts(X.get(), k, n);
  const TMatrix Plain = PlainCrossProducts(*X, k, n);
  for (int j = 0; j <= MaxVars + 1; ++j) {
    for (int l = 0; l <= MaxVars + 1; ++l) EXPECT_TRUE(SameBits(M[j][l], Plain[j][l])) << j << "," << l;
  }
  // The coefficients from the plain cross products and a plain X'Y.
  Extended Det = 0;
  const TMatrix Inv = Korlen.InvertMatrix(Plain, k + 1, Det);
  const TMultStatRec Rec = Korlen.ComputeResults(X.get(), Y, Inv, k, n);
  for (int j = 0; j <= k; ++j) {
    Extended b = 0;
    for (int m = 0; m <= k; ++m) b += Inv[j][m] * PlainProduct((*X)[m], (*Response)[0], n);
    EXPECT_TRUE(SameBits(Rec.Beta[j], b)) << "beta " << j;
  }
}

// The scan's decision against its rule evaluated pair by pair: no more than
// one row summing to under 0.01 in magnitude, no two rows whose differences
// sum to under 1.
TEST_P(BlockedOperationsTest, DataScanDecidesAsPairByPairSums) {
  const auto [k, n] = GetParam();
  for (int Variant = 0; Variant < 3; ++Variant) {
    auto X = Awkward(k + 1, n, 7u * k + n + Variant);
    if (Variant == 1 && k >= 2) (*X)[k] = (*X)[k / 2 + 1];  // one pair alike
    if (Variant == 2) {
      for (int j = 1; j <= k; ++j) (*X)[j][0] += 1e6 * j;  // far apart
    }
    int ZeroSums = 0, Similar = 0;
    for (int a = 1; a <= k; ++a) {
      if (std::fabs(PlainSum((*X)[a], n)) < 0.01L) ++ZeroSums;
      for (int b = 1; b < a; ++b) {
        Extended d = 0;
        for (int i = 0; i < n; ++i) d += Extended((*X)[a][i]) - (*X)[b][i];
        if (std::fabs(d) < 1.0L) ++Similar;
      }
    }
    EXPECT_EQ(Korlen.MVCheckXData(X.get(), k, n), ZeroSums <= 1 && Similar == 0) << "variant " << Variant;
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, BlockedOperationsTest,
                         ::testing::Values(std::pair{1, 3}, std::pair{2, 4}, std::pair{5, 7}, std::pair{7, 500},
                                           std::pair{13, 97}, std::pair{24, 1999}));

}  // namespace
}  // namespace varnel
