// SPDX-License-Identifier: Apache-2.0
// What the pictures draw, against R 4.2's plot(lm(Fertility ~ ., swiss))
// and prcomp/biplot figures for the same data.
#include "plots/figures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "analyses.h"
#include "plots/gnuplot_script.h"

namespace varnel::cli {
namespace {

TAnalysisData Swiss() {
  const std::string Path = std::string(VARNEL_EXAMPLES) + "/swiss.csv";
  const TCsvTable Table =
      ReadCsv(Path, {}, [&](const std::vector<std::string>& Names) { return PickColumns(Names, Path, "Fertility", {}); });
  return SelectColumns(Table, Path, "", {});
}

TCommandResults Analysed(TAnalysisRun Run, const TAnalysisData& Data, TKorlen& Korlen) {
  Load(Korlen, Data);
  TCommandResults Out;
  Out.Results.Meta.Response = Data.YName;
  Out.Results.Meta.Predictors = Data.XNames;
  Out.Results.Meta.N = Data.N();
  EXPECT_EQ(Run(Korlen, Data, TOptions{}, Out), 0);
  return Out;
}

const TSeries& Nth(const TPanel& Panel, TStyle Style, int n = 0) {
  for (const TSeries& S : Panel.Series)
    if (S.Style == Style && n-- == 0) return S;
  throw std::logic_error("no such series in " + Panel.Title);
}

// The point of a series with the given x (to 12 digits), as R's figures name it.
double YAt(const TSeries& S, double X) {
  for (std::size_t i = 0; i < S.X.size(); ++i)
    if (std::fabs(S.X[i] - X) <= 1e-12 * std::fabs(X)) return S.Y[i];
  ADD_FAILURE() << "no point at " << X;
  return NAN;
}

TEST(DiagnosticFigureTest, DrawsRsPointsSmoothersAndReferenceLines) {
  const auto Korlen = std::make_unique<TKorlen>();
  const TAnalysisData Data = Swiss();
  const TCommandResults Out = Analysed(RunDiagnose, Data, *Korlen);
  const TFigure F = DiagnosticFigure(Out.Results.Meta, Out.Typed.Observations.value());
  ASSERT_EQ(F.Panels.size(), 4u);
  EXPECT_EQ(F.Title, "Regression diagnostics: lm(Fertility ~ Agriculture + Examination + Education + Catholic + "
                     "Infant.Mortality), n = 47");
  const double Digits = 1e-10;

  // Residuals against fitted values, with lowess(fitted, residuals).
  const TPanel& Residuals = F.Panels[0];
  EXPECT_NEAR(YAt(Nth(Residuals, TStyle::Points), 76.878690318037343), 15.321309681962665, Digits * 15);
  const TSeries& Smooth1 = Nth(Residuals, TStyle::Smoother);
  EXPECT_NEAR(Smooth1.X[0], 34.797626340293576, Digits * 35);
  EXPECT_NEAR(Smooth1.Y[0], 0.9972357914214568, Digits);
  EXPECT_NEAR(Smooth1.Y[23], -0.50422604408956762, Digits);
  EXPECT_NEAR(Smooth1.Y[46], 0.732461523471855, Digits);
  EXPECT_EQ(Nth(Residuals, TStyle::Reference).Y, (std::vector<double>{0, 0}));
  EXPECT_EQ(Nth(Residuals, TStyle::Labels).Texts, (std::vector<std::string>{"37", "47", "6"}));

  // Normal Q-Q: qqnorm's theoretical quantiles and qqline through the quartiles.
  const TPanel& QQ = F.Panels[1];
  const TSeries& Quantiles = Nth(QQ, TStyle::Points);
  EXPECT_NEAR(YAt(Quantiles, 2.3030399445897807), 2.3090358698576505, Digits);  // row 37
  EXPECT_EQ(Nth(QQ, TStyle::Labels).Texts, (std::vector<std::string>{"37", "47", "6"}));
  EXPECT_NEAR(Quantiles.X[1], -1.8533669070077186, Digits);  // row 6, the second smallest
  const TSeries& Line = Nth(QQ, TStyle::Reference);
  const double Slope = (Line.Y[1] - Line.Y[0]) / (Line.X[1] - Line.X[0]);
  EXPECT_NEAR(Slope, 1.0255991015553139, Digits);
  EXPECT_NEAR(Line.Y[0] - Slope * Line.X[0], -0.073618158859160121, Digits);

  // Scale-location: √|rstandard| with its lowess.
  const TPanel& Scale = F.Panels[2];
  EXPECT_NEAR(Nth(Scale, TStyle::Points).Y[46], 1.5057127530343049, Digits);
  const TSeries& Smooth3 = Nth(Scale, TStyle::Smoother);
  EXPECT_NEAR(Smooth3.Y[0], 0.4392155153294201, Digits);
  EXPECT_NEAR(Smooth3.Y[23], 0.80267607954111442, Digits);
  EXPECT_NEAR(Smooth3.Y[46], 1.0147941637148923, Digits);

  // Residuals against leverage: lowess(hat, rstandard), Cook's distance
  // 0.5 and 1 from min(min(h), max(h) / 100), here the latter, to the right edge.
  const TPanel& Leverage = F.Panels[3];
  const TSeries& Smooth5 = Nth(Leverage, TStyle::Smoother);
  EXPECT_NEAR(Smooth5.X[0], 0.053282095178121713, Digits);
  EXPECT_NEAR(Smooth5.Y[0], 0.067362573603136106, Digits);
  EXPECT_NEAR(Smooth5.Y[23], -0.22792257505426414, Digits);
  EXPECT_NEAR(Smooth5.Y[46], 0.21330590645191494, Digits);
  ASSERT_TRUE(Leverage.XRange);
  EXPECT_NEAR(Leverage.XRange->High, 1.04 * 0.4558363114878935, Digits);
  for (const auto& [Index, Level] : {std::pair{0, 0.5}, std::pair{2, 1.0}}) {
    const TSeries& Upper = Nth(Leverage, TStyle::Contour, Index), &Lower = Nth(Leverage, TStyle::Contour, Index + 1);
    ASSERT_EQ(Upper.X.size(), 101u);
    EXPECT_NEAR(Upper.X.front(), 0.4558363114878935 / 100, Digits);
    EXPECT_NEAR(Upper.X.back(), Leverage.XRange->High, Digits);
    for (const std::size_t i : {std::size_t{0}, std::size_t{50}, std::size_t{100}}) {
      const double h = Upper.X[i];
      EXPECT_NEAR(Upper.Y[i], std::sqrt(Level * 6 * (1 - h) / h), Digits) << Level;
      EXPECT_EQ(Lower.Y[i], -Upper.Y[i]);
    }
  }
  EXPECT_EQ(Nth(Leverage, TStyle::Contour).Key, "Cook's distance");
  // Cook's distance above 4/n, largest first: R's order(-cooks.distance(fit)).
  EXPECT_EQ(Nth(Leverage, TStyle::Labels, 2).Texts, (std::vector<std::string>{"6", "37", "42", "47", "46"}));
}

// An aliased predictor adds no coefficient: R's plot(lm) draws Cook's
// distance contours with p the fit's rank, so the panels are those of the
// fit without it.
TEST(DiagnosticFigureTest, AnAliasedPredictorChangesNoPanel) {
  const TAnalysisData Data = Swiss();
  TAnalysisData WithCopy = Data;
  WithCopy.XNames.push_back("Copy");
  WithCopy.X.push_back(WithCopy.X[0]);
  const auto Korlen = std::make_unique<TKorlen>();
  const TCommandResults Plain = Analysed(RunDiagnose, Data, *Korlen);
  const TCommandResults Aliased = Analysed(RunDiagnose, WithCopy, *Korlen);
  const TFigure A = DiagnosticFigure(Plain.Results.Meta, Plain.Typed.Observations.value());
  const TFigure B = DiagnosticFigure(Plain.Results.Meta, Aliased.Typed.Observations.value());
  ASSERT_EQ(A.Panels.size(), B.Panels.size());
  for (std::size_t p = 0; p < A.Panels.size(); ++p) {
    ASSERT_EQ(A.Panels[p].Series.size(), B.Panels[p].Series.size()) << p;
    for (std::size_t s = 0; s < A.Panels[p].Series.size(); ++s) {
      const TSeries &a = A.Panels[p].Series[s], &b = B.Panels[p].Series[s];
      ASSERT_EQ(a.X.size(), b.X.size()) << p << "," << s;
      for (std::size_t i = 0; i < a.X.size(); ++i) {
        EXPECT_NEAR(a.X[i], b.X[i], 1e-9 * (1 + std::fabs(a.X[i]))) << p << "," << s << "," << i;
        EXPECT_NEAR(a.Y[i], b.Y[i], 1e-9 * (1 + std::fabs(a.Y[i]))) << p << "," << s << "," << i;
      }
    }
  }
}

TEST(ComponentsFigureTest, DrawsTheScreeAndRsBiplotScaling) {
  const auto Korlen = std::make_unique<TKorlen>();
  const TCommandResults Out = Analysed(RunPca, Swiss(), *Korlen);
  const TFigure F = ComponentsFigure(Out.Results.Meta, Out.Typed.Components.value());
  ASSERT_EQ(F.Panels.size(), 2u);
  // prcomp(swiss[, -1], scale. = TRUE), each component turned so that its
  // largest loading is positive (PC1 is R's turned round).
  const TSeries& Bars = Nth(F.Panels[0], TStyle::Bars);
  ASSERT_EQ(Bars.Y.size(), 5u);
  EXPECT_NEAR(Bars.Y[0], 0.526700155040921, 1e-12);
  EXPECT_NEAR(Nth(F.Panels[0], TStyle::Profile).Y[1], 0.741146963952725, 1e-12);
  EXPECT_EQ(F.Panels[0].XTicNames, (std::vector<std::string>{"PC1", "PC2", "PC3", "PC4", "PC5"}));
  // biplot(): scores over sdev·√n, the frame's second scale the largest
  // ratio of the loadings' reach to the scores'.
  const TPanel& Biplot = F.Panels[1];
  const TSeries& Points = Nth(Biplot, TStyle::Points);
  EXPECT_NEAR(Points.X[0], 0.0844057649969367, 1e-12);
  EXPECT_NEAR(Points.Y[0], 0.113356617892461, 1e-12);
  ASSERT_TRUE(Biplot.SecondScale);
  EXPECT_NEAR(*Biplot.SecondScale, 16.4115599230766, 1e-11);
  const TSeries& Arrows = Nth(Biplot, TStyle::Arrows);
  EXPECT_NEAR(Arrows.X[0] * *Biplot.SecondScale / 0.8, -5.82931511583802, 1e-11);
  EXPECT_NEAR(Arrows.Y[4] * *Biplot.SecondScale / 0.8, 6.19011131451292, 1e-11);
  EXPECT_EQ(Nth(Biplot, TStyle::Labels).Texts[4], "Infant.Mortality");
  EXPECT_TRUE(Biplot.Square);
}

// A centre is its members' mean, and the projection on the components is
// linear: each numbered centre must sit at the mean of its cluster's points.
TEST(ClusterFigureTest, PutsEachCentreAtItsClustersMeanOnTheComponents) {
  const auto Korlen = std::make_unique<TKorlen>();
  const TAnalysisData Data = Swiss();
  const TCommandResults Out = Analysed(RunCluster, Data, *Korlen);
  const TFigure F = ClusterFigure(*Korlen, Data, Out.Typed.Clusters.value());
  ASSERT_EQ(F.Panels.size(), 1u);
  const TSeries& Centres = Nth(F.Panels[0], TStyle::Centres);
  ASSERT_EQ(Centres.X.size(), 3u);
  std::size_t Points = 0;
  for (int c = 0; c < 3; ++c) {
    const TSeries& Group = Nth(F.Panels[0], TStyle::Group, c);
    double X = 0, Y = 0;
    for (std::size_t i = 0; i < Group.X.size(); ++i) {
      X += Group.X[i];
      Y += Group.Y[i];
    }
    const auto n = static_cast<double>(Group.X.size());
    EXPECT_NEAR(Centres.X[static_cast<std::size_t>(c)], X / n, 1e-9);
    EXPECT_NEAR(Centres.Y[static_cast<std::size_t>(c)], Y / n, 1e-9);
    EXPECT_EQ(Group.Key, "cluster " + std::to_string(c + 1) + " (" + std::to_string(Group.X.size()) + ")");
    Points += Group.X.size();
  }
  EXPECT_EQ(Points, 47u);
}

TEST(HistogramFigureTest, DrawsRsHistOfEachVariable) {
  const TFigure F = HistogramFigure(Swiss());
  ASSERT_EQ(F.Panels.size(), 6u);
  EXPECT_EQ(F.Rows * F.Columns, 6);
  const TPanel& Catholic = F.Panels[3];
  EXPECT_EQ(Catholic.XLabel, "Catholic");
  // hist(swiss$Catholic): breaks 0, 10, ..., 100.
  const TSeries& Bars = Nth(Catholic, TStyle::Bars);
  EXPECT_EQ(Bars.Y, (std::vector<double>{20, 6, 1, 1, 1, 2, 0, 0, 1, 15}));
  EXPECT_DOUBLE_EQ(Bars.X.front(), 5);
  EXPECT_DOUBLE_EQ(Bars.Width.back(), 10);
  EXPECT_EQ(F.Panels.back().XLabel, "Fertility");
}

}  // namespace
}  // namespace varnel::cli
