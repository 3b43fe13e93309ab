#include "analyses.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <sys/stat.h>

#include "posix_io.h"
#include "scratch_folder.h"

namespace varnel::cli {
namespace {

// Skewness, kurtosis and the table values are single precision: show its digits.
constexpr int kSingleDigits = 7;

using TObsFill = void (TKorlen::*)(const TRegressData*, std::span<const double>, std::span<double>, Byte, int);

std::vector<double> Fill(TKorlen& Korlen, TObsFill Operation, const TAnalysisData& Data) {
  std::vector<double> Out(MaxObs);
  (Korlen.*Operation)(Korlen.PRegressData, Korlen.Y, Out, Data.K(), Data.N());
  return Out;
}

// The top-left block of a matrix under the names of its rows and columns.
TTable MatrixTable(const std::string& Title, const TMatrix& M, const std::vector<std::string>& Rows,
                   const std::vector<std::string>& Columns, const TOutput& Out) {
  TTable Table{Title, {""}, {}};
  for (const auto& Name : Columns) Table.Header.push_back(Name);
  for (std::size_t i = 0; i < Rows.size(); ++i) {
    std::vector<std::string> Row{Rows[i]};
    for (std::size_t j = 0; j < Columns.size(); ++j) Row.push_back(Out.Number(M[i][j]));
    Table.Rows.push_back(std::move(Row));
  }
  return Table;
}

// One line per non-empty subset of 1..k ("count blank numbers"), then the
// full set once more: the search leaves the last line unevaluated.
std::string CombinationFile(int k) {
  std::string Text;
  for (unsigned Mask = 1; Mask < (1u << k); ++Mask) {
    std::string Line = std::to_string(__builtin_popcount(Mask));
    for (int j = 0; j < k; ++j) {
      if (Mask & (1u << j)) Line += " " + std::to_string(j + 1);
    }
    Text += Line + "\r\n";
  }
  std::string Full = std::to_string(k);
  for (int j = 1; j <= k; ++j) Full += " " + std::to_string(j);
  return Text + Full + "\r\n";
}

// Whether the k-means run went through: its own guard's message means the
// run stopped part-way, with an unfinished report (its steps' messages do
// not: the run goes on after them). The messages are shown all the same.
bool ClusteringRanThrough(TKorlen& Korlen, const TAnalysisData& Data, const TOptions& Options,
                          const std::string& Path) {
  std::vector<TMessage> Shown;
  {
    const TScopedMessageHandler Record([&Shown](const TMessage& Message) { Shown.push_back(Message); });
    Korlen.KMeansClustering(Korlen.PRegressData, Data.K(), Data.N(), static_cast<Byte>(Options.Clusters),
                            static_cast<Byte>(Options.Iterations), Path);
  }
  bool Stopped = false;
  for (const TMessage& Message : Shown) {
    MessageDlg(Message.Text, Message.Type, mbOK, 0);
    Stopped = Stopped || Message.Text == "KMeansClusterError";
  }
  return !Stopped;
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

void Legend(const TAnalysisData& Data, TOutput& Out) {
  std::string Text = "Variables:";
  for (int j = 0; j < Data.K(); ++j) Text += " " + std::to_string(j + 1) + "=" + Data.XNames[j];
  Out.Line(Text + "  (response: " + Data.YName + ")");
  Out.Line();
}

}  // namespace

int RunRegress(TKorlen& Korlen, const TAnalysisData& Data, const TOptions& Options, TOutput& Out) {
  Korlen.MultStatRec = Korlen.MVRegression(Korlen.PRegressData, Korlen.Y, Data.K(), Data.N());
  const TMultStatRec& Rec = Korlen.MultStatRec;
  if (Rec.N == 0) return 1;
  Legend(Data, Out);
  Out.ComponentText(Korlen.MVRegressionMemo(Rec));
  Out.ComponentText(Korlen.MVEquationString(Rec));
  Out.Line();
  Out.ComponentText(Korlen.InterpretModelUtility(Rec));
  Out.ComponentText(Korlen.InterpretModelBetaParameters(Rec, Options.BetaThreshold));
  const Extended DW = Korlen.DurbinWatson(Korlen.PRegressData, Korlen.Y, Data.K(), Data.N());
  Out.Line("Durbin-Watson statistic: " + Out.Number(DW));
  Out.ComponentText(Korlen.InterpretDWStatistic(DW));
  return 0;
}

int RunDiagnose(TKorlen& Korlen, const TAnalysisData& Data, const TOptions& /*Options*/, TOutput& Out) {
  if (Korlen.MVRegression(Korlen.PRegressData, Korlen.Y, Data.K(), Data.N()).N == 0) return 1;
  const auto Fitted = Fill(Korlen, &TKorlen::MVPredictedY, Data);
  const auto Residual = Fill(Korlen, &TKorlen::MVResiduals, Data);
  const auto Standard = Fill(Korlen, &TKorlen::MVStdResiduals, Data);
  const auto Student = Fill(Korlen, &TKorlen::MVStudentResiduals, Data);
  const auto Cook = Fill(Korlen, &TKorlen::MVCooksDistance, Data);
  const auto CILow = Fill(Korlen, &TKorlen::MVPredictedYCILower, Data);
  const auto CIHigh = Fill(Korlen, &TKorlen::MVPredictedYCIUpper, Data);
  const auto PILow = Fill(Korlen, &TKorlen::MVPredictedYPILower, Data);
  const auto PIHigh = Fill(Korlen, &TKorlen::MVPredictedYPIUpper, Data);
  std::vector<double> Leverage(MaxObs);
  Korlen.MVLeverages(Korlen.PRegressData, Leverage, Data.K(), Data.N());
  const std::string Level = std::to_string(Korlen.AlphaLevel());
  TTable Table{"Observations (i counts from 0; limits at " + Level + "%)",
               {"i", "observed", "fitted", "residual", "std.resid", "student", "leverage", "cook", "CI.lower",
                "CI.upper", "PI.lower", "PI.upper"},
               {}};
  for (int i = 0; i < Data.N(); ++i) {
    Table.Rows.push_back({std::to_string(i), Out.Number(Data.Y[i]), Out.Number(Fitted[i]), Out.Number(Residual[i]),
                          Out.Number(Standard[i]), Out.Number(Student[i]), Out.Number(Leverage[i]),
                          Out.Number(Cook[i]), Out.Number(CILow[i]), Out.Number(CIHigh[i]), Out.Number(PILow[i]),
                          Out.Number(PIHigh[i])});
  }
  Out.Table(Table);
  if (!Out.Csv()) Out.ComponentText(Korlen.InterpretOutliers(Standard, Data.N()));
  return 0;
}

int RunDescribe(TKorlen& Korlen, const TAnalysisData& Data, const TOptions& /*Options*/, TOutput& Out) {
  const int k = Data.K(), n = Data.N();
  const TUnivarStatRec X = Korlen.UnivariateSummary(Korlen.PRegressData, k, n);
  const TYSummaryRec Y = Korlen.YSummary(Korlen.Y, n);
  if (X.N == 0 || Y.N == 0) return 1;
  TTable Table{"Variables", {"variable", "N", "sum", "min", "max", "range", "mean", "std.dev", "variance", "skew",
                             "kurtosis", "coef.var%", "median"}, {}};
  for (int j = 0; j < k; ++j) {
    Table.Rows.push_back({Data.XNames[j], std::to_string(X.N), Out.Number(X.Sum[j]), Out.Number(X.Min[j]),
                          Out.Number(X.Max[j]), Out.Number(X.Range[j]), Out.Number(X.Mean[j]),
                          Out.Number(X.StdDev[j]), Out.Number(X.Variance[j]), Out.Number(X.Skew[j], kSingleDigits),
                          Out.Number(X.Kurtosis[j], kSingleDigits), Out.Number(X.CoefVar[j]), Out.Number(X.Median[j])});
  }
  Table.Rows.push_back({Data.YName, std::to_string(Y.N), Out.Number(Y.Sum), Out.Number(Y.Min), Out.Number(Y.Max),
                        Out.Number(Y.Range), Out.Number(Y.Mean), Out.Number(Y.StdDev), Out.Number(Y.Variance),
                        Out.Number(Y.Skew, kSingleDigits), Out.Number(Y.Kurtosis, kSingleDigits), Out.Number(Y.CoefVar), Out.Number(Y.Median)});
  Out.Table(Table);
  if (!Out.Csv()) {
    Legend(Data, Out);
    Out.ComponentText(Korlen.InterpretVariableUtility(X));
    Out.Line();
  }
  const TMatrix R = Korlen.CorrelationMatrix(Korlen.PRegressData, k, n);
  Out.Table(MatrixTable("Correlation matrix of the predictors", R, Data.XNames, Data.XNames, Out));
  Out.Table(MatrixTable("Covariance matrix of the predictors",
                        Korlen.CovarianceMatrix(Korlen.PRegressData, k, n), Data.XNames, Data.XNames,
                        Out));
  if (!Out.Csv()) Out.ComponentText(Korlen.InterpretHighXCorrelations(R, k));
  return 0;
}

int RunSelect(TKorlen& Korlen, const TAnalysisData& Data, const TOptions& Options, TOutput& Out) {
  const int k = Data.K(), n = Data.N();
  // Made before any output, so that a TMPDIR that cannot be used stops the
  // command before it has written anything.
  std::optional<TScratchFolder> Scratch;
  if (k <= 8) Scratch.emplace();
  if (Korlen.MVRegression(Korlen.PRegressData, Korlen.Y, k, n).N == 0) return 1;
  Legend(Data, Out);
  Out.ComponentText(Korlen.MVStepwiseForward(Korlen.PRegressData, Korlen.Y, k, n, "Forward (nested) models"));
  Out.ComponentText(Korlen.MVStepwiseBackward(Korlen.PRegressData, Korlen.Y, k, n, "Backward (nested) models"));
  Out.ComponentText(Korlen.MVOptimalForwardModel(Korlen.PRegressData, Korlen.Y, k, n));
  if (!Scratch) {
    Out.Line("All-subsets search: skipped (it takes at most 8 predictors).");
    return 0;
  }
  const std::string Name = "vars" + std::to_string(k) + ".txt";
  WriteWholeFile(Scratch->File(Name).string(), CombinationFile(k));
  std::string Report;
  {
    const TCurrentFolder Inside(Scratch->Path());
    Report = Korlen.MVStepwiseVarSelection(Korlen.PRegressData, Korlen.Y, k, n,
                                           static_cast<Single>(Options.AccWeight),
                                           static_cast<Single>(Options.SimpWeight), "All-subsets models");
  }
  Scratch.reset();
  Out.Line();
  Out.ComponentText(Report);
  return Report.empty() ? 1 : 0;
}

int RunPca(TKorlen& Korlen, const TAnalysisData& Data, const TOptions& /*Options*/, TOutput& Out) {
  const int k = Data.K(), n = Data.N();
  const TMatrix R = Korlen.CorrelationMatrix(Korlen.PRegressData, k, n);
  if (R[0][0] == 0) return 1;
  const TVector Lambda = Korlen.EigenValues(R, k);
  const TMatrix V = Korlen.EigenVectors(R, k);
  const TVector CI = Korlen.ConditionIndexes(Lambda, k);
  TTable Figures{"Eigen figures of the predictors' correlation matrix", {"i", "eigenvalue", "condition index"}, {}};
  for (int i = 0; i < k; ++i) Figures.Rows.push_back({std::to_string(i + 1), Out.Number(Lambda[i]), Out.Number(CI[i])});
  Out.Table(Figures);
  std::vector<std::string> Components;
  for (int i = 1; i <= k; ++i) Components.push_back("PC" + std::to_string(i));
  TVector Ones{};
  for (int i = 0; i < k; ++i) Ones[i] = 1;  // the variances of standardised data
  Out.Table(MatrixTable("Eigenvectors", V, Components, Data.XNames, Out));
  Out.Table(MatrixTable("Factors", Korlen.FactorsMatrix(Lambda, V, k), Components, Data.XNames, Out));
  Out.Table(MatrixTable("Factor loadings", Korlen.FactorsLoadingsMatrix(Ones, Lambda, V, k), Components,
                        Data.XNames, Out));
  if (!Out.Csv()) Out.ComponentText(Korlen.InterpretConditionIndexes(CI, k));
  return 0;
}

int RunDistance(TKorlen& Korlen, const TAnalysisData& Data, const TOptions& Options, TOutput& Out) {
  const int k = Data.K(), n = Data.N();
  std::vector<double> D2(MaxObs), D(MaxObs);
  Korlen.MahalanobisDistances(Korlen.PRegressData, D2, k, n);
  for (int i = 0; i < n; ++i) D[i] = D2[i] > 0 ? std::sqrt(D2[i]) : 0;
  const TOutlierFlags Flags = Korlen.FlagOutliers(D, n, static_cast<Single>(Options.OutlierThreshold));
  TTable Table{"Mahalanobis distances from the centre (flag: distance > " + Out.Number(Options.OutlierThreshold) + ")",
               {"i", "D2", "D", "flag"}, {}};
  for (int i = 0; i < n; ++i) {
    Table.Rows.push_back({std::to_string(i), Out.Number(D2[i]), Out.Number(D[i]), std::to_string(Flags[i])});
  }
  Out.Table(Table);
  return 0;
}

int RunCluster(TKorlen& Korlen, const TAnalysisData& Data, const TOptions& Options, TOutput& Out) {
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
  Out.ComponentText(Report);
  return 0;
}

int RunTable(TKorlen& Korlen, const TOptions& Options, TOutput& Out) {
  TTable Table{"Critical values and normal probabilities", {"quantity", "value"}, {}};
  const int Level = Korlen.AlphaLevel();
  for (int Alpha : {90, 95, 99}) {
    Korlen.SetAlpha(Alpha);
    Table.Rows.push_back({"t, df " + std::to_string(Options.DF) + ", one-tailed " + std::to_string(Alpha) + "%",
                          Out.Number(Korlen.TTableValue2(Options.DF), kSingleDigits)});
  }
  Korlen.SetAlpha(Level);
  Table.Rows.push_back({"z, two-sided level " + Options.Level, Out.Number(Korlen.ZTableValue2(Options.Level))});
  for (double Alpha : {0.05, 0.01}) {
    Table.Rows.push_back({"chi-square, df " + std::to_string(Options.DF) + ", upper " + Out.Number(Alpha),
                          Out.Number(Korlen.CSqrTableValue(Options.DF, static_cast<Single>(Alpha)), kSingleDigits)});
  }
  const std::string Z = Out.Number(Options.Z);
  Table.Rows.push_back({"P(Z > " + Z + ")", Out.Number(Korlen.ProbabilityZIsHigher(Options.Z))});
  Table.Rows.push_back({"P(Z < " + Z + ")", Out.Number(Korlen.ProbabilityZIsLower(Options.Z))});
  Table.Rows.push_back({"P(-|z| < Z < |z|), z = " + Z, Out.Number(Korlen.ProbabilityZBetweenPlusMinus(Options.Z))});
  Out.Table(Table);
  return 0;
}

int RunFullAnalysis(TKorlen& Korlen, const TAnalysisData& Data, const TOptions& Options, TOutput& Out) {
  Out.Line("Varnel analysis of " + Data.Source + ": " + Data.YName + " on " + std::to_string(Data.K()) +
           " predictors, " + std::to_string(Data.N()) + " observations");
  Out.Heading("Regression");
  if (const int Status = RunRegress(Korlen, Data, Options, Out)) return Status;
  Out.Heading("Diagnostics and intervals");
  if (const int Status = RunDiagnose(Korlen, Data, Options, Out)) return Status;
  Out.Heading("Descriptive summary");
  return RunDescribe(Korlen, Data, Options, Out);
}

}  // namespace varnel::cli
