// SPDX-License-Identifier: Apache-2.0
// Pieces the commands share to build their tables.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <varnel/engine.h>
#include <varnel/korlen.h>

#include "data_set.h"
#include "results.h"

namespace varnel::cli {

// A number of the library (extended precision) as the double it stands for;
// a zero without its sign, as R prints it.
inline TCell Number(Extended Value) { return Value == 0 ? 0.0 : static_cast<double>(Value); }
// A figure the component computes in single precision: the shortest decimal
// of that float, so that CSV and JSON do not show its binary tail.
TCell SingleNumber(Extended Value);
inline TCell Count(long long Value) { return Value; }

// The level as people write it: 0.95 as "95%".
std::string Percent(double Level);

// The fit's terms as R names them: "(Intercept)" (with the constant), then
// the predictors' names.
std::vector<std::string> Terms(const std::vector<std::string>& XNames, bool Intercept);
inline std::vector<std::string> Terms(const TAnalysisData& Data, bool Intercept) { return Terms(Data.XNames, Intercept); }

// The data's predictors as a fit can estimate them: a predictor that is a
// linear combination of the ones before it (and of the constant, with
// Intercept) is left out, as R's lm leaves it out.
struct TEstimable {
  TAnalysisData Data;         // the estimable predictors, in their order
  std::vector<int> Kept;      // Kept[j]: the data's index of predictor j of Data
  std::vector<int> Aliased;   // the data's indices of the predictors left out
};
TEstimable Estimable(const TAnalysisData& Data, bool Intercept);

// The model's terms in the order of their first predictor: a factor's
// dummies make one term, named as its column.
struct TTerm {
  std::string Name;
  std::vector<int> Columns;  // 0-based predictors
};
std::vector<TTerm> TermsOf(const TAnalysisData& Data);

// The data without the predictors at the increasing indices Left.
TAnalysisData WithoutPredictors(const TAnalysisData& Data, const std::vector<int>& Left);

// The top-left block of a matrix: a first column Corner holding the row
// names, then one column per name in Columns.
TResultTable MatrixTable(const std::string& Name, const std::string& Title, const std::string& Corner,
                         const TMatrix& M, const std::vector<std::string>& Rows,
                         const std::vector<std::string>& Columns);

// The tables a command gives within the component's box and beyond it,
// built in one place so that the two never name a column differently:
// their names, titles and columns, without rows.
TResultTable EmptyCoefficientsTable(double Level);
TResultTable EmptyModelTable(bool Intercept);
TResultTable EmptyTermsTable();
// glm's coefficients (statistic: z where the dispersion is known, else t;
// limits from the normal quantile, as confint.default) and its fit.
TResultTable EmptyGlmCoefficientsTable(double Level, bool Z);
TResultTable EmptyGlmModelTable(const engine::TGlmModel& Model);
TResultTable EmptyGlmObservationsTable();
// R's sequential anova(lm) of a fit with the constant, as broom tidies it:
// each term's sum of squares as it enters after the terms above it (the
// fall in RSS of the fits on the constant and the terms so far, from
// Moments: the predictors, then the response), a term aliased on those
// before it left out as R leaves it; then the residuals, with the fit's
// own Sse on DfResidual. TermOf[j] is predictor j's term (empty: each
// predictor a term of its own).
TResultTable AnovaTable(const std::vector<std::string>& TermNames, const std::vector<int>& TermOf,
                        const engine::TMoments& Moments, long double Sse, std::size_t DfResidual);
TResultTable EmptyVariablesTable();
// diagnose's table of the observations, given the fit's terms (Terms's).
TResultTable EmptyObservationsTable(double Level, const std::vector<std::string>& Terms);
// select's table best (PerSize models of each size) and table steps (of
// glm --step: the models' deviances).
TResultTable EmptyBestTable(int PerSize);
TResultTable EmptyStepsTable(TStepDirection Direction, bool Glm = false);
// "Best by BIC: size 2, x1 + x3", the note under table best; Terms in UTF-8.
std::string BestNote(TSubsetCriterion Criterion, int Size, const std::string& Terms);
const char* StepActionName(TStepAction Action);
// "x1 + x3": the names joined as a model formula's right side;
// "(Intercept)" for none.
std::string FormulaText(const std::vector<std::string>& Names);

// cluster's table of each observation's cluster.
TResultTable EmptyAssignmentsTable();
// distance's table: Cut is the chi-square quantile at k df and Level that
// marks an outlier, Threshold the component's flag on D.
TResultTable EmptyDistancesTable(double Cut, int k, double Level, double Threshold);
// "PC1", "PC2", ...; the principal components' figures and loadings
// (Variables: the loadings' row names).
std::vector<std::string> ComponentNames(int k);
// P: the component's record or the engine's, of any number of components.
template <class TRecord>
TResultTable ComponentsTable(const TRecord& P, const std::vector<std::string>& Components) {
  TResultTable Table{"components",
                     std::string("Principal components of the ") + (P.Scaled ? "correlation" : "covariance") +
                         " matrix (condition index: √(λ₁/λⱼ))",
                     {"component", "sdev", "eigenvalue", "proportion", "cumulative", "condition.index"},
                     {},
                     {}};
  for (std::size_t j = 0; j < static_cast<std::size_t>(P.K); ++j) {
    Table.Rows.push_back({Components[j], Number(P.SDev[j]), Number(P.Variance[j]), Number(P.Proportion[j]),
                          Number(P.Cumulative[j]), Number(P.ConditionIndex[j])});
  }
  return Table;
}
template <class TRecord>
TResultTable RotationTable(const TRecord& P, const std::vector<std::string>& Variables,
                           const std::vector<std::string>& Components) {
  TResultTable Table{"loadings", "Loadings (rotation; each column turned so that its largest entry is positive)",
                     {"variable"}, {}, {}};
  Table.Columns.insert(Table.Columns.end(), Components.begin(), Components.end());
  const auto K = static_cast<std::size_t>(P.K);
  for (std::size_t v = 0; v < K; ++v) {
    std::vector<TCell> Row{Variables[v]};
    for (std::size_t j = 0; j < K; ++j) Row.push_back(Number(P.Rotation[v][j]));
    Table.Rows.push_back(std::move(Row));
  }
  return Table;
}

// What cluster's centres and fit tables show, from the component's k-means
// within the box or the engine's beyond it.
struct TClusterSummary {
  int Clusters = 0, Starts = 0, Iterations = 0;
  std::uint64_t Seed = 1;
  std::vector<long long> Size;
  std::vector<Extended> WithinSS;
  std::vector<std::vector<double>> Centres;  // [cluster][variable]
  Extended TotSS = 0, TotWithinSS = 0, BetweenSS = 0;
};
TResultTable ClusterCentresTable(const TClusterSummary& S, const std::vector<std::string>& Variables);
TResultTable ClusterFitTable(const TClusterSummary& S);

// "Variables: 1=a 2=b  (response: y)": the numbering of the component's texts.
std::string Legend(const TAnalysisData& Data);

// The component's messages of some work in this thread, kept rather than
// shown, and their showing afterwards through this thread's handler, in
// their order.
std::vector<TMessage> Recorded(const std::function<void()>& Work);
void Show(const std::vector<TMessage>& Messages);

}  // namespace varnel::cli
