// SPDX-License-Identifier: Apache-2.0
#include "varnel/engine/moments.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "varnel/engine/errors.h"

namespace varnel::engine {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// Whether row i has a value in every column; an infinity is refused, since
// no mean or co-moment can be formed with it.
bool IsComplete(const TBatch& Batch, std::size_t i) {
  bool Complete = true;
  for (const auto& Column : Batch.Columns) {
    if (std::isinf(Column[i])) throw EOverflow();
    Complete = Complete && !std::isnan(Column[i]);
  }
  return Complete;
}

// Sums of the deviations from the shift and of their products (lower
// triangle), over the complete rows of one batch, in row order. Rows are
// taken a tile at a time, the tile's deviations held column by column: each
// sum is loaded once per tile and the tile's products added to it in row
// order, four sums side by side so that their additions overlap. That is
// the same arithmetic, in the same order for every sum, as one row at a
// time: the same bits, with far fewer extended-precision loads and stores.
struct TShiftedSums {
  static constexpr std::size_t kTile = 32;
  std::size_t Count = 0, Incomplete = 0;
  std::vector<double> Shift;
  std::vector<long double> Sum, Cross, D;  // D[j * kTile + r]: column j of the tile's row r
  std::size_t Held = 0;

  explicit TShiftedSums(std::size_t P) : Shift(P), Sum(P), Cross(P * P), D(kTile * P) {}

  void AddRow(const TBatch& Batch, std::size_t i) {
    const std::size_t P = Shift.size();
    if (Count == 0) {
      for (std::size_t j = 0; j < P; ++j) Shift[j] = Batch.Columns[j][i];
    }
    for (std::size_t j = 0; j < P; ++j) D[j * kTile + Held] = static_cast<long double>(Batch.Columns[j][i]) - Shift[j];
    ++Count;
    if (++Held == kTile) Flush();
  }

  // Cross[j][k .. k + 3] += Σ_r D[j][r] · D[k + m][r], each in row order.
  void AddFour(std::size_t j, std::size_t k) {
    const std::size_t P = Shift.size();
    const long double* const a = &D[j * kTile];
    const long double *b0 = &D[k * kTile], *b1 = b0 + kTile, *b2 = b1 + kTile, *b3 = b2 + kTile;
    long double c0 = Cross[j * P + k], c1 = Cross[j * P + k + 1], c2 = Cross[j * P + k + 2], c3 = Cross[j * P + k + 3];
    for (std::size_t r = 0; r < Held; ++r) {
      const long double x = a[r];
      c0 += x * b0[r];
      c1 += x * b1[r];
      c2 += x * b2[r];
      c3 += x * b3[r];
    }
    Cross[j * P + k] = c0;
    Cross[j * P + k + 1] = c1;
    Cross[j * P + k + 2] = c2;
    Cross[j * P + k + 3] = c3;
  }

  void Flush() {
    const std::size_t P = Shift.size();
    for (std::size_t j = 0; j < P; ++j) {
      const long double* const a = &D[j * kTile];
      long double S = Sum[j];
      for (std::size_t r = 0; r < Held; ++r) S += a[r];
      Sum[j] = S;
      std::size_t k = 0;
      for (; k + 4 <= j + 1; k += 4) AddFour(j, k);
      for (; k <= j; ++k) {
        long double C = Cross[j * P + k];
        for (std::size_t r = 0; r < Held; ++r) C += a[r] * D[k * kTile + r];
        Cross[j * P + k] = C;
      }
    }
    Held = 0;
  }
};

}  // namespace

TMoments::TMoments(std::size_t P)
    : FP(P), FShift(P), FMin(P, kInf), FMax(P, -kInf), FMeanAboutShift(P), FCoMoment(P * P), FMissing(P) {}

void TMoments::Add(const TBatch& Batch) {
  if (Batch.Cols() != FP) throw EEngineError("batch has a different number of columns from the state");
  Batch.Check();
  TShiftedSums Sums(FP);
  for (std::size_t i = 0; i < Batch.Rows(); ++i) {
    if (IsComplete(Batch, i)) {
      Sums.AddRow(Batch, i);
    } else {
      ++Sums.Incomplete;
    }
  }
  Sums.Flush();
  // The batch's own state, about its own shift, then folded in.
  TMoments Part(FP);
  Part.FCount = Sums.Count;
  Part.FIncomplete = Sums.Incomplete;
  if (Sums.Count > 0) {
    const long double n = Sums.Count;
    Part.FShift = Sums.Shift;
    for (std::size_t j = 0; j < FP; ++j) {
      Part.FMeanAboutShift[j] = Sums.Sum[j] / n;
      for (std::size_t k = 0; k <= j; ++k) {
        const long double C = Sums.Cross[j * FP + k] - Sums.Sum[j] * Sums.Sum[k] / n;
        Part.FCoMoment[j * FP + k] = Part.FCoMoment[k * FP + j] = C;
      }
    }
  }
  Part.AddRanges(Batch);
  Merge(Part);
}

void TMoments::Add(const TBatch& Batch, std::span<const double> Weights) {
  if (Batch.Cols() != FP) throw EEngineError("batch has a different number of columns from the state");
  Batch.Check();
  if (Weights.size() != Batch.Rows()) throw EEngineError("weights of another number of rows than the batch");
  if (FCount > 0 && !FWeighted) throw EEngineError("weighted rows cannot join an unweighted state");
  // Sums of w·d and w·d·d' of the deviations d from the shift, row by row.
  TMoments Part(FP);
  Part.FWeighted = true;
  std::vector<long double> Sum(FP), Cross(FP * FP), d(FP);
  for (std::size_t i = 0; i < Batch.Rows(); ++i) {
    const double w = Weights[i];
    if (!IsComplete(Batch, i) || std::isnan(w)) {
      ++Part.FIncomplete;
      continue;
    }
    if (!(w >= 0) || std::isinf(w)) throw EEngineError("a weight is negative or infinite");
    if (w == 0) continue;
    if (Part.FCount++ == 0) {
      for (std::size_t j = 0; j < FP; ++j) Part.FShift[j] = Batch.Columns[j][i];
    }
    Part.FWeightSum += w;
    Part.FLogWeightSum += std::log(static_cast<long double>(w));
    for (std::size_t j = 0; j < FP; ++j) {
      d[j] = static_cast<long double>(Batch.Columns[j][i]) - Part.FShift[j];
      Sum[j] += w * d[j];
      for (std::size_t k = 0; k <= j; ++k) Cross[j * FP + k] += w * d[j] * d[k];
    }
  }
  if (Part.FCount > 0) {
    const long double W = Part.FWeightSum;
    for (std::size_t j = 0; j < FP; ++j) {
      Part.FMeanAboutShift[j] = Sum[j] / W;
      for (std::size_t k = 0; k <= j; ++k) {
        const long double C = Cross[j * FP + k] - Sum[j] * Sum[k] / W;
        Part.FCoMoment[j * FP + k] = Part.FCoMoment[k * FP + j] = C;
      }
    }
  }
  Part.AddRanges(Batch);
  FWeighted = true;
  Merge(Part);
}

// Each column's range and missing count held in locals: stores through
// the members, which the column's values might alias, would be made at
// every value.
void TMoments::AddRanges(const TBatch& Batch) {
  for (std::size_t j = 0; j < FP; ++j) {
    double Low = FMin[j], High = FMax[j];
    std::size_t Missing = 0;
    for (const double x : Batch.Columns[j]) {
      if (std::isnan(x)) {
        ++Missing;
      } else {
        Low = std::min(Low, x);
        High = std::max(High, x);
      }
    }
    FMin[j] = Low;
    FMax[j] = High;
    FMissing[j] += Missing;
  }
}

void TMoments::Merge(const TMoments& Other) {
  if (Other.FP != FP) throw EEngineError("states of different numbers of columns cannot be merged");
  if (FCount > 0 && Other.FCount > 0 && FWeighted != Other.FWeighted)
    throw EEngineError("a weighted and an unweighted state cannot be merged");
  FIncomplete += Other.FIncomplete;
  for (std::size_t j = 0; j < FP; ++j) {
    FMissing[j] += Other.FMissing[j];
    FMin[j] = std::min(FMin[j], Other.FMin[j]);
    FMax[j] = std::max(FMax[j], Other.FMax[j]);
  }
  if (Other.FCount == 0) return;
  if (FCount == 0) {
    FWeighted = Other.FWeighted;
    FWeightSum = Other.FWeightSum;
    FLogWeightSum = Other.FLogWeightSum;
    FCount = Other.FCount;
    FShift = Other.FShift;
    FMeanAboutShift = Other.FMeanAboutShift;
    FCoMoment = Other.FCoMoment;
    return;
  }
  // Weighted, the rows' weights take the place of their counts.
  const long double na = FWeighted ? FWeightSum : static_cast<long double>(FCount),
                    nb = FWeighted ? Other.FWeightSum : static_cast<long double>(Other.FCount), n = na + nb,
                    Weight = na * nb / n;
  std::vector<long double> Delta(FP);
  for (std::size_t j = 0; j < FP; ++j) {
    // The shifts are doubles close to each other: their difference is exact.
    Delta[j] = (static_cast<long double>(Other.FShift[j]) - FShift[j]) + (Other.FMeanAboutShift[j] - FMeanAboutShift[j]);
  }
  for (std::size_t j = 0; j < FP; ++j) {
    for (std::size_t k = 0; k <= j; ++k) {
      const long double C = FCoMoment[j * FP + k] + Other.FCoMoment[j * FP + k] + Weight * Delta[j] * Delta[k];
      FCoMoment[j * FP + k] = FCoMoment[k * FP + j] = C;
    }
    FMeanAboutShift[j] += Delta[j] * (nb / n);
  }
  FCount += Other.FCount;
  FWeightSum += Other.FWeightSum;
  FLogWeightSum += Other.FLogWeightSum;
}

TMoments::TMoments(TFields F)
    : FP(F.P), FCount(F.Count), FIncomplete(F.Incomplete), FWeighted(F.Weighted), FWeightSum(F.WeightSum),
      FLogWeightSum(F.LogWeightSum) {
  const std::size_t P = F.P;
  if (F.Shift.size() != P || F.Min.size() != P || F.Max.size() != P || F.MeanAboutShift.size() != P ||
      F.Missing.size() != P || F.CoMoment.size() != P * P) {
    throw EEngineError("state fields do not match the number of columns");
  }
  FShift = std::move(F.Shift);
  FMin = std::move(F.Min);
  FMax = std::move(F.Max);
  FMeanAboutShift = std::move(F.MeanAboutShift);
  FCoMoment = std::move(F.CoMoment);
  FMissing = std::move(F.Missing);
}

TMoments::TFields TMoments::Fields() const {
  return {FP, FCount, FIncomplete, FShift, FMin, FMax, FMeanAboutShift, FCoMoment, FMissing, FWeighted, FWeightSum,
          FLogWeightSum};
}

}  // namespace varnel::engine
