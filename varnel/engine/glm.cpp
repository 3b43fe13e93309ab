// SPDX-License-Identifier: Apache-2.0
#include "varnel/engine/glm.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>

#include "varnel/dist/distributions.h"
#include "varnel/engine/cholesky.h"
#include "varnel/engine/errors.h"
#include "varnel/engine/least_squares.h"

namespace varnel::engine {
namespace {

constexpr double kEps = std::numeric_limits<double>::epsilon();
// The logit's inverse and derivative saturate beyond ±30, as R's C code does.
constexpr double kLogitEdge = 30;
// The probit's η is clamped where Φ would leave (ε, 1 − ε): −qnorm(ε).
constexpr double kProbitEdge = 8.125890664701906;
// The cauchit's η is clamped where its mean would leave (ε, 1 − ε):
// −qcauchy(ε) = 1/tan(πε).
const double kCauchitEdge = 1 / std::tan(std::numbers::pi * kEps);

// The Cauchy quantile from the nearer tail, where tan keeps its digits.
double CauchyQuantile(double p) {
  if (p == 0.5) return 0;
  return p < 0.5 ? -1 / std::tan(std::numbers::pi * p) : 1 / std::tan(std::numbers::pi * (1 - p));
}

// The Cauchy distribution function; beyond ±1 from atan(1/x), which keeps
// the tail's digits.
double CauchyProbability(double x) {
  if (std::fabs(x) > 1) {
    const double Tail = std::atan(1 / x) / std::numbers::pi;
    return x > 0 ? 1 - Tail : -Tail;
  }
  return 0.5 + std::atan(x) / std::numbers::pi;
}

double XLogXOverMu(double y, double Mu) { return y > 0 ? y * std::log(y / Mu) : 0; }

}  // namespace

double TGlmModel::LinkFun(double Mu) const {
  switch (Link) {
    case TGlmLink::Logit: return std::log(Mu / (1 - Mu));
    case TGlmLink::Probit: return NormalQuantile(Mu, TTail::Lower);
    case TGlmLink::Cloglog: return std::log(-std::log1p(-Mu));
    case TGlmLink::Log: return std::log(Mu);
    case TGlmLink::Identity: return Mu;
    case TGlmLink::Inverse: return 1 / Mu;
    case TGlmLink::InverseSquare: return 1 / (Mu * Mu);
    case TGlmLink::Sqrt: return std::sqrt(Mu);
    case TGlmLink::Cauchit: return CauchyQuantile(Mu);
  }
  return Mu;
}

double TGlmModel::LinkInv(double Eta) const {
  switch (Link) {
    case TGlmLink::Logit: {
      const double e = Eta < -kLogitEdge ? kEps : Eta > kLogitEdge ? 1 / kEps : std::exp(Eta);
      return e / (1 + e);
    }
    case TGlmLink::Probit:
      return NormalProbability(std::clamp(Eta, -kProbitEdge, kProbitEdge), TTail::Lower);
    case TGlmLink::Cloglog: return std::max(std::min(-std::expm1(-std::exp(Eta)), 1 - kEps), kEps);
    case TGlmLink::Log: return std::max(std::exp(Eta), kEps);
    case TGlmLink::Identity: return Eta;
    case TGlmLink::Inverse: return 1 / Eta;
    case TGlmLink::InverseSquare: return 1 / std::sqrt(Eta);
    case TGlmLink::Sqrt: return Eta * Eta;
    case TGlmLink::Cauchit: return CauchyProbability(std::clamp(Eta, -kCauchitEdge, kCauchitEdge));
  }
  return Eta;
}

double TGlmModel::MuEta(double Eta) const {
  switch (Link) {
    case TGlmLink::Logit: {
      if (Eta > kLogitEdge || Eta < -kLogitEdge) return kEps;
      const double e = std::exp(Eta);
      return e / ((1 + e) * (1 + e));
    }
    case TGlmLink::Probit: {
      const double Density = std::exp(-0.5 * Eta * Eta) / std::sqrt(2 * std::numbers::pi);
      return std::max(Density, kEps);
    }
    case TGlmLink::Cloglog: {
      const double e = std::min(Eta, 700.0);
      return std::max(std::exp(e) * std::exp(-std::exp(e)), kEps);
    }
    case TGlmLink::Log: return std::max(std::exp(Eta), kEps);
    case TGlmLink::Identity: return 1;
    case TGlmLink::Inverse: return -1 / (Eta * Eta);
    case TGlmLink::InverseSquare: return -1 / (2 * std::pow(Eta, 1.5));
    case TGlmLink::Sqrt: return 2 * Eta;
    case TGlmLink::Cauchit: return std::max(1 / (std::numbers::pi * (1 + Eta * Eta)), kEps);
  }
  return 1;
}

double TGlmModel::Variance(double Mu) const {
  switch (Family) {
    case TGlmFamily::Binomial: return Mu * (1 - Mu);
    case TGlmFamily::Poisson: return Mu;
    case TGlmFamily::Gaussian: return 1;
    case TGlmFamily::Gamma: return Mu * Mu;
    case TGlmFamily::InverseGaussian: return Mu * Mu * Mu;
  }
  return 1;
}

double TGlmModel::DevResid(double y, double Mu) const {
  switch (Family) {
    case TGlmFamily::Binomial: return 2 * (XLogXOverMu(y, Mu) + XLogXOverMu(1 - y, 1 - Mu));
    case TGlmFamily::Poisson: return y > 0 ? 2 * (y * std::log(y / Mu) - (y - Mu)) : 2 * Mu;
    case TGlmFamily::Gaussian: return (y - Mu) * (y - Mu);
    case TGlmFamily::Gamma: return -2 * (std::log(y == 0 ? 1 : y / Mu) - (y - Mu) / Mu);
    case TGlmFamily::InverseGaussian: return (y - Mu) * (y - Mu) / (y * Mu * Mu);
  }
  return 0;
}

double TGlmModel::Start(double y, double Weight) const {
  switch (Family) {
    case TGlmFamily::Binomial: return (Weight * y + 0.5) / (Weight + 1);
    case TGlmFamily::Poisson: return y + 0.1;
    default: return y;
  }
}

bool TGlmModel::ValidY(double y) const {
  switch (Family) {
    case TGlmFamily::Binomial: return y >= 0 && y <= 1;
    case TGlmFamily::Poisson: return y >= 0 && std::isfinite(y);
    case TGlmFamily::Gamma:
    case TGlmFamily::InverseGaussian: return y > 0 && std::isfinite(y);
    case TGlmFamily::Gaussian: return std::isfinite(y);
  }
  return true;
}

bool TGlmModel::ValidMu(double Mu) const {
  switch (Family) {
    case TGlmFamily::Binomial: return std::isfinite(Mu) && Mu > 0 && Mu < 1;
    case TGlmFamily::Poisson:
    case TGlmFamily::Gamma: return std::isfinite(Mu) && Mu > 0;
    default: return true;
  }
}

bool TGlmModel::ValidEta(double Eta) const {
  switch (Link) {
    case TGlmLink::Inverse: return std::isfinite(Eta) && Eta != 0;
    case TGlmLink::InverseSquare:
    case TGlmLink::Sqrt: return std::isfinite(Eta) && Eta > 0;
    default: return true;
  }
}

namespace {

struct TNamedFamily {
  TGlmFamily Family;
  const char* Name;
  std::vector<TGlmLink> Links;  // the canonical one first
};

const std::vector<TNamedFamily>& Families() {
  using enum TGlmLink;
  static const std::vector<TNamedFamily> All{
      {TGlmFamily::Binomial, "binomial", {Logit, Probit, Cloglog, Cauchit, Log}},
      {TGlmFamily::Poisson, "poisson", {Log, Identity, Sqrt}},
      {TGlmFamily::Gaussian, "gaussian", {Identity, Log, Inverse}},
      {TGlmFamily::Gamma, "Gamma", {Inverse, Identity, Log}},
      {TGlmFamily::InverseGaussian, "inverse.gaussian", {InverseSquare, Inverse, Identity, Log}},
  };
  return All;
}

const char* const kLinkNames[] = {"logit",   "probit", "cloglog", "log", "identity",
                                  "inverse", "1/mu^2", "sqrt",    "cauchit"};

const TNamedFamily& Named(TGlmFamily Family) {
  const auto Is = [Family](const TNamedFamily& F) { return F.Family == Family; };
  return *std::find_if(Families().begin(), Families().end(), Is);
}

}  // namespace

std::string GlmFamilyName(TGlmFamily Family) { return Named(Family).Name; }
std::string GlmLinkName(TGlmLink Link) { return kLinkNames[static_cast<int>(Link)]; }

TGlmFamily GlmFamilyOf(std::string_view Name) {
  for (const TNamedFamily& F : Families()) {
    if (Name == F.Name) return F.Family;
  }
  throw EEngineError("no family " + std::string(Name) + ": binomial, poisson, gaussian, Gamma or inverse.gaussian");
}

TGlmLink GlmLinkOf(std::string_view Name) {
  for (int i = 0; i < static_cast<int>(std::size(kLinkNames)); ++i) {
    if (Name == kLinkNames[i]) return static_cast<TGlmLink>(i);
  }
  throw EEngineError("no link " + std::string(Name));
}

TGlmLink CanonicalLink(TGlmFamily Family) { return Named(Family).Links.front(); }
std::vector<TGlmLink> AllowedLinks(TGlmFamily Family) { return Named(Family).Links; }

TGlmModel MakeGlmModel(TGlmFamily Family, TGlmLink Link) {
  const std::vector<TGlmLink>& Links = Named(Family).Links;
  if (std::find(Links.begin(), Links.end(), Link) == Links.end()) {
    std::string Which;
    for (TGlmLink L : Links) Which += (Which.empty() ? "" : ", ") + GlmLinkName(L);
    throw EEngineError("link \"" + GlmLinkName(Link) + "\" not available for " + GlmFamilyName(Family) +
                       " family; available links are " + Which);
  }
  return {Family, Link};
}

namespace {

// The columns after the predictors: the response and the optional ones.
std::size_t Trailing(TGlmColumns Columns) {
  return 1 + static_cast<std::size_t>(Columns.Offset) + static_cast<std::size_t>(Columns.Weights);
}

// A row taken apart: the predictors, the response, the offset (0 without
// one) and the prior weight (1 without one). A binomial row of weight 0
// has its response taken as 0, as glm's binomial family sets it, so that
// any value there is accepted and none enters a figure.
struct TGlmRow {
  std::span<const double> X;
  double Y = 0, Offset = 0, Weight = 1;
};

TGlmRow RowParts(const TGlmModel& Model, TGlmColumns Columns, std::span<const double> Row) {
  const std::size_t K = Row.size() - Trailing(Columns);
  TGlmRow R{Row.first(K), Row[K]};
  if (Columns.Offset) R.Offset = Row[K + 1];
  if (Columns.Weights) R.Weight = Row.back();
  if (Model.Family == TGlmFamily::Binomial && R.Weight == 0) R.Y = 0;
  return R;
}

// η of a row at coefficients (the intercept first when there is one), with
// the offset, summed in extended precision.
double EtaOf(const TGlmStep& Step, const std::vector<long double>& Coef, const TGlmRow& Row) {
  const std::size_t First = Step.Intercept ? 1 : 0;
  long double Eta = Step.Intercept ? Coef[0] : 0;
  for (std::size_t j = 0; j < Row.X.size(); ++j) Eta += Coef[First + j] * Row.X[j];
  if (Step.Columns.Offset) Eta += Row.Offset;
  return static_cast<double>(Eta);
}

// η at the start (g of the starting mean, without the offset, as glm.fit
// starts) or at coefficients.
double EtaAt(const TGlmStep& Step, const std::vector<long double>& Coef, const TGlmRow& Row) {
  if (Coef.empty()) return Step.Model.LinkFun(Step.Model.Start(Row.Y, Row.Weight));
  return EtaOf(Step, Coef, Row);
}

// log of the binomial probability of x successes in n trials (whole
// numbers, x ≤ n).
long double BinomialLogDensity(double x, double n, double Mu) {
  long double Log = std::lgamma(n + 1.0L) - std::lgamma(x + 1.0L) - std::lgamma(n - x + 1.0L);
  if (x > 0) Log += x * std::log(static_cast<long double>(Mu));
  if (n > x) Log += (n - x) * std::log1p(-static_cast<long double>(Mu));
  return Log;
}

// A fitted mean numerically at the edge of the family's range, as glm.fit
// warns of it: within 10ε of 0 (or of 1 for binomial).
bool AtEdge(const TGlmModel& Model, double Mu) {
  constexpr double Edge = 10 * kEps;
  if (Model.Family == TGlmFamily::Binomial) return Mu < Edge || Mu > 1 - Edge;
  return Model.Family == TGlmFamily::Poisson && Mu < Edge;
}

// μ and dμ/dη at η; the logit's from one exponential, as its two functions
// would give them.
void MeanAndSlope(const TGlmModel& Model, double Eta, double& Mu, double& Slope) {
  if (Model.Link != TGlmLink::Logit || Eta > kLogitEdge || Eta < -kLogitEdge) {
    Mu = Model.LinkInv(Eta);
    Slope = Model.MuEta(Eta);
    return;
  }
  const double e = std::exp(Eta);
  Mu = e / (1 + e);
  Slope = e / ((1 + e) * (1 + e));
}

// The likelihood's sums at μ of a row of positive prior weight w (the
// dispersion-free families' log density without its constant; the gamma's
// Σlog μ and Σy/μ), each weighted as R's family's aic weights it. Dev is
// the row's unit deviance.
void AddLikelihood(const TGlmModel& Model, double y, double w, double Mu, double Dev, TGlmPass& Pass) {
  switch (Model.Family) {
    case TGlmFamily::Binomial:
      // R rounds the successes w·y and the trials w to whole numbers, half
      // to even; a 0 or 1 of one trial has the log density −dev/2.
      if (w != 1) Pass.LogLikY += BinomialLogDensity(std::nearbyint(w * y), std::nearbyint(w), Mu);
      else if (y == 0 || y == 1) Pass.LogLikY -= Dev / 2;
      else Pass.LogLikY += std::nearbyint(y) == 1 ? std::log(Mu) : std::log1p(-Mu);
      break;
    case TGlmFamily::Poisson: Pass.LogLikY += w * ((y > 0 ? y * std::log(Mu) : 0) - Mu); break;
    case TGlmFamily::Gamma:
      Pass.LogMu += w * std::log(Mu);
      Pass.YOverMu += w * (static_cast<long double>(y) / Mu);
      break;
    default: break;
  }
}

// The weighted co-moments of the rows kept, about their weighted means: a
// second sweep over the batch, so that the centring is exact. The centred
// columns are held in double (a deviation keeps its relative digits), and
// each product sums in extended precision in registers, two accumulators
// apart so that the additions overlap.
void AddMoments(const TBatch& Batch, const std::vector<std::size_t>& Rows, const std::vector<double>& W,
                const std::vector<double>& Z, TGlmPass& Pass) {
  const std::size_t P = Pass.P, K = P - 1, n = Rows.size();
  // The kept rows' columns, gathered once; z last.
  std::vector<std::vector<double>> D(P, std::vector<double>(n)), WD(P, std::vector<double>(n));
  for (std::size_t j = 0; j < K; ++j) {
    for (std::size_t r = 0; r < n; ++r) D[j][r] = Batch.Columns[j][Rows[r]];
  }
  D[K] = Z;
  long double Total = 0;
  for (std::size_t r = 0; r < n; ++r) Total += W[r];
  Pass.W = Total;
  if (Pass.W <= 0) return;
  for (std::size_t j = 0; j < P; ++j) {
    long double Sum = 0;
    for (std::size_t r = 0; r < n; ++r) Sum += W[r] * static_cast<long double>(D[j][r]);
    Pass.Mean[j] = Sum / Pass.W;
    for (std::size_t r = 0; r < n; ++r) {
      D[j][r] = static_cast<double>(D[j][r] - Pass.Mean[j]);
      WD[j][r] = W[r] * D[j][r];
    }
  }
  for (std::size_t j = 0; j < P; ++j) {
    for (std::size_t k = 0; k <= j; ++k) {
      long double Even = 0, Odd = 0;
      std::size_t r = 0;
      for (; r + 1 < n; r += 2) {
        Even += static_cast<long double>(WD[j][r]) * D[k][r];
        Odd += static_cast<long double>(WD[j][r + 1]) * D[k][r + 1];
      }
      if (r < n) Even += static_cast<long double>(WD[j][r]) * D[k][r];
      Pass.Cross[j * P + k] = Even + Odd;
    }
  }
}

}  // namespace

TGlmPass::TGlmPass(std::size_t K) : P(K + 1), Mean(K + 1), Cross((K + 1) * (K + 1)) {}

void TGlmPass::Merge(const TGlmPass& Other) {
  if (Other.P != P) throw EEngineError("GLM passes of different widths cannot be merged");
  const long double Total = W + Other.W;
  if (Other.W > 0 && W > 0) {
    std::vector<long double> d(P);
    for (std::size_t j = 0; j < P; ++j) d[j] = Other.Mean[j] - Mean[j];
    const long double f = W * Other.W / Total;
    for (std::size_t j = 0; j < P; ++j) {
      for (std::size_t k = 0; k <= j; ++k) Cross[j * P + k] += Other.Cross[j * P + k] + f * d[j] * d[k];
      Mean[j] += d[j] * (Other.W / Total);
    }
  } else if (Other.W > 0) {
    Mean = Other.Mean;
    Cross = Other.Cross;
  }
  W = Total;
  N += Other.N;
  Deviance += Other.Deviance;
  NullDeviance += Other.NullDeviance;
  Pearson += Other.Pearson;
  SumY += Other.SumY;
  LogY += Other.LogY;
  LogFactY += Other.LogFactY;
  LogLikY += Other.LogLikY;
  LogMu += Other.LogMu;
  YOverMu += Other.YOverMu;
  Invalid += Other.Invalid;
  Boundary += Other.Boundary;
  if (BadRow < 0 || (Other.BadRow >= 0 && Other.BadRow < BadRow)) BadRow = Other.BadRow;
  PriorW += Other.PriorW;
  LogPriorW += Other.LogPriorW;
  ZeroWeight += Other.ZeroWeight;
  NonIntegerSuccesses += Other.NonIntegerSuccesses;
  if (BadWeightRow < 0 || (Other.BadWeightRow >= 0 && Other.BadWeightRow < BadWeightRow))
    BadWeightRow = Other.BadWeightRow;
  OffsetLow = std::min(OffsetLow, Other.OffsetLow);
  OffsetHigh = std::max(OffsetHigh, Other.OffsetHigh);
}

TGlmPass GlmPass(const TGlmStep& Step, const TBatch& Batch) {
  Batch.Check();
  const std::size_t Trail = Trailing(Step.Columns);
  if (Batch.Cols() < Trail) throw EEngineError("a GLM pass needs the response column and the optional columns");
  const TGlmModel& M = Step.Model;
  // The null model's pass solves for the constant alone: its co-moments are
  // of z only.
  TGlmPass Pass(Step.NullModel ? 0 : Batch.Cols() - Trail);
  std::vector<double> Row(Batch.Cols()), W, Z;
  std::vector<std::size_t> Rows;
  const bool Start = Step.Coef.empty(), NeedPearson = !M.FixedDispersion() && !Step.NullModel;
  for (std::size_t i = 0; i < Batch.Rows(); ++i) {
    if (!CompleteRow(Batch, i, Row)) continue;
    const TGlmRow R = RowParts(M, Step.Columns, Row);
    const double y = R.Y, w = R.Weight;
    const auto Global = static_cast<std::int64_t>(Batch.FirstRow + i);
    if (!(w >= 0 && std::isfinite(w))) {
      if (Pass.BadWeightRow < 0) Pass.BadWeightRow = Global;
      continue;
    }
    if (!M.ValidY(y)) {
      if (Pass.BadRow < 0) Pass.BadRow = Global;
      continue;
    }
    ++Pass.N;
    Pass.PriorW += w;
    Pass.SumY += w * y;
    if (w == 0) ++Pass.ZeroWeight;
    if (Step.Columns.Offset) {
      Pass.OffsetLow = std::min(Pass.OffsetLow, R.Offset);
      Pass.OffsetHigh = std::max(Pass.OffsetHigh, R.Offset);
    }
    if (Start) {
      if (y > 0) Pass.LogY += w * std::log(y);
      if (M.Family == TGlmFamily::Poisson) Pass.LogFactY += w * std::lgamma(y + 1);
      if (w > 0) Pass.LogPriorW += std::log(w);
      if (M.Family == TGlmFamily::Binomial && std::fabs(w * y - std::nearbyint(w * y)) > 1e-3)
        ++Pass.NonIntegerSuccesses;
    }
    const double Eta = EtaAt(Step, Step.Coef, R);
    double Mu = 0, Slope = 0;
    MeanAndSlope(M, Eta, Mu, Slope);
    // The range checks take every row, as glm.fit's do; a row of weight 0
    // adds nothing else (not even a NaN of 0·∞).
    if (!(M.ValidMu(Mu) && M.ValidEta(Eta) && std::isfinite(Eta))) ++Pass.Invalid;
    Pass.Boundary += AtEdge(M, Mu);
    if (w == 0) continue;
    const double Dev = M.DevResid(y, Mu);
    Pass.Deviance += w * Dev;
    if (!std::isnan(Step.NullMu)) {
      const double NullMu = Step.Intercept ? Step.NullMu : M.LinkInv(R.Offset);
      Pass.NullDeviance += w * M.DevResid(y, NullMu);
    }
    AddLikelihood(M, y, w, Mu, Dev, Pass);
    if (NeedPearson) {
      const double Before = Start ? Eta : EtaAt(Step, Step.Previous, R);
      const double SlopeBefore = Start ? Slope : M.MuEta(Before);
      const double WBefore = w * (SlopeBefore * SlopeBefore) / M.Variance(M.LinkInv(Before));
      Pass.Pearson += WBefore * ((y - Mu) / Slope) * ((y - Mu) / Slope);
    }
    // glm.fit leaves out of the solve a row whose dμ/dη is 0.
    if (Slope == 0) continue;
    Rows.push_back(i);
    W.push_back(w * (Slope * Slope) / M.Variance(Mu));
    Z.push_back((Eta - R.Offset) + (y - Mu) / Slope);
  }
  AddMoments(Batch, Rows, W, Z, Pass);
  return Pass;
}

std::vector<long double> TGlmFit::FullCoef() const {
  const std::size_t First = Intercept ? 1 : 0;
  std::vector<long double> Full(First + K);
  if (Intercept) Full[0] = Coef[0];
  for (std::size_t l = 0; l < Kept.size(); ++l) Full[First + Kept[l]] = Coef[First + l];
  return Full;
}

namespace {

// The weighted least-squares solve of a pass: the coefficients and the
// unscaled covariance of the estimable terms, predictors aliased as lm
// aliases them (on the weighted cross products).
struct TGlmSolve {
  std::vector<std::size_t> Kept, Aliased;
  std::vector<long double> Coef, Covariance;
};

// Row-and-column selection of the kept predictors' cross products (with the
// intercept: about the weighted means; without: about zero) and their
// products with z.
long double CrossAt(const TGlmPass& Pass, bool Intercept, std::size_t j, std::size_t k) {
  const std::size_t P = Pass.P;
  const long double C = j >= k ? Pass.Cross[j * P + k] : Pass.Cross[k * P + j];
  return Intercept ? C : C + Pass.W * Pass.Mean[j] * Pass.Mean[k];
}

TGlmSolve SolvePass(const TGlmPass& Pass, bool Intercept) {
  const std::size_t K = Pass.P - 1;
  if (!(Pass.W > 0)) throw EEngineError("no row has a positive working weight");
  TGlmSolve S;
  std::vector<long double> Full(K * K);  // the factor by predictor row, column by position among the kept
  for (std::size_t j = 0; j < K; ++j) {
    long double Pivot = CrossAt(Pass, Intercept, j, j);
    for (std::size_t l = 0; l < S.Kept.size(); ++l) {
      long double s = CrossAt(Pass, Intercept, j, S.Kept[l]);
      for (std::size_t m = 0; m < l; ++m) s -= Full[j * K + m] * Full[S.Kept[l] * K + m];
      Full[j * K + l] = s / Full[S.Kept[l] * K + l];
      Pivot -= Full[j * K + l] * Full[j * K + l];
    }
    long double Norm = Pass.Cross[j * Pass.P + j] + Pass.W * Pass.Mean[j] * Pass.Mean[j];
    if (Norm == 0) Norm = 1;
    if (!(Pivot >= kAliasTolerance * Norm)) {
      S.Aliased.push_back(j);
    } else {
      Full[j * K + S.Kept.size()] = std::sqrt(Pivot);
      S.Kept.push_back(j);
    }
  }
  const std::size_t q = S.Kept.size();
  std::vector<long double> L(q * q);
  for (std::size_t i = 0; i < q; ++i) {
    for (std::size_t l = 0; l <= i; ++l) L[i * q + l] = Full[S.Kept[i] * K + l];
  }
  const std::vector<long double> Inv = q ? InverseFromCholesky(L, q) : std::vector<long double>{};
  std::vector<long double> Beta(q);
  for (std::size_t i = 0; i < q; ++i) {
    for (std::size_t l = 0; l < q; ++l) Beta[i] += Inv[i * q + l] * CrossAt(Pass, Intercept, S.Kept[l], K);
  }
  if (!Intercept) {
    S.Coef = Beta;
    S.Covariance = Inv;
    return S;
  }
  // With the constant: β₀ = z̄ − x̄'β, and the inverse of [1 X]'W[1 X] from
  // the centred one, [[1/W + x̄'A x̄, −(A x̄)'], [−A x̄, A]].
  std::vector<long double> Ax(q);
  long double Beta0 = Pass.Mean[K], xAx = 0;
  for (std::size_t i = 0; i < q; ++i) {
    Beta0 -= Pass.Mean[S.Kept[i]] * Beta[i];
    for (std::size_t l = 0; l < q; ++l) Ax[i] += Inv[i * q + l] * Pass.Mean[S.Kept[l]];
    xAx += Pass.Mean[S.Kept[i]] * Ax[i];
  }
  const std::size_t r = q + 1;
  S.Coef.assign(1, Beta0);
  S.Coef.insert(S.Coef.end(), Beta.begin(), Beta.end());
  S.Covariance.assign(r * r, 0);
  S.Covariance[0] = 1 / Pass.W + xAx;
  for (std::size_t i = 0; i < q; ++i) {
    S.Covariance[(i + 1) * r] = S.Covariance[i + 1] = -Ax[i];
    for (std::size_t l = 0; l < q; ++l) S.Covariance[(i + 1) * r + l + 1] = Inv[i * q + l];
  }
  return S;
}

// The coefficients per predictor (0 for an aliased one), the intercept first.
std::vector<long double> Expand(const TGlmSolve& S, std::size_t K, bool Intercept) {
  const std::size_t First = Intercept ? 1 : 0;
  std::vector<long double> Full(First + K);
  if (Intercept) Full[0] = S.Coef[0];
  for (std::size_t l = 0; l < S.Kept.size(); ++l) Full[First + S.Kept[l]] = S.Coef[First + l];
  return Full;
}

bool Usable(const TGlmPass& Pass) { return std::isfinite(static_cast<double>(Pass.Deviance)) && Pass.Invalid == 0; }

// R's step halving: towards the last coefficients until the deviance is
// finite and the means valid.
TGlmPass Halve(TGlmStep& Step, const std::vector<long double>& Old, const TGlmReduce& Reduce, TGlmPass Pass,
               int MaxIt) {
  if (Old.empty()) throw EEngineError("no valid set of coefficients has been found: please supply starting values");
  for (int Tries = 0; !Usable(Pass); ++Tries) {
    if (Tries >= MaxIt) throw EEngineError("inner loop; cannot correct step size");
    for (std::size_t j = 0; j < Old.size(); ++j) Step.Coef[j] = (Step.Coef[j] + Old[j]) / 2;
    Pass = Reduce(Step);
  }
  return Pass;
}

// The deviance, likelihood and dispersion of the fit from its last pass.
// BIC's n counts every complete row, as R's logLik does; the gaussian
// likelihood's n is the rows of positive weight (R's gaussian aic counts
// the rows of weight 0 too, with their log 0, and is then infinite), and the
// gamma's and inverse gaussian's the sum of the weights, as their aic
// functions have it.
void Summarise(TGlmFit& Fit, const TGlmPass& Last, const TGlmPass& Start) {
  const long double n = static_cast<long double>(Fit.N), Dev = Last.Deviance;
  const long double Used = static_cast<long double>(Fit.N - Fit.ZeroWeight), SumW = Last.PriorW;
  const long double TwoPi = 2 * std::numbers::pi_v<long double>;
  long double AicTerm = 0;
  switch (Fit.Model.Family) {
    case TGlmFamily::Binomial: AicTerm = -2 * Last.LogLikY; break;
    case TGlmFamily::Poisson: AicTerm = -2 * (Last.LogLikY - Start.LogFactY); break;
    case TGlmFamily::Gaussian:
      AicTerm = Used * (std::log(Dev / Used * TwoPi) + 1) + 2 - Start.LogPriorW;
      break;
    case TGlmFamily::Gamma: {
      const long double Disp = Dev / SumW, Shape = 1 / Disp;
      const long double LogLik = (Shape - 1) * Start.LogY - Last.YOverMu / Disp - SumW * std::lgamma(Shape) -
                                 Shape * (Last.LogMu + SumW * std::log(Disp));
      AicTerm = -2 * LogLik + 2;
      break;
    }
    case TGlmFamily::InverseGaussian:
      AicTerm = SumW * (1 + std::log(Dev / SumW * TwoPi)) + 3 * Start.LogY + 2;
      break;
  }
  const long double Rank = static_cast<long double>(Fit.Rank());
  const long double Df = Rank + (Fit.Model.FixedDispersion() ? 0 : 1);
  Fit.Aic = AicTerm + 2 * Rank;
  Fit.LogLik = Df - Fit.Aic / 2;
  Fit.Bic = -2 * Fit.LogLik + std::log(n) * Df;
  Fit.Pearson = Last.Pearson;
  if (Fit.Model.FixedDispersion()) Fit.Dispersion = 1;
  else if (Fit.DfResidual > 0) Fit.Dispersion = Last.Pearson / Fit.DfResidual;
  else Fit.Dispersion = std::numeric_limits<long double>::quiet_NaN();
}

}  // namespace

namespace {

// Where the iterations stopped: the last solve, the pass at its
// coefficients, and what glm.fit reports of them.
struct TIrls {
  TGlmSolve S;
  TGlmPass Pass;
  int Iterations = 0;
  bool Converged = false, Boundary = false;
  long double NullDeviance = 0;  // of the first pass after the start, when the step asked for it
};

// glm.fit's loop from the pass at the step's coefficients (none: the
// starting means) and the deviance there: at most MaxIt solves, each
// followed by a pass at its coefficients, halved towards the last ones
// while unusable. K is the predictors of the rows (a pass of the null
// model solves for the constant alone and leaves them at 0).
TIrls Iterate(TGlmStep& Step, std::size_t K, TGlmPass Solved, long double DevOld, const TGlmReduce& Reduce, int MaxIt,
              long double Epsilon) {
  TIrls It;
  std::vector<long double> Old;
  for (int Iter = 1; Iter <= MaxIt; ++Iter) {
    It.S = SolvePass(Solved, Step.Intercept);
    Step.Previous = Step.Coef;
    Step.Coef = Expand(It.S, K, Step.Intercept);
    It.Pass = Reduce(Step);
    It.Iterations = Iter;
    if (!Usable(It.Pass)) {
      It.Pass = Halve(Step, Old, Reduce, std::move(It.Pass), MaxIt);
      It.Boundary = true;
    }
    // The null deviance needs one pass: the first after the start.
    if (Iter == 1 && !std::isnan(Step.NullMu)) {
      It.NullDeviance = It.Pass.NullDeviance;
      Step.NullMu = std::numeric_limits<double>::quiet_NaN();
    }
    const long double Dev = It.Pass.Deviance;
    if (std::fabs(Dev - DevOld) / (std::fabs(Dev) + 0.1L) < Epsilon) {
      It.Converged = true;
      break;
    }
    DevOld = Dev;
    Old = Step.Coef;
    Solved = It.Pass;
  }
  return It;
}

}  // namespace

TGlmFit FitGlm(const TGlmModel& Model, std::size_t K, bool Intercept, const TGlmReduce& Reduce, int MaxIt,
               long double Epsilon, TGlmColumns Columns) {
  if (MaxIt < 1 || !(Epsilon > 0)) throw EEngineError("a GLM fit needs an iteration and a positive tolerance");
  TGlmStep Step{Model, Intercept, {}, {}, std::numeric_limits<double>::quiet_NaN(), Columns, false};
  const TGlmPass Start = Reduce(Step);
  if (Start.BadWeightRow >= 0)
    throw EEngineError("negative or infinite prior weight in data row " + std::to_string(Start.BadWeightRow + 1));
  if (Start.BadRow >= 0) throw EGlmResponseError("the response is outside the " + GlmFamilyName(Model.Family) +
                                                 " family's domain", Start.BadRow);
  if (Start.N == 0) throw EEngineError("no complete row to fit");
  if (Start.Invalid > 0) throw EEngineError("cannot find valid starting values: please specify some");
  // With an intercept and a constant offset the null model's mean is the
  // weighted mean of y, whatever the offset; an offset that varies needs a
  // fit of its own, after the model's.
  const bool NullFit = Intercept && Columns.Offset && Start.OffsetLow != Start.OffsetHigh;
  if (!NullFit) Step.NullMu = Intercept ? static_cast<double>(Start.SumY / Start.PriorW) : Model.LinkInv(0);
  const TIrls It = Iterate(Step, K, Start, Start.Deviance, Reduce, MaxIt, Epsilon);
  const TGlmPass& Pass = It.Pass;
  TGlmFit Fit;
  Fit.Model = Model;
  Fit.Intercept = Intercept;
  Fit.Columns = Columns;
  Fit.K = K;
  Fit.N = Pass.N;
  Fit.ZeroWeight = Pass.ZeroWeight;
  Fit.NonIntegerSuccesses = Start.NonIntegerSuccesses;
  Fit.Iterations = It.Iterations;
  Fit.Converged = It.Converged;
  Fit.Boundary = It.Boundary;
  Fit.Kept = It.S.Kept;
  Fit.Aliased = It.S.Aliased;
  const std::size_t First = Intercept ? 1 : 0;
  Fit.Coef.assign(Step.Coef.begin(), Step.Coef.begin() + First);
  for (std::size_t j : It.S.Kept) Fit.Coef.push_back(Step.Coef[First + j]);
  Fit.Covariance = It.S.Covariance;
  Fit.WeightCoef = Step.Previous;
  Fit.Deviance = Pass.Deviance;
  Fit.NullDeviance = It.NullDeviance;
  if (NullFit) {
    // The constant with the offset, started from the model's fitted means
    // (its coefficients) and their deviance.
    TGlmStep Null{Model, true, Step.Coef, {}, std::numeric_limits<double>::quiet_NaN(), Columns, true};
    const TGlmPass AtFit = Reduce(Null);
    const TIrls NullIt = Iterate(Null, K, AtFit, AtFit.Deviance, Reduce, MaxIt, Epsilon);
    Fit.NullDeviance = NullIt.Pass.Deviance;
    Fit.NullConverged = NullIt.Converged;
  }
  const std::size_t Used = Fit.N - Fit.ZeroWeight;
  Fit.DfResidual = Used > Fit.Rank() ? Used - Fit.Rank() : 0;
  Fit.DfNull = Used > First ? Used - First : 0;
  Fit.FittedAtEdge = Pass.Boundary;
  Summarise(Fit, Pass, Start);
  return Fit;
}

TGlmObservation GlmObservation(const TGlmFit& Fit, std::span<const double> Row) {
  const TGlmModel& M = Fit.Model;
  if (Row.size() != Fit.K + Trailing(Fit.Columns)) throw EEngineError("a GLM row of the wrong width");
  const TGlmStep Step{M, Fit.Intercept, {}, {}, std::numeric_limits<double>::quiet_NaN(), Fit.Columns, false};
  const TGlmRow R = RowParts(M, Fit.Columns, Row);
  const double y = R.Y, w = R.Weight, Eta = EtaOf(Step, Fit.FullCoef(), R), Mu = M.LinkInv(Eta);
  const double Before = EtaAt(Step, Fit.WeightCoef, R), Slope = M.MuEta(Before);
  const double W = w * (Slope * Slope) / M.Variance(M.LinkInv(Before));
  // The kept terms of the row: the constant first.
  std::vector<long double> x;
  if (Fit.Intercept) x.push_back(1);
  for (std::size_t j : Fit.Kept) x.push_back(R.X[j]);
  const std::size_t r = Fit.Rank();
  long double Quadratic = 0;
  for (std::size_t a = 0; a < r; ++a) {
    for (std::size_t b = 0; b < r; ++b) Quadratic += x[a] * Fit.Covariance[a * r + b] * x[b];
  }
  TGlmObservation O;
  O.Fitted = Mu;
  const double Dev = w == 0 ? 0 : w * M.DevResid(y, Mu);
  O.Residual = std::copysign(std::sqrt(std::max(Dev, 0.0)), y - Mu);
  O.Pearson = (y - Mu) * std::sqrt(w) / std::sqrt(M.Variance(Mu));
  if (w == 0) {
    // R's influence measures leave out a row of weight 0.
    O.Hat = O.CooksD = O.StdResid = std::numeric_limits<double>::quiet_NaN();
    return O;
  }
  O.Hat = static_cast<double>(W * Quadratic);
  const double Dispersion = static_cast<double>(Fit.Dispersion), Room = 1 - O.Hat;
  O.CooksD = (O.Pearson / Room) * (O.Pearson / Room) * O.Hat / (Dispersion * static_cast<double>(r));
  O.StdResid = O.Residual / std::sqrt(Dispersion * Room);
  if (std::isinf(O.CooksD)) O.CooksD = std::numeric_limits<double>::quiet_NaN();
  if (std::isinf(O.StdResid)) O.StdResid = std::numeric_limits<double>::quiet_NaN();
  return O;
}

}  // namespace varnel::engine
