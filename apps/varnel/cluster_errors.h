// SPDX-License-Identifier: Apache-2.0
// Cluster-robust standard errors of a least-squares fit, as R's
// sandwich::vcovCL(fit, cluster = ~g, type) gives them (its defaults
// cadjust = TRUE, type "HC1" for lm):
//   V = c · (X'X)⁻¹ (Σ_g u_g u_g') (X'X)⁻¹,  u_g = Σ_{i in g} x_i e_i,
//   c = G/(G − 1) · (n − 1)/(n − k) for HC1, G/(G − 1) for HC0,
// with G the groups, n the rows and k the coefficients estimated. Its HC2
// and HC3 take the whole block of the hat matrix of each group, which a
// state of G × k sums cannot hold; they are refused.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include <varnel/engine.h>

#include "robust_errors.h"

namespace varnel::cli {

// "HC0" or "HC1" clustered by the column named: the meta's vcov, as
// "CL-HC1 by firm". Any other kind is a TInputError.
std::string ClusteredVcovName(TRobustKind Kind, const std::string& Column);
void CheckClusteredKind(TRobustKind Kind);

// Per group, u_g in the centred terms of TMeat, the groups by their key
// (the index of the key's text) in ascending order: a merge adds group by
// group in that order, so the sums are the same bits for any number of
// threads. G × M long doubles. Of a weighted fit the scores are w_i e_i
// x_i, as sandwich takes a weighted lm's, and the rows of weight 0 are
// counted.
struct TGroupScores {
  std::size_t M = 0;
  std::vector<std::size_t> Keys;
  std::vector<long double> Sums;  // M per key, in the keys' order
  std::size_t ZeroWeights = 0;
  template <class Self, class Visit>
  static void Members(Self& S, Visit&& Each) {
    Each(S.M);
    Each(S.Keys);
    Each(S.Sums);
    Each(S.ZeroWeights);
  }
  void Merge(const TGroupScores& Other);
};

// The scores of one batch: the predictors, the response, the key, then a
// weighted fit's weights.
TGroupScores GroupScoresOf(const engine::TFit& Fit, const engine::TBatch& Batch);

// The cluster-robust standard errors, in the order of TFit::Coef.
std::vector<long double> ClusteredStdErrors(const engine::TFit& Fit, TRobustKind Kind, const TGroupScores& Scores);

}  // namespace varnel::cli
