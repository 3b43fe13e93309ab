// SPDX-License-Identifier: Apache-2.0
#include "models/generalised_linear.h"

#include <cmath>
#include <iostream>
#include <memory>
#include <numeric>
#include <string>

#include <varnel/dist/distributions.h>

#include "analysis_tables.h"
#include "models/glm_steps.h"
#include "models/saved_model.h"
#include "output.h"
#include "streamed_select.h"

namespace varnel::cli {
namespace {

using engine::TGlmFamily;
using engine::TGlmFit;

// The refusal of a response outside the family's domain, in R's words,
// naming the data row (1-based).
std::string DomainRefusal(const TStreamedData& Data, TGlmFamily Family, std::int64_t Row) {
  const char* Why = "";
  switch (Family) {
    case TGlmFamily::Binomial: Why = "y values must be 0 <= y <= 1"; break;
    case TGlmFamily::Poisson: Why = "negative values not allowed for the 'Poisson' family"; break;
    case TGlmFamily::Gamma: Why = "non-positive values not allowed for the 'Gamma' family"; break;
    case TGlmFamily::InverseGaussian: Why = "positive values only are allowed for the 'inverse.gaussian' family"; break;
    case TGlmFamily::Gaussian: Why = "the response is not a finite number"; break;
  }
  return Data.Source() + ": data row " + std::to_string(Row + 1) + ": " + Data.YName() + " is out of range (" + Why +
         ")";
}

// The model's design columns (of the data's, increasing), and their names.
struct TGlmDesign {
  std::vector<std::size_t> Columns;
  std::vector<std::string> Names;
};

TGlmDesign DesignOf(const TStreamedData& Data, std::vector<std::size_t> Columns) {
  TGlmDesign Design{std::move(Columns), {}};
  for (std::size_t j : Design.Columns) Design.Names.push_back(Data.XNames()[j]);
  return Design;
}

TGlmDesign WholeDesign(const TStreamedData& Data) {
  std::vector<std::size_t> All(Data.K());
  std::iota(All.begin(), All.end(), 0);
  return DesignOf(Data, std::move(All));
}

// The batch of the design's columns, then the response and what follows
// it: the offset, and the prior weights last, as the engine takes them.
engine::TBatch Narrowed(const engine::TBatch& Batch, std::size_t K, const std::vector<std::size_t>& Columns) {
  engine::TBatch Out{{}, Batch.FirstRow};
  for (std::size_t j : Columns) Out.Columns.push_back(Batch.Columns[j]);
  Out.Columns.insert(Out.Columns.end(), Batch.Columns.begin() + static_cast<std::ptrdiff_t>(K), Batch.Columns.end());
  return Out;
}

TGlmFit FitOf(TStreamedData& Data, const TOptions& Options, const std::vector<std::size_t>& Design) {
  const engine::TGlmModel Model = engine::MakeGlmModel(Options.Glm.Family, Options.Glm.Link);
  const engine::TGlmColumns Columns{Data.HasOffset(), Options.Regress.Weighted};
  const engine::TGlmReduce Reduce = [&Data, &Design, Columns](const engine::TGlmStep& Step) {
    return Data.Reduce<engine::TGlmPass>(
        [&](const engine::TBatch& Batch) { return engine::GlmPass(Step, Narrowed(Batch, Data.K(), Design)); },
        Columns.Weights);
  };
  try {
    return engine::FitGlm(Model, Design.size(), Options.Intercept, Reduce, 25, 1e-8L, Columns);
  } catch (const engine::EGlmResponseError& Error) {
    throw TInputError(DomainRefusal(Data, Model.Family, Error.Row));
  }
}

// glm.fit's warnings, in its words; a binomial fit whose probabilities
// reach 0 or 1 is said plainly to be (quasi-)separated.
void Warn(const TGlmFit& Fit, const TGlmDesign& Design) {
  for (std::size_t j : Fit.Aliased) std::cerr << "varnel: " << Design.Names[j] << " not defined because of singularities\n";
  if (Fit.NonIntegerSuccesses > 0) std::cerr << "varnel: non-integer #successes in a binomial glm!\n";
  if (!Fit.Converged) std::cerr << "varnel: glm.fit: algorithm did not converge\n";
  if (!Fit.NullConverged)
    std::cerr << "varnel: fitting to calculate the null deviance did not converge -- increase 'maxit'?\n";
  if (Fit.Boundary) std::cerr << "varnel: glm.fit: algorithm stopped at boundary value\n";
  if (Fit.FittedAtEdge == 0) return;
  if (Fit.Model.Family == TGlmFamily::Binomial) {
    std::cerr << "varnel: glm.fit: fitted probabilities numerically 0 or 1 occurred\n"
              << "varnel: " << Fit.FittedAtEdge << " row" << (Fit.FittedAtEdge == 1 ? " is" : "s are")
              << " fitted as 0 or 1: the predictors separate the outcomes (completely or nearly), so the "
                 "estimates and standard errors of the separating terms are not meaningful\n";
  } else if (Fit.Model.Family == TGlmFamily::Poisson) {
    std::cerr << "varnel: glm.fit: fitted rates numerically 0 occurred\n";
  }
}

std::vector<TCell> CoefficientRow(const std::string& Term, long double Estimate, long double StdErr, double P,
                                  double Quantile) {
  return {Term, Number(Estimate), Number(StdErr), Number(Estimate / StdErr), P,
          Number(Estimate - Quantile * StdErr), Number(Estimate + Quantile * StdErr)};
}

// summary.glm's coefficients: z and normal p-values where the dispersion is
// known, t on the residual degrees of freedom where it is estimated; the
// limits as confint.default, estimate ± z·se either way.
TResultTable CoefficientTable(const TGlmDesign& Design, const TGlmFit& Fit, double Level) {
  TResultTable Table = EmptyGlmCoefficientsTable(Level, Fit.Model.FixedDispersion());
  const double Quantile = NormalQuantile((1 - Level) / 2, TTail::Upper);
  const auto PValue = [&Fit](long double Statistic) -> double {
    const double s = static_cast<double>(std::fabs(Statistic));
    if (!std::isfinite(s)) return std::isnan(s) ? NAN : 0.0;
    if (Fit.Model.FixedDispersion()) return 2 * NormalProbability(s, TTail::Upper);
    return Fit.DfResidual > 0 ? StudentTTwoSided(s, static_cast<double>(Fit.DfResidual)) : NAN;
  };
  const std::size_t r = Fit.Rank();
  const auto Row = [&](const std::string& Term, std::size_t s) {
    const long double Se = std::sqrt(Fit.Dispersion * Fit.Covariance[s * r + s]);
    Table.Rows.push_back(CoefficientRow(Term, Fit.Coef[s], Se, PValue(Fit.Coef[s] / Se), Quantile));
  };
  std::size_t s = 0;
  if (Fit.Intercept) Row(std::string(kConstantTerm), s++);
  std::size_t k = 0;
  for (std::size_t j = 0; j < Design.Names.size(); ++j) {
    if (k < Fit.Kept.size() && Fit.Kept[k] == j) {
      Row(Design.Names[j], s++);
      ++k;
    } else {
      std::vector<TCell> Aliased(Table.Columns.size());
      Aliased[0] = Design.Names[j];
      Table.Rows.push_back(Aliased);
    }
  }
  return Table;
}

TResultTable ModelTable(const TGlmFit& Fit) {
  TResultTable Table = EmptyGlmModelTable(Fit.Model);
  const auto Whole = [](std::size_t n) { return Count(static_cast<long long>(n)); };
  Table.Rows = {{Number(Fit.NullDeviance), Whole(Fit.DfNull), Number(Fit.LogLik), Number(Fit.Aic), Number(Fit.Bic),
                 Number(Fit.Deviance), Whole(Fit.DfResidual), Whole(Fit.N - Fit.ZeroWeight), Count(Fit.Iterations),
                 Number(Fit.Dispersion)}};
  return Table;
}

// The figures of the complete rows of a batch, a row each.
std::vector<double> ObservationRows(const TGlmFit& Fit, const engine::TBatch& Batch) {
  std::vector<double> Rows, Row(Batch.Cols());
  for (std::size_t i = 0; i < Batch.Rows(); ++i) {
    if (!engine::CompleteRow(Batch, i, Row)) continue;
    const engine::TGlmObservation O = engine::GlmObservation(Fit, Row);
    Rows.insert(Rows.end(), {static_cast<double>(Batch.FirstRow + i + 1), Row[Fit.K], O.Fitted, O.Residual, O.Pearson,
                             O.Hat, O.CooksD, O.StdResid});
  }
  return Rows;
}

// Table observations, made block by block while it is written.
TRowStream ObservationStream(TStreamedData& Data, std::shared_ptr<const TGlmFit> Fit, std::vector<std::size_t> Design) {
  const TResultTable Head = EmptyGlmObservationsTable();
  TRowStream Stream{Head.Name, Head.Title, Head.Columns, std::vector<bool>(Head.Columns.size()), {}};
  Stream.Counts[0] = true;
  Stream.Produce = [&Data, Fit, Design = std::move(Design)](const TRowStream::TPart& Part) {
    Data.InOrder<std::vector<double>>(
        [&](const engine::TBatch& Batch) { return ObservationRows(*Fit, Narrowed(Batch, Data.K(), Design)); }, Part,
        Fit->Columns.Weights);
  };
  return Stream;
}

// --step: R's step() over the formula's terms, each model refitted; the
// search's table, and the chosen model's design.
TGlmDesign Stepwise(TStreamedData& Data, const TOptions& Options, TCommandResults& Out) {
  if (!Options.Intercept) throw TInputError("glm --step keeps the constant in every model, as step's scope does");
  std::vector<std::vector<std::size_t>> TermColumns(Data.TermNames().size());
  for (std::size_t j = 0; j < Data.K(); ++j) TermColumns[static_cast<std::size_t>(Data.TermOf()[j])].push_back(j);
  const TGlmSubsetFit Fit = [&](const std::vector<std::size_t>& Columns) { return FitOf(Data, Options, Columns); };
  const engine::TStepDirection Direction = *Options.Glm.Step;
  const std::vector<engine::TStep> Steps = GlmStepwise(Fit, TermColumns, Data.TermVariables(), Direction);
  Out.Results.Tables.push_back(StepsTable(Steps, Data.TermNames(), Direction, true));
  return DesignOf(Data, ColumnsOfTerms(Steps.back().Terms, TermColumns));
}

}  // namespace

// The iterations pass over the data many times: its batches are kept in
// memory up to this size, beyond it read from the file each time.
constexpr std::size_t kKeptBytes = std::size_t(512) << 20;

int RunStreamedGlm(TStreamedData& Data, const TOptions& Options, TCommandResults& Out) {
  Data.KeepBatches(kKeptBytes);
  const TGlmDesign Design = Options.Glm.Step ? Stepwise(Data, Options, Out) : WholeDesign(Data);
  const auto Fit = std::make_shared<const TGlmFit>(FitOf(Data, Options, Design.Columns));
  Out.Results.Meta.N = static_cast<long long>(Fit->N - Fit->ZeroWeight);
  Warn(*Fit, Design);
  TResultTable Coefficients = CoefficientTable(Design, *Fit, Options.Level);
  if (Options.Regress.Weighted) {
    Out.Results.Meta.Weights = Printable(Options.Regress.WeightsColumn);
    Coefficients.Title += "; prior weights " + *Out.Results.Meta.Weights;
  }
  if (Options.Glm.Step) Coefficients.Title += "; the model the search chose";
  Out.Results.Tables.push_back(std::move(Coefficients));
  Out.Results.Tables.push_back(ModelTable(*Fit));
  if (!Options.Regress.SaveModel.empty()) Out.ModelFile = ModelJson(SavedModelOf(Data, *Fit));
  Out.Results.Stream = ObservationStream(Data, Fit, Design.Columns);
  return 0;
}

}  // namespace varnel::cli
