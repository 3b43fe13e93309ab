// SPDX-License-Identifier: Apache-2.0
// Pieces the commands share to build their tables.
#include "analysis_tables.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include <varnel/dist/distributions.h>
#include <varnel/regression/aliasing.h>

#include "output.h"

namespace varnel::cli {

TCell SingleNumber(Extended Value) {
  char Buffer[32];
  const auto End = std::to_chars(Buffer, Buffer + sizeof Buffer - 1, static_cast<float>(Value)).ptr;
  *End = '\0';
  return std::strtod(Buffer, nullptr);
}

// Ten digits: 1 − 0.95 shows as 5%, not as its binary tail.
std::string Percent(double Level) {
  char Buffer[32];
  return std::string(Buffer, std::to_chars(Buffer, Buffer + sizeof Buffer, Level * 100, std::chars_format::general, 10).ptr) + "%";
}

std::vector<std::string> Terms(const std::vector<std::string>& XNames, bool Intercept) {
  std::vector<std::string> Names;
  if (Intercept) Names.emplace_back(kConstantTerm);
  Names.insert(Names.end(), XNames.begin(), XNames.end());
  return Names;
}

std::vector<TTerm> TermsOf(const TAnalysisData& Data) {
  std::vector<TTerm> Terms;
  const bool Grouped = Data.TermOf.size() == Data.XNames.size();
  std::vector<int> Index(Data.TermNames.size(), -1);
  for (int j = 0; j < Data.K(); ++j) {
    if (!Grouped) {
      Terms.push_back({Data.XNames[j], {j}});
      continue;
    }
    int& t = Index[static_cast<std::size_t>(Data.TermOf[j])];
    if (t < 0) {
      t = static_cast<int>(Terms.size());
      Terms.push_back({Data.TermNames[static_cast<std::size_t>(Data.TermOf[j])], {}});
    }
    Terms[static_cast<std::size_t>(t)].Columns.push_back(j);
  }
  return Terms;
}

TAnalysisData WithoutPredictors(const TAnalysisData& Data, const std::vector<int>& Left) {
  TAnalysisData Kept = Data;
  for (auto j = Left.rbegin(); j != Left.rend(); ++j) {
    const auto Erase = [j](auto& Entries) {
      if (*j < static_cast<int>(Entries.size())) Entries.erase(Entries.begin() + *j);
    };
    Erase(Kept.X);
    Erase(Kept.XNames);
    Erase(Kept.Missing);
    Erase(Kept.TermOf);
  }
  return Kept;
}

TEstimable Estimable(const TAnalysisData& Data, bool Intercept) {
  TEstimable E;
  E.Aliased = FindAliasing(Data.X, Intercept).Aliased;
  for (int j = 0, a = 0; j < Data.K(); ++j) {
    if (a < static_cast<int>(E.Aliased.size()) && E.Aliased[a] == j) {
      ++a;
      continue;
    }
    E.Kept.push_back(j);
  }
  E.Data = E.Aliased.empty() ? Data : WithoutPredictors(Data, E.Aliased);
  return E;
}

TResultTable MatrixTable(const std::string& Name, const std::string& Title, const std::string& Corner,
                         const TMatrix& M, const std::vector<std::string>& Rows,
                         const std::vector<std::string>& Columns) {
  TResultTable Table{Name, Title, {Corner}, {}, {}};
  Table.Columns.insert(Table.Columns.end(), Columns.begin(), Columns.end());
  for (std::size_t i = 0; i < Rows.size(); ++i) {
    std::vector<TCell> Row{Rows[i]};
    for (std::size_t j = 0; j < Columns.size(); ++j) Row.push_back(Number(M[i][j]));
    Table.Rows.push_back(std::move(Row));
  }
  return Table;
}

std::string Legend(const TAnalysisData& Data) {
  std::string Text = "Variables:";
  for (int j = 0; j < Data.K(); ++j) Text += " " + std::to_string(j + 1) + "=" + Data.XNames[j];
  return Text + "  (response: " + Data.YName + ")";
}

std::vector<TMessage> Recorded(const std::function<void()>& Work) {
  std::vector<TMessage> Messages;
  const TScopedMessageHandler Record([&Messages](const TMessage& Message) { Messages.push_back(Message); });
  Work();
  return Messages;
}

void Show(const std::vector<TMessage>& Messages) {
  for (const TMessage& Message : Messages) MessageDlg(Message.Text, Message.Type, mbOK, 0);
}

TResultTable EmptyCoefficientsTable(double Level) {
  return {"coefficients",
          "Coefficients (two-sided " + Percent(Level) + " confidence limits)",
          {"term", "estimate", "std.error", "statistic", "p.value", "conf.low", "conf.high", "vif"},
          {},
          {}};
}

TResultTable EmptyModelTable(bool Intercept) {
  return {"model",
          std::string("Model") + (Intercept ? "" : " (through the origin: R² about zero)"),
          {"r.squared", "adj.r.squared", "sigma", "statistic", "p.value", "df", "df.residual", "nobs", "logLik", "AIC",
           "BIC", "deviance", "durbin.watson"},
          {},
          {}};
}

TResultTable EmptyGlmCoefficientsTable(double Level, bool Z) {
  return {"coefficients",
          std::string("Coefficients (") + (Z ? "z" : "t") + " statistics; two-sided " + Percent(Level) +
              " Wald confidence limits)",
          {"term", "estimate", "std.error", "statistic", "p.value", "conf.low", "conf.high"},
          {},
          {}};
}

TResultTable EmptyGlmModelTable(const engine::TGlmModel& Model) {
  return {"model",
          "Model: " + engine::GlmFamilyName(Model.Family) + " family, " + engine::GlmLinkName(Model.Link) + " link",
          {"null.deviance", "df.null", "logLik", "AIC", "BIC", "deviance", "df.residual", "nobs", "iterations",
           "dispersion"},
          {},
          {}};
}

TResultTable EmptyGlmObservationsTable() {
  return {"observations",
          "Observations: fitted means, deviance and Pearson residuals, leverage, Cook's distance, standardised "
          "deviance residuals",
          {"row", "observed", ".fitted", ".resid", ".pearson", ".hat", ".cooksd", ".std.resid"},
          {},
          {}};
}

TResultTable EmptyTermsTable() {
  return {"terms",
          "Terms: generalised variance-inflation factors; gvif.adj = GVIF^(1/(2·df)) compares terms of different df",
          {"term", "df", "gvif", "gvif.adj"},
          {},
          {}};
}

TResultTable AnovaTable(const std::vector<std::string>& TermNames, const std::vector<int>& TermOf,
                        const engine::TMoments& Moments, long double Sse, std::size_t DfResidual) {
  TResultTable Table{"anova",
                     "Analysis of variance: each term's sum of squares as it enters after the terms above it",
                     {"term", "df", "sumsq", "meansq", "statistic", "p.value"},
                     {},
                     {}};
  const long double Residual = Sse / static_cast<long double>(DfResidual);
  std::vector<std::size_t> Columns;
  engine::TSubsetFit Before = engine::FitSubset(Moments, Columns);  // the constant alone
  for (std::size_t t = 0; t < TermNames.size(); ++t) {
    for (std::size_t j = 0; j + 1 < Moments.P(); ++j) {
      if ((TermOf.empty() ? j : static_cast<std::size_t>(TermOf[j])) == t) Columns.push_back(j);
    }
    const engine::TSubsetFit After = engine::FitSubset(Moments, Columns);
    const auto Df = static_cast<long long>(After.Rank - Before.Rank);
    if (Df > 0) {
      const long double SumSq = std::max<long double>(Before.Rss - After.Rss, 0), MeanSq = SumSq / Df;
      const long double F = MeanSq / Residual;
      Table.Rows.push_back({TermNames[t], Count(Df), Number(SumSq), Number(MeanSq), Number(F),
                            FProbability(static_cast<double>(F), static_cast<double>(Df),
                                         static_cast<double>(DfResidual), TTail::Upper)});
    }
    Before = After;
  }
  Table.Rows.push_back({std::string("Residuals"), Count(static_cast<long long>(DfResidual)), Number(Sse),
                        Number(Residual), TCell{}, TCell{}});
  return Table;
}

TResultTable EmptyBestTable(int PerSize) {
  const std::string Models = PerSize == 1 ? "the model" : "the " + std::to_string(PerSize) + " models";
  return {"best",
          "Best subsets: " + Models + " of smallest RSS of each size, the constant in every model; "
              "Cp on the full model's residual mean square",
          {"size", "rank", "terms", "rss", "r.squared", "adj.r.squared", "cp", "AIC", "BIC"},
          {},
          {}};
}

TResultTable EmptyStepsTable(TStepDirection Direction, bool Glm) {
  const char* From = Direction == TStepDirection::sdForward    ? "forward from the constant alone"
                     : Direction == TStepDirection::sdBackward ? "backward from the full model"
                                                               : "both ways from the full model";
  return {"steps",
          std::string("Stepwise search by AIC, ") + From +
              (Glm ? "; each model refitted, its AIC R's (as step() takes a glm's), a term dropped or added only "
                     "with the terms it is marginal to"
                   : "; AIC as step() takes it: n·log(RSS/n) + 2·edf, edf the coefficients"),
          {"step", "action", "term", "terms", "df.residual", Glm ? "deviance" : "rss", "AIC"},
          {},
          {}};
}

namespace {

const char* CriterionName(TSubsetCriterion Criterion) {
  switch (Criterion) {
    case TSubsetCriterion::scAdjR2: return "adjusted R\xB2";
    case TSubsetCriterion::scCp: return "Cp";
    case TSubsetCriterion::scAIC: return "AIC";
    case TSubsetCriterion::scBIC: return "BIC";
  }
  return "";
}

}  // namespace

// Notes are Windows-1252 texts: the names go in converted.
std::string BestNote(TSubsetCriterion Criterion, int Size, const std::string& Terms) {
  return std::string("Best by ") + CriterionName(Criterion) + ": size " + std::to_string(Size) + ", " +
         ToWindows1252(Terms);
}

const char* StepActionName(TStepAction Action) {
  switch (Action) {
    case TStepAction::saStart: return "start";
    case TStepAction::saAdd: return "add";
    case TStepAction::saDrop: return "drop";
  }
  return "";
}

std::string FormulaText(const std::vector<std::string>& Names) {
  std::string Text;
  for (const std::string& Name : Names) Text += (Text.empty() ? "" : " + ") + Name;
  return Text.empty() ? std::string(kConstantTerm) : Text;
}

TResultTable EmptyVariablesTable() {
  return {"variables",
          "Variables (skew: m3/m2^(3/2); kurtosis: m4/m2²; excess.kurtosis: m4/m2² − 3; q1, q3: quartiles, R's type "
          "7; acf1: lag-1 autocorrelation)",
          {"variable", "n", "sum", "min", "max", "range", "mean", "sd", "variance", "skew", "kurtosis",
           "excess.kurtosis", "coef.var.pct", "q1", "median", "q3", "acf1", "missing"},
          {},
          {}};
}

TResultTable EmptyObservationsTable(double Level, const std::vector<std::string>& Terms) {
  TResultTable Table{"observations",
                     "Observations (two-sided " + Percent(Level) + " limits of the mean and of a new observation)",
                     {"row", "observed", ".fitted", ".resid", ".hat", ".sigma", ".cooksd", ".std.resid",
                      ".stud.resid", "dffits", "covratio"},
                     {},
                     {}};
  for (const auto& Term : Terms) Table.Columns.push_back("dfb." + Term);
  for (const char* Limit : {"conf.low", "conf.high", "pred.low", "pred.high"}) Table.Columns.push_back(Limit);
  return Table;
}

TResultTable EmptyAssignmentsTable() {
  return {"assignments", "The cluster of each observation", {"row", "cluster"}, {}, {}};
}

TResultTable EmptyDistancesTable(double Cut, int k, double Level, double Threshold) {
  return {"distances",
          "Mahalanobis distances from the centre (outlier: D2 above the chi-square quantile " + ShortestNumber(Cut) +
              " at " + std::to_string(k) + " df and " + Percent(Level) + "; flag: the component's D > " +
              ShortestNumber(Threshold) + ")",
          {"row", "d2", "d", "p.value", "outlier", "flag"},
          {},
          {}};
}

std::vector<std::string> ComponentNames(int k) {
  std::vector<std::string> Names;
  for (int i = 1; i <= k; ++i) Names.push_back("PC" + std::to_string(i));
  return Names;
}

TResultTable ClusterCentresTable(const TClusterSummary& S, const std::vector<std::string>& Variables) {
  TResultTable Table{"centres", "Cluster centres (means), sizes and within-cluster sums of squares",
                     {"cluster", "size", "withinss"}, {}, {}};
  Table.Columns.insert(Table.Columns.end(), Variables.begin(), Variables.end());
  for (std::size_t c = 0; c < static_cast<std::size_t>(S.Clusters); ++c) {
    std::vector<TCell> Row{Count(static_cast<long long>(c) + 1), Count(S.Size[c]), Number(S.WithinSS[c])};
    for (const double v : S.Centres[c]) Row.push_back(Number(v));
    Table.Rows.push_back(std::move(Row));
  }
  return Table;
}

TResultTable ClusterFitTable(const TClusterSummary& S) {
  return {"fit",
          "k-means of " + std::to_string(S.Clusters) + " clusters: the best of " + std::to_string(S.Starts) +
              " k-means++ starts with seed " + std::to_string(S.Seed),
          {"totss", "tot.withinss", "betweenss", "between.ratio", "iter"},
          {{Number(S.TotSS), Number(S.TotWithinSS), Number(S.BetweenSS),
            Number(S.TotSS > 0 ? S.BetweenSS / S.TotSS : Extended(NAN)), Count(S.Iterations)}},
          {}};
}


}  // namespace varnel::cli
