// The normal, Student t, F and chi-square distributions for real degrees of
// freedom: cumulative probabilities of either tail, accurate far into the
// tails (the upper tail is computed as such, never as 1 minus the lower),
// and quantiles. The functions throw the library's faults: EInvalidOp for
// an argument outside the distribution's domain (NaN, degrees of freedom
// not above 0, a probability outside [0, 1]) and EOverflow for a quantile
// that is infinite (probability 0 or 1 of an unbounded tail). They keep no
// state and may be called from any thread.
#pragma once

namespace varnel {

enum class TTail { Lower, Upper };  // P(X <= x), P(X > x)

double NormalProbability(double z, TTail Tail);
double NormalQuantile(double p, TTail Tail);

double StudentTProbability(double t, double DF, TTail Tail);
double StudentTQuantile(double p, double DF, TTail Tail);

double FProbability(double f, double DF1, double DF2, TTail Tail);
double FQuantile(double p, double DF1, double DF2, TTail Tail);

double ChiSquareProbability(double x, double DF, TTail Tail);
double ChiSquareQuantile(double p, double DF, TTail Tail);

// The two-sided p-value of a t statistic: P(|T| > |t|).
double StudentTTwoSided(double t, double DF);

}  // namespace varnel
