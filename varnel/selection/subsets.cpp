// SPDX-License-Identifier: Apache-2.0
// The all-subsets search: one fit per combination listed in the combination
// file, each rated by a weighted index of accuracy (1 - MSE(p)/max MSE(p)) and
// simplicity (1 - m/k, scaled by its maximum). The last line of the file is
// read but not fitted; it still takes part in the scaling with its zeros.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <memory>
#include <string>

#include "varnel/core/checked.h"
#include "varnel/core/format.h"
#include "varnel/core/guard.h"
#include "varnel/core/rows.h"
#include "varnel/core/textfile.h"
#include "varnel/korlen.h"
#include "varnel/selection/combinations.h"

namespace varnel {
namespace {

constexpr Extended kNoMaximum = -9999999999999999999.0L;  // -(10^19 - 1), exact in extended

std::string Label(int j, const TCombinationRec& Rec) {
  std::string S = Format(" %5d ", {j}) + Format(" %3d :", {Rec.Count});
  for (int v = 0; v < Rec.Count; ++v) S += Format("%1d", {int(Rec.Vars[v])});
  return S;
}

// Fits entries 1..L-1 on a working matrix whose rows 1..m receive the
// chosen predictors, and returns the table lines.
std::string FitCombinations(TKorlen& Korlen, const TRegressData& X, std::span<const double> Y, int k, int n,
                            TCombinationTable& Table) {
  const Extended MSEk = Korlen.MVRegression(&X, Y, k, n).MSE;
  const auto Work = NewWorkMatrix();
  const int Observations = std::max(n, 0);  // n is not checked here; MVRegression rejects it
  for (int i = 0; i < Observations; ++i) (*Work)[0][i] = 1.0;
  std::string Lines;
  for (int j = 1; j <= Table.Lines - 1; ++j) {
    TCombinationRec& Rec = Table.Entries[j - 1];
    const int m = Rec.Count;
    for (int v = 0; v < m; ++v) {
      const TObsArray& Source = X[Rec.Vars[v]];
      std::copy_n(Source.begin(), Observations, (*Work)[v + 1].begin());
    }
    const TMultStatRec Fit = Korlen.MVRegression(Work.get(), Y, m, n);
    Rec.Cp = Korlen.CalcCp(m, n, Fit.SSE, MSEk);
    Rec.F = Fit.F;
    Rec.MSE = Korlen.CalcMSEp(m, n, Fit.SSE);
    Rec.R2 = Fit.R2;
    Rec.Simp = Finite(1 - Div(m, k));
    Lines += Format(" %10.4f ", {Rec.Cp}) + Format(" %10.4f ", {Rec.F}) + Format(" %10.4f ", {Rec.MSE}) +
             Format(" %10.4f ", {Rec.R2}) + " " + Label(j, Rec) + "\r\n";
  }
  return Lines;
}

Single ToSingle(Extended x) {
  if (std::fabs(Finite(x)) > FLT_MAX) throw EOverflow();
  return static_cast<Single>(x);
}

// Turns MSE into accuracy and Simp into scaled simplicity for all L entries
// and returns the number of the first entry (1..L-1) of highest index.
int RateCombinations(TCombinationTable& Table, Single AccWeight, Single SimpWeight, Extended& Best) {
  Extended MaxMSE = kNoMaximum, MaxSimp = kNoMaximum;
  for (int j = 0; j < Table.Lines; ++j) {
    if (Finite(Table.Entries[j].MSE) > MaxMSE) MaxMSE = Table.Entries[j].MSE;
    if (Finite(Table.Entries[j].Simp) > MaxSimp) MaxSimp = Table.Entries[j].Simp;
  }
  for (int j = 0; j < Table.Lines; ++j) {
    TCombinationRec& Rec = Table.Entries[j];
    Rec.MSE = Finite(1 - Div(Rec.MSE, MaxMSE));
    Rec.Simp = Div(Rec.Simp, MaxSimp);
    Rec.Index = ToSingle(Rec.MSE * Extended(AccWeight) + Rec.Simp * Extended(SimpWeight));
  }
  Best = -1E22L;
  int BestNumber = 0;
  for (int j = 1; j <= Table.Lines - 1; ++j) {
    if (Extended(Table.Entries[j - 1].Index) > Best) {
      Best = Table.Entries[j - 1].Index;
      BestNumber = j;
    }
  }
  return BestNumber;
}

}  // namespace

std::string TKorlen::MVStepwiseVarSelection(const TRegressData* X, std::span<const double> Y, Byte k, int n,
                                            Single AccWeight, Single SimpWeight, const std::string& Title) {
  const std::string FileName = "vars" + IntToStr(k) + ".txt";
  if (!FileExists(FileName) || k > 8) return "";
  // The working matrix and the data matrix hold MaxObs observations.
  if (X == nullptr || n > MaxObs || !Holds(Y, n)) return "";
  std::string Report;
  const bool Done = Guard("Error in StepwiseVarSelection", [&] {
    TCombinationTable Table = ReadCombinationFile(FileName, k);
    Report = Title + "\r\n\r\n" + "        C          F          MSE          R2         #   Vars" + "\r\n";
    Report += FitCombinations(*this, *X, Y, k, n, Table);
    Extended Best = 0;
    const int BestNumber = RateCombinations(Table, AccWeight, SimpWeight, Best);
    Report += "\r\nVariable Combinations Weighted Index Factors: \r\nWeights applied to parameters:\r\n";
    Report += "Acc., Simp.: " + FormatFloat("0.00", AccWeight) + " " + FormatFloat("0.00", SimpWeight) + "\r\n\r\n";
    Report += "Max: " + FloatToStr(Best) + " Model#: " + IntToStr(BestNumber) + "\r\n";
  });
  if (!Done) Report.clear();
  return Report;  // moved, not copied: nothing past the guard allocates
}

}  // namespace varnel
