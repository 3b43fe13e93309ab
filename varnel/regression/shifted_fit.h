// SPDX-License-Identifier: Apache-2.0
// The fit every multiple regression of the library reads: the normal
// equations of the design taken about the predictors' means, so that an
// offset in a predictor (timestamps, years) costs no digits, and solved with
// a pivot check that reports a design singular to working precision.
#pragma once

#include <memory>
#include <span>

#include "varnel/korlen.h"
#include "varnel/linalg/matrix.h"

namespace varnel {

// The inverse of Z'Z for the shifted design Z = [1, X1 − s1, …, Xk − sk],
// and the entries of (X'X)⁻¹ = A⁻¹ (Z'Z)⁻¹ A⁻ᵀ recovered from it, where
// X = Z A and A is the identity with the shifts in row 0.
struct TShiftedInverse {
  THeapMatrix G;                    // (Z'Z)⁻¹, indexed 0..k
  THeapMatrix Inv;                  // (X'X)⁻¹, indexed 0..k
  double Shift[MaxVars + 1] = {};   // Shift[0] = 0: the constant row is not shifted
  Extended Sums[MaxVars + 1] = {};      // row 0 of Z'Z: n, then Σ (x_j − s_j)
  Extended Diagonal[MaxVars + 1] = {};  // the diagonal of Z'Z
  const double* Rows[MaxVars + 1] = {}; // z_j(i) = x_j(i) − s_j in double; row 0 the data matrix's
  std::unique_ptr<double[]> Z;          // the storage of the rows that are shifted

  const double* Row(int j) const { return Rows[j]; }
};

// Relative size, against its row's centred sum of squares, below which a
// pivot is taken as lost. A pivot of relative size p is the part of its
// column that the columns before it do not explain (1 − R² of that
// regression); solving through it multiplies the rounding of the cross
// products, 2⁻⁶⁴ of their size, by about 1/p. Below 2⁻³³ fewer than 31 bits
// (9 digits) would be left to the coefficients and their standard errors:
// the design is reported as singular to working precision rather than
// fitted. Well-conditioned designs have pivots near 1; measured: a predictor
// equal to another plus noise of 1/30,000 of its spread 1.3e-9 (fitted), a
// degree-10 polynomial on x = 0..20 2.4e-11 (reported).
inline constexpr Extended LostPivot = 1.0L / (1ULL << 33);

// The shifts (near the means, on a coarse grid), Z'Z and its inversion. The caller
// has checked the counts. Unguarded: an overflow reaches the caller; a lost
// pivot shows "Error div by 0 inverting matrices" for every column of its row.
TShiftedInverse ShiftedInverse(const TRegressData& X, int k, int n);

// N, K, SST and the coefficients of the fit of Y on X from that inverse:
// from Z'(Y − s_y), refined once from the residuals of that first solution
// when its own error may pass what the data determine.
TMultStatRec ShiftedCoefficients(const TRegressData& X, std::span<const double> Y, const TShiftedInverse& S, int k,
                                 int n);

// Those coefficients, then the summary as ComputeResults forms it.
TMultStatRec ShiftedFitRecord(const TRegressData& X, std::span<const double> Y, const TShiftedInverse& S, int k,
                              int n);

// The centred sums of squares and cross products Σ (u − ū)(v − v̄) of the k
// predictors and Y: M[a][b] for predictors a + 1 and b + 1 (a, b < k), row
// and column k for Y. Formed once from the rows shifted as the fit shifts
// them (Y by its own shift, rounded to double as the predictors are), then
// moved to the means by the shifted rows' sums, a correction of a few per
// cent of each sum since the shifts lie near the means. The caller has
// checked the counts; unguarded: an overflow reaches the caller.
void CentredCrossProducts(const TRegressData& X, std::span<const double> Y, int k, int n, TMatrix& M);

// The analysis-of-variance summary from SSE and SST on DFTot degrees of
// freedom (n − 1 about the mean, n through the origin): DFErr = DFTot − k,
// R², the mean squares, and F with 1 − R² taken as SSE/SST. A fault leaves
// the fields from the failing one on at 0; the caller guards it.
void Summarise(TMultStatRec& Rec, Extended Sse, int k, int DFTot);

// Pieces of the record shared with ComputeResults.
// N, K, SST about the mean of Y.
void StartRecord(TMultStatRec& Rec, std::span<const double> Y, int k, int n);
// SSE = Σ (Y[i] − ŷ(i))², the summary under its guard, the standard errors
// from the diagonal of (X'X)⁻¹ and the t values.
void CompleteRecord(TMultStatRec& Rec, const TRegressData& X, std::span<const double> Y, const TMatrix& Inv);

}  // namespace varnel
