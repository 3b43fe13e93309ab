// SPDX-License-Identifier: Apache-2.0
#include "varnel/engine/moments.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "varnel/engine/errors.h"

namespace varnel::engine {
namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

std::vector<std::vector<double>> RandomColumns(std::size_t p, std::size_t n, unsigned Seed, double Offset) {
  std::mt19937 Engine(Seed);
  std::normal_distribution<double> Noise(0, 1);
  std::vector<std::vector<double>> Columns(p, std::vector<double>(n));
  for (std::size_t j = 0; j < p; ++j) {
    for (double& x : Columns[j]) x = Offset * (j + 1) + (j + 1) * Noise(Engine);
  }
  return Columns;
}

// Rows 1 and 2 each miss one value, so only rows 0 and 3 enter the moments:
// x = 1, 4 and y = 2, 8 give means 2.5 and 5, Cxx 4.5, Cxy 9, Cyy 18.
TEST(EngineMomentsTest, IncompleteRowsAreLeftOutAndCounted) {
  const std::vector<std::vector<double>> Columns = {{1, 2, NaN, 4}, {2, NaN, 6, 8}};
  TMoments S(2);
  S.Add(MakeBatch(Columns));
  EXPECT_EQ(S.Count(), 2u);
  EXPECT_EQ(S.Incomplete(), 2u);
  EXPECT_EQ(S.Mean(0), 2.5L);
  EXPECT_EQ(S.Mean(1), 5.0L);
  EXPECT_EQ(S.CoMoment(0, 0), 4.5L);
  EXPECT_EQ(S.CoMoment(0, 1), 9.0L);
  EXPECT_EQ(S.CoMoment(1, 0), 9.0L);
  EXPECT_EQ(S.CoMoment(1, 1), 18.0L);
  // Ranges and missing counts are over each column's own values.
  EXPECT_EQ(S.Min(0), 1);
  EXPECT_EQ(S.Max(0), 4);
  EXPECT_EQ(S.Min(1), 2);
  EXPECT_EQ(S.Max(1), 8);
  EXPECT_EQ(S.Missing(0), 1u);
  EXPECT_EQ(S.Missing(1), 1u);
}

// Merging the states of two parts agrees with adding the whole, at an
// offset of 1e9 where unshifted sums would keep no digits of the spread;
// the reference is a two-pass sum about the mean.
TEST(EngineMomentsTest, MergeOfPartsAgreesWithTheWholeAndATwoPassSum) {
  const auto Columns = RandomColumns(3, 1001, 7, 1e9);
  const TBatch All = MakeBatch(Columns);
  TMoments Whole(3), A(3), B(3);
  Whole.Add(All);
  A.Add(All.Slice(0, 377));
  B.Add(All.Slice(377, 1001));
  A.Merge(B);
  ASSERT_EQ(A.Count(), 1001u);
  for (std::size_t j = 0; j < 3; ++j) {
    long double Mean = 0;
    for (double x : Columns[j]) Mean += x;
    Mean /= 1001;
    EXPECT_NEAR(A.Mean(j), Whole.Mean(j), 1e-18L * Mean);
    EXPECT_NEAR(A.Mean(j), Mean, 1e-17L * Mean);
    for (std::size_t k = 0; k <= j; ++k) {
      long double MeanK = 0, C = 0;
      for (double x : Columns[k]) MeanK += x;
      MeanK /= 1001;
      for (std::size_t i = 0; i < 1001; ++i) C += (Columns[j][i] - Mean) * (Columns[k][i] - MeanK);
      // The reference's means carry the same 1e-19 relative error, which
      // moves its co-moments by about 1e-10 absolute.
      EXPECT_NEAR(A.CoMoment(j, k), Whole.CoMoment(j, k), 1e-15L * Whole.CoMoment(j, j));
      EXPECT_NEAR(A.CoMoment(j, k), C, 1e-9L * Whole.CoMoment(j, j));
    }
  }
}

TEST(EngineMomentsTest, EmptyStatesMergeAsIdentities) {
  const auto Columns = RandomColumns(2, 50, 3, 10);
  TMoments S(2), Empty(2), FromEmpty(2);
  S.Add(MakeBatch(Columns));
  const TMoments Before = S;
  S.Merge(Empty);
  FromEmpty.Merge(S);
  for (const TMoments* M : {&S, &FromEmpty}) {
    EXPECT_EQ(M->Count(), 50u);
    for (std::size_t j = 0; j < 2; ++j) {
      EXPECT_EQ(M->Mean(j), Before.Mean(j));
      EXPECT_EQ(M->CoMoment(j, 1), Before.CoMoment(j, 1));
      EXPECT_EQ(M->Min(j), Before.Min(j));
    }
  }
}

// A refused batch leaves the state as it was.
TEST(EngineMomentsTest, RefusedBatchesLeaveTheStateUnchanged) {
  const std::vector<std::vector<double>> Good = {{1, 2}, {3, 5}};
  const std::vector<std::vector<double>> Infinite = {{1, 2}, {3, HUGE_VAL}};
  const std::vector<std::vector<double>> Ragged = {{1, 2}, {3}};
  TMoments S(2);
  S.Add(MakeBatch(Good));
  EXPECT_THROW(S.Add(MakeBatch(Infinite)), EOverflow);
  EXPECT_THROW(S.Add(MakeBatch(Ragged)), EEngineError);
  EXPECT_THROW(S.Add(MakeBatch(std::vector<std::vector<double>>{{1.0}})), EEngineError);
  EXPECT_THROW(S.Merge(TMoments(3)), EEngineError);
  EXPECT_EQ(S.Count(), 2u);
  EXPECT_EQ(S.Max(1), 5);
  EXPECT_EQ(S.CoMoment(0, 1), 1.0L);
}

// Integer weights are the rows repeated: the weighted state of rows with
// weights 0..3 against the plain state of each row taken w times. A zero
// weight keeps its row out of the count; the log weights are summed.
TEST(EngineMomentsTest, IntegerWeightsAreRepeatedRows) {
  const std::vector<std::vector<double>> Columns = RandomColumns(3, 40, 7, 1e6);
  std::vector<double> Weights(40);
  std::vector<std::vector<double>> Repeated(3);
  long double LogSum = 0;
  for (std::size_t i = 0; i < 40; ++i) {
    Weights[i] = static_cast<double>(i % 4);
    if (Weights[i] > 0) LogSum += std::log(static_cast<long double>(Weights[i]));
    for (std::size_t r = 0; r < i % 4; ++r) {
      for (std::size_t j = 0; j < 3; ++j) Repeated[j].push_back(Columns[j][i]);
    }
  }
  const std::vector<TBatch> Parts = CutBatches(MakeBatch(Columns), 13);
  TMoments Weighted(3), Plain(3);
  for (const TBatch& Part : Parts) {
    const std::span<const double> W(Weights.data() + Part.FirstRow, Part.Rows());
    TMoments One(3);
    One.Add(Part, W);
    Weighted.Merge(One);
  }
  Plain.Add(MakeBatch(Repeated));
  EXPECT_TRUE(Weighted.Weighted());
  EXPECT_EQ(Weighted.Count(), 30u);  // the ten rows of weight 0 are not counted
  EXPECT_EQ(Weighted.WeightSum(), static_cast<long double>(Plain.Count()));
  EXPECT_NEAR(static_cast<double>(Weighted.LogWeightSum()), static_cast<double>(LogSum), 1e-15);
  for (std::size_t j = 0; j < 3; ++j) {
    EXPECT_NEAR(static_cast<double>(Weighted.Mean(j)), static_cast<double>(Plain.Mean(j)), 1e-14 * 1e6 * (j + 1));
    for (std::size_t k = 0; k < 3; ++k) {
      const double C = static_cast<double>(Plain.CoMoment(j, k));
      EXPECT_NEAR(static_cast<double>(Weighted.CoMoment(j, k)), C, 1e-13 * std::fabs(C)) << j << k;
    }
  }
}

TEST(EngineMomentsTest, WeightsThatAreRefused) {
  const std::vector<std::vector<double>> Columns = {{1, 2, 3}, {4, 5, 7}};
  const std::vector<double> Negative = {1, -1, 1}, Short = {1, 1}, Infinite = {1, HUGE_VAL, 1}, Ones = {1, 1, 1};
  TMoments S(2);
  EXPECT_THROW(S.Add(MakeBatch(Columns), Negative), EEngineError);
  EXPECT_THROW(S.Add(MakeBatch(Columns), Short), EEngineError);
  EXPECT_THROW(S.Add(MakeBatch(Columns), Infinite), EEngineError);
  EXPECT_EQ(S.Count(), 0u);  // as it was
  S.Add(MakeBatch(Columns), Ones);
  EXPECT_THROW(S.Add(MakeBatch(Columns)), EEngineError);  // plain rows into a weighted state
  TMoments Plain(2);
  Plain.Add(MakeBatch(Columns));
  EXPECT_THROW(Plain.Add(MakeBatch(Columns), Ones), EEngineError);
  EXPECT_THROW(Plain.Merge(S), EEngineError);
}

}  // namespace
}  // namespace varnel::engine
