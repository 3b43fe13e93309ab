// SPDX-License-Identifier: Apache-2.0
// describe's picture: a histogram of each variable.
//
// Histograms rather than a scatterplot matrix: describe's figures are each
// variable's location, spread and shape (quartiles, skew, kurtosis), which
// a histogram shows; it serves every variable (up to 25), where a matrix
// stops at 8, and the pairs a matrix would show are the correlation table's.
#include <algorithm>
#include <cmath>

#include "plots/figures.h"
#include "plots/plot_statistics.h"

namespace varnel::cli {
namespace {

TPanel Histogram(const std::string& Name, const std::vector<double>& Values) {
  TPanel P = PanelOf("", Name, "Frequency");
  const auto [Low, High] = std::minmax_element(Values.begin(), Values.end());
  const std::vector<double> Breaks = PrettyBreaks(*Low, *High, SturgesClasses(static_cast<int>(Values.size())));
  const std::vector<int> Counts = BinCounts(Values, Breaks);
  TSeries Bars = SeriesOf(TStyle::Bars, {}, {});
  for (std::size_t b = 0; b < Counts.size(); ++b) {
    Bars.X.push_back((Breaks[b] + Breaks[b + 1]) / 2);
    Bars.Y.push_back(Counts[b]);
    Bars.Width.push_back(Breaks[b + 1] - Breaks[b]);
  }
  const double Margin = 0.04 * (Breaks.back() - Breaks.front());
  P.XRange = TAxisRange{Breaks.front() - Margin, Breaks.back() + Margin};
  P.YRange = TAxisRange{0, 1.06 * *std::max_element(Counts.begin(), Counts.end())};
  P.Series = {std::move(Bars)};
  return P;
}

// Names[j] over Values[j], each of n values; the last is the response.
TFigure Histograms(const std::vector<std::string>& Names, const std::vector<const std::vector<double>*>& Values,
                   std::size_t n) {
  const int Count = static_cast<int>(Values.size());
  const int Columns = static_cast<int>(std::ceil(std::sqrt(Count)));
  TFigure F{"Histograms of the " + std::to_string(Count) + " variables (R's Sturges breaks), n = " + std::to_string(n),
            (Count + Columns - 1) / Columns, Columns, {}};
  if (n == 0) return F;
  for (std::size_t j = 0; j < Values.size(); ++j) F.Panels.push_back(Histogram(Names[j], *Values[j]));
  return F;
}

}  // namespace

TFigure HistogramFigure(const TAnalysisData& Data) {
  std::vector<std::string> Names = Data.XNames;
  Names.push_back(Data.YName);
  std::vector<const std::vector<double>*> Values;
  for (const auto& Column : Data.X) Values.push_back(&Column);
  Values.push_back(&Data.Y);
  return Histograms(Names, Values, static_cast<std::size_t>(Data.N()));
}

TFigure HistogramFigure(const TVariableSeries& Variables) {
  std::vector<const std::vector<double>*> Values;
  for (const auto& Column : Variables.Values) Values.push_back(&Column);
  return Histograms(Variables.Names, Values, Variables.Values.empty() ? 0 : Variables.Values.front().size());
}

}  // namespace varnel::cli
