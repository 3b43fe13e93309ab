// SPDX-License-Identifier: Apache-2.0
/// \file
/// Core types shared by every part of the library: the extended type, the
/// fixed-size data matrix, vectors, matrices and the result records.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <vector>

/// The library's types, the component and its framework.
namespace varnel {

using Extended = long double;  ///< 80-bit x87 extended
using Single = float;          ///< 32-bit
using Byte = std::uint8_t;     ///< counts of variables, sizes of matrices

static_assert(std::numeric_limits<Extended>::digits == 64,
              "Varnel needs the 80-bit extended long double");

/// Observations a data matrix holds; operations take n < MaxObs.
inline constexpr int MaxObs = 20000;
/// Predictors a data matrix holds, besides the constant row 0.
inline constexpr int MaxVars = 24;

/// One variable's observations, 0..MaxObs − 1.
using TObsArray = std::array<double, MaxObs>;
/// X[variable][observation]; row 0 is the constant column.
using TRegressData = std::array<TObsArray, MaxVars + 1>;
/// A vector of extended values, indexed from 0 or from 1 as each operation says.
using TVector = std::array<Extended, 26>;
using TMatrix = std::array<TVector, 26>;  ///< M[row][column]
/// The ranks of one variable's observations.
using TRankArray = std::array<std::int32_t, MaxObs>;
/// Up to 100 cluster centres of up to 25 coordinates: [cluster][variable].
using TClusterCenters = std::array<std::array<double, 25>, 100>;
/// Each observation's cluster.
using TClusterAssignment = std::array<Byte, MaxObs>;
/// Per observation 1 when it is flagged as an outlier, else 0.
using TOutlierFlags = std::array<std::int32_t, MaxObs>;

/// Result of a multiple regression. T{} is the all-zero record.
struct TMultStatRec {
  int N = 0;  ///< observations
  int K = 0;  ///< predictors
  Extended R = 0;  ///< multiple correlation, √R²
  Extended R2 = 0;  ///< SSR / SST
  Extended F = 0;  ///< MSR / MSE, on DFReg and DFErr degrees of freedom
  Extended RMSE = 0;  ///< √MSE
  Extended MSE = 0;  ///< SSE / DFErr
  Extended MSR = 0;  ///< SSR / DFReg
  Extended SSE = 0;  ///< residual sum of squares
  Extended SSR = 0;  ///< regression sum of squares, SST − SSE
  Extended SST = 0;  ///< total sum of squares about the mean of Y
  Extended S2 = 0;  ///< residual variance, MSE
  Extended S = 0;  ///< residual standard error, √S2
  TVector Beta{};  ///< coefficients: [0] the constant, [j] predictor j
  TVector StdErr{};  ///< their standard errors, indexed as Beta
  TVector TCalc{};  ///< their t statistics, Beta / StdErr
  int DFReg = 0;  ///< regression degrees of freedom, K
  int DFErr = 0;  ///< residual degrees of freedom, N − K − 1
  int DFTot = 0;  ///< total degrees of freedom, N − 1
};

/// Result of a simple regression of Y on one X. T{} is the all-zero record.
struct TBivarStatRec {
  int N = 0;  ///< observations
  int DF = 0;  ///< residual degrees of freedom, N − 2
  Extended R = 0;  ///< Pearson's correlation of X and Y
  Extended MeanX = 0;  ///< mean of X
  Extended MeanY = 0;  ///< mean of Y
  Extended B0 = 0;  ///< intercept
  Extended B1 = 0;  ///< slope, SXY / SXX
  Extended SXX = 0;  ///< Σ (x − x̄)²
  Extended SYY = 0;  ///< Σ (y − ȳ)²
  Extended SXY = 0;  ///< Σ (x − x̄)(y − ȳ)
  Extended SumX = 0;  ///< Σ x
  Extended SumY = 0;  ///< Σ y
  Extended SumXY = 0;  ///< Σ xy
  Extended SumX2 = 0;  ///< Σ x²
  Extended SumY2 = 0;  ///< Σ y²
  Extended FisherZ = 0;  ///< Fisher's z of R, ½ ln((1 + R) / (1 − R))
  Extended TStatR = 0;  ///< t of R, R·√(DF / (1 − R²))
};

/// Per-variable summary; variable j sits at entry j - 1 of each column.
struct TUnivarStatRec {
  Byte NVars = 0;  ///< variables summarised
  int N = 0;  ///< observations
  TVector Sum{};  ///< sums
  TVector Min{};  ///< least values
  TVector Max{};  ///< largest values
  TVector Range{};  ///< Max − Min
  TVector Mean{};  ///< means
  TVector StdDev{};  ///< standard deviations (denominator N − 1)
  TVector Variance{};  ///< variances (denominator N − 1)
  TVector Skew{};  ///< skewness, as GetSkew gives it
  TVector Kurtosis{};  ///< kurtosis, as GetKurtosis gives it
  TVector CoefVar{};  ///< coefficients of variation, as GetCoefficientOfVariation gives them
  TVector Median{};  ///< medians
};

/// The least value, the three quartiles and the largest of some values.
struct TQuartileRec {
  int N = 0;  ///< values summarised; 0 when nothing was computed
  /// least value, quartiles, largest value
  ///@{
  Extended Min = 0, Q1 = 0, Median = 0, Q3 = 0, Max = 0;
  ///@}
};

/// Summary of one vector of values, each figure as the univariate statistic of its name gives it.
struct TYSummaryRec {
  int N = 0;  ///< values summarised
  Extended Sum = 0;  ///< sum
  Extended Min = 0;  ///< least value
  Extended Max = 0;  ///< largest value
  Extended Range = 0;  ///< Max − Min
  Extended Mean = 0;  ///< mean
  Extended StdDev = 0;  ///< standard deviation (denominator N − 1)
  Extended Variance = 0;  ///< variance (denominator N − 1)
  Extended Skew = 0;  ///< skewness
  Extended Kurtosis = 0;  ///< kurtosis
  Extended CoefVar = 0;  ///< coefficient of variation
  Extended Median = 0;  ///< median
};

/// An interval: its upper and lower limits. T{} is the all-zero record.
struct TIntervalRec {
  Extended Upper = 0;  ///< upper limit
  Extended Lower = 0;  ///< lower limit
};

/// One coefficient of a fit, with its two-sided inference.
struct TCoefficientInference {
  Extended Estimate = 0;  ///< the coefficient
  Extended StdError = 0;  ///< its standard error
  Extended Statistic = 0;  ///< t
  Extended PValue = 0;     ///< two-sided
  Extended ConfLow = 0;  ///< lower confidence limit at the fit's level
  Extended ConfHigh = 0;  ///< upper confidence limit at the fit's level
  Extended VIF = 0;  ///< variance-inflation factor; 0 for the intercept
};

/// A fit of Y on k predictors, with an intercept or through the origin, and
/// its inference at a two-sided level, as R's summary.lm, confint, logLik,
/// AIC and BIC give it. Through the origin R² is taken about zero and the
/// intercept's entry stays zero. T{} is the all-zero record.
struct TModelInference {
  int N = 0;  ///< observations
  int K = 0;  ///< predictors
  bool Intercept = false;  ///< whether the fit has the constant
  int DFResidual = 0;  ///< residual degrees of freedom
  Extended Level = 0;  ///< two-sided level of the limits (0.95 for 95 %)
  Extended R2 = 0;  ///< R²
  Extended AdjR2 = 0;  ///< adjusted R²
  Extended Sigma = 0;  ///< residual standard error on DFResidual degrees of freedom
  Extended F = 0;      ///< on K and DFResidual degrees of freedom
  Extended FPValue = 0;  ///< p-value of F
  Extended LogLik = 0;  ///< log-likelihood
  Extended AIC = 0;  ///< Akaike's information criterion
  Extended BIC = 0;  ///< Schwarz's Bayesian information criterion
  Extended Deviance = 0;  ///< SSE
  Extended DurbinWatson = 0;  ///< Durbin-Watson statistic of the residuals
  std::array<TCoefficientInference, MaxVars + 1> Coefficients{};  ///< intercept first
};

/// All eigenvalues of a symmetric matrix, largest first, with unit
/// eigenvectors as the columns of Vectors (Vectors[i][j] is entry i of the
/// eigenvector of Values[j]), each turned so that its entry of largest
/// magnitude is positive. N = 0: nothing was computed.
struct TEigenRec {
  int N = 0;  ///< order of the matrix decomposed; 0 when nothing was computed
  TVector Values{};  ///< eigenvalues, largest first, from [0]
  TMatrix Vectors{};  ///< unit eigenvectors as columns
};

/// Principal components of k variables, as R's prcomp gives them: of the
/// covariance matrix (denominator N − 1), or of the correlation matrix when
/// Scaled. Per variable the centre (mean) and the scale (standard deviation,
/// or 1); per component its standard deviation, its variance (the
/// eigenvalue), the proportion and cumulative proportion of the total, and
/// the condition index √(λ₁/λⱼ) (NaN where λⱼ ≤ 0); Rotation[variable][component]
/// holds the loadings, each column turned as in TEigenRec. N = 0: nothing was
/// computed.
struct TPrincipalComponentsRec {
  int N = 0;  ///< observations; 0 when nothing was computed
  int K = 0;  ///< variables
  bool Scaled = false;  ///< of the correlation matrix rather than the covariance matrix
  /// per variable: mean, and standard deviation or 1
  ///@{
  TVector Centre{}, Scale{};
  ///@}
  /// per component, largest first
  ///@{
  TVector SDev{}, Variance{}, Proportion{}, Cumulative{}, ConditionIndex{};
  ///@}
  TMatrix Rotation{};  ///< loadings, [variable][component]
};

/// k-means of N observations of k variables into Clusters groups, as R's
/// kmeans reports it: the kept start's total, within-cluster and between
/// sums of squares, each cluster's size and sum of squares, and the Lloyd
/// iterations that start took. N = 0: nothing was computed.
struct TKMeansRec {
  int N = 0;  ///< observations; 0 when nothing was computed
  int K = 0;  ///< variables
  int Clusters = 0;  ///< clusters
  int Starts = 0;  ///< k-means++ starts tried
  int Iterations = 0;  ///< Lloyd iterations of the kept start
  /// total, total within-cluster and between-cluster sums of squares
  ///@{
  Extended TotSS = 0, TotWithinSS = 0, BetweenSS = 0;
  ///@}
  std::array<Extended, 100> WithinSS{};  ///< each cluster's within sum of squares, from [0]
  std::array<int, 100> Size{};  ///< each cluster's observations, from [0]
};

/// One observation of that fit, as R's influence.measures, rstandard,
/// rstudent and predict(interval = ...) give it. A measure that its
/// definition leaves undefined (a leverage of 1, no residual degree of
/// freedom left out) is a quiet NaN, where R shows NaN or Inf.
struct TObservationInference {
  Extended Fitted = 0;  ///< fitted value
  Extended Residual = 0;  ///< y − fitted
  Extended Hat = 0;  ///< leverage
  Extended Sigma = 0;      ///< residual standard deviation with the observation left out
  Extended CooksD = 0;  ///< Cook's distance
  Extended StdResid = 0;   ///< internally studentised (rstandard)
  Extended StudResid = 0;  ///< externally studentised (rstudent)
  Extended DFFITS = 0;  ///< DFFITS
  Extended CovRatio = 0;  ///< COVRATIO
  Extended ConfLow = 0;    ///< the mean response at the level
  Extended ConfHigh = 0;  ///< upper limit of the mean response
  Extended PredLow = 0;    ///< a new observation at the level
  Extended PredHigh = 0;  ///< upper limit of a new observation
  std::array<Extended, MaxVars + 1> DFBetas{};  ///< intercept first
};

/// The figure by which the best-subset search names its one best model.
enum class TSubsetCriterion {
  scAdjR2,  ///< the largest adjusted R²
  scCp,     ///< the least Mallows' Cp
  scAIC,    ///< the least AIC
  scBIC     ///< the least BIC
};

/// One sub-model of a fit of Y on k predictors, with the constant always in
/// it, as R's lm of those predictors gives its figures. Terms holds bit j − 1
/// for predictor j. Cp = RSS/σ̂² − n + 2(Size + 1) with σ̂² the full model's
/// residual mean square; AIC and BIC count the coefficients and σ.
struct TSubsetModel {
  int Size = 0;  ///< predictors, the constant not counted
  int Rank = 0;  ///< 1 for the smallest RSS of its size
  std::uint32_t Terms = 0;  ///< bit j − 1 set for predictor j
  Extended RSS = 0;  ///< residual sum of squares
  Extended R2 = 0;  ///< R²
  Extended AdjR2 = 0;  ///< adjusted R²
  Extended Cp = 0;  ///< Mallows' Cp
  Extended AIC = 0;  ///< AIC
  Extended BIC = 0;  ///< BIC
};

/// The best PerSize sub-models of every size 1..K by RSS, size by size and
/// rank by rank, and the one best of them all by Criterion (the first in that
/// order on a tie). T{} is the empty result.
struct TBestSubsets {
  int N = 0;  ///< observations
  int K = 0;  ///< predictors searched
  int PerSize = 0;  ///< models kept per size
  TSubsetCriterion Criterion = TSubsetCriterion::scAdjR2;  ///< what names Best
  Extended SST = 0;  ///< total sum of squares about the mean of Y
  Extended Sigma2 = 0;  ///< the full model's RSS / (N − K − 1), Cp's scale
  std::vector<TSubsetModel> Models;  ///< size by size, rank by rank
  TSubsetModel Best{};  ///< the best of Models by Criterion
};

/// The direction of a stepwise search.
enum class TStepDirection {
  sdForward,   ///< additions only, from the constant alone
  sdBackward,  ///< removals only, from the full model
  sdBoth       ///< removals and additions, from the full model
};
/// What a step of a stepwise search did.
enum class TStepAction {
  saStart,  ///< the starting model
  saAdd,    ///< a predictor added
  saDrop    ///< a predictor dropped
};

/// One step of a stepwise search by AIC: the model after it. AIC is
/// n·log(RSS/n) + 2·edf with edf the coefficients, the constant included.
struct TAICStep {
  int Step = 0;  ///< 0 for the starting model
  TStepAction Action = TStepAction::saStart;  ///< what the step did
  int Term = 0;  ///< the predictor added or dropped, 1..K; 0 at the start
  std::uint32_t Terms = 0;  ///< the model's predictors, bit j − 1 for predictor j
  int DFResidual = 0;  ///< residual degrees of freedom
  Extended RSS = 0;  ///< residual sum of squares
  Extended AIC = 0;  ///< its AIC
};

/// The path of a stepwise search, its starting model first. T{} is the empty result.
struct TStepwiseAIC {
  int N = 0;  ///< observations
  int K = 0;  ///< predictors
  TStepDirection Direction = TStepDirection::sdForward;  ///< the direction searched
  std::vector<TAICStep> Steps;  ///< the steps, the starting model first
};

}  // namespace varnel
