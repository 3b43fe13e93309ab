// SPDX-License-Identifier: Apache-2.0
// The pictures of data beyond the component's box: from the series the
// streamed commands gather, against R 4.2.2's figures for the same rows,
// and the same script whatever the number of threads.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "plots/figures.h"
#include "plots/gnuplot_script.h"
#include "reading/row_reader.h"
#include "reading/streamed_data.h"
#include "streamed_analyses.h"
#include "streamed_cluster.h"
#include "tool_fixture.h"

namespace varnel::cli {
namespace {

// 257 empty columns that no command reads make the blocks 4,096 rows
// (about 2 M cells each), so that 20,500 rows are six blocks merged in a
// tree and handed out to the threads.
std::string UnusedCells() { return std::string(257, ','); }

std::string UnusedNames() {
  std::string Names;
  for (int j = 1; j <= 257; ++j) Names += ",u" + std::to_string(j);
  return Names;
}

// In R:
//   u <- function(i, m) ((i * m + 12345) %% 2147483648) / 2147483648
//   i <- 1:20500; a <- 10 * u(i, 1103515245); b <- 5 * u(i, 1664525) + 1e-4 * i
//   y <- 1 + 0.5 * a - 1.5 * b + 4 * (u(i, 22695477) - 0.5) + ifelse(i %% 1000 == 0, 8, 0)
//   y[17] <- NA
std::string RegressionFile() {
  std::string Text = "a,b,y" + UnusedNames() + "\n";
  char Line[128];
  for (long long i = 1; i <= 20500; ++i) {
    const double a = 10 * Uniform(i, 1), b = 5 * Uniform(i, 2) + 1e-4 * static_cast<double>(i);
    const double y = 1 + 0.5 * a - 1.5 * b + 4 * (Uniform(i, 3) - 0.5) + (i % 1000 == 0 ? 8 : 0);
    char Y[32] = "";
    if (i != 17) std::snprintf(Y, sizeof Y, "%.17g", y);
    std::snprintf(Line, sizeof Line, "%.17g,%.17g,%s", a, b, Y);
    Text += Line + UnusedCells() + "\n";
  }
  return Text;
}

// In R, with u and i as above:
//   g <- i %% 3
//   x <- cbind(a = 4 * g + 3 * u(i, 1103515245), b = 2 * (g %% 2) + 3 * u(i, 1664525), c = 3 * u(i, 22695477))
std::string ClusterFile() {
  std::string Text = "a,b,c" + UnusedNames() + "\n";
  char Line[128];
  for (long long i = 1; i <= 20500; ++i) {
    const auto g = static_cast<double>(i % 3);
    std::snprintf(Line, sizeof Line, "%.17g,%.17g,%.17g", 4 * g + 3 * Uniform(i, 1),
                  2 * static_cast<double>(i % 3 % 2) + 3 * Uniform(i, 2), 3 * Uniform(i, 3));
    Text += Line + UnusedCells() + "\n";
  }
  return Text;
}

using TStreamedCommand = int (*)(TStreamedData&, const TOptions&, TCommandResults&);

class StreamedFiguresTest : public ToolTest {
 protected:
  // A command on Path read in blocks, as the tool runs it with --plot:
  // Y empty names no response (every column of X is clustered).
  TCommandResults Streamed(TStreamedCommand Command, const std::string& Path, const std::string& Y,
                           const std::vector<std::string>& X, std::size_t Threads) {
    const bool Response = !Y.empty();
    auto Reader = std::make_unique<TRowReader>(Path, TReadOptions{}, [&](const std::vector<std::string>& Names) {
      return PickColumns(Names, Path, Y, X, Response, kMaxStreamedPredictors);
    });
    std::vector<TRowText> First(1);
    EXPECT_TRUE(Reader->Next(BlockRowsFor(Reader->Header().Names.size()), First[0]));
    TDataRules Rules;
    Rules.NoResponse = !Response;
    TStreamedData Data(std::move(Reader), std::move(First), Rules, Threads);
    TOptions Options;
    Options.Picture = true;
    Options.Threads = Threads;
    Options.Cluster.Clusters = 3;
    TCommandResults Out;
    EXPECT_EQ(Command(Data, Options, Out), 0);
    Out.Results.Meta.Response = Data.YName();
    Out.Results.Meta.Predictors = Data.XNames();
    return Out;
  }
};

const TSeries& Nth(const TPanel& Panel, TStyle Style, int n = 0) {
  for (const TSeries& S : Panel.Series)
    if (S.Style == Style && n-- == 0) return S;
  throw std::logic_error("no such series in " + Panel.Title);
}

void ExpectDigits(double Value, double Expected, double Digits) {
  EXPECT_NEAR(Value, Expected, std::pow(10.0, -Digits) * std::fabs(Expected));
}

TEST_F(StreamedFiguresTest, EachPictureIsTheSameScriptForOneTwoAndThreeThreads) {
  const std::string Regression = Write("regression.csv", RegressionFile()), Clusters = Write("clusters.csv", ClusterFile());
  const std::vector<std::string> AB{"a", "b"};
  const auto Script = [&](int Command, std::size_t Threads) {
    switch (Command) {
      case 0: {
        const TCommandResults R = Streamed(RunStreamedDiagnose, Regression, "y", AB, Threads);
        return GnuplotScript(DiagnosticFigure(R.Results.Meta, *R.Typed.Observations), TImageFormat::Svg, {});
      }
      case 1: {
        const TCommandResults R = Streamed(RunStreamedPca, Regression, "y", AB, Threads);
        return GnuplotScript(ComponentsFigure(R.Results.Meta, *R.Typed.Components), TImageFormat::Svg, {});
      }
      case 2:
        return GnuplotScript(HistogramFigure(*Streamed(RunStreamedDescribe, Regression, "y", AB, Threads).Typed.Variables),
                             TImageFormat::Svg, {});
      default:
        return GnuplotScript(ClusterFigure(*Streamed(RunStreamedCluster, Clusters, "", {"a", "b", "c"}, Threads).Typed.Clusters),
                             TImageFormat::Svg, {});
    }
  };
  for (int Command = 0; Command < 4; ++Command) {
    const std::string One = Script(Command, 1);
    if (Command != 2) {
      EXPECT_GT(One.size(), 20499U * 10) << Command << ": every observation is drawn";
    }
    // Compared whole: a failure would print two scripts of megabytes.
    EXPECT_TRUE(Script(Command, 2) == One) << Command << ": 2 threads";
    EXPECT_TRUE(Script(Command, 3) == One) << Command << ": 3 threads";
  }
}

// R: fit <- lm(y ~ a + b); fitted, resid, hatvalues, rstandard at rows 1,
// 12345 and 20500 (row 17 is left out), lowess(fitted(fit), resid(fit))
// at its ends. The observations are the file's rows, so the labels of the
// largest standardised residuals are the rows of the outliers, 1000 apart.
TEST_F(StreamedFiguresTest, DiagnosticPanelsBeyondTheBoxAsR) {
  const TCommandResults R = Streamed(RunStreamedDiagnose, Write("regression.csv", RegressionFile()), "y", {"a", "b"}, 2);
  const TFigure F = DiagnosticFigure(R.Results.Meta, *R.Typed.Observations);
  EXPECT_EQ(F.Title, "Regression diagnostics: lm(y ~ a + b), n = 20499");
  ASSERT_EQ(F.Panels.size(), 4U);
  const TSeries& Residuals = Nth(F.Panels[0], TStyle::Points);
  const TSeries& Leverage = Nth(F.Panels[3], TStyle::Points);
  ASSERT_EQ(Residuals.X.size(), 20499U);
  struct TRow {
    std::size_t Index;  // in the file's order, row 17 left out
    double Fitted, Residual, Hat, Standard;
  };
  const TRow Rows[] = {
      {0, 3.567225674673284, -1.9615850703017068, 0.00028982274091603275, -1.6604484991542594},
      {12343, -1.8402662432933332, -0.13291365594844298, 6.92259882057055e-05, -0.11249674480510793},
      {20498, -7.6354513530066761, 0.59108049403005725, 0.00026997424026276474, 0.50033464830557384},
  };
  // 10 digits, 9 of the residuals: R's lm keeps about 10.4 of them.
  for (const TRow& Row : Rows) {
    ExpectDigits(Residuals.X[Row.Index], Row.Fitted, 10);
    ExpectDigits(Residuals.Y[Row.Index], Row.Residual, 9);
    ExpectDigits(Leverage.X[Row.Index], Row.Hat, 10);
    ExpectDigits(Leverage.Y[Row.Index], Row.Standard, 9);
  }
  const TSeries& Smooth = Nth(F.Panels[0], TStyle::Smoother);
  ExpectDigits(Smooth.X.front(), -9.1306824994814413, 10);
  ExpectDigits(Smooth.Y.front(), -0.038585024630242173, 8);
  ExpectDigits(Smooth.X.back(), 5.725293778739867, 10);
  ExpectDigits(Smooth.Y.back(), -0.040951495220568644, 8);
  const TSeries& Labels = Nth(F.Panels[0], TStyle::Labels);
  ASSERT_FALSE(Labels.Texts.empty());
  EXPECT_EQ(Labels.Texts.front(), "7000");
  for (const std::string& Row : Labels.Texts) EXPECT_EQ(std::stoll(Row) % 1000, 0) << Row;
}

// R: prcomp(x) of the clustered columns, each rotation column turned so
// that its largest entry is positive (the scores with it), colMeans(x). The
// centres drawn are the centres table's, projected; each cluster's key
// counts the table's size.
TEST_F(StreamedFiguresTest, ClusterPictureProjectsTheCentresTableOnRsComponents) {
  const TCommandResults R = Streamed(RunStreamedCluster, Write("clusters.csv", ClusterFile()), "", {"a", "b", "c"}, 3);
  const TFigure F = ClusterFigure(*R.Typed.Clusters);
  EXPECT_EQ(F.Title, "k-means: 3 clusters of 20500 observations on 3 variables");
  ASSERT_EQ(F.Panels.size(), 1U);
  const TPanel& P = F.Panels[0];
  EXPECT_EQ(P.XLabel, "PC1 (82.8 % of the variance)");  // 0.82751239777173269
  EXPECT_EQ(P.YLabel, "PC2 (11.8 % of the variance)");  // 0.11819964946474457
  const double Mean[] = {5.4996303421904491, 2.157654171416536, 1.4987637311178827};
  const double Rotation[2][3] = {{0.9999996294070761, -0.00027600784284373165, -0.00081547862092631342},
                                 {0.00027486911959927787, 0.99999898757954253, -0.0013961686349600599}};
  const TResultTable& Centres = R.Results.Tables.at(0);
  const std::vector<double> Size = NumbersOf(Centres, "size");
  const TSeries& Marks = Nth(P, TStyle::Centres);
  ASSERT_EQ(Marks.X.size(), 3U);
  for (std::size_t c = 0; c < 3; ++c) {
    double On[2] = {0, 0};
    for (std::size_t j = 0; j < 3; ++j) {
      const double d = NumbersOf(Centres, std::string(1, static_cast<char>('a' + j)))[c] - Mean[j];
      for (int pc = 0; pc < 2; ++pc) On[pc] += d * Rotation[pc][j];
    }
    EXPECT_NEAR(Marks.X[c], On[0], 1e-10 * (1 + std::fabs(On[0])));
    EXPECT_NEAR(Marks.Y[c], On[1], 1e-10 * (1 + std::fabs(On[1])));
    const TSeries& Group = Nth(P, TStyle::Group, static_cast<int>(c));
    EXPECT_EQ(static_cast<double>(Group.X.size()), Size[c]);
    EXPECT_EQ(Group.Key, "cluster " + std::to_string(c + 1) + " (" + std::to_string(Group.X.size()) + ")");
  }
  // Rows 1, 7777 and 20500 among the clusters' points, at R's scores.
  const double Scores[3][2] = {{0.043219084683767083, -0.15325167786361601},
                               {-0.53016364262459859, -0.072516784284282751},
                               {-0.84441219735962614, 2.5104375857625532}};
  for (const auto& Score : Scores) {
    int Found = 0;
    for (int c = 0; c < 3; ++c) {
      const TSeries& Group = Nth(P, TStyle::Group, c);
      for (std::size_t t = 0; t < Group.X.size(); ++t)
        Found += std::fabs(Group.X[t] - Score[0]) < 1e-11 && std::fabs(Group.Y[t] - Score[1]) < 1e-11;
    }
    EXPECT_EQ(Found, 1) << Score[0];
  }
}

// R: hist(a[-17])$counts and hist(y[-17])$counts (Sturges' breaks); and the
// scree plot's shares from prcomp(cbind(a, b)[-17, ], scale. = TRUE).
TEST_F(StreamedFiguresTest, HistogramsAndScreeBeyondTheBoxAsR) {
  const std::string File = Write("regression.csv", RegressionFile());
  const TFigure H = HistogramFigure(*Streamed(RunStreamedDescribe, File, "y", {"a", "b"}, 2).Typed.Variables);
  EXPECT_EQ(H.Title, "Histograms of the 3 variables (R's Sturges breaks), n = 20499");
  ASSERT_EQ(H.Panels.size(), 3U);
  EXPECT_EQ(H.Panels[0].XLabel, "a");
  EXPECT_EQ(H.Panels[2].XLabel, "y");
  const std::vector<double> A{1026, 1026, 1025, 1026, 1028, 1023, 1024, 1023, 1027, 1024,
                              1024, 1026, 1027, 1025, 1025, 1022, 1027, 1022, 1024, 1025};
  const std::vector<double> Y{3, 78, 231, 476, 901, 1440, 1807, 2229, 2542, 2472, 2319, 2100,
                              1603, 1085, 713, 339, 113, 41, 2, 1, 3, 0, 1};
  const TSeries& BarsA = Nth(H.Panels[0], TStyle::Bars);
  const TSeries& BarsY = Nth(H.Panels[2], TStyle::Bars);
  EXPECT_EQ(BarsA.Y, A);
  EXPECT_EQ(BarsY.Y, Y);
  EXPECT_DOUBLE_EQ(BarsA.X.front(), 0.25);  // breaks 0, 0.5, ..., 10
  EXPECT_DOUBLE_EQ(BarsY.X.front(), -10.5);  // breaks -11, -10, ..., 12

  const TCommandResults P = Streamed(RunStreamedPca, File, "y", {"a", "b"}, 2);
  const TFigure C = ComponentsFigure(P.Results.Meta, *P.Typed.Components);
  ASSERT_EQ(C.Panels.size(), 2U);
  const TSeries& Shares = Nth(C.Panels[0], TStyle::Bars);
  ExpectDigits(Shares.Y.at(0), 0.5002101129940385, 12);
  ExpectDigits(Shares.Y.at(1), 0.4997898870059615, 12);
  EXPECT_EQ(Nth(C.Panels[1], TStyle::Points).X.size(), 20499U);
}

}  // namespace
}  // namespace varnel::cli
