// SPDX-License-Identifier: Apache-2.0
// Plain-language readings of numbers the caller already holds. Each text is
// a pure function of its arguments; every value is checked to be finite
// before it is compared, so a NaN reaches the caller as an invalid
// operation instead of silently falling outside every band.
#include <cmath>
#include <cstddef>
#include <string>

#include "varnel/core/checked.h"
#include "varnel/core/format.h"
#include "varnel/korlen.h"

namespace varnel {
namespace {

constexpr const char* kCRLF = "\r\n";

// Vectors and matrices hold 26 entries per dimension; a count beyond that
// would read outside the caller's storage.
constexpr int kVectorSize = static_cast<int>(std::tuple_size_v<TVector>);

std::string DWSentence(Extended DW) {
  if (DW >= 0 && DW < 1)
    return "The DW Statistic indicates strong positive serial correlation. It is likely that the residuals "
           "sequentially affect one another. The dependent and independent variables should be examined in detail. ";
  if (DW >= 1 && DW < 1.6L)
    return "The DW Statistic indicates low to moderate positive serial correlation. The residuals may "
           "sequentially affect one another and might need further examination. ";
  if (DW >= 1.6L && DW < 2.4L)
    return "The DW Statistic indicates the residuals not to be serially correlated. No further examination is "
           "necessary. ";
  if (DW >= 2.4L && DW < 3)
    return "The DW Statistic indicates low to moderate negative serial correlation. The residuals may "
           "sequentially affect one another and might need further examination. ";
  if (DW >= 3 && DW < 4.1L)
    return "The DW Statistic indicates strong negative serial correlation. It is likely that the residuals "
           "sequentially affect one another. The dependent and independent variables should be examined in detail. ";
  return "";
}

std::string RSentence(Extended R) {
  const auto Sentence = [](const char* Strength) {
    return std::string("The R Statistic indicates ") + Strength +
           " correlation between the independent variables and the dependent variable. ";
  };
  if (R >= -1 && R < -0.7L) return Sentence("strong negative overall");
  if (R >= -0.7L && R < -0.4L) return Sentence("moderate negative overall");
  if (R >= -0.4L && R < 0.4L) return Sentence("little or no");
  if (R >= 0.4L && R < 0.7L) return Sentence("moderate positive overall");
  if (R >= 0.7L && R < 1) return Sentence("strong positive overall");
  return "";
}

// The pairs (i, j), i > j, of the lower triangle whose correlation passes
// Test, each written "i|j ".
template <class Test>
std::string CorrelatedPairs(const TMatrix& R, int k, Test&& Passes) {
  std::string List;
  for (int i = 1; i <= k; ++i) {
    for (int j = 1; j < i; ++j) {
      if (Passes(Finite(R[i - 1][j - 1]))) List += IntToStr(i) + "|" + IntToStr(j) + " ";
    }
  }
  return List;
}

}  // namespace

std::string TKorlen::InterpretDWStatistic(Extended DW) { return DWSentence(Finite(DW)); }

std::string TKorlen::InterpretConditionIndexes(const TVector& CI, Byte n) {
  if (n > kVectorSize) return "";
  std::string S = "Condition Indexes Summary " + Format("(Eigenvalues 1 - %2d)", {int(n)}) + kCRLF + kCRLF;
  bool ZeroSeen = false;
  for (int i = 1; i <= n; ++i) {
    const Extended c = Finite(CI[i - 1]);
    if (c > 5) S += "A high condition index (>5) was found for eigenvalue : " + Format("%2d", {i}) + kCRLF;
    if (c > -0.00001L && c < 0.00001L) {
      S += "A cond. index of 0 was found which corresponded to eigenvalue : " + Format("%2d", {i}) + kCRLF;
      ZeroSeen = true;
    }
  }
  if (ZeroSeen) S += std::string(kCRLF) + "Note: Condition index values of 0 result from eigenvalues of 0" + kCRLF;
  return S;
}

std::string TKorlen::InterpretModelUtility(const TMultStatRec& Rec) {
  std::string S = RSentence(Finite(Rec.R));
  if (Rec.K > 3 || Rec.N > 30)
    S += "Note: Increasingly larger number of variables and/or larger number of observations can often produce "
         "large values of R. ";
  return S;
}

std::string TKorlen::InterpretModelBetaParameters(const TMultStatRec& Rec, Extended Threshold) {
  if (Rec.K >= kVectorSize) return "";
  const Extended t = Finite(Threshold);
  std::string Lp, Ln, Lz;
  for (int i = 0; i <= Rec.K; ++i) {
    const Extended b = Finite(Rec.Beta[i]);
    const std::string Entry = IntToStr(i) + " ";
    if (b >= t) Lp += Entry;
    if (b <= -t) Ln += Entry;
    if (b > -t && b < t) Lz += Entry;
  }
  return "The following \xDF parameters were => threshold (+): " + Lp + kCRLF +
         "The following \xDF parameters were <= threshold (-): " + Ln + kCRLF +
         "These \xDF values were < abs(threshold): " + Lz + kCRLF;
}

std::string TKorlen::InterpretVariableUtility(const TUnivarStatRec& Rec) {
  const int m = Rec.NVars;
  if (m > kVectorSize) return "";
  std::string S = "Variables found to have atypical skewness: ";
  for (int i = 1; i <= m; ++i) {
    const Extended s = Finite(Rec.Skew[i - 1]);
    if (s > 0.5L) S += IntToStr(i) + " (Positive), ";
    if (s < -0.5L) S += IntToStr(i) + " (Negative), ";
  }
  S += std::string(kCRLF) + "Variables found to have atypical kurtosis: ";
  for (int i = 1; i <= m; ++i) {
    const Extended u = Finite(Rec.Kurtosis[i - 1]);
    if (u > 3.5L) S += IntToStr(i) + " ";
    if (u < 2.5L) S += IntToStr(i) + " ";
  }
  return S;
}

std::string TKorlen::InterpretHighXCorrelations(const TMatrix& R, Byte k) {
  if (k > kVectorSize) return "";
  std::string S = "Strong negative correlation exists between the following pair of independent variables:  ";
  const std::string Negative = CorrelatedPairs(R, k, [](Extended r) { return r < -0.7L; });
  S += (Negative.empty() ? std::string("<none>. ") : Negative) + kCRLF;
  S += "Strong positive correlation exists between the following pair of independent variables: ";
  const std::string Positive = CorrelatedPairs(R, k, [](Extended r) { return r > 0.7L; });
  S += (Positive.empty() ? std::string(" <none> ") : Positive) + kCRLF;
  return S;
}

std::string TKorlen::InterpretOutliers(std::span<const double> z, int N) {
  if (N > 0 && z.size() < static_cast<std::size_t>(N)) return "";
  std::string S = "Strong Outliers   (z[i]> 2.5): ";
  for (int i = 0; i < N; ++i) {
    if (std::fabs(Finite(z[i])) > 2.5L) S += IntToStr(i) + ",";
  }
  S += std::string(kCRLF) + "Moderate Outliers (z[i]> 2.0): ";
  for (int i = 0; i < N; ++i) {
    const Extended a = std::fabs(Finite(z[i]));
    if (a >= 2.0L && a <= 2.5L) S += IntToStr(i) + ",";
  }
  return S + kCRLF;
}

}  // namespace varnel
