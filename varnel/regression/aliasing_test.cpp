// SPDX-License-Identifier: Apache-2.0
// Aliasing found as R's lm finds it (qr with tol = 1e-7): the designs that
// R fits whole stay whole, Filip's tenth power is left out as R leaves it
// out, and exact dependencies are found in column order, the earlier
// column kept.
#include "varnel/regression/aliasing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "varnel/testing/data_sets.h"
#include "varnel/testing/digits.h"

namespace varnel {
namespace {

using TColumns = std::vector<std::vector<double>>;

// NIST StRD Filip: the 82 x values; the model is the polynomial of degree 10.
const std::vector<double> kFilipX = {
    -6.860120914, -4.324130045, -4.358625055, -4.358426747, -6.955852379, -6.661145254, -6.355462942, -6.118102026,
    -7.115148017, -6.815308569, -6.519993057, -6.204119983, -5.853871964, -6.109523091, -5.79832982,  -5.482672118,
    -5.171791386, -4.851705903, -4.517126416, -4.143573228, -3.709075441, -3.499489089, -6.300769497, -5.953504836,
    -5.642065153, -5.031376979, -4.680685696, -4.329846955, -3.928486195, -8.56735134,  -8.363211311, -8.107682739,
    -7.823908741, -7.522878745, -7.218819279, -6.920818754, -6.628932138, -6.323946875, -5.991399828, -8.781464495,
    -8.663140179, -8.473531488, -8.247337057, -7.971428747, -7.676129393, -7.352812702, -7.072065318, -6.774174009,
    -6.478861916, -6.159517513, -6.835647144, -6.53165267,  -6.224098421, -5.910094889, -5.598599459, -5.290645224,
    -4.974284616, -4.64454848,  -4.290560426, -3.885055584, -3.408378962, -3.13200249,  -8.726767166, -8.66695597,
    -8.511026475, -8.165388579, -7.886056648, -7.588043762, -7.283412422, -6.995678626, -6.691862621, -6.392544977,
    -6.067374056, -6.684029655, -6.378719832, -6.065855188, -5.752272167, -5.132414673, -4.811352704, -4.098269308,
    -3.66174277,  -3.2644011};

// x, x², ..., x^Degree, each power as R's x^p rounds it.
TColumns Powers(const std::vector<double>& x, int Degree) {
  TColumns C(static_cast<std::size_t>(Degree));
  for (int p = 1; p <= Degree; ++p) {
    for (double v : x) C[p - 1].push_back(std::pow(v, p));
  }
  return C;
}

std::vector<double> Range(double From, double To, double Step) {
  std::vector<double> x;
  for (double v = From; v <= To; v += Step) x.push_back(v);
  return x;
}

// Residual/Norm of each predictor.
std::vector<long double> Ratios(const TAliasing& A) {
  std::vector<long double> R;
  for (std::size_t j = 0; j < A.Norm.size(); ++j) R.push_back(A.Residual[j] / A.Norm[j]);
  return R;
}

TEST(AliasingTest, KeepsEveryColumnOfTheDesignsRFitsWhole) {
  // NIST StRD: Longley; Pontius (x = 150000..3000000 twice, quadratic);
  // Wampler1-5 (x = 0..20, degree 5); NoInt1 and NoInt2 through the origin;
  // and two well-conditioned designs. The smallest margin is Longley's Year
  // (R's squared QR diagonal over its norm: 7.3e-9, 7e5 times the bound).
  std::vector<double> Pontius = Range(150000, 3000000, 150000);
  Pontius.insert(Pontius.end(), Pontius.begin(), Pontius.end());
  const TColumns Designs[] = {testing::LongleyData().Columns, Powers(Pontius, 2), Powers(Range(0, 20, 1), 5),
                              testing::MtcarsData().Columns, testing::RandomData(24, 200, 7).Columns};
  for (const TColumns& X : Designs) {
    const TAliasing A = FindAliasing(X, true);
    EXPECT_TRUE(A.Aliased.empty()) << X.size();
    for (long double r : Ratios(A)) EXPECT_GT(r, 1000 * kAliasTolerance) << X.size();
  }
  EXPECT_TRUE(FindAliasing(TColumns{Range(60, 70, 1)}, false).Aliased.empty());
  EXPECT_TRUE(FindAliasing(TColumns{{4, 5, 6}}, false).Aliased.empty());
}

// The squared residual norms over the squared norms: for Longley R 4.2.2's
// diag(qr.R(qr(X, tol = 0)))^2 / colSums(X^2), X the design with its
// column of ones.
TEST(AliasingTest, ResidualsAreRsQRDiagonals) {
  const long double Longley[] = {1.0449497730153396e-02, 9.7225770576948281e-04, 4.5138177397073861e-02,
                                 2.5021395766863169e-02, 9.6727112794581124e-06, 7.3291649372817791e-09};
  const auto L = Ratios(FindAliasing(testing::LongleyData().Columns, true));
  for (int j = 0; j < 6; ++j) EXPECT_TRUE(testing::AgreesTo(L[j], Longley[j], 10)) << j;
  // Filip, against the same ratios in exact rational arithmetic on the
  // double columns (R's QR agrees to 8 digits; elimination of the cross
  // products in extended precision was 30% off on the last): the last two
  // are 8.9 times and 0.27 times the bound.
  const long double Filip[] = {0.0557512712152631,    0.002997269434962552,  0.00010565564963757567,
                               3.815272317864868e-06, 1.1646939387675996e-07, 3.775145400187923e-09,
                               1.1020403873244319e-10, 3.4289331421000574e-12, 8.942046533870361e-14,
                               2.730041877370829e-15};
  const auto F = Ratios(FindAliasing(Powers(kFilipX, 10), true, 0));
  for (int j = 0; j < 10; ++j) EXPECT_TRUE(testing::AgreesTo(F[j], Filip[j], 10)) << j;
}

TEST(AliasingTest, LeavesOutFilipsTenthPowerAsR) {
  const TAliasing A = FindAliasing(Powers(kFilipX, 10), true);
  EXPECT_EQ(A.Aliased, std::vector<int>{9});
}

TEST(AliasingTest, FindsExactDependenciesKeepingTheEarlierColumn) {
  const std::vector<double> a = {29.35, 23.32, 23.8, 41.89, 42.19, 31.72, 39.74}, b = {2.87, 4.41, 4.43, 1.67, 0.83, 2.85, 1.34},
                            c = {2.87, 3.93, 3.82, 0.22, 4.56, 2.43, 2.67};
  std::vector<double> Sum;
  for (std::size_t i = 0; i < a.size(); ++i) Sum.push_back(a[i] + b[i]);
  // pop15 + pop75 = popdep: the later of the three goes.
  EXPECT_EQ(FindAliasing(TColumns{a, b, c, Sum}, true).Aliased, std::vector<int>{3});
  EXPECT_EQ(FindAliasing(TColumns{Sum, a, b, c}, true).Aliased, std::vector<int>{2});
  // A constant is the intercept's copy, but a column of its own without one;
  // zeros go either way.
  const std::vector<double> Constant(a.size(), 2.5), Zero(a.size(), 0.0);
  EXPECT_EQ(FindAliasing(TColumns{a, Constant, b}, true).Aliased, std::vector<int>{1});
  EXPECT_TRUE(FindAliasing(TColumns{a, Constant, b}, false).Aliased.empty());
  EXPECT_EQ(FindAliasing(TColumns{Zero, a}, false).Aliased, std::vector<int>{0});
  EXPECT_EQ(FindAliasing(TColumns{a, a}, true).Aliased, std::vector<int>{1});
}

// Twelve plants of two types, three observations each: the type is a
// function of the plant, so its dummy is the sum of six plant dummies.
TEST(AliasingTest, FindsANestedFactorInTheOrderOfTheTerms) {
  std::vector<std::vector<double>> Plant(11), Type(1), Conc(1);
  const double Concentrations[] = {95, 350, 1000};
  for (int p = 0; p < 12; ++p) {
    for (double x : Concentrations) {
      for (int l = 1; l < 12; ++l) Plant[l - 1].push_back(p == l);
      Type[0].push_back(p >= 6);
      Conc[0].push_back(x);
    }
  }
  TColumns PlantFirst = Plant;
  PlantFirst.insert(PlantFirst.end(), {Type[0], Conc[0]});
  EXPECT_EQ(FindAliasing(PlantFirst, true).Aliased, std::vector<int>{11});
  // Type first: the last plant of the second type goes instead.
  TColumns TypeFirst = Type;
  TypeFirst.insert(TypeFirst.end(), Plant.begin(), Plant.end());
  TypeFirst.push_back(Conc[0]);
  EXPECT_EQ(FindAliasing(TypeFirst, true).Aliased, std::vector<int>{11});
}

}  // namespace
}  // namespace varnel
