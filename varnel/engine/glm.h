// SPDX-License-Identifier: Apache-2.0
/// \file
/// Generalised linear models by iteratively reweighted least squares. Each
/// iteration is one pass over the data: every batch gives the weighted
/// co-moments of the predictors and the working response at the current
/// coefficients, with the deviance there; the passes merge as any state
/// does, so the fit is the same bits for any number of threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "varnel/engine/batch.h"
#include "varnel/engine/errors.h"
#include "varnel/export.h"

namespace varnel::engine {

/// The error distributions, as R's family objects name them.
enum class TGlmFamily { Binomial, Poisson, Gaussian, Gamma, InverseGaussian };
/// The links, as R names them (InverseSquare is "1/mu^2"). New links go
/// last, so that a link's number stays what it was.
enum class TGlmLink { Logit, Probit, Cloglog, Log, Identity, Inverse, InverseSquare, Sqrt, Cauchit };

/// A family with its link: the link, its inverse and derivative, the
/// variance function, the unit deviance and the starting mean of a response.
struct VARNEL_API TGlmModel {
  TGlmFamily Family = TGlmFamily::Gaussian;  ///< the error distribution
  TGlmLink Link = TGlmLink::Identity;        ///< the link of the mean to the linear predictor

  double LinkFun(double Mu) const;   ///< η = g(μ)
  double LinkInv(double Eta) const;  ///< μ = g⁻¹(η)
  double MuEta(double Eta) const;  ///< dμ/dη
  double Variance(double Mu) const;  ///< the family's variance function V(μ)
  double DevResid(double Y, double Mu) const;  ///< the squared deviance residual of a unit-weight row
  /// The mean the iterations start from, for a row of prior weight Weight
  /// (binomial: (w·y + 0.5)/(w + 1)).
  double Start(double Y, double Weight = 1) const;
  bool ValidY(double Y) const;   ///< whether Y is in the family's domain
  bool ValidMu(double Mu) const;    ///< whether μ is in the family's range, as R's validmu
  bool ValidEta(double Eta) const;  ///< whether η is in the link's range, as R's valideta
  /// Whether the dispersion is known to be 1 (binomial, Poisson).
  bool FixedDispersion() const { return Family == TGlmFamily::Binomial || Family == TGlmFamily::Poisson; }
};

/// A family's name: "binomial", "poisson", "gaussian", "Gamma" or
/// "inverse.gaussian".
VARNEL_API std::string GlmFamilyName(TGlmFamily Family);
/// A link's name: "logit", "probit", "cloglog", "log", "identity",
/// "inverse", "1/mu^2", "sqrt" or "cauchit".
VARNEL_API std::string GlmLinkName(TGlmLink Link);
/// The family of a name; EEngineError for another name.
VARNEL_API TGlmFamily GlmFamilyOf(std::string_view Name);
/// The link of a name; EEngineError for another name.
VARNEL_API TGlmLink GlmLinkOf(std::string_view Name);
/// The family's canonical link (logit, log, identity, inverse, 1/mu^2).
VARNEL_API TGlmLink CanonicalLink(TGlmFamily Family);
/// The links a family takes by name (its canonical one first): binomial
/// logit, probit, cloglog, cauchit and log; poisson log, identity and sqrt;
/// gaussian and Gamma their canonical link, log and the other of identity
/// and inverse; inverse.gaussian 1/mu^2, inverse, identity and log.
VARNEL_API std::vector<TGlmLink> AllowedLinks(TGlmFamily Family);
/// The family with its link; EEngineError when the family does not take it.
VARNEL_API TGlmModel MakeGlmModel(TGlmFamily Family, TGlmLink Link);

/// The optional columns of a GLM's rows. A row is the K predictors, the
/// response, then the offset when there is one, then the prior weight when
/// there is one.
struct VARNEL_API TGlmColumns {
  /// An offset column, added to the linear predictor: η = Xβ + offset.
  bool Offset = false;
  /// A prior weight column (≥ 0; a row of weight 0 is carried but takes no
  /// part in the fit, as R's glm(weights = ) has it).
  bool Weights = false;
};

/// Where a pass evaluates the model: coefficients (the intercept first when
/// there is one, then one per predictor, 0 for an aliased one), or none for
/// the starting means; Previous, the coefficients of the weights last
/// solved (none: the starting means), for the Pearson statistic.
struct VARNEL_API TGlmStep {
  TGlmModel Model;        ///< the family and link
  bool Intercept = true;  ///< whether the constant is fitted
  /// The coefficients evaluated, and those of the weights last solved.
  ///@{
  std::vector<long double> Coef, Previous;
  ///@}
  /// The null model's mean, with the intercept; without it, any number asks
  /// for the null deviance at μ = g⁻¹(offset) of each row. NaN: not wanted.
  double NullMu = std::numeric_limits<double>::quiet_NaN();
  TGlmColumns Columns;  ///< the optional columns after the response
  /// Whether the pass is of the null model's own fit: the constant alone,
  /// with the offset (its co-moments are of z only, P = 1). Coef still has
  /// a coefficient per predictor; they are 0 but for the first pass, which
  /// starts from the full model's.
  bool NullModel = false;
};

/// One pass over rows (K predictors, the response, then the optional
/// columns): the weighted co-moments of [x, z] about their weighted means
/// (working weights w, K + 1 columns, lower triangle, merged by the pairwise
/// update), the deviance at the step, and the sums the likelihood and the
/// warnings need. Sums over rows are weighted by the prior weights.
struct VARNEL_API TGlmPass {
  std::size_t P = 0;  ///< K + 1 (1 for a pass of the null model)
  std::size_t N = 0;  ///< complete rows, those of prior weight 0 included
  long double W = 0;  ///< Σw, the working weights
  /// P weighted means; P × P co-moments, lower triangle.
  ///@{
  std::vector<long double> Mean, Cross;
  ///@}
  /// The deviance at the step, the null model's, and Pearson's χ² at the
  /// weights last solved.
  ///@{
  long double Deviance = 0, NullDeviance = 0, Pearson = 0;
  ///@}
  /// Σy, Σlog y (y > 0), Σlog y!, each term times the prior weight.
  ///@{
  long double SumY = 0, LogY = 0, LogFactY = 0;
  ///@}
  long double LogLikY = 0;  ///< Σ of the family's log density at μ, where it needs no dispersion
  /// Σlog μ, Σy/μ (the gamma likelihood), each term times the prior weight.
  ///@{
  long double LogMu = 0, YOverMu = 0;
  ///@}
  std::size_t Invalid = 0;    ///< rows with μ or η outside the link's or family's range
  std::size_t Boundary = 0;   ///< rows whose μ is numerically 0 (or 1 for binomial)
  std::int64_t BadRow = -1;   ///< the first row (global index) whose y is outside the family's domain
  /// The prior weights: their sum, and Σlog w over the positive ones (the
  /// latter, as Σlog y, Σlog y! and the count below, in the starting pass).
  ///@{
  long double PriorW = 0, LogPriorW = 0;
  ///@}
  std::size_t ZeroWeight = 0;        ///< complete rows of prior weight 0
  std::size_t NonIntegerSuccesses = 0;  ///< binomial rows whose w·y is more than 0.001 from a whole number
  std::int64_t BadWeightRow = -1;    ///< the first row (global index) whose prior weight is negative or infinite
  /// The least and greatest offset (+∞ and −∞ before any row).
  ///@{
  double OffsetLow = std::numeric_limits<double>::infinity(), OffsetHigh = -std::numeric_limits<double>::infinity();
  ///@}

  TGlmPass() = default;                 ///< an empty state, to be merged into
  explicit TGlmPass(std::size_t K);     ///< no row yet, of K predictors
  void Merge(const TGlmPass& Other);    ///< the state of both passes' rows, this one's first
  /// Every member, in a fixed order (packed to cross processes).
  template <class Self, class Visit>
  static void Members(Self& S, Visit&& Each) {
    Each(S.P);
    Each(S.N);
    Each(S.W);
    Each(S.Mean);
    Each(S.Cross);
    for (auto* Sum : {&S.Deviance, &S.NullDeviance, &S.Pearson, &S.SumY, &S.LogY, &S.LogFactY, &S.LogLikY, &S.LogMu,
                      &S.YOverMu})
      Each(*Sum);
    Each(S.Invalid);
    Each(S.Boundary);
    Each(S.BadRow);
    Each(S.PriorW);
    Each(S.LogPriorW);
    Each(S.ZeroWeight);
    Each(S.NonIntegerSuccesses);
    Each(S.BadWeightRow);
    Each(S.OffsetLow);
    Each(S.OffsetHigh);
  }
};

/// The pass of one batch (K predictors, the response, then the step's
/// optional columns) at the step.
VARNEL_API TGlmPass GlmPass(const TGlmStep& Step, const TBatch& Batch);

/// A fitted model. Coef and Covariance are over the estimable terms (the
/// intercept first when there is one, then the kept predictors in order);
/// Covariance is unscaled, (X'WX)⁻¹ at the weights last solved.
struct VARNEL_API TGlmFit {
  TGlmModel Model;        ///< the family and link fitted
  bool Intercept = true;  ///< whether the constant is fitted
  TGlmColumns Columns;    ///< the optional columns of the rows fitted
  /// The predictors and the complete rows (those of prior weight 0 included).
  ///@{
  std::size_t K = 0, N = 0;
  ///@}
  std::size_t ZeroWeight = 0;  ///< complete rows of prior weight 0, out of the degrees of freedom
  /// Binomial rows whose successes w·y are not a whole number (more than
  /// 0.001 away), which glm warns of; the likelihood rounds them.
  std::size_t NonIntegerSuccesses = 0;
  /// The estimable and the aliased predictors: 0-based indices.
  ///@{
  std::vector<std::size_t> Kept, Aliased;
  ///@}
  /// The estimates and their unscaled covariance (Rank × Rank, row-major).
  ///@{
  std::vector<long double> Coef, Covariance;
  ///@}
  /// The residual and null deviances, and Pearson's χ² at the fit (summed
  /// only where the dispersion is estimated: 0 for binomial and Poisson).
  ///@{
  long double Deviance = 0, NullDeviance = 0, Pearson = 0;
  ///@}
  /// Whether the fit of the constant with the offset, whose deviance is the
  /// null deviance, converged (true where no such fit is needed).
  bool NullConverged = true;
  long double Dispersion = 1;  ///< 1 for binomial and Poisson, else Pearson χ² over df.residual
  /// AIC, the log-likelihood and BIC, as R's AIC, logLik and BIC of the fit
  /// (BIC's n counts the rows of weight 0, as R's does; the gaussian
  /// likelihood leaves them out, where R's would be −∞).
  ///@{
  long double Aic = 0, LogLik = 0, Bic = 0;
  ///@}
  /// The residual and null degrees of freedom (of the rows of positive weight).
  ///@{
  std::size_t DfResidual = 0, DfNull = 0;
  ///@}
  int Iterations = 0;      ///< the weighted least-squares solves, as R's iter
  bool Converged = false;  ///< whether the deviance settled within the iterations
  bool Boundary = false;  ///< the iterations' step was halved at the edge of the valid range
  std::size_t FittedAtEdge = 0;  ///< rows whose fitted mean is numerically 0 (or 1 for binomial)
  /// The coefficients (per predictor, as TGlmStep's) at which the working
  /// weights last solved were formed; empty: the starting means.
  std::vector<long double> WeightCoef;
  std::size_t Rank() const { return Coef.size(); }  ///< the estimable terms, the intercept included
  /// The coefficients per predictor, the intercept first, 0 for an aliased one.
  std::vector<long double> FullCoef() const;
};

/// One observation's figures, as R's fitted, residuals, influence,
/// cooks.distance and rstandard give them: μ, the deviance and Pearson
/// residuals (each with the prior weight), the leverage w·x'(X'WX)⁻¹x at the
/// working weights last solved, Cook's distance from the Pearson residual
/// and the standardised deviance residual. A row of prior weight 0 has
/// residuals 0, and NaN for the leverage, Cook's distance and the
/// standardised residual, which R leaves out for it.
struct VARNEL_API TGlmObservation {
  /// μ, the deviance and Pearson residuals, the leverage, Cook's distance
  /// and the standardised deviance residual.
  ///@{
  double Fitted = 0, Residual = 0, Pearson = 0, Hat = 0, CooksD = 0, StdResid = 0;
  ///@}
};

/// The figures of a complete row, laid out as the fit's (K predictors, the
/// response, then the fit's optional columns).
VARNEL_API TGlmObservation GlmObservation(const TGlmFit& Fit, std::span<const double> Row);

/// One pass over all the data at a step, merged in a fixed order.
using TGlmReduce = std::function<TGlmPass(const TGlmStep&)>;

/// Fits the model by R's glm.fit: starting means from the response, then
/// at most MaxIt weighted least-squares solves, each followed by a pass at
/// the new coefficients; converged when |dev − devold|/(|dev| + 0.1) <
/// Epsilon, the step halved towards the last coefficients while the
/// deviance is not finite or the means are out of range. A predictor is
/// aliased as lm aliases it. Throws EDomainError for a response outside the
/// family's domain (it names the row), EEngineError when no complete row is
/// left or no valid coefficients are found.
///
/// Columns says which optional columns the rows carry (an offset, prior
/// weights); the reduction's passes must be of steps with those columns.
/// The null deviance is at the weighted mean of y with the intercept, at
/// g⁻¹(offset) without; with an intercept and an offset that varies, it is
/// the deviance of a fit of the constant with the offset, started from the
/// model's fitted means, as glm's. EEngineError also for a negative or
/// infinite prior weight (it names the row).
VARNEL_API TGlmFit FitGlm(const TGlmModel& Model, std::size_t K, bool Intercept, const TGlmReduce& Reduce,
                          int MaxIt = 25, long double Epsilon = 1e-8L, TGlmColumns Columns = {});

/// A response outside the family's domain.
class VARNEL_API EGlmResponseError : public EEngineError {
 public:
  /// What is wrong, and the row it is in.
  EGlmResponseError(const std::string& What, std::int64_t Row) : EEngineError(What), Row(Row) {}
  std::int64_t Row;  ///< the global 0-based row
};

}  // namespace varnel::engine
