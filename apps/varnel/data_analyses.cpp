// describe, pca, distance, cluster and table: the component's descriptions
// of the data as tables, with its interpretations of them.
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

#include <varnel/korlen.h>

#include <varnel/dist/distributions.h>

#include "analyses.h"
#include "analysis_tables.h"
#include "output.h"
#include "posix_io.h"
#include "scratch_folder.h"

namespace varnel::cli {
namespace {

std::vector<TCell> VariableRow(const std::string& Name, int N, const TUnivarStatRec& X, int j) {
  return {Name, Count(N), Number(X.Sum[j]), Number(X.Min[j]), Number(X.Max[j]), Number(X.Range[j]),
          Number(X.Mean[j]), Number(X.StdDev[j]), Number(X.Variance[j]), SingleNumber(X.Skew[j]),
          SingleNumber(X.Kurtosis[j]), Number(X.CoefVar[j]), Number(X.Median[j])};
}

std::vector<TCell> ResponseRow(const std::string& Name, const TYSummaryRec& Y) {
  return {Name, Count(Y.N), Number(Y.Sum), Number(Y.Min), Number(Y.Max), Number(Y.Range), Number(Y.Mean),
          Number(Y.StdDev), Number(Y.Variance), SingleNumber(Y.Skew), SingleNumber(Y.Kurtosis),
          Number(Y.CoefVar), Number(Y.Median)};
}

// Whether the k-means run went through: its own guard's message means the
// run stopped part-way, with an unfinished report (its steps' messages do
// not: the run goes on after them). The messages are shown all the same.
bool ClusteringRanThrough(TKorlen& Korlen, const TAnalysisData& Data, const TOptions& Options,
                          const std::string& Path) {
  const std::vector<TMessage> Messages = Recorded([&] {
    Korlen.KMeansClustering(Korlen.PRegressData, Data.K(), Data.N(), static_cast<Byte>(Options.Clusters),
                            static_cast<Byte>(Options.Iterations), Path);
  });
  Show(Messages);
  return std::none_of(Messages.begin(), Messages.end(),
                      [](const TMessage& Message) { return Message.Text == "KMeansClusterError"; });
}

bool ReadWholeFile(const std::filesystem::path& Path, std::string& Text) {
  std::ifstream In(Path, std::ios::binary);
  std::stringstream Whole;
  Whole << In.rdbuf();
  Text = Whole.str();
  return In && !In.bad();
}

// A report must be a file of its own: a directory cannot take it, and a
// FIFO or a device would swallow it or block the tool.
void RefuseSpecialFile(const std::string& Path) {
  struct stat Status {};
  if (::stat(Path.c_str(), &Status) != 0 || S_ISREG(Status.st_mode)) return;  // written, or failing, later
  const char* Kind = S_ISDIR(Status.st_mode) ? "a directory" : S_ISFIFO(Status.st_mode) ? "a FIFO" : "a device or special file";
  throw TInputError(Printable(Path) + ": the report must be a regular file, not " + Kind);
}

std::vector<std::string> ComponentNames(int k) {
  std::vector<std::string> Names;
  for (int i = 1; i <= k; ++i) Names.push_back("PC" + std::to_string(i));
  return Names;
}

}  // namespace

int RunDescribe(TKorlen& Korlen, const TAnalysisData& Data, const TOptions& /*Options*/, TCommandResults& Out) {
  const int k = Data.K(), n = Data.N();
  const TUnivarStatRec X = Korlen.UnivariateSummary(Korlen.PRegressData, k, n);
  const TYSummaryRec Y = Korlen.YSummary(Korlen.Y, n);
  if (X.N == 0 || Y.N == 0) return 1;
  TResultTable Variables{"variables", "Variables", {"variable", "n", "sum", "min", "max", "range", "mean", "sd",
                                                    "variance", "skew", "kurtosis", "coef.var.pct", "median"},
                         {}, {}};
  for (int j = 0; j < k; ++j) Variables.Rows.push_back(VariableRow(Data.XNames[j], X.N, X, j));
  Variables.Rows.push_back(ResponseRow(Data.YName, Y));
  Variables.Notes.push_back(Korlen.InterpretVariableUtility(X));
  const TMatrix R = Korlen.CorrelationMatrix(Korlen.PRegressData, k, n);
  TResultTable Correlation =
      MatrixTable("correlation", "Correlation matrix of the predictors", "variable", R, Data.XNames, Data.XNames);
  Correlation.Notes.push_back(Korlen.InterpretHighXCorrelations(R, k));
  Out.Results.Tables = {std::move(Variables), std::move(Correlation),
                        MatrixTable("covariance", "Covariance matrix of the predictors", "variable",
                                    Korlen.CovarianceMatrix(Korlen.PRegressData, k, n), Data.XNames, Data.XNames)};
  Out.Legend = Legend(Data);
  Out.ReportTexts = {Out.Results.Tables[0].Notes[0], Out.Results.Tables[1].Notes[0]};
  return 0;
}

int RunPca(TKorlen& Korlen, const TAnalysisData& Data, const TOptions& /*Options*/, TCommandResults& Out) {
  const int k = Data.K(), n = Data.N();
  const TMatrix R = Korlen.CorrelationMatrix(Korlen.PRegressData, k, n);
  if (R[0][0] == 0) return 1;
  const TVector Lambda = Korlen.EigenValues(R, k);
  const TMatrix V = Korlen.EigenVectors(R, k);
  const TVector CI = Korlen.ConditionIndexes(Lambda, k);
  TResultTable Figures{"eigen",
                       "The component's eigen figures of the predictors' correlation matrix",
                       {"component", "eigen.figure", "condition.index"},
                       {},
                       {Korlen.InterpretConditionIndexes(CI, k)}};
  const auto Components = ComponentNames(k);
  for (int i = 0; i < k; ++i) Figures.Rows.push_back({Components[i], Number(Lambda[i]), Number(CI[i])});
  TVector Ones{};
  for (int i = 0; i < k; ++i) Ones[i] = 1;  // the variances of standardised data
  Out.Results.Tables = {
      std::move(Figures),
      MatrixTable("eigenvectors", "Eigenvectors", "component", V, Components, Data.XNames),
      MatrixTable("factors", "Factors", "component", Korlen.FactorsMatrix(Lambda, V, k), Components, Data.XNames),
      MatrixTable("loadings", "Factor loadings", "component", Korlen.FactorsLoadingsMatrix(Ones, Lambda, V, k),
                  Components, Data.XNames)};
  Out.ReportTexts = Out.Results.Tables[0].Notes;
  return 0;
}

int RunDistance(TKorlen& Korlen, const TAnalysisData& Data, const TOptions& Options, TCommandResults& Out) {
  const int k = Data.K(), n = Data.N();
  std::vector<double> D2(MaxObs), D(MaxObs);
  const auto Outliers = std::make_unique<TOutlierFlags>();
  const Extended Cut = Korlen.MahalanobisOutliers(Korlen.PRegressData, k, n, Options.Level, D2, *Outliers);
  if (Cut == 0) return 1;
  for (int i = 0; i < n; ++i) D[i] = D2[i] > 0 ? std::sqrt(D2[i]) : 0;
  const TOutlierFlags Flags = Korlen.FlagOutliers(D, n, static_cast<Single>(Options.OutlierThreshold));
  TResultTable Table{"distances",
                     "Mahalanobis distances from the centre (outlier: D2 above the chi-square quantile " +
                         ShortestNumber(static_cast<double>(Cut)) + " at " + std::to_string(k) + " df and " +
                         Percent(Options.Level) + "; flag: the component's D > " +
                         ShortestNumber(Options.OutlierThreshold) + ")",
                     {"row", "d2", "d", "p.value", "outlier", "flag"},
                     {},
                     {}};
  for (int i = 0; i < n; ++i) {
    Table.Rows.push_back({Count(Data.RowNumber(i)), Number(D2[i]), Number(D[i]),
                          ChiSquareProbability(D2[i], k, TTail::Upper), Count((*Outliers)[i]), Count(Flags[i])});
  }
  Out.Results.Tables = {std::move(Table)};
  return 0;
}

int RunCluster(TKorlen& Korlen, const TAnalysisData& Data, const TOptions& Options, TCommandResults& Out) {
  if (!Options.Report.empty()) RefuseSpecialFile(Options.Report);
  std::string Report;
  {
    // The component writes into a fresh private folder, so that what is read
    // back is this run's report and nothing else.
    TScratchFolder Scratch;
    const std::filesystem::path Path = Scratch.File("kmeans.txt");
    if (!ClusteringRanThrough(Korlen, Data, Options, Path.string())) return 1;
    if (!ReadWholeFile(Path, Report)) return 1;
  }
  if (!Options.Report.empty()) WriteWholeFile(Options.Report, Report);
  Out.ReportTexts = {Report};
  return 0;
}

int RunTable(TKorlen& Korlen, const TOptions& Options, TCommandResults& Out) {
  const double Level = Options.Level, Upper = (1 - Level) / 2;
  const std::string DF = std::to_string(Options.DF), L = Percent(Level);
  TResultTable Table{"values", "Critical values and normal probabilities", {"quantity", "value"}, {}, {}};
  Table.Rows.push_back({"t, df " + DF + ", two-sided " + L, StudentTQuantile(Upper, Options.DF, TTail::Upper)});
  Table.Rows.push_back({"z, two-sided " + L, NormalQuantile(Upper, TTail::Upper)});
  Table.Rows.push_back({"chi-square, df " + DF + ", upper-tail probability " + Percent(1 - Level),
                        ChiSquareQuantile(1 - Level, Options.DF, TTail::Upper)});
  const int Alpha = Korlen.AlphaLevel();
  // The component's t table at its three alpha settings: one-tailed values.
  for (const auto& [A, Tail] : {std::pair{90, "0.1"}, std::pair{95, "0.05"}, std::pair{99, "0.01"}}) {
    Korlen.SetAlpha(A);
    Table.Rows.push_back({"t, df " + DF + ", upper-tail probability " + Tail + " (the component's table)",
                          SingleNumber(Korlen.TTableValue2(Options.DF))});
  }
  Korlen.SetAlpha(Alpha);
  const std::string Z = ShortestNumber(Options.Z);
  Table.Rows.push_back({"P(Z > " + Z + ")", Number(Korlen.ProbabilityZIsHigher(Options.Z))});
  Table.Rows.push_back({"P(Z < " + Z + ")", Number(Korlen.ProbabilityZIsLower(Options.Z))});
  Table.Rows.push_back({"P(-|z| < Z < |z|), z = " + Z, Number(Korlen.ProbabilityZBetweenPlusMinus(Options.Z))});
  Out.Results.Tables = {std::move(Table)};
  return 0;
}

}  // namespace varnel::cli
