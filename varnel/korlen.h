// SPDX-License-Identifier: Apache-2.0
/// \file
/// TKorlen: the multivariate statistics component. Fill PRegressData (rows
/// 1..k, observations 0..n-1) and Y, call MVPrepare once, then call any
/// operation. Each operation takes its data as arguments and refits what it
/// needs; only AlphaLevel and ScanData persist between calls.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "varnel/core/component.h"
#include "varnel/core/faults.h"
#include "varnel/core/messages.h"
#include "varnel/core/types.h"
#include "varnel/export.h"

namespace varnel {

/// The multivariate statistics component. Fill PRegressData (variables 1..k in rows 1..k,
/// observations 0..n − 1) and Y, call MVPrepare once, then call any operation. Each operation
/// takes its data as arguments and refits what it needs; only AlphaLevel and ScanData persist
/// between calls.
///
/// Counts: k predictors (1..MaxVars), n observations (n < MaxObs). Counts out of range, a null
/// data matrix or an array shorter than the count give the neutral value silently: 0, the
/// all-zero record, the empty text, the output array untouched. A guarded operation that meets
/// a fault (NaN, an infinity, an overflow, exhausted memory) shows its message through the
/// message handler (see SetMessageHandler) and returns its neutral value, an output array
/// keeping what was written before the fault. An unguarded one lets the fault reach the
/// caller as EMathError (std::bad_alloc for exhausted memory). Each operation says which it is.
/// One component is used by one thread at a time. The object is large (the data matrix is on
/// the heap, but Y is not): create it on the heap.
class VARNEL_API TKorlen : public TComponent {
 public:
  // Component object and data model
  /// Creates the component, owned by AOwner when given (see TComponent), with its own data matrix in
  /// PRegressData, AlphaLevel 95 and ScanData on.
  explicit TKorlen(TComponent* AOwner = nullptr);  // Create
  /// Destroys the component and its data matrix.
  ~TKorlen() override;                             // Destroy
  /// The texts ShowAbout and ShowExample show.
  ///@{
  std::string AboutText, ExampleText;
  ///@}
  TRegressData* PRegressData;  ///< owned by the component
  /// The response, observations 0..n − 1.
  TObsArray Y{};
  /// A slot in which the caller may keep a regression record; MVRegression does not write it, and
  /// MVRemoveVariable decrements its K.
  TMultStatRec MultStatRec;
  /// The confidence level of the t table, in percent: 90, 95 (the default) or 99.
  int AlphaLevel() const { return FAlphaLevel; }
  /// Sets AlphaLevel; a value other than 90, 95 or 99 is ignored.
  void SetAlpha(int Value);
  /// Whether the data are scanned before a fit (true by default); SafetyHiSet and SafetyLoSet set it.
  bool ScanData() const { return FScanData; }
  /// Sets ScanData.
  void SetScanData(bool Value);
  /// Sets ScanData and shows "Safe setting-not optimized." as information.
  virtual void SafetyHiSet();
  /// Clears ScanData and shows "Optimized setting-no safety check." as information.
  virtual void SafetyLoSet();
  /// Sets AlphaLevel to 99.
  virtual void Alpha99Set();
  /// Sets AlphaLevel to 95.
  virtual void Alpha95Set();
  /// Shows AboutText as an information message.
  virtual void ShowAbout();
  /// Shows ExampleText as an information message.
  virtual void ShowExample();

  /// The class name, "TKorlen".
  std::string ClassName() const override { return "TKorlen"; }
  /// The published properties: AlphaLevel and ScanData. Writing an AlphaLevel that is not a number, or
  /// a ScanData other than "True" or "False", raises EConvertError.
  std::vector<TPublishedProperty> Published() override;

  // Row preparation
  /// Writes observation Obs of X: Values[0..k − 1] into rows 1..k, 1 into the constant row 0 and 0 into
  /// the rows after k. Nothing for a null X, k above MaxVars or Obs outside 0..MaxObs − 1.
  void NewRowValues(TRegressData* X, const TVector& Values, Byte k, int Obs);
  /// Sets observation Obs of every row of X to 0; nothing for a null X or Obs outside 0..MaxObs − 1.
  void ZeroRowValues(TRegressData* X, int Obs);
  /// Three-point moving average of A[1..n − 2] in place, each value the mean of itself and its
  /// neighbours as they were; A[0] and A[n − 1] keep their values, and n ≤ 2 changes nothing. On a
  /// fault: "Error occurred in  SmoothData" and the values smoothed before the fault kept, the rest as
  /// they were.
  void SmoothData(std::span<double> A, int n);

  // Tables and normal probabilities
  /// P(Z > z) for the standard normal Z, from the normal table. Unguarded: a fault reaches the caller
  /// as EMathError.
  Extended ProbabilityZIsHigher(Extended z);
  /// P(Z < z) for the standard normal Z, from the normal table. Unguarded: a fault reaches the caller
  /// as EMathError.
  Extended ProbabilityZIsLower(Extended z);
  /// P(−z < Z < z) for the standard normal Z, from the normal table. Unguarded: a fault reaches the
  /// caller as EMathError.
  Extended ProbabilityZBetweenPlusMinus(Extended z);
  /// The two-sided standard normal critical value for the confidence Level ".90", ".95" or ".99" (or
  /// "0.90" and the like): 1.645, 1.96 or 2.576; 0 for any other text.
  Extended ZTableValue2(const std::string& Level);
  /// The two-sided t critical value at DF degrees of freedom for the component's AlphaLevel, from the
  /// table (DF beyond it takes its last row); 0 for DF < 1.
  Single TTableValue2(int DF);
  /// The chi-square critical value at DF degrees of freedom for the significance level Alpha 0.01 or
  /// 0.05, from the table; 0 for another Alpha or DF outside the table.
  Single CSqrTableValue(int DF, Single Alpha);

  // Combinatorics and elementary tests
  /// n!, for n in 1..25; 0 outside.
  Extended Factorial(Byte n);
  /// n! / (n − r)!, the ordered choices of r of n; 0 for counts out of range. On a fault:
  /// "Error occurred in  Permutations" and 0.
  std::int64_t Permutations(Byte n, Byte r);
  /// n! / (r!(n − r)!), the choices of r of n; 0 for counts out of range. On a fault:
  /// "Error occurred in  Combinations" and 0.
  std::int64_t Combinations(Byte n, Byte r);
  /// Pearson's chi-square statistic Σ (O − E)² / E over the first N cells. On a fault:
  /// "Error occurred in  ChiSquare" and 0.
  Extended CalcChiSquare(std::span<const double> Observed, std::span<const double> Expected, int N);
  /// The one-sample t statistic (Mean − HypMean)·√N / S; 0 unless S > 0 and N > 0. On a fault:
  /// "Error occurred in  TCalculated" and 0.
  Extended CalcT(int N, Extended Mean, Extended HypMean, Extended S);
  /// The confidence interval Mean ± t·S/√N, t the two-sided t value at N degrees of freedom
  /// (TTableValue2, the component's AlphaLevel); the all-zero interval for N ≤ 0. On a fault:
  /// "Error occurred in  SmallSampleCIforMean" and the all-zero interval.
  TIntervalRec SmallSampleCIforMean(int N, Extended Mean, Extended S);
  /// The confidence interval Mean ± z·SE, z = ZTableValue2(Level); an unknown Level gives z = 0, both
  /// limits the mean. On a fault: "Error occurred in  LargeSampleCIfor Mean" and the all-zero interval.
  TIntervalRec LargeSampleCIforMean(const std::string& Level, Extended Mean, Extended SE);
  /// The standard score (X − Mean) / S; 0 unless S > 0. Unguarded: a fault reaches the caller as
  /// EMathError.
  Extended GetZValue(Extended X, Extended Mean, Extended S);
  /// X − Mean.
  Extended GetCenterValue(Extended X, Extended Mean);
  /// The ratio A / B of two mean squares, or 0. Unguarded: a fault reaches the caller as EMathError.
  Extended CalcF(Extended A, Extended B);

  // Matrices
  /// A matrix with every entry equal to Value; Size does not limit the fill.
  TMatrix InitMatrix(Byte Size, Extended Value);
  /// The identity of order Size, the rest 0.
  TMatrix IdentityMatrix(Byte Size);
  /// The leading Size by Size block of M, the rest 0.
  TMatrix CopyMatrix(const TMatrix& M, Byte Size);
  /// The inverse of the leading Size by Size block of M by Gauss-Jordan elimination, with its
  /// determinant in Det. A zero pivot shows "Error div by 0 inverting matrices" and gives the all-zero
  /// matrix; any other fault of the elimination reaches the caller as EMathError.
  TMatrix InvertMatrix(const TMatrix& M, Byte Size, Extended& Det);

  // Eigen-analysis and principal components
  /// The accumulated orthogonal transformation of the Householder reduction of the symmetric leading n
  /// by n block of A to tridiagonal form (EigenDecomposition gives the eigenvectors themselves).
  /// Unguarded: a fault reaches the caller as EMathError.
  TMatrix EigenVectors(const TMatrix& A, Byte n);
  /// The diagonal of the tridiagonal form of the symmetric leading n by n block of A after the QL
  /// iteration, largest first, from [0]. Unguarded: a fault reaches the caller as EMathError.
  TVector EigenValues(const TMatrix& A, Byte n);
  /// The condition indexes √(λ₁/λᵢ) of the first n eigenvalues Lambda (as EigenValues gives them,
  /// largest first), from [0]; 0 where λᵢ ≤ 0, all 0 when λ₁ ≤ 0. Unguarded: a fault reaches the caller
  /// as EMathError.
  TVector ConditionIndexes(const TVector& Lambda, Byte n);
  /// D·V with D = diag(√λ₁ … √λₙ): row i of V times the square root of Lambda[i], over the leading n by
  /// n block. Unguarded: a negative λ reaches the caller as EMathError.
  TMatrix FactorsMatrix(const TVector& Lambda, const TMatrix& V, Byte n);
  /// The loadings L(i, j) = M(i, j)·√B[i] / √A[j] over the leading n by n block, the rest 0. Unguarded:
  /// A[j] = 0 or a negative entry reaches the caller as EMathError.
  TMatrix FactorsLoadingsMatrix(const TVector& A, const TVector& B, const TMatrix& M, Byte n);
  /// The scores of observations 0..N − 1 on principal component p (1..k) of variables 1..k of X, into
  /// Out. Unguarded: a fault reaches the caller as EMathError.
  void PrincipalComponent(const TRegressData* X, Byte k, int N, std::span<double> Out, Byte p);
  /// Replaces variables 1..k of X by their principal component scores over N observations; nothing is
  /// written back unless every score was computed. Unguarded: a fault reaches the caller as EMathError.
  void TransformDataPCAs(TRegressData* X, Byte k, int N);
  /// Every eigenvalue and eigenvector of the symmetric leading n by n block
  /// of A (its lower triangle is read), by the implicit QL iteration on the
  /// Householder reduction's tridiagonal form.
  /// On a fault: "Error occurred in  EigenDecomposition" and a record with N = 0.
  TEigenRec EigenDecomposition(const TMatrix& A, Byte n);
  /// Principal components of variables 1..k over N observations; Scores,
  /// when given, receives in rows 1..k the score of every observation on
  /// each component, ((x − centre) / scale) · rotation.
  /// On a fault: "Error occurred in  MVPrincipalComponents" and a record with N = 0, Scores untouched.
  TPrincipalComponentsRec MVPrincipalComponents(const TRegressData* X, Byte k, int N, bool Scaled,
                                                TRegressData* Scores = nullptr);

  // Univariate statistics
  /// The sum of the first N values of A. On a fault: "Error occurred in  GetSum" and 0.
  Extended GetSum(std::span<const double> A, int N);
  /// The least of the first N values of A. On a fault: "Error occurred in  GetMin" and 0.
  Extended GetMin(std::span<const double> A, int N);
  /// The largest of the first N values of A. On a fault: "Error occurred in  GetMax" and 0.
  Extended GetMax(std::span<const double> A, int N);
  /// The mean of the first N values of A. On a fault: "Error occurred in  GetMean" and 0.
  Extended GetMean(std::span<const double> A, int N);
  /// The sample variance (denominator N − 1) of the first N values of A. On a fault:
  /// "Error occurred in  GetVariance" and 0.
  Extended GetVariance(std::span<const double> A, int N);
  /// The coefficient of variation of the first N values of A in percent, 100·sd / mean (negative for a
  /// negative mean); 0 when the mean is 0. On a fault: "Error occurred in  GetCoefficientOfVariation"
  /// and 0.
  Extended GetCoefficientOfVariation(std::span<const double> A, int N);
  /// The skewness of the first N values of A. Unguarded: a fault reaches the caller as EMathError.
  Single GetSkew(std::span<const double> A, int N);
  /// The kurtosis of the first N values of A. Unguarded: a fault reaches the caller as EMathError.
  Single GetKurtosis(std::span<const double> A, int N);
  /// The median of the first N values of A (A is not reordered). Unguarded: a fault reaches the caller
  /// as EMathError.
  Extended GetMedian(std::span<const double> A, int N);
  /// The sum of the first K entries of V (the total variance of K eigenvalues); 0 for K beyond the
  /// vector. An overflowing sum throws EMathError.
  Extended GetTotalVariation(const TVector& V, Byte K);
  /// Every univariate statistic of variables 1..K of X over N observations; variable j at entry j − 1.
  /// On a fault: "Error occurred in  UnivariateSummary" and the all-zero record.
  TUnivarStatRec UnivariateSummary(const TRegressData* X, Byte K, int N);
  /// Every univariate statistic of the first N values of A. On a fault:
  /// "Error occurred in  UnivariateSummary" and the all-zero record.
  TYSummaryRec YSummary(std::span<const double> A, int N);
  /// The first N values' minimum, quartiles (R's default type 7) and
  /// maximum; N = 0 in the record when nothing was computed.
  /// On a fault: "Error occurred in  GetQuartiles" and a record with N = 0.
  TQuartileRec GetQuartiles(std::span<const double> A, int N);
  /// m4 / m2² − 3 with the central moments about the mean (denominator N);
  /// NaN when the values are all equal.
  /// On a fault: "Error occurred in  GetExcessKurtosis" and 0.
  Extended GetExcessKurtosis(std::span<const double> A, int N);
  /// The lag-1 autocorrelation as R's acf forms it: Σ (xₜ − x̄)(xₜ₊₁ − x̄) over
  /// Σ (xₜ − x̄)²; NaN when the values are all equal.
  /// On a fault: "Error occurred in  GetAutocorrelation" and 0.
  Extended GetAutocorrelation(std::span<const double> A, int N);

  // Predictor vectors and matrices
  /// The sum of each of variables 1..k of X over n observations, variable j at entry j − 1. Unguarded:
  /// a fault reaches the caller as EMathError.
  TVector SumVector(const TRegressData* X, Byte k, int n);
  /// The mean of each of variables 1..k of X over n observations, variable j at entry j − 1. Unguarded:
  /// a fault reaches the caller as EMathError.
  TVector MeanVector(const TRegressData* X, Byte k, int n);
  /// The sample variance of each of variables 1..k of X over n observations, variable j at entry j − 1.
  /// On a fault: "Error occurred in  VarianceVector" and the all-zero vector.
  TVector VarianceVector(const TRegressData* X, Byte k, int n);
  /// Each of variables 1..k's share of their total variance, variable j at entry j − 1. On a fault:
  /// "Error occurred in  VarianceProportionsVector" and the all-zero vector.
  TVector VarianceProportionsVector(const TRegressData* X, Byte k, int n);
  /// The least value of each of variables 1..k of X over n observations, variable j at entry j − 1.
  /// Unguarded: a fault reaches the caller as EMathError.
  TVector MinVector(const TRegressData* X, Byte k, int n);
  /// The largest value of each of variables 1..k of X over n observations, variable j at entry j − 1.
  /// Unguarded: a fault reaches the caller as EMathError.
  TVector MaxVector(const TRegressData* X, Byte k, int n);
  /// Pearson's correlations of variables 1..k of X over n observations, [i − 1][j − 1] for variables i
  /// and j. On a fault: "Error occurred in  CorrelationMatrix" and the all-zero matrix.
  TMatrix CorrelationMatrix(const TRegressData* X, Byte k, int n);
  /// The sample covariances of variables 1..k of X over n observations, [i − 1][j − 1] for variables i
  /// and j. A fault in the standard deviations reaches the caller as EMathError; one later shows
  /// "Error occurred in  CovarianceMatrix" and gives the all-zero matrix.
  TMatrix CovarianceMatrix(const TRegressData* X, Byte k, int n);
  /// The differences of the first k Means, [i][j] = Means[i] − Means[j]. On a fault:
  /// "Error occurred in  MeansDifferencesMatrix" and the all-zero matrix.
  TMatrix MeansDifferencesMatrix(const TVector& Means, Byte k);

  // Data transforms
  /// Subtracts the mean from each of the first n values of A. On a fault:
  /// "Error occurred in  StandardizeData" and the values rewritten before the fault kept, the rest as
  /// they were.
  void TransformArrCenter(std::span<double> A, int n);
  /// Turns each of the first n values of A into (x − mean) / sd, every value 0 when sd ≤ 0. On a fault:
  /// "Error occurred in  StandardizeData" and the values rewritten before the fault kept, the rest as
  /// they were.
  void TransformArrStandardize(std::span<double> A, int n);
  /// Divides each of the first n values of A by their largest value, unless that is within ±1E−5. On a
  /// fault: "Error occurred in  NormalizeData" and the values rewritten before the fault kept, the rest
  /// as they were.
  void TransformArrNormalize(std::span<double> A, int n);
  /// Replaces each of the first n values of A by 1 / x; a 0 stays 0. On a fault:
  /// "Error occurred in  TransformInverse" and the values rewritten before the fault kept, the rest as
  /// they were.
  void TransformArrInverse(std::span<double> A, int n);
  /// Squares each of the first n values of A. Unguarded: a fault reaches the caller as EMathError.
  void TransformArrSquare(std::span<double> A, int n);
  /// Replaces each of the first n values of A by its square root, 0 for a value that is not positive.
  /// On a fault: "Error occurred in  TransformSquareRoot" and the values rewritten before the fault
  /// kept, the rest as they were.
  void TransformArrSquareRoot(std::span<double> A, int n);
  /// Adds s to each of the first n values of A. Unguarded: a fault reaches the caller as EMathError.
  void TransformArrAddScalar(std::span<double> A, Extended s, int n);
  /// Multiplies each of the first n values of A by s. Unguarded: a fault reaches the caller as
  /// EMathError.
  void TransformArrMultiplyScalar(std::span<double> A, Extended s, int n);
  /// TransformArrCenter on each of variables 1..k of X; a row that fails shows its message and the next
  /// goes on.
  void TransformDataCenter(TRegressData* X, Byte k, int n);
  /// TransformArrStandardize on each of variables 1..k of X; a row that fails shows its message and the
  /// next goes on.
  void TransformDataStandardize(TRegressData* X, Byte k, int n);
  /// TransformArrNormalize on each of variables 1..k of X; a row that fails shows its message and the
  /// next goes on.
  void TransformDataNormalize(TRegressData* X, Byte k, int n);

  // Bivariate regression
  /// The least-squares line of the first n values of Y on X, with its sums and correlation; n ≤ 2 gives
  /// a record with only N. A fault of the fit shows "Divide by zero calculating r, B1 or B0" and leaves
  /// the fields from the fault on 0; a fault in Fisher's z or the t of R reaches the caller as
  /// EMathError.
  TBivarStatRec BVRegression(std::span<const double> X, std::span<const double> Y, int n);
  /// The line's value B0 + B1·x. Unguarded: a fault reaches the caller as EMathError.
  Extended BVCalcYValue(const TBivarStatRec& Rec, Extended x);
  /// B1·x + B0 of the record when N > 0 and SXY > 0, else 0. On a fault:
  /// "Error occurred in  BivarRegressionReverse" and 0.
  Extended BVRegressionReverse(const TBivarStatRec& Rec, Extended x);
  /// The residuals y − ŷ of the line of Y on X, into the first n entries of Out. On a fault:
  /// "Error occurred in  BivarResiduals" and Out as far as it was filled.
  void BVResiduals(std::span<const double> X, std::span<const double> Y, std::span<double> Out, int n);
  /// The fitted values of the line of Y on X, into the first n entries of Out. On a fault:
  /// "Error occurred in  BivarPredictedY" and Out as far as it was filled.
  void BVPredictedY(std::span<const double> X, std::span<const double> Y, std::span<double> Out, int n);
  /// The regression of Y on X and X² over n observations, as MVRegression gives it. Unguarded: a fault
  /// reaches the caller as EMathError.
  TMultStatRec BVQuadraticRegression(std::span<const double> X, std::span<const double> Y, int n);

  // Bivariate inference and rank correlation
  /// The confidence interval of the slope at the component's AlphaLevel. On a fault:
  /// "Error occurred in  BivarRegressionBeta1CI" and the all-zero interval.
  TIntervalRec BVRegressionBeta1CI(const TBivarStatRec& Rec);
  /// The confidence interval of the mean response at X0 (Y0: the fitted value there) at the component's
  /// AlphaLevel. On a fault: "Error occurred in  BivarRegressionCI" and the all-zero interval.
  TIntervalRec BVRegressionCI(const TBivarStatRec& Rec, Extended Y0, Extended X0);
  /// The prediction interval of a new observation at X0 (Y0: the fitted value there) at the component's
  /// AlphaLevel. On a fault: "Error occurred in  BivarRegressionPI" and the all-zero interval.
  TIntervalRec BVRegressionPI(const TBivarStatRec& Rec, Extended Y0, Extended X0);
  /// The t statistic of the slope, B1 / (s / √SXX); 0 unless SXX > 0 and 2 < N < MaxObs. On a fault:
  /// "Error occurred in  BivarRegressionTestStatistic" and 0.
  double BVRegressionTestStatistic(const TBivarStatRec& Rec);
  /// The z statistic of a sample correlation b against a hypothesised correlation a from n
  /// observations, (z(b) − z(a))·√(n − 3) with Fisher's z; 0 unless n > 3. On a fault:
  /// "Error occurred in  BVCorrelationSampleTestStat" and 0.
  Extended BVCorrelationSampleTestStat(int n, Extended a, Extended b);
  /// Spearman's rank correlation of the first n ranks of RanksX and RanksY. On a fault:
  /// "Error occurred in  SpearmansR" and 0.
  Extended SpearmansR(std::span<const std::int32_t> RanksX, std::span<const std::int32_t> RanksY, int n);
  /// √((1 − rₛ²) / (n − 2)) with rₛ SpearmansR of the same ranks; 0 unless 2 < n < MaxObs. On a fault:
  /// "Error occurred in  SpearmansRStdError" and 0.
  Extended SpearmansRStdError(std::span<const std::int32_t> RanksX, std::span<const std::int32_t> RanksY, int n);

  // Multiple regression core
  /// Sets row 0 (the constant) of PRegressData to 1; call it once after creating the component and
  /// before any multivariate operation.
  void MVPrepare();
  /// The least-squares fit of the first n values of Y on variables 1..k of X and the constant. With
  /// ScanData on, data that MVCheckXData rejects give the all-zero record silently; k or n out of range
  /// shows "Number of vars must be > 0, and n > 2" and gives the all-zero record. A design singular to
  /// working precision shows "Error div by 0 inverting matrices" and
  /// "Error computing regression coefficients" and leaves the fields from the fault on 0. Unguarded:
  /// any other fault, and n = k + 1 (no residual degree of freedom), reaches the caller as EMathError.
  TMultStatRec MVRegression(const TRegressData* X, std::span<const double> Y, Byte k, int n);
  /// The plausibility scan MVRegression runs when ScanData is on: false for counts out of range, more
  /// than one predictor whose values sum to about zero, or predictors in a pattern that cannot be
  /// fitted. Reads X only. On a fault: "Error occurred in  CheckData" and false.
  bool MVCheckXData(const TRegressData* X, Byte k, int n);
  /// The cross products X'X of the constant and variables 1..k over n observations, (k + 1) by (k + 1).
  /// Unguarded: a fault reaches the caller as EMathError.
  TMatrix CrossProducts(const TRegressData* X, Byte k, int n);
  /// The fit of Y on variables 1..k of X given Inv, the inverse of CrossProducts, as MVRegression gives
  /// it. Unguarded: a fault reaches the caller as EMathError.
  TMultStatRec ComputeResults(const TRegressData* X, std::span<const double> Y, const TMatrix& Inv, Byte k, int n);
  /// The fitted value Beta[0] + Σ Beta[j]·XValues[j − 1] of the record; 0 for a record of more than
  /// MaxVars predictors. An overflow throws EMathError.
  Extended MVCalcYValue(const TMultStatRec& Rec, const TVector& XValues);

  // Residuals and influence diagnostics
  /// The fitted values of the regression of Y on variables 1..k of X, into the first n entries of Out.
  /// On a fault: "Error occurred in  MultiVarPredictedY" and Out as far as it was filled.
  void MVPredictedY(const TRegressData* X, std::span<const double> Y, std::span<double> Out, Byte k, int n);
  /// The residuals y − ŷ of that regression, into the first n entries of Out. On a fault:
  /// "Error occurred in  MultiVarResiduals" and Out as far as it was filled.
  void MVResiduals(const TRegressData* X, std::span<const double> Y, std::span<double> Out, Byte k, int n);
  /// The standardised residuals e / s, s = √(SSE / (n − k − 1)), of the regression of Y on variables
  /// 1..k of X, into the first n entries of Out. On a fault: "Error occurred in  MultiVarStdResiduals"
  /// and Out as far as it was filled.
  void MVStdResiduals(const TRegressData* X, std::span<const double> Y, std::span<double> Out, Byte k, int n);
  /// The studentised residuals, each standardised residual over √(1 − h) with h its leverage, into the
  /// first n entries of Out. On a fault: "Error occurred in  MultiVarStudentResiduals" and Out as far
  /// as it was filled.
  void MVStudentResiduals(const TRegressData* X, std::span<const double> Y, std::span<double> Out, Byte k, int n);
  /// The leverages (diagonal of the hat matrix) of variables 1..k of X with the constant, into the
  /// first n entries of H. Unguarded: a fault reaches the caller as EMathError.
  void MVLeverages(const TRegressData* X, std::span<double> H, Byte k, int n);
  /// Cook's distances e²·h / ((1 − h)²·(k + 1)·MSE) of the regression of Y on variables 1..k of X, into
  /// the first n entries of Out. On a fault: "Error occurred in  CooksDistance" and Out as far as it
  /// was filled.
  void MVCooksDistance(const TRegressData* X, std::span<const double> Y, std::span<double> Out, Byte k, int n);
  /// The Durbin-Watson statistic Σ (eᵢ − eᵢ₋₁)² / Σ eᵢ² of the residuals of the regression of Y on
  /// variables 1..k of X. On a fault: "Error occurred in  DurbinWatson" and 0.
  Extended DurbinWatson(const TRegressData* X, std::span<const double> Y, Byte k, int n);
  /// The fit with its inference at a two-sided Level (0.95 for 95 %): every
  /// coefficient's t, p-value, confidence limits and VIF, and the model's
  /// adjusted R², F p-value, log-likelihood, AIC, BIC and Durbin-Watson;
  /// with the constant or through the origin. Observations, when given,
  /// receive every observation's influence measures and limits from the same
  /// fit (it must hold n entries).
  /// On a fault: "Error occurred in  MVInference" and the all-zero record.
  TModelInference MVInference(const TRegressData* X, std::span<const double> Y, Byte k, int n, Extended Level,
                              bool Intercept = true, std::span<TObservationInference> Observations = {});

  // Confidence and prediction intervals
  /// The upper confidence limits of the mean response at each observation of the regression of Y on
  /// variables 1..k of X, at the component's AlphaLevel, into the first n entries of Out. On a fault:
  /// "Error occurred in  MultiVarRegressionCI" and the stage it reached (Initial Calcs, After
  /// Regression, After Matrix Inversion), Out as far as it was filled.
  void MVPredictedYCIUpper(const TRegressData* X, std::span<const double> Y, std::span<double> Out, Byte k, int n);
  /// The lower confidence limits of the mean response at each observation of the regression of Y on
  /// variables 1..k of X, at the component's AlphaLevel, into the first n entries of Out. On a fault:
  /// "Error occurred in  MultiVarRegressionCI" and the stage it reached (Initial Calcs, After
  /// Regression, After Matrix Inversion), Out as far as it was filled.
  void MVPredictedYCILower(const TRegressData* X, std::span<const double> Y, std::span<double> Out, Byte k, int n);
  /// The upper prediction limits of a new observation at each observation of the regression of Y on
  /// variables 1..k of X, at the component's AlphaLevel, into the first n entries of Out. On a fault:
  /// "Error occurred in  MultiVarRegressionCI" and the stage it reached (Initial Calcs, After
  /// Regression, After Matrix Inversion), Out as far as it was filled.
  void MVPredictedYPIUpper(const TRegressData* X, std::span<const double> Y, std::span<double> Out, Byte k, int n);
  /// The lower prediction limits of a new observation at each observation of the regression of Y on
  /// variables 1..k of X, at the component's AlphaLevel, into the first n entries of Out. On a fault:
  /// "Error occurred in  MultiVarRegressionCI" and the stage it reached (Initial Calcs, After
  /// Regression, After Matrix Inversion), Out as far as it was filled.
  void MVPredictedYPILower(const TRegressData* X, std::span<const double> Y, std::span<double> Out, Byte k, int n);

  // Derived regressions
  /// The correlation of Y with each of variables 1..k of X alone, as BVRegression gives it, variable j
  /// at entry j − 1. On a fault: "Error in MVPairedXYRegressios" and the entries computed before the
  /// fault, the rest 0.
  TVector MVPairedXYRegressions(const TRegressData* X, std::span<const double> Y, Byte k, int n);
  /// The mean of the correlations MVPairedXYRegressions gives. Unguarded: a fault reaches the caller as
  /// EMathError.
  Extended MVAverageCorrelation(const TRegressData* X, std::span<const double> Y, Byte k, int n);
  /// The regression of Y on variables 1..k of X and the product of variables a and b (1..k) as
  /// predictor k + 1, whose coefficient is Beta[k + 1]. Row k + 1 of X is borrowed and restored on
  /// every path. On a fault: "Error occurred in  MVInteractionRegression" and the all-zero record.
  TMultStatRec MVInteractionRegression(TRegressData* X, std::span<const double> Y, Byte k, int n, Byte a, Byte b);
  /// The regression of Y on variables 1..k of X and the square of variable a (1..k) as predictor k + 1.
  /// Row k + 1 of X is borrowed and restored on every path. On a fault:
  /// "Error occurred in  MVPolynomialRegression" and the all-zero record.
  TMultStatRec MVPolynomialRegression(TRegressData* X, std::span<const double> Y, Byte k, int n, Byte a);
  /// Removes variable v (1..k) from X: the rows after it move up (with v = k, row k is cleared), and k
  /// and MultStatRec.K decrease by one. Nothing for counts out of range. On a fault:
  /// "Error occurred in  RemoveVariable" and X and k as the fault left them.
  void MVRemoveVariable(TRegressData* X, Byte& k, int n, Byte v);
  /// A report of the regression y = β0 + β1·x + β2·d + β3·d·x of the first n values of Y on X and the
  /// dummy D, headed by Title. Unguarded: a fault reaches the caller as EMathError.
  std::string DummyXYRegression(std::span<const double> X, std::span<const double> Y,
                                std::span<const double> D, int n, const std::string& Title);

  // Selection criteria and stepwise regression
  /// Mallows' Cp of a sub-model of p predictors over n observations, SSEp / MSEk − (n − 2(p + 1)), MSEk
  /// the full model's MSE (SSEp − (n − 2(p + 1)) when MSEk is 0). On a fault:
  /// "Error occurred in  CalcCp" and 0.
  Extended CalcCp(Byte p, int n, Extended SSEp, Extended MSEk);
  /// The partial F of dropping the k − p last predictors, ((R2k − R2p) / (k − p)) / ((1 − R2k) / (n − k
  /// − 1)); 0 when k = p or n = k + 1. On a fault: "Error occurred in  CalcFp" and 0.
  Extended CalcFp(Byte k, Byte p, Extended R2p, Extended R2k, int n);
  /// The mean squared error SSEp / (n − p − 1) of a sub-model of p predictors; 0 when n = p + 1. On a
  /// fault: "Error occurred in  CalcMSEp" and 0.
  Extended CalcMSEp(Byte p, int n, Extended SSEp);
  /// A report of the nested models on the first 1, 2, …, k predictors of X, each rated against the full
  /// model by Cp, partial F and MSE, headed by Title; the empty text for counts out of range.
  /// Unguarded: a fault reaches the caller as EMathError.
  std::string MVStepwiseForward(const TRegressData* X, std::span<const double> Y, Byte k, int n, const std::string& Title);
  /// The same report as MVStepwiseForward with the models in the order k, k − 1, …, 1. Unguarded: a
  /// fault reaches the caller as EMathError.
  std::string MVStepwiseBackward(const TRegressData* X, std::span<const double> Y, Byte k, int n, const std::string& Title);

  // All-subsets selection
  /// A report rating the subsets of variables 1..k of X listed in the combination file by AccWeight
  /// times their accuracy (Cp) and SimpWeight times their simplicity, headed by Title. A missing file
  /// gives the empty text silently; a file that cannot be read, or another fault, shows
  /// "Error in StepwiseVarSelection" and gives the empty text.
  std::string MVStepwiseVarSelection(const TRegressData* X, std::span<const double> Y, Byte k, int n,
                                     Single AccWeight, Single SimpWeight, const std::string& Title);
  /// One line naming the number p of first predictors whose Cp lies nearest p + 1; the empty text for
  /// counts out of range. Unguarded: a fault reaches the caller as EMathError.
  std::string MVOptimalForwardModel(const TRegressData* X, std::span<const double> Y, Byte k, int n);

  // Best subsets and stepwise search by AIC, the constant always in the
  // model. Every sub-model is fitted from one pass of centred cross
  // products; a full design singular to working precision is reported and
  // gives the empty result.
  /// The best PerSize models of each size 1..k by RSS, found by branch and
  /// bound (k up to 24), and the best of them by Criterion. Progress, when
  /// given, is called now and then with the fraction of the 2^k subsets
  /// covered so far, and with 1 at the end.
  /// A full design singular to working precision is reported and gives the empty result. On a fault:
  /// "Error occurred in  MVBestSubsets" and the empty result.
  TBestSubsets MVBestSubsets(const TRegressData* X, std::span<const double> Y, Byte k, int n, int PerSize,
                             TSubsetCriterion Criterion,
                             const std::function<void(double FractionDone)>& Progress = {});
  /// Forward from the constant alone, backward or both ways from the full
  /// model: at each step the single addition or removal of lowest AIC, until
  /// none lowers it (drops before additions, and the model's terms in the
  /// order they entered it, on a tie).
  /// A full design singular to working precision is reported and gives the empty result. On a fault:
  /// "Error occurred in  MVStepwiseAIC" and the empty result.
  TStepwiseAIC MVStepwiseAIC(const TRegressData* X, std::span<const double> Y, Byte k, int n,
                             TStepDirection Direction);

  // Distance measures
  /// The interval a ± b·s: Upper a + b·s, Lower a − b·s. Unguarded: a fault reaches the caller as
  /// EMathError.
  TIntervalRec MakePiped(Extended a, Extended b, Extended s);
  /// The signed sum of differences Σ (x[i] − y[i]) over the first n entries; 0 for n outside
  /// 1..MaxVars. On a fault: "Error occurred in  LDistance" and 0.
  Extended GetLDistance(const TVector& x, const TVector& y, Byte n);
  /// For each observation t of variables 1..k of X, the signed sum of its deviations from the means,
  /// into the first N entries of Out. On a fault: "Error in LDistances" and Out as far as it was
  /// filled.
  void LDistances(const TRegressData* X, std::span<double> Out, int N, Byte k);
  /// The Euclidean distance √Σ (x[i] − y[i])² over the first n entries; 0 for n outside 1..MaxVars. On
  /// a fault: "Error occurred in  EuclideanDistances" and 0.
  Extended GetEuclideanDistance(const TVector& x, const TVector& y, Byte n);
  /// For each observation t of variables 1..k of X, the squared Euclidean distance from the means (no
  /// square root), into the first N entries of Out. On a fault: "Error in EuclideanDistances" and Out
  /// as far as it was filled.
  void EuclideanDistances(const TRegressData* X, std::span<double> Out, int N, Byte k);
  /// The normalised Euclidean distance √Σ ((x[i] − y[i]) / √C(i, i))² over the first n entries (only
  /// the diagonal of C is read); 0 for n outside 1..MaxVars. On a fault:
  /// "Error occurred in  NormEuclideanDistances" and 0.
  Extended GetNormEuclideanDistance(const TVector& x, const TVector& y, const TMatrix& C, Byte n);
  /// For each observation t of variables 1..k of X, Σ ((x − mean) / sd)² over the variables (no square
  /// root), into the first N entries of Out. On a fault: "Error in NormEuclideanDistances" and Out as
  /// far as it was filled.
  void NormEuclideanDistances(const TRegressData* X, std::span<double> Out, int N, Byte k);
  /// The squared Mahalanobis distance (x − m)ᵀ S⁻¹ (x − m) of x from the means m of variables 1..k of X
  /// over N observations, S their covariance matrix. On a fault:
  /// "Error occurred in  MahalanobisDistance" and 0.
  Extended GetMahalanobisDistance(const TRegressData* X, const TVector& x, Byte k, int N);
  /// The squared Mahalanobis distance of each observation of variables 1..k of X from their means, into
  /// the first N entries of Out. On a fault: "Error occurred in  MahalanobisDistances" and Out as far
  /// as it was filled.
  void MahalanobisDistances(const TRegressData* X, std::span<double> Out, Byte k, int N);
  /// The squared distances D2 and flags (1: D² above the chi-square quantile
  /// at k degrees of freedom and Level, as R's qchisq(Level, k)); returns
  /// that quantile, or 0 when nothing was computed.
  /// On a fault: "Error occurred in  MahalanobisOutliers" and 0.
  Extended MahalanobisOutliers(const TRegressData* X, Byte k, int N, Extended Level, std::span<double> D2,
                               TOutlierFlags& Flags);
  /// g − ½·ln det S − ½·D², D² the squared Mahalanobis distance of x from the means of variables 1..k
  /// of X and S their covariance matrix. On a fault: "Error occurred in  MaximumLikelihoodDistances"
  /// and 0.
  Extended GetMaximumLikelihoodDistance(const TRegressData* X, const TVector& x, Byte k, int N, Extended g);
  /// GetMaximumLikelihoodDistance of each observation of variables 1..k of X, into the first N entries
  /// of Out. On a fault: "Error occurred in  MaximumLikelihoodDistances" and Out as far as it was
  /// filled.
  void MaximumLikelihoodDistances(const TRegressData* X, std::span<double> Out, Byte k, int N, Extended g);

  // Separability and outlier flags
  /// The average normalised distance Σ |m1[i] − m2[i]| / (√C1(i, i) + √C2(i, i)) / n of two groups,
  /// over the first n entries; 0 for n outside 1..MaxVars. On a fault:
  /// "Error occurred in  AvgNormDistance" and 0.
  Extended GetAvgNormDistance(const TVector& m1, const TVector& m2, const TMatrix& C1, const TMatrix& C2, Byte n);
  /// The divergence D scaled to 0..s: s·(1 − e^(−D/8)). On a fault: "Error in Scale Divergence" and 0.
  Extended ScaleDivergence(Extended D, Single s);
  /// The divergence of two multivariate normal groups, ½ tr[(C2⁻¹ − C1⁻¹)(C1 − C2)] + ½ (m1 − m2)ᵀ(C1⁻¹
  /// + C2⁻¹)(m1 − m2), over the first n entries; 0 for n outside 1..MaxVars. Unused is not read. On a
  /// fault: "Error occurred in  Divergence" and 0.
  Extended GetDivergence(const TVector& m1, const TVector& m2, const TMatrix& C1, const TMatrix& C2,
                         Byte n, Extended Unused);
  /// The flags of the first N standard scores z: 1 where |z| > Threshold, else 0; all 0 unless 0 <
  /// Threshold < 5. On a fault: "Error occurred in  FlagOutliers" and the all-zero flags.
  TOutlierFlags FlagOutliers(std::span<const double> z, int N, Single Threshold);
  /// The same flags written into the caller's array, for a caller whose
  /// stack should not hold an 80 KB return value.
  /// On a fault: "Error occurred in  FlagOutliers" and Flags all 0.
  void FlagOutliers(std::span<const double> z, int N, Single Threshold, TOutlierFlags& Flags);

  // Regression reports and equations
  /// A five-line report of the interval Mean ± SD. Unguarded: a fault reaches the caller as EMathError.
  std::string PipedReportString(Extended Mean, Extended SD);
  /// The fitted line as one line of text. Unguarded: a fault reaches the caller as EMathError.
  std::string BVEquationString(const TBivarStatRec& Rec);
  /// The fitted equation of the record as one line of text. Unguarded: a fault reaches the caller as
  /// EMathError.
  std::string MVEquationString(const TMultStatRec& Rec);
  /// A 14-line report of the simple regression, headed by Title. Unguarded: a fault reaches the caller
  /// as EMathError.
  std::string BVRegressionMemo(const std::string& Title, const TBivarStatRec& Rec);
  /// A report of the multiple regression; the empty text when the model is unusable. Unguarded: a fault
  /// reaches the caller as EMathError.
  std::string MVRegressionMemo(const TMultStatRec& Rec);

  // Interpretation texts
  /// A sentence on the serial correlation the Durbin-Watson statistic DW indicates; the empty text
  /// outside its range. Unguarded: a fault reaches the caller as EMathError.
  std::string InterpretDWStatistic(Extended DW);
  /// A summary of the collinearity the first n condition indexes CI (index i at entry i − 1) indicate.
  /// Unguarded: a fault reaches the caller as EMathError.
  std::string InterpretConditionIndexes(const TVector& CI, Byte n);
  /// A sentence on the model's utility by its R, with a note where it applies. Unguarded: a fault
  /// reaches the caller as EMathError.
  std::string InterpretModelUtility(const TMultStatRec& Rec);
  /// Three lines naming the coefficients by how their t compares with Threshold. Unguarded: a fault
  /// reaches the caller as EMathError.
  std::string InterpretModelBetaParameters(const TMultStatRec& Rec, Extended Threshold);
  /// Two lists of the variables whose skewness and kurtosis stand out. Unguarded: a fault reaches the
  /// caller as EMathError.
  std::string InterpretVariableUtility(const TUnivarStatRec& Rec);
  /// Two lines naming the pairs of the first k variables whose correlation in R is below −0.7 and above
  /// 0.7. Unguarded: a fault reaches the caller as EMathError.
  std::string InterpretHighXCorrelations(const TMatrix& R, Byte k);
  /// Two lines naming the observations among the first N standard scores z that are strong (|z| > 2.5)
  /// and moderate (2.0 ≤ |z| ≤ 2.5) outliers. Unguarded: a fault reaches the caller as EMathError.
  std::string InterpretOutliers(std::span<const double> z, int N);

  // K-means clustering
  /// K-means of observations 0..N − 1 of variables 1..k of X into K clusters: centres spread over the
  /// ranges, then Iterations rounds of assignment and means, the report written to the text file
  /// FileName. A fault, or a file that cannot be written, shows "KMeansClusterError" or the failing
  /// step's message and leaves the report as far as it was written.
  void KMeansClustering(const TRegressData* X, Byte k, int N, Byte K, Byte Iterations, const std::string& FileName);
  /// k-means from k-means++ starts drawn with Seed (the same seed gives the
  /// same result on every machine), Starts of them, the start of least
  /// total within-cluster sum of squares kept; each run of Lloyd's
  /// iterations is followed by single moves between clusters that lower the
  /// total, until none does. Centres[c − 1][j − 1] is cluster c's mean of
  /// variable j, Assignment[t] observation t's cluster (1..K). Progress,
  /// when given, hears the share of the starts done after each start.
  /// On a fault: "Error occurred in  KMeansClusters" and a record with N = 0.
  TKMeansRec KMeansClusters(const TRegressData* X, Byte k, int N, Byte K, std::uint64_t Seed, int Starts,
                            TClusterCenters& Centres, TClusterAssignment& Assignment,
                            const std::function<void(double FractionDone)>& Progress = {});
  /// K initial centres spread evenly over each variable's range Min..Max (k variables), at the middles
  /// of K equal parts, appended to the report file FileName; Unused is not read. On a fault:
  /// "ClusterInitialError" and the all-zero centres.
  TClusterCenters ComputeInitialClusterCenters(const TVector& Unused, const TVector& Min, const TVector& Max,
                                               Byte k, Byte K, const std::string& FileName);
  /// K initial centres spread evenly over each variable's mean ± 4 standard deviations (from the
  /// diagonal of Cov), k variables; no file is written. On a fault: "ClusterInitialStdDevError" and the
  /// all-zero centres.
  TClusterCenters ComputeInitialClusterCentersStdDev(const TVector& Mean, const TMatrix& Cov, Byte k, Byte K);
  /// Each observation's nearest of the K centres C by Euclidean distance over variables 1..k of X
  /// (1..K, ties to the lowest). On a fault: "ClusterAssignError" and the all-zero assignment.
  TClusterAssignment AssignDataToCluster(const TRegressData* X, const TClusterCenters& C, Byte K, Byte k, int N);
  /// The total within-cluster sum of squares of assignment A about centres C. Unguarded: a fault
  /// reaches the caller as EMathError.
  Extended CalcClusterSSE(const TRegressData* X, const TClusterAssignment& A, const TClusterCenters& C, Byte k, int N);
  /// Each cluster's mean of variables 1..k under assignment A, appended to the report file FileName. On
  /// a fault: "ClusterMeansError" and the all-zero centres.
  TClusterCenters ComputeClusterMeans(const TRegressData* X, const TClusterAssignment& A, Byte K, Byte k, int N,
                                      const std::string& FileName);

 private:
  std::unique_ptr<TRegressData> FData;
  int FAlphaLevel = 95;
  bool FScanData = true;
};

}  // namespace varnel
