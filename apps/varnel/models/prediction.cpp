// SPDX-License-Identifier: Apache-2.0
#include "models/prediction.h"

#include <cmath>
#include <iostream>
#include <limits>
#include <memory>

#include <varnel/dist/distributions.h>

#include "analysis_tables.h"

namespace varnel::cli {

void ReadAsModel(const TSavedModel& Model, std::vector<std::string>& Columns, std::string& Formula,
                 std::vector<std::string>& Factors, std::map<std::string, std::vector<std::string>>& Levels) {
  if (Model.FromFormula) Formula = Model.Formula;
  for (const auto& Column : Model.Columns) {
    if (!Model.FromFormula) Columns.push_back(Column.Column);
    if (!Column.Factor) continue;
    Factors.push_back(Column.Column);
    Levels[Column.Column] = Column.Levels;
  }
}

namespace {

// The fit at a design row x and its standard error: with the constant,
// x'b and σ·√(1/n + d'Sd), d = x − x̄ formed as (x − shift) − mean, S the
// centred cross products' inverse; without, σ·√(x'Sx). Only the estimable
// columns count, as predict.lm takes them from a rank-deficient fit.
struct TFitAt {
  long double Fit = 0, StdErr = 0;
};

TFitAt FitAt(const TSavedModel& M, const std::vector<double>& x) {
  const std::size_t m = M.Kept.size();
  TFitAt At;
  At.Fit = M.Intercept ? M.Constant : 0;
  std::vector<long double> d(m);
  for (std::size_t a = 0; a < m; ++a) {
    const std::size_t j = M.Kept[a];
    At.Fit += static_cast<long double>(M.Estimates[j]) * x[j];
    d[a] = M.Intercept ? (static_cast<long double>(x[j]) - M.Shift[a]) - M.Mean[a] : x[j];
  }
  const long double Count = M.WeightSum > 0 ? M.WeightSum : static_cast<long double>(M.N);
  long double Hat = M.Intercept ? 1.0L / Count : 0;
  for (std::size_t a = 0; a < m; ++a) {
    long double s = 0;
    for (std::size_t b = 0; b < m; ++b) s += M.Inverse[a * m + b] * d[b];
    Hat += d[a] * s;
  }
  At.StdErr = M.Sigma * std::sqrt(Hat);
  return At;
}

// A generalised model's linear predictor at x (with the formula's offset,
// x[K], when it has one) and its standard error, √(x'Vx) with V R's vcov
// of the fit; on the response scale (predict.glm's type = "response") the
// mean g⁻¹(η) and the error times |dμ/dη|.
TFitAt GeneralisedFitAt(const TSavedModel& M, const engine::TGlmModel& Glm, bool Response,
                        const std::vector<double>& x) {
  const std::size_t m = M.Kept.size(), First = M.Intercept ? 1 : 0, r = M.Rank();
  std::vector<long double> z(r, 1);
  TFitAt At;
  At.Fit = M.Intercept ? M.Constant : 0;
  for (std::size_t a = 0; a < m; ++a) {
    const std::size_t j = M.Kept[a];
    At.Fit += static_cast<long double>(M.Estimates[j]) * x[j];
    z[First + a] = x[j];
  }
  long double Quadratic = 0;
  for (std::size_t a = 0; a < r; ++a) {
    long double s = 0;
    for (std::size_t b = 0; b < r; ++b) s += M.Vcov[a * r + b] * z[b];
    Quadratic += z[a] * s;
  }
  At.StdErr = std::sqrt(Quadratic);
  if (x.size() > M.Terms.size()) At.Fit += x[M.Terms.size()];
  if (!Response) return At;
  const double Eta = static_cast<double>(At.Fit);
  At.Fit = Glm.LinkInv(Eta);
  At.StdErr *= std::fabs(Glm.MuEta(Eta));
  return At;
}

TRowStream PredictionStream(TInterval Interval, double Level, const std::string& Response) {
  TRowStream Stream;
  Stream.Name = "predictions";
  Stream.Columns = {"row", ".fitted", ".se.fit"};
  Stream.Title = "Predictions of " + Response;
  if (Interval == TInterval::Confidence) {
    Stream.Columns.insert(Stream.Columns.end(), {"conf.low", "conf.high"});
    Stream.Title += " (two-sided " + Percent(Level) + " limits of the mean)";
  } else if (Interval == TInterval::Prediction) {
    Stream.Columns.insert(Stream.Columns.end(), {"pred.low", "pred.high"});
    Stream.Title += " (two-sided " + Percent(Level) + " limits of a new observation)";
  }
  Stream.Counts.assign(Stream.Columns.size(), false);
  Stream.Counts[0] = true;
  return Stream;
}

// The rows of one batch: every row, its figures not available where a
// value is missing (as predict.lm with na.pass).
std::vector<double> PredictionRows(const TSavedModel& M, const engine::TGlmModel& Glm, bool Response,
                                   TInterval Interval, double Quantile, const engine::TBatch& Batch) {
  std::vector<double> Rows, x(Batch.Cols());
  const double NA = std::numeric_limits<double>::quiet_NaN();
  for (std::size_t i = 0; i < Batch.Rows(); ++i) {
    Rows.push_back(static_cast<double>(Batch.FirstRow + i + 1));
    if (!engine::CompleteRow(Batch, i, x)) {
      Rows.insert(Rows.end(), Interval == TInterval::None ? 2 : 4, NA);
      continue;
    }
    const TFitAt At = M.Generalised() ? GeneralisedFitAt(M, Glm, Response, x) : FitAt(M, x);
    Rows.push_back(static_cast<double>(At.Fit));
    Rows.push_back(static_cast<double>(At.StdErr));
    if (Interval == TInterval::None) continue;
    const long double Spread = Interval == TInterval::Confidence
                                   ? At.StdErr
                                   : std::sqrt(At.StdErr * At.StdErr + static_cast<long double>(M.Sigma) * M.Sigma);
    Rows.push_back(static_cast<double>(At.Fit - Quantile * Spread));
    Rows.push_back(static_cast<double>(At.Fit + Quantile * Spread));
  }
  return Rows;
}

}  // namespace

int RunStreamedPredict(TStreamedData& Data, const TOptions& Options, TCommandResults& Out) {
  const std::shared_ptr<const TSavedModel> Model = Options.Predict.Loaded;
  if (Data.XNames() != Model->Terms) {
    throw TInputError(Data.Source() + ": its columns do not make the model's design columns; the model has " +
                      std::to_string(Model->Terms.size()) + ", these data " + std::to_string(Data.K()));
  }
  const bool Generalised = Model->Generalised();
  if (Generalised && Options.Predict.Interval != TInterval::None)
    throw TInputError("--interval is for linear models; a generalised model's predictions have standard errors "
                      "only, as R's predict.glm");
  if (!Generalised && Options.Predict.TypeGiven)
    throw TInputError("--type is for generalised models (glm --save-model); a linear model predicts the response");
  const engine::TGlmModel Glm = Generalised ? engine::MakeGlmModel(engine::GlmFamilyOf(Model->Family),
                                                                   engine::GlmLinkOf(Model->Link))
                                            : engine::TGlmModel{};
  if (Model->Kept.size() < Model->Terms.size())
    std::cerr << "varnel: prediction from a rank-deficient fit may be misleading\n";
  if (Model->WeightSum > 0 && Options.Predict.Interval == TInterval::Prediction)
    std::cerr << "varnel: assuming constant prediction variance even though model fit is weighted\n";
  const TInterval Interval = Options.Predict.Interval;
  const double Quantile = Interval == TInterval::None ? 0 :
      StudentTQuantile((1 - Options.Level) / 2, static_cast<double>(Model->DfResidual), TTail::Upper);
  const bool Response = Options.Predict.Response;
  TRowStream Stream = PredictionStream(Interval, Options.Level, Model->Response);
  if (Generalised) Stream.Title += Response ? " (the mean)" : " (the linear predictor, link " + Model->Link + ")";
  Stream.Produce = [&Data, Model, Glm, Response, Interval, Quantile](const TRowStream::TPart& Part) {
    Data.InOrder<std::vector<double>>(
        [&](const engine::TBatch& Batch) { return PredictionRows(*Model, Glm, Response, Interval, Quantile, Batch); },
        Part);
  };
  Out.Results.Meta.N = Model->N;
  Out.Results.Meta.Response = Model->Response;
  Out.Results.Stream = std::move(Stream);
  return 0;
}

}  // namespace varnel::cli
