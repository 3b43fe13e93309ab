// SPDX-License-Identifier: Apache-2.0
// Distances of observations from the centre of the data: the bulk forms
// fill one entry of an observation array per observation; the Mahalanobis
// and maximum-likelihood single forms measure one given vector. Each works
// from the mean vector and covariance matrix of the data as they are now.
#include <memory>

#include "varnel/core/checked.h"
#include "varnel/core/guard.h"
#include "varnel/core/rows.h"
#include "varnel/dist/distributions.h"
#include "varnel/korlen.h"
#include "varnel/linalg/matrix.h"

namespace varnel {
namespace {

// 1 ≤ k ≤ 24, k < N < MaxObs, with the data matrix present.
bool DataSizesValid(const TRegressData* X, int k, int N) {
  return X != nullptr && k >= 1 && k <= MaxVars && N > k && N < MaxObs;
}

// Observation t of variables 1..k, with the mean subtracted.
void Deviations(const TRegressData& X, const TVector& m, int k, int t, TVector& d) {
  for (int i = 0; i < k; ++i) d[i] = Extended(X[i + 1][t]) - m[i];
}

// dᵀ W d, forming v = W d first and summing v[i] d[i] in index order.
Extended QuadraticForm(const TMatrix& W, const TVector& d, int k) {
  TVector v{};
  for (int i = 0; i < k; ++i) {
    Extended s = 0;
    for (int j = 0; j < k; ++j) s += W[i][j] * d[j];
    v[i] = s;
  }
  Extended r = 0;
  for (int i = 0; i < k; ++i) r += v[i] * d[i];
  return Finite(r);
}

}  // namespace

void TKorlen::LDistances(const TRegressData* X, std::span<double> Out, int N, Byte k) {
  if (!DataSizesValid(X, k, N) || !Holds(Out, N)) return;
  Guard("Error in LDistances", [&] {
    const TVector m = MeanVector(X, k, N);
    TVector d{};
    for (int t = 0; t < N; ++t) {
      Deviations(*X, m, k, t, d);
      Extended s = 0;
      for (int i = 0; i < k; ++i) s += d[i];
      Out[t] = ToDouble(s);
    }
  });
}

void TKorlen::EuclideanDistances(const TRegressData* X, std::span<double> Out, int N, Byte k) {
  if (!DataSizesValid(X, k, N) || !Holds(Out, N)) return;
  Guard("Error in EuclideanDistances", [&] {
    const TVector m = MeanVector(X, k, N);
    TVector d{};
    for (int t = 0; t < N; ++t) {
      Deviations(*X, m, k, t, d);
      Extended s = 0;
      for (int i = 0; i < k; ++i) s += d[i] * d[i];
      Out[t] = ToDouble(s);
    }
  });
}

void TKorlen::NormEuclideanDistances(const TRegressData* X, std::span<double> Out, int N, Byte k) {
  if (!DataSizesValid(X, k, N) || !Holds(Out, N)) return;
  Guard("Error in NormEuclideanDistances", [&] {
    const TVector m = MeanVector(X, k, N);
    const TMatrix S = CovarianceMatrix(X, k, N);
    TVector sd{}, d{};
    for (int i = 0; i < k; ++i) sd[i] = Sqrt(S[i][i]);
    for (int t = 0; t < N; ++t) {
      Deviations(*X, m, k, t, d);
      Extended s = 0;
      for (int i = 0; i < k; ++i) {
        const Extended z = Div(d[i], sd[i]);
        s += z * z;
      }
      Out[t] = ToDouble(s);
    }
  });
}

namespace {

// The inverse of the covariance matrix into W, and its determinant. The
// covariance matrix is a temporary of this frame alone, so that the callers'
// frames stay small.
Extended InverseCovariance(TKorlen& Korlen, const TRegressData* X, Byte k, int N, TMatrix& W) {
  Extended Det = 0;
  GaussJordanInverse(Korlen.CovarianceMatrix(X, k, N), k, Det, nullptr, W);
  return Det;
}

}  // namespace

Extended TKorlen::GetMahalanobisDistance(const TRegressData* X, const TVector& x, Byte k, int N) {
  Extended Result = 0;
  if (!DataSizesValid(X, k, N)) return Result;
  Guard("Error occurred in  MahalanobisDistance", [&] {
    const TVector m = MeanVector(X, k, N);
    THeapMatrix W;
    InverseCovariance(*this, X, k, N, W.Get());
    TVector d{};
    for (int i = 0; i < k; ++i) d[i] = Finite(x[i] - m[i]);
    Result = QuadraticForm(W.Get(), d, k);
  });
  return Result;
}

namespace {

// D² of every observation, unguarded.
void FillMahalanobis(TKorlen& Korlen, const TRegressData* X, std::span<double> Out, Byte k, int N) {
  const TVector m = Korlen.MeanVector(X, k, N);
  THeapMatrix W;
  InverseCovariance(Korlen, X, k, N, W.Get());
  TVector d{};
  for (int t = 0; t < N; ++t) {
    Deviations(*X, m, k, t, d);
    Out[t] = ToDouble(QuadraticForm(W.Get(), d, k));
  }
}

}  // namespace

void TKorlen::MahalanobisDistances(const TRegressData* X, std::span<double> Out, Byte k, int N) {
  FillObsArray(Out, 0);
  if (!DataSizesValid(X, k, N) || !Holds(Out, N)) return;
  Guard("Error occurred in  MahalanobisDistances", [&] { FillMahalanobis(*this, X, Out, k, N); });
}

// For data from a k-variate normal distribution D² follows the chi-square
// distribution on k degrees of freedom (asymptotically, with the sample's
// mean and covariance), so the flag marks about 1 − Level of such data.
Extended TKorlen::MahalanobisOutliers(const TRegressData* X, Byte k, int N, Extended Level, std::span<double> D2,
                                      TOutlierFlags& Flags) {
  Flags.fill(0);
  FillObsArray(D2, 0);
  if (!DataSizesValid(X, k, N) || !Holds(D2, N) || !(Level > 0 && Level < 1)) return 0;
  Extended Cut = 0;
  Guard("Error occurred in  MahalanobisOutliers", [&] {
    const Extended q = ChiSquareQuantile(static_cast<double>(Level), k, TTail::Lower);
    FillMahalanobis(*this, X, D2, k, N);
    for (int t = 0; t < N; ++t) Flags[t] = D2[t] > q ? 1 : 0;
    Cut = q;
  });
  return Cut;
}

Extended TKorlen::GetMaximumLikelihoodDistance(const TRegressData* X, const TVector& x, Byte k, int N, Extended g) {
  Extended Result = 0;
  if (!DataSizesValid(X, k, N)) return Result;
  Guard("Error occurred in  MaximumLikelihoodDistances", [&] {
    THeapMatrix W;
    const Extended Det = InverseCovariance(*this, X, k, N, W.Get());
    const Extended D2 = GetMahalanobisDistance(X, x, k, N);
    Result = Finite(Finite(g - 0.5L * Ln(Det)) - 0.5L * D2);
  });
  return Result;
}

void TKorlen::MaximumLikelihoodDistances(const TRegressData* X, std::span<double> Out, Byte k, int N, Extended g) {
  if (!DataSizesValid(X, k, N) || N <= 2 || !Holds(Out, N)) return;
  Guard("Error occurred in  MaximumLikelihoodDistances", [&] {
    THeapMatrix W;
    const Extended Det = InverseCovariance(*this, X, k, N, W.Get());
    const auto D2 = std::make_unique<TObsArray>();
    MahalanobisDistances(X, *D2, k, N);
    const Extended Base = Finite(g - 0.5L * Ln(Det));
    for (int t = 0; t < N; ++t) Out[t] = ToDouble(Base - 0.5L * (*D2)[t]);
  });
}

}  // namespace varnel
