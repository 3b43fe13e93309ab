// SPDX-License-Identifier: Apache-2.0
/// \file
/// What R's influence.measures, rstandard, rstudent and predict(interval =)
/// give per observation of a fit, from the fit and its residual sum of
/// squares alone, so that the rows can be streamed past it one by one.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "varnel/engine/inference.h"
#include "varnel/engine/least_squares.h"
#include "varnel/export.h"

namespace varnel::engine {

/// One observation's measures.
struct TObservation {
  /// The fitted value, the residual y − ŷ and the leverage.
  ///@{
  long double Fitted = 0, Residual = 0, Hat = 0;
  ///@}
  long double Sigma = 0;  ///< σ of the fit without this row
  /// Cook's distance, the internally and externally studentised residuals
  /// (rstandard, rstudent), DFFITS and COVRATIO.
  ///@{
  long double CooksD = 0, StdResid = 0, StudResid = 0, Dffits = 0, CovRatio = 0;
  ///@}
  std::vector<long double> DfBetas;  ///< per estimable term, in the order of TFit::Coef
  /// The limits of the mean response and of a new observation at the level.
  ///@{
  long double ConfLow = 0, ConfHigh = 0, PredLow = 0, PredHigh = 0;
  ///@}
};

/// Computes TObservation for rows streamed past it, from the fit and its inference.
class VARNEL_API TObservationMeasures {
 public:
  /// Measures of Fit, whose inference is Inference (the fit must outlive
  /// this object). Level: the two-sided level of the limits of the mean and of a new
  /// observation. Throws EEngineError when the fit has fewer than two
  /// residual degrees of freedom (σ without a row needs one more).
  TObservationMeasures(const TFit& Fit, const TInference& Inference, double Level);
  /// The measures of one complete row (K + 1 values, the response last).
  /// A row of leverage 1 has infinite or undefined measures, as in R.
  void Of(std::span<const double> Row, TObservation& Out) const;
  /// The measures of a row of a weighted fit, of weight Weight > 0 (R's
  /// influence measures leave out the rows of weight 0).
  void Of(std::span<const double> Row, long double Weight, TObservation& Out) const;

 private:
  const TFit& FFit;
  long double FSse, FSigma, FQuantile;
  std::size_t FFirst;  // 1 with an intercept: the slopes' place in Coef
  std::vector<long double> FMean;  // of the kept predictors (with an intercept)
};

}  // namespace varnel::engine
