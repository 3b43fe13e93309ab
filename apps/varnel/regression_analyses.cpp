// regress, diagnose and the full analysis: the tables of one fit with its
// inference, with the component's interpretations of it; select: the best
// subsets or a stepwise search by AIC.
#include <cstdint>
#include <future>
#include <iostream>
#include <memory>
#include <optional>

#include "analyses.h"
#include "analysis_tables.h"
#include "output.h"
#include "posix_io.h"
#include "progress_line.h"
#include "scratch_folder.h"

namespace varnel::cli {
namespace {

// The inference of Y on the data's predictors, with every observation's
// measures when Observations is given; nullopt when the component rejected it.
std::optional<TModelInference> Infer(TKorlen& Korlen, const TAnalysisData& Data, const TOptions& Options,
                                     std::vector<TObservationInference>* Observations) {
  std::span<TObservationInference> Span;
  if (Observations) {
    Observations->resize(Data.N());
    Span = *Observations;
  }
  const Byte Predictors = static_cast<Byte>(Data.K());
  TModelInference M;
  const std::vector<TMessage> Messages = Recorded([&] {
    M = Korlen.MVInference(Korlen.PRegressData, Korlen.Y, Predictors, Data.N(), Options.Level, Options.Intercept,
                           Span);
  });
  Show(Messages);
  if (M.N != 0) return M;
  // A rejection without a word is one of counts: the component's own fit
  // says which.
  if (Messages.empty()) Korlen.MVRegression(Korlen.PRegressData, Korlen.Y, Predictors, Data.N());
  return std::nullopt;
}

TResultTable CoefficientTable(const TModelInference& M, const TAnalysisData& Data) {
  TResultTable Table{"coefficients",
                     "Coefficients (two-sided " + Percent(static_cast<double>(M.Level)) + " confidence limits)",
                     {"term", "estimate", "std.error", "statistic", "p.value", "conf.low", "conf.high", "vif"},
                     {},
                     {}};
  const auto Names = Terms(Data, M.Intercept);
  const int First = M.Intercept ? 0 : 1;
  for (int j = First; j <= M.K; ++j) {
    const TCoefficientInference& C = M.Coefficients[j];
    Table.Rows.push_back({Names[j - First], Number(C.Estimate), Number(C.StdError), Number(C.Statistic),
                          Number(C.PValue), Number(C.ConfLow), Number(C.ConfHigh),
                          j == 0 ? TCell{} : Number(C.VIF)});
  }
  return Table;
}

TResultTable ModelTable(const TModelInference& M) {
  const std::string About = M.Intercept ? "" : " (through the origin: R² about zero)";
  return {"model",
          "Model" + About,
          {"r.squared", "adj.r.squared", "sigma", "statistic", "p.value", "df", "df.residual", "nobs", "logLik",
           "AIC", "BIC", "deviance", "durbin.watson"},
          {{Number(M.R2), Number(M.AdjR2), Number(M.Sigma), Number(M.F), Number(M.FPValue), Count(M.K),
            Count(M.DFResidual), Count(M.N), Number(M.LogLik), Number(M.AIC), Number(M.BIC), Number(M.Deviance),
            Number(M.DurbinWatson)}},
          {}};
}

std::vector<std::string> ObservationColumns(const TAnalysisData& Data, bool Intercept) {
  std::vector<std::string> Columns{"row", "observed", ".fitted", ".resid", ".hat", ".sigma", ".cooksd",
                                   ".std.resid", ".stud.resid", "dffits", "covratio"};
  for (const auto& Term : Terms(Data, Intercept)) Columns.push_back("dfb." + Term);
  for (const char* Limit : {"conf.low", "conf.high", "pred.low", "pred.high"}) Columns.push_back(Limit);
  return Columns;
}

TResultTable ObservationTable(const TModelInference& M, const std::vector<TObservationInference>& Observations,
                              const TAnalysisData& Data) {
  TResultTable Table{"observations",
                     "Observations (two-sided " + Percent(static_cast<double>(M.Level)) +
                         " limits of the mean and of a new observation)",
                     ObservationColumns(Data, M.Intercept), {}, {}};
  const int First = M.Intercept ? 0 : 1;
  Table.Rows.reserve(static_cast<std::size_t>(M.N));
  for (int i = 0; i < M.N; ++i) {
    const TObservationInference& O = Observations[i];
    std::vector<TCell> Row;
    Row.reserve(Table.Columns.size());
    Row = {Count(Data.RowNumber(i)), Number(Data.Y[i]), Number(O.Fitted), Number(O.Residual), Number(O.Hat),
           Number(O.Sigma), Number(O.CooksD), Number(O.StdResid), Number(O.StudResid), Number(O.DFFITS),
           Number(O.CovRatio)};
    for (int j = First; j <= M.K; ++j) Row.push_back(Number(O.DFBetas[j]));
    for (Extended Limit : {O.ConfLow, O.ConfHigh, O.PredLow, O.PredHigh}) Row.push_back(Number(Limit));
    Table.Rows.push_back(std::move(Row));
  }
  return Table;
}

// The component's interpretations read its own fit with the constant; a fit
// through the origin has none of them.
void Interpretations(TKorlen& Korlen, const TAnalysisData& Data, const TOptions& Options,
                     const TModelInference& M, TCommandResults& Out) {
  if (!Options.Intercept) return;
  const TMultStatRec Rec = Korlen.MVRegression(Korlen.PRegressData, Korlen.Y, Data.K(), Data.N());
  if (Rec.N == 0) return;
  auto& Notes = Out.Results.Tables.back().Notes;
  Notes.push_back(Korlen.InterpretModelUtility(Rec));
  Notes.push_back(Korlen.InterpretModelBetaParameters(Rec, Options.BetaThreshold));
  Notes.push_back(Korlen.InterpretDWStatistic(M.DurbinWatson));
  Out.Legend = Legend(Data);
  Out.ReportTexts = {Korlen.MVRegressionMemo(Rec), Korlen.MVEquationString(Rec)};
}

// The component's outlier text reads residuals in units of the fit's σ.
std::string OutlierNote(TKorlen& Korlen, const TModelInference& M,
                        const std::vector<TObservationInference>& Observations) {
  std::vector<double> Standard(MaxObs);
  for (int i = 0; i < M.N; ++i) Standard[i] = static_cast<double>(Observations[i].Residual / M.Sigma);
  return Korlen.InterpretOutliers(Standard, M.N);
}

void AddDiagnosis(TKorlen& Korlen, const TModelInference& M, const std::vector<TObservationInference>& Observations,
                  const TAnalysisData& Data, TCommandResults& Out) {
  Out.Results.Tables.push_back(ObservationTable(M, Observations, Data));
  Out.Results.Tables.back().Notes.push_back(OutlierNote(Korlen, M, Observations));
}

}  // namespace

int RunRegress(TKorlen& Korlen, const TAnalysisData& Data, const TOptions& Options, TCommandResults& Out) {
  const auto M = Infer(Korlen, Data, Options, nullptr);
  if (!M) return 1;
  Out.Results.Tables = {CoefficientTable(*M, Data), ModelTable(*M)};
  Interpretations(Korlen, Data, Options, *M, Out);
  return 0;
}

int RunDiagnose(TKorlen& Korlen, const TAnalysisData& Data, const TOptions& Options, TCommandResults& Out) {
  std::vector<TObservationInference> Observations;
  const auto M = Infer(Korlen, Data, Options, &Observations);
  if (!M) return 1;
  AddDiagnosis(Korlen, *M, Observations, Data, Out);
  Out.ReportTexts = Out.Results.Tables.back().Notes;
  return 0;
}

namespace {

struct TDescription {
  int Status = 1;
  TCommandResults Out;
  std::vector<TMessage> Messages;
};

// describe on a component of its own, with the settings of Korlen: the
// description reads only the data, so that it can run beside the fit.
TDescription DescribedApart(const TKorlen& Korlen, const TAnalysisData& Data, const TOptions& Options) {
  const auto Apart = std::make_unique<TKorlen>();
  Apart->SetAlpha(Korlen.AlphaLevel());
  Apart->SetScanData(Korlen.ScanData());
  Load(*Apart, Data);
  TDescription Description;
  Description.Messages = Recorded([&] { Description.Status = RunDescribe(*Apart, Data, Options, Description.Out); });
  return Description;
}

}  // namespace

// The description runs on the other processor while this one fits (it
// takes a quarter of the analysis of 19,999 x 24); its messages are shown
// after the fit's, as when one ran after the other. Deferred is allowed,
// so that a thread that cannot be started leaves it to get(), here.
int RunFullAnalysis(TKorlen& Korlen, const TAnalysisData& Data, const TOptions& Options, TCommandResults& Out) {
  auto Described = std::async(std::launch::async | std::launch::deferred,
                              [&] { return DescribedApart(Korlen, Data, Options); });
  std::vector<TObservationInference> Observations;
  const auto M = Infer(Korlen, Data, Options, &Observations);
  if (!M) return 1;
  Out.Results.Tables = {CoefficientTable(*M, Data), ModelTable(*M)};
  Interpretations(Korlen, Data, Options, *M, Out);
  AddDiagnosis(Korlen, *M, Observations, Data, Out);
  TDescription Description = Described.get();
  Show(Description.Messages);
  if (Description.Status != 0) return Description.Status;
  for (auto& Table : Description.Out.Results.Tables) Out.Results.Tables.push_back(std::move(Table));
  return 0;
}

namespace {

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

// The component's all-subsets report, which reads its combinations from a
// file in the current folder: written in a private temporary folder.
std::string AllSubsetsReport(TKorlen& Korlen, const TAnalysisData& Data, const TOptions& Options,
                             TScratchFolder& Scratch) {
  const int k = Data.K();
  WriteWholeFile(Scratch.File("vars" + std::to_string(k) + ".txt").string(), CombinationFile(k));
  const TCurrentFolder Inside(Scratch.Path());
  return Korlen.MVStepwiseVarSelection(Korlen.PRegressData, Korlen.Y, k, Data.N(),
                                       static_cast<Single>(Options.AccWeight),
                                       static_cast<Single>(Options.SimpWeight), "All-subsets models");
}

// "x1 + x3": the predictors in Terms by their names, in column order;
// "(Intercept)" for the constant alone.
std::string TermsText(const TAnalysisData& Data, std::uint32_t Terms) {
  std::string Text;
  for (int j = 0; j < Data.K(); ++j) {
    if (Terms & (1u << j)) Text += (Text.empty() ? "" : " + ") + Data.XNames[j];
  }
  return Text.empty() ? "(Intercept)" : Text;
}

const char* CriterionName(TSubsetCriterion Criterion) {
  switch (Criterion) {
    case TSubsetCriterion::scAdjR2: return "adjusted R\xB2";
    case TSubsetCriterion::scCp: return "Cp";
    case TSubsetCriterion::scAIC: return "AIC";
    case TSubsetCriterion::scBIC: return "BIC";
  }
  return "";
}

TResultTable BestTable(const TBestSubsets& B, const TAnalysisData& Data) {
  const std::string PerSize = B.PerSize == 1 ? "the model" : "the " + std::to_string(B.PerSize) + " models";
  TResultTable Table{"best",
                     "Best subsets: " + PerSize + " of smallest RSS of each size, the constant in every model; "
                         "Cp on the full model's residual mean square",
                     {"size", "rank", "terms", "rss", "r.squared", "adj.r.squared", "cp", "AIC", "BIC"},
                     {},
                     {}};
  for (const TSubsetModel& M : B.Models) {
    Table.Rows.push_back({Count(M.Size), Count(M.Rank), TermsText(Data, M.Terms), Number(M.RSS), Number(M.R2),
                          Number(M.AdjR2), Number(M.Cp), Number(M.AIC), Number(M.BIC)});
  }
  // Notes are Windows-1252 texts: the names go in converted.
  Table.Notes.push_back(std::string("Best by ") + CriterionName(B.Criterion) + ": size " +
                        std::to_string(B.Best.Size) + ", " + ToWindows1252(TermsText(Data, B.Best.Terms)));
  return Table;
}

const char* ActionName(TStepAction Action) {
  switch (Action) {
    case TStepAction::saStart: return "start";
    case TStepAction::saAdd: return "add";
    case TStepAction::saDrop: return "drop";
  }
  return "";
}

TResultTable StepsTable(const TStepwiseAIC& S, const TAnalysisData& Data) {
  const char* From = S.Direction == TStepDirection::sdForward    ? "forward from the constant alone"
                     : S.Direction == TStepDirection::sdBackward ? "backward from the full model"
                                                                 : "both ways from the full model";
  TResultTable Table{"steps",
                     std::string("Stepwise search by AIC, ") + From +
                         "; AIC as step() takes it: n·log(RSS/n) + 2·edf, edf the coefficients",
                     {"step", "action", "term", "terms", "df.residual", "rss", "AIC"},
                     {},
                     {}};
  for (const TAICStep& Step : S.Steps) {
    const TCell Term = Step.Term > 0 ? TCell{Data.XNames[Step.Term - 1]} : TCell{};
    Table.Rows.push_back({Count(Step.Step), std::string(ActionName(Step.Action)), Term, TermsText(Data, Step.Terms),
                          Count(Step.DFResidual), Number(Step.RSS), Number(Step.AIC)});
  }
  return Table;
}

// The component's result, or a rejection: its messages are shown, and a
// rejection without a word is one of counts, which its own fit names.
template <class Search>
bool Searched(TKorlen& Korlen, const TAnalysisData& Data, Search&& Work) {
  bool Found = false;
  const std::vector<TMessage> Messages = Recorded([&] { Found = Work(); });
  Show(Messages);
  if (!Found && Messages.empty()) Korlen.MVRegression(Korlen.PRegressData, Korlen.Y, Data.K(), Data.N());
  return Found;
}

int SelectTables(TKorlen& Korlen, const TAnalysisData& Data, const TOptions& Options, TCommandResults& Out) {
  const Byte k = static_cast<Byte>(Data.K());
  if (Options.Method == TSelectMethod::Exhaustive) {
    TBestSubsets B;
    TProgressLine Line(std::cerr, "varnel select: subsets searched");
    const bool Found = Searched(Korlen, Data, [&] {
      B = Korlen.MVBestSubsets(Korlen.PRegressData, Korlen.Y, k, Data.N(), Options.NBest, Options.Criterion,
                               [&Line](double Done) { Line.Show(Done); });
      return !B.Models.empty();
    });
    if (!Found) return 1;
    Out.Results.Tables = {BestTable(B, Data)};
    return 0;
  }
  const TStepDirection Direction = Options.Method == TSelectMethod::Forward    ? TStepDirection::sdForward
                                   : Options.Method == TSelectMethod::Backward ? TStepDirection::sdBackward
                                                                               : TStepDirection::sdBoth;
  TStepwiseAIC S;
  if (!Searched(Korlen, Data, [&] {
        S = Korlen.MVStepwiseAIC(Korlen.PRegressData, Korlen.Y, k, Data.N(), Direction);
        return !S.Steps.empty();
      }))
    return 1;
  Out.Results.Tables = {StepsTable(S, Data)};
  return 0;
}

}  // namespace

int RunSelect(TKorlen& Korlen, const TAnalysisData& Data, const TOptions& Options, TCommandResults& Out) {
  const int k = Data.K(), n = Data.N();
  if (!Options.ReportTexts) {
    if (!Options.Intercept)
      throw TInputError("select keeps the constant in every model: --no-intercept does not apply to it");
    return SelectTables(Korlen, Data, Options, Out);
  }
  // Made before any output, so that a TMPDIR that cannot be used stops the
  // command before it has written anything.
  std::optional<TScratchFolder> Scratch;
  if (k <= 8) Scratch.emplace();
  if (Korlen.MVRegression(Korlen.PRegressData, Korlen.Y, k, n).N == 0) return 1;
  Out.Legend = Legend(Data);
  Out.ReportTexts = {Korlen.MVStepwiseForward(Korlen.PRegressData, Korlen.Y, k, n, "Forward (nested) models"),
                     Korlen.MVStepwiseBackward(Korlen.PRegressData, Korlen.Y, k, n, "Backward (nested) models"),
                     Korlen.MVOptimalForwardModel(Korlen.PRegressData, Korlen.Y, k, n)};
  if (!Scratch) {
    Out.ReportTexts.push_back("All-subsets search: skipped (it takes at most 8 predictors).");
    return 0;
  }
  const std::string Report = AllSubsetsReport(Korlen, Data, Options, *Scratch);
  Scratch.reset();
  Out.ReportTexts.push_back(Report);
  return Report.empty() ? 1 : 0;
}

}  // namespace varnel::cli
