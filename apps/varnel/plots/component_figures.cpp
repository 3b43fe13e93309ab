// SPDX-License-Identifier: Apache-2.0
// pca's scree plot and biplot, and cluster's picture on the components.
#include <algorithm>
#include <cmath>
#include <memory>

#include "plots/figures.h"
#include "plots/plot_statistics.h"

namespace varnel::cli {
namespace {

std::string Share(const std::string& Component, double Proportion) {
  const long Tenths = std::lround(Proportion * 1000);
  return Component + " (" + std::to_string(Tenths / 10) + "." + std::to_string(Tenths % 10) + " % of the variance)";
}

TPanel ScreePanel(const std::vector<double>& Proportion, const std::vector<double>& Cumulative,
                  const std::vector<std::string>& Names, bool Scaled) {
  TPanel P = PanelOf("Scree plot (" + std::string(Scaled ? "correlation" : "covariance") + " matrix)",
                     "Principal component", "Proportion of variance");
  P.XTicNames = Names;
  P.KeyPlace = "center right";
  const auto k = static_cast<double>(Proportion.size());
  P.XRange = TAxisRange{0.4, k + 0.6};
  P.YRange = TAxisRange{0, 1.05};
  std::vector<double> Position;
  for (std::size_t j = 1; j <= Proportion.size(); ++j) Position.push_back(static_cast<double>(j));
  TSeries Bars = SeriesOf(TStyle::Bars, Position, Proportion, "each component");
  Bars.Width.assign(Position.size(), 0.6);
  P.Series = {std::move(Bars), SeriesOf(TStyle::Profile, Position, Cumulative, "cumulative")};
  return P;
}

// R's biplot(prcomp(...)): the scores divided by sdev·√n, the loadings
// times it, the loadings' scale (top and right axes) chosen so that the
// longest arrow fits the points' frame; arrows reach 0.8 of a loading, its
// name sits at the loading.
TPanel Biplot(const TComponentSeries& C) {
  const double n = static_cast<double>(C.Score1.size());
  std::vector<double> X = C.Score1, Y = C.Score2, LX = C.Loading1, LY = C.Loading2;
  const std::vector<double>& SDev = C.SDev;
  const std::vector<double>& Proportion = C.Proportion;
  const double L1 = SDev[0] * std::sqrt(n), L2 = SDev[1] * std::sqrt(n);
  for (auto& v : X) v /= L1;
  for (auto& v : Y) v /= L2;
  for (auto& v : LX) v *= L1;
  for (auto& v : LY) v *= L2;
  const auto Unsigned = [](const std::vector<double>& v) {
    const auto [Low, High] = std::minmax_element(v.begin(), v.end());
    return TAxisRange{-std::fabs(*Low), std::fabs(*High)};
  };
  const TAxisRange RX = Unsigned(X), RY = Unsigned(Y), LRX = Unsigned(LX), LRY = Unsigned(LY);
  const TAxisRange Frame{std::min(RX.Low, RY.Low), std::max(RX.High, RY.High)};
  const double Ratio = std::max({LRX.Low / Frame.Low, LRX.High / Frame.High, LRY.Low / Frame.Low, LRY.High / Frame.High});
  const double Margin = 0.04 * (Frame.High - Frame.Low);
  TPanel P = PanelOf("Biplot: observations (scores) and variables (loadings, arrows)", Share("PC1", Proportion[0]),
                     Share("PC2", Proportion[1]));
  P.XRange = P.YRange = TAxisRange{Frame.Low - Margin, Frame.High + Margin};
  P.Square = true;
  P.SecondScale = Ratio;
  TSeries Points = SeriesOf(TStyle::Points, X, Y);
  TSeries Arrows = SeriesOf(TStyle::Arrows, {}, {}), Names = SeriesOf(TStyle::Labels, {}, {});
  for (std::size_t v = 0; v < LX.size(); ++v) {
    Arrows.X.push_back(0.8 * LX[v] / Ratio);
    Arrows.Y.push_back(0.8 * LY[v] / Ratio);
    Names.X.push_back(LX[v] / Ratio);
    Names.Y.push_back(LY[v] / Ratio);
    Names.Texts.push_back(C.Variables[v]);
  }
  P.Series = {std::move(Points), std::move(Arrows), std::move(Names)};
  // Few observations are named by their rows, as R's biplot names them.
  if (n <= 60) {
    TSeries Rows = SeriesOf(TStyle::Labels, X, Y);
    for (const long long Row : C.Rows) Rows.Texts.push_back(std::to_string(Row));
    P.Series.push_back(std::move(Rows));
  }
  return P;
}

}  // namespace

TFigure ComponentsFigure(const TMeta& Meta, const TComponentSeries& Components) {
  const std::size_t k = Components.SDev.size();
  TFigure F{"Principal components of " + std::to_string(Components.Names.size()) + " variables, n = " +
                std::to_string(Meta.N),
            1, k >= 2 ? 2 : 1, {}};
  F.Panels.push_back(ScreePanel(Components.Proportion, Components.Cumulative, Components.Names, Components.Scaled));
  if (k >= 2) F.Panels.push_back(Biplot(Components));
  return F;
}

TFigure ClusterFigure(TKorlen& Korlen, const TAnalysisData& Data, const TClusterSeries& Clusters) {
  const int k = Data.K(), n = Data.N();
  const auto Scores = std::make_unique<TRegressData>();
  const TPrincipalComponentsRec P =
      Korlen.MVPrincipalComponents(Korlen.PRegressData, static_cast<Byte>(k), n, false, Scores.get());
  TClusterSeries Drawn{Clusters.Centres, Clusters.Cluster, TClusterProjection{}};
  TClusterProjection& On = *Drawn.Projection;
  const bool Plane = k >= 2;
  for (int j = 0; j < k; ++j) {
    On.Mean.push_back(static_cast<double>(P.Centre[j]));
    On.Rotation1.push_back(static_cast<double>(P.Rotation[j][0]));
    if (Plane) On.Rotation2.push_back(static_cast<double>(P.Rotation[j][1]));
  }
  for (int t = 0; t < n; ++t) {
    On.Score1.push_back((*Scores)[1][t]);
    if (Plane) On.Score2.push_back((*Scores)[2][t]);
    On.Rows.push_back(Data.RowNumber(t));
  }
  // A failed analysis leaves the picture without its panel.
  if (P.N != 0) {
    On.Proportion.push_back(static_cast<double>(P.Proportion[0]));
    if (Plane) On.Proportion.push_back(static_cast<double>(P.Proportion[1]));
  }
  return ClusterFigure(Drawn);
}

TFigure ClusterFigure(const TClusterSeries& Clusters) {
  const TClusterProjection& On = Clusters.Projection.value();
  const std::size_t k = On.Mean.size(), n = On.Score1.size(), Groups = Clusters.Centres.size();
  TFigure F{"k-means: " + std::to_string(Groups) + " clusters of " + std::to_string(n) + " observations on " +
                std::to_string(k) + " variables",
            1, 1, {}};
  if (On.Proportion.empty()) return F;
  const bool Plane = k >= 2;
  TPanel Panel = PanelOf("The observations on the first two principal components (covariance matrix), by cluster",
                         Share("PC1", On.Proportion[0]), Plane ? Share("PC2", On.Proportion[1]) : "Observation");
  Panel.KeyPlace = "outside right top vertical";
  for (std::size_t c = 0; c < Groups; ++c) {
    TSeries G = SeriesOf(TStyle::Group, {}, {});
    G.Group = static_cast<int>(c);
    for (std::size_t t = 0; t < n; ++t) {
      if (Clusters.Cluster[t] != static_cast<int>(c + 1)) continue;
      G.X.push_back(On.Score1[t]);
      G.Y.push_back(Plane ? On.Score2[t] : static_cast<double>(On.Rows[t]));
    }
    G.Key = "cluster " + std::to_string(c + 1) + " (" + std::to_string(G.X.size()) + ")";
    Panel.Series.push_back(std::move(G));
  }
  // The centres on the same components: (centre − mean) · rotation.
  TSeries Marks = SeriesOf(TStyle::Centres, {}, {}, "centres");
  for (std::size_t c = 0; c < Groups && Plane; ++c) {
    double Projected[2] = {0, 0};
    for (std::size_t j = 0; j < k; ++j) {
      const double d = Clusters.Centres[c][j] - On.Mean[j];
      Projected[0] += d * On.Rotation1[j];
      Projected[1] += d * On.Rotation2[j];
    }
    Marks.X.push_back(Projected[0]);
    Marks.Y.push_back(Projected[1]);
    Marks.Texts.push_back(std::to_string(c + 1));
  }
  if (Plane) Panel.Series.push_back(std::move(Marks));
  F.Panels = {std::move(Panel)};
  return F;
}

}  // namespace varnel::cli
