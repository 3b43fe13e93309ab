// SPDX-License-Identifier: Apache-2.0
// Core types shared by every part of the library: the extended type, the
// fixed-size data matrix, vectors, matrices and the result records.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <vector>

namespace varnel {

using Extended = long double;  // 80-bit x87 extended
using Single = float;          // 32-bit
using Byte = std::uint8_t;     // counts of variables, sizes of matrices

static_assert(std::numeric_limits<Extended>::digits == 64,
              "Varnel needs the 80-bit extended long double");

inline constexpr int MaxObs = 20000;
inline constexpr int MaxVars = 24;

using TObsArray = std::array<double, MaxObs>;
// X[variable][observation]; row 0 is the constant column.
using TRegressData = std::array<TObsArray, MaxVars + 1>;
using TVector = std::array<Extended, 26>;
using TMatrix = std::array<TVector, 26>;  // M[row][column]
using TRankArray = std::array<std::int32_t, MaxObs>;
using TClusterCenters = std::array<std::array<double, 25>, 100>;
using TClusterAssignment = std::array<Byte, MaxObs>;
using TOutlierFlags = std::array<std::int32_t, MaxObs>;

// Result of a multiple regression. T{} is the all-zero record.
struct TMultStatRec {
  int N = 0;
  int K = 0;
  Extended R = 0;
  Extended R2 = 0;
  Extended F = 0;
  Extended RMSE = 0;
  Extended MSE = 0;
  Extended MSR = 0;
  Extended SSE = 0;
  Extended SSR = 0;
  Extended SST = 0;
  Extended S2 = 0;
  Extended S = 0;
  TVector Beta{};
  TVector StdErr{};
  TVector TCalc{};
  int DFReg = 0;
  int DFErr = 0;
  int DFTot = 0;
};

// Result of a simple regression of Y on one X.
struct TBivarStatRec {
  int N = 0;
  int DF = 0;
  Extended R = 0;
  Extended MeanX = 0;
  Extended MeanY = 0;
  Extended B0 = 0;
  Extended B1 = 0;
  Extended SXX = 0;
  Extended SYY = 0;
  Extended SXY = 0;
  Extended SumX = 0;
  Extended SumY = 0;
  Extended SumXY = 0;
  Extended SumX2 = 0;
  Extended SumY2 = 0;
  Extended FisherZ = 0;
  Extended TStatR = 0;
};

// Per-variable summary; variable j sits at entry j - 1 of each column.
struct TUnivarStatRec {
  Byte NVars = 0;
  int N = 0;
  TVector Sum{};
  TVector Min{};
  TVector Max{};
  TVector Range{};
  TVector Mean{};
  TVector StdDev{};
  TVector Variance{};
  TVector Skew{};
  TVector Kurtosis{};
  TVector CoefVar{};
  TVector Median{};
};

// The least value, the three quartiles and the largest of some values.
struct TQuartileRec {
  int N = 0;
  Extended Min = 0, Q1 = 0, Median = 0, Q3 = 0, Max = 0;
};

// Summary of one vector of values.
struct TYSummaryRec {
  int N = 0;
  Extended Sum = 0;
  Extended Min = 0;
  Extended Max = 0;
  Extended Range = 0;
  Extended Mean = 0;
  Extended StdDev = 0;
  Extended Variance = 0;
  Extended Skew = 0;
  Extended Kurtosis = 0;
  Extended CoefVar = 0;
  Extended Median = 0;
};

struct TIntervalRec {
  Extended Upper = 0;
  Extended Lower = 0;
};

// One coefficient of a fit, with its two-sided inference.
struct TCoefficientInference {
  Extended Estimate = 0;
  Extended StdError = 0;
  Extended Statistic = 0;  // t
  Extended PValue = 0;     // two-sided
  Extended ConfLow = 0;
  Extended ConfHigh = 0;
  Extended VIF = 0;  // variance-inflation factor; 0 for the intercept
};

// A fit of Y on k predictors, with an intercept or through the origin, and
// its inference at a two-sided level, as R's summary.lm, confint, logLik,
// AIC and BIC give it. Through the origin R² is taken about zero and the
// intercept's entry stays zero. T{} is the all-zero record.
struct TModelInference {
  int N = 0;
  int K = 0;
  bool Intercept = false;
  int DFResidual = 0;
  Extended Level = 0;
  Extended R2 = 0;
  Extended AdjR2 = 0;
  Extended Sigma = 0;  // residual standard error on DFResidual degrees of freedom
  Extended F = 0;      // on K and DFResidual degrees of freedom
  Extended FPValue = 0;
  Extended LogLik = 0;
  Extended AIC = 0;
  Extended BIC = 0;
  Extended Deviance = 0;  // SSE
  Extended DurbinWatson = 0;
  std::array<TCoefficientInference, MaxVars + 1> Coefficients{};  // intercept first
};

// All eigenvalues of a symmetric matrix, largest first, with unit
// eigenvectors as the columns of Vectors (Vectors[i][j] is entry i of the
// eigenvector of Values[j]), each turned so that its entry of largest
// magnitude is positive. N = 0: nothing was computed.
struct TEigenRec {
  int N = 0;
  TVector Values{};
  TMatrix Vectors{};
};

// Principal components of k variables, as R's prcomp gives them: of the
// covariance matrix (denominator N − 1), or of the correlation matrix when
// Scaled. Per variable the centre (mean) and the scale (standard deviation,
// or 1); per component its standard deviation, its variance (the
// eigenvalue), the proportion and cumulative proportion of the total, and
// the condition index √(λ₁/λⱼ) (NaN where λⱼ ≤ 0); Rotation[variable][component]
// holds the loadings, each column turned as in TEigenRec. N = 0: nothing was
// computed.
struct TPrincipalComponentsRec {
  int N = 0;
  int K = 0;
  bool Scaled = false;
  TVector Centre{}, Scale{};
  TVector SDev{}, Variance{}, Proportion{}, Cumulative{}, ConditionIndex{};
  TMatrix Rotation{};
};

// k-means of N observations of k variables into Clusters groups, as R's
// kmeans reports it: the kept start's total, within-cluster and between
// sums of squares, each cluster's size and sum of squares, and the Lloyd
// iterations that start took. N = 0: nothing was computed.
struct TKMeansRec {
  int N = 0;
  int K = 0;
  int Clusters = 0;
  int Starts = 0;
  int Iterations = 0;
  Extended TotSS = 0, TotWithinSS = 0, BetweenSS = 0;
  std::array<Extended, 100> WithinSS{};
  std::array<int, 100> Size{};
};

// One observation of that fit, as R's influence.measures, rstandard,
// rstudent and predict(interval = ...) give it. A measure that its
// definition leaves undefined (a leverage of 1, no residual degree of
// freedom left out) is a quiet NaN, where R shows NaN or Inf.
struct TObservationInference {
  Extended Fitted = 0;
  Extended Residual = 0;
  Extended Hat = 0;
  Extended Sigma = 0;      // residual standard deviation with the observation left out
  Extended CooksD = 0;
  Extended StdResid = 0;   // internally studentised (rstandard)
  Extended StudResid = 0;  // externally studentised (rstudent)
  Extended DFFITS = 0;
  Extended CovRatio = 0;
  Extended ConfLow = 0;    // the mean response at the level
  Extended ConfHigh = 0;
  Extended PredLow = 0;    // a new observation at the level
  Extended PredHigh = 0;
  std::array<Extended, MaxVars + 1> DFBetas{};  // intercept first
};

// The figure by which the best-subset search names its one best model.
enum class TSubsetCriterion { scAdjR2, scCp, scAIC, scBIC };

// One sub-model of a fit of Y on k predictors, with the constant always in
// it, as R's lm of those predictors gives its figures. Terms holds bit j − 1
// for predictor j. Cp = RSS/σ̂² − n + 2(Size + 1) with σ̂² the full model's
// residual mean square; AIC and BIC count the coefficients and σ.
struct TSubsetModel {
  int Size = 0;  // predictors, the constant not counted
  int Rank = 0;  // 1 for the smallest RSS of its size
  std::uint32_t Terms = 0;
  Extended RSS = 0;
  Extended R2 = 0;
  Extended AdjR2 = 0;
  Extended Cp = 0;
  Extended AIC = 0;
  Extended BIC = 0;
};

// The best PerSize sub-models of every size 1..K by RSS, size by size and
// rank by rank, and the one best of them all by Criterion (the first in that
// order on a tie). T{} is the empty result.
struct TBestSubsets {
  int N = 0;
  int K = 0;
  int PerSize = 0;
  TSubsetCriterion Criterion = TSubsetCriterion::scAdjR2;
  Extended SST = 0;
  Extended Sigma2 = 0;  // the full model's RSS / (N − K − 1), Cp's scale
  std::vector<TSubsetModel> Models;
  TSubsetModel Best{};
};

enum class TStepDirection { sdForward, sdBackward, sdBoth };
enum class TStepAction { saStart, saAdd, saDrop };

// One step of a stepwise search by AIC: the model after it. AIC is
// n·log(RSS/n) + 2·edf with edf the coefficients, the constant included.
struct TAICStep {
  int Step = 0;  // 0 for the starting model
  TStepAction Action = TStepAction::saStart;
  int Term = 0;  // the predictor added or dropped, 1..K; 0 at the start
  std::uint32_t Terms = 0;
  int DFResidual = 0;
  Extended RSS = 0;
  Extended AIC = 0;
};

// The path of a stepwise search, its starting model first. T{} is the empty result.
struct TStepwiseAIC {
  int N = 0;
  int K = 0;
  TStepDirection Direction = TStepDirection::sdForward;
  std::vector<TAICStep> Steps;
};

}  // namespace varnel
