// SPDX-License-Identifier: Apache-2.0
#include "varnel/engine/mahalanobis.h"

#include "varnel/engine/errors.h"

namespace varnel::engine {
namespace {

// The first K columns of a state and a response of zeros: fitting it gives
// the aliasing of the K columns, and the slopes' block of its (X'X)⁻¹ is the
// inverse of their centred co-moments.
TMoments WithZeroResponse(const TMoments& State, std::size_t K) {
  const TMoments::TFields From = State.Fields();
  TMoments::TFields To;
  To.P = K + 1;
  To.Count = From.Count;
  To.Incomplete = From.Incomplete;
  To.Shift.assign(From.Shift.begin(), From.Shift.begin() + static_cast<std::ptrdiff_t>(K));
  To.Min.assign(From.Min.begin(), From.Min.begin() + static_cast<std::ptrdiff_t>(K));
  To.Max.assign(From.Max.begin(), From.Max.begin() + static_cast<std::ptrdiff_t>(K));
  To.MeanAboutShift.assign(From.MeanAboutShift.begin(), From.MeanAboutShift.begin() + static_cast<std::ptrdiff_t>(K));
  To.Missing.assign(From.Missing.begin(), From.Missing.begin() + static_cast<std::ptrdiff_t>(K));
  To.Shift.push_back(0);
  To.Min.push_back(0);
  To.Max.push_back(0);
  To.MeanAboutShift.push_back(0);
  To.Missing.push_back(0);
  To.CoMoment.assign(To.P * To.P, 0);
  for (std::size_t a = 0; a < K; ++a) {
    for (std::size_t b = 0; b < K; ++b) To.CoMoment[a * To.P + b] = State.CoMoment(a, b);
  }
  return TMoments(std::move(To));
}

}  // namespace

TMahalanobis::TMahalanobis(const TMoments& State, std::size_t K) {
  if (K == 0 || K > State.P()) throw EEngineError("distances need between one column and the state's columns");
  if (State.Count() < 2) throw EEngineError("distances need two complete rows");
  FFit = Solve(WithZeroResponse(State, K), true);
  if (FFit.Kept.empty()) throw EEngineError("distances need a column that varies");
  FScale = static_cast<long double>(State.Count()) - 1;
}

long double TMahalanobis::D2(std::span<const double> Row) const {
  const std::size_t m = FFit.Kept.size(), Rank = FFit.Rank();
  std::vector<long double> d(m);
  for (std::size_t a = 0; a < m; ++a) {
    const std::size_t j = FFit.Kept[a];
    d[a] = (static_cast<long double>(Row[j]) - FFit.Shift[j]) - FFit.MeanAboutShift[j];
  }
  long double Sum = 0;
  for (std::size_t a = 0; a < m; ++a) {
    long double s = 0;
    for (std::size_t b = 0; b < m; ++b) s += FFit.XtXInv[(1 + a) * Rank + 1 + b] * d[b];
    Sum += d[a] * s;
  }
  return FScale * Sum;
}

}  // namespace varnel::engine
