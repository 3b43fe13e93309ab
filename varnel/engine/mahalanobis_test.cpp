// SPDX-License-Identifier: Apache-2.0
#include "varnel/engine/mahalanobis.h"

#include <gtest/gtest.h>

#include <cmath>

#include "varnel/engine/errors.h"
#include "varnel/engine/reduce.h"

namespace varnel::engine {
namespace {

// R 4.2.2: x <- cbind(a = c(1, 2, 4, 7, 11, 3), b = c(2, 1, 5, 3, 8, 9));
// mahalanobis(x, colMeans(x), cov(x)) to 17 digits. A third column, a + b,
// is a linear combination of the others: it is left out, and the distances
// are those of a and b. 14 digits are the target.
TEST(EngineMahalanobisTest, AsRWithALinearCombinationLeftOut) {
  const std::vector<double> a = {1, 2, 4, 7, 11, 3}, b = {2, 1, 5, 3, 8, 9};
  std::vector<double> Sum(a.size());
  for (std::size_t i = 0; i < a.size(); ++i) Sum[i] = a[i] + b[i];
  const std::vector<std::vector<double>> Columns = {a, b, Sum};
  const TMahalanobis Distances(Accumulate(MakeBatch(Columns)), 3);
  EXPECT_EQ(Distances.Kept(), (std::vector<std::size_t>{0, 1}));
  EXPECT_EQ(Distances.Aliased(), (std::vector<std::size_t>{2}));
  const double Expected[] = {1.121553884711779636, 1.300125313283208239, 0.078320802005012527,
                             1.253132832080200654, 2.944862155388470626, 3.302005012531328276};
  for (std::size_t i = 0; i < a.size(); ++i) {
    const long double D2 = Distances.D2(std::vector<double>{a[i], b[i], Sum[i]});
    EXPECT_NEAR(static_cast<double>(D2), Expected[i], 1e-14 * Expected[i]) << i;
  }
}

TEST(EngineMahalanobisTest, NoSpreadOrTooFewRowsAreRefused) {
  const std::vector<std::vector<double>> Constant = {{2, 2, 2}};
  EXPECT_THROW(TMahalanobis(Accumulate(MakeBatch(Constant)), 1), EEngineError);
  const std::vector<std::vector<double>> One = {{2}};
  EXPECT_THROW(TMahalanobis(Accumulate(MakeBatch(One)), 1), EEngineError);
}

}  // namespace
}  // namespace varnel::engine
