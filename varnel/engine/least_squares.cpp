// SPDX-License-Identifier: Apache-2.0
#include "varnel/engine/least_squares.h"

#include <algorithm>
#include <cmath>

#include "varnel/core/checked.h"
#include "varnel/engine/cholesky.h"
#include "varnel/engine/errors.h"

namespace varnel::engine {
namespace {

using TMatrix = std::vector<long double>;  // square, row-major

// The cross products the normal equations are formed from: centred with an
// intercept (the constant's own equation then drops out), about zero without.
TMatrix CrossProducts(const TMoments& State, bool Intercept) {
  const std::size_t p = State.P();
  const long double n = State.WeightSum();
  TMatrix A(p * p);
  for (std::size_t j = 0; j < p; ++j) {
    for (std::size_t k = 0; k <= j; ++k) {
      const long double Uncentring = Intercept ? 0 : n * State.Mean(j) * State.Mean(k);
      A[j * p + k] = A[k * p + j] = Finite(State.CoMoment(j, k) + Uncentring);
    }
  }
  return A;
}

// Cholesky factor of the predictors' block, taken in column order; a
// column whose pivot (its squared residual on the kept columns before it)
// falls below Tolerance of its squared norm about zero is aliased and
// takes no part in the later pivots. L is over the kept columns only.
struct TFactor {
  std::vector<std::size_t> Kept, Aliased;
  TMatrix L;  // Kept.size() squared, lower triangular
};

TFactor Factor(const TMatrix& A, const TMoments& State, long double Tolerance) {
  const std::size_t p = State.P(), K = p - 1;
  TMatrix Full(K * K);  // rows by predictor, columns by position among the kept
  TFactor F;
  for (std::size_t j = 0; j < K; ++j) {
    long double Pivot = A[j * p + j];
    for (std::size_t l = 0; l < F.Kept.size(); ++l) {
      long double s = A[j * p + F.Kept[l]];
      for (std::size_t m = 0; m < l; ++m) s -= Full[j * K + m] * Full[F.Kept[l] * K + m];
      Full[j * K + l] = s / Full[F.Kept[l] * K + l];
      Pivot -= Full[j * K + l] * Full[j * K + l];
    }
    const long double Mean = State.Mean(j);
    long double Norm = State.CoMoment(j, j) + State.WeightSum() * Mean * Mean;
    if (Norm == 0) Norm = 1;
    if (Finite(Pivot) < Tolerance * Norm) {
      F.Aliased.push_back(j);
    } else {
      Full[j * K + F.Kept.size()] = std::sqrt(Pivot);
      F.Kept.push_back(j);
    }
  }
  const std::size_t q = F.Kept.size();
  F.L.assign(q * q, 0);
  for (std::size_t i = 0; i < q; ++i) {
    for (std::size_t l = 0; l <= i; ++l) F.L[i * q + l] = Full[F.Kept[i] * K + l];
  }
  return F;
}

// Coefficients of the kept predictors (β = L⁻ᵀ L⁻¹ b) and the explained sum
// of squares |L⁻¹b|².
void SolveKept(const TFactor& F, const TMatrix& A, std::size_t p, TFit& Fit, long double& Explained) {
  const std::size_t q = F.Kept.size(), y = p - 1;
  std::vector<long double> z(q), Beta(q);
  Explained = 0;
  for (std::size_t i = 0; i < q; ++i) {
    long double s = A[F.Kept[i] * p + y];
    for (std::size_t l = 0; l < i; ++l) s -= F.L[i * q + l] * z[l];
    z[i] = s / F.L[i * q + i];
    Explained += z[i] * z[i];
  }
  for (std::size_t i = q; i-- > 0;) {
    long double s = z[i];
    for (std::size_t l = i + 1; l < q; ++l) s -= F.L[l * q + i] * Beta[l];
    Beta[i] = Finite(s / F.L[i * q + i]);
  }
  Fit.Coef.insert(Fit.Coef.end(), Beta.begin(), Beta.end());
}

// Weighted, the constant's own cross product N is the weights' sum.
std::vector<long double> WithConstant(long double N, const std::vector<long double>& Means,
                                      const std::vector<long double>& Inv) {
  const std::size_t q = Means.size(), r = q + 1;
  std::vector<long double> W(q, 0), Out(r * r, 0);
  long double Quadratic = 0;
  for (std::size_t i = 0; i < q; ++i) {
    for (std::size_t j = 0; j < q; ++j) W[i] += Inv[i * q + j] * Means[j];
    Quadratic += Means[i] * W[i];
  }
  Out[0] = Finite(1 / N + Quadratic);
  for (std::size_t i = 0; i < q; ++i) {
    Out[i + 1] = Out[(i + 1) * r] = Finite(-W[i]);
    for (std::size_t j = 0; j < q; ++j) Out[(i + 1) * r + j + 1] = Inv[i * q + j];
  }
  return Out;
}

// Adds the intercept: β0 = ȳ − Σ βj x̄j, and the inverse with the constant.
void AddIntercept(const TMoments& State, const TMatrix& Inv, TFit& Fit) {
  const std::size_t q = Fit.Kept.size();
  std::vector<long double> Means(q);
  long double Beta0 = State.Mean(State.P() - 1);
  for (std::size_t i = 0; i < q; ++i) {
    Means[i] = State.Mean(Fit.Kept[i]);
    Beta0 -= Fit.Coef[i + 1] * Means[i];
  }
  Fit.Coef[0] = Finite(Beta0);
  Fit.XtXInv = WithConstant(State.WeightSum(), Means, Inv);
}

}  // namespace

std::vector<long double> InverseWithConstant(std::size_t N, const std::vector<long double>& Means,
                                             const std::vector<long double>& Inv) {
  return WithConstant(static_cast<long double>(N), Means, Inv);
}

TFit Solve(const TMoments& State, bool Intercept, long double Tolerance) {
  if (State.P() == 0) throw EEngineError("a fit needs a response column");
  if (State.Count() == 0) throw EEngineError("a fit needs at least one complete row");
  const std::size_t p = State.P();
  const TMatrix A = CrossProducts(State, Intercept);
  const TFactor F = Factor(A, State, Tolerance);
  TFit Fit;
  Fit.K = p - 1;
  Fit.Intercept = Intercept;
  Fit.N = State.Count();
  Fit.Weighted = State.Weighted();
  Fit.LogWeightSum = State.LogWeightSum();
  Fit.WeightSum = State.WeightSum();
  Fit.Kept = F.Kept;
  Fit.Aliased = F.Aliased;
  if (Intercept) Fit.Coef.push_back(0);
  long double Explained = 0;
  SolveKept(F, A, p, Fit, Explained);
  const std::size_t q = F.Kept.size();
  const TMatrix Inv = InverseFromCholesky(F.L, q);
  if (Intercept) {
    AddIntercept(State, Inv, Fit);
  } else {
    Fit.XtXInv = Inv;
  }
  Fit.DfResidual = Fit.N > Fit.Rank() ? Fit.N - Fit.Rank() : 0;
  Fit.Sst = A[p * p - 1];
  Fit.MomentSse = std::max(0.0L, Fit.Sst - Explained);
  for (std::size_t j = 0; j < p; ++j) {
    Fit.Shift.push_back(State.Shift(j));
    Fit.MeanAboutShift.push_back(State.MeanAboutShift(j));
  }
  for (std::size_t j : Fit.Kept) Fit.KeptCrossProduct.push_back(A[j * p + j]);
  return Fit;
}

long double TFit::Residual(std::span<const double> Row) const {
  // With an intercept both sides are taken about their means, each formed
  // as (x − shift) − mean about the shift: exact, then one small rounding.
  const auto Centred = [&](std::size_t j) {
    if (!Intercept) return static_cast<long double>(Row[j]);
    return (static_cast<long double>(Row[j]) - Shift[j]) - MeanAboutShift[j];
  };
  long double r = Centred(K) - Offset;
  const std::size_t First = Intercept ? 1 : 0;
  for (std::size_t i = 0; i < Kept.size(); ++i) r -= Coef[First + i] * Centred(Kept[i]);
  return r;
}

}  // namespace varnel::engine
