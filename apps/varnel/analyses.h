// SPDX-License-Identifier: Apache-2.0
// The tool's commands. Each runs the component on the data and gives its
// results as named tables, with the component's own report texts beside
// them; the return value is the exit status (0, or 1 when the component
// rejected the analysis).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <varnel/korlen.h>

#include "data_set.h"
#include "results.h"
#include "robust_errors.h"

namespace varnel::cli {

// select: the best subsets of every size, or a stepwise search by AIC.
enum class TSelectMethod { Exhaustive, Forward, Backward, Both };

// Each command's own settings, beside the ones every data command shares.
struct TRegressOptions {
  Extended BetaThreshold = 0;  // coefficients compared with it in the interpretations
  TRobustKind Vcov = TRobustKind::None;  // --vcov: the coefficients' standard errors, on the engine
  std::string SaveModel;  // --save-model: the file that takes the fitted model (fitted on the engine)
  bool VcovConst = false;                 // --vcov const, said explicitly
  std::string Cluster;                    // --cluster: the column whose groups the errors are robust to
  bool Weighted = false;                  // --weights: weighted least squares, on the engine
  std::string WeightsColumn;              // its column
};

// predict: the saved model, read before the data (it names their columns),
// and the interval of each prediction.
struct TSavedModel;
enum class TInterval { None, Confidence, Prediction };
struct TPredictOptions {
  std::string Model;
  std::shared_ptr<const TSavedModel> Loaded;
  TInterval Interval = TInterval::None;
  bool Response = false;  // a generalised model's predictions of the mean, not of the link
  bool TypeGiven = false;
};

// glm: the family and its link (the family's canonical one by default).
struct TGlmOptions {
  engine::TGlmFamily Family = engine::TGlmFamily::Gaussian;
  engine::TGlmLink Link = engine::TGlmLink::Identity;
  bool LinkGiven = false;
  std::optional<engine::TStepDirection> Step;  // --step: R's step() over the terms
};

struct TSelectOptions {
  double AccWeight = 0.5, SimpWeight = 0.5;  // the all-subsets rating
  TSelectMethod Method = TSelectMethod::Exhaustive;
  TSubsetCriterion Criterion = TSubsetCriterion::scBIC;  // names the one best subset
  int NBest = 1;                                         // models per size
};

struct TPcaOptions {
  bool Covariance = false;  // of the covariance matrix, not the correlation matrix
};

struct TDistanceOptions {
  double OutlierThreshold = 3.0;  // the component's flag of the distance
};

struct TClusterOptions {
  int Clusters = 3, Iterations = 10;  // Iterations: the component's run (--report-texts, --report)
  std::uint64_t Seed = 1;             // the k-means++ starts
  int Starts = 10;
  bool Scale = false;   // each column standardised first, as kmeans(scale(x))
  std::string Report;   // the component's report file; empty: a temporary one
};

struct TTableOptions {
  int DF = 10;
  double Z = 1.96;
};

struct TOptions {
  int Alpha = 95;                 // the component's one-tailed t level, in its report texts
  bool NoScan = false;            // --no-scan: the default, said explicitly
  bool Scan = false;              // --scan: the component's plausibility scan gates the fits
  double Level = 0.95;            // the two-sided level of every interval and flag
  bool Intercept = true;
  bool ReportTexts = false;       // the component's texts instead of the tables
  std::size_t Threads = 0;        // reading and reducing beyond the box: 0 for one per core
  // Beyond the box, the per-row series of the picture (--plot) are gathered
  // only when one is drawn: without it a command keeps its memory bounded.
  bool Picture = false;
  TRegressOptions Regress;
  TSelectOptions Select;
  TPcaOptions Pca;
  TDistanceOptions Distance;
  TClusterOptions Cluster;
  TTableOptions Table;
  TPredictOptions Predict;
  TGlmOptions Glm;
};

// What a command gives: its tables (the first is the main one) and the
// component's texts (Windows-1252) that --report-texts shows, after the
// tool's own legend line (UTF-8) when there is one.
// What the pictures are drawn from: the figures a command computed, typed,
// beside its tables (never its cells read back).
struct TObservationSeries {  // diagnose: per observation of the fit
  std::vector<double> Fitted, Residual, Hat, CooksD, StdResid;
  std::vector<long long> Rows;  // the data rows
  bool Intercept = true;
  int Coefficients = 0;  // estimated, the constant's included: Cook's distance's p
  // Every member, for rank 0 of several processes, which draws the picture.
  template <class Self, class Visit>
  static void Members(Self& S, Visit&& Each) {
    for (auto* Series : {&S.Fitted, &S.Residual, &S.Hat, &S.CooksD, &S.StdResid}) Each(*Series);
    Each(S.Rows);
    Each(S.Intercept);
    Each(S.Coefficients);
  }
};

struct TComponentSeries {  // pca
  bool Scaled = true;
  std::vector<std::string> Names, Variables;  // "PC1", ...; the variables
  std::vector<double> SDev, Proportion, Cumulative;
  // The first two components: each observation's scores, each variable's
  // loadings (empty with one variable).
  std::vector<double> Score1, Score2, Loading1, Loading2;
  std::vector<long long> Rows;
};

// The observations of a clustering on the first two principal components
// of the clustered columns' covariance (one with a single column), in the
// clustering's units (standardised with --scale).
struct TClusterProjection {
  std::vector<double> Proportion;            // of the variance, per component drawn
  std::vector<double> Mean;                  // per variable: where the components are centred
  std::vector<double> Rotation1, Rotation2;  // per variable: the loadings (Rotation2 empty with one)
  std::vector<double> Score1, Score2;        // per observation (Score2 empty with one variable)
  std::vector<long long> Rows;               // per observation: the data rows
};

struct TClusterSeries {  // cluster
  std::vector<std::vector<double>> Centres;  // per cluster, per variable
  std::vector<int> Cluster;                  // per observation, from 1
  // Beyond the box only: within it the picture takes the components from
  // the component's data.
  std::optional<TClusterProjection> Projection;
};

struct TVariableSeries {  // describe beyond the box: every value of each column
  std::vector<std::string> Names;            // the predictors, then the response
  std::vector<std::vector<double>> Values;   // per variable, the complete rows in file order
};

struct TTypedResults {
  std::optional<TObservationSeries> Observations;
  std::optional<TComponentSeries> Components;
  std::optional<TClusterSeries> Clusters;
  std::optional<TVariableSeries> Variables;
};

struct TCommandResults {
  TResults Results;
  TTypedResults Typed;
  std::string Legend;
  std::vector<std::string> ReportTexts;
  std::string ReportFile;  // cluster --report: the component's report, written by the caller
  std::string ModelFile;   // regress --save-model: the model's file, written by the caller
};

using TAnalysisRun = int (*)(TKorlen&, const TAnalysisData&, const TOptions&, TCommandResults&);

int RunRegress(TKorlen& Korlen, const TAnalysisData& Data, const TOptions& Options, TCommandResults& Out);
int RunDiagnose(TKorlen& Korlen, const TAnalysisData& Data, const TOptions& Options, TCommandResults& Out);
// regress, diagnose and describe from one fit.
int RunFullAnalysis(TKorlen& Korlen, const TAnalysisData& Data, const TOptions& Options, TCommandResults& Out);
int RunSelect(TKorlen& Korlen, const TAnalysisData& Data, const TOptions& Options, TCommandResults& Out);
int RunDescribe(TKorlen& Korlen, const TAnalysisData& Data, const TOptions& Options, TCommandResults& Out);
int RunPca(TKorlen& Korlen, const TAnalysisData& Data, const TOptions& Options, TCommandResults& Out);
int RunDistance(TKorlen& Korlen, const TAnalysisData& Data, const TOptions& Options, TCommandResults& Out);
int RunCluster(TKorlen& Korlen, const TAnalysisData& Data, const TOptions& Options, TCommandResults& Out);
int RunTable(TKorlen& Korlen, const TOptions& Options, TCommandResults& Out);

}  // namespace varnel::cli
