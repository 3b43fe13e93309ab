// SPDX-License-Identifier: Apache-2.0
#include "varnel/engine/glm.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "varnel/engine/reduce.h"

namespace varnel::engine {
namespace {

// mtcars: wt, hp, am, mpg, vs, carb (R 4.2.2's datasets).
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

// The fit over batches of 5 rows (so that the passes merge), on Threads.
TGlmFit Fit(const std::vector<std::vector<double>>& Columns, TGlmFamily Family, TGlmLink Link, std::size_t Threads = 1,
            bool Intercept = true, std::size_t BatchRows = 5) {
  const TBatch Data = MakeBatch(Columns);
  const TGlmReduce Reduce = [&](const TGlmStep& Step) {
    return ReduceBatches<TGlmPass>(Data, Threads, BatchRows, [&](const TBatch& B) { return GlmPass(Step, B); });
  };
  return FitGlm(MakeGlmModel(Family, Link), Columns.size() - 1, Intercept, Reduce);
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
  EXPECT_NEAR(F.Bic, R.Bic, Digits * std::fabs(R.Bic));
  EXPECT_NEAR(F.Dispersion, R.Dispersion, Digits * R.Dispersion);
  EXPECT_EQ(F.Iterations, R.Iterations);
  EXPECT_TRUE(F.Converged);
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
}

}  // namespace
}  // namespace varnel::engine
