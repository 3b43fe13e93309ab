// SPDX-License-Identifier: Apache-2.0
#include "cluster_errors.h"

#include <map>
#include <stdexcept>

#include "csv_table.h"

namespace varnel::cli {

std::string ClusteredVcovName(TRobustKind Kind, const std::string& Column) {
  return "CL-" + RobustKindName(Kind) + " by " + Column;
}

void CheckClusteredKind(TRobustKind Kind) {
  if (Kind == TRobustKind::HC0 || Kind == TRobustKind::HC1) return;
  throw TInputError("--cluster takes --vcov HC0 or HC1 (the default), not " + RobustKindName(Kind) +
                    ": clustered HC2 and HC3 need each cluster's block of the hat matrix, which is not kept");
}

void TGroupScores::Merge(const TGroupScores& Other) {
  ZeroWeights += Other.ZeroWeights;
  if (Other.Keys.empty()) return;
  if (Keys.empty()) {
    const std::size_t Zeros = ZeroWeights;
    *this = Other;
    ZeroWeights = Zeros;
    return;
  }
  if (Other.M != M) throw std::logic_error("the scores of another fit");
  TGroupScores Both{M, {}, {}, ZeroWeights};
  Both.Keys.reserve(Keys.size() + Other.Keys.size());
  Both.Sums.reserve(Sums.size() + Other.Sums.size());
  const auto Append = [&Both, this](const TGroupScores& From, std::size_t g) {
    Both.Keys.push_back(From.Keys[g]);
    Both.Sums.insert(Both.Sums.end(), From.Sums.begin() + static_cast<std::ptrdiff_t>(g * M),
                     From.Sums.begin() + static_cast<std::ptrdiff_t>((g + 1) * M));
  };
  std::size_t a = 0, b = 0;
  while (a < Keys.size() || b < Other.Keys.size()) {
    if (b == Other.Keys.size() || (a < Keys.size() && Keys[a] < Other.Keys[b])) {
      Append(*this, a++);
    } else if (a == Keys.size() || Other.Keys[b] < Keys[a]) {
      Append(Other, b++);
    } else {
      Append(*this, a++);
      for (std::size_t s = 0; s < M; ++s) Both.Sums[Both.Sums.size() - M + s] += Other.Sums[b * M + s];
      ++b;
    }
  }
  *this = std::move(Both);
}

TGroupScores GroupScoresOf(const engine::TFit& Fit, const engine::TBatch& Batch) {
  const std::size_t m = Fit.Coef.size(), KeyColumn = Fit.K + 1;
  if (Batch.Cols() != KeyColumn + (Fit.Weighted ? 2 : 1)) throw std::logic_error("a batch without its key");
  TGroupScores Scores{m, {}, {}, 0};
  std::map<std::size_t, std::vector<long double>> Groups;
  std::vector<double> Row(Batch.Cols());
  std::vector<long double> Z(m);
  for (std::size_t i = 0; i < Batch.Rows(); ++i) {
    if (!engine::CompleteRow(Batch, i, Row)) continue;
    CentredRow(Fit, Row, Z);
    long double e = Fit.Residual(Row);
    if (Fit.Weighted) {  // the score w·e·x
      const long double w = Row[KeyColumn + 1];
      Scores.ZeroWeights += w == 0;
      e *= w;
    }
    std::vector<long double>& u = Groups.try_emplace(static_cast<std::size_t>(Row[KeyColumn]), m, 0.0L).first->second;
    for (std::size_t s = 0; s < m; ++s) u[s] += Z[s] * e;
  }
  for (const auto& [Key, u] : Groups) {
    Scores.Keys.push_back(Key);
    Scores.Sums.insert(Scores.Sums.end(), u.begin(), u.end());
  }
  return Scores;
}

std::vector<long double> ClusteredStdErrors(const engine::TFit& Fit, TRobustKind Kind, const TGroupScores& Scores) {
  const std::size_t m = Fit.Coef.size(), G = Scores.Keys.size();
  if (Scores.M != m) throw std::logic_error("the scores of another fit");
  if (G < 2) throw TInputError("--cluster needs two clusters at least; the rows used hold " + std::to_string(G));
  TMeat Meat{m, std::vector<long double>(m * m, 0), 0};
  for (std::size_t g = 0; g < G; ++g) {
    const long double* u = &Scores.Sums[g * m];
    for (std::size_t a = 0; a < m; ++a) {
      for (std::size_t b = 0; b < m; ++b) Meat.Sum[a * m + b] += u[a] * u[b];
    }
  }
  const auto n = static_cast<long double>(Fit.N), k = static_cast<long double>(m);
  long double Scale = static_cast<long double>(G) / static_cast<long double>(G - 1);
  if (Kind == TRobustKind::HC1) Scale *= (n - 1) / (n - k);
  return SandwichStdErrors(Fit, Scale, Meat);
}

}  // namespace varnel::cli
