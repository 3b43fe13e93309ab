// SPDX-License-Identifier: Apache-2.0
#include "varnel/engine/glm.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <tuple>

#include "varnel/engine/reduce.h"

namespace varnel::engine {
namespace {

// mtcars: wt, hp, am, mpg, carb, qsec (R 4.2.2's datasets).
const std::vector<double> kWt{2.62, 2.875, 2.32, 3.215, 3.44, 3.46, 3.57, 3.19, 3.15, 3.44, 3.44,
                              4.07, 3.73, 3.78, 5.25, 5.424, 5.345, 2.2, 1.615, 1.835, 2.465, 3.52,
                              3.435, 3.84, 3.845, 1.935, 2.14, 1.513, 3.17, 2.77, 3.57, 2.78};
const std::vector<double> kHp{110, 110, 93,  110, 175, 105, 245, 62,  95,  123, 123, 180, 180, 180, 205, 215,
                              230, 66,  52,  65,  97,  150, 150, 245, 175, 66,  91,  113, 264, 175, 335, 109};
const std::vector<double> kAm{1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                              0, 1, 1, 1, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1};
const std::vector<double> kMpg{21,   21,   22.8, 21.4, 18.7, 18.1, 14.3, 24.4, 22.8, 19.2, 17.8,
                               16.4, 17.3, 15.2, 10.4, 10.4, 14.7, 32.4, 30.4, 33.9, 21.5, 15.5,
                               15.2, 13.3, 19.2, 27.3, 26,   30.4, 15.8, 19.7, 15,   21.4};
const std::vector<double> kCarb{4, 4, 1, 1, 2, 1, 4, 2, 2, 4, 4, 3, 3, 3, 4, 4, 4, 1, 2, 1, 1, 2, 2, 4, 2, 1, 2, 2, 4, 6, 8, 2};
const std::vector<double> kQsec{16.46, 17.02, 18.61, 19.44, 17.02, 20.22, 15.84, 20,    22.9,  18.3, 18.9,
                                17.4,  17.6,  18,    17.98, 17.82, 17.42, 19.47, 18.52, 19.9,  20.01, 16.87,
                                17.3,  15.41, 17.05, 18.9,  16.7,  16.9,  14.5,  15.5,  14.6,  18.6};

// The fit over batches of 5 rows (so that the passes merge), on Threads.
TGlmFit Fit(const std::vector<std::vector<double>>& Columns, TGlmFamily Family, TGlmLink Link, std::size_t Threads = 1,
            bool Intercept = true, std::size_t BatchRows = 5) {
  const TBatch Data = MakeBatch(Columns);
  const TGlmReduce Reduce = [&](const TGlmStep& Step) {
    return ReduceBatches<TGlmPass>(Data, Threads, BatchRows, [&](const TBatch& B) { return GlmPass(Step, B); });
  };
  return FitGlm(MakeGlmModel(Family, Link), Columns.size() - 1, Intercept, Reduce);
}

// The fit of rows with optional columns (after the response) over batches
// of 5 rows on 2 threads.
TGlmFit FitWith(const std::vector<std::vector<double>>& Columns, TGlmColumns Extra, TGlmFamily Family, TGlmLink Link,
                bool Intercept = true) {
  const TBatch Data = MakeBatch(Columns);
  const TGlmReduce Reduce = [&](const TGlmStep& Step) {
    return ReduceBatches<TGlmPass>(Data, 2, 5, [&](const TBatch& B) { return GlmPass(Step, B); });
  };
  const std::size_t K = Columns.size() - 1 - Extra.Offset - Extra.Weights;
  return FitGlm(MakeGlmModel(Family, Link), K, Intercept, Reduce, 25, 1e-8L, Extra);
}

struct TExpected {
  std::vector<double> Coef, StdErr;
  double Deviance, NullDeviance, Aic, Bic;
  int Iterations;
  double Dispersion;
};

// R's figures to 9 significant digits; the iterations exactly.
void ExpectAsR(const TGlmFit& F, const TExpected& R) {
  constexpr double Digits = 1e-9;
  ASSERT_EQ(F.Rank(), R.Coef.size());
  for (std::size_t j = 0; j < R.Coef.size(); ++j) {
    EXPECT_NEAR(F.Coef[j], R.Coef[j], Digits * std::fabs(R.Coef[j])) << "coefficient " << j;
    const double Se = std::sqrt(static_cast<double>(F.Dispersion * F.Covariance[j * F.Rank() + j]));
    EXPECT_NEAR(Se, R.StdErr[j], Digits * R.StdErr[j]) << "standard error " << j;
  }
  EXPECT_NEAR(F.Deviance, R.Deviance, Digits * R.Deviance);
  EXPECT_NEAR(F.NullDeviance, R.NullDeviance, Digits * R.NullDeviance);
  EXPECT_NEAR(F.Aic, R.Aic, Digits * std::fabs(R.Aic));
  if (!std::isnan(R.Bic)) {
    EXPECT_NEAR(F.Bic, R.Bic, Digits * std::fabs(R.Bic));
  }
  EXPECT_NEAR(F.Dispersion, R.Dispersion, Digits * R.Dispersion);
  EXPECT_EQ(F.Iterations, R.Iterations);
  EXPECT_TRUE(F.Converged);
}

// R's fitted, residuals (deviance, pearson), hatvalues, cooks.distance and
// rstandard of a row, to 9 digits; NaN where R leaves the row out.
void ExpectRowAsR(const TGlmFit& F, const std::vector<std::vector<double>>& Columns, std::size_t i,
                  const std::vector<double>& R) {
  std::vector<double> Row;
  for (const std::vector<double>& Column : Columns) Row.push_back(Column[i]);
  const TGlmObservation O = GlmObservation(F, Row);
  const double Got[] = {O.Fitted, O.Residual, O.Pearson, O.Hat, O.CooksD, O.StdResid};
  for (std::size_t j = 0; j < R.size(); ++j) {
    if (std::isnan(R[j])) EXPECT_TRUE(std::isnan(Got[j])) << "row " << i << " figure " << j;
    else EXPECT_NEAR(Got[j], R[j], 1e-9 * std::fabs(R[j])) << "row " << i << " figure " << j;
  }
}

TEST(Glm, LogisticAndProbitAsR) {
  ExpectAsR(Fit({kWt, kHp, kAm}, TGlmFamily::Binomial, TGlmLink::Logit),
            {{18.866298717204096, -8.0834751824446283, 0.036255596082216547},
             {7.4435580602052740, 3.0686751130546961, 0.017734153650769347},
             10.059110472266989, 43.229733276857807, 16.059110472266987, 20.456318180666166, 8, 1});
  ExpectAsR(Fit({kWt, kHp, kAm}, TGlmFamily::Binomial, TGlmLink::Probit),
            {{10.405519549499060, -4.5421915176549001, 0.021258960840616792},
             {3.6203397249351368, 1.5120529348568941, 0.009190388857521237},
             9.8605071392150769, 43.229733276857807, 15.860507139215079, 20.25771484761426, 9, 1});
}

// Stopped at maxit = 2, as glm(..., control = list(maxit = 2)): the
// coefficients of the second solve, not converged.
TEST(Glm, StopsUnconvergedAtTheIterationLimit) {
  const std::vector<std::vector<double>> Columns{kWt, kHp, kAm};
  const TBatch Data = MakeBatch(Columns);
  const TGlmReduce Reduce = [&](const TGlmStep& Step) { return GlmPass(Step, Data); };
  const TGlmFit F = FitGlm(MakeGlmModel(TGlmFamily::Binomial, TGlmLink::Logit), 2, true, Reduce, 2);
  EXPECT_FALSE(F.Converged);
  EXPECT_EQ(F.Iterations, 2);
  const double R[] = {9.599312972663030408, -4.235145514081533058, 0.021127339024459017};
  for (std::size_t j = 0; j < 3; ++j) EXPECT_NEAR(F.Coef[j], R[j], 1e-9 * std::fabs(R[j]));
  EXPECT_NEAR(F.Deviance, 12.987439312831116, 1e-9 * 12.987439312831116);
}

TEST(Glm, GammaInverseGaussianAndGaussianAsR) {
  ExpectAsR(Fit({kWt, kHp, kMpg}, TGlmFamily::Gamma, TGlmLink::Log),
            {{3.8258701726410984, -0.19698666595880882, -0.0015601051287639184},
             {0.071138396932221265, 0.028153613538703721, 0.00040177888295748451},
             0.36816082819816204, 2.7352896502848743, 145.27526500641022, 151.13820861760914, 4,
             0.013315871556002109});
  ExpectAsR(Fit({kWt, kHp, kMpg}, TGlmFamily::Gamma, TGlmLink::Inverse),
            {{8.9226000010745755e-03, 9.8264361546622631e-03, 8.8873358710919069e-05},
             {2.9598368470296847e-03, 1.4599753305029035e-03, 2.2259671420283929e-05},
             0.33448944571214423, 2.7352896502848743, 142.20038760247652, 148.06333121367544, 4,
             0.011612121725283475});
  ExpectAsR(Fit({kWt, kHp, kMpg}, TGlmFamily::InverseGaussian, TGlmLink::InverseSquare),
            {{-1.2957778359115751e-03, 9.0493841594370471e-04, 9.6819240235189356e-06},
             {2.8902271689407275e-04, 1.6395790615902846e-04, 2.6440978864190183e-06},
             0.023325309663870003, 0.14248896107810236, 151.56697824030604, 157.42992185150496, 4,
             0.00074383479758686696});
  ExpectAsR(Fit({kWt, kHp, kMpg}, TGlmFamily::Gaussian, TGlmLink::Identity),
            {{37.227270116447201, -3.8778307424040821, -0.031772946982161002},
             {1.5987875379993928, 0.63273349437739479, 0.0090297096758557155},
             195.04775474146604, 1126.0471874999998, 156.65233882564129, 162.51528243684021, 2,
             6.7257846462574493});
}

TEST(Glm, PoissonWithSquareRootLinkAsR) {
  ExpectAsR(Fit({kWt, kCarb}, TGlmFamily::Poisson, TGlmLink::Sqrt),
            {{0.96267206819106632, 0.21794770602848587},
             {0.308223900389075822, 0.091779823084582643},
             21.642661813836604, 27.043357450132145, 115.00831147124438, 117.93978327684384, 4, 1});
}

// A generated logistic sample: the same bits on 1 and 3 threads (the
// batches and their merge order fixed), and an exact copy of a predictor
// aliased, the fit as without it.
TEST(Glm, ThreadsGiveTheSameBitsAndACopyIsAliased) {
  std::mt19937_64 Engine(7);
  std::normal_distribution<double> Normal;
  std::vector<double> x1(20000), x2(20000), y(20000);
  for (std::size_t i = 0; i < y.size(); ++i) {
    x1[i] = 100 + Normal(Engine);
    x2[i] = Normal(Engine);
    const double p = 1 / (1 + std::exp(-(0.5 * (x1[i] - 100) - x2[i])));
    y[i] = std::uniform_real_distribution<double>()(Engine) < p;
  }
  const TGlmFit One = Fit({x1, x2, y}, TGlmFamily::Binomial, TGlmLink::Logit, 1, true, 1000);
  const TGlmFit Three = Fit({x1, x2, y}, TGlmFamily::Binomial, TGlmLink::Logit, 3, true, 1000);
  // Exact equality of the values (a long double's padding bytes are not compared).
  EXPECT_EQ(One.Coef, Three.Coef);
  EXPECT_EQ(One.Covariance, Three.Covariance);
  EXPECT_EQ(One.Deviance, Three.Deviance);
  const TGlmFit Copied = Fit({x1, x2, x1, y}, TGlmFamily::Binomial, TGlmLink::Logit, 1, true, 1000);
  EXPECT_EQ(Copied.Aliased, std::vector<std::size_t>{2});
  EXPECT_NEAR(Copied.Deviance, One.Deviance, 1e-9 * One.Deviance);
}

// glm.fit's refusals: a response outside the family's domain names its
// row; a link the family does not take is refused.
TEST(Glm, ResponseOutsideTheDomainAndUnknownLinks) {
  std::vector<double> Y = kCarb;
  Y[12] = -1;
  try {
    Fit({kWt, Y}, TGlmFamily::Poisson, TGlmLink::Log);
    ADD_FAILURE() << "a negative count was fitted";
  } catch (const EGlmResponseError& Error) {
    EXPECT_EQ(Error.Row, 12);
  }
  std::vector<double> Ones(kAm.size(), 0.5);
  Ones[3] = 2;
  EXPECT_THROW(Fit({kWt, Ones}, TGlmFamily::Binomial, TGlmLink::Logit), EGlmResponseError);
  EXPECT_THROW(MakeGlmModel(TGlmFamily::Binomial, TGlmLink::Inverse), EEngineError);
  EXPECT_THROW(GlmFamilyOf("quasi"), EEngineError);
  EXPECT_EQ(GlmLinkOf("1/mu^2"), TGlmLink::InverseSquare);
  // The links glm's families take by name.
  using enum TGlmLink;
  EXPECT_EQ(AllowedLinks(TGlmFamily::Binomial), (std::vector<TGlmLink>{Logit, Probit, Cloglog, Cauchit, Log}));
  EXPECT_EQ(AllowedLinks(TGlmFamily::Poisson), (std::vector<TGlmLink>{Log, Identity, Sqrt}));
  EXPECT_EQ(AllowedLinks(TGlmFamily::Gaussian), (std::vector<TGlmLink>{Identity, Log, Inverse}));
  EXPECT_EQ(AllowedLinks(TGlmFamily::Gamma), (std::vector<TGlmLink>{Inverse, Identity, Log}));
  EXPECT_EQ(AllowedLinks(TGlmFamily::InverseGaussian), (std::vector<TGlmLink>{InverseSquare, Inverse, Identity, Log}));
  EXPECT_EQ(GlmLinkOf("cauchit"), Cauchit);
  EXPECT_THROW(MakeGlmModel(TGlmFamily::Poisson, Cauchit), EEngineError);
}

// The beetle mortality data (Bliss, 1935): dose, insects, and the dead.
const std::vector<double> kDose{1.6907, 1.7242, 1.7552, 1.7842, 1.8113, 1.8369, 1.8610, 1.8839};
const std::vector<double> kExposed{59, 60, 62, 56, 63, 59, 62, 60};
const std::vector<double> kDead{6, 13, 18, 28, 52, 53, 61, 60};
constexpr double NA = std::numeric_limits<double>::quiet_NaN();

std::vector<double> Proportions() {
  std::vector<double> p(kDead.size());
  for (std::size_t i = 0; i < p.size(); ++i) p[i] = kDead[i] / kExposed[i];
  return p;
}

// glm(dead/n ~ dose, weights = n, family = binomial), and the cauchit
// glm(am ~ wt, data = mtcars, family = binomial("cauchit")).
TEST(Glm, BinomialOfProportionsWithWeightsAndCauchitAsR) {
  const std::vector<std::vector<double>> Beetle{kDose, Proportions(), kExposed};
  const TGlmFit Logit = FitWith(Beetle, {false, true}, TGlmFamily::Binomial, TGlmLink::Logit);
  ExpectAsR(Logit, {{-60.717454561374865, 34.270325733999847}, {5.1807010004607479, 2.912134151736339},
                    11.232231097419328, 284.20244948083143, 41.430269314511825, 41.589152397871494, 4, 1});
  EXPECT_EQ(Logit.DfResidual, 6u);
  EXPECT_EQ(Logit.DfNull, 7u);
  EXPECT_EQ(Logit.NonIntegerSuccesses, 0u);
  ExpectRowAsR(Logit, Beetle, 0,
               {0.058601025516564133, 1.2836777035782174, 1.4092960458004853, 0.26814102214004221,
                0.49714482397093096, 1.500521752269663});
  ExpectRowAsR(Logit, Beetle, 3,
               {0.60531490633258078, -1.5941243746077556, -1.6123815228173517, 0.23252718780469891,
                0.51316067766589657, -1.8196619026430314});

  const std::vector<std::vector<double>> Cars{kWt, kAm};
  const TGlmFit Cauchit = Fit(Cars, TGlmFamily::Binomial, TGlmLink::Cauchit);
  ExpectAsR(Cauchit, {{24.229795649701742, -7.8946701526717806}, {17.740594410070678, 5.6174370371557156},
                      18.677715542628889, 43.229733276857807, 22.677715542628889, 25.609187348228343, 8, 1});
  ExpectRowAsR(Cauchit, Cars, 30,
               {0.07884647871163028, 2.2539976151871084, 3.4180220263650876, 0.033512419438182492,
                0.20957184948114307, 2.2927426684563028});
}

// Successes w·y that are not whole numbers: glm warns, and the binomial
// likelihood rounds w·y and w half to even. glm(am ~ wt, weights = qsec/10)
// and glm(y ~ wt) with y[1] = 0.5 (rounded to 0 successes).
TEST(Glm, NonIntegerSuccessesAreCountedAndRoundedAsR) {
  std::vector<double> Tenths(kWt.size());
  for (std::size_t i = 0; i < Tenths.size(); ++i) Tenths[i] = kQsec[i] / 10;
  const TGlmFit F = FitWith({kWt, kAm, Tenths}, {false, true}, TGlmFamily::Binomial, TGlmLink::Logit);
  ExpectAsR(F, {{11.943734929446794, -4.0608386444897331}, {3.3288856882600291, 1.0768227268857742},
                33.112750662795698, 76.648043831223077, 34.830029629270896, 37.761501434870347, 6, 1});
  EXPECT_EQ(F.NonIntegerSuccesses, 13u);
  std::vector<double> Half = kAm;
  Half[0] = 0.5;
  const TGlmFit H = Fit({kWt, Half}, TGlmFamily::Binomial, TGlmLink::Logit);
  EXPECT_NEAR(H.Aic, 25.616615131303313, 1e-9 * 25.616615131303313);
  EXPECT_NEAR(H.Deviance, 19.096747603106046, 1e-9 * 19.096747603106046);
  EXPECT_EQ(H.NonIntegerSuccesses, 1u);
}

// MASS::Insurance (claims of 64 groups of policy holders; district, car
// group and age as their codes 1 to 4): glm(Claims ~ D + G + A +
// offset(log(Holders)), poisson), whose null deviance is of a second fit
// of the constant with the offset; without the intercept, at μ = Holders;
// with weights Holders/100 as well; and with a constant offset log(50),
// whose null deviance is as without it.
TEST(Glm, PoissonWithOffsetAsR) {
  const std::vector<double> Holders{
      197, 264, 246, 1680, 284, 536, 696, 3582, 133, 286, 355, 1640, 24, 71,  99,  452, 85,  139, 151, 931, 149, 313,
      419, 2443, 66, 175, 221, 1110, 9,   48,  72,  322,  35, 73,  89, 648, 53, 155, 240, 1635, 24,  78,  121, 692,
      7,   29,  43,  245, 20,  33,  40,  316, 31, 81, 122, 724, 18, 39, 68,  344, 3,   16,  25,  114};
  const std::vector<double> Claims{38, 35, 20, 156, 63, 84, 89, 400, 19, 52, 74, 233, 4,  18, 19, 77,
                                   22, 19, 22, 87,  25, 51, 49, 290, 14, 46, 39, 143, 4,  15, 12, 53,
                                   5,  11, 10, 67,  10, 24, 37, 187, 8,  19, 24, 101, 3,  2,  8,  37,
                                   2,  5,  4,  36,  7,  10, 22, 102, 5,  7,  16, 63,  0,  6,  8,  33};
  std::vector<double> District(64), Group(64), Age(64), LogHolders(64), Weights(64), Fifty(64, std::log(50.0));
  for (std::size_t i = 0; i < 64; ++i) {
    District[i] = static_cast<double>(i / 16 + 1);
    Group[i] = static_cast<double>(i / 4 % 4 + 1);
    Age[i] = static_cast<double>(i % 4 + 1);
    LogHolders[i] = std::log(Holders[i]);
    Weights[i] = Holders[i] / 100;
  }
  const std::vector<std::vector<double>> Rows{District, Group, Age, Claims, LogHolders};
  const TGlmFit F = FitWith(Rows, {true, false}, TGlmFamily::Poisson, TGlmLink::Log);
  ExpectAsR(F, {{-1.9273874229814245, 0.054880524117683488, 0.19715360610650465, -0.17923254224762705},
                {0.084787730128280586, 0.017920850760821679, 0.020810571674912709, 0.018539882073272718},
                57.026769289193851, 236.25895887886065, 382.34829053862728, 390.98382287206596, 4, 1});
  EXPECT_TRUE(F.NullConverged);
  EXPECT_EQ(F.DfResidual, 60u);
  EXPECT_EQ(F.DfNull, 63u);
  ExpectRowAsR(F, Rows, 0,
               {30.833997425206238, 1.2448225037732519, 1.2905119902803575, 0.095265010099900502,
                0.048456801168385452, 1.3087199943739747});
  ExpectRowAsR(F, Rows, 60,
               {1.0001288526365988, -1.414304672011373, -1.0000644242430579, 0.0051252587782124126,
                0.0012947173078307528, -1.4179430022556849});

  const TGlmFit Through = FitWith({Group, Age, Claims, LogHolders}, {true, false}, TGlmFamily::Poisson,
                                  TGlmLink::Log, false);
  ExpectAsR(Through, {{-0.1372342236893602, -0.48593884784408004}, {0.015820614345802685, 0.010788772958879991},
                      700.27626842972359, 28027.698771795465, 1021.5977896791569, 1025.9155558458763, 4, 1});
  EXPECT_EQ(Through.DfNull, 64u);

  const TGlmFit Weighted = FitWith({District, Group, Age, Claims, LogHolders, Weights}, {true, true},
                                   TGlmFamily::Poisson, TGlmLink::Log);
  ExpectAsR(Weighted, {{-1.8943729967418614, 0.037470720090831647, 0.19852581900712693, -0.1819717153538237},
                       {0.047233537104023934, 0.0063462536077601942, 0.0085785612804130332, 0.011010964524493362},
                       124.04741403561225, 931.49340439648802, 1664.2407894552916, 1672.8763217887304, 4, 1});

  const TGlmFit Constant = FitWith({District, Group, Age, Claims, Fifty}, {true, false}, TGlmFamily::Poisson,
                                   TGlmLink::Log);
  ExpectAsR(Constant, {{-1.06162500154022, -0.47217678854827067, -0.16722656441347505, 0.8366416017925693},
                       {0.087855899566847723, 0.017443451842452582, 0.016123226875748849, 0.020667183715164187},
                       1200.4875241839125, 4236.6789941278612, 1525.8090454333455, 1534.4445777667843, 5, 1});
}

// glm(mpg ~ wt + hp, data = mtcars, weights = carb) of the Gamma (log
// link), inverse gaussian and gaussian families.
TEST(Glm, WeightedGammaInverseGaussianAndGaussianAsR) {
  const std::vector<std::vector<double>> Rows{kWt, kHp, kMpg, kCarb};
  const TGlmFit Gamma = FitWith(Rows, {false, true}, TGlmFamily::Gamma, TGlmLink::Log);
  ExpectAsR(Gamma, {{3.7733136514228955, -0.19540764275805803, -0.0012981912996804302},
                    {0.075188397161662521, 0.024262778851461844, 0.00030407435040401444},
                    0.95960596840926071, 6.7565573522760474, 370.80246343302196, 376.66540704422084, 4,
                    0.034912379575721977});
  ExpectRowAsR(Gamma, Rows, 30,
               {14.024618945574963, 0.19232705911051493, 0.1967108156025707, 0.59799037983276582,
                1.3670269552354488, 1.6234257957568741});
  ExpectAsR(FitWith(Rows, {false, true}, TGlmFamily::InverseGaussian, TGlmLink::InverseSquare),
            {{-0.0014763855083461961, 0.0010663946078103767, 7.7051136744614301e-06},
             {0.00033538592461437449, 0.0001671626809078756, 2.3127381336545655e-06},
             0.069708076017913206, 0.37999753978867767, 392.6076341005255, 398.47057771172439, 4,
             0.0022379426404021416});
  ExpectAsR(FitWith(Rows, {false, true}, TGlmFamily::Gaussian, TGlmLink::Identity),
            {{35.054055922593797, -3.525006950917378, -0.026524044419351869},
             {1.5011665070213587, 0.48441611144826963, 0.0060709663685120895},
             403.58361615538803, 2382.4409999999998, 151.95934213035156, 157.82228574155047, 2,
             13.916676419151312});
}

// A row of weight 0 is out of the fit and its degrees of freedom but still
// has its fitted value; a binomial one may hold any response (glm sets it
// to 0). The gaussian likelihood leaves it out: R's AIC is infinite, and
// equals this one's with the row removed. A negative weight is refused.
TEST(Glm, ZeroWeightRowsAsR) {
  std::vector<double> y = Proportions(), n = kExposed;
  y[2] = 7;
  n[2] = 0;
  const std::vector<std::vector<double>> Beetle{kDose, y, n};
  const TGlmFit B = FitWith(Beetle, {false, true}, TGlmFamily::Binomial, TGlmLink::Logit);
  ExpectAsR(B, {{-58.543167654421744, 33.107890623527787}, {5.2337142745097536, 2.9343634393301028},
                9.1966958614584549, 255.21511441533414, 34.999072033028582, 35.157955116388251, 4, 1});
  EXPECT_EQ(B.N, 8u);
  EXPECT_EQ(B.ZeroWeight, 1u);
  EXPECT_EQ(B.DfResidual, 5u);
  EXPECT_EQ(B.DfNull, 6u);
  ExpectRowAsR(B, Beetle, 2, {0.39360158414834656, 0, 0, NA, NA, NA});
  ExpectRowAsR(B, Beetle, 3,
               {0.62900037383719665, -1.9640428425917744, -1.9983557045577856, 0.29140845349602928,
                1.1588462128916686, -2.3332054036576788});

  std::vector<double> w = kCarb;
  w[4] = 0;
  const std::vector<std::vector<double>> Cars{kWt, kHp, kMpg, w};
  const TGlmFit Gamma = FitWith(Cars, {false, true}, TGlmFamily::Gamma, TGlmLink::Log);
  ExpectAsR(Gamma, {{3.7719909131510678, -0.1953922155218463, -0.0012982290067834257},
                    {0.076436237318278796, 0.024644794367723249, 0.00030886163427544099},
                    0.95339135331047797, 6.7552961885492309, 363.89951473685625, 369.76245834805513, 4,
                    0.036020336919807036});
  ExpectRowAsR(Gamma, Cars, 4, {17.683846850234811, 0, 0, NA, NA, NA});
  ExpectAsR(FitWith(Cars, {false, true}, TGlmFamily::Gaussian, TGlmLink::Identity),
            {{35.044300204886561, -3.5248904848327287, -0.026524317337231602},
             {1.5283567722533649, 0.49277724406894707, 0.0061757457849279454},
             403.23358143347008, 2382.0144318181815, 148.23727562430463, NA, 2, 14.401199336909645});

  w[7] = -1;
  EXPECT_THROW(FitWith({kWt, kHp, kMpg, w}, {false, true}, TGlmFamily::Gamma, TGlmLink::Log), EEngineError);
}

// Weights all 1 and an offset all 0 change no bit of the fit or of a row's
// figures, whichever columns are given.
TEST(Glm, UnitWeightsAndZeroOffsetGiveTheSameBits) {
  std::mt19937_64 Engine(3);
  std::normal_distribution<double> Normal;
  std::vector<double> x(400), yb(400), yp(400), yg(400), Zeros(400, 0.0), Ones(400, 1.0);
  for (std::size_t i = 0; i < x.size(); ++i) {
    x[i] = Normal(Engine);
    yb[i] = std::uniform_real_distribution<double>()(Engine) < 1 / (1 + std::exp(-x[i]));
    yp[i] = std::poisson_distribution<int>(std::exp(0.5 * x[i]))(Engine);
    yg[i] = std::exp(0.3 * x[i]) * std::gamma_distribution<double>(2.0, 0.5)(Engine);
  }
  const std::vector<std::tuple<std::vector<double>, TGlmFamily, TGlmLink>> Cases{
      {yb, TGlmFamily::Binomial, TGlmLink::Logit}, {yp, TGlmFamily::Poisson, TGlmLink::Log},
      {yg, TGlmFamily::Gamma, TGlmLink::Log}, {yg, TGlmFamily::Gaussian, TGlmLink::Identity}};
  for (const auto& [y, Family, Link] : Cases) {
    for (bool Intercept : {true, false}) {
      const TGlmFit Plain = FitWith({x, y}, {}, Family, Link, Intercept);
      for (const TGlmColumns Extra : {TGlmColumns{true, false}, TGlmColumns{false, true}, TGlmColumns{true, true}}) {
        std::vector<std::vector<double>> Columns{x, y};
        if (Extra.Offset) Columns.push_back(Zeros);
        if (Extra.Weights) Columns.push_back(Ones);
        const TGlmFit F = FitWith(Columns, Extra, Family, Link, Intercept);
        const std::string Case = GlmFamilyName(Family) + (Intercept ? "" : " through 0") +
                                 (Extra.Offset ? " offset" : "") + (Extra.Weights ? " weights" : "");
        EXPECT_EQ(F.Coef, Plain.Coef) << Case;
        EXPECT_EQ(F.Covariance, Plain.Covariance) << Case;
        for (auto Member : {&TGlmFit::Deviance, &TGlmFit::NullDeviance, &TGlmFit::Pearson, &TGlmFit::Dispersion,
                            &TGlmFit::Aic, &TGlmFit::LogLik, &TGlmFit::Bic})
          EXPECT_EQ(F.*Member, Plain.*Member) << Case;
        EXPECT_EQ(F.Iterations, Plain.Iterations) << Case;
        EXPECT_EQ(F.DfResidual, Plain.DfResidual) << Case;
        EXPECT_EQ(F.DfNull, Plain.DfNull) << Case;
        for (std::size_t i = 0; i < 20; ++i) {
          std::vector<double> Row{x[i], y[i]};
          const TGlmObservation A = GlmObservation(Plain, Row);
          if (Extra.Offset) Row.push_back(0);
          if (Extra.Weights) Row.push_back(1);
          const TGlmObservation O = GlmObservation(F, Row);
          EXPECT_EQ(std::memcmp(&A, &O, sizeof A), 0) << Case << " row " << i;
        }
      }
    }
  }
}

}  // namespace
}  // namespace varnel::engine
