// SPDX-License-Identifier: Apache-2.0
#include "robust_errors.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include <varnel/dist/distributions.h>

#include "csv_table.h"

namespace varnel::cli {
namespace {

// The slopes' block of (X'X)⁻¹ equals the inverse of the centred products:
// in the centred terms (X'X)⁻¹ is diag(1/n, that block); weighted, X'WX's
// with 1/Σw.
long double Bread(const engine::TFit& Fit, std::size_t a, std::size_t b) {
  const std::size_t m = Fit.Coef.size();
  if (!Fit.Intercept) return Fit.XtXInv[a * m + b];
  if (a == 0 || b == 0) return a == b ? 1.0L / (Fit.Weighted ? Fit.WeightSum : static_cast<long double>(Fit.N)) : 0.0L;
  return Fit.XtXInv[a * m + b];
}

long double Weight(TRobustKind Kind, long double Residual, long double Hat, long double n, long double p) {
  const long double Square = Residual * Residual;
  switch (Kind) {
    case TRobustKind::HC2: return Square / (1 - Hat);
    case TRobustKind::HC3: return Square / ((1 - Hat) * (1 - Hat));
    case TRobustKind::HC4: return Square / std::pow(1 - Hat, std::min(4.0L, n * Hat / p));
    default: return Square;
  }
}

}  // namespace

void CentredRow(const engine::TFit& Fit, std::span<const double> Row, std::vector<long double>& Z) {
  std::size_t s = 0;
  if (Fit.Intercept) Z[s++] = 1;
  for (std::size_t k : Fit.Kept) Z[s++] = Fit.Design(Row, k);
}

TRobustKind RobustKindOf(const std::string& Name) {
  static const std::pair<const char*, TRobustKind> Kinds[] = {{"const", TRobustKind::None}, {"HC0", TRobustKind::HC0},
                                                              {"HC1", TRobustKind::HC1},    {"HC2", TRobustKind::HC2},
                                                              {"HC3", TRobustKind::HC3},    {"HC4", TRobustKind::HC4}};
  for (const auto& [Text, Kind] : Kinds) {
    if (Name == Text) return Kind;
  }
  throw TInputError("--vcov is const, HC0, HC1, HC2, HC3 or HC4, not \"" + Name + "\"");
}

std::string RobustKindName(TRobustKind Kind) {
  static const char* const Names[] = {"const", "HC0", "HC1", "HC2", "HC3", "HC4"};
  return Names[static_cast<int>(Kind)];
}

void TMeat::Merge(const TMeat& Other) {
  ZeroWeights += Other.ZeroWeights;
  if (Other.Sum.empty()) return;
  if (Sum.empty()) {
    const std::size_t Zeros = ZeroWeights;
    *this = Other;
    ZeroWeights = Zeros;
    return;
  }
  for (std::size_t i = 0; i < Sum.size(); ++i) Sum[i] += Other.Sum[i];
}

TMeat MeatOf(const engine::TFit& Fit, TRobustKind Kind, const engine::TBatch& Batch) {
  const std::size_t m = Fit.Coef.size();
  TMeat Meat{m, std::vector<long double>(m * m, 0), 0};
  std::vector<double> Row(Batch.Cols());
  std::vector<long double> Z(m);
  const auto n = static_cast<long double>(Fit.N), p = static_cast<long double>(m);
  for (std::size_t i = 0; i < Batch.Rows(); ++i) {
    if (!engine::CompleteRow(Batch, i, Row)) continue;
    CentredRow(Fit, Row, Z);
    long double Hat = 0;
    for (std::size_t a = 0; a < m; ++a) {
      for (std::size_t b = 0; b < m; ++b) Hat += Z[a] * Bread(Fit, a, b) * Z[b];
    }
    long double Residual = Fit.Residual(Row);
    if (Fit.Weighted) {  // the score w·e·x, the hat value w·x'(X'WX)⁻¹x
      const long double v = Row[Fit.K + 1];
      Meat.ZeroWeights += v == 0;
      Residual *= v;
      Hat *= v;
    }
    const long double w = Weight(Kind, Residual, Hat, n, p);
    for (std::size_t a = 0; a < m; ++a) {
      for (std::size_t b = 0; b <= a; ++b) Meat.Sum[a * m + b] += w * Z[a] * Z[b];
    }
  }
  for (std::size_t a = 0; a < m; ++a) {
    for (std::size_t b = a + 1; b < m; ++b) Meat.Sum[a * m + b] = Meat.Sum[b * m + a];
  }
  return Meat;
}

std::vector<long double> RobustStdErrors(const engine::TFit& Fit, TRobustKind Kind, const TMeat& Meat) {
  const long double Scale =
      Kind == TRobustKind::HC1 ? static_cast<long double>(Fit.N) / static_cast<long double>(Fit.DfResidual) : 1.0L;
  return SandwichStdErrors(Fit, Scale, Meat);
}

std::vector<long double> SandwichStdErrors(const engine::TFit& Fit, long double Scale, const TMeat& Meat) {
  const std::size_t m = Fit.Coef.size();
  if (Meat.M != m) throw std::logic_error("the meat of another fit");
  // V = B M B in the centred terms.
  std::vector<long double> BM(m * m, 0), V(m * m, 0);
  for (std::size_t a = 0; a < m; ++a) {
    for (std::size_t b = 0; b < m; ++b) {
      for (std::size_t c = 0; c < m; ++c) BM[a * m + b] += Bread(Fit, a, c) * Meat.Sum[c * m + b];
    }
  }
  for (std::size_t a = 0; a < m; ++a) {
    for (std::size_t b = 0; b < m; ++b) {
      for (std::size_t c = 0; c < m; ++c) V[a * m + b] += BM[a * m + c] * Bread(Fit, c, b);
    }
  }
  std::vector<long double> StdErr(m);
  for (std::size_t a = 0; a < m; ++a) StdErr[a] = std::sqrt(Scale * V[a * m + a]);
  if (Fit.Intercept) {
    // The constant of the data's own terms is the centred one less the
    // slopes at the means: Var(b0) = V00 − 2 x̄'V_s0 + x̄'V_ss x̄.
    std::vector<long double> Mean(m, 0);
    for (std::size_t s = 1; s < m; ++s) {
      const std::size_t k = Fit.Kept[s - 1];
      Mean[s] = Fit.Shift[k] + Fit.MeanAboutShift[k];
    }
    long double Var = V[0];
    for (std::size_t s = 1; s < m; ++s) {
      Var -= 2 * Mean[s] * V[s * m];
      for (std::size_t t = 1; t < m; ++t) Var += Mean[s] * V[s * m + t] * Mean[t];
    }
    StdErr[0] = std::sqrt(Scale * Var);
  }
  return StdErr;
}

engine::TInference WithRobustErrors(const engine::TInference& Inference, const engine::TFit& Fit,
                                    const std::vector<long double>& StdErr) {
  engine::TInference Robust = Inference;
  Robust.StdErr = StdErr;
  const auto df = static_cast<double>(Fit.DfResidual);
  for (std::size_t j = 0; j < StdErr.size(); ++j) {
    Robust.T[j] = Fit.Coef[j] / StdErr[j];
    Robust.P[j] = 2 * StudentTProbability(static_cast<double>(std::fabs(Robust.T[j])), df, TTail::Upper);
  }
  return Robust;
}

}  // namespace varnel::cli
