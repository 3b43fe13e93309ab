// SPDX-License-Identifier: Apache-2.0
// Ready-formatted texts of the regressions: equations, the mean-and-spread
// bands, and the summaries of a simple and of a multiple regression. Every
// line ends in "\r\n"; numbers that outgrow their fields are never cut.
#include <cmath>
#include <string>

#include "varnel/core/checked.h"
#include "varnel/core/format.h"
#include "varnel/korlen.h"

namespace varnel {
namespace {

constexpr const char* kCRLF = "\r\n";

// Right-aligns a number in 14 characters; a longer text stands as it is.
std::string PadLeft(const std::string& S) {
  const int Spaces = 14 - static_cast<int>(S.size());
  return Spaces > 0 ? std::string(Spaces, ' ') + S : S;
}

std::string Padded(Extended Value) { return PadLeft(FormatFloat("0.0000", Value)); }

std::string Line(std::string_view Pattern, std::initializer_list<TFormatArg> Args) {
  return Format(Pattern, Args) + kCRLF;
}

// The two lines of parameter j; the star marks a t value beyond the
// single-precision critical value.
std::string ParameterLines(const TMultStatRec& Rec, int j, Single TCrit) {
  std::string S = "Beta[" + IntToStr(j) + "] " + Padded(Rec.Beta[j]) + "    t calc " + Padded(Rec.TCalc[j]);
  if (std::fabs(Finite(Rec.TCalc[j])) > Extended(TCrit)) S += "*";
  S += kCRLF;
  return S + "  Std Err " + Padded(Rec.StdErr[j]) + "  t Crit " + Padded(TCrit) + kCRLF;
}

}  // namespace

std::string TKorlen::PipedReportString(Extended Mean, Extended SD) {
  std::string S = "Mean        : " + Format(" %10.4f ", {Mean}) + "  StdDev (SD) : " +
                  Format(" %10.4f ", {SD}) + kCRLF;
  for (int i = 1; i <= 3; ++i) {
    const Extended Band = i * SD;
    S += IntToStr(i) + "*SD : " + Format(" %10.4f ", {Mean + Band}) + " | " + Format(" %10.4f ", {Mean - Band}) +
         kCRLF;
  }
  return S + kCRLF;
}

std::string TKorlen::BVEquationString(const TBivarStatRec& Rec) {
  return Line("y = %10.4f + %10.4fx", {Rec.B0, Rec.B1});
}

std::string TKorlen::MVEquationString(const TMultStatRec& Rec) {
  if (Rec.K > MaxVars) return "";
  std::string S = Format("Eq: y = %9.4f", {Rec.Beta[0]}) + " ";
  for (int j = 1; j <= Rec.K; ++j) S += " + " + Format(" %9.4f ", {Rec.Beta[j]}) + "x" + IntToStr(j);
  return S + kCRLF;
}

std::string TKorlen::BVRegressionMemo(const std::string& Title, const TBivarStatRec& Rec) {
  const double T = BVRegressionTestStatistic(Rec);
  const TIntervalRec CI = BVRegressionBeta1CI(Rec);
  const std::string Equation = BVEquationString(Rec);
  return Title + kCRLF + kCRLF + Equation + kCRLF +
         Line("n                 : %5d", {Rec.N}) +
         Line("Correlation (X|Y) : %10.4f", {Rec.R}) +
         Line("Intercept (\xDF" "0)    : %10.4f", {Rec.B0}) +
         Line("Slope (\xDF" "1)        : %10.4f", {Rec.B1}) +
         Line("  Test Stat       : %10.4f", {T}) +
         Line("  C Interval (-)  : %10.4f", {CI.Lower}) +
         Line("  C Interval (+)  : %10.4f", {CI.Upper}) +
         Format("  Alpha (.%2d ", {AlphaLevel()}) + ")" + kCRLF +
         Line("X Mean            : %10.4f", {Rec.MeanX}) +
         Line("Y Mean            : %10.4f", {Rec.MeanY});
}

std::string TKorlen::MVRegressionMemo(const TMultStatRec& Rec) {
  const int n = Rec.N, k = Rec.K;
  if (k <= 0 || n <= 2 || k > MaxVars) return "";
  // The table serves every n of 30 or more from its limiting row.
  const Single TCrit = TTableValue2(n);
  std::string S = std::string("Regression Summary :  ") + kCRLF + kCRLF;
  S += Line("n      = %5d", {n}) + Line("k      = %5d", {k});
  S += Line("DF Reg = %6d", {Rec.DFReg}) + Line("DF Err = %6d", {Rec.DFErr}) + Line("DF Tot = %6d", {Rec.DFTot});
  S += kCRLF;
  S += Line("R      = %10.3f", {Rec.R}) + Line("R2     = %10.3f", {Rec.R2}) + Line("F      = %10.3f", {Rec.F});
  S += Line("RMSE   = %10.3f", {Rec.RMSE}) + Line("MSR    = %10.3f", {Rec.MSR}) +
       Line("MSE    = %10.3f", {Rec.MSE});
  S += Line("SSR    = %10.3f", {Rec.SSR}) + Line("SSE    = %10.3f", {Rec.SSE}) + Line("SST    = %10.3f", {Rec.SST});
  S += std::string(kCRLF) + "Parameter Estimates: " + kCRLF + kCRLF;
  S += "Alpha : ." + IntToStr(AlphaLevel()) + kCRLF;
  if (n > 30) S += std::string("Warning: n is > 30.") + kCRLF + kCRLF;
  for (int j = 0; j <= k; ++j) S += ParameterLines(Rec, j, TCrit);
  return S + kCRLF;
}

}  // namespace varnel
