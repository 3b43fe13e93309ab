// SPDX-License-Identifier: Apache-2.0
// A picture as data: panels of series, each drawn in one of a few styles.
// The figure builders say what is drawn; one writer (gnuplot_script) says
// how, so that every picture shares its look.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace varnel::cli {

enum class TStyle {
  Points,      // the observations: open circles
  Smoother,    // a lowess line through them
  Reference,   // a dotted grey line: zero, a Q-Q line
  Contour,     // a dashed line: Cook's distance levels
  Labels,      // Texts at (X, Y): row numbers, variable names
  RightLabels, // Labels ending at their points (the writer's choice near a panel's right edge)
  Bars,        // boxes centred at X, Y high, Width wide
  Profile,     // a line with points: a cumulative proportion
  Arrows,      // from the origin to (X, Y): loadings
  Group,       // the observations of group Group: a colour and a symbol of their own
  Centres,     // the centres of the groups: large circles with Texts inside
};

struct TSeries {
  TStyle Style = TStyle::Points;
  std::string Key;                 // the legend's entry; empty: none
  std::vector<double> X, Y, Width;
  std::vector<std::string> Texts;  // Labels: one per point
  int Group = 0;
};

inline TSeries SeriesOf(TStyle Style, std::vector<double> X, std::vector<double> Y, std::string Key = "") {
  TSeries S;
  S.Style = Style;
  S.X = std::move(X);
  S.Y = std::move(Y);
  S.Key = std::move(Key);
  return S;
}

struct TAxisRange {
  double Low = 0, High = 1;
};

// gnuplot's placings of a legend: below the panel, in a row, it hides no data.
inline const char* const kKeyBelow = "outside bottom center horizontal";

struct TPanel {
  std::string Title, XLabel, YLabel;
  std::optional<TAxisRange> XRange, YRange;  // none: the data's range widened by 4 %
  std::vector<std::string> XTicNames;        // names at x = 1, 2, ...; empty: numbers
  // The biplot's second scale: the top and right axes show the panel's
  // coordinates times this.
  std::optional<double> SecondScale;
  std::string KeyPlace = kKeyBelow;
  bool Square = false;                       // one unit as long on both axes
  std::vector<TSeries> Series;
};

inline TPanel PanelOf(std::string Title, std::string XLabel, std::string YLabel) {
  TPanel P;
  P.Title = std::move(Title);
  P.XLabel = std::move(XLabel);
  P.YLabel = std::move(YLabel);
  return P;
}

struct TFigure {
  std::string Title;
  int Rows = 1, Columns = 1;
  std::vector<TPanel> Panels;
};

}  // namespace varnel::cli
