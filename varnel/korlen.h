// SPDX-License-Identifier: Apache-2.0
// TKorlen: the multivariate statistics component. Fill PRegressData (rows
// 1..k, observations 0..n-1) and Y, call MVPrepare once, then call any
// operation. Each operation takes its data as arguments and refits what it
// needs; only AlphaLevel and ScanData persist between calls.
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

class VARNEL_API TKorlen : public TComponent {
 public:
  // Component object and data model
  explicit TKorlen(TComponent* AOwner = nullptr);  // Create
  ~TKorlen() override;                             // Destroy
  std::string AboutText, ExampleText;
  TRegressData* PRegressData;  // owned by the component
  TObsArray Y{};
  TMultStatRec MultStatRec;
  int AlphaLevel() const { return FAlphaLevel; }
  void SetAlpha(int Value);
  bool ScanData() const { return FScanData; }
  void SetScanData(bool Value);
  virtual void SafetyHiSet();
  virtual void SafetyLoSet();
  virtual void Alpha99Set();
  virtual void Alpha95Set();
  virtual void ShowAbout();
  virtual void ShowExample();

  std::string ClassName() const override { return "TKorlen"; }
  std::vector<TPublishedProperty> Published() override;

  // Row preparation
  void NewRowValues(TRegressData* X, const TVector& Values, Byte k, int Obs);
  void ZeroRowValues(TRegressData* X, int Obs);
  void SmoothData(std::span<double> A, int n);

  // Tables and normal probabilities
  Extended ProbabilityZIsHigher(Extended z);
  Extended ProbabilityZIsLower(Extended z);
  Extended ProbabilityZBetweenPlusMinus(Extended z);
  Extended ZTableValue2(const std::string& Level);
  Single TTableValue2(int DF);
  Single CSqrTableValue(int DF, Single Alpha);

  // Combinatorics and elementary tests
  Extended Factorial(Byte n);
  std::int64_t Permutations(Byte n, Byte r);
  std::int64_t Combinations(Byte n, Byte r);
  Extended CalcChiSquare(std::span<const double> Observed, std::span<const double> Expected, int N);
  Extended CalcT(int N, Extended Mean, Extended HypMean, Extended S);
  TIntervalRec SmallSampleCIforMean(int N, Extended Mean, Extended S);
  TIntervalRec LargeSampleCIforMean(const std::string& Level, Extended Mean, Extended SE);
  Extended GetZValue(Extended X, Extended Mean, Extended S);
  Extended GetCenterValue(Extended X, Extended Mean);
  Extended CalcF(Extended A, Extended B);

  // Matrices
  TMatrix InitMatrix(Byte Size, Extended Value);
  TMatrix IdentityMatrix(Byte Size);
  TMatrix CopyMatrix(const TMatrix& M, Byte Size);
  TMatrix InvertMatrix(const TMatrix& M, Byte Size, Extended& Det);

  // Eigen-analysis and principal components
  TMatrix EigenVectors(const TMatrix& A, Byte n);
  TVector EigenValues(const TMatrix& A, Byte n);
  TVector ConditionIndexes(const TVector& Lambda, Byte n);
  TMatrix FactorsMatrix(const TVector& Lambda, const TMatrix& V, Byte n);
  TMatrix FactorsLoadingsMatrix(const TVector& A, const TVector& B, const TMatrix& M, Byte n);
  void PrincipalComponent(const TRegressData* X, Byte k, int N, std::span<double> Out, Byte p);
  void TransformDataPCAs(TRegressData* X, Byte k, int N);
  // Every eigenvalue and eigenvector of the symmetric leading n by n block
  // of A (its lower triangle is read), by the implicit QL iteration on the
  // Householder reduction's tridiagonal form.
  TEigenRec EigenDecomposition(const TMatrix& A, Byte n);
  // Principal components of variables 1..k over N observations; Scores,
  // when given, receives in rows 1..k the score of every observation on
  // each component, ((x − centre) / scale) · rotation.
  TPrincipalComponentsRec MVPrincipalComponents(const TRegressData* X, Byte k, int N, bool Scaled,
                                                TRegressData* Scores = nullptr);

  // Univariate statistics
  Extended GetSum(std::span<const double> A, int N);
  Extended GetMin(std::span<const double> A, int N);
  Extended GetMax(std::span<const double> A, int N);
  Extended GetMean(std::span<const double> A, int N);
  Extended GetVariance(std::span<const double> A, int N);
  Extended GetCoefficientOfVariation(std::span<const double> A, int N);
  Single GetSkew(std::span<const double> A, int N);
  Single GetKurtosis(std::span<const double> A, int N);
  Extended GetMedian(std::span<const double> A, int N);
  Extended GetTotalVariation(const TVector& V, Byte K);
  TUnivarStatRec UnivariateSummary(const TRegressData* X, Byte K, int N);
  TYSummaryRec YSummary(std::span<const double> A, int N);
  // The first N values' minimum, quartiles (R's default type 7) and
  // maximum; N = 0 in the record when nothing was computed.
  TQuartileRec GetQuartiles(std::span<const double> A, int N);
  // m4 / m2² − 3 with the central moments about the mean (denominator N);
  // NaN when the values are all equal.
  Extended GetExcessKurtosis(std::span<const double> A, int N);
  // The lag-1 autocorrelation as R's acf forms it: Σ (xₜ − x̄)(xₜ₊₁ − x̄) over
  // Σ (xₜ − x̄)²; NaN when the values are all equal.
  Extended GetAutocorrelation(std::span<const double> A, int N);

  // Predictor vectors and matrices
  TVector SumVector(const TRegressData* X, Byte k, int n);
  TVector MeanVector(const TRegressData* X, Byte k, int n);
  TVector VarianceVector(const TRegressData* X, Byte k, int n);
  TVector VarianceProportionsVector(const TRegressData* X, Byte k, int n);
  TVector MinVector(const TRegressData* X, Byte k, int n);
  TVector MaxVector(const TRegressData* X, Byte k, int n);
  TMatrix CorrelationMatrix(const TRegressData* X, Byte k, int n);
  TMatrix CovarianceMatrix(const TRegressData* X, Byte k, int n);
  TMatrix MeansDifferencesMatrix(const TVector& Means, Byte k);

  // Data transforms
  void TransformArrCenter(std::span<double> A, int n);
  void TransformArrStandardize(std::span<double> A, int n);
  void TransformArrNormalize(std::span<double> A, int n);
  void TransformArrInverse(std::span<double> A, int n);
  void TransformArrSquare(std::span<double> A, int n);
  void TransformArrSquareRoot(std::span<double> A, int n);
  void TransformArrAddScalar(std::span<double> A, Extended s, int n);
  void TransformArrMultiplyScalar(std::span<double> A, Extended s, int n);
  void TransformDataCenter(TRegressData* X, Byte k, int n);
  void TransformDataStandardize(TRegressData* X, Byte k, int n);
  void TransformDataNormalize(TRegressData* X, Byte k, int n);

  // Bivariate regression
  TBivarStatRec BVRegression(std::span<const double> X, std::span<const double> Y, int n);
  Extended BVCalcYValue(const TBivarStatRec& Rec, Extended x);
  Extended BVRegressionReverse(const TBivarStatRec& Rec, Extended x);
  void BVResiduals(std::span<const double> X, std::span<const double> Y, std::span<double> Out, int n);
  void BVPredictedY(std::span<const double> X, std::span<const double> Y, std::span<double> Out, int n);
  TMultStatRec BVQuadraticRegression(std::span<const double> X, std::span<const double> Y, int n);

  // Bivariate inference and rank correlation
  TIntervalRec BVRegressionBeta1CI(const TBivarStatRec& Rec);
  TIntervalRec BVRegressionCI(const TBivarStatRec& Rec, Extended Y0, Extended X0);
  TIntervalRec BVRegressionPI(const TBivarStatRec& Rec, Extended Y0, Extended X0);
  double BVRegressionTestStatistic(const TBivarStatRec& Rec);
  Extended BVCorrelationSampleTestStat(int n, Extended a, Extended b);
  Extended SpearmansR(std::span<const std::int32_t> RanksX, std::span<const std::int32_t> RanksY, int n);
  Extended SpearmansRStdError(std::span<const std::int32_t> RanksX, std::span<const std::int32_t> RanksY, int n);

  // Multiple regression core
  void MVPrepare();
  TMultStatRec MVRegression(const TRegressData* X, std::span<const double> Y, Byte k, int n);
  bool MVCheckXData(const TRegressData* X, Byte k, int n);
  TMatrix CrossProducts(const TRegressData* X, Byte k, int n);
  TMultStatRec ComputeResults(const TRegressData* X, std::span<const double> Y, const TMatrix& Inv, Byte k, int n);
  Extended MVCalcYValue(const TMultStatRec& Rec, const TVector& XValues);

  // Residuals and influence diagnostics
  void MVPredictedY(const TRegressData* X, std::span<const double> Y, std::span<double> Out, Byte k, int n);
  void MVResiduals(const TRegressData* X, std::span<const double> Y, std::span<double> Out, Byte k, int n);
  void MVStdResiduals(const TRegressData* X, std::span<const double> Y, std::span<double> Out, Byte k, int n);
  void MVStudentResiduals(const TRegressData* X, std::span<const double> Y, std::span<double> Out, Byte k, int n);
  void MVLeverages(const TRegressData* X, std::span<double> H, Byte k, int n);
  void MVCooksDistance(const TRegressData* X, std::span<const double> Y, std::span<double> Out, Byte k, int n);
  Extended DurbinWatson(const TRegressData* X, std::span<const double> Y, Byte k, int n);
  // The fit with its inference at a two-sided Level (0.95 for 95 %): every
  // coefficient's t, p-value, confidence limits and VIF, and the model's
  // adjusted R², F p-value, log-likelihood, AIC, BIC and Durbin-Watson;
  // with the constant or through the origin. Observations, when given,
  // receive every observation's influence measures and limits from the same
  // fit (it must hold n entries).
  TModelInference MVInference(const TRegressData* X, std::span<const double> Y, Byte k, int n, Extended Level,
                              bool Intercept = true, std::span<TObservationInference> Observations = {});

  // Confidence and prediction intervals
  void MVPredictedYCIUpper(const TRegressData* X, std::span<const double> Y, std::span<double> Out, Byte k, int n);
  void MVPredictedYCILower(const TRegressData* X, std::span<const double> Y, std::span<double> Out, Byte k, int n);
  void MVPredictedYPIUpper(const TRegressData* X, std::span<const double> Y, std::span<double> Out, Byte k, int n);
  void MVPredictedYPILower(const TRegressData* X, std::span<const double> Y, std::span<double> Out, Byte k, int n);

  // Derived regressions
  TVector MVPairedXYRegressions(const TRegressData* X, std::span<const double> Y, Byte k, int n);
  Extended MVAverageCorrelation(const TRegressData* X, std::span<const double> Y, Byte k, int n);
  TMultStatRec MVInteractionRegression(TRegressData* X, std::span<const double> Y, Byte k, int n, Byte a, Byte b);
  TMultStatRec MVPolynomialRegression(TRegressData* X, std::span<const double> Y, Byte k, int n, Byte a);
  void MVRemoveVariable(TRegressData* X, Byte& k, int n, Byte v);
  std::string DummyXYRegression(std::span<const double> X, std::span<const double> Y,
                                std::span<const double> D, int n, const std::string& Title);

  // Selection criteria and stepwise regression
  Extended CalcCp(Byte p, int n, Extended SSEp, Extended MSEk);
  Extended CalcFp(Byte k, Byte p, Extended R2p, Extended R2k, int n);
  Extended CalcMSEp(Byte p, int n, Extended SSEp);
  std::string MVStepwiseForward(const TRegressData* X, std::span<const double> Y, Byte k, int n, const std::string& Title);
  std::string MVStepwiseBackward(const TRegressData* X, std::span<const double> Y, Byte k, int n, const std::string& Title);

  // All-subsets selection
  std::string MVStepwiseVarSelection(const TRegressData* X, std::span<const double> Y, Byte k, int n,
                                     Single AccWeight, Single SimpWeight, const std::string& Title);
  std::string MVOptimalForwardModel(const TRegressData* X, std::span<const double> Y, Byte k, int n);

  // Best subsets and stepwise search by AIC, the constant always in the
  // model. Every sub-model is fitted from one pass of centred cross
  // products; a full design singular to working precision is reported and
  // gives the empty result.
  // The best PerSize models of each size 1..k by RSS, found by branch and
  // bound (k up to 24), and the best of them by Criterion. Progress, when
  // given, is called now and then with the fraction of the 2^k subsets
  // covered so far, and with 1 at the end.
  TBestSubsets MVBestSubsets(const TRegressData* X, std::span<const double> Y, Byte k, int n, int PerSize,
                             TSubsetCriterion Criterion,
                             const std::function<void(double FractionDone)>& Progress = {});
  // Forward from the constant alone, backward or both ways from the full
  // model: at each step the single addition or removal of lowest AIC, until
  // none lowers it (drops before additions, and the model's terms in the
  // order they entered it, on a tie).
  TStepwiseAIC MVStepwiseAIC(const TRegressData* X, std::span<const double> Y, Byte k, int n,
                             TStepDirection Direction);

  // Distance measures
  TIntervalRec MakePiped(Extended a, Extended b, Extended s);
  Extended GetLDistance(const TVector& x, const TVector& y, Byte n);
  void LDistances(const TRegressData* X, std::span<double> Out, int N, Byte k);
  Extended GetEuclideanDistance(const TVector& x, const TVector& y, Byte n);
  void EuclideanDistances(const TRegressData* X, std::span<double> Out, int N, Byte k);
  Extended GetNormEuclideanDistance(const TVector& x, const TVector& y, const TMatrix& C, Byte n);
  void NormEuclideanDistances(const TRegressData* X, std::span<double> Out, int N, Byte k);
  Extended GetMahalanobisDistance(const TRegressData* X, const TVector& x, Byte k, int N);
  void MahalanobisDistances(const TRegressData* X, std::span<double> Out, Byte k, int N);
  // The squared distances D2 and flags (1: D² above the chi-square quantile
  // at k degrees of freedom and Level, as R's qchisq(Level, k)); returns
  // that quantile, or 0 when nothing was computed.
  Extended MahalanobisOutliers(const TRegressData* X, Byte k, int N, Extended Level, std::span<double> D2,
                               TOutlierFlags& Flags);
  Extended GetMaximumLikelihoodDistance(const TRegressData* X, const TVector& x, Byte k, int N, Extended g);
  void MaximumLikelihoodDistances(const TRegressData* X, std::span<double> Out, Byte k, int N, Extended g);

  // Separability and outlier flags
  Extended GetAvgNormDistance(const TVector& m1, const TVector& m2, const TMatrix& C1, const TMatrix& C2, Byte n);
  Extended ScaleDivergence(Extended D, Single s);
  Extended GetDivergence(const TVector& m1, const TVector& m2, const TMatrix& C1, const TMatrix& C2,
                         Byte n, Extended Unused);
  TOutlierFlags FlagOutliers(std::span<const double> z, int N, Single Threshold);
  // The same flags written into the caller's array, for a caller whose
  // stack should not hold an 80 KB return value.
  void FlagOutliers(std::span<const double> z, int N, Single Threshold, TOutlierFlags& Flags);

  // Regression reports and equations
  std::string PipedReportString(Extended Mean, Extended SD);
  std::string BVEquationString(const TBivarStatRec& Rec);
  std::string MVEquationString(const TMultStatRec& Rec);
  std::string BVRegressionMemo(const std::string& Title, const TBivarStatRec& Rec);
  std::string MVRegressionMemo(const TMultStatRec& Rec);

  // Interpretation texts
  std::string InterpretDWStatistic(Extended DW);
  std::string InterpretConditionIndexes(const TVector& CI, Byte n);
  std::string InterpretModelUtility(const TMultStatRec& Rec);
  std::string InterpretModelBetaParameters(const TMultStatRec& Rec, Extended Threshold);
  std::string InterpretVariableUtility(const TUnivarStatRec& Rec);
  std::string InterpretHighXCorrelations(const TMatrix& R, Byte k);
  std::string InterpretOutliers(std::span<const double> z, int N);

  // K-means clustering
  void KMeansClustering(const TRegressData* X, Byte k, int N, Byte K, Byte Iterations, const std::string& FileName);
  // k-means from k-means++ starts drawn with Seed (the same seed gives the
  // same result on every machine), Starts of them, the start of least
  // total within-cluster sum of squares kept; each run of Lloyd's
  // iterations is followed by single moves between clusters that lower the
  // total, until none does. Centres[c − 1][j − 1] is cluster c's mean of
  // variable j, Assignment[t] observation t's cluster (1..K). Progress,
  // when given, hears the share of the starts done after each start.
  TKMeansRec KMeansClusters(const TRegressData* X, Byte k, int N, Byte K, std::uint64_t Seed, int Starts,
                            TClusterCenters& Centres, TClusterAssignment& Assignment,
                            const std::function<void(double FractionDone)>& Progress = {});
  TClusterCenters ComputeInitialClusterCenters(const TVector& Unused, const TVector& Min, const TVector& Max,
                                               Byte k, Byte K, const std::string& FileName);
  TClusterCenters ComputeInitialClusterCentersStdDev(const TVector& Mean, const TMatrix& Cov, Byte k, Byte K);
  TClusterAssignment AssignDataToCluster(const TRegressData* X, const TClusterCenters& C, Byte K, Byte k, int N);
  Extended CalcClusterSSE(const TRegressData* X, const TClusterAssignment& A, const TClusterCenters& C, Byte k, int N);
  TClusterCenters ComputeClusterMeans(const TRegressData* X, const TClusterAssignment& A, Byte K, Byte k, int N,
                                      const std::string& FileName);

 private:
  std::unique_ptr<TRegressData> FData;
  int FAlphaLevel = 95;
  bool FScanData = true;
};

}  // namespace varnel
