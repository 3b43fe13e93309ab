// SPDX-License-Identifier: Apache-2.0
#include "varnel/testing/every_operation.h"

#include <unistd.h>

#include <cstdio>

#include "varnel/testing/data_sets.h"

namespace varnel::testing {
namespace {

constexpr int k = 4, n = 60;

}  // namespace

TInputs::TInputs() : A(MaxObs), B(MaxObs), D(MaxObs), Out(MaxObs), Ranks(MaxObs), Observations(MaxObs) {
  Korlen->SetScanData(false);
  testing::Load(*Korlen, testing::RandomData(k, n, 11));
  for (int i = 0; i < n; ++i) {
    A[i] = (*Korlen->PRegressData)[1][i];
    B[i] = Korlen->Y[i];
    D[i] = i % 2;
    Ranks[i] = (i * 7) % n + 1;
  }
  for (int i = 0; i < k; ++i) {
    V[i] = 0.5 + i;
    W[i] = 1.5 + i;
    M[i][i] = C[i][i] = 2 + i;
  }
  Rec = Korlen->MVRegression(Korlen->PRegressData, Korlen->Y, k, n);
  BRec = Korlen->BVRegression(A, B, n);
  URec = Korlen->UnivariateSummary(Korlen->PRegressData, k, n);
  File = "/tmp/varnel-operations-" + std::to_string(::getpid()) + ".txt";
}

TInputs::~TInputs() { std::remove(File.c_str()); }

#define OP(Name, ...) TOperation{Name, [](TInputs& I) { auto& K = *I.Korlen; (void)K; __VA_ARGS__; }}

const std::vector<TOperation>& EveryOperation() {
  static const std::vector<TOperation> Table = {
      OP("SmoothData", K.SmoothData(I.Out, n)),
      OP("NewRowValues", K.NewRowValues(K.PRegressData, I.V, k, n)),
      OP("ZeroRowValues", K.ZeroRowValues(K.PRegressData, n + 1)),
      OP("Probabilities", K.ProbabilityZIsHigher(1); K.ProbabilityZIsLower(1); K.ProbabilityZBetweenPlusMinus(1)),
      OP("Tables", K.ZTableValue2(".95"); K.TTableValue2(10); K.CSqrTableValue(5, 0.05f)),
      OP("Combinatorics", K.Factorial(10); K.Permutations(10, 3); K.Combinations(10, 3)),
      OP("CalcChiSquare", K.CalcChiSquare(I.A, I.B, n)),
      OP("SmallTests", K.CalcT(n, 1, 0, 2); K.SmallSampleCIforMean(n, 1, 2); K.LargeSampleCIforMean(".95", 1, 2);
         K.GetZValue(1, 0, 2); K.GetCenterValue(1, 0); K.CalcF(2, 1)),
      OP("Matrices", K.InitMatrix(5, 1); K.IdentityMatrix(5); K.CopyMatrix(I.M, 5); Extended Det = 0;
         K.InvertMatrix(I.M, k, Det)),
      OP("Eigen", const TVector L = K.EigenValues(I.M, k); const TMatrix E = K.EigenVectors(I.M, k);
         K.ConditionIndexes(L, k); K.FactorsMatrix(L, E, k); K.FactorsLoadingsMatrix(L, L, E, k)),
      OP("PrincipalComponent", K.PrincipalComponent(K.PRegressData, k, n, I.Out, 1)),
      OP("TransformDataPCAs", K.TransformDataPCAs(K.PRegressData, k, n)),
      OP("EigenDecomposition", K.EigenDecomposition(I.M, k)),
      OP("MVPrincipalComponents", K.MVPrincipalComponents(K.PRegressData, k, n, true, I.Scores.get());
         K.MVPrincipalComponents(K.PRegressData, k, n, false)),
      OP("Univariate", K.GetSum(I.A, n); K.GetMin(I.A, n); K.GetMax(I.A, n); K.GetMean(I.A, n);
         K.GetVariance(I.A, n); K.GetCoefficientOfVariation(I.A, n); K.GetSkew(I.A, n); K.GetKurtosis(I.A, n);
         K.GetMedian(I.A, n); K.GetTotalVariation(I.V, k)),
      OP("UnivariateSummary", K.UnivariateSummary(K.PRegressData, k, n)),
      OP("Shape", K.GetQuartiles(I.A, n); K.GetExcessKurtosis(I.A, n); K.GetAutocorrelation(I.A, n)),
      OP("YSummary", K.YSummary(I.B, n)),
      OP("Vectors", K.SumVector(K.PRegressData, k, n); K.MeanVector(K.PRegressData, k, n);
         K.VarianceVector(K.PRegressData, k, n); K.VarianceProportionsVector(K.PRegressData, k, n);
         K.MinVector(K.PRegressData, k, n); K.MaxVector(K.PRegressData, k, n)),
      OP("CorrelationMatrix", K.CorrelationMatrix(K.PRegressData, k, n)),
      OP("CovarianceMatrix", K.CovarianceMatrix(K.PRegressData, k, n)),
      OP("MeansDifferencesMatrix", K.MeansDifferencesMatrix(I.V, k)),
      OP("ArrayTransforms", K.TransformArrCenter(I.Out, n); K.TransformArrStandardize(I.Out, n);
         K.TransformArrNormalize(I.Out, n); K.TransformArrInverse(I.Out, n); K.TransformArrSquare(I.Out, n);
         K.TransformArrSquareRoot(I.Out, n); K.TransformArrAddScalar(I.Out, 1, n);
         K.TransformArrMultiplyScalar(I.Out, 2, n)),
      OP("DataTransforms", K.TransformDataCenter(K.PRegressData, k, n); K.TransformDataStandardize(K.PRegressData, k, n);
         K.TransformDataNormalize(K.PRegressData, k, n)),
      OP("BVRegression", K.BVRegression(I.A, I.B, n); K.BVCalcYValue(I.BRec, 1); K.BVRegressionReverse(I.BRec, 1)),
      OP("BVResiduals", K.BVResiduals(I.A, I.B, I.Out, n); K.BVPredictedY(I.A, I.B, I.Out, n)),
      OP("BVQuadraticRegression", K.BVQuadraticRegression(I.A, I.B, n)),
      OP("BVInference", K.BVRegressionBeta1CI(I.BRec); K.BVRegressionCI(I.BRec, 1, 1); K.BVRegressionPI(I.BRec, 1, 1);
         K.BVRegressionTestStatistic(I.BRec); K.BVCorrelationSampleTestStat(n, 0.5, 0)),
      OP("Spearman", K.SpearmansR(I.Ranks, I.Ranks, n); K.SpearmansRStdError(I.Ranks, I.Ranks, n)),
      OP("MVRegression", K.MVRegression(K.PRegressData, K.Y, k, n)),
      OP("MVCheckXData", K.MVCheckXData(K.PRegressData, k, n)),
      OP("CrossProducts", const TMatrix P = K.CrossProducts(K.PRegressData, k, n); Extended Det = 0;
         K.ComputeResults(K.PRegressData, K.Y, K.InvertMatrix(P, k + 1, Det), k, n)),
      OP("MVCalcYValue", K.MVCalcYValue(I.Rec, I.V)),
      OP("MVPredictedY", K.MVPredictedY(K.PRegressData, K.Y, I.Out, k, n)),
      OP("MVResiduals", K.MVResiduals(K.PRegressData, K.Y, I.Out, k, n)),
      OP("MVStdResiduals", K.MVStdResiduals(K.PRegressData, K.Y, I.Out, k, n)),
      OP("MVStudentResiduals", K.MVStudentResiduals(K.PRegressData, K.Y, I.Out, k, n)),
      OP("MVLeverages", K.MVLeverages(K.PRegressData, I.Out, k, n)),
      OP("MVCooksDistance", K.MVCooksDistance(K.PRegressData, K.Y, I.Out, k, n)),
      OP("DurbinWatson", K.DurbinWatson(K.PRegressData, K.Y, k, n)),
      OP("MVInference", K.MVInference(K.PRegressData, K.Y, k, n, 0.95, true, I.Observations);
         K.MVInference(K.PRegressData, K.Y, k, n, 0.9, false, I.Observations)),
      OP("MVPredictedYCIUpper", K.MVPredictedYCIUpper(K.PRegressData, K.Y, I.Out, k, n)),
      OP("MVPredictedYCILower", K.MVPredictedYCILower(K.PRegressData, K.Y, I.Out, k, n)),
      OP("MVPredictedYPIUpper", K.MVPredictedYPIUpper(K.PRegressData, K.Y, I.Out, k, n)),
      OP("MVPredictedYPILower", K.MVPredictedYPILower(K.PRegressData, K.Y, I.Out, k, n)),
      OP("MVPairedXYRegressions", K.MVPairedXYRegressions(K.PRegressData, K.Y, k, n)),
      OP("MVAverageCorrelation", K.MVAverageCorrelation(K.PRegressData, K.Y, k, n)),
      OP("MVInteractionRegression", K.MVInteractionRegression(K.PRegressData, K.Y, k, n, 1, 2)),
      OP("MVPolynomialRegression", K.MVPolynomialRegression(K.PRegressData, K.Y, k, n, 1)),
      OP("MVRemoveVariable", Byte Count = k; K.MVRemoveVariable(K.PRegressData, Count, n, 2)),
      OP("DummyXYRegression", K.DummyXYRegression(I.A, I.B, I.D, n, "Dummy")),
      OP("Criteria", K.CalcCp(2, n, 10, 1); K.CalcFp(k, 2, 0.5, 0.7, n); K.CalcMSEp(2, n, 10)),
      OP("MVStepwiseForward", K.MVStepwiseForward(K.PRegressData, K.Y, k, n, "Forward")),
      OP("MVStepwiseBackward", K.MVStepwiseBackward(K.PRegressData, K.Y, k, n, "Backward")),
      OP("MVStepwiseVarSelection", K.MVStepwiseVarSelection(K.PRegressData, K.Y, k, n, 0.5f, 0.5f, "All")),
      OP("MVOptimalForwardModel", K.MVOptimalForwardModel(K.PRegressData, K.Y, k, n)),
      OP("MVBestSubsets", K.MVBestSubsets(K.PRegressData, K.Y, k, n, 2, TSubsetCriterion::scBIC, [](double) {})),
      OP("MVStepwiseAIC", K.MVStepwiseAIC(K.PRegressData, K.Y, k, n, TStepDirection::sdBoth)),
      OP("MakePiped", K.MakePiped(1, 2, 0.5)),
      OP("PointDistances", K.GetLDistance(I.V, I.W, k); K.GetEuclideanDistance(I.V, I.W, k);
         K.GetNormEuclideanDistance(I.V, I.W, I.C, k)),
      OP("LDistances", K.LDistances(K.PRegressData, I.Out, n, k)),
      OP("EuclideanDistances", K.EuclideanDistances(K.PRegressData, I.Out, n, k)),
      OP("NormEuclideanDistances", K.NormEuclideanDistances(K.PRegressData, I.Out, n, k)),
      OP("GetMahalanobisDistance", K.GetMahalanobisDistance(K.PRegressData, I.V, k, n)),
      OP("MahalanobisDistances", K.MahalanobisDistances(K.PRegressData, I.Out, k, n)),
      OP("MahalanobisOutliers", K.MahalanobisOutliers(K.PRegressData, k, n, 0.975, I.Out, *I.Flags)),
      OP("GetMaximumLikelihoodDistance", K.GetMaximumLikelihoodDistance(K.PRegressData, I.V, k, n, 0.5)),
      OP("MaximumLikelihoodDistances", K.MaximumLikelihoodDistances(K.PRegressData, I.Out, k, n, 0.5)),
      OP("Divergences", K.GetAvgNormDistance(I.V, I.W, I.M, I.C, k); K.ScaleDivergence(2, 0.5f);
         K.GetDivergence(I.V, I.W, I.M, I.C, k, 0)),
      OP("FlagOutliers", K.FlagOutliers(I.Out, n, 2.0f, *I.Flags)),
      OP("Texts", K.PipedReportString(1, 2); K.BVEquationString(I.BRec); K.MVEquationString(I.Rec);
         K.BVRegressionMemo("Title", I.BRec); K.MVRegressionMemo(I.Rec); K.InterpretDWStatistic(2);
         K.InterpretConditionIndexes(I.V, k); K.InterpretModelUtility(I.Rec);
         K.InterpretModelBetaParameters(I.Rec, 0.5); K.InterpretVariableUtility(I.URec);
         K.InterpretHighXCorrelations(I.M, k); K.InterpretOutliers(I.A, n)),
      OP("KMeansClustering", K.KMeansClustering(K.PRegressData, k, n, 3, 5, I.File)),
      OP("KMeansClusters", K.KMeansClusters(K.PRegressData, k, n, 3, 11, 2, *I.Centers, *I.Assignment)),
      // A TClusterCenters or TClusterAssignment return value is 20 KB of the
      // caller's own stack: one per call here.
      OP("ComputeInitialClusterCenters", *I.Centers = K.ComputeInitialClusterCenters(I.V, I.V, I.W, k, 3, I.File)),
      OP("ComputeInitialClusterCentersStdDev", *I.Centers = K.ComputeInitialClusterCentersStdDev(I.V, I.M, k, 3)),
      OP("AssignDataToCluster", *I.Assignment = K.AssignDataToCluster(K.PRegressData, *I.Centers, 3, k, n);
         K.CalcClusterSSE(K.PRegressData, *I.Assignment, *I.Centers, k, n)),
      OP("ComputeClusterMeans", *I.Centers = K.ComputeClusterMeans(K.PRegressData, *I.Assignment, 3, k, n, I.File)),
  };
  return Table;
}

#undef OP

}  // namespace varnel::testing
