// SPDX-License-Identifier: Apache-2.0
#include "models/saved_model.h"

#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>

#include <nlohmann/json.hpp>
#include <varnel/version.h>

#include "csv_table.h"
#include "formula/expression.h"
#include "output.h"

namespace varnel::cli {

namespace {

using nlohmann::ordered_json;

constexpr const char* kFormat = "varnel linear model";
constexpr const char* kGeneralisedFormat = "varnel generalised linear model";
constexpr int kFormatVersion = 1;

std::string FormulaOf(const std::string& Response, const std::vector<TStreamedData::TCoding>& Columns,
                      bool Intercept) {
  std::string Right;
  for (const auto& Column : Columns) Right += (Right.empty() ? "" : " + ") + formula::DeparseName(Column.Column);
  return formula::DeparseName(Response) + " ~ " + Right + (Intercept ? "" : " - 1");
}

// NaN and the infinities have no JSON number: null.
ordered_json NumberOrNull(double Value) { return std::isfinite(Value) ? ordered_json(Value) : ordered_json(nullptr); }

double NumberOf(const ordered_json& Value) {
  return Value.is_null() ? std::numeric_limits<double>::quiet_NaN() : Value.get<double>();
}

std::vector<double> Doubles(const std::vector<long double>& Values) { return {Values.begin(), Values.end()}; }

// A square matrix, row-major, as a JSON array of its rows, and back.
ordered_json MatrixJson(const std::vector<double>& Values, std::size_t Side) {
  ordered_json Rows = ordered_json::array();
  for (std::size_t r = 0; r < Side; ++r) Rows.push_back(std::vector<double>(Values.begin() + r * Side, Values.begin() + (r + 1) * Side));
  return Rows;
}

std::vector<double> MatrixOf(const ordered_json& Rows) {
  std::vector<double> Values;
  for (const auto& Row : Rows) {
    const auto Numbers = Row.get<std::vector<double>>();
    if (Numbers.size() != Rows.size()) throw TInputError("a matrix that is not square");
    Values.insert(Values.end(), Numbers.begin(), Numbers.end());
  }
  return Values;
}

}  // namespace

namespace {

// What every model keeps of its data's columns.
TSavedModel ColumnsOf(const TStreamedData& Data, bool Intercept) {
  TSavedModel M;
  M.Response = Data.YName();
  M.Intercept = Intercept;
  M.Columns = Data.Codings();
  M.FromFormula = !Data.ExpandedFormula().empty();
  M.Formula = M.FromFormula ? Data.ExpandedFormula() : FormulaOf(M.Response, M.Columns, M.Intercept);
  M.Terms = Data.XNames();
  return M;
}

}  // namespace

TSavedModel SavedModelOf(const TStreamedData& Data, const engine::TGlmFit& Fit) {
  TSavedModel M = ColumnsOf(Data, Fit.Intercept);
  M.Family = engine::GlmFamilyName(Fit.Model.Family);
  M.Link = engine::GlmLinkName(Fit.Model.Link);
  M.Dispersion = static_cast<double>(Fit.Dispersion);
  M.Kept = Fit.Kept;
  const std::size_t First = Fit.Intercept ? 1 : 0;
  if (Fit.Intercept) M.Constant = static_cast<double>(Fit.Coef[0]);
  M.Estimates.assign(Fit.K, std::numeric_limits<double>::quiet_NaN());
  for (std::size_t a = 0; a < Fit.Kept.size(); ++a) M.Estimates[Fit.Kept[a]] = static_cast<double>(Fit.Coef[First + a]);
  for (long double c : Fit.Covariance) M.Vcov.push_back(static_cast<double>(Fit.Dispersion * c));
  M.N = static_cast<long long>(Fit.N);
  M.DfResidual = static_cast<long long>(Fit.DfResidual);
  return M;
}

TSavedModel SavedModelOf(const TStreamedData& Data, const engine::TFit& Fit, const engine::TInference& Inference) {
  TSavedModel M = ColumnsOf(Data, Fit.Intercept);
  M.Kept = Fit.Kept;
  const std::size_t First = Fit.Intercept ? 1 : 0, m = Fit.Kept.size(), Rank = Fit.Rank();
  if (Fit.Intercept) M.Constant = static_cast<double>(Fit.Coef[0]);
  M.Estimates.assign(Fit.K, std::numeric_limits<double>::quiet_NaN());
  std::vector<long double> Means, Slopes(m * m);
  for (std::size_t a = 0; a < m; ++a) {
    const std::size_t j = Fit.Kept[a];
    M.Estimates[j] = static_cast<double>(Fit.Coef[First + a]);
    if (Fit.Intercept) {
      M.Shift.push_back(Fit.Shift[j]);
      M.Mean.push_back(static_cast<double>(Fit.MeanAboutShift[j]));
      Means.push_back(Fit.Shift[j] + Fit.MeanAboutShift[j]);
    }
    for (std::size_t b = 0; b < m; ++b) Slopes[a * m + b] = Fit.XtXInv[(First + a) * Rank + First + b];
  }
  M.Inverse = Doubles(Slopes);
  const std::vector<long double> Unscaled =
      Fit.Intercept ? engine::InverseWithConstant(Fit.N, Means, Slopes) : Slopes;
  const long double Variance = Inference.Sigma * Inference.Sigma;
  for (long double c : Unscaled) M.Vcov.push_back(static_cast<double>(Variance * c));
  M.Sigma = static_cast<double>(Inference.Sigma);
  M.N = static_cast<long long>(Fit.N);
  M.DfResidual = static_cast<long long>(Fit.DfResidual);
  if (Fit.Weighted) M.WeightSum = static_cast<double>(Fit.WeightSum);
  return M;
}

std::string ModelJson(const TSavedModel& M) {
  ordered_json J;
  J["format"] = M.Generalised() ? kGeneralisedFormat : kFormat;
  J["format_version"] = kFormatVersion;
  J["varnel_version"] = VARNEL_VERSION_STRING;
  J["formula"] = M.Formula;
  J["design"] = M.FromFormula ? "formula" : "columns";
  J["response"] = M.Response;
  J["intercept"] = M.Intercept;
  if (M.Generalised()) {
    J["family"] = M.Family;
    J["link"] = M.Link;
    J["dispersion"] = M.Dispersion;
  } else {
    // A weighted fit's new observation is taken as of weight 1: variance sigma².
    J["weights"] = M.WeightSum > 0 ? ordered_json{{"sum", M.WeightSum}} : ordered_json(nullptr);
  }
  ordered_json Columns = ordered_json::array();
  for (const auto& C : M.Columns) {
    ordered_json Column = {{"name", C.Column}, {"type", C.Factor ? "factor" : "number"}};
    if (C.Factor) Column["levels"] = C.Levels;
    Columns.push_back(std::move(Column));
  }
  J["columns"] = std::move(Columns);
  ordered_json Coefficients = ordered_json::array();
  if (M.Intercept) Coefficients.push_back({{"term", kConstantTerm}, {"estimate", M.Constant}});
  for (std::size_t j = 0; j < M.Terms.size(); ++j)
    Coefficients.push_back({{"term", M.Terms[j]}, {"estimate", NumberOrNull(M.Estimates[j])}});
  J["coefficients"] = std::move(Coefficients);
  J["vcov"] = MatrixJson(M.Vcov, M.Rank());
  if (!M.Generalised()) J["sigma"] = M.Sigma;
  J["df_residual"] = M.DfResidual;
  J["nobs"] = M.N;
  if (!M.Generalised()) {
    J["centres"] = {{"shift", M.Shift}, {"mean", M.Mean}};
    J["xtx_inverse"] = MatrixJson(M.Inverse, M.Kept.size());
  }
  return J.dump(1) + "\n";
}

namespace {

// The parts of a model file, each checked against the others.
void CheckModel(const TSavedModel& M, const std::string& Source) {
  const std::size_t K = M.Terms.size(), m = M.Kept.size(), Rank = M.Rank();
  std::size_t Width = 0;
  for (const auto& C : M.Columns) Width += C.Factor ? (C.Levels.size() < 2 ? K + 1 : C.Levels.size() - 1) : 1;
  const bool Centred = M.Generalised() || (M.Inverse.size() == m * m && (!M.Intercept || (M.Shift.size() == m && M.Mean.size() == m)));
  bool Sound = (M.FromFormula || Width == K) && M.Estimates.size() == K && M.Vcov.size() == Rank * Rank && Centred &&
               M.DfResidual >= 0 && M.N > 0 && std::isfinite(M.Sigma) && M.Sigma >= 0 &&
               std::isfinite(M.WeightSum) && M.WeightSum >= 0 && std::isfinite(M.Dispersion) && M.Dispersion > 0;
  if (M.Generalised()) {
    try {
      engine::MakeGlmModel(engine::GlmFamilyOf(M.Family), engine::GlmLinkOf(M.Link));
    } catch (const engine::EEngineError&) {
      Sound = false;
    }
  } else {
    Sound = Sound && M.DfResidual > 0;
  }
  for (std::size_t a = 0; Sound && a < m; ++a) Sound = M.Kept[a] < K && (a == 0 || M.Kept[a] > M.Kept[a - 1]);
  if (!Sound) throw TInputError(Source + ": the model's parts do not agree with each other: the file is damaged");
}

}  // namespace

TSavedModel ModelFromJson(const std::string& Text, const std::string& Source) {
  const ordered_json J = ordered_json::parse(Text, nullptr, false);
  if (J.is_discarded() || !J.is_object() || !J.contains("format") ||
      (J["format"] != kFormat && J["format"] != kGeneralisedFormat))
    throw TInputError(Source + ": not a model saved by varnel regress or glm --save-model");
  if (!J.contains("format_version") || J["format_version"] != kFormatVersion) {
    const std::string Version = J.contains("format_version") ? J["format_version"].dump() : "none";
    throw TInputError(Source + ": a model of format version " + Version + "; this varnel reads version " +
                      std::to_string(kFormatVersion));
  }
  TSavedModel M;
  try {
    M.Formula = J.at("formula").get<std::string>();
    M.FromFormula = J.value("design", std::string("columns")) == "formula";
    M.Response = J.at("response").get<std::string>();
    M.Intercept = J.at("intercept").get<bool>();
    for (const auto& C : J.at("columns")) {
      const bool Factor = C.at("type").get<std::string>() == "factor";
      M.Columns.push_back({C.at("name").get<std::string>(), Factor,
                           Factor ? C.at("levels").get<std::vector<std::string>>() : std::vector<std::string>{}});
    }
    const auto& Coefficients = J.at("coefficients");
    for (std::size_t i = 0; i < Coefficients.size(); ++i) {
      const double Estimate = NumberOf(Coefficients[i].at("estimate"));
      if (M.Intercept && i == 0) {
        M.Constant = Estimate;
        continue;
      }
      if (std::isfinite(Estimate)) M.Kept.push_back(M.Terms.size());
      M.Terms.push_back(Coefficients[i].at("term").get<std::string>());
      M.Estimates.push_back(Estimate);
    }
    M.Vcov = MatrixOf(J.at("vcov"));
    M.DfResidual = J.at("df_residual").get<long long>();
    M.N = J.at("nobs").get<long long>();
    if (J["format"] == kGeneralisedFormat) {
      M.Family = J.at("family").get<std::string>();
      M.Link = J.at("link").get<std::string>();
      M.Dispersion = J.at("dispersion").get<double>();
    } else {
      M.Sigma = J.at("sigma").get<double>();
      M.Shift = J.at("centres").at("shift").get<std::vector<double>>();
      M.Mean = J.at("centres").at("mean").get<std::vector<double>>();
      M.Inverse = MatrixOf(J.at("xtx_inverse"));
      if (const auto& Weights = J.at("weights"); !Weights.is_null()) M.WeightSum = Weights.at("sum").get<double>();
    }
  } catch (const nlohmann::json::exception& Error) {
    throw TInputError(Source + ": the model is not whole: " + Error.what());
  } catch (const TInputError& Error) {
    throw TInputError(Source + ": the model is damaged: " + Error.what());
  }
  CheckModel(M, Source);
  return M;
}

TSavedModel ReadModel(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  if (!In) throw TInputError(Printable(Path) + ": cannot open the model file");
  std::ostringstream Text;
  Text << In.rdbuf();
  return ModelFromJson(Text.str(), Printable(Path));
}

}  // namespace varnel::cli
