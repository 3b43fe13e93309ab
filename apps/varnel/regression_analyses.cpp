// SPDX-License-Identifier: Apache-2.0
// regress, diagnose and the full analysis: the tables of one fit with its
// inference, with the component's interpretations of it; select: the best
// subsets or a stepwise search by AIC.
#include <cstdint>
#include <functional>
#include <future>
#include <iostream>
#include <memory>
#include <optional>

#include <varnel/regression/aliasing.h>
#include <varnel/regression/gvif.h>
#include <varnel/selection/stepwise_aic.h>

#include "analyses.h"
#include "analysis_tables.h"
#include "output.h"
#include "posix_io.h"
#include "progress_line.h"
#include "scratch_folder.h"

namespace varnel::cli {
namespace {

// The two rejections whose cause the component's message does not name:
// every predictor aliased, and a response that the predictors determine
// exactly (zero residuals leave no scale for a test).
void SayWhyNoFit(const TAnalysisData& Data, bool Intercept) {
  if (Data.K() == 0) {
    std::cerr << "varnel: no predictor is left once the aliased ones are out; name others with --x\n";
    return;
  }
  std::vector<std::vector<double>> Columns = Data.X;
  Columns.push_back(Data.Y);
  const std::vector<int> Aliased = FindAliasing(Columns, Intercept).Aliased;
  if (!Aliased.empty() && Aliased.back() == Data.K()) {
    std::cerr << "varnel: " << Printable(Data.YName)
              << " is an exact linear function of the predictors (a perfect fit): it has no standard errors, "
                 "tests or intervals to give\n";
  }
}

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
  SayWhyNoFit(Data, Options.Intercept);
  return std::nullopt;
}

// An aliased predictor is left out of the component's data and named on
// standard error, as R's summary names it.
void Use(TKorlen& Korlen, const TEstimable& E, const TAnalysisData& Data) {
  if (E.Aliased.empty()) return;
  for (int j : E.Aliased) std::cerr << "varnel: " << Data.XNames[j] << " not defined because of singularities\n";
  Load(Korlen, E.Data);
}

// The data as the fit takes it, loaded into the component.
TEstimable FitData(TKorlen& Korlen, const TAnalysisData& Data, bool Intercept) {
  TEstimable E = Estimable(Data, Intercept);
  Use(Korlen, E, Data);
  return E;
}

// Slot[j]: the fit's number (1..k) of the data's predictor j; 0 when aliased.
std::vector<int> Slots(const TEstimable& E, const TAnalysisData& Data) {
  std::vector<int> Slot(static_cast<std::size_t>(Data.K()), 0);
  for (std::size_t p = 0; p < E.Kept.size(); ++p) Slot[static_cast<std::size_t>(E.Kept[p])] = static_cast<int>(p) + 1;
  return Slot;
}

std::vector<TCell> CoefficientRow(const std::string& Term, const TCoefficientInference& C, bool WithVIF) {
  return {Term, Number(C.Estimate), Number(C.StdError), Number(C.Statistic), Number(C.PValue), Number(C.ConfLow),
          Number(C.ConfHigh), WithVIF ? Number(C.VIF) : TCell{}};
}

// Every predictor of the data has its row in its place; an aliased one has
// nothing but its name.
TResultTable CoefficientTable(const TModelInference& M, const TEstimable& E, const TAnalysisData& Data) {
  TResultTable Table = EmptyCoefficientsTable(static_cast<double>(M.Level));
  if (M.Intercept) Table.Rows.push_back(CoefficientRow(std::string(kConstantTerm), M.Coefficients[0], false));
  const std::vector<int> Slot = Slots(E, Data);
  // A dummy of a factor of more than two levels has no VIF of its own: its
  // term's is in the terms table.
  std::vector<bool> Alone(static_cast<std::size_t>(Data.K()));
  for (const TTerm& Term : TermsOf(Data)) Alone[static_cast<std::size_t>(Term.Columns[0])] = Term.Columns.size() == 1;
  for (int j = 0; j < Data.K(); ++j) {
    std::vector<TCell> Row(Table.Columns.size());
    Row[0] = Data.XNames[j];
    Table.Rows.push_back(Slot[j] ? CoefficientRow(Data.XNames[j], M.Coefficients[Slot[j]], Alone[j]) : Row);
  }
  return Table;
}

// car::vif of the estimable terms: a factor's dummies together.
TResultTable TermsTable(const TAnalysisData& Fitted) {
  TResultTable Table = EmptyTermsTable();
  const std::vector<TTerm> Terms = TermsOf(Fitted);
  std::vector<std::vector<int>> Columns;
  for (const TTerm& Term : Terms) Columns.push_back(Term.Columns);
  const std::vector<TTermVIF> V = TermVIFs(Fitted.X, Columns);
  for (std::size_t t = 0; t < Terms.size(); ++t)
    Table.Rows.push_back({Terms[t].Name, Count(V[t].DF), Number(V[t].GVIF), Number(V[t].Adjusted)});
  return Table;
}

TResultTable ModelTable(const TModelInference& M) {
  TResultTable Table = EmptyModelTable(M.Intercept);
  Table.Rows = {{Number(M.R2), Number(M.AdjR2), Number(M.Sigma), Number(M.F), Number(M.FPValue), Count(M.K),
                 Count(M.DFResidual), Count(M.N), Number(M.LogLik), Number(M.AIC), Number(M.BIC), Number(M.Deviance),
                 Number(M.DurbinWatson)}};
  return Table;
}

TResultTable ObservationTable(const TModelInference& M, const std::vector<TObservationInference>& Observations,
                              const TEstimable& E, const TAnalysisData& Data) {
  TResultTable Table = EmptyObservationsTable(static_cast<double>(M.Level), Terms(Data, M.Intercept));
  const std::vector<int> Slot = Slots(E, Data);
  Table.Rows.reserve(static_cast<std::size_t>(M.N));
  for (int i = 0; i < M.N; ++i) {
    const TObservationInference& O = Observations[i];
    std::vector<TCell> Row;
    Row.reserve(Table.Columns.size());
    Row = {Count(Data.RowNumber(i)), Number(Data.Y[i]), Number(O.Fitted), Number(O.Residual), Number(O.Hat),
           Number(O.Sigma), Number(O.CooksD), Number(O.StdResid), Number(O.StudResid), Number(O.DFFITS),
           Number(O.CovRatio)};
    if (M.Intercept) Row.push_back(Number(O.DFBetas[0]));
    for (int s : Slot) Row.push_back(s ? Number(O.DFBetas[s]) : TCell{});
    for (Extended Limit : {O.ConfLow, O.ConfHigh, O.PredLow, O.PredHigh}) Row.push_back(Number(Limit));
    Table.Rows.push_back(std::move(Row));
  }
  return Table;
}

// The component's lists count rows and terms its own way: from 0, among the
// rows and predictors it was given. Each number of the list after ": " on a
// line of Text becomes Name(number), the tables' name of the same thing.
std::string Renamed(const std::string& Text, const std::function<std::string(long long)>& Name) {
  std::string Out;
  bool InList = false;
  for (std::size_t i = 0; i < Text.size();) {
    const char c = Text[i];
    if (c == '\n') InList = false;
    if (!InList && Text.compare(i, 2, ": ") == 0) InList = true;
    if (!InList || c < '0' || c > '9') {
      Out += c;
      ++i;
      continue;
    }
    const std::size_t End = Text.find_first_not_of("0123456789", i);
    Out += Name(std::stoll(Text.substr(i, End - i)));
    i = End == std::string::npos ? Text.size() : End;
  }
  return Out;
}

// The component's interpretations read its own fit with the constant; a fit
// through the origin has none of them. Its β list names the terms as the
// coefficient table does.
void Interpretations(TKorlen& Korlen, const TAnalysisData& Fitted, const TOptions& Options,
                     const TModelInference& M, TCommandResults& Out) {
  if (!Options.Intercept) return;
  const TMultStatRec Rec = Korlen.MVRegression(Korlen.PRegressData, Korlen.Y, Fitted.K(), Fitted.N());
  if (Rec.N == 0) return;
  const std::vector<std::string> Names = Terms(Fitted, true);
  const auto TermName = [&Names](long long p) {
    return p < static_cast<long long>(Names.size()) ? ToWindows1252(Names[static_cast<std::size_t>(p)])
                                                      : std::to_string(p);
  };
  auto& Notes = Out.Results.Tables.back().Notes;
  Notes.push_back(Korlen.InterpretModelUtility(Rec));
  Notes.push_back(Renamed(Korlen.InterpretModelBetaParameters(Rec, Options.Regress.BetaThreshold), TermName));
  Notes.push_back(Korlen.InterpretDWStatistic(M.DurbinWatson));
  Out.Legend = Legend(Fitted);
  Out.ReportTexts = {Korlen.MVRegressionMemo(Rec), Korlen.MVEquationString(Rec)};
}

// The component's outlier text reads residuals in units of the fit's σ; its
// rows are named by their numbers in the file.
std::string OutlierNote(TKorlen& Korlen, const TModelInference& M,
                        const std::vector<TObservationInference>& Observations, const TAnalysisData& Data) {
  std::vector<double> Standard(MaxObs);
  for (int i = 0; i < M.N; ++i) Standard[i] = static_cast<double>(Observations[i].Residual / M.Sigma);
  const auto Row = [&Data](long long i) {
    return i < Data.N() ? std::to_string(Data.RowNumber(static_cast<int>(i))) : std::to_string(i);
  };
  return Renamed(Korlen.InterpretOutliers(Standard, M.N), Row);
}

TObservationSeries ObservationSeries(const TModelInference& M, const std::vector<TObservationInference>& Observations,
                                     const TAnalysisData& Data) {
  TObservationSeries S;
  S.Intercept = M.Intercept;
  S.Coefficients = M.N - M.DFResidual;
  for (int i = 0; i < M.N; ++i) {
    const TObservationInference& O = Observations[static_cast<std::size_t>(i)];
    S.Fitted.push_back(static_cast<double>(O.Fitted));
    S.Residual.push_back(static_cast<double>(O.Residual));
    S.Hat.push_back(static_cast<double>(O.Hat));
    S.CooksD.push_back(static_cast<double>(O.CooksD));
    S.StdResid.push_back(static_cast<double>(O.StdResid));
    S.Rows.push_back(Data.RowNumber(i));
  }
  return S;
}

void AddDiagnosis(TKorlen& Korlen, const TModelInference& M, const std::vector<TObservationInference>& Observations,
                  const TEstimable& E, const TAnalysisData& Data, TCommandResults& Out) {
  Out.Typed.Observations = ObservationSeries(M, Observations, Data);
  Out.Results.Tables.push_back(ObservationTable(M, Observations, E, Data));
  Out.Results.Tables.back().Notes.push_back(OutlierNote(Korlen, M, Observations, Data));
}

}  // namespace

namespace {

// The sequential sums of squares from the moments of every predictor (the
// aliased ones too, which enter with no degree of freedom) and the
// response, in one batch.
TResultTable AnovaOf(const TAnalysisData& Data, const TModelInference& M) {
  std::vector<std::vector<double>> Columns = Data.X;
  Columns.push_back(Data.Y);
  engine::TMoments Moments(Columns.size());
  Moments.Add(engine::MakeBatch(Columns));
  return AnovaTable(Data.TermNames.empty() ? Data.XNames : Data.TermNames, Data.TermOf, Moments, M.Deviance,
                    static_cast<std::size_t>(M.DFResidual));
}

}  // namespace

int RunRegress(TKorlen& Korlen, const TAnalysisData& Data, const TOptions& Options, TCommandResults& Out) {
  const TEstimable E = FitData(Korlen, Data, Options.Intercept);
  const auto M = Infer(Korlen, E.Data, Options, nullptr);
  if (!M) return 1;
  Out.Results.Tables = {CoefficientTable(*M, E, Data), ModelTable(*M)};
  Interpretations(Korlen, E.Data, Options, *M, Out);
  Out.Results.Tables.push_back(TermsTable(E.Data));
  if (M->Intercept) Out.Results.Tables.push_back(AnovaOf(Data, *M));
  return 0;
}

int RunDiagnose(TKorlen& Korlen, const TAnalysisData& Data, const TOptions& Options, TCommandResults& Out) {
  const TEstimable E = FitData(Korlen, Data, Options.Intercept);
  std::vector<TObservationInference> Observations;
  const auto M = Infer(Korlen, E.Data, Options, &Observations);
  if (!M) return 1;
  AddDiagnosis(Korlen, *M, Observations, E, Data, Out);
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
// so that a thread that cannot be started leaves it to get(), here. It
// describes the fit's predictors: an aliased constant has no correlations.
int RunFullAnalysis(TKorlen& Korlen, const TAnalysisData& Data, const TOptions& Options, TCommandResults& Out) {
  const TEstimable E = FitData(Korlen, Data, Options.Intercept);
  auto Described = std::async(std::launch::async | std::launch::deferred,
                              [&] { return DescribedApart(Korlen, E.Data, Options); });
  std::vector<TObservationInference> Observations;
  const auto M = Infer(Korlen, E.Data, Options, &Observations);
  if (!M) return 1;
  Out.Results.Tables = {CoefficientTable(*M, E, Data), ModelTable(*M)};
  Interpretations(Korlen, E.Data, Options, *M, Out);
  AddDiagnosis(Korlen, *M, Observations, E, Data, Out);
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
                                       static_cast<Single>(Options.Select.AccWeight),
                                       static_cast<Single>(Options.Select.SimpWeight), "All-subsets models");
}

// "x1 + x3": the predictors in Terms by their names, in column order;
// "(Intercept)" for the constant alone.
std::string TermsText(const TAnalysisData& Data, std::uint32_t Terms) {
  std::vector<std::string> Names;
  for (int j = 0; j < Data.K(); ++j) {
    if (Terms & (1u << j)) Names.push_back(Data.XNames[j]);
  }
  return FormulaText(Names);
}

TResultTable BestTable(const TBestSubsets& B, const TAnalysisData& Data) {
  TResultTable Table = EmptyBestTable(B.PerSize);
  for (const TSubsetModel& M : B.Models) {
    Table.Rows.push_back({Count(M.Size), Count(M.Rank), TermsText(Data, M.Terms), Number(M.RSS), Number(M.R2),
                          Number(M.AdjR2), Number(M.Cp), Number(M.AIC), Number(M.BIC)});
  }
  Table.Notes.push_back(BestNote(B.Criterion, B.Best.Size, TermsText(Data, B.Best.Terms)));
  return Table;
}

// "cyl + wt": the terms in Mask by their names, in the terms' order;
// "(Intercept)" for the constant alone.
std::string TermListText(const std::vector<TTerm>& Terms, std::uint32_t Mask) {
  std::vector<std::string> Names;
  for (std::size_t t = 0; t < Terms.size(); ++t) {
    if (Mask & (1u << t)) Names.push_back(Terms[t].Name);
  }
  return FormulaText(Names);
}

TResultTable StepsTable(const TStepwiseAIC& S, const std::vector<TTerm>& Terms) {
  TResultTable Table = EmptyStepsTable(S.Direction);
  for (const TAICStep& Step : S.Steps) {
    const TCell Term = Step.Term > 0 ? TCell{Terms[static_cast<std::size_t>(Step.Term - 1)].Name} : TCell{};
    Table.Rows.push_back({Count(Step.Step), std::string(StepActionName(Step.Action)), Term,
                          TermListText(Terms, Step.Terms), Count(Step.DFResidual), Number(Step.RSS),
                          Number(Step.AIC)});
  }
  return Table;
}

// The component's search when every term is one column; a factor's dummies
// move together through the search over terms, whose faults reach Run.
TStepwiseAIC Stepwise(TKorlen& Korlen, const TAnalysisData& Data, TStepDirection Direction,
                      const std::vector<TTerm>& Terms) {
  const Byte k = static_cast<Byte>(Data.K());
  if (static_cast<int>(Terms.size()) == Data.K())
    return Korlen.MVStepwiseAIC(Korlen.PRegressData, Korlen.Y, k, Data.N(), Direction);
  std::vector<std::vector<int>> Columns;
  for (const TTerm& Term : Terms) Columns.push_back(Term.Columns);
  return StepwiseAICOfTerms(Korlen.PRegressData, Korlen.Y, k, Data.N(), Direction, Columns);
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
  if (Options.Select.Method == TSelectMethod::Exhaustive) {
    TBestSubsets B;
    TProgressLine Line(std::cerr, "varnel select: subsets searched");
    const bool Found = Searched(Korlen, Data, [&] {
      B = Korlen.MVBestSubsets(Korlen.PRegressData, Korlen.Y, k, Data.N(), Options.Select.NBest, Options.Select.Criterion,
                               [&Line](double Done) { Line.Show(Done); });
      return !B.Models.empty();
    });
    if (!Found) return 1;
    Out.Results.Tables = {BestTable(B, Data)};
    return 0;
  }
  const TStepDirection Direction = Options.Select.Method == TSelectMethod::Forward    ? TStepDirection::sdForward
                                   : Options.Select.Method == TSelectMethod::Backward ? TStepDirection::sdBackward
                                                                               : TStepDirection::sdBoth;
  const std::vector<TTerm> Terms = TermsOf(Data);
  TStepwiseAIC S;
  if (!Searched(Korlen, Data, [&] {
        S = Stepwise(Korlen, Data, Direction, Terms);
        return !S.Steps.empty();
      }))
    return 1;
  Out.Results.Tables = {StepsTable(S, Terms)};
  return 0;
}

}  // namespace

int RunSelect(TKorlen& Korlen, const TAnalysisData& Data, const TOptions& Options, TCommandResults& Out) {
  if (!Options.ReportTexts) {
    if (!Options.Intercept)
      throw TInputError("select keeps the constant in every model: --no-intercept does not apply to it");
    return SelectTables(Korlen, FitData(Korlen, Data, true).Data, Options, Out);
  }
  // Made before any output, so that a TMPDIR that cannot be used stops the
  // command before it has written anything.
  const TEstimable E = Estimable(Data, true);
  std::optional<TScratchFolder> Scratch;
  if (E.Data.K() <= 8) Scratch.emplace();
  Use(Korlen, E, Data);
  const TAnalysisData& Fitted = E.Data;
  const int k = Fitted.K(), n = Fitted.N();
  if (Korlen.MVRegression(Korlen.PRegressData, Korlen.Y, k, n).N == 0) return 1;
  Out.Legend = Legend(Fitted);
  Out.ReportTexts = {Korlen.MVStepwiseForward(Korlen.PRegressData, Korlen.Y, k, n, "Forward (nested) models"),
                     Korlen.MVStepwiseBackward(Korlen.PRegressData, Korlen.Y, k, n, "Backward (nested) models"),
                     Korlen.MVOptimalForwardModel(Korlen.PRegressData, Korlen.Y, k, n)};
  if (!Scratch) {
    Out.ReportTexts.push_back("All-subsets search: skipped (it takes at most 8 predictors).");
    return 0;
  }
  const std::string Report = AllSubsetsReport(Korlen, Fitted, Options, *Scratch);
  Scratch.reset();
  Out.ReportTexts.push_back(Report);
  return Report.empty() ? 1 : 0;
}

}  // namespace varnel::cli
