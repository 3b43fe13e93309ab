// SPDX-License-Identifier: Apache-2.0
#include "varnel/engine/principal_components.h"

#include "varnel/engine/errors.h"
#include "varnel/linalg/spectral_kernels.h"

namespace varnel::engine {

TComponents PrincipalComponents(const TMoments& State, std::size_t K, bool Scaled) {
  if (K == 0 || K > State.P()) throw EEngineError("principal components need between one column and the state's columns");
  if (State.Count() < 2) throw EEngineError("principal components need two complete rows");
  const int k = static_cast<int>(K);
  TSquareMatrix C(K), Z(K);
  for (std::size_t a = 0; a < K; ++a) {
    for (std::size_t b = 0; b < K; ++b) C[a][b] = State.CoMoment(a, b) / (static_cast<long double>(State.Count()) - 1);
  }
  TComponents P;
  P.K = K;
  P.Scaled = Scaled;
  for (auto* Figure : {&P.SDev, &P.Variance, &P.Proportion, &P.Cumulative, &P.ConditionIndex}) Figure->resize(K);
  P.Scale.assign(K, 1);
  if (Scaled) spectral::Correlate(C, P.Scale, k);
  std::vector<long double> d(K), e(K);
  spectral::Diagonalise(C, k, !Scaled, d, Z, e);
  spectral::OrderEigenpairs(d, C, k);
  P.Rotation = std::move(C);
  spectral::ComponentFigures(d, k, P);
  return P;
}

}  // namespace varnel::engine
