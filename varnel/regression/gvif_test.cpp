// SPDX-License-Identifier: Apache-2.0
// Generalised VIFs against car::vif (R 4.2.2, car 3.1) of
// lm(mpg ~ cyl + disp + hp + drat + wt + qsec + gear, mtcars) with cyl and
// gear factors.
#include "varnel/regression/gvif.h"

#include <gtest/gtest.h>

#include "varnel/testing/data_sets.h"
#include "varnel/testing/digits.h"

namespace varnel {
namespace {

TEST(GVIFTest, FactorsAndNumbersAsCarVif) {
  const testing::TDataSet M = testing::MtcarsData();
  const auto Dummy = [&M](int Column, double Level) {
    std::vector<double> D;
    for (double v : M.Columns[Column]) D.push_back(v == Level);
    return D;
  };
  const std::vector<std::vector<double>> X = {Dummy(0, 6),  Dummy(0, 8),  M.Columns[1], M.Columns[2], M.Columns[3],
                                              M.Columns[4], M.Columns[5], Dummy(8, 4),  Dummy(8, 5)};
  const std::vector<std::vector<int>> Terms = {{0, 1}, {2}, {3}, {4}, {5}, {6}, {7, 8}};
  const long double GVIF[] = {19.8616863616883634, 15.5804993801116893, 8.0230873343035025, 4.9434573559376176,
                              9.5010908004270576,  5.2070220790169586,  13.4810920016468820};
  const long double Adjusted[] = {2.1110767848095464, 3.9472141289916980, 2.8325054870738562, 2.2233887100409628,
                                  3.0823839476007944, 2.2818900234272812, 1.9161577857592564};
  const std::vector<TTermVIF> V = TermVIFs(X, Terms);
  ASSERT_EQ(V.size(), 7u);
  for (int t = 0; t < 7; ++t) {
    EXPECT_EQ(V[t].DF, static_cast<int>(Terms[t].size())) << t;
    EXPECT_TRUE(testing::AgreesTo(V[t].GVIF, GVIF[t], 12)) << t;
    EXPECT_TRUE(testing::AgreesTo(V[t].Adjusted, Adjusted[t], 12)) << t;
  }
  // The same columns in other terms: one factor of four columns.
  const std::vector<std::vector<int>> Joined = {{0, 1, 7, 8}, {2, 3, 4, 5, 6}};
  const std::vector<TTermVIF> W = TermVIFs(X, Joined);
  EXPECT_TRUE(testing::AgreesTo(W[0].GVIF, W[1].GVIF, 12));
}

}  // namespace
}  // namespace varnel
