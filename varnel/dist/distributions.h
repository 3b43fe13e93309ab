// SPDX-License-Identifier: Apache-2.0
// The normal, Student t, F and chi-square distributions for real degrees of
// freedom: cumulative probabilities of either tail, accurate far into the
// tails (the upper tail is computed as such, never as 1 minus the lower),
// and quantiles. The functions throw the library's faults: EInvalidOp for
// an argument outside the distribution's domain (NaN, degrees of freedom
// not above 0, a probability outside [0, 1]) and EOverflow for a quantile
// that is infinite (probability 0 or 1 of an unbounded tail). They keep no
// state and may be called from any thread.
#pragma once

#include "varnel/export.h"

// The functions marked VARNEL_API are exported from the shared library for
// the varnel tool, which uses them; this header is not installed.

namespace varnel {

enum class TTail { Lower, Upper };  // P(X <= x), P(X > x)

VARNEL_API double NormalProbability(double z, TTail Tail);
VARNEL_API double NormalQuantile(double p, TTail Tail);

VARNEL_API double StudentTProbability(double t, double DF, TTail Tail);
VARNEL_API double StudentTQuantile(double p, double DF, TTail Tail);

VARNEL_API double FProbability(double f, double DF1, double DF2, TTail Tail);
VARNEL_API double FQuantile(double p, double DF1, double DF2, TTail Tail);

VARNEL_API double ChiSquareProbability(double x, double DF, TTail Tail);
VARNEL_API double ChiSquareQuantile(double p, double DF, TTail Tail);

// The two-sided p-value of a t statistic: P(|T| > |t|).
VARNEL_API double StudentTTwoSided(double t, double DF);

}  // namespace varnel
