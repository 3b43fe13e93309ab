// SPDX-License-Identifier: Apache-2.0
/// \file
/// What summary.lm, logLik and AIC report for a fit: standard errors, t and
/// p-values, R², F, the likelihood and the information criteria, from the
/// fit and its residual sum of squares.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "varnel/engine/batch.h"
#include "varnel/engine/least_squares.h"
#include "varnel/export.h"

namespace varnel::engine {

/// Σ(y − ŷ)² over the complete rows of a data set, from a second pass in
/// the fixed batch order of Accumulate. The data must be the columns the fit
/// was made from (K predictors, the response last): the count of complete
/// rows is checked against the fit's, and a mismatch throws EEngineError.
VARNEL_API long double StreamedSse(const TFit& Fit, const TBatch& Data, std::size_t Threads = 1,
                        std::size_t BatchRows = kBatchRows);

/// The inference of a fit, as summary.lm, logLik, AIC and BIC give it.
struct TInference {
  /// Standard errors and t statistics per estimable term, in the order of TFit::Coef.
  ///@{
  std::vector<long double> StdErr, T;
  ///@}
  std::vector<double> P;  ///< the t statistics' two-sided p-values
  /// The residual sum of squares, residual standard error, R² and adjusted R².
  ///@{
  long double Sse = 0, Sigma = 0, R2 = 0, AdjR2 = 0;
  ///@}
  /// F's degrees of freedom: the model's and the residual's.
  ///@{
  std::size_t DfModel = 0, DfResidual = 0;
  ///@}
  std::optional<long double> F;             ///< none when only the constant is fitted
  std::optional<double> FP;  ///< F's p-value; none with F
  /// The log-likelihood and the information criteria, counting σ as a parameter.
  ///@{
  long double LogLik = 0, AIC = 0, BIC = 0;
  ///@}
};

/// The inference of Fit given its residual sum of squares Sse (StreamedSse,
/// or the fit's MomentSse). Throws EEngineError when there is no residual degree of freedom or no
/// residual (a perfect fit, whose t and likelihood are infinite).
VARNEL_API TInference Infer(const TFit& Fit, long double Sse);

}  // namespace varnel::engine
