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

/// The error distributions and links, as R's family objects name them.
enum class TGlmFamily { Binomial, Poisson, Gaussian, Gamma, InverseGaussian };
enum class TGlmLink { Logit, Probit, Cloglog, Log, Identity, Inverse, InverseSquare, Sqrt };

/// A family with its link: the link, its inverse and derivative, the
/// variance function, the unit deviance and the starting mean of a response.
struct VARNEL_API TGlmModel {
  TGlmFamily Family = TGlmFamily::Gaussian;
  TGlmLink Link = TGlmLink::Identity;

  double LinkFun(double Mu) const;
  double LinkInv(double Eta) const;
  double MuEta(double Eta) const;  ///< dμ/dη
  double Variance(double Mu) const;
  double DevResid(double Y, double Mu) const;  ///< the squared deviance residual of a unit-weight row
  double Start(double Y) const;  ///< the mean the iterations start from
  bool ValidY(double Y) const;   ///< whether Y is in the family's domain
  bool ValidMu(double Mu) const;
  bool ValidEta(double Eta) const;
  /// Whether the dispersion is known to be 1 (binomial, Poisson).
  bool FixedDispersion() const { return Family == TGlmFamily::Binomial || Family == TGlmFamily::Poisson; }
};

/// "binomial", "poisson", "gaussian", "Gamma", "inverse.gaussian"; and the
/// links "logit", "probit", "cloglog", "log", "identity", "inverse",
/// "1/mu^2", "sqrt". The parsers throw EEngineError for another name.
VARNEL_API std::string GlmFamilyName(TGlmFamily Family);
VARNEL_API std::string GlmLinkName(TGlmLink Link);
VARNEL_API TGlmFamily GlmFamilyOf(std::string_view Name);
VARNEL_API TGlmLink GlmLinkOf(std::string_view Name);
VARNEL_API TGlmLink CanonicalLink(TGlmFamily Family);
/// The links a family takes (its canonical one first).
VARNEL_API std::vector<TGlmLink> AllowedLinks(TGlmFamily Family);
/// The family with its link; EEngineError when the family does not take it.
VARNEL_API TGlmModel MakeGlmModel(TGlmFamily Family, TGlmLink Link);

/// Where a pass evaluates the model: coefficients (the intercept first when
/// there is one, then one per predictor, 0 for an aliased one), or none for
/// the starting means; Previous, the coefficients of the weights last
/// solved (none: the starting means), for the Pearson statistic.
struct VARNEL_API TGlmStep {
  TGlmModel Model;
  bool Intercept = true;
  std::vector<long double> Coef, Previous;
  double NullMu = std::numeric_limits<double>::quiet_NaN();  ///< the null model's mean; NaN: not yet known
};

/// One pass over rows (K predictors then the response): the weighted
/// co-moments of [x, z] about their weighted means (working weights w, K + 1
/// columns, lower triangle, merged by the pairwise update), the deviance at
/// the step, and the sums the likelihood and the warnings need.
struct VARNEL_API TGlmPass {
  std::size_t P = 0;  ///< K + 1
  std::size_t N = 0;  ///< complete rows
  long double W = 0;  ///< Σw
  std::vector<long double> Mean, Cross;  ///< P weighted means; P × P co-moments, lower triangle
  long double Deviance = 0, NullDeviance = 0, Pearson = 0;
  long double SumY = 0, LogY = 0, LogFactY = 0;  ///< Σy, Σlog y (y > 0), Σlog y!
  long double LogLikY = 0;  ///< Σ of the family's log density at μ, where it needs no dispersion
  long double LogMu = 0, YOverMu = 0;  ///< Σlog μ, Σy/μ (the gamma likelihood)
  std::size_t Invalid = 0;    ///< rows with μ or η outside the link's or family's range
  std::size_t Boundary = 0;   ///< rows whose μ is numerically 0 (or 1 for binomial)
  std::int64_t BadRow = -1;   ///< the first row (global index) whose y is outside the family's domain

  TGlmPass() = default;
  explicit TGlmPass(std::size_t K);
  void Merge(const TGlmPass& Other);
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
  }
};

/// The pass of one batch (K predictors, then the response) at the step.
VARNEL_API TGlmPass GlmPass(const TGlmStep& Step, const TBatch& Batch);

/// A fitted model. Coef and Covariance are over the estimable terms (the
/// intercept first when there is one, then the kept predictors in order);
/// Covariance is unscaled, (X'WX)⁻¹ at the weights last solved.
struct VARNEL_API TGlmFit {
  TGlmModel Model;
  bool Intercept = true;
  std::size_t K = 0, N = 0;
  std::vector<std::size_t> Kept, Aliased;  ///< 0-based predictor indices
  std::vector<long double> Coef, Covariance;
  long double Deviance = 0, NullDeviance = 0, Pearson = 0;
  long double Dispersion = 1;  ///< 1 for binomial and Poisson, else Pearson χ² over df.residual
  long double Aic = 0, LogLik = 0, Bic = 0;
  std::size_t DfResidual = 0, DfNull = 0;
  int Iterations = 0;
  bool Converged = false;
  bool Boundary = false;  ///< the iterations' step was halved at the edge of the valid range
  std::size_t FittedAtEdge = 0;  ///< rows whose fitted mean is numerically 0 (or 1 for binomial)
  /// The coefficients (per predictor, as TGlmStep's) at which the working
  /// weights last solved were formed; empty: the starting means.
  std::vector<long double> WeightCoef;
  std::size_t Rank() const { return Coef.size(); }
  /// The coefficients per predictor, the intercept first, 0 for an aliased one.
  std::vector<long double> FullCoef() const;
};

/// One observation's figures, as R's fitted, residuals, influence,
/// cooks.distance and rstandard give them: μ, the deviance and Pearson
/// residuals, the leverage w·x'(X'WX)⁻¹x at the working weights last
/// solved, Cook's distance from the Pearson residual and the standardised
/// deviance residual.
struct VARNEL_API TGlmObservation {
  double Fitted = 0, Residual = 0, Pearson = 0, Hat = 0, CooksD = 0, StdResid = 0;
};

/// The figures of a complete row (K predictors, then the response).
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
VARNEL_API TGlmFit FitGlm(const TGlmModel& Model, std::size_t K, bool Intercept, const TGlmReduce& Reduce,
                          int MaxIt = 25, long double Epsilon = 1e-8L);

/// A response outside the family's domain; Row is the global 0-based row.
class VARNEL_API EGlmResponseError : public EEngineError {
 public:
  EGlmResponseError(const std::string& What, std::int64_t Row) : EEngineError(What), Row(Row) {}
  std::int64_t Row;
};

}  // namespace varnel::engine
