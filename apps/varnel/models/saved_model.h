// SPDX-License-Identifier: Apache-2.0
// A fitted linear model as regress --save-model keeps it: what prediction
// needs and nothing of the data. The coefficients, the covariance R's vcov
// gives, the columns and each factor's levels (the reference first), sigma
// and the residual degrees of freedom, and for the standard error of a fit
// at new x the inverse of the design's cross products, formed about the
// means as the fit was, so that data far from zero keep their digits.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include <varnel/engine.h>

#include "reading/streamed_data.h"

namespace varnel::cli {

struct TSavedModel {
  std::string Formula;   // what the columns stand for, as R writes it
  // Whether the design is the formula's terms, evaluated again on new data
  // (Columns: those they read), rather than Columns as predictors.
  bool FromFormula = false;
  std::string Response;  // as the tables name it
  bool Intercept = true;
  std::vector<TStreamedData::TCoding> Columns;  // the predictor columns, in the design's order
  std::vector<std::string> Terms;               // per design column: the coefficient's name
  double Constant = 0;                          // with Intercept
  std::vector<double> Estimates;                // per design column, NaN when aliased
  std::vector<std::size_t> Kept;                // the estimable design columns
  // With Intercept, per kept column: the shift the fit took its moments
  // about and the mean about that shift; Inverse, kept × kept, row-major:
  // of the centred cross products with Intercept, of the raw ones without.
  std::vector<double> Shift, Mean, Inverse;
  std::vector<double> Vcov;  // R's vcov(fit): the estimable terms, the constant first, row-major
  double Sigma = 0;
  long long N = 0, DfResidual = 0;
  // Of a weighted fit, the weights' sum, which the constant's share of a
  // fit's variance is over (N unweighted); 0 for an unweighted fit.
  double WeightSum = 0;

  // A generalised linear model's family and link, as R names them (empty:
  // a linear model), and its dispersion; Vcov is then R's vcov(fit), and
  // Shift, Mean, Inverse and Sigma are not used.
  std::string Family, Link;
  double Dispersion = 1;

  std::size_t Rank() const { return Kept.size() + (Intercept ? 1 : 0); }
  bool Generalised() const { return !Family.empty(); }
};

// The model of a fit of Data's columns.
TSavedModel SavedModelOf(const TStreamedData& Data, const engine::TFit& Fit, const engine::TInference& Inference);

// The model of a generalised linear fit of Data's columns.
TSavedModel SavedModelOf(const TStreamedData& Data, const engine::TGlmFit& Fit);

// The model as the file holds it (JSON), and back. Reading checks that the
// file is such a model, of a version this program reads, whole and
// consistent; TInputError otherwise, naming the file.
std::string ModelJson(const TSavedModel& Model);
TSavedModel ModelFromJson(const std::string& Text, const std::string& Source);
TSavedModel ReadModel(const std::string& Path);

}  // namespace varnel::cli
