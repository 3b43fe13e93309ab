// SPDX-License-Identifier: Apache-2.0
// diagnose's four panels, drawn as R's plot(lm) draws them.
#include <algorithm>
#include <cmath>
#include <numeric>

#include <varnel/dist/distributions.h>

#include "plots/figures.h"
#include "plots/plot_statistics.h"

namespace varnel::cli {

namespace {

constexpr std::size_t kMostLabels = 10;

// The observations of one panel: x, y, and the row numbers that name them.
struct TCloud {
  std::vector<double> X, Y;
  std::vector<std::string> Names;
  std::vector<double> Rank;  // what picks the labelled ones: larger first
};

// The observations whose Rank passes Threshold, the largest first, at most
// ten, leaving out those whose label would cover one already placed.
TSeries Labels(const TCloud& C, double Threshold, const TPanel& P) {
  std::vector<std::size_t> Order(C.X.size());
  std::iota(Order.begin(), Order.end(), std::size_t{0});
  std::stable_sort(Order.begin(), Order.end(), [&](std::size_t a, std::size_t b) { return C.Rank[a] > C.Rank[b]; });
  const double Wide = P.XRange->High - P.XRange->Low, High = P.YRange->High - P.YRange->Low;
  // A label's digits take about 1.5 % of a panel's width each.
  const auto Crowded = [&](const TSeries& S, std::size_t i) {
    for (std::size_t l = 0; l < S.X.size(); ++l) {
      const double Width = 0.015 * Wide * static_cast<double>(std::max(S.Texts[l].size(), C.Names[i].size()) + 1);
      if (std::fabs(S.X[l] - C.X[i]) < Width && std::fabs(S.Y[l] - C.Y[i]) < 0.05 * High) return true;
    }
    return false;
  };
  TSeries S = SeriesOf(TStyle::Labels, {}, {});
  for (std::size_t r = 0; r < Order.size() && S.X.size() < kMostLabels && C.Rank[Order[r]] > Threshold; ++r) {
    const std::size_t i = Order[r];
    if (Crowded(S, i)) continue;
    S.X.push_back(C.X[i]);
    S.Y.push_back(C.Y[i]);
    S.Texts.push_back(C.Names[i]);
  }
  return S;
}

TSeries Smoother(const TCloud& C) {
  TSmooth L = Lowess(C.X, C.Y);
  return SeriesOf(TStyle::Smoother, std::move(L.X), std::move(L.Y), "lowess");
}

TSeries Horizontal(double y, const TAxisRange& X) { return SeriesOf(TStyle::Reference, {X.Low, X.High}, {y, y}); }

// The observations of the panels.
struct TObservations {
  std::vector<double> Fitted, Residual, Hat, Cook, Standard;
  std::vector<std::string> Rows;
  int Terms = 0;
  std::size_t Count() const { return Fitted.size(); }
};

// With Defined, only the observations whose standardised residual is
// defined (R leaves those of leverage 1 out of all but the first panel).
TObservations ObservationsOf(const TObservationSeries& S, bool Defined) {
  TObservations O;
  for (std::size_t i = 0; i < S.Fitted.size(); ++i) {
    if ((Defined && !std::isfinite(S.StdResid[i])) || !std::isfinite(S.Fitted[i]) || !std::isfinite(S.Residual[i]))
      continue;
    O.Fitted.push_back(S.Fitted[i]);
    O.Residual.push_back(S.Residual[i]);
    O.Hat.push_back(S.Hat[i]);
    O.Cook.push_back(S.CooksD[i]);
    O.Standard.push_back(S.StdResid[i]);
    O.Rows.push_back(std::to_string(S.Rows[i]));
  }
  O.Terms = S.Coefficients;
  return O;
}

std::vector<double> Magnitudes(const std::vector<double>& Values) {
  std::vector<double> Out(Values.size());
  std::transform(Values.begin(), Values.end(), Out.begin(), [](double v) { return std::fabs(v); });
  return Out;
}

TPanel ResidualsPanel(const TObservations& O, const std::string& Response) {
  TPanel P = PanelOf("Residuals vs Fitted", "Fitted values of " + Response, "Residuals");
  P.XRange = ExtendedRange(O.Fitted, 0.04);
  P.YRange = ExtendedRange(O.Residual, 0.08);
  const TCloud C{O.Fitted, O.Residual, O.Rows, Magnitudes(O.Standard)};
  P.Series = {Horizontal(0, *P.XRange), SeriesOf(TStyle::Points, C.X, C.Y), Smoother(C), Labels(C, 2, P)};
  return P;
}

// qqnorm's points, in increasing order (R draws them in the data's).
TPanel QuantilePanel(const TObservations& O) {
  TPanel P = PanelOf("Normal Q-Q", "Theoretical quantiles", "Standardised residuals");
  const std::size_t n = O.Count();
  std::vector<std::size_t> Order(n);
  std::iota(Order.begin(), Order.end(), std::size_t{0});
  std::stable_sort(Order.begin(), Order.end(), [&](std::size_t a, std::size_t b) { return O.Standard[a] < O.Standard[b]; });
  const std::vector<double> Positions = PlottingPositions(static_cast<int>(n));
  TCloud C;
  for (std::size_t r = 0; r < n; ++r) {
    C.X.push_back(NormalQuantile(Positions[r], TTail::Lower));
    C.Y.push_back(O.Standard[Order[r]]);
    C.Names.push_back(O.Rows[Order[r]]);
    C.Rank.push_back(std::fabs(C.Y.back()));
  }
  P.XRange = ExtendedRange(C.X, 0.04);
  P.YRange = ExtendedRange(C.Y, 0.08);
  // R's qqline: through the quartiles of the residuals and of the normal.
  const double X1 = NormalQuantile(0.25, TTail::Lower), X3 = NormalQuantile(0.75, TTail::Lower);
  const double Y1 = Quantile(O.Standard, 0.25), Y3 = Quantile(O.Standard, 0.75);
  const double Slope = (Y3 - Y1) / (X3 - X1), Intercept = Y1 - Slope * X1;
  P.Series = {SeriesOf(TStyle::Reference, {P.XRange->Low, P.XRange->High},
                       {Intercept + Slope * P.XRange->Low, Intercept + Slope * P.XRange->High}),
              SeriesOf(TStyle::Points, C.X, C.Y), Labels(C, 2, P)};
  return P;
}

TPanel ScaleLocationPanel(const TObservations& O, const std::string& Response) {
  TPanel P = PanelOf("Scale-Location", "Fitted values of " + Response, "√|Standardised residuals|");
  std::vector<double> Root(O.Count());
  std::transform(O.Standard.begin(), O.Standard.end(), Root.begin(), [](double r) { return std::sqrt(std::fabs(r)); });
  P.XRange = ExtendedRange(O.Fitted, 0.04);
  std::vector<double> WithZero = Root;
  WithZero.push_back(0);
  P.YRange = ExtendedRange(WithZero, 0.06);
  const TCloud C{O.Fitted, Root, O.Rows, Magnitudes(O.Standard)};
  P.Series = {SeriesOf(TStyle::Points, C.X, C.Y), Smoother(C), Labels(C, 2, P)};
  return P;
}

// Cook's distance Level over leverages h: |r| = √(Level · p · (1 − h) / h),
// from R's start, min(h) or max(h) / 100, to the panel's right edge.
void AddContours(TPanel& P, const TObservations& O, double Level, bool First) {
  const double Low = *std::min_element(O.Hat.begin(), O.Hat.end()), High = P.XRange->High;
  const double Start = std::min(Low, *std::max_element(O.Hat.begin(), O.Hat.end()) / 100);
  TSeries Upper = SeriesOf(TStyle::Contour, {}, {}, First ? "Cook's distance" : "");
  TSeries Lower = SeriesOf(TStyle::Contour, {}, {});
  for (int i = 0; i <= 100; ++i) {
    const double h = Start + (High - Start) * i / 100;
    const double r = std::sqrt(Level * O.Terms * (1 - h) / h);
    Upper.X.push_back(h);
    Upper.Y.push_back(r);
    Lower.X.push_back(h);
    Lower.Y.push_back(-r);
  }
  TSeries Names = SeriesOf(TStyle::Labels, {}, {});
  for (const double r : {Upper.Y.back(), Lower.Y.back()}) {
    if (r < P.YRange->Low || r > P.YRange->High) continue;
    Names.X.push_back(High - 0.06 * (High - P.XRange->Low));
    Names.Y.push_back(r);
    Names.Texts.push_back(Level == 1 ? "1" : "0.5");
  }
  P.Series.push_back(std::move(Upper));
  P.Series.push_back(std::move(Lower));
  if (!Names.X.empty()) P.Series.push_back(std::move(Names));
}

TPanel LeveragePanel(const TObservations& O) {
  TPanel P = PanelOf("Residuals vs Leverage", "Leverage", "Standardised residuals");
  const double MaxHat = *std::max_element(O.Hat.begin(), O.Hat.end());
  P.XRange = TAxisRange{-0.04 * MaxHat, 1.04 * MaxHat};
  P.YRange = ExtendedRange(O.Standard, 0.08);
  const TCloud C{O.Hat, O.Standard, O.Rows, O.Cook};
  P.Series = {Horizontal(0, *P.XRange), SeriesOf(TStyle::Reference, {0, 0}, {P.YRange->Low, P.YRange->High}),
              SeriesOf(TStyle::Points, C.X, C.Y), Smoother(C)};
  AddContours(P, O, 0.5, true);
  AddContours(P, O, 1, false);
  P.Series.push_back(Labels(C, 4.0 / static_cast<double>(O.Count()), P));
  return P;
}

// "lm(y ~ a + b + c)" while it is short, "lm(y ~ 24 predictors)" beyond.
std::string Formula(const TMeta& Meta, bool Intercept) {
  std::string Terms;
  for (const auto& Name : Meta.Predictors) Terms += (Terms.empty() ? "" : " + ") + Name;
  if (Terms.size() > 70) Terms = std::to_string(Meta.Predictors.size()) + " predictors";
  return "lm(" + Meta.Response + " ~ " + Terms + (Intercept ? "" : " + 0") + ")";
}

}  // namespace

TFigure DiagnosticFigure(const TMeta& Meta, const TObservationSeries& Observations) {
  const TObservations All = ObservationsOf(Observations, false), O = ObservationsOf(Observations, true);
  TFigure F{"Regression diagnostics: " + Formula(Meta, Observations.Intercept) + ", n = " +
                std::to_string(Observations.Fitted.size()),
            2, 2, {}};
  if (O.Count() == 0) return F;
  F.Panels = {ResidualsPanel(All, Meta.Response), QuantilePanel(O), ScaleLocationPanel(O, Meta.Response),
              LeveragePanel(O)};
  return F;
}

}  // namespace varnel::cli
