// SPDX-License-Identifier: Apache-2.0
// Boost.Math's distributions, computed in long double and rounded once to
// double. Boost's own error reporting is turned off: the arguments are
// checked here, and a result that is not finite is the library's fault.
#include "varnel/dist/distributions.h"

#include <boost/math/distributions/chi_squared.hpp>
#include <boost/math/distributions/fisher_f.hpp>
#include <boost/math/distributions/normal.hpp>
#include <boost/math/distributions/students_t.hpp>
#include <cmath>

#include "varnel/core/faults.h"

namespace varnel {
namespace {

using namespace boost::math::policies;
using TPolicy = policy<domain_error<ignore_error>, pole_error<ignore_error>, overflow_error<ignore_error>,
                       evaluation_error<ignore_error>, rounding_error<ignore_error>>;
using Real = long double;

void RequireDF(double DF) {
  if (!(DF > 0)) throw EInvalidOp();  // NaN included
}

void RequireProbability(double p) {
  if (!(p >= 0 && p <= 1)) throw EInvalidOp();
}

double Result(Real x) {
  if (std::isnan(x)) throw EInvalidOp();
  const double d = static_cast<double>(x);
  if (std::isinf(d)) throw EOverflow();
  return d;
}

template <class Distribution>
double Probability(const Distribution& D, double x, TTail Tail) {
  if (std::isnan(x)) throw EInvalidOp();
  if (std::isinf(x)) return (x > 0) == (Tail == TTail::Lower) ? 1.0 : 0.0;
  const Real X = x;
  return Result(Tail == TTail::Lower ? cdf(D, X) : cdf(complement(D, X)));
}

template <class Distribution>
double Quantile(const Distribution& D, double p, TTail Tail) {
  RequireProbability(p);
  const Real P = p;
  return Result(Tail == TTail::Lower ? quantile(D, P) : quantile(complement(D, P)));
}

boost::math::normal_distribution<Real, TPolicy> Normal() { return {}; }

boost::math::students_t_distribution<Real, TPolicy> StudentT(double DF) {
  RequireDF(DF);
  return boost::math::students_t_distribution<Real, TPolicy>(DF);
}

boost::math::fisher_f_distribution<Real, TPolicy> F(double DF1, double DF2) {
  RequireDF(DF1);
  RequireDF(DF2);
  return boost::math::fisher_f_distribution<Real, TPolicy>(DF1, DF2);
}

boost::math::chi_squared_distribution<Real, TPolicy> ChiSquare(double DF) {
  RequireDF(DF);
  return boost::math::chi_squared_distribution<Real, TPolicy>(DF);
}

}  // namespace

double NormalProbability(double z, TTail Tail) { return Probability(Normal(), z, Tail); }
double NormalQuantile(double p, TTail Tail) { return Quantile(Normal(), p, Tail); }

double StudentTProbability(double t, double DF, TTail Tail) { return Probability(StudentT(DF), t, Tail); }
double StudentTQuantile(double p, double DF, TTail Tail) { return Quantile(StudentT(DF), p, Tail); }

double FProbability(double f, double DF1, double DF2, TTail Tail) {
  if (f < 0) return Tail == TTail::Lower ? 0.0 : 1.0;
  return Probability(F(DF1, DF2), f, Tail);
}
// Boost's F quantile leaves a temporary unset on a path GCC cannot rule
// out; the value is set on every path taken.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
double FQuantile(double p, double DF1, double DF2, TTail Tail) { return Quantile(F(DF1, DF2), p, Tail); }
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

double ChiSquareProbability(double x, double DF, TTail Tail) {
  if (x < 0) return Tail == TTail::Lower ? 0.0 : 1.0;
  return Probability(ChiSquare(DF), x, Tail);
}
double ChiSquareQuantile(double p, double DF, TTail Tail) { return Quantile(ChiSquare(DF), p, Tail); }

double StudentTTwoSided(double t, double DF) {
  if (std::isnan(t)) throw EInvalidOp();
  const auto D = StudentT(DF);
  if (std::isinf(t)) return 0.0;
  return Result(2 * cdf(complement(D, Real(std::fabs(t)))));
}

}  // namespace varnel
