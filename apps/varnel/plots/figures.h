// SPDX-License-Identifier: Apache-2.0
// What each command draws, from its typed results (and, for the clusters
// and the histograms, the data): the pictures an analyst looks at first.
#pragma once

#include <varnel/korlen.h>

#include "data_set.h"
#include "plots/figure.h"
#include "analyses.h"
#include "results.h"

namespace varnel::cli {

// diagnose: R's plot(lm) panels of the fit's observations: residuals
// against fitted values, the normal Q-Q plot and the scale-location plot of
// the standardised residuals, and standardised residuals against leverage
// with Cook's distance at 0.5 and 1. Smoothers are R's lowess (f = 2/3,
// three robustness passes). Rows of leverage 1, whose standardised residual
// is not defined, are in the first panel only, as in R's. Labelled with
// their row numbers: the ten at most with the largest |standardised
// residual| above 2, and in the last panel with the largest Cook's distance
// above 4/n, leaving out a label that would cover another.
TFigure DiagnosticFigure(const TMeta& Meta, const TObservationSeries& Observations);

// pca: the scree plot (each component's share of the variance, and the
// cumulative share) and R's biplot of the first two components.
TFigure ComponentsFigure(const TMeta& Meta, const TComponentSeries& Components);

// cluster: the observations on the first two principal components of
// their covariance matrix (k-means' own distances), each cluster a colour
// and a symbol, the centres marked and numbered.
TFigure ClusterFigure(TKorlen& Korlen, const TAnalysisData& Data, const TClusterSeries& Clusters);
// The same from the projection the clusters carry (beyond the box).
TFigure ClusterFigure(const TClusterSeries& Clusters);

// describe: a histogram of each variable, with R's hist() breaks.
TFigure HistogramFigure(const TAnalysisData& Data);
// The same of the columns' values (beyond the box).
TFigure HistogramFigure(const TVariableSeries& Variables);

}  // namespace varnel::cli
