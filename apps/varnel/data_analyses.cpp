// SPDX-License-Identifier: Apache-2.0
// describe, pca, distance, cluster and table: the component's descriptions
// of the data as tables, with its interpretations of them.
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include <varnel/korlen.h>

#include <varnel/describe/moments.h>
#include <varnel/dist/distributions.h>

#include "analyses.h"
#include "analysis_tables.h"
#include "output.h"
#include "posix_io.h"
#include "progress_line.h"
#include "scratch_folder.h"

namespace varnel::cli {
namespace {

// The figures of one column beside the component's: min and max from the
// values themselves (the component's start at ±1e22), the quartiles, the
// excess kurtosis and the lag-1 autocorrelation.
struct TMoreFigures {
  TQuartileRec Q;
  TShapeMoments Shape;
  Extended Lag1 = 0;
};

TMoreFigures MoreFigures(TKorlen& Korlen, std::span<const double> Values, int n) {
  return {Korlen.GetQuartiles(Values, n), ShapeMoments(Values.first(static_cast<std::size_t>(n))),
          Korlen.GetAutocorrelation(Values, n)};
}

// Missing: the column's cells in the file that held no value (the rows
// left out for them are not in n). Skewness and kurtosis are the extended
// figures; the component's single-precision ones are in its report texts.
std::vector<TCell> VariableRow(const std::string& Name, int N, Extended Sum, Extended Range, Extended Mean,
                               Extended StdDev, Extended Variance, Extended CoefVar, const TMoreFigures& F,
                               long long Missing) {
  // Values near 1e300 have a variance beyond a double, which the component
  // gives as 0: the extended figures stand in (a variance still beyond a
  // double is shown as R shows it, Inf).
  if (StdDev == 0 && Range > 0) {
    Variance = F.Shape.Variance;
    StdDev = std::sqrt(Variance);
    CoefVar = Mean != 0 ? 100 * StdDev / std::fabs(Mean) : Extended(NAN);
  }
  return {Name, Count(N), Number(Sum), Number(F.Q.Min), Number(F.Q.Max), Number(Range), Number(Mean),
          Number(StdDev), Number(Variance), Number(F.Shape.Skew), Number(F.Shape.Kurtosis), Number(F.Shape.Excess),
          Number(CoefVar), Number(F.Q.Q1), Number(F.Q.Median), Number(F.Q.Q3), Number(F.Lag1), Count(Missing)};
}

// Whether the k-means run went through: its own guard's message means the
// run stopped part-way, with an unfinished report (its steps' messages do
// not: the run goes on after them). The messages are shown all the same.
bool ClusteringRanThrough(TKorlen& Korlen, const TAnalysisData& Data, const TOptions& Options,
                          const std::string& Path) {
  const std::vector<TMessage> Messages = Recorded([&] {
    Korlen.KMeansClustering(Korlen.PRegressData, Data.K(), Data.N(), static_cast<Byte>(Options.Cluster.Clusters),
                            static_cast<Byte>(Options.Cluster.Iterations), Path);
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

// The component's summaries fail as a whole on a column without spread,
// whose skewness divides by zero. A constant column is still described (sd
// 0; the table's skewness and kurtosis are its own, empty there): then the
// failed summary's message is dropped and each column's figures come from
// the component's single operations, skewness and kurtosis left 0.
bool Constant(std::span<const double> A, int n) {
  return n > 0 && std::all_of(A.begin(), A.begin() + n, [&](double x) { return x == A[0]; });
}

TYSummaryRec ColumnSummary(TKorlen& Korlen, std::span<const double> A, int n) {
  const Extended Min = Korlen.GetMin(A, n), Max = Korlen.GetMax(A, n), Variance = Korlen.GetVariance(A, n);
  return {n, Korlen.GetSum(A, n), Min, Max, Max - Min, Korlen.GetMean(A, n), std::sqrt(Variance), Variance, 0, 0,
          Korlen.GetCoefficientOfVariation(A, n), Korlen.GetMedian(A, n)};
}

TUnivarStatRec PredictorSummary(TKorlen& Korlen, int k, int n) {
  TUnivarStatRec X;
  const std::vector<TMessage> Messages = Recorded([&] { X = Korlen.UnivariateSummary(Korlen.PRegressData, k, n); });
  bool AnyConstant = false;
  for (int j = 1; j <= k; ++j) AnyConstant = AnyConstant || Constant((*Korlen.PRegressData)[j], n);
  if (X.N != 0 || n <= k || !AnyConstant) {
    Show(Messages);
    return X;
  }
  X.NVars = static_cast<Byte>(k);
  X.N = n;
  for (int j = 0; j < k; ++j) {
    const TYSummaryRec C = ColumnSummary(Korlen, (*Korlen.PRegressData)[j + 1], n);
    X.Sum[j] = C.Sum;
    X.Min[j] = C.Min;
    X.Max[j] = C.Max;
    X.Range[j] = C.Range;
    X.Mean[j] = C.Mean;
    X.StdDev[j] = C.StdDev;
    X.Variance[j] = C.Variance;
    X.CoefVar[j] = C.CoefVar;
    X.Median[j] = C.Median;
  }
  return X;
}

TYSummaryRec ResponseSummary(TKorlen& Korlen, int n) {
  TYSummaryRec Y;
  const std::vector<TMessage> Messages = Recorded([&] { Y = Korlen.YSummary(Korlen.Y, n); });
  if (Y.N != 0 || !Constant(Korlen.Y, n)) {
    Show(Messages);
    return Y;
  }
  return ColumnSummary(Korlen, Korlen.Y, n);
}

}  // namespace

namespace {

// A column without spread has no correlations: R's cor gives NA and warns
// "the standard deviation is zero", and so does the tool, in place of the
// component's messages about it (its covariances are 0, as they are). Shown
// is the table's matrix, the component's with those cells empty; the
// component's interpretation reads its own.
TMatrix PredictorCorrelations(TKorlen& Korlen, const TAnalysisData& Data, TMatrix& Shown, TMatrix& Covariance) {
  const int k = Data.K();
  TMatrix R{};
  const std::vector<TMessage> Messages = Recorded([&] {
    R = Korlen.CorrelationMatrix(Korlen.PRegressData, static_cast<Byte>(k), Data.N());
    Covariance = Korlen.CovarianceMatrix(Korlen.PRegressData, static_cast<Byte>(k), Data.N());
  });
  std::vector<int> Constants;
  for (int j = 0; j < k; ++j) {
    if (Constant((*Korlen.PRegressData)[j + 1], Data.N())) Constants.push_back(j);
  }
  Shown = R;
  if (Constants.empty()) {
    Show(Messages);
    return R;
  }
  for (int j : Constants) {
    for (int m = 0; m < k; ++m) Shown[j][m] = Shown[m][j] = NAN;
    std::cerr << "varnel: the standard deviation of " << Printable(Data.XNames[j])
              << " is zero: its correlations are not defined\n";
  }
  return R;
}

}  // namespace

int RunDescribe(TKorlen& Korlen, const TAnalysisData& Data, const TOptions& /*Options*/, TCommandResults& Out) {
  const int k = Data.K(), n = Data.N();
  const TUnivarStatRec X = PredictorSummary(Korlen, k, n);
  const TYSummaryRec Y = ResponseSummary(Korlen, n);
  if (X.N == 0 || Y.N == 0) return 1;
  TResultTable Variables = EmptyVariablesTable();
  for (int j = 0; j < k; ++j) {
    const TMoreFigures F = MoreFigures(Korlen, (*Korlen.PRegressData)[j + 1], n);
    Variables.Rows.push_back(VariableRow(Data.XNames[j], X.N, X.Sum[j], F.Q.Max - F.Q.Min, X.Mean[j], X.StdDev[j],
                                         X.Variance[j], X.CoefVar[j], F, Data.MissingIn(j)));
  }
  const TMoreFigures F = MoreFigures(Korlen, Korlen.Y, n);
  Variables.Rows.push_back(VariableRow(Data.YName, Y.N, Y.Sum, F.Q.Max - F.Q.Min, Y.Mean, Y.StdDev, Y.Variance,
                                       Y.CoefVar, F, Data.MissingIn(k)));
  Variables.Notes.push_back(Korlen.InterpretVariableUtility(X));
  TMatrix Shown{}, Covariance{};
  const TMatrix R = PredictorCorrelations(Korlen, Data, Shown, Covariance);
  TResultTable Correlation =
      MatrixTable("correlation", "Correlation matrix of the predictors", "variable", Shown, Data.XNames, Data.XNames);
  Correlation.Notes.push_back(Korlen.InterpretHighXCorrelations(R, k));
  Out.Results.Tables = {std::move(Variables), std::move(Correlation),
                        MatrixTable("covariance", "Covariance matrix of the predictors", "variable", Covariance,
                                    Data.XNames, Data.XNames)};
  Out.Legend = Legend(Data);
  Out.ReportTexts = {Out.Results.Tables[0].Notes[0], Out.Results.Tables[1].Notes[0]};
  return 0;
}

namespace {

TResultTable ScoresTable(const TRegressData& Scores, const TAnalysisData& Data,
                         const std::vector<std::string>& Components) {
  TResultTable Table{"scores", "Scores of the observations", {"row"}, {}, {}};
  Table.Columns.insert(Table.Columns.end(), Components.begin(), Components.end());
  Table.Rows.reserve(static_cast<std::size_t>(Data.N()));
  for (int t = 0; t < Data.N(); ++t) {
    std::vector<TCell> Row{Count(Data.RowNumber(t))};
    for (int j = 1; j <= Data.K(); ++j) Row.push_back(Number(Scores[j][t]));
    Table.Rows.push_back(std::move(Row));
  }
  return Table;
}

TComponentSeries ComponentSeries(const TPrincipalComponentsRec& P, const TRegressData& Scores, const TAnalysisData& Data,
                                 const std::vector<std::string>& Components) {
  TComponentSeries S{P.Scaled, Components, Data.XNames, {}, {}, {}, {}, {}, {}, {}, {}};
  for (int j = 0; j < P.K; ++j) {
    S.SDev.push_back(static_cast<double>(P.SDev[j]));
    S.Proportion.push_back(static_cast<double>(P.Proportion[j]));
    S.Cumulative.push_back(static_cast<double>(P.Cumulative[j]));
  }
  if (P.K >= 2) {
    for (int v = 0; v < P.K; ++v) {
      S.Loading1.push_back(static_cast<double>(P.Rotation[v][0]));
      S.Loading2.push_back(static_cast<double>(P.Rotation[v][1]));
    }
    for (int t = 0; t < Data.N(); ++t) {
      S.Score1.push_back(Scores[1][t]);
      S.Score2.push_back(Scores[2][t]);
      S.Rows.push_back(Data.RowNumber(t));
    }
  }
  return S;
}

// The component's own figures and their interpretation, for --report-texts.
std::string ComponentEigenText(TKorlen& Korlen, int k, int n) {
  const TMatrix R = Korlen.CorrelationMatrix(Korlen.PRegressData, static_cast<Byte>(k), n);
  const TVector Lambda = Korlen.EigenValues(R, static_cast<Byte>(k));
  return Korlen.InterpretConditionIndexes(Korlen.ConditionIndexes(Lambda, static_cast<Byte>(k)), static_cast<Byte>(k));
}

}  // namespace

int RunPca(TKorlen& Korlen, const TAnalysisData& Data, const TOptions& Options, TCommandResults& Out) {
  const int k = Data.K(), n = Data.N();
  if (Options.ReportTexts) {
    Out.ReportTexts = {ComponentEigenText(Korlen, k, n)};
    return 0;
  }
  const auto Scores = std::make_unique<TRegressData>();
  const TPrincipalComponentsRec P =
      Korlen.MVPrincipalComponents(Korlen.PRegressData, static_cast<Byte>(k), n, !Options.Pca.Covariance, Scores.get());
  if (P.N == 0) return 1;
  const auto Components = ComponentNames(k);
  TResultTable Figures = ComponentsTable(P, Components);
  // The component's interpretation, read off the true condition indexes.
  TVector Indexes{};
  for (int j = 0; j < k; ++j) Indexes[j] = std::isnan(P.ConditionIndex[j]) ? 0 : P.ConditionIndex[j];
  Figures.Notes.push_back(Korlen.InterpretConditionIndexes(Indexes, static_cast<Byte>(k)));
  Out.Results.Tables = {std::move(Figures), RotationTable(P, Data.XNames, Components), ScoresTable(*Scores, Data, Components)};
  Out.Typed.Components = ComponentSeries(P, *Scores, Data, Components);
  return 0;
}

// A column that is a linear combination of the others (a constant, a copy)
// makes the covariance singular and adds no dimension: the distances are
// those within the space the columns span, computed from its independent
// columns, on as many degrees of freedom as it has.
int RunDistance(TKorlen& Korlen, const TAnalysisData& Data, const TOptions& Options, TCommandResults& Out) {
  const TEstimable E = Estimable(Data, true);
  if (E.Data.K() == 0) throw TInputError(Data.Source + ": every column is constant; distances need a column that varies");
  for (int j : E.Aliased) {
    std::cerr << "varnel: " << Data.XNames[j]
              << " left out of the distances: a linear combination of the columns before it (singular covariance)\n";
  }
  if (!E.Aliased.empty()) Load(Korlen, E.Data);
  const int k = E.Data.K(), n = Data.N();
  std::vector<double> D2(MaxObs), D(MaxObs);
  const auto Outliers = std::make_unique<TOutlierFlags>();
  const Extended Cut = Korlen.MahalanobisOutliers(Korlen.PRegressData, k, n, Options.Level, D2, *Outliers);
  if (Cut == 0) return 1;
  for (int i = 0; i < n; ++i) D[i] = D2[i] > 0 ? std::sqrt(D2[i]) : 0;
  const TOutlierFlags Flags = Korlen.FlagOutliers(D, n, static_cast<Single>(Options.Distance.OutlierThreshold));
  TResultTable Table = EmptyDistancesTable(static_cast<double>(Cut), k, Options.Level, Options.Distance.OutlierThreshold);
  for (int i = 0; i < n; ++i) {
    Table.Rows.push_back({Count(Data.RowNumber(i)), Number(D2[i]), Number(D[i]),
                          ChiSquareProbability(D2[i], k, TTail::Upper), Count((*Outliers)[i]), Count(Flags[i])});
  }
  Out.Results.Tables = {std::move(Table)};
  return 0;
}

namespace {

// The component's own k-means run and its report, read back from a fresh
// private folder, so that what is read is this run's report and nothing
// else. False when the run did not go through.
bool ComponentClustering(TKorlen& Korlen, const TAnalysisData& Data, const TOptions& Options, std::string& Report) {
  TScratchFolder Scratch;
  const std::filesystem::path Path = Scratch.File("kmeans.txt");
  return ClusteringRanThrough(Korlen, Data, Options, Path.string()) && ReadWholeFile(Path, Report);
}

// The component's k-means as the tables show it.
TClusterSummary SummaryOf(const TKMeansRec& Rec, const TClusterCenters& Centres, const TOptions& Options) {
  TClusterSummary S{Rec.Clusters, Rec.Starts, Rec.Iterations, Options.Cluster.Seed, {}, {}, {}, Rec.TotSS, Rec.TotWithinSS,
                    Rec.BetweenSS};
  for (int c = 0; c < Rec.Clusters; ++c) {
    S.Size.push_back(Rec.Size[c]);
    S.WithinSS.push_back(Rec.WithinSS[c]);
    S.Centres.emplace_back(Centres[c].begin(), Centres[c].begin() + Rec.K);
  }
  return S;
}

TResultTable AssignmentTable(const TClusterAssignment& Assignment, const TAnalysisData& Data) {
  TResultTable Table = EmptyAssignmentsTable();
  Table.Rows.reserve(static_cast<std::size_t>(Data.N()));
  for (int t = 0; t < Data.N(); ++t) Table.Rows.push_back({Count(Data.RowNumber(t)), Count(Assignment[t])});
  return Table;
}

// --scale: each of the component's columns as R's scale() leaves it, the
// mean taken off and divided by the standard deviation (n − 1), so that
// every variable weighs alike in the distances. A constant column has no
// such form.
void Standardise(TKorlen& Korlen, const TAnalysisData& Data) {
  const int n = Data.N();
  for (int j = 0; j < Data.K(); ++j) {
    auto& Column = (*Korlen.PRegressData)[j + 1];
    Extended Sum = 0, Squares = 0;
    for (int i = 0; i < n; ++i) Sum += Column[i];
    const Extended Mean = Sum / n;
    for (int i = 0; i < n; ++i) Squares += (Column[i] - Mean) * (Column[i] - Mean);
    const Extended Sd = n > 1 ? std::sqrt(Squares / (n - 1)) : 0;
    if (!(Sd > 0) || !std::isfinite(Sd)) {
      throw TInputError(Data.Source + ": --scale cannot standardise the column \"" + Data.XNames[j] +
                        "\", which does not vary; leave it out of --x");
    }
    for (int i = 0; i < n; ++i) Column[i] = static_cast<double>((Column[i] - Mean) / Sd);
  }
}

}  // namespace

int RunCluster(TKorlen& Korlen, const TAnalysisData& Data, const TOptions& Options, TCommandResults& Out) {
  Out.Results.Meta.Scaled = Options.Cluster.Scale;
  if (Options.Cluster.Scale) Standardise(Korlen, Data);
  if (Options.ReportTexts || !Options.Cluster.Report.empty()) {
    std::string Report;
    if (!ComponentClustering(Korlen, Data, Options, Report)) return 1;
    if (!Options.Cluster.Report.empty()) Out.ReportFile = Report;
    Out.ReportTexts = {Report};
    if (Options.ReportTexts) return 0;
  }
  const auto Centres = std::make_unique<TClusterCenters>();
  const auto Assignment = std::make_unique<TClusterAssignment>();
  TProgressLine Line(std::cerr, "varnel cluster: k-means starts");
  const TKMeansRec Rec =
      Korlen.KMeansClusters(Korlen.PRegressData, static_cast<Byte>(Data.K()), Data.N(),
                            static_cast<Byte>(Options.Cluster.Clusters), Options.Cluster.Seed, Options.Cluster.Starts, *Centres, *Assignment,
                            [&Line](double Done) { Line.Show(Done); });
  if (Rec.N == 0) return 1;
  const TClusterSummary Summary = SummaryOf(Rec, *Centres, Options);
  Out.Results.Tables = {ClusterCentresTable(Summary, Data.XNames), ClusterFitTable(Summary),
                        AssignmentTable(*Assignment, Data)};
  Out.Typed.Clusters = TClusterSeries{Summary.Centres, {Assignment->begin(), Assignment->begin() + Data.N()}, {}};
  return 0;
}

int RunTable(TKorlen& Korlen, const TOptions& Options, TCommandResults& Out) {
  const double Level = Options.Level, Upper = (1 - Level) / 2;
  const std::string DF = std::to_string(Options.Table.DF), L = Percent(Level);
  TResultTable Table{"values", "Critical values and normal probabilities", {"quantity", "value"}, {}, {}};
  Table.Rows.push_back({"t, df " + DF + ", two-sided " + L, StudentTQuantile(Upper, Options.Table.DF, TTail::Upper)});
  Table.Rows.push_back({"z, two-sided " + L, NormalQuantile(Upper, TTail::Upper)});
  Table.Rows.push_back({"chi-square, df " + DF + ", upper-tail probability " + Percent(1 - Level),
                        ChiSquareQuantile(1 - Level, Options.Table.DF, TTail::Upper)});
  const int Alpha = Korlen.AlphaLevel();
  // The component's t table at its three alpha settings: one-tailed values.
  for (const auto& [A, Tail] : {std::pair{90, "0.1"}, std::pair{95, "0.05"}, std::pair{99, "0.01"}}) {
    Korlen.SetAlpha(A);
    Table.Rows.push_back({"t, df " + DF + ", upper-tail probability " + Tail + " (the component's table)",
                          SingleNumber(Korlen.TTableValue2(Options.Table.DF))});
  }
  Korlen.SetAlpha(Alpha);
  // Each probability from the normal distribution, then the component's
  // four-decimal table value beside it, labelled as such: the table reads
  // 0.001 for P(Z > 6), where the truth is 9.9e-10.
  const std::string Z = ShortestNumber(Options.Table.Z);
  const double Above = NormalProbability(Options.Table.Z, TTail::Upper), Below = NormalProbability(Options.Table.Z, TTail::Lower);
  const double Outside = 2 * NormalProbability(std::fabs(Options.Table.Z), TTail::Upper);
  Table.Rows.push_back({"P(Z > " + Z + ")", Above});
  Table.Rows.push_back({"P(Z > " + Z + ") (the component's table)", Number(Korlen.ProbabilityZIsHigher(Options.Table.Z))});
  Table.Rows.push_back({"P(Z < " + Z + ")", Below});
  Table.Rows.push_back({"P(Z < " + Z + ") (the component's table)", Number(Korlen.ProbabilityZIsLower(Options.Table.Z))});
  Table.Rows.push_back({"P(-|z| < Z < |z|), z = " + Z, 1 - Outside});
  Table.Rows.push_back({"P(-|z| < Z < |z|), z = " + Z + " (the component's table)",
                        Number(Korlen.ProbabilityZBetweenPlusMinus(Options.Table.Z))});
  Out.Results.Tables = {std::move(Table)};
  return 0;
}

}  // namespace varnel::cli
